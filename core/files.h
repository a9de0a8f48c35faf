// The file test every window uses.
#pragma once

#include <string>

namespace app {

// Whether the file system can give the path's last-modified time; never fails. An empty path, a
// path in a missing folder or a malformed path give false.
bool FileExists(const std::string& path);

}  // namespace app
