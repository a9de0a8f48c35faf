// The rollback journal: before a page of the database is overwritten for the first time in a
// write, its original bytes go to "<database>-journal" beside it and the journal is synced. The
// journal's removal is the commit point. A journal found when nobody holds the exclusive lock is
// hot: its writer stopped half-way, and playing it back restores the file byte for byte.
//
// Layout, all numbers little-endian:
//   header, 40 bytes
//      0   8  magic "QFJRNL\r\n"
//      8   4  layout version, 1
//     12   4  page size in bytes
//     16   8  size in bytes of the database file when the write began
//     24   8  salt, random per journal
//     32   8  checksum of bytes 0..31
//   then records, each 4 + page size + 8 bytes
//      0   4  page number
//      4   n  the page's bytes as they were when the write began
//    4+n   8  checksum of the salt, the page number and the bytes
//
// Records are appended in batches and the journal is synced once per batch, before any page of
// the batch is written. A crash before that sync can leave the last records torn or missing
// (and, after a power cut, the header too); none of their pages had been overwritten, so
// playback stops at the first record whose checksum fails and ignores the rest. The salt keeps
// bytes left by an older journal from passing as records of this one.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "jet/file/fault_seam.h"
#include "jet/file/posix_io.h"

namespace jet::file {

class RollbackJournal {
public:
    static std::string pathFor(const std::string& databasePath);

    // Creates the journal, replacing any file of that name, and writes its header. Nothing is
    // durable until sync().
    RollbackJournal(const std::string& databasePath, std::uint32_t pageSize,
                    std::uint64_t originalSize, FaultCounter& faults);
    RollbackJournal(const RollbackJournal&) = delete;
    RollbackJournal& operator=(const RollbackJournal&) = delete;

    const std::string& path() const { return path_; }
    // Records are gathered in memory and written a batch at a time.
    void append(std::uint32_t pageNumber, std::span<const std::uint8_t> original);
    // Writes what was appended and makes it durable; the first time also the journal's entry in
    // its folder.
    void sync();
    // Removes the journal file; the caller syncs the folder.
    void unlink();

private:
    void writeBatch();

    std::string path_;
    posix::UniqueFd fd_;
    FaultCounter& faults_;
    std::uint32_t pageSize_;
    std::uint64_t salt_;
    std::uint64_t end_ = 0;            // of what is written
    std::vector<std::uint8_t> batch_;  // records appended, not yet written
    bool everSynced_ = false;
};

// Rolls the database open on `databaseFd` back to the state the journal at `journalPath`
// records, makes that durable, and removes the journal. The caller holds the exclusive lock.
// Throws Error(Corrupt) for a journal whose header is intact but does not fit, and Error(Io).
void playBackJournal(const std::string& journalPath, int databaseFd,
                     const std::string& databasePath, FaultCounter& faults);

}  // namespace jet::file
