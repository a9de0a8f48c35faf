#include "jet/file/page_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

#include "jet/base/error.h"

namespace jet::file {
namespace {

[[noreturn]] void misuse(const std::string& what) { throw std::logic_error("PageFile: " + what); }

[[noreturn]] void beyondTheEnd(std::uint32_t number, std::uint32_t pageCount) {
    throw Error(ErrorCode::Corrupt, "a reference to page " + std::to_string(number) +
                                        ", beyond the end of the file (" +
                                        std::to_string(pageCount) + " pages)");
}

}  // namespace

PageFile::Opened PageFile::openFile(const std::string& path, AccessMode mode) {
    Opened opened;
    if (mode == AccessMode::ReadWrite) {
        opened.fd = posix::openWritable(path);
        opened.writable = opened.fd.get() >= 0;
    }
    if (!opened.writable) {
        opened.fd.reset(posix::openForReading(path));
        if (opened.fd.get() < 0) {
            if (errno == ENOENT || errno == ENOTDIR) {
                throw Error(ErrorCode::FileNotFound, "Could not find file '" + path + "'.");
            }
            throw Error(ErrorCode::Io, "Cannot open '" + path + "': " + std::strerror(errno) + ".");
        }
    }
    struct stat st {};
    if (::fstat(opened.fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        if (S_ISDIR(st.st_mode)) {
            throw Error(ErrorCode::FileNotFound, "Could not find file '" + path + "'.");
        }
        // A pipe or a device is never a database, and reading one could wait for ever.
        throw Error(ErrorCode::UnrecognizedFormat,
                    "Unrecognized database format '" + path + "': it is not a regular file.");
    }
    return opened;
}

PageFile::PageFile(const std::string& path, AccessMode mode)
    : PageFile(path, openFile(path, mode)) {}

PageFile::PageFile(const std::string& path, Opened opened)
    : path_(path),
      journalPath_(RollbackJournal::pathFor(posix::canonicalPathOf(opened.fd.get(), path))),
      fd_(std::move(opened.fd)),
      writable_(opened.writable),
      lock_(fd_.get(), path) {
    stamp_ = currentStamp();
    size_ = stamp_.size;
    // Nothing may read a file that a dead writer left half-changed.
    if (posix::exists(journalPath_)) {
        acquireShared();
        lock_.unlock();
    }
}

PageFile::~PageFile() {
    if (inWrite_) {
        try {
            rollback();
        } catch (...) {  // NOLINT(bugprone-empty-catch)
            // The journal stays; whoever opens the file next rolls it back.
        }
    }
}

std::vector<std::uint8_t> PageFile::readAt(std::uint64_t offset, std::size_t length) const {
    touch();
    std::vector<std::uint8_t> buf(length);
    if (posix::readUpTo(fd_.get(), buf.data(), length, offset, path_) != length) {
        throw Error(ErrorCode::Corrupt, "'" + path_ + "' ends in the middle of a page.")
            .about(path_);
    }
    return buf;
}

void PageFile::setPageSize(std::uint32_t pageSize) { pageSize_ = pageSize; }

void PageFile::setHeaderPage(Page page) { header_ = std::make_shared<const Page>(std::move(page)); }

PageRef PageFile::page(std::uint32_t number) const {
    if (progress_ && (++progressTicks_ & 0xFF) == 0) progress_();
    touch();
    if (view_ != nullptr) return viewPage(number);
    if (number == 0 && header_) return header_;
    if (number >= filePages()) beyondTheEnd(number, filePages());
    if (!kept_.empty()) writeKeptPage(number);
    if (auto it = dirty_.find(number); it != dirty_.end()) return it->second;
    return cachedOrRead(number);
}

PageRef PageFile::cachedOrRead(std::uint32_t number) const {
    if (auto it = cache_.find(number); it != cache_.end()) {
        lru_.splice(lru_.begin(), lru_, it->second.second);
        return it->second.first;
    }
    Page bytes = readAt(static_cast<std::uint64_t>(number) * pageSize_, pageSize_);
    if (codec_ && number != 0) codec_->decode(number, bytes);
    auto page = std::make_shared<const Page>(std::move(bytes));
    cachePut(number, page);
    return page;
}

PageRef PageFile::viewPage(std::uint32_t number) const {
    // Only this PageFile's writes save images; after anyone else's, the snapshot is incomplete.
    if (view_->generation() != generation_) {
        throw Error(ErrorCode::DataChanged, "'" + path_ +
                                                "' was changed by another program since this "
                                                "view of it was opened; open it again.");
    }
    if (number == 0 && header_) return header_;
    if (number >= view_->pageCount()) beyondTheEnd(number, view_->pageCount());
    if (const PageImage* image = view_->image(number)) return image->bytes();
    // Unchanged since the snapshot, and not by the write in progress either (it would have saved
    // an image first): the cache and the file hold it as it was.
    return cachedOrRead(number);
}

void PageFile::cachePut(std::uint32_t number, PageRef page) const {
    if (auto it = cache_.find(number); it != cache_.end()) {
        lru_.erase(it->second.second);
        cache_.erase(it);
    }
    if (cache_.size() >= kCachePages) {
        cache_.erase(lru_.back());
        lru_.pop_back();
    }
    lru_.push_front(number);
    cache_.emplace(number, std::make_pair(std::move(page), lru_.begin()));
}

void PageFile::dropCache() const {
    cache_.clear();
    lru_.clear();
}

// ---- reading -------------------------------------------------------------------------------

PageFile::Stamp PageFile::currentStamp() const {
    struct stat st {};
    if (::fstat(fd_.get(), &st) != 0) posix::throwIo("examine", path_, errno);
    return Stamp{static_cast<std::uint64_t>(st.st_size), st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
}

void PageFile::refreshIfChanged() const {
    const Stamp now = currentStamp();
    if (now == stamp_) return;
    dropCache();
    stamp_ = now;
    size_ = now.size;
    ++generation_;
}

PageFile::ReadGuard PageFile::readGuard() const {
    ++readDepth_;
    return ReadGuard(this);
}

PageFile::ReadGuard::~ReadGuard() {
    if (file_ != nullptr) file_->releaseShared();
}

void PageFile::releaseShared() const {
    if (--readDepth_ == 0 && !inWrite_) {
        try {
            lock_.unlock();
        } catch (...) {  // NOLINT(bugprone-empty-catch)
            // Unlocking a held OFD lock does not fail in practice; closing the file drops it.
        }
    }
}

void PageFile::acquireShared() const {
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
        refreshIfChanged();
    } catch (...) {
        lock_.unlock();
        throw;
    }
}

void PageFile::rollBackHotJournal() const {
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
        // The seam counts nothing here: the file's own writes are what tests walk.
        FaultCounter none;
        playBackJournal(journalPath_, fd.get(), path_, none);
    }
    exclusive.unlock();
}

// ---- writing -------------------------------------------------------------------------------

void PageFile::requireWrite(const char* operation) const {
    if (!inWrite_) misuse(std::string(operation) + " outside beginWrite()..commit()");
}

void PageFile::beginWrite() {
    if (inWrite_) misuse("beginWrite() inside a write");
    if (view_ != nullptr) {
        throw Error(ErrorCode::ReadOnly, "Cannot change '" + path_ +
                                             "' while reading it as it was when a view of it "
                                             "was opened; a change is made outside the view.");
    }
    if (const char* why = codec_ ? codec_->whyNotWritable() : nullptr) {
        throw Error(ErrorCode::Unsupported, "Cannot change '" + path_ + "': " + why +
                                                ". The database can be read, not changed.");
    }
    if (!writable_) {
        throw Error(ErrorCode::ReadOnly,
                    "Cannot change '" + path_ +
                        "': the database is open read-only (the file "
                        "or its folder is read-only, or it was opened for reading).");
    }
    refuseSeveralNames();
    // With a read guard open this converts its shared lock; the guard keeps working.
    lock_.lock(LockLevel::Exclusive, patience_);
    try {
        // A writer that died since our last read left its journal: undo it first.
        if (posix::exists(journalPath_)) {
            playBackJournal(journalPath_, fd_.get(), path_, faults_);
            dropCache();
        }
        refreshIfChanged();
        if (size_ % pageSize_ != 0) {
            throw Error(ErrorCode::Corrupt, "Cannot change '" + path_ + "': its size (" +
                                                std::to_string(size_) +
                                                " bytes) is not a whole number of pages.")
                .about(path_);
        }
    } catch (...) {
        lock_.tryLock(readDepth_ > 0 ? LockLevel::Shared : LockLevel::None);
        throw;
    }
    originalSize_ = size_;
    journaled_.assign(size_ / pageSize_, false);
    inWrite_ = true;
}

void PageFile::refuseSeveralNames() const {
    // The journal of an interrupted change is found by the file's name. A file with several
    // names (hard links) may be opened by another one next time, which would read the half-done
    // change and write over it; and a backup kept as a hard link would change with it.
    struct stat st {};
    if (::fstat(fd_.get(), &st) != 0) posix::throwIo("examine", path_, errno);
    if (st.st_nlink > 1) {
        throw Error(ErrorCode::ReadOnly,
                    "Cannot change '" + path_ + "': the file has " + std::to_string(st.st_nlink) +
                        " names (hard links), and a change interrupted under one name could not "
                        "be undone when it is opened by another. Change a copy of it instead.");
    }
}

void PageFile::writePage(std::uint32_t number, Page bytes) {
    requireWrite("writePage()");
    if (bytes.size() != pageSize_) misuse("writePage() with a buffer that is not one page");
    if (number == 0) {
        // The cached page 0 is the unmasked copy; writing it back needs the mask, which is not
        // done yet, so refusing is the safe answer.
        throw Error(ErrorCode::Unsupported,
                    "Changing the database definition page of '" + path_ + "' is not supported.");
    }
    if (number >= filePages()) {
        throw Error(ErrorCode::Corrupt, "a write to page " + std::to_string(number) +
                                            ", beyond the end of '" + path_ + "' (" +
                                            std::to_string(filePages()) + " pages)")
            .about(path_);
    }
    if (!snapshots_.empty()) saveForSnapshots(number);
    kept_.erase(number);
    if (!dirty_.contains(number) && dirty_.size() >= dirtyLimit_) flush();
    auto page = std::make_shared<const Page>(std::move(bytes));
    if (auto it = cache_.find(number); it != cache_.end()) {
        lru_.erase(it->second.second);
        cache_.erase(it);
    }
    dirty_[number] = std::move(page);
}

std::uint32_t PageFile::appendPage() {
    requireWrite("appendPage()");
    if (dirty_.size() >= dirtyLimit_) flush();
    const std::uint32_t number = filePages();
    dirty_[number] = std::make_shared<const Page>(pageSize_, std::uint8_t{0});
    size_ += pageSize_;
    return number;
}

void PageFile::flush() {
    if (dirty_.empty()) return;
    Page original(pageSize_);
    const auto readOriginal = [&](std::uint32_t number) {
        if (posix::readUpTo(fd_.get(), original.data(), pageSize_,
                            std::uint64_t{number} * pageSize_, path_) != pageSize_) {
            throw Error(ErrorCode::Io, "'" + path_ + "' became shorter while it was locked.");
        }
    };
    // The journal exists and is durable before the first page is written, even when every
    // page is new: its original size is what takes appended pages away again. Page 0 as the
    // file holds it says which file the journal belongs to.
    if (!journal_) {
        readOriginal(0);
        journal_.emplace(journalPath_, pageSize_, originalSize_, original, faults_);
    }
    // The pages as they go to the file, encoded.
    std::vector<std::pair<std::uint32_t, Page>> pages;
    pages.reserve(dirty_.size());
    std::vector<std::uint32_t> newlyJournaled;
    for (const auto& [number, page] : dirty_) {
        Page bytes = *page;
        if (codec_) codec_->encode(number, bytes);
        if (number < journaled_.size()) {
            if (!journaled_[number]) {
                // Not yet written in this transaction, so the file still holds the original.
                readOriginal(number);
                journal_->append(number, original);
                newlyJournaled.push_back(number);
            }
            // Playback recognises the page as this write left it, even torn.
            journal_->appendVersion(number, bytes);
        }
        pages.emplace_back(number, std::move(bytes));
    }
    journal_->sync();
    for (const auto number : newlyJournaled) journaled_[number] = true;

    // Pages that follow one another in the file go in one write, a run at a time.
    constexpr std::size_t kRunPages = 64;
    std::vector<std::uint8_t> run;
    std::uint32_t runStart = 0;
    const auto writeRun = [&] {
        if (run.empty()) return;
        posix::writeAll(fd_.get(), run.data(), run.size(), std::uint64_t{runStart} * pageSize_,
                        path_);
        run.clear();
    };
    for (auto& [number, bytes] : pages) {
        if (!run.empty() &&
            (number != runStart + run.size() / pageSize_ || run.size() >= kRunPages * pageSize_)) {
            writeRun();
        }
        if (run.empty()) runStart = number;
        faults_.beforePageWrite(number);
        run.insert(run.end(), bytes.begin(), bytes.end());
        auto node = dirty_.extract(number);
        cachePut(number, std::move(node.mapped()));
    }
    writeRun();
}

// ---- snapshots ------------------------------------------------------------------------------

std::shared_ptr<const PageSnapshot> PageFile::takeSnapshot() const {
    if (inWrite_) misuse("takeSnapshot() inside a write");
    const auto guard = readGuard();
    touch();  // under the shared lock, with the cache checked against the file
    if (!images_) {
        images_ = std::make_shared<PageImageStore>(path_, pageSize_, snapshotMemoryBudget_, codec_);
    }
    auto snapshot = std::make_shared<PageSnapshot>(size_, pageSize_, generation_);
    std::erase_if(snapshots_, [](const auto& s) { return s.expired(); });
    snapshots_.push_back(snapshot);
    return snapshot;
}

void PageFile::setSnapshotMemoryBudget(std::size_t bytes) {
    snapshotMemoryBudget_ = bytes;
    if (images_) images_->setMemoryBudget(bytes);
}

void PageFile::saveForSnapshots(std::uint32_t number) {
    std::erase_if(snapshots_, [](const auto& s) { return s.expired(); });
    std::shared_ptr<const PageImage> image;
    for (const auto& weak : snapshots_) {
        const auto snapshot = weak.lock();
        if (snapshot->generation() != generation_ || number >= snapshot->pageCount() ||
            snapshot->image(number) != nullptr) {
            continue;
        }
        if (!image) {
            // A snapshot predates the write, so it has its image of every page the write has
            // changed so far; this page is unchanged, and the cache or the file holds it as
            // committed. A keeper's newer state of it is not wanted here.
            if (dirty_.contains(number) || (number < journaled_.size() && journaled_[number])) {
                misuse("a snapshot without the committed state of a page already written");
            }
            image = images_->save(number, cachedOrRead(number));
        }
        snapshot->keep(number, image);
    }
}

void PageFile::keepPage(std::uint32_t number, PageKeeper& keeper) {
    requireWrite("keepPage()");
    if (number == 0 || number >= filePages()) misuse("keepPage() of a page outside the file");
    const auto [it, added] = kept_.emplace(number, &keeper);
    if (!added && it->second != &keeper) misuse("keepPage() of a page another layer keeps");
}

// The page is taken off the list before its keeper is called, so the keeper's writePage()
// and reads of the page see it as an ordinary page.
void PageFile::writeKeptPage(std::uint32_t number) const {
    const auto it = kept_.find(number);
    if (it == kept_.end()) return;
    PageKeeper* keeper = it->second;
    kept_.erase(it);
    keeper->writeKeptPage(number);
}

void PageFile::writeKeptPages() {
    while (!kept_.empty()) writeKeptPage(kept_.begin()->first);
}

void PageFile::forgetKeeper(const PageKeeper& keeper) noexcept {
    std::erase_if(kept_, [&](const auto& entry) {
        if (entry.second != &keeper) return false;
        keptPagesLost_ = true;
        return true;
    });
}

void PageFile::advanceModificationTime() {
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
        if (::futimens(fd_.get(), times) != 0) posix::throwIo("set the time of", path_, errno);
    }
}

