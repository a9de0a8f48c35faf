// Page I/O over one database file: reads whole pages by number through a small cache, and
// writes them crash-safely. It knows nothing of what the pages hold. Page 0 is handed out with
// its masked header part already unmasked.
//
// Writes: one statement is one write transaction, beginWrite() .. commit() or rollback(). The
// writer holds the file's exclusive lock throughout. Changed pages wait in memory (a bounded
// number of them); when they are flushed, the originals of those not yet journaled go to the
// rollback journal (journal.h), which is synced, and only then are the pages written. commit()
// syncs the file and removes the journal; rollback() plays the journal back.
//
// Reads: a reader holds a shared lock only for the duration of one read operation, through a
// ReadGuard, never between operations, so that a connection left open for reading does not
// keep a writer out. The lock is taken when the operation first touches the file (a page, the
// size), so that an operation served from pages it already holds, such as the next row of a
// scan, costs no system call. Taking it rolls back a journal left by a writer that died, and
// drops the cache when another connection changed the file since it was filled.
//
// Kept pages: a layer that changes one page many times in a row (a bulk insert filling a data
// page or an index leaf) may keep the page's newest state in its own form and write it once,
// instead of encoding and writing it after every change. The page file knows which pages are
// kept and by whom: reading a kept page, and commit(), have its keeper write it first, so every
// reader sees the newest bytes and nothing kept is left out of the transaction.
//
// Snapshots (page_snapshot.h): takeSnapshot() freezes the file as it is; a write then saves each
// page's committed bytes for the open snapshots before it first changes the page. While a view
// of a snapshot is set, page() answers from the snapshot. A write cannot begin under a view, as
// a write must see the file as it is. With no snapshot open, all this costs a test of an empty
// list per page written and of a null pointer per page read.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "jet/file/fault_seam.h"
#include "jet/file/file_lock.h"
#include "jet/file/journal.h"
#include "jet/file/page_codec.h"
#include "jet/file/page_snapshot.h"
#include "jet/file/posix_io.h"

namespace jet::file {

// A layer above that keeps pages (see the top of this file).
class PageKeeper {
public:
    // Writes the newest state of kept page `number` through PageFile::writePage. The page is
    // no longer kept when this is called.
    virtual void writeKeptPage(std::uint32_t number) = 0;

protected:
    ~PageKeeper() = default;
};

enum class AccessMode { ReadOnly, ReadWrite };

class PageFile {
public:
    // Opens the file. ReadWrite falls back to reading only when the file (or its folder) is
    // read-only on disk; writable() tells. Rolls back a hot journal, or waits briefly for a live
    // writer. Throws Error: FileNotFound, Locked, ReadOnly (a journal that a read-only file
    // cannot take back), Io.
    explicit PageFile(const std::string& path, AccessMode mode = AccessMode::ReadOnly);
    ~PageFile();  // rolls back an unfinished write
    PageFile(const PageFile&) = delete;
    PageFile& operator=(const PageFile&) = delete;

    const std::string& path() const { return path_; }
    bool writable() const { return writable_; }
    // Under a view, the size and page count the snapshot was taken with.
    std::uint64_t sizeInBytes() const {
        touch();
        return view_ != nullptr ? view_->sizeInBytes() : size_;
    }

    // Reads `length` bytes at `offset` straight from the file (no cache, no pending writes);
    // short reads are errors.
    std::vector<std::uint8_t> readAt(std::uint64_t offset, std::size_t length) const;

    // Fixes the page size once the header has been read.
    void setPageSize(std::uint32_t pageSize);
    std::uint32_t pageSize() const { return pageSize_; }
    std::uint32_t pageCount() const {
        touch();
        return view_ != nullptr ? view_->pageCount() : filePages();
    }

    // Page `number`, including the changes of the write in progress, or as the snapshot holds it
    // under a view; throws Error(Corrupt) for a page beyond the end of the file.
    PageRef page(std::uint32_t number) const;
    // Installs the unmasked copy of page 0.
    void setHeaderPage(Page page);
    // Decodes every page but page 0 as it is read from the file, and encodes it again as it is
    // written; snapshot images that go to a temporary file are encoded too. Before any page
    // but page 0 is read.
    void setCodec(std::shared_ptr<const PageCodec> codec) { codec_ = std::move(codec); }

