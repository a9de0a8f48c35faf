#include "jet/file/journal.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <bit>
#include <cstring>
#include <random>
#include <vector>

#include "jet/error.h"

namespace jet::file {
namespace {

constexpr std::array<std::uint8_t, 8> kMagic{'Q', 'F', 'J', 'R', 'N', 'L', '\r', '\n'};
constexpr std::uint32_t kLayoutVersion = 1;
constexpr std::size_t kHeaderSize = 40;
constexpr std::size_t kChecksumSize = 8;

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

bool plausiblePageSize(std::uint32_t size) {
    return size >= 512 && size <= 65536 && (size & (size - 1)) == 0;
}

}  // namespace

std::string RollbackJournal::pathFor(const std::string& databasePath) {
    return databasePath + "-journal";
}

RollbackJournal::RollbackJournal(const std::string& databasePath, std::uint32_t pageSize,
                                 std::uint64_t originalSize, FaultCounter& faults)
    : path_(pathFor(databasePath)), faults_(faults), pageSize_(pageSize) {
    fd_.reset(::open(path_.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (fd_.get() < 0) posix::throwIo("create the rollback journal", path_, errno);
    std::random_device random;
    salt_ = (std::uint64_t{random()} << 32) ^ random();

    std::array<std::uint8_t, kHeaderSize> header{};
    std::memcpy(header.data(), kMagic.data(), kMagic.size());
    put32(&header[8], kLayoutVersion);
    put32(&header[12], pageSize);
    put64(&header[16], originalSize);
    put64(&header[24], salt_);
    put64(&header[32], checksum(0, std::span(header).first(32)));
    posix::writeAll(fd_.get(), header.data(), header.size(), 0, path_);
    end_ = header.size();
}

void RollbackJournal::append(std::uint32_t pageNumber, std::span<const std::uint8_t> original) {
    constexpr std::size_t kBatchBytes = std::size_t{1} << 20;
    if (batch_.size() >= kBatchBytes) writeBatch();
    const std::size_t at = batch_.size();
    batch_.resize(at + 4 + original.size() + kChecksumSize);
    std::uint8_t* record = batch_.data() + at;
    put32(record, pageNumber);
    std::memcpy(record + 4, original.data(), original.size());
    put64(record + 4 + original.size(),
          checksum(salt_, std::span<const std::uint8_t>(record, 4 + original.size())));
}

void RollbackJournal::writeBatch() {
    if (batch_.empty()) return;
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

void playBackJournal(const std::string& journalPath, int databaseFd,
                     const std::string& databasePath, FaultCounter& faults) {
    posix::UniqueFd journal(::open(journalPath.c_str(), O_RDONLY | O_CLOEXEC));
    if (journal.get() < 0) {
        if (errno == ENOENT) return;
        posix::throwIo("open the rollback journal", journalPath, errno);
    }
    std::array<std::uint8_t, kHeaderSize> header{};
    const bool headerWhole = posix::readUpTo(journal.get(), header.data(), header.size(), 0,
                                             journalPath) == header.size() &&
                             std::memcmp(header.data(), kMagic.data(), kMagic.size()) == 0 &&
                             get64(&header[32]) == checksum(0, std::span(header).first(32));
    // A header that never reached the disk whole was never synced, so no page was written
    // under this journal: there is nothing to undo.
    if (headerWhole) {
        const std::uint32_t pageSize = get32(&header[12]);
        const std::uint64_t originalSize = get64(&header[16]);
        const std::uint64_t salt = get64(&header[24]);
        if (get32(&header[8]) != kLayoutVersion || !plausiblePageSize(pageSize)) {
            throw Error(ErrorCode::Corrupt,
                        "The rollback journal '" + journalPath + "' of '" + databasePath +
                            "' is of a kind this engine cannot apply; the database may hold "
                            "an unfinished change.");
        }
        std::vector<std::uint8_t> record(4 + pageSize + kChecksumSize);
        const std::span<const std::uint8_t> body = std::span(record).first(4 + pageSize);
        for (std::uint64_t at = kHeaderSize;; at += record.size()) {
            if (posix::readUpTo(journal.get(), record.data(), record.size(), at, journalPath) !=
                    record.size() ||
                get64(record.data() + 4 + pageSize) != checksum(salt, body)) {
                break;
            }
            const std::uint32_t number = get32(record.data());
            faults.beforePageWrite(number);
            posix::writeAll(databaseFd, record.data() + 4, pageSize,
                            std::uint64_t{number} * pageSize, databasePath);
        }
        posix::truncateTo(databaseFd, originalSize, databasePath);
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
