#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli/convert_writers.h"

namespace cli::convert {
namespace {

// The temporary files being written, for the signal handler: Ctrl-C, a hang-up or a kill that
// can be caught takes them along. (Only SIGKILL or a crash leaves one behind, under a name that
// says what it is.)
constexpr std::size_t kTemporaries = 4;
char temporaries[kTemporaries][4096];
volatile sig_atomic_t inUse[kTemporaries];

extern "C" void removeTemporaries(int signal) {
    for (std::size_t i = 0; i < kTemporaries; ++i) {
        if (inUse[i]) ::unlink(temporaries[i]);
    }
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

void remember(const std::string& temp) {
    static const bool handled = [] {
        struct sigaction action {};
        action.sa_handler = removeTemporaries;
        sigemptyset(&action.sa_mask);
        for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
            ::sigaction(signal, &action, nullptr);
        }
        return true;
    }();
    (void)handled;
    for (std::size_t i = 0; i < kTemporaries; ++i) {
        if (!inUse[i] && temp.size() < sizeof temporaries[i]) {
            std::memcpy(temporaries[i], temp.c_str(), temp.size() + 1);
            inUse[i] = 1;
            return;
        }
    }
}

void forget(const std::string& temp) {
    for (std::size_t i = 0; i < kTemporaries; ++i) {
        if (inUse[i] && temp == temporaries[i]) inUse[i] = 0;
    }
}

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

[[noreturn]] void ioFailure(const std::string& what, const std::string& path) {
    throw jet::Error(jet::ErrorCode::Io,
                     "Could not " + what + " '" + path + "': " + std::strerror(errno) + ".");
}

}  // namespace

int textCharacters(const jet::ColumnDef& c) { return std::max(c.jet3 ? c.size : c.size / 2, 1); }

void refuseExisting(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        throw jet::Error(jet::ErrorCode::FileExists,
                         "'" + path +
                             "' already exists; convert writes a new file and changes "
                             "none that is there.");
    }
}

std::string temporaryBeside(const std::string& path) {
    std::string temp = path + ".quillfen-partial-XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) ioFailure("make a temporary file beside", path);
    // mkstemp makes the file its owner's alone; the output gets what any new file gets.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    ::close(fd);
    remember(temp);
    return temp;
}

void discardTemporary(const std::string& temp) {
    ::unlink(temp.c_str());
    forget(temp);
}

void publish(const std::string& temp, const std::string& path) {
    const int fd = ::open(temp.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) ioFailure("write", temp);
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    if (!synced) ioFailure("write", temp);
    // link() never replaces what is there; on a file system without hard links, a rename that
    // does not replace either.
    bool linked = ::link(temp.c_str(), path.c_str()) == 0;
    if (!linked && (errno == EPERM || errno == EOPNOTSUPP || errno == EXDEV)) {
        if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0) {
            linked = true;
        }
    }
    if (!linked) {
        if (errno == EEXIST) {
            throw jet::Error(jet::ErrorCode::FileExists,
                             "'" + path +
                                 "' appeared while the database was converted; it was "
                                 "left as it is.");
        }
        ioFailure("write", path);
    }
    discardTemporary(temp);
    const int dir = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

}  // namespace cli::convert
