// The lock on one database file as a PageFile's readers take it, and what the file looked like
// when it was last seen (see page_file.h for how reads and writes share it).
//
// A reader holds the shared lock only for the duration of one read operation, from the
// operation's first touch of the file to the end of its outermost guard, never between
// operations, so that a connection left open for reading does not keep a writer out. Taking it
// rolls back a journal left by a writer that died, and tells the caller when another connection
// changed the file since it was last seen (its size or modification time differ): the caller
// drops what it cached, and the generation grows.
//
// The writer of the same PageFile converts the lock to exclusive for its transaction and back
// at its end; inside a write, guards cost nothing.
//
// Reads are counted here as they pass, for the page file's progress handler.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "jet/file/access_lock_file.h"
#include "jet/file/file_lock.h"

namespace jet::file {

class ReaderLock {
public:
    // `fd` stays open while this lives, and so does `lockFile`, in which rolling back a
    // journal registers as any write does.
    ReaderLock(int fd, std::string path, std::string journalPath, const AccessLockFile* lockFile);
    ReaderLock(const ReaderLock&) = delete;
    ReaderLock& operator=(const ReaderLock&) = delete;

    void setPatience(std::chrono::milliseconds patience) { patience_ = patience; }
    // Rolls back a journal left by a writer that died; nothing may read a file left half-changed.
    void recoverOnOpen();

    // ---- read operations -------------------------------------------------------------------
    void enter() { ++depth_; }
    // The end of a guard; the last one lets the shared lock go (not the writer's lock).
    void leave() noexcept;
    bool inOperation() const { return depth_ > 0; }
    // Called by every read before it touches the file: takes the shared lock at the first touch
    // of an operation. True when the file changed since it was last seen.
    [[nodiscard]] bool touch() {
        if (depth_ > 0 && lock_.level() == LockLevel::None) return acquireShared();
        return false;
    }
    // Runs `look` under the shared lock if it can be had at once, outside any operation;
    // false, without running it, while a writer holds the file.
    bool underSharedLockNow(const std::function<void()>& look);
    // True every few hundred reads.
    bool countRead() { return (++reads_ & 0xFF) == 0; }
    void resetReadCount() { reads_ = 0; }

    // The file as last seen: its size, and how many times another connection changed it.
    std::uint64_t fileSize() const { return stamp_.size; }
    std::uint64_t generation() const { return generation_; }

    // ---- the writer --------------------------------------------------------------------------
    // Takes the exclusive lock, converting a shared one, within the patience; Error(Locked).
    void lockExclusive() { lock_.lock(LockLevel::Exclusive, patience_); }
    // Back to the shared lock when a read operation is still open, else to none.
    void unlockExclusive() noexcept;
    bool exclusive() const { return lock_.level() == LockLevel::Exclusive; }
    // Under a lock: true when the file changed since it was last seen, which it now is.
    [[nodiscard]] bool refresh();
    // Before a write commits: pushes the file's modification time past the one last seen, so
    // that readers notice the change even within one tick of the kernel's coarse clock.
    void advanceModificationTime();
    // The file as this connection's write left it is the file as seen: nothing to drop.
    void restamp();

private:
    struct Stamp {
        std::uint64_t size = 0;
        std::int64_t mtimeSec = 0;
        std::int64_t mtimeNsec = 0;
        bool operator==(const Stamp&) const = default;
    };
    Stamp currentStamp() const;
    bool acquireShared();
    void rollBackHotJournal();

    int fd_;
    std::string path_;
    std::string journalPath_;
    const AccessLockFile* lockFile_;
    FileLock lock_;
    std::chrono::milliseconds patience_{2000};
    int depth_ = 0;  // open guards
    Stamp stamp_;    // the file as last seen
    std::uint64_t generation_ = 0;
    std::uint32_t reads_ = 0;
};

}  // namespace jet::file
