// The sample database behind "Load Sample/Example Database". The application's own sample is
// used in place where the user may change it (a build tree, a user's own install). An installed
// one is read-only to its users, so that Apply could not change it; there each user works on a
// copy in their own data folder, made on first use and again whenever it is gone, and otherwise
// never replaced: it holds the user's changes.
#pragma once

#include <string>

namespace app {

// DataFolder() + "/Samples/sample.mdb" when that file and its folder may be written, or when it
// is missing (there is nothing to copy; the path then names what is missing). Otherwise
// UserDataFolder() + "/Samples/sample.mdb", copied from the application's sample first when
// nothing stands at that path; whatever stands there (a file, a link, a folder) is kept.
// Throws app::Failure naming the path when the copy cannot be made; no part of a copy is
// left behind then.
std::string SampleDatabase();

}  // namespace app
