// The rollback journal: before a page of the database is overwritten in a write, what it takes
// to bring the page back goes to "<database>-journal" beside it and the journal is synced (the
// page file appends its records when it flushes, and syncs before it writes). That is either
// the page's original bytes, whole, or the bytes each flush is about to change, with their old
// values (a delta): a statement that changes a few bytes of each row journals little more than
// those bytes. The journal's removal is the commit point. A journal found when nobody holds the
// exclusive lock is hot: its writer stopped half-way, and playing it back restores the file byte
// for byte.
//
// A journal is found by the database's name, so it must also say which database, in which
// state, it belongs to: a user may restore a backup over the file after a crash, or another
// program (Access knows nothing of this journal) may change it. The database is named by its
// canonical path (symbolic links resolved), so every path to the file finds the one journal. The
// header holds page 0 as the write found it: the engine never writes page 0, so another page 0
// means another file. Before a page is written, the journal records a checksum of each 512-byte
// sector of the bytes about to be written (a page may be written several times in a write).
// Playback first checks that page 0 is unchanged and that every sector of every page it would
// restore holds the original or one of those versions, as a write torn by a power cut leaves
// it; otherwise the journal is set aside, not played.
//
// A write mostly adds pages, and what was there when it began is still there, so a file
// shorter than the original size is not the journal's. A write that cuts pages off the end of
// the file (compaction) says so: the originals of every page it cuts are in the journal, and a
// cut record naming the size it cuts the file to is appended and synced before the file is
// cut. With that record, a file of at least that size is the journal's, and the pages it no
// longer holds, whole or in part, are simply restored from their originals, which playback
// writes in ascending page order so that a playback interrupted in turn leaves no hole.
//
// A page journaled as deltas has no original in the journal; before its first delta comes a
// version record of the page as the write found it, so that playback recognises that state
// too. Playback applies a page's deltas from the newest to the oldest: each byte ends as the
// oldest delta covering it had it, the original, whichever version each sector held when the
// writer stopped. A page with an original is restored from it, and its deltas are ignored. A
// write that cuts the file journals whole originals (the pages it cuts are gone from the file).
//
// Layout, all numbers little-endian; n is the page size:
//   header, 32 + n + 8 bytes
//      0   8  magic "QFJRNL\r\n"
//      8   4  layout version, 3 (2 before deltas; such journals are still played back)
//     12   4  page size in bytes
//     16   8  size in bytes of the database file when the write began
//     24   8  salt, random per journal
//     32   n  page 0 as the file held it
//   32+n   8  checksum of bytes 0..32+n
//   then records
//      0   4  kind: 1 the page's original bytes, 2 the sector checksums of a version about to be
//             written, 3 a cut of the file, 4 a delta
//      4   4  page number; kind 3: the number of pages the file is cut to
//      8   m  kind 1: the n bytes as they were when the write began; kind 2: n / 512 checksums;
//             kind 3: 8 bytes, the size in bytes the file is cut to; kind 4: 4 bytes, the
//             length L of what follows, then L bytes of ranges, each 2 bytes offset in the
//             page, 2 bytes length k, and the k bytes the page held there before the flush
//    8+m   8  checksum of the salt and bytes 0..8+m
//
// Kind 3 came after layout 2 was first written, and leaves the layout number as it was: an
// engine that knows only kinds 1 and 2 stops reading at it. The cut record is the last record
// of its journal, so such an engine still has every original; it restores a file that was not
// cut yet, and sets aside the journal of one that was, as a file shorter than it began.
//
// Records are appended in batches and the journal is synced once per batch, before any page of
// the batch is written. A crash before that sync can leave the last records torn or missing
// (and, after a power cut, the header too); none of their pages had been written, so playback
// stops at the first record whose checksum fails and ignores the rest. The salt keeps bytes
// left by an older journal from passing as records of this one.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "jet/file/fault_seam.h"
#include "jet/file/posix_io.h"

namespace jet::file {

class RollbackJournal {
public:
    // The journal's name for the database at `canonicalPath` (posix::canonicalPathOf).
    static std::string pathFor(const std::string& canonicalPath);

    // A journal for `path`. The file is created, replacing any file of that name, when the
    // first batch is written, its header first; nothing is durable until sync().
    RollbackJournal(std::string path, std::uint32_t pageSize, std::uint64_t originalSize,
                    std::span<const std::uint8_t> pageZero, FaultCounter& faults);
    RollbackJournal(const RollbackJournal&) = delete;
    RollbackJournal& operator=(const RollbackJournal&) = delete;

    const std::string& path() const { return path_; }
    // Records are gathered in memory and written a batch at a time.
    void append(std::uint32_t pageNumber, std::span<const std::uint8_t> original);
    // A version of the page, as it is about to be written to the file.
    void appendVersion(std::uint32_t pageNumber, std::span<const std::uint8_t> written);
    // What a write changes in a page, as a delta record's payload: the ranges of bytes in which
    // `after` differs from `before`, with their bytes in `before`; null when that would take
    // more than `limit` bytes. Pages of at most 64 KiB.
    static std::optional<std::vector<std::uint8_t>> deltaOf(std::span<const std::uint8_t> before,
                                                            std::span<const std::uint8_t> after,
                                                            std::size_t limit = SIZE_MAX);
    // The page is about to go from the version it holds in the file to one `delta` (deltaOf)
    // was made against. A page the journal holds no original of is restored from its deltas;
    // the version it held when the write began must have been appended first, so that playback
    // can recognise the page as the write found it.
    void appendDelta(std::uint32_t pageNumber, std::span<const std::uint8_t> delta);
    // The file is about to be cut to `size` bytes, shorter than when the write began. Every page
    // the cut takes that the file held then must have its original appended already; the cut
    // may only be made once sync() has made this durable.
    void appendCut(std::uint64_t size);
    // Writes what was appended and makes it durable; the first time also the journal's entry in
    // its folder.
    void sync();
    // Removes the journal file, if it was ever created; the caller syncs the folder.
    void unlink();

private:
    void appendRecord(std::uint32_t kind, std::uint32_t pageNumber,
                      std::span<const std::uint8_t> payload);
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
// A journal that does not belong to the file as it is now is renamed
// "<journal>.orphaned-<time>" and Error(DataChanged) names it; the file is left alone. Throws
// Error(Corrupt) for a journal of a layout this engine does not know, and Error(Io).
void playBackJournal(const std::string& journalPath, int databaseFd,
                     const std::string& databasePath, FaultCounter& faults);

}  // namespace jet::file
