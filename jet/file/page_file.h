// Page I/O over one database file: reads whole pages by number, and changes them crash-safely.
// It knows nothing of what the pages hold, and calls nothing above it. Page 0 is handed out
// with its masked header part already unmasked.
//
// Its parts: a small cache of clean pages (page_cache.h); the lock readers share with the
// writer, and what the file looked like when last seen (reader_lock.h); the rollback journal
// (journal.h); the snapshots open on the file (snapshot_set.h). What is left here is the write
// transaction, and reading pages through all of them.
//
// Writes follow SQLite's pager, the edit model. One statement is one write transaction,
// beginWrite() .. commit() or rollback(); the writer holds the file's exclusive lock throughout.
// A layer that changes a page asks for it with edit(n): the first time in the transaction, the
// page's original goes to the journal, and its committed bytes to the open snapshots; edit()
// then hands back a buffer the page file owns, which stays dirty until it is flushed. A layer
// that changes one page many times (a bulk insert filling a data page) edits the same buffer
// again and again: nothing of the page is kept anywhere else, so every reader, inside the write
// or out of its layer, sees the newest bytes through page(). writePage() replaces a whole page
// the same way.
//
// Bytes handed out by page() never change under their holder: edit() copies a buffer that
// someone else still holds before changing it (copy on write), so a scan keeps reading the page
// as it was when it took it, and a snapshot's image stays as it was saved.
//
// Changed pages wait in memory, a bounded number of them (the dirty-page limit). A flush writes
// the journal's records, syncs it, and only then writes the pages, whose buffers go to the
// cache, clean. A page flushed that is edited again costs no second journal record: its
// original is already in the journal. commit() flushes, syncs the file and removes the
// journal, its commit point; rollback() plays the journal back.
//
// A write may also cut pages off the end (truncate(), for compaction). The pages go at once as
// far as the write can see, and from the file at commit: the original of every page cut that
// the file held when the write began goes to the journal (its committed bytes to the open
// snapshots) as on a first change, and before the file is cut the journal says so in a record
// of its own, synced (journal.h); pages appended in the write and cut again are dropped.
//
// A write is in one state at a time (WriteState below), checked by assertState() in debug and
// sanitizer builds. A misuse that could reach the file (a write outside a transaction, a page
// buffer of the wrong size) throws std::logic_error in every build.
//
// Reads: a reader holds a shared lock only for the duration of one read operation, through a
// ReadGuard, never between operations, so that a connection left open for reading does not
// keep a writer out. The lock is taken when the operation first touches the file (a page, the
// size), so that an operation served from pages it already holds, such as the next row of a
// scan, costs no system call. Taking it rolls back a journal left by a writer that died, and
// drops the cache when another connection changed the file since it was filled.
//
// Snapshots (page_snapshot.h): takeSnapshot() freezes the file as it is; a write then saves each
// page's committed bytes for the open snapshots before it first changes the page. While a view
// of a snapshot is set, page() answers from the snapshot. A write cannot begin under a view, as
// a write must see the file as it is. With no snapshot open, all this costs a test of an empty
// list per page first changed and of a null pointer per page read.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "jet/file/access_lock_file.h"
#include "jet/file/fault_seam.h"
#include "jet/file/journal.h"
#include "jet/file/page_cache.h"
#include "jet/file/page_codec.h"
#include "jet/file/page_snapshot.h"
#include "jet/file/posix_io.h"
#include "jet/file/reader_lock.h"
#include "jet/file/snapshot_set.h"

