#include "jet/file/journal.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <ctime>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <stdexcept>
#include <utility>
#include <vector>

#include "jet/base/error.h"

namespace jet::file {
namespace {

constexpr std::array<std::uint8_t, 8> kMagic{'Q', 'F', 'J', 'R', 'N', 'L', '\r', '\n'};
// Layout 3 adds the delta record (kind 4); an engine that knows only layout 2 refuses it, as it
// could not restore the pages such a journal holds only as changes. Layout 4 checksums records
// and sectors in four lanes (laneChecksum); its header keeps the checksum of the layouts before.
constexpr std::uint32_t kLayoutVersion = 4;
constexpr std::uint32_t kFirstLanedLayout = 4;
constexpr std::uint32_t kOldestLayout = 2;
constexpr std::size_t kFixedHeader = 32;
constexpr std::size_t kChecksumSize = 8;
constexpr std::size_t kRecordHead = 8;
constexpr std::size_t kSectorSize = 512;
constexpr std::uint32_t kOriginal = 1;
constexpr std::uint32_t kVersion = 2;
constexpr std::uint32_t kCut = 3;
constexpr std::uint32_t kDelta = 4;
constexpr std::size_t kCutPayload = 8;
// A delta record's payload: its length in bytes (4), then ranges of 2 bytes offset, 2 bytes
// length and that many bytes. Changes closer than this are joined into one range.
constexpr std::size_t kDeltaLength = 4;
constexpr std::size_t kRangeHead = 4;
constexpr std::size_t kJoinGap = 8;
static_assert(kJoinGap == 8, "deltaOf() looks for the gap a word at a time");

void put16(std::uint8_t* at, std::uint32_t v) {
    at[0] = static_cast<std::uint8_t>(v);
    at[1] = static_cast<std::uint8_t>(v >> 8);
}
std::uint32_t get16(const std::uint8_t* at) { return at[0] | (std::uint32_t{at[1]} << 8); }

void put32(std::uint8_t* at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void put64(std::uint8_t* at, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) at[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
std::uint32_t get32(const std::uint8_t* at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | at[i];
    return v;
}
std::uint64_t get64(const std::uint8_t* at) {
    if constexpr (std::endian::native == std::endian::little) {
        std::uint64_t v = 0;
        std::memcpy(&v, at, sizeof v);
        return v;
    }
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | at[i];
    return v;
}

// Not cryptographic: it only has to tell a record that reached the disk whole from one that
// was torn, zero-filled or left by another journal. Eight bytes a step keeps playback of a big
// journal quick.
std::uint64_t checksum(std::uint64_t seed, std::span<const std::uint8_t> bytes) {
    std::uint64_t h = seed ^ 0x9E3779B97F4A7C15ull;
    std::size_t i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        h = ((h << 29) | (h >> 35)) ^ get64(bytes.data() + i);
        h *= 0xBF58476D1CE4E5B9ull;
    }
    for (; i < bytes.size(); ++i) h = (h ^ bytes[i]) * 0x100000001B3ull;
    h ^= h >> 31;
    h *= 0x94D049BB133111EBull;
    return h ^ (h >> 29);
}

// The same kind of checksum over four lanes of interleaved words, so that each step's
// multiplication need not wait for the one before: most of what a journal checksums is whole
// sectors, twice for every page a write changes.
std::uint64_t laneChecksum(std::uint64_t seed, std::span<const std::uint8_t> bytes) {
    constexpr std::uint64_t kStep = 0xBF58476D1CE4E5B9ull;
    const auto step = [](std::uint64_t h, std::uint64_t word) {
        return (((h << 29) | (h >> 35)) ^ word) * kStep;
    };
    // Four variables, not an array: the lanes stay in registers.
    std::uint64_t h0 = seed ^ 0x9E3779B97F4A7C15ull;
    std::uint64_t h1 = seed ^ 0xC2B2AE3D27D4EB4Full;
    std::uint64_t h2 = seed ^ 0x165667B19E3779F9ull;
    std::uint64_t h3 = seed ^ 0x27D4EB2F165667C5ull;
    const std::uint8_t* p = bytes.data();
    std::size_t i = 0;
    for (; i + 32 <= bytes.size(); i += 32) {
        h0 = step(h0, get64(p + i));
        h1 = step(h1, get64(p + i + 8));
        h2 = step(h2, get64(p + i + 16));
        h3 = step(h3, get64(p + i + 24));
    }
    std::uint64_t h = step(step(step(h0, h1), h2), h3);
    for (; i + 8 <= bytes.size(); i += 8) h = step(h, get64(p + i));
    for (; i < bytes.size(); ++i) h = (h ^ p[i]) * 0x100000001B3ull;
    h ^= h >> 31;
    h *= 0x94D049BB133111EBull;
    return h ^ (h >> 29);
}

// The checksum of a journal's records and sectors, by its layout.
std::uint64_t recordChecksum(std::uint32_t layout, std::uint64_t seed,
                             std::span<const std::uint8_t> bytes) {
    return layout >= kFirstLanedLayout ? laneChecksum(seed, bytes) : checksum(seed, bytes);
}

bool plausiblePageSize(std::uint32_t size) {
    return size >= 512 && size <= 65536 && (size & (size - 1)) == 0;
}

std::uint64_t sectorChecksum(std::uint32_t layout, std::uint64_t salt,
                             std::span<const std::uint8_t> page, std::size_t sector) {
    return recordChecksum(layout, salt ^ sector, page.subspan(sector * kSectorSize, kSectorSize));
}

}  // namespace

std::string RollbackJournal::pathFor(const std::string& canonicalPath) {
    return canonicalPath + "-journal";
}

RollbackJournal::RollbackJournal(std::string path, std::uint32_t pageSize,
                                 std::uint64_t originalSize, std::span<const std::uint8_t> pageZero,
                                 FaultCounter& faults)
    : path_(std::move(path)), faults_(faults), pageSize_(pageSize) {
    if (pageZero.size() != pageSize) {
        throw std::logic_error("RollbackJournal: page 0 is not one page long");
    }
    std::random_device random;
    salt_ = (std::uint64_t{random()} << 32) ^ random();

    std::vector<std::uint8_t> header(kFixedHeader + pageSize + kChecksumSize);
    std::memcpy(header.data(), kMagic.data(), kMagic.size());
    put32(&header[8], kLayoutVersion);
    put32(&header[12], pageSize);
    put64(&header[16], originalSize);
    put64(&header[24], salt_);
    std::memcpy(&header[kFixedHeader], pageZero.data(), pageSize);
    put64(&header[kFixedHeader + pageSize],
          checksum(0, std::span(header).first(kFixedHeader + pageSize)));
    // The header goes with the first batch: a write that changes nothing on disk leaves no file.
    batch_ = std::move(header);
}

void RollbackJournal::append(std::uint32_t pageNumber, std::span<const std::uint8_t> original) {
    appendRecord(kOriginal, pageNumber, original);
}

void RollbackJournal::appendVersion(std::uint32_t pageNumber,
                                    std::span<const std::uint8_t> written) {
    std::vector<std::uint8_t> sums(written.size() / kSectorSize * kChecksumSize);
    for (std::size_t s = 0; s < written.size() / kSectorSize; ++s) {
        put64(&sums[s * kChecksumSize], sectorChecksum(kLayoutVersion, salt_, written, s));
    }
    appendRecord(kVersion, pageNumber, sums);
}

std::optional<std::vector<std::uint8_t>> RollbackJournal::deltaOf(
    std::span<const std::uint8_t> before, std::span<const std::uint8_t> after, std::size_t limit) {
    if (before.size() != after.size() || before.size() > 65536) {
        throw std::logic_error("RollbackJournal: a delta between pages of different sizes");
    }
    const std::size_t n = before.size();
    const std::uint8_t* b = before.data();
    const std::uint8_t* a = after.data();
    // Built in a buffer that is not zeroed first, as large as any delta of such pages can be (a
    // range head for every nine bytes at most): this runs for every page a flush writes.
    const std::size_t room = std::min(limit, kDeltaLength + n + kRangeHead * (n / 9 + 2));
    const auto out = std::make_unique_for_overwrite<std::uint8_t[]>(room);
    std::size_t used = kDeltaLength;
    // Which of the eight bytes at `i` differ, as their bits in a little-endian word.
    const auto differing = [&](std::size_t i) { return get64(b + i) ^ get64(a + i); };
    std::size_t i = 0;
    for (;;) {
        // Most of a page stays as it was: skip it eight bytes at a time.
        std::uint64_t x = 0;
        while (i + 8 <= n && (x = differing(i)) == 0) i += 8;
        if (x != 0) {
            i += static_cast<std::size_t>(std::countr_zero(x)) / 8;
        } else {
            while (i < n && b[i] == a[i]) ++i;
        }
        if (i == n) break;
        // A range from the first byte that differs to the last one before kJoinGap equal ones:
        // whichever of the next kJoinGap bytes differs last extends it, until none does.
        const std::size_t start = i;
        const std::size_t cap = std::min(n, start + 65535);
        std::size_t end = i + 1;  // one past the last byte that differs
        while (end < cap) {
            if (end + kJoinGap <= cap) {
                const std::uint64_t y = differing(end);
                if (y == 0) break;
                end += (63 - static_cast<std::size_t>(std::countl_zero(y))) / 8 + 1;
                continue;
            }
            std::size_t last = end;
            for (std::size_t j = end; j < cap; ++j) {
                if (b[j] != a[j]) last = j + 1;
            }
            end = last;
            break;
        }
        if (used + kRangeHead + (end - start) > room) return std::nullopt;
        put16(&out[used], static_cast<std::uint32_t>(start));
        put16(&out[used + 2], static_cast<std::uint32_t>(end - start));
        std::memcpy(&out[used + kRangeHead], b + start, end - start);
        used += kRangeHead + (end - start);
        i = end;
    }
    put32(out.get(), static_cast<std::uint32_t>(used - kDeltaLength));
    std::vector<std::uint8_t> delta(out.get(), out.get() + used);
    return delta;
}

void RollbackJournal::appendDelta(std::uint32_t pageNumber, std::span<const std::uint8_t> delta) {
    appendRecord(kDelta, pageNumber, delta);
}

void RollbackJournal::appendCut(std::uint64_t size) {
    std::array<std::uint8_t, kCutPayload> payload{};
    put64(payload.data(), size);
    appendRecord(kCut, static_cast<std::uint32_t>(size / pageSize_), payload);
}

void RollbackJournal::appendRecord(std::uint32_t kind, std::uint32_t pageNumber,
                                   std::span<const std::uint8_t> payload) {
    constexpr std::size_t kBatchBytes = std::size_t{1} << 20;
    if (batch_.size() >= kBatchBytes) writeBatch();
    const std::size_t at = batch_.size();
    batch_.resize(at + kRecordHead + payload.size() + kChecksumSize);
    std::uint8_t* record = batch_.data() + at;
    put32(record, kind);
    put32(record + 4, pageNumber);
    std::memcpy(record + kRecordHead, payload.data(), payload.size());
    put64(record + kRecordHead + payload.size(),
          recordChecksum(kLayoutVersion, salt_,
                         std::span<const std::uint8_t>(record, kRecordHead + payload.size())));
}

void RollbackJournal::writeBatch() {
    if (batch_.empty()) return;
    if (fd_.get() < 0) {
        fd_.reset(::open(path_.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        if (fd_.get() < 0) posix::throwIo("create the rollback journal", path_, errno);
    }
    posix::writeAll(fd_.get(), batch_.data(), batch_.size(), end_, path_);
    end_ += batch_.size();
    batch_.clear();
}

void RollbackJournal::sync() {
    writeBatch();
    faults_.beforeSync(SyncPoint::Journal);
    posix::syncFile(fd_.get(), path_);
    if (!everSynced_) {
        // Without this a power cut could lose the journal's name while keeping the pages
        // written under its protection.
        faults_.beforeSync(SyncPoint::JournalDirectory);
        posix::syncDirectoryOf(path_);
        everSynced_ = true;
    }
}

void RollbackJournal::unlink() {
    fd_.reset();
    if (::unlink(path_.c_str()) != 0 && errno != ENOENT) {
        posix::throwIo("remove the rollback journal", path_, errno);
    }
}

namespace {

// A journal read back: its header, and where its whole records stand.
struct ReadJournal {
    std::uint32_t layout = 0;
    std::uint32_t pageSize = 0;
    std::uint64_t originalSize = 0;
    std::uint64_t salt = 0;
    // The smallest size a cut record names: the write cut the file that short. Absent: the
    // write only added pages.
    std::optional<std::uint64_t> cutTo;
    std::vector<std::uint8_t> pageZero;
    // Page number and offset in the journal of each original, in journal order.
    std::vector<std::pair<std::uint32_t, std::uint64_t>> originals;
    // The sector checksums of every version written of a page.
    std::map<std::uint32_t, std::vector<std::vector<std::uint64_t>>> versions;
    // Offset in the journal and length of the ranges of each delta, by page, in journal order.
    struct Delta {
        std::uint64_t offset;
        std::uint32_t length;
    };
    std::map<std::uint32_t, std::vector<Delta>> deltas;
};

std::string journalKindError(const std::string& journalPath, const std::string& databasePath) {
    return "The rollback journal '" + journalPath + "' of '" + databasePath +
           "' is of a kind this engine cannot apply; the database may hold an unfinished "
           "change.";
}

// The header, or nothing when it never reached the disk whole: then it was never synced and
// no page was written under it. Layout 1 journals, of earlier versions of this engine, say
// nothing of their database: `layoutOne` is set and nothing else read.
std::optional<ReadJournal> readHeader(int journal, const std::string& journalPath,
                                      const std::string& databasePath, bool& layoutOne) {
    std::array<std::uint8_t, kFixedHeader> fixed{};
    if (posix::readUpTo(journal, fixed.data(), fixed.size(), 0, journalPath) != fixed.size() ||
        std::memcmp(fixed.data(), kMagic.data(), kMagic.size()) != 0) {
        return std::nullopt;
    }
    const std::uint32_t layout = get32(&fixed[8]);
    const std::uint32_t pageSize = get32(&fixed[12]);
    if (layout == 1) {
        // Its header checksum covers the first 32 bytes and follows them.
        std::array<std::uint8_t, 8> sum{};
        if (posix::readUpTo(journal, sum.data(), sum.size(), kFixedHeader, journalPath) !=
                sum.size() ||
            get64(sum.data()) != checksum(0, fixed)) {
            return std::nullopt;
        }
        layoutOne = true;
        return std::nullopt;
    }
    if (layout < kOldestLayout || layout > kLayoutVersion || !plausiblePageSize(pageSize)) {
        throw Error(ErrorCode::Corrupt, journalKindError(journalPath, databasePath));
    }
    std::vector<std::uint8_t> header(kFixedHeader + pageSize + kChecksumSize);
    if (posix::readUpTo(journal, header.data(), header.size(), 0, journalPath) != header.size() ||
        get64(&header[kFixedHeader + pageSize]) !=
            checksum(0, std::span(header).first(kFixedHeader + pageSize))) {
        return std::nullopt;
    }
    ReadJournal read;
    read.pageSize = pageSize;
    read.originalSize = get64(&fixed[16]);
    read.salt = get64(&fixed[24]);
    read.layout = layout;
    read.pageZero.assign(header.begin() + kFixedHeader, header.begin() + kFixedHeader + pageSize);
    return read;
}

// The whole records, up to the first one that is torn or missing.
void readRecords(int journal, const std::string& journalPath, const std::string& databasePath,
                 ReadJournal& read) {
    const std::size_t sectors = read.pageSize / kSectorSize;
    // A delta holds at most a range head per 4 bytes of the page and the page's bytes.
    const std::size_t largestDelta = read.pageSize * 2;
    std::vector<std::uint8_t> record(kRecordHead + kDeltaLength + largestDelta + kChecksumSize);
    std::uint64_t at = kFixedHeader + read.pageSize + kChecksumSize;
    for (;;) {
        if (posix::readUpTo(journal, record.data(), kRecordHead, at, journalPath) != kRecordHead) {
            return;
        }
        const std::uint32_t kind = get32(record.data());
        std::size_t payload = kind == kOriginal  ? read.pageSize
                              : kind == kVersion ? sectors * kChecksumSize
                              : kind == kCut     ? kCutPayload
                                                 : 0;
        if (kind == kDelta && read.layout >= 3) {
            if (posix::readUpTo(journal, record.data() + kRecordHead, kDeltaLength,
                                at + kRecordHead, journalPath) != kDeltaLength) {
                return;
            }
            const std::uint32_t length = get32(record.data() + kRecordHead);
            if (length > largestDelta) return;  // torn: no whole record says so
            payload = kDeltaLength + length;
        }
        if (payload == 0) return;
        const std::size_t size = kRecordHead + payload + kChecksumSize;
        if (posix::readUpTo(journal, record.data(), size, at, journalPath) != size ||
            get64(record.data() + kRecordHead + payload) !=
                recordChecksum(read.layout, read.salt,
                               std::span(record).first(kRecordHead + payload))) {
            return;
        }
        const std::uint32_t number = get32(record.data() + 4);
        if (kind == kOriginal) {
            read.originals.emplace_back(number, at + kRecordHead);
        } else if (kind == kCut) {
            const std::uint64_t size = get64(record.data() + kRecordHead);
            read.cutTo = std::min(read.cutTo.value_or(size), size);
        } else if (kind == kDelta) {
            // Every range must lie inside the page: a whole record that does not was not
            // written by this engine.
            const std::uint8_t* ranges = record.data() + kRecordHead + kDeltaLength;
            const std::size_t length = payload - kDeltaLength;
            for (std::size_t r = 0; r < length;) {
                if (r + kRangeHead > length || r + kRangeHead + get16(ranges + r + 2) > length ||
                    get16(ranges + r) + get16(ranges + r + 2) > read.pageSize) {
                    throw Error(ErrorCode::Corrupt, journalKindError(journalPath, databasePath));
                }
                r += kRangeHead + get16(ranges + r + 2);
            }
            read.deltas[number].push_back(
                {at + kRecordHead + kDeltaLength, static_cast<std::uint32_t>(length)});
        } else {
            std::vector<std::uint64_t> sums(sectors);
            for (std::size_t s = 0; s < sectors; ++s) {
                sums[s] = get64(record.data() + kRecordHead + s * kChecksumSize);
            }
            read.versions[number].push_back(std::move(sums));
        }
        at += size;
    }
}

// The pages the journal holds deltas of but no original, in ascending order: the original of a
// page restores it whole, whatever was changed after.
std::vector<std::uint32_t> pagesOnlyChanged(const ReadJournal& read) {
    std::vector<std::uint32_t> pages;
    for (const auto& entry : read.deltas) pages.push_back(entry.first);
    std::vector<std::uint32_t> whole;
    for (const auto& entry : read.originals) whole.push_back(entry.first);
    std::sort(whole.begin(), whole.end());
    std::vector<std::uint32_t> only;
    std::set_difference(pages.begin(), pages.end(), whole.begin(), whole.end(),
                        std::back_inserter(only));
    return only;
}

// Whether the file is the one the journal's write changed, in a state that write can have left
// it in. Reads every original the journal would restore.
bool belongsToFile(const ReadJournal& read, int journal, const std::string& journalPath,
                   int databaseFd, const std::string& databasePath) {
    struct stat st {};
    if (::fstat(databaseFd, &st) != 0) posix::throwIo("examine", databasePath, errno);
    // A write only adds pages, unless it says it cut the file: what was there when it began is
    // still there, or at least what it kept.
    const std::uint64_t shortest =
        read.cutTo ? std::min(*read.cutTo, read.originalSize) : read.originalSize;
    if (static_cast<std::uint64_t>(st.st_size) < shortest) return false;
    const std::uint32_t n = read.pageSize;
    std::vector<std::uint8_t> current(n);
    if (posix::readUpTo(databaseFd, current.data(), n, 0, databasePath) != n ||
        current != read.pageZero) {
        return false;
    }
    // Every page the file lacks of those it had must come back whole from its original.
    if (static_cast<std::uint64_t>(st.st_size) < read.originalSize) {
        std::vector<bool> restored(read.originalSize / n, false);
        for (const auto& entry : read.originals) {
            if (entry.first < restored.size()) restored[entry.first] = true;
        }
        for (std::uint64_t p = static_cast<std::uint64_t>(st.st_size) / n; p < restored.size();
             ++p) {
            if (!restored[p]) return false;
        }
    }
    std::vector<std::uint8_t> original(n);
    for (const auto& [number, offset] : read.originals) {
        const std::uint64_t where = std::uint64_t{number} * n;
        if (where + n > read.originalSize ||
            posix::readUpTo(journal, original.data(), n, offset, journalPath) != n) {
            return false;
        }
        // A page the cut took, or a playback of this journal has not brought back yet, ends
        // with the file; its sectors past the end are restored whatever they held.
        const std::size_t present =
            posix::readUpTo(databaseFd, current.data(), n, where, databasePath);
        if (present != n && !read.cutTo) return false;
        const auto versions = read.versions.find(number);
        for (std::size_t s = 0; s < present / kSectorSize; ++s) {
            const auto at = static_cast<std::ptrdiff_t>(s * kSectorSize);
            if (std::equal(current.begin() + at, current.begin() + at + kSectorSize,
                           original.begin() + at)) {
                continue;
            }
            const std::uint64_t sum = sectorChecksum(read.layout, read.salt, current, s);
            const bool written =
                versions != read.versions.end() &&
                std::any_of(versions->second.begin(), versions->second.end(),
                            [&](const std::vector<std::uint64_t>& v) { return v[s] == sum; });
            if (!written) return false;
        }
    }
    // A page held only as changes must be whole in the file, each of its sectors as the write
    // found it or as it wrote it: the first version the journal names of such a page is the
    // one it found.
    for (const std::uint32_t number : pagesOnlyChanged(read)) {
        const std::uint64_t where = std::uint64_t{number} * n;
        const auto versions = read.versions.find(number);
        if (where + n > read.originalSize || versions == read.versions.end() ||
            posix::readUpTo(databaseFd, current.data(), n, where, databasePath) != n) {
            return false;
        }
        for (std::size_t s = 0; s < n / kSectorSize; ++s) {
            const std::uint64_t sum = sectorChecksum(read.layout, read.salt, current, s);
            if (std::none_of(versions->second.begin(), versions->second.end(),
                             [&](const std::vector<std::uint64_t>& v) { return v[s] == sum; })) {
                return false;
            }
        }
    }
    return true;
}

// Renames the journal out of the way so that the next open proceeds, and says why.
[[noreturn]] void setAside(const std::string& journalPath, const std::string& databasePath,
                           const std::string& why) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    std::string kept = journalPath + ".orphaned-" + stamp;
    for (int i = 2; posix::exists(kept); ++i) {
        kept = journalPath + ".orphaned-" + stamp + "-" + std::to_string(i);
    }
    if (::rename(journalPath.c_str(), kept.c_str()) != 0) {
        posix::throwIo("set aside the rollback journal", journalPath, errno);
    }
    posix::syncDirectoryOf(journalPath);
    throw Error(ErrorCode::DataChanged,
                "The database '" + databasePath + "' " + why +
                    " after a change to it was interrupted, so the rollback journal of that "
                    "change was not applied; it was kept as '" +
                    kept + "'. Run 'quillfen-db check " + databasePath +
                    "' to see whether the database is whole.");
}

}  // namespace

void playBackJournal(const std::string& journalPath, int databaseFd,
                     const std::string& databasePath, FaultCounter& faults) {
    posix::UniqueFd journal(::open(journalPath.c_str(), O_RDONLY | O_CLOEXEC));
    if (journal.get() < 0) {
        if (errno == ENOENT) return;
        posix::throwIo("open the rollback journal", journalPath, errno);
    }
    bool layoutOne = false;
    std::optional<ReadJournal> read =
        readHeader(journal.get(), journalPath, databasePath, layoutOne);
    if (layoutOne) {
        journal.reset();
        setAside(journalPath, databasePath,
                 "has a rollback journal written by an earlier version of Quillfen, which "
                 "cannot tell whether the file was replaced or changed by another program");
    }
    if (read) {
        readRecords(journal.get(), journalPath, databasePath, *read);
        if (!belongsToFile(*read, journal.get(), journalPath, databaseFd, databasePath)) {
            journal.reset();
            setAside(journalPath, databasePath, "was replaced or changed by another program");
        }
        // Front to back: a file the write cut grows back one page after the other, never
        // leaving a hole that would read as zeros should this playback be interrupted.
        std::stable_sort(read->originals.begin(), read->originals.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        std::vector<std::uint8_t> page(read->pageSize);
        for (const auto& [number, offset] : read->originals) {
            if (posix::readUpTo(journal.get(), page.data(), page.size(), offset, journalPath) !=
                page.size()) {
                throw Error(ErrorCode::Io, "'" + journalPath +
                                               "' became shorter while it was "
                                               "played back.");
            }
            faults.beforePageWrite(number);
            posix::writeAll(databaseFd, page.data(), page.size(),
                            std::uint64_t{number} * read->pageSize, databasePath);
        }
        // A page held as changes gets its bytes back from the newest change to the oldest: each
        // byte ends as the oldest change that covers it had it, which is the original, whatever
        // version of the page each sector held.
        const std::vector<std::uint32_t> changed = pagesOnlyChanged(*read);
        std::vector<std::uint8_t> ranges;
        for (const std::uint32_t number : changed) {
            const std::uint64_t where = std::uint64_t{number} * read->pageSize;
            if (posix::readUpTo(databaseFd, page.data(), page.size(), where, databasePath) !=
                page.size()) {
                throw Error(ErrorCode::Io, "'" + databasePath +
                                               "' became shorter while its rollback journal "
                                               "was played back.");
            }
            const auto& deltas = read->deltas.at(number);
            for (auto d = deltas.rbegin(); d != deltas.rend(); ++d) {
                ranges.resize(d->length);
                if (posix::readUpTo(journal.get(), ranges.data(), ranges.size(), d->offset,
                                    journalPath) != ranges.size()) {
                    throw Error(ErrorCode::Io, "'" + journalPath +
                                                   "' became shorter while it was "
                                                   "played back.");
                }
                for (std::size_t r = 0; r < ranges.size();) {
                    const std::uint32_t offset = get16(&ranges[r]);
                    const std::uint32_t length = get16(&ranges[r + 2]);
                    std::memcpy(page.data() + offset, &ranges[r + kRangeHead], length);
                    r += kRangeHead + length;
                }
            }
            faults.beforePageWrite(number);
            posix::writeAll(databaseFd, page.data(), page.size(), where, databasePath);
        }
        posix::truncateTo(databaseFd, read->originalSize, databasePath);
        faults.beforeSync(SyncPoint::Database);
        posix::syncFile(databaseFd, databasePath);
    }
    journal.reset();
    if (::unlink(journalPath.c_str()) != 0 && errno != ENOENT) {
        posix::throwIo("remove the rollback journal", journalPath, errno);
    }
    faults.beforeSync(SyncPoint::Directory);
    posix::syncDirectoryOf(journalPath);
}

}  // namespace jet::file
