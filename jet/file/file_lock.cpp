#include "jet/file/file_lock.h"

#include <errno.h>
#include <fcntl.h>

#include <algorithm>
#include <cstring>
#include <thread>

#include "jet/base/error.h"

namespace jet::file {
namespace {

// The whole file, and whatever it grows to.
bool setLock(int fd, short type, const std::string& path) {
    struct flock fl {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = 0;
    fl.l_len = 0;
    while (::fcntl(fd, F_OFD_SETLK, &fl) != 0) {
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EACCES) return false;
        throw Error(ErrorCode::Io,
                    "Cannot lock the database '" + path + "': " + std::strerror(errno) + ".");
    }
    return true;
}

// Whether what stands in the way of a lock of `type` is only readers.
bool heldByReaders(int fd, short type) {
    struct flock fl {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    return ::fcntl(fd, F_OFD_GETLK, &fl) == 0 && fl.l_type == F_RDLCK;
}

}  // namespace

FileLock::~FileLock() {
    if (level_ != LockLevel::None) {
        struct flock fl {};
        fl.l_type = F_UNLCK;
        fl.l_whence = SEEK_SET;
        ::fcntl(fd_, F_OFD_SETLK, &fl);
    }
}

bool FileLock::tryLock(LockLevel level) {
    if (level == level_) return true;
    if (level == LockLevel::None) {
        unlock();
        return true;
    }
    if (!setLock(fd_, level == LockLevel::Shared ? F_RDLCK : F_WRLCK, path_)) return false;
    level_ = level;
    return true;
}

void FileLock::lock(LockLevel level, std::chrono::milliseconds patience) {
    // Polling rather than F_OFD_SETLKW: a blocking wait cannot be bounded without signals, and
    // the holders we wait for (one statement, one read) are short.
    const auto deadline = std::chrono::steady_clock::now() + patience;
    auto pause = std::chrono::microseconds(200);
    while (!tryLock(level)) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            // A long read (a dump, an export, a check) holds writers off until it ends; saying
            // so tells the user what to wait for.
            if (level == LockLevel::Exclusive && heldByReaders(fd_, F_WRLCK)) {
                throw Error(ErrorCode::Locked,
                            "The database '" + path_ +
                                "' is being read by another process or connection (a dump, an "
                                "export or a check holds it until it ends). Nothing was "
                                "changed; try again when it has finished.");
            }
            throw Error(ErrorCode::Locked,
                        "The database '" + path_ +
                            "' is in use by another process or connection. Try again when it "
                            "has finished.");
        }
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
        pause = std::min(pause * 2, std::chrono::microseconds(20000));
    }
}

void FileLock::unlock() {
    if (level_ == LockLevel::None) return;
    setLock(fd_, F_UNLCK, path_);
    level_ = LockLevel::None;
}

}  // namespace jet::file