namespace jet::file {

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
        return snapshots_.view() != nullptr ? snapshots_.view()->sizeInBytes() : size();
    }

    // Reads `length` bytes at `offset` straight from the file (no cache, no pending writes);
    // short reads are errors.
    std::vector<std::uint8_t> readAt(std::uint64_t offset, std::size_t length) const;

    // Fixes the page size once the header has been read.
    void setPageSize(std::uint32_t pageSize);
    // The most bytes the file may grow to, and how a message names that size ("2 GB"):
    // appendPage refuses a page past it. No limit until set.
    void setSizeLimit(std::uint64_t bytes, std::string label) {
        sizeLimit_ = bytes;
        sizeLimitLabel_ = std::move(label);
    }
    std::uint64_t sizeLimit() const { return sizeLimit_; }
    // What those who take free pages learnt within the current write; forgotten when it ends.
    struct FreePageSearch {
        // No page below this one is free (takers raise it, those who free a page lower it).
        std::uint32_t from = 0;
        // The pages found in use when a free one was first wanted; empty until then.
        std::vector<bool> inUse;
    };
    FreePageSearch& freePageSearch() { return freePageSearch_; }
    // Throws Error(TooLarge) when `pages` more pages would take the file past its limit.
    void requireRoom(std::uint32_t pages) const;
    std::uint32_t pageSize() const { return pageSize_; }
    std::uint32_t pageCount() const {
        touch();
        return snapshots_.view() != nullptr ? snapshots_.view()->pageCount() : filePages();
    }

    // Page `number`, including the changes of the write in progress, or as the snapshot holds it
    // under a view; throws Error(Corrupt) for a page beyond the end of the file. The bytes
    // stay as they are for as long as they are held, whatever is changed later.
    PageRef page(std::uint32_t number) const;
    // Installs the unmasked copy of page 0.
    void setHeaderPage(Page page);
    // Decodes every page but page 0 as it is read from the file, and encodes it again as it is
    // written; snapshot images that go to a temporary file are encoded too. Before any page
    // but page 0 is read.
    void setCodec(std::shared_ptr<const PageCodec> codec) { codec_ = std::move(codec); }

    // Grows each time the cache is dropped because another connection changed the file, so
    // that layers caching what they decoded from pages can tell.
    std::uint64_t generation() const { return readers_.generation(); }

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
    // Page `number` to change where it stands: the page file's buffer of it, dirty from now on,
    // its original journaled on its first change in the write. Change the bytes freely (not the
    // size) until the next call to this PageFile, and call edit() again before changing them
    // again; it returns the same bytes, in the same buffer unless someone took the page with
    // page() meanwhile (then a copy, for the holder's bytes not to change). Page 0 is refused
    // with Error(Unsupported), a page beyond the end with Error(Corrupt).
    std::span<std::uint8_t> edit(std::uint32_t number);
    // Replaces page `number` as a whole, as edit() changes it; `bytes` must be one page long.
    void writePage(std::uint32_t number, Page bytes);
    // Adds a zero-filled page at the end of the file and returns its number.
    std::uint32_t appendPage();
    // From now on the file has `pageCount` pages: page(n) for n >= pageCount is beyond the end,
    // and appendPage() goes on at pageCount; commit() cuts the file to that size, rollback()
    // brings every page back. Pages 0 and 1 stay; a count above pageCount() is refused, and so
    // is a cut outside a write (std::logic_error), and a cut of a page whose original the
    // journal holds only as changes (call journalWholePages() first).
    void truncate(std::uint32_t pageCount);
    // From now on in this write, each page's original goes to the journal whole on its first
    // change, instead of as the changes of each flush: a write that will cut the file says so
    // before it changes a page, as the pages it cuts must come back whole.
    void journalWholePages() { wholePages_ = true; }
    // Makes everything durable, removes the journal and releases the lock. When it fails
    // before the change is durable, the write is rolled back and the error rethrown.
    void commit();
    // Restores the file exactly as it was at beginWrite(), byte for byte and in size, and
    // releases the lock.
    void rollback();
    bool inWrite() const { return state_ != WriteState::Idle; }
    // For a layer that held changes of this write that it can no longer hand over (it went away
    // first): the write cannot be completed, so commit() rolls it back and fails.
    void failWrite() noexcept;

    // ---- snapshots (page_snapshot.h) -----------------------------------------------------
    // The file as it is now, kept so while this PageFile writes. Not inside a write.
    std::shared_ptr<const PageSnapshot> takeSnapshot();
    // Sets the snapshot that page(), pageCount() and sizeInBytes() answer from (null: the file
    // as it is) and returns the one set before, for the caller to put back.
    const PageSnapshot* setView(const PageSnapshot* snapshot) {
        return snapshots_.setView(snapshot);
    }
    // A view for one scope.
    class ViewScope {
    public:
        ViewScope(PageFile& file, const PageSnapshot* snapshot)
            : file_(file), outer_(file.setView(snapshot)) {}
        ~ViewScope() { file_.setView(outer_); }
        ViewScope(const ViewScope&) = delete;
        ViewScope& operator=(const ViewScope&) = delete;

    private:
        PageFile& file_;
        const PageSnapshot* outer_;
    };
    // Images beyond this many bytes go to a temporary file.
    void setSnapshotMemoryBudget(std::size_t bytes) { snapshots_.setMemoryBudget(bytes); }
    ImageUsage snapshotUsage() const { return snapshots_.usage(); }

    // ---- progress --------------------------------------------------------------------------
    // Called every few hundred page reads, so that a caller can keep a window alive through a
    // long statement. REQUIRES: the handler neither touches this file nor anything built on it
    // (it runs in the middle of a read or a write); an exception from it fails that operation.
    // An empty handler removes it.
    void setProgressHandler(std::function<void()> handler) {
        progress_ = std::move(handler);
        readers_.resetReadCount();
    }

    // ---- tuning and tests ----------------------------------------------------------------
    void setFaultSeam(FaultSeam* seam) { faults_.set(seam); }
    void setLockPatience(std::chrono::milliseconds patience) { readers_.setPatience(patience); }
    // Changed pages held in memory before a flush.
    void setDirtyPageLimit(std::size_t pages) { dirtyLimit_ = pages < 1 ? 1 : pages; }

