#include "jet/index/entry_sorter.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <stdexcept>

#include "jet/base/error.h"

namespace jet::index {
namespace {

// Runs read at once by one merge, and the buffer each is read through.
constexpr std::size_t kMergeWidth = 64;
constexpr std::size_t kReadBuffer = std::size_t{64} << 10;
constexpr std::size_t kWriteBuffer = std::size_t{256} << 10;
constexpr std::size_t kHeader = 3;   // index number, key length
constexpr std::size_t kTrailer = 5;  // data page, row
// A sorted record in memory also costs its place in the order: its offset and the first bytes
// it sorts by.
constexpr std::size_t kOrderCost = 16;

std::size_t keyLength(const std::uint8_t* r) { return r[1] | (std::size_t{r[2]} << 8); }
std::size_t recordSize(const std::uint8_t* r) { return kHeader + keyLength(r) + kTrailer; }

std::uint32_t dataPageOf(const std::uint8_t* r) {
    const std::uint8_t* p = r + kHeader + keyLength(r);
    return p[0] | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
           (std::uint32_t{p[3]} << 24);
}

// Index number, then key bytes (a key that is a prefix of another first), then row pointer: the
// order compareEntries gives one index's entries.
int compareRecords(const std::uint8_t* a, const std::uint8_t* b) {
    if (a[0] != b[0]) return a[0] < b[0] ? -1 : 1;
    const std::size_t la = keyLength(a), lb = keyLength(b);
    if (const int c = std::memcmp(a + kHeader, b + kHeader, std::min(la, lb)); c != 0) return c;
    if (la != lb) return la < lb ? -1 : 1;
    const std::uint32_t pa = dataPageOf(a), pb = dataPageOf(b);
    if (pa != pb) return pa < pb ? -1 : 1;
    const std::uint8_t ra = a[kHeader + la + 4], rb = b[kHeader + lb + 4];
    if (ra != rb) return ra < rb ? -1 : 1;
    return 0;
}

// The index number and the first seven key bytes, zero-padded, as one number that orders
// records as compareRecords does wherever two of them differ.
std::uint64_t leadingBytes(const std::uint8_t* r) {
    std::uint64_t v = r[0];
    const std::size_t n = keyLength(r);
    for (std::size_t i = 0; i < 7; ++i) v = (v << 8) | (i < n ? r[kHeader + i] : 0);
    return v;
}

SortedEntry decode(const std::uint8_t* r) {
    const std::size_t n = keyLength(r);
    return SortedEntry{r[0], {r + kHeader, n}, dataPageOf(r), r[kHeader + n + 4]};
}

}  // namespace

// Reads one run back record by record.
class EntrySorter::RunReader {
public:
    RunReader(const EntrySorter& owner, Run run)
        : owner_(owner), offset_(run.offset), end_(run.offset + run.length) {
        buffer_.reserve(kReadBuffer);
        advance(0);
    }
    // The current record; nullptr after the last.
    const std::uint8_t* current() const { return current_; }
    void next() { advance(recordSize(current_)); }

private:
    void advance(std::size_t consumed) {
        at_ += consumed;
        current_ = nullptr;
        if (!available(kHeader)) return;
        if (!available(recordSize(buffer_.data() + at_))) broken();
        current_ = buffer_.data() + at_;
    }
    // Whether `n` bytes are in the buffer from at_, reading on when they are not; false only at
    // the end of the run.
    bool available(std::size_t n) {
        if (buffer_.size() - at_ >= n) return true;
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(at_));
        at_ = 0;
        const std::size_t have = buffer_.size();
        const std::size_t want = static_cast<std::size_t>(
            std::min<std::uint64_t>(std::max(kReadBuffer, n) - have, end_ - offset_));
        buffer_.resize(have + want);
        const std::size_t got = file::posix::readUpTo(owner_.fd_.get(), buffer_.data() + have, want,
                                                      offset_, owner_.where());
        offset_ += got;
        buffer_.resize(have + got);
        if (got != want) broken();
        if (buffer_.size() >= n) return true;
        if (buffer_.empty()) return false;
        broken();
    }
    [[noreturn]] void broken() const {
        throw Error(ErrorCode::Io, "A temporary file in '" + owner_.folder_ +
                                       "' holding index entries being sorted ended early.");
    }

    const EntrySorter& owner_;
    std::uint64_t offset_;
    std::uint64_t end_;
    std::vector<std::uint8_t> buffer_;
    std::size_t at_ = 0;
    const std::uint8_t* current_ = nullptr;
};

// The smallest current record of several runs, one after another.
class EntrySorter::Merge {
public:
    Merge(const EntrySorter& owner, std::span<const Run> runs) {
        readers_.reserve(runs.size());
        for (const Run& r : runs) {
            readers_.push_back(std::make_unique<RunReader>(owner, r));
            if (readers_.back()->current() != nullptr) heap_.push_back(readers_.back().get());
        }
        std::make_heap(heap_.begin(), heap_.end(), later);
    }
    // The next record, valid until the next call; nullptr after the last.
    const std::uint8_t* next() {
        if (last_ != nullptr) {
            last_->next();
            if (last_->current() != nullptr) {
                heap_.push_back(last_);
                std::push_heap(heap_.begin(), heap_.end(), later);
            }
            last_ = nullptr;
        }
        if (heap_.empty()) return nullptr;
        std::pop_heap(heap_.begin(), heap_.end(), later);
        last_ = heap_.back();
        heap_.pop_back();
        return last_->current();
    }

private:
    static bool later(const RunReader* a, const RunReader* b) {
        return compareRecords(a->current(), b->current()) > 0;
    }
    std::vector<std::unique_ptr<RunReader>> readers_;
    std::vector<RunReader*> heap_;
    RunReader* last_ = nullptr;
};

