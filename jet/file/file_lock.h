// The lock that makes one writer and many readers share a database file. It is an open file
// description (OFD) lock on the database file itself: it belongs to one open() of the file, not
// to the process, so two PageFile objects in one process conflict exactly as two processes do,
// and closing some other descriptor of the file never drops it. The kernel drops it when the
// holder dies, which is how a crashed writer's journal is recognised as hot.
#pragma once

#include <chrono>
#include <string>

namespace jet::file {

enum class LockLevel { None, Shared, Exclusive };

class FileLock {
public:
    // `fd` must stay open while the lock is used; Exclusive needs it open for writing.
    FileLock(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Sets the level at once if no other holder is in the way. Moving between Shared and
    // Exclusive is a conversion of the same lock; a failed attempt keeps the current level.
    bool tryLock(LockLevel level);
    // As tryLock, but retries for up to `patience`; then Error(Locked) naming the database.
    void lock(LockLevel level, std::chrono::milliseconds patience);
    void unlock();
    LockLevel level() const { return level_; }

private:
    int fd_;
    std::string path_;
    LockLevel level_ = LockLevel::None;
};

}  // namespace jet::file
