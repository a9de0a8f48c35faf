#include "jet/file/page_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cassert>
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
            // A file server's answer when a Windows program holds the file to itself (Access
            // opens a database exclusively that way), through a CIFS mount.
            if (errno == EBUSY || errno == ETXTBSY) {
                throw Error(ErrorCode::Locked,
                            "The database '" + path +
                                "' is held by another program, which keeps everyone else out "
                                "(Access does so when it opens a database exclusively); close "
                                "it there, then try again.")
                    .about(path);
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
    opened.realPath = posix::canonicalPathOf(opened.fd.get(), path);
    return opened;
}

PageFile::PageFile(const std::string& path, AccessMode mode)
    : PageFile(path, openFile(path, mode)) {}

PageFile::PageFile(const std::string& path, Opened opened)
    : path_(path),
      journalPath_(RollbackJournal::pathFor(opened.realPath)),
      lockFile_(opened.realPath),
      fd_(std::move(opened.fd)),
      writable_(opened.writable),
      readers_(fd_.get(), path, journalPath_, &lockFile_) {
    // Nothing may read a file that a dead writer left half-changed.
    readers_.recoverOnOpen();
    refuseExclusiveAccess();
}

void PageFile::refuseExclusiveAccess() {
    // Access lets others read a database it shares, not one it holds to itself. The lock file
    // is looked at first without any lock; what it shows is confirmed under the shared lock, as
    // this engine's own writers hold the same bytes while they write. A writer of ours holding
    // the file now could only register because Access was not in: no need to wait for it.
    if (!lockFile_.look().exclusive) return;
    AccessUsers others;
    readers_.underSharedLockNow([&] { others = lockFile_.look(); });
    if (others.exclusive) {
        throw Error(ErrorCode::Locked, AccessLockFile::inUseMessage(path_, others)).about(path_);
    }
}