    // Grows each time the cache is dropped because another connection changed the file, so
    // that layers caching what they decoded from pages can tell.
    std::uint64_t generation() const { return generation_; }

    // ---- reading -------------------------------------------------------------------------
    // A shared lock for one read operation, from its first touch of the file to the end of the
    // outermost guard. Guards nest; inside a write of the same PageFile they cost nothing.
    class ReadGuard {
    public:
        ReadGuard(ReadGuard&& other) noexcept : file_(other.file_) { other.file_ = nullptr; }
        ReadGuard& operator=(ReadGuard&&) = delete;
        ~ReadGuard();

    private:
        friend class PageFile;
        explicit ReadGuard(const PageFile* file) : file_(file) {}
        const PageFile* file_;
    };
    // Reads under a guard throw Error(Locked) when a writer keeps the file longer than the lock
    // patience, and the errors of the constructor about a hot journal.
    [[nodiscard]] ReadGuard readGuard() const;

    // ---- writing -------------------------------------------------------------------------
    // Takes the exclusive lock, waiting up to the lock patience for readers and another writer;
    // then Error(Locked). Error(ReadOnly) when the file is not writable.
    void beginWrite();
    // Replaces page `number` (not page 0, which is refused with Error(Unsupported)); page()
    // returns the new bytes from now on. `bytes` must be one page long.
    void writePage(std::uint32_t number, Page bytes);
    // Adds a zero-filled page at the end of the file and returns its number.
    std::uint32_t appendPage();
    // Makes everything durable, removes the journal and releases the lock. When it fails
    // before the change is durable, the write is rolled back and the error rethrown.
    void commit();
    // Restores the file exactly as it was at beginWrite(), byte for byte and in size, and
    // releases the lock.
    void rollback();
    bool inWrite() const { return inWrite_; }

    // ---- snapshots (page_snapshot.h) -----------------------------------------------------
    // The file as it is now, kept so while this PageFile writes. Not inside a write.
    std::shared_ptr<const PageSnapshot> takeSnapshot() const;
    // Sets the snapshot that page(), pageCount() and sizeInBytes() answer from (null: the file
    // as it is) and returns the one set before, for the caller to put back.
    const PageSnapshot* setView(const PageSnapshot* snapshot) const {
        return std::exchange(view_, snapshot);
    }
    // A view for one scope.
    class ViewScope {
    public:
        ViewScope(const PageFile& file, const PageSnapshot* snapshot)
            : file_(file), outer_(file.setView(snapshot)) {}
        ~ViewScope() { file_.setView(outer_); }
        ViewScope(const ViewScope&) = delete;
        ViewScope& operator=(const ViewScope&) = delete;

    private:
        const PageFile& file_;
        const PageSnapshot* outer_;
    };
    // Images beyond this many bytes go to a temporary file.
    void setSnapshotMemoryBudget(std::size_t bytes);
    ImageUsage snapshotUsage() const { return images_ ? images_->usage() : ImageUsage{}; }

    // ---- progress --------------------------------------------------------------------------
    // Called every few hundred page reads, so that a caller can keep a window alive through a
    // long statement. REQUIRES: the handler neither touches this file nor anything built on it
    // (it runs in the middle of a read or a write); an exception from it fails that operation.
    // An empty handler removes it.
    void setProgressHandler(std::function<void()> handler) {
        progress_ = std::move(handler);
        progressTicks_ = 0;
    }

    // ---- tuning and tests ----------------------------------------------------------------
    void setFaultSeam(FaultSeam* seam) { faults_.set(seam); }
    void setLockPatience(std::chrono::milliseconds patience) { patience_ = patience; }
    // Changed pages held in memory before a flush.
    void setDirtyPageLimit(std::size_t pages) { dirtyLimit_ = pages < 1 ? 1 : pages; }