void PageFile::commit() {
    requireWrite("commit()");
    bool durable = false;
    try {
        writeKeptPages();
        if (keptPagesLost_) misuse("commit() after a layer let go of pages it had not written");
        flush();
        if (journal_) {
            advanceModificationTime();
            faults_.beforeSync(SyncPoint::Database);
            posix::syncFile(fd_.get(), path_);
            journal_->unlink();
            durable = true;  // the journal's removal is the commit point
            journal_.reset();
            faults_.beforeSync(SyncPoint::Directory);
            posix::syncDirectoryOf(journalPath_);
        }
    } catch (...) {
        if (durable) {
            endWrite();
            throw;
        }
        try {
            rollback();
        } catch (...) {  // NOLINT(bugprone-empty-catch)
            // The first failure is the one to report; the journal stays for the next opener.
        }
        throw;
    }
    endWrite();
}

void PageFile::rollback() {
    requireWrite("rollback()");
    dirty_.clear();
    kept_.clear();
    journal_.reset();
    try {
        // Whatever reached the disk was journaled first; a journal that never became durable
        // protects nothing and only goes away.
        playBackJournal(journalPath_, fd_.get(), path_, faults_);
    } catch (...) {
        dropCache();
        endWrite();
        throw;
    }
    dropCache();
    size_ = originalSize_;
    endWrite();
}

void PageFile::endWrite() {
    dirty_.clear();
    kept_.clear();
    keptPagesLost_ = false;
    journal_.reset();
    journaled_ = {};
    inWrite_ = false;
    try {
        // What this connection wrote is already in its cache: no reason to drop it.
        stamp_ = currentStamp();
        size_ = stamp_.size;
    } catch (...) {  // NOLINT(bugprone-empty-catch)
        // The next read guard looks again.
    }
    lock_.tryLock(readDepth_ > 0 ? LockLevel::Shared : LockLevel::None);
}

}  // namespace jet::file