EntrySorter::EntrySorter(std::string databasePath, std::size_t budgetBytes)
    : folder_(file::posix::directoryOf(databasePath)), budget_(budgetBytes) {}

EntrySorter::~EntrySorter() = default;

std::string EntrySorter::where() const { return "a temporary file in " + folder_; }

void EntrySorter::add(std::uint8_t index, std::span<const std::uint8_t> key, std::uint32_t dataPage,
                      std::uint8_t dataRow) {
    if (reading_) throw std::logic_error("EntrySorter::add() after next()");
    if (key.size() > 0xffff) throw std::logic_error("EntrySorter::add(): key too long");
    const std::size_t size = kHeader + key.size() + kTrailer;
    if (held_.empty()) held_.reserve(budget_);
    if (!held_.empty() && held_.size() + size + kOrderCost * (order_.size() + 1) > budget_) {
        spill();
    }
    const std::size_t at = held_.size();
    order_.push_back(static_cast<std::uint32_t>(at));
    held_.push_back(index);
    held_.push_back(static_cast<std::uint8_t>(key.size()));
    held_.push_back(static_cast<std::uint8_t>(key.size() >> 8));
    held_.insert(held_.end(), key.begin(), key.end());
    for (int i = 0; i < 4; ++i) held_.push_back(static_cast<std::uint8_t>(dataPage >> (8 * i)));
    held_.push_back(dataRow);
    if (inOrder_) {
        // The entry before it is held too, or was the last one written out.
        const std::uint8_t* before = order_.size() > 1 ? held_.data() + order_[order_.size() - 2]
                                     : last_.empty()   ? nullptr
                                                       : last_.data();
        inOrder_ = before == nullptr || compareRecords(before, held_.data() + at) <= 0;
    }
}

void EntrySorter::sortHeld() {
    struct Sortable {
        std::uint64_t leading;
        std::uint32_t offset;
    };
    std::vector<Sortable> sortable;
    sortable.reserve(order_.size());
    for (const std::uint32_t off : order_) {
        sortable.push_back({leadingBytes(held_.data() + off), off});
    }
    const std::uint8_t* base = held_.data();
    std::sort(sortable.begin(), sortable.end(), [base](const Sortable& a, const Sortable& b) {
        if (a.leading != b.leading) return a.leading < b.leading;
        return compareRecords(base + a.offset, base + b.offset) < 0;
    });
    for (std::size_t i = 0; i < sortable.size(); ++i) order_[i] = sortable[i].offset;
}

EntrySorter::Run EntrySorter::writeRun(const std::function<const std::uint8_t*()>& nextRecord) {
    if (fd_.get() < 0) fd_ = file::posix::anonymousFileIn(folder_, ".quillfen-index");
    const std::uint64_t start = fileEnd_;
    std::vector<std::uint8_t> out;
    out.reserve(kWriteBuffer);
    const auto flush = [&] {
        file::posix::writeAll(fd_.get(), out.data(), out.size(), fileEnd_, where());
        fileEnd_ += out.size();
        out.clear();
    };
    while (const std::uint8_t* r = nextRecord()) {
        out.insert(out.end(), r, r + recordSize(r));
        if (out.size() >= kWriteBuffer) flush();
    }
    flush();
    ++runsWritten_;
    return Run{start, fileEnd_ - start};
}

void EntrySorter::spill() {
    if (order_.empty()) return;
    if (!inOrder_) sortHeld();
    if (inOrder_) {
        const std::uint8_t* last = held_.data() + order_.back();
        last_.assign(last, last + recordSize(last));
    }
    std::size_t i = 0;
    const Run run = writeRun([&]() -> const std::uint8_t* {
        return i < order_.size() ? held_.data() + order_[i++] : nullptr;
    });
    // Entries that came in order so far make one run, however many times they were written
    // out: reading them back then needs no merge.
    if (inOrder_ && !runs_.empty()) {
        runs_.back().length += run.length;
    } else {
        runs_.push_back(run);
    }
    held_.clear();
    order_.clear();
}

EntrySorter::Run EntrySorter::mergeRuns(std::size_t from, std::size_t to) {
    Merge merge(*this, std::span<const Run>(runs_).subspan(from, to - from));
    return writeRun([&] { return merge.next(); });
}

void EntrySorter::startReading() {
    reading_ = true;
    if (runs_.empty()) {
        if (!inOrder_) sortHeld();
        return;
    }
    spill();
    held_ = {};
    order_ = {};
    // Too many runs to read at once: longer ones first, a merge's width at a time.
    while (runs_.size() > kMergeWidth) {
        std::vector<Run> longer;
        for (std::size_t i = 0; i < runs_.size(); i += kMergeWidth) {
            longer.push_back(mergeRuns(i, std::min(runs_.size(), i + kMergeWidth)));
        }
        runs_ = std::move(longer);
    }
    merge_ = std::make_unique<Merge>(*this, runs_);
}

bool EntrySorter::next(SortedEntry& out) {
    if (!reading_) startReading();
    if (merge_) {
        const std::uint8_t* r = merge_->next();
        if (r == nullptr) return false;
        out = decode(r);
        return true;
    }
    if (nextHeld_ == order_.size()) return false;
    out = decode(held_.data() + order_[nextHeld_++]);
    return true;
}

}  // namespace jet::index
