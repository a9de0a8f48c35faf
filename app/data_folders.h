// Where the wizard's files are. Its own data (the sample database, the hand cursor, the skin)
// stands beside the program in a build tree and in share/quillfen once installed, as programs
// and their read-only data are kept apart on Linux; what the user changes lives in the user's
// data folder.
#pragma once

#include <string>

namespace app {

// The sample database, within the data folder.
inline constexpr const char* kSampleDatabase = "/Samples/sample.mdb";

// The folder of the program's own data files: the application folder when it holds the sample
// database (a build tree, or a copy of one), else <application folder>/../share/quillfen when
// that holds it (an installed program, found relative to itself so that an installed tree
// works wherever it was unpacked), else the application folder, so that a missing file is
// named where a build tree would have it.
std::string DataFolder();

// $XDG_DATA_HOME/Veldmark/Quillfen, XDG_DATA_HOME defaulting to ~/.local/share. A relative or
// empty XDG_DATA_HOME or HOME is ignored, as the XDG base directory rules say, and the home
// folder is then the user's entry in the password database. Throws app::Failure when there is
// no home folder to be found.
std::string UserDataFolder();

}  // namespace app
