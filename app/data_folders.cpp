#include "app/data_folders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "core/failure.h"
#include "core/files.h"
#include "core/globals.h"

namespace app {
namespace {

// An environment variable's value when it is an absolute path; "" otherwise.
std::string absoluteFromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] == '/' ? std::string(value) : std::string();
}

std::string homeFolder() {
    std::string home = absoluteFromEnvironment("HOME");
    if (!home.empty()) return home;
    if (const passwd* entry = ::getpwuid(::getuid());
        entry != nullptr && entry->pw_dir != nullptr && entry->pw_dir[0] == '/') {
        return entry->pw_dir;
    }
    return {};
}

}  // namespace

std::string DataFolder() {
    const std::string& own = Globals::applicationFolder();
    if (FileExists(own + kSampleDatabase)) return own;
    std::string installed =
        (std::filesystem::path(own) / "../share/quillfen").lexically_normal().string();
    if (FileExists(installed + kSampleDatabase)) return installed;
    return own;
}

std::string UserDataFolder() {
    std::string data = absoluteFromEnvironment("XDG_DATA_HOME");
    if (data.empty()) {
        const std::string home = homeFolder();
        if (home.empty()) {
            throw Failure(75,
                          "Your data folder cannot be found: neither XDG_DATA_HOME nor HOME is "
                          "an absolute path, and the user database names no home folder.");
        }
        data = home + "/.local/share";
    }
    // A trailing slash in the variable would show as "//" in the path the user sees.
    return (std::filesystem::path(data) / "Veldmark/Quillfen").lexically_normal().string();
}

}  // namespace app
