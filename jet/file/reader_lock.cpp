#include "jet/file/reader_lock.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>

#include "jet/base/error.h"
#include "jet/file/fault_seam.h"
#include "jet/file/journal.h"
#include "jet/file/posix_io.h"

namespace jet::file {

ReaderLock::ReaderLock(int fd, std::string path, std::string journalPath,
                       const AccessLockFile* lockFile)
    : fd_(fd),
      path_(std::move(path)),
      journalPath_(std::move(journalPath)),
      lockFile_(lockFile),
      lock_(fd, path_) {
    stamp_ = currentStamp();
}

void ReaderLock::recoverOnOpen() {
    if (!posix::exists(journalPath_)) return;
    (void)acquireShared();
    lock_.unlock();
}

bool ReaderLock::underSharedLockNow(const std::function<void()>& look) {
    if (depth_ > 0 || !lock_.tryLock(LockLevel::Shared)) return false;
    try {
        look();
    } catch (...) {
        lock_.unlock();
        throw;
    }
    lock_.unlock();
    return true;
}

ReaderLock::Stamp ReaderLock::currentStamp() const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) posix::throwIo("examine", path_, errno);
    return Stamp{static_cast<std::uint64_t>(st.st_size), st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
}

bool ReaderLock::refresh() {
    const Stamp now = currentStamp();
    if (now == stamp_) return false;
    stamp_ = now;
    ++generation_;
    return true;
}

void ReaderLock::restamp() { stamp_ = currentStamp(); }

void ReaderLock::leave() noexcept {
    if (--depth_ == 0 && lock_.level() == LockLevel::Shared) {
        try {
            lock_.unlock();
        } catch (...) {  // NOLINT(bugprone-empty-catch)
            // Unlocking a held OFD lock does not fail in practice; closing the file drops it.
        }
    }
}

void ReaderLock::unlockExclusive() noexcept {
    lock_.tryLock(depth_ > 0 ? LockLevel::Shared : LockLevel::None);
}

bool ReaderLock::acquireShared() {
    // A journal seen under the shared lock has no live writer: a writer keeps the exclusive
    // lock until its journal is gone. Rolling it back needs the exclusive lock, so this lock
    // is let go first; another connection may get there before us, which is fine.
    for (int attempt = 0;; ++attempt) {
        lock_.lock(LockLevel::Shared, patience_);
        if (!posix::exists(journalPath_)) break;
        lock_.unlock();
        if (attempt == 3) {
            throw Error(ErrorCode::Locked, "The database '" + path_ +
                                               "' is in use by another process or connection. "
                                               "Try again when it has finished.");
        }
        rollBackHotJournal();
    }
    try {
        return refresh();
    } catch (...) {
        lock_.unlock();
        throw;
    }
}

void ReaderLock::rollBackHotJournal() {
    // A descriptor of our own: the reader's may be read-only, and an exclusive OFD lock
    // needs one open for writing.
    posix::UniqueFd fd = posix::openWritable(path_);
    if (fd.get() < 0) {
        throw Error(ErrorCode::ReadOnly,
                    "The database '" + path_ +
                        "' holds an unfinished change, and its rollback "
                        "journal '" +
                        journalPath_ +
                        "' cannot be applied because the database is "
                        "read-only. Make the file and its folder writable, then open it again.");
    }
    FileLock exclusive(fd.get(), path_);
    exclusive.lock(LockLevel::Exclusive, patience_);
    if (posix::exists(journalPath_)) {
        // Taking the change back is a write like any other: never while Access is in the file.
        const AccessLockFile::Registration registration =
            lockFile_ != nullptr ? lockFile_->enter(path_) : AccessLockFile::Registration{};
        // The seam counts nothing here: the file's own writes are what tests walk.
        FaultCounter none;
        playBackJournal(journalPath_, fd.get(), path_, none);
    }
    exclusive.unlock();
}

void ReaderLock::advanceModificationTime() {
    // Readers notice a change by the file's size and modification time. The kernel stamps
    // writes with a coarse clock, so two statements within one tick could leave both equal;
    // the time is pushed forward past the one the transaction started from.
    const Stamp before = stamp_;
    for (const std::int64_t step :
         {std::int64_t{1}, std::int64_t{1'000'000'000}, std::int64_t{2'000'000'000}}) {
        const Stamp now = currentStamp();
        if (now.mtimeSec > before.mtimeSec ||
            (now.mtimeSec == before.mtimeSec && now.mtimeNsec > before.mtimeNsec)) {
            return;
        }
        const std::int64_t ns = before.mtimeNsec + step;
        struct timespec times[2];
        times[0].tv_sec = 0;
        times[0].tv_nsec = UTIME_OMIT;
        times[1].tv_sec = before.mtimeSec + ns / 1'000'000'000;
        times[1].tv_nsec = ns % 1'000'000'000;
        if (::futimens(fd_, times) != 0) posix::throwIo("set the time of", path_, errno);
    }
}

}  // namespace jet::file