    // ---- kept pages ----------------------------------------------------------------------
    // From now until it is written, page `number` (inside the write) is kept by `keeper`, whose
    // state of it is newer than the page's bytes. Writing the page ends the keeping.
    void keepPage(std::uint32_t number, PageKeeper& keeper);
    // The keeper ends the keeping without writing, as it is about to write the page itself.
    void unkeepPage(std::uint32_t number) { kept_.erase(number); }
    // Has every keeper write what it keeps.
    void writeKeptPages();
    // A keeper that goes away lets go of its pages. Pages it had not written are lost, so the
    // write in progress can no longer commit: commit() rolls it back and fails.
    void forgetKeeper(const PageKeeper& keeper) noexcept;

private:
    struct Opened {
        posix::UniqueFd fd;
        bool writable = false;
    };
    static Opened openFile(const std::string& path, AccessMode mode);
    PageFile(const std::string& path, Opened opened);

    struct Stamp {
        std::uint64_t size = 0;
        std::int64_t mtimeSec = 0;
        std::int64_t mtimeNsec = 0;
        bool operator==(const Stamp&) const = default;
    };
    Stamp currentStamp() const;
    std::uint32_t filePages() const { return static_cast<std::uint32_t>(size_ / pageSize_); }
    void touch() const {
        if (readDepth_ > 0 && !inWrite_ && lock_.level() == LockLevel::None) acquireShared();
    }
    void acquireShared() const;
    void releaseShared() const;
    void rollBackHotJournal() const;
    void refreshIfChanged() const;
    void dropCache() const;
    void cachePut(std::uint32_t number, PageRef page) const;
    PageRef cachedOrRead(std::uint32_t number) const;
    PageRef viewPage(std::uint32_t number) const;
    void saveForSnapshots(std::uint32_t number);
    void requireWrite(const char* operation) const;
    void refuseSeveralNames() const;
    void flush();
    void writeKeptPage(std::uint32_t number) const;
    void advanceModificationTime();
    void endWrite();

    std::string path_;
    std::string journalPath_;
    posix::UniqueFd fd_;  // before lock_: the lock must go before its descriptor closes
    bool writable_ = false;
    mutable FileLock lock_;
    mutable std::uint64_t size_ = 0;
    std::uint32_t pageSize_ = 4096;
    std::chrono::milliseconds patience_{2000};
    FaultCounter faults_;
    std::function<void()> progress_;
    mutable std::uint32_t progressTicks_ = 0;

    // Readers.
    mutable int readDepth_ = 0;
    mutable Stamp stamp_;  // the file as the cache knows it
    mutable std::uint64_t generation_ = 0;

    // The write in progress.
    bool inWrite_ = false;
    std::uint64_t originalSize_ = 0;
    std::vector<bool> journaled_;  // one bit per original page: its original is in the journal
    std::map<std::uint32_t, PageRef> dirty_;  // ordered, so that a flush writes front to back
    std::size_t dirtyLimit_ = 1024;
    std::optional<RollbackJournal> journal_;
    // Pages whose newest state is with a keeper; a read of one has the keeper write it, hence
    // mutable. A few pages at a time.
    mutable std::unordered_map<std::uint32_t, PageKeeper*> kept_;
    bool keptPagesLost_ = false;

    // A small LRU cache: a table scan touches each data page once, but usage maps, long values
    // and table definitions are read again and again.
    static constexpr std::size_t kCachePages = 64;
    mutable std::list<std::uint32_t> lru_;
    mutable std::unordered_map<std::uint32_t,
                               std::pair<PageRef, std::list<std::uint32_t>::iterator>>
        cache_;
    PageRef header_;
    std::shared_ptr<const PageCodec> codec_;  // null: pages stand in the file as they are

    // Snapshots. A snapshot belongs to whoever took it; the page file only adds images to those
    // still open.
    mutable std::vector<std::weak_ptr<PageSnapshot>> snapshots_;
    mutable std::shared_ptr<PageImageStore> images_;
    std::size_t snapshotMemoryBudget_ = std::size_t{64} << 20;
    mutable const PageSnapshot* view_ = nullptr;
};

}  // namespace jet::file