private:
    // Where the write transaction stands. Every state but Idle holds the exclusive lock.
    enum class WriteState {
        Idle,     // no write: reads only
        Locked,   // beginWrite() done; no page changed yet
        Changed,  // pages changed or cut in memory only: the file is as it was
        Written,  // pages written to the file, under the synced journal
        Failed,   // part of the write was lost (a flush, a journal write, a layer's changes):
                  // only rollback() leads out
    };

    struct Opened {
        posix::UniqueFd fd;
        bool writable = false;
        std::string realPath;  // symbolic links resolved: where the journal and lock file go
    };
    static Opened openFile(const std::string& path, AccessMode mode);
    PageFile(const std::string& path, Opened opened);

    // The file's size: as last seen, or as the write has made it so far.
    std::uint64_t size() const { return inWrite() ? writeSize_ : readers_.fileSize(); }
    std::uint32_t filePages() const { return static_cast<std::uint32_t>(size() / pageSize_); }
    void touch() const {
        if (readers_.touch()) cache_.clear();
    }
    void releaseGuard() const;
    PageRef cachedOrRead(std::uint32_t number) const;
    PageBuffer readPage(std::uint32_t number) const;
    void readRaw(std::uint32_t number, Page& into) const;
    PageRef viewPage(std::uint32_t number) const;

    void requireWrite(const char* operation) const;
    void requireChangeable(std::uint32_t number, const char* operation) const;
    void refuseSeveralNames() const;
    // Error(Locked) when Access holds the database to itself.
    void refuseExclusiveAccess();
    // The dirty entry of page `number`, made so on its first change; with `wholePage` its
    // buffer is about to be replaced, so neither the bytes are read nor a copy made.
    PageBuffer& dirtyEntry(std::uint32_t number, bool wholePage);
    PageBuffer& copiedIfHeld(PageBuffer& entry, bool wholePage);
    void journalChanges(RollbackJournal& journal, std::uint32_t number, const Page& written);
    void firstChange(std::uint32_t number, PageBuffer& committed, bool wholePage);
    RollbackJournal& journal();
    void flush();
    // At commit, once every page is written: the file cut to the write's size, under the
    // journal's cut record when the write cut pages it began with.
    void cutFile();
    void endWrite();
    // Debug and sanitizer builds: the state and the write's bookkeeping agree.
    void assertState() const;

    std::string path_;
    std::string journalPath_;
    AccessLockFile lockFile_;  // Access's, beside the file
    posix::UniqueFd fd_;       // before readers_: the lock must go before its descriptor closes
    bool writable_ = false;
    std::uint32_t pageSize_ = 4096;
    FaultCounter faults_;
    std::function<void()> progress_;
    PageRef header_;
    std::shared_ptr<const PageCodec> codec_;  // null: pages stand in the file as they are

    // Mutable, as a const read takes the shared lock at its first touch of the file, notices
    // another connection's change there, and counts itself for the progress handler.
    mutable ReaderLock readers_;
    // Mutable, as a const read fills it.
    mutable PageCache cache_{64};

    // The write transaction.
    WriteState state_ = WriteState::Idle;
    std::uint64_t originalSize_ = 0;  // the file's size at beginWrite()
    std::uint64_t writeSize_ = 0;     // and with the pages appended and cut since
    std::uint64_t diskSize_ = 0;      // how far the write's flushes may have taken the file
    bool cut_ = false;                // truncate() took pages away in this write
    std::uint64_t sizeLimit_ = 0;
    std::string sizeLimitLabel_;
    FreePageSearch freePageSearch_;
    std::vector<bool> journaled_;  // one bit per original page: the journal protects it
    // Of those, the pages the journal holds as the changes of each flush, not whole.
    std::vector<bool> journaledAsChanges_;
    // The originals of pages changed but not flushed yet, as the file holds them: a flush
    // journals what it changes in them (or the whole original, when most of it changes).
    std::map<std::uint32_t, PageRef> unflushedOriginals_;
    bool wholePages_ = false;                    // journalWholePages()
    std::map<std::uint32_t, PageBuffer> dirty_;  // ordered, so that a flush writes front to back
    // The entries of dirty_ edited last, and their pages: a statement reads and edits the same
    // two pages many times running (the page of the row it changes, the page rows move to), and
    // this spares the lookups. Emptied whenever dirty_ is.
    struct RecentEdit {
        std::uint32_t number = 0;
        PageBuffer* entry = nullptr;
    };
    std::array<RecentEdit, 2> recentEdits_{};
    PageBuffer* recentEdit(std::uint32_t number) const {
        for (const RecentEdit& r : recentEdits_) {
            if (r.entry != nullptr && r.number == number) return r.entry;
        }
        return nullptr;
    }
    std::size_t dirtyLimit_ = 1024;
    std::optional<RollbackJournal> journal_;
    // This connection as a user in Access's lock file, for as long as it writes.
    AccessLockFile::Registration registration_;

    SnapshotSet snapshots_;
};

}  // namespace jet::file