PageFile::~PageFile() {
    if (inWrite()) {
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

// ---- reading -------------------------------------------------------------------------------

PageRef PageFile::page(std::uint32_t number) const {
    if (progress_ && readers_.countRead()) progress_();
    touch();
    if (snapshots_.view() != nullptr) return viewPage(number);
    if (number == 0 && header_) return header_;
    if (number >= filePages()) beyondTheEnd(number, filePages());
    if (const PageBuffer* recent = recentEdit(number)) return *recent;
    if (!dirty_.empty()) {
        if (const auto it = dirty_.find(number); it != dirty_.end()) return it->second;
    }
    return cachedOrRead(number);
}

PageRef PageFile::cachedOrRead(std::uint32_t number) const {
    if (PageRef cached = cache_.find(number)) return cached;
    PageBuffer page = readPage(number);
    cache_.put(number, page);
    return page;
}

PageBuffer PageFile::readPage(std::uint32_t number) const {
    auto page =
        std::make_shared<Page>(readAt(static_cast<std::uint64_t>(number) * pageSize_, pageSize_));
    if (codec_ && number != 0) codec_->decode(number, *page);
    return page;
}

// The page as the file holds it, encoded; only inside a write, where the file cannot shrink.
void PageFile::readRaw(std::uint32_t number, Page& into) const {
    into.resize(pageSize_);
    if (posix::readUpTo(fd_.get(), into.data(), pageSize_, std::uint64_t{number} * pageSize_,
                        path_) != pageSize_) {
        throw Error(ErrorCode::Io, "'" + path_ + "' became shorter while it was locked.");
    }
}

PageRef PageFile::viewPage(std::uint32_t number) const {
    const PageSnapshot& view = *snapshots_.view();
    // Only this PageFile's writes save images; after anyone else's, the snapshot is incomplete.
    if (view.generation() != generation()) {
        throw Error(ErrorCode::DataChanged, "'" + path_ +
                                                "' was changed by another program since this "
                                                "view of it was opened; open it again.");
    }
    if (number == 0 && header_) return header_;
    if (number >= view.pageCount()) beyondTheEnd(number, view.pageCount());
    if (const PageImage* image = view.image(number)) return image->bytes();
    // Unchanged since the snapshot, and not by the write in progress either (it would have saved
    // an image first): the cache and the file hold it as it was.
    return cachedOrRead(number);
}

PageFile::ReadGuard PageFile::readGuard() const {
    readers_.enter();
    return ReadGuard(this);
}

PageFile::ReadGuard::~ReadGuard() {
    if (file_ != nullptr) file_->releaseGuard();
}

void PageFile::releaseGuard() const { readers_.leave(); }

// ---- the write transaction -----------------------------------------------------------------

void PageFile::assertState() const {
#ifndef NDEBUG
    if (state_ == WriteState::Idle) {
        assert(dirty_.empty() && !journal_ && journaled_.empty() && "an idle file holds no write");
        return;
    }
    assert(readers_.exclusive() && "a write holds the exclusive lock");
    assert(journaled_.size() == originalSize_ / pageSize_ && "one journal bit per original page");
    assert((writeSize_ >= originalSize_ || cut_) && writeSize_ % pageSize_ == 0 &&
           "a write appends whole pages, and only a cut takes any away");
    assert(diskSize_ >= originalSize_ && "the file is cut at commit, not before");
    assert((dirty_.empty() || dirty_.rbegin()->first < filePages()) &&
           "no page past the end waits to be written");
    switch (state_) {
        case WriteState::Locked:
            assert(dirty_.empty() && !journal_ && !cut_ && "nothing changed yet");
            break;
        case WriteState::Changed:
            assert((!dirty_.empty() || cut_) && "changes wait in memory");
            break;
        case WriteState::Written:
            assert(journal_ && "pages reach the file only under the journal");
            break;
        case WriteState::Idle:
        case WriteState::Failed:
            break;
    }
#endif
}

void PageFile::requireWrite(const char* operation) const {
    if (!inWrite()) misuse(std::string(operation) + " outside beginWrite()..commit()");
}

void PageFile::requireChangeable(std::uint32_t number, const char* operation) const {
    requireWrite(operation);
    if (state_ == WriteState::Failed) {
        misuse(std::string(operation) + " in a write that failed; it can only be rolled back");
    }
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
}

void PageFile::beginWrite() {
    if (inWrite()) misuse("beginWrite() inside a write");
    if (snapshots_.view() != nullptr) {
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
    readers_.lockExclusive();
    try {
        // Registered in Access's lock file before looking at who else is in, and until the
        // write is over (endWrite), so that no Jet can come in between.
        registration_ = lockFile_.enter(path_);
        // A writer that died since our last read left its journal: undo it first.
        if (posix::exists(journalPath_)) {
            playBackJournal(journalPath_, fd_.get(), path_, faults_);
            cache_.clear();
        }
        if (readers_.refresh()) cache_.clear();
        if (readers_.fileSize() % pageSize_ != 0) {
            throw Error(ErrorCode::Corrupt, "Cannot change '" + path_ + "': its size (" +
                                                std::to_string(readers_.fileSize()) +
                                                " bytes) is not a whole number of pages.")
                .about(path_);
        }
    } catch (...) {
        registration_ = {};
        readers_.unlockExclusive();
        throw;
    }
    originalSize_ = readers_.fileSize();
    writeSize_ = originalSize_;
    diskSize_ = originalSize_;
    cut_ = false;
    journaled_.assign(originalSize_ / pageSize_, false);
    journaledAsChanges_.assign(originalSize_ / pageSize_, false);
    state_ = WriteState::Locked;
    assertState();
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

std::span<std::uint8_t> PageFile::edit(std::uint32_t number) {
    requireChangeable(number, "edit()");
    Page& page = *dirtyEntry(number, false);
    assert(page.size() == pageSize_ && "a dirty page is one page long");
    assertState();
    return page;
}

void PageFile::writePage(std::uint32_t number, Page bytes) {
    requireWrite("writePage()");
    if (bytes.size() != pageSize_) misuse("writePage() with a buffer that is not one page");
    requireChangeable(number, "writePage()");
    PageBuffer replacement = std::make_shared<Page>(std::move(bytes));
    dirtyEntry(number, true) = std::move(replacement);
    assertState();
}

PageBuffer& PageFile::dirtyEntry(std::uint32_t number, bool wholePage) {
    if (PageBuffer* recent = recentEdit(number)) return copiedIfHeld(*recent, wholePage);
    auto it = dirty_.find(number);
    if (it == dirty_.end()) {
        if (dirty_.size() >= dirtyLimit_) flush();
        PageBuffer buffer = cache_.take(number);
        if (number < journaled_.size() && !journaled_[number]) {
            firstChange(number, buffer, wholePage);
        } else if (!buffer && !wholePage) {
            // Flushed earlier in this write, and gone from the cache since: the file holds it.
            buffer = readPage(number);
        }
        it = dirty_.emplace(number, std::move(buffer)).first;
        if (state_ == WriteState::Locked) state_ = WriteState::Changed;
    }
    recentEdits_[1] = recentEdits_[0];
    recentEdits_[0] = RecentEdit{number, &it->second};
    return copiedIfHeld(it->second, wholePage);
}

PageBuffer& PageFile::copiedIfHeld(PageBuffer& entry, bool wholePage) {
    // Copy on write: bytes someone holds through page() stay as they are.
    if (!wholePage && entry.use_count() > 1) {
        entry = std::make_shared<Page>(std::as_const(*entry));
    }
    assert((wholePage || entry != nullptr) && "an edited page has its bytes");
    return entry;
}

// The first change of a page the file held when the write began: its committed bytes go to the
// open snapshots, its original, as the file holds it, to the journal. `committed` is the cached
// page or null; it comes back holding the page's bytes unless `wholePage`.
void PageFile::firstChange(std::uint32_t number, PageBuffer& committed, bool wholePage) {
    // Unencoded, the cached page is the file's bytes: the cache was checked against the file
    // when the write took its lock, and nothing has written this page since. It stands for the
    // original as it is, shared: an edit copies it first, as it does every page someone holds.
    PageRef raw;
    if (!codec_ && committed) {
        raw = committed;
    } else {
        auto read = std::make_shared<Page>();
        readRaw(number, *read);
        raw = std::move(read);
    }
    const auto decoded = [&] {
        if (!committed) {
            committed = std::make_shared<Page>(*raw);
            if (codec_) codec_->decode(number, *committed);
        }
        return committed;
    };
    snapshots_.saveBeforeChange(number, generation(), [&]() -> PageRef { return decoded(); });
    if (wholePages_) {
        try {
            journal().append(number, *raw);
        } catch (...) {
            // The journal's batch is in an unknown state: nothing may be written under it.
            state_ = WriteState::Failed;
            throw;
        }
    } else {
        // The flush that writes the page journals what it changed.
        unflushedOriginals_[number] = raw;
    }
    journaled_[number] = true;
    if (!wholePage) (void)decoded();
}

RollbackJournal& PageFile::journal() {
    if (!journal_) {
        // Page 0 as the file holds it says which file the journal belongs to.
        Page pageZero;
        readRaw(0, pageZero);
        journal_.emplace(journalPath_, pageSize_, originalSize_, pageZero, faults_);
    }
    return *journal_;
}

void PageFile::requireRoom(std::uint32_t pages) const {
    if (sizeLimit_ == 0 || size() + std::uint64_t{pages} * pageSize_ <= sizeLimit_) return;
    throw Error(ErrorCode::TooLarge, "The database '" + path_ + "' would grow past " +
                                         sizeLimitLabel_ +
                                         ", the most that Access can open; nothing was changed.")
        .about(path_);
}

std::uint32_t PageFile::appendPage() {
    requireWrite("appendPage()");
    if (state_ == WriteState::Failed) {
        misuse("appendPage() in a write that failed; it can only be rolled back");
    }
    requireRoom(1);
    if (dirty_.size() >= dirtyLimit_) flush();
    const std::uint32_t number = filePages();
    assert(!cache_.contains(number) && "no page beyond the end is cached");
    dirty_[number] = std::make_shared<Page>(pageSize_, std::uint8_t{0});
    writeSize_ += pageSize_;
    if (state_ == WriteState::Locked) state_ = WriteState::Changed;
    assertState();
    return number;
}

void PageFile::truncate(std::uint32_t pageCount) {
    requireWrite("truncate()");
    if (state_ == WriteState::Failed) {
        misuse("truncate() in a write that failed; it can only be rolled back");
    }
    if (pageCount < 2) misuse("truncate() that would cut the header page or the global usage map");
    const std::uint32_t pages = filePages();
    if (pageCount > pages) {
        misuse("truncate() to " + std::to_string(pageCount) + " pages, beyond the end of '" +
               path_ + "' (" + std::to_string(pages) + " pages)");
    }
    if (pageCount == pages) return;
    // A page the write began with goes as on its first change: the open snapshots keep its
    // committed bytes, the journal its original, to be written back should the write not
    // finish. Pages appended in this write have neither.
    const auto began = static_cast<std::uint32_t>(journaled_.size());
    for (std::uint32_t n = pageCount; n < std::min(pages, began); ++n) {
        if (journaledAsChanges_[n]) {
            misuse("truncate() of page " + std::to_string(n) +
                   ", which the journal holds only as changes (journalWholePages() first)");
        }
    }
    for (std::uint32_t n = pageCount; n < std::min(pages, began); ++n) {
        if (const auto original = unflushedOriginals_.find(n);
            original != unflushedOriginals_.end()) {
            try {
                journal().append(n, *original->second);
            } catch (...) {
                state_ = WriteState::Failed;
                throw;
            }
            unflushedOriginals_.erase(original);
            continue;
        }
        if (journaled_[n]) continue;
        PageBuffer committed = cache_.take(n);
        const bool whole = std::exchange(wholePages_, true);
        firstChange(n, committed, true);
        wholePages_ = whole;
    }
    recentEdits_ = {};
    dirty_.erase(dirty_.lower_bound(pageCount), dirty_.end());
    for (std::uint32_t n = pageCount; n < pages; ++n) (void)cache_.take(n);
    writeSize_ = std::uint64_t{pageCount} * pageSize_;
    cut_ = true;
    // What the free-page search learnt may name pages that are gone.
    freePageSearch_ = {};
    if (state_ == WriteState::Locked) state_ = WriteState::Changed;
    assertState();
}

void PageFile::cutFile() {
    if (diskSize_ <= writeSize_) return;
    if (writeSize_ < originalSize_) {
        // The originals of the pages cut are in the journal already; the record that lets
        // playback accept a file this short goes after them, durable before the file changes.
        RollbackJournal& journal = this->journal();
        try {
            journal.appendCut(writeSize_);
        } catch (...) {
            state_ = WriteState::Failed;
            throw;
        }
        journal.sync();
        state_ = WriteState::Written;
    }
    // Cutting is a write to the file like a page's: a seam may stop it just before.
    faults_.beforePageWrite(static_cast<std::uint32_t>(writeSize_ / pageSize_));
    posix::truncateTo(fd_.get(), writeSize_, path_);
    diskSize_ = writeSize_;
}

// What a flush is about to change in page `number`, which the journal protects: on its first
// flush, the page as the write found it (recognised by its sector checksums) and the changes
// (or its whole original, when most of it changes); on a later flush of a page journaled as
// changes, what changes from the version in the file.
void PageFile::journalChanges(RollbackJournal& journal, std::uint32_t number, const Page& written) {
    if (const auto original = unflushedOriginals_.find(number);
        original != unflushedOriginals_.end()) {
        const Page& before = *original->second;
        const auto delta = RollbackJournal::deltaOf(before, written, pageSize_ / 2);
        if (delta) {
            journal.appendVersion(number, before);
            journal.appendDelta(number, *delta);
            journaledAsChanges_[number] = true;
        } else {
            journal.append(number, before);
        }
        unflushedOriginals_.erase(original);
    } else if (journaledAsChanges_[number]) {
        Page previous;
        readRaw(number, previous);
        journal.appendDelta(number, *RollbackJournal::deltaOf(previous, written));
    }
}

void PageFile::flush() {
    if (dirty_.empty()) return;
    try {
        // The journal exists and is durable before the first page is written, even when every
        // page is new: its original size is what takes appended pages away again.
        RollbackJournal& journal = this->journal();
        // The pages as they go to the file: encoded copies, or the buffers themselves.
        std::vector<Page> encoded;
        if (codec_) encoded.reserve(dirty_.size());
        const auto bytesOf = [&](std::size_t k, const PageBuffer& page) -> const Page& {
            return codec_ ? encoded[k] : *page;
        };
        std::size_t k = 0;
        for (const auto& [number, page] : dirty_) {
            if (codec_) {
                encoded.push_back(*page);
                codec_->encode(number, encoded.back());
            }
            if (number < journaled_.size()) {
                assert(journaled_[number] && "a page's original is journaled at its first change");
                journalChanges(journal, number, bytesOf(k, page));
                // Playback recognises the page as this write left it, even torn.
                journal.appendVersion(number, bytesOf(k, page));
            }
            ++k;
        }
        journal.sync();
        state_ = WriteState::Written;
        diskSize_ = std::max(diskSize_, (std::uint64_t{dirty_.rbegin()->first} + 1) * pageSize_);

        // Pages that follow one another in the file go in one write, a run at a time.
        constexpr std::size_t kRunPages = 64;
        std::vector<std::span<const std::uint8_t>> run;
        run.reserve(kRunPages);
        std::uint32_t runStart = 0;
        const auto writeRun = [&] {
            if (run.empty()) return;
            posix::writeAllGathered(fd_.get(), run, std::uint64_t{runStart} * pageSize_, path_);
            run.clear();
        };
        k = 0;
        for (const auto& [number, page] : dirty_) {
            if (!run.empty() && (number != runStart + run.size() || run.size() >= kRunPages)) {
                writeRun();
            }
            if (run.empty()) runStart = number;
            faults_.beforePageWrite(number);
            run.emplace_back(bytesOf(k++, page));
        }
        writeRun();
    } catch (...) {
        // Some pages may be on disk, some not: only a rollback leads out.
        state_ = WriteState::Failed;
        throw;
    }
    // Clean now, and still the same buffers: a layer that edits one again gets it back.
    for (auto& [number, page] : dirty_) cache_.put(number, std::move(page));
    dirty_.clear();
    recentEdits_ = {};
    assertState();
}

void PageFile::failWrite() noexcept {
    if (inWrite()) state_ = WriteState::Failed;
}

void PageFile::commit() {
    requireWrite("commit()");
    bool durable = false;
    try {
        if (state_ == WriteState::Failed) {
            misuse("commit() of a write that lost part of its changes");
        }
        flush();
        cutFile();
        if (journal_) {
            readers_.advanceModificationTime();
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
    unflushedOriginals_.clear();
    recentEdits_ = {};
    journal_.reset();
    try {
        // Whatever reached the disk was journaled first; a journal that never became durable
        // protects nothing and only goes away.
        playBackJournal(journalPath_, fd_.get(), path_, faults_);
    } catch (...) {
        cache_.clear();
        endWrite();
        throw;
    }
    cache_.clear();
    endWrite();
}

void PageFile::endWrite() {
    dirty_.clear();
    freePageSearch_ = {};
    recentEdits_ = {};
    journal_.reset();
    journaled_ = {};
    journaledAsChanges_ = {};
    unflushedOriginals_.clear();
    wholePages_ = false;
    cut_ = false;
    state_ = WriteState::Idle;
    try {
        // What this connection wrote is already in its cache: no reason to drop it.
        readers_.restamp();
    } catch (...) {  // NOLINT(bugprone-empty-catch)
        // The next read guard looks again.
    }
    registration_ = {};
    readers_.unlockExclusive();
    assertState();
}

// ---- snapshots ------------------------------------------------------------------------------

std::shared_ptr<const PageSnapshot> PageFile::takeSnapshot() {
    if (inWrite()) misuse("takeSnapshot() inside a write");
    const auto guard = readGuard();
    touch();  // under the shared lock, with the cache checked against the file
    return snapshots_.take(size(), pageSize_, generation(), path_, codec_);
}

}  // namespace jet::file
