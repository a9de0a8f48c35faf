// Crashes on purpose: a child process stops at every page write and every sync of a statement
// (and of its rollback); whoever opens the file next must find it exactly as it was before, or,
// once the journal is gone, exactly as the statement left it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <utility>

#include "jet/database.h"
#include "jet/file/page_file.h"
#include "support/fixtures.h"
#include "write_workload.h"

using jet::ErrorCode;
using jet::file::AccessMode;
using jet::file::FaultSeam;
using jet::file::PageFile;
using jet::file::SyncPoint;
using testsupport::TempDir;
using namespace writetest;

namespace {

constexpr int kCrashed = 42;

enum class Ending { Commit, Rollback };

class CrashAt : public FaultSeam {
public:
    CrashAt(bool atSync, std::uint64_t k) : atSync_(atSync), k_(k) {}
    void beforePageWrite(std::uint64_t count, std::uint32_t) override {
        if (!atSync_ && count == k_) ::_exit(kCrashed);
    }
    void beforeSync(std::uint64_t count, SyncPoint) override {
        if (atSync_ && count == k_) ::_exit(kCrashed);
    }

private:
    bool atSync_;
    std::uint64_t k_;
};

class Recorder : public FaultSeam {
public:
    void beforePageWrite(std::uint64_t count, std::uint32_t) override { writes = count; }
    void beforeSync(std::uint64_t, SyncPoint point) override { syncs.push_back(point); }
    std::uint64_t writes = 0;
    std::vector<SyncPoint> syncs;
};

using Workload = void (*)(PageFile&);

void runStatement(PageFile& file, Ending ending, FaultSeam& seam,
                  const std::function<void()>& beforeEnding = {}, Workload work = changeManyPages) {
    openForWrite(file);
    file.setFaultSeam(&seam);
    file.beginWrite();
    work(file);
    if (beforeEnding) beforeEnding();
    if (ending == Ending::Commit) {
        file.commit();
    } else {
        file.rollback();
    }
}

struct Observed {
    std::vector<std::uint8_t> before;
    std::vector<std::uint8_t> after;
    Recorder seen;
    // The points before commit() or rollback() began.
    std::uint64_t statementWrites = 0;
    std::size_t statementSyncs = 0;
};

Observed observe(const TempDir& dir, Ending ending, Workload work = changeManyPages) {
    Observed o;
    const std::string path = dir.copyOf(kFixture);
    o.before = fileBytes(path);
    PageFile file(path, AccessMode::ReadWrite);
    runStatement(
        file, ending, o.seen,
        [&] {
            o.statementWrites = o.seen.writes;
            o.statementSyncs = o.seen.syncs.size();
        },
        work);
    o.after = fileBytes(path);
    return o;
}

// Runs the statement in a child that dies at the given point; the file is a fresh copy.
std::string crashedCopy(const TempDir& dir, Ending ending, bool atSync, std::uint64_t k,
                        Workload work = changeManyPages) {
    std::string path = dir.copyOf(kFixture);
    const int status = inChild([&] {
        PageFile file(path, AccessMode::ReadWrite);
        CrashAt seam(atSync, k);
        runStatement(file, ending, seam, {}, work);
        return 0;
    });
    EXPECT_EQ(status, kCrashed) << (atSync ? "sync " : "write ") << k;
    return path;
}

void expectEveryCrashRecovers(Ending ending, Workload work = changeManyPages) {
    TempDir dir;
    const Observed o = observe(dir, ending, work);
    ASSERT_GE(o.seen.writes, 40u);
    ASSERT_GE(o.seen.syncs.size(), 4u);
    // The journal's removal is the commit point; only the folder's sync comes after it.
    ASSERT_EQ(o.seen.syncs.back(), SyncPoint::Directory);
    const auto& committed = ending == Ending::Commit ? o.after : o.before;
    ASSERT_TRUE(ending == Ending::Rollback ? o.before == o.after : o.before != o.after);

    for (bool atSync : {false, true}) {
        const std::uint64_t points = atSync ? o.seen.syncs.size() : o.seen.writes;
        // A crash during the statement is the same whichever way it was going to end.
        const std::uint64_t first =
            ending == Ending::Commit ? 1 : (atSync ? o.statementSyncs : o.statementWrites) + 1;
        for (std::uint64_t k = first; k <= points; ++k) {
            const std::string path = crashedCopy(dir, ending, atSync, k, work);
            { PageFile reopened(path); }
            const bool pastCommitPoint = atSync && k == points;
            EXPECT_FALSE(std::filesystem::exists(path + "-journal"));
            EXPECT_TRUE(fileBytes(path) == (pastCommitPoint ? committed : o.before))
                << (atSync ? "crash before sync " : "crash before page write ") << k << " ("
                << (atSync ? jet::file::syncPointName(o.seen.syncs[k - 1]) : "") << ")";
        }
    }
}

// The sync of the journal before the statement's second batch of pages: the batch's records
// are in the journal, none of its pages in the file.
std::uint64_t secondJournalSync(const Observed& o) {
    int journals = 0;
    for (std::size_t i = 0; i < o.seen.syncs.size(); ++i) {
        if (o.seen.syncs[i] == SyncPoint::Journal && ++journals == 2) return i + 1;
    }
    ADD_FAILURE() << "the statement synced its journal fewer than twice";
    return 1;
}

}  // namespace

TEST(CrashDuringAWrite, EveryPointOfACommitLeavesTheBeforeOrTheAfterState) {
    expectEveryCrashRecovers(Ending::Commit);
}

TEST(CrashDuringAWrite, EveryPointOfARollbackLeavesTheBeforeState) {
    expectEveryCrashRecovers(Ending::Rollback);
}

// Pages journaled as the bytes each flush changes, some of them flushed twice.
TEST(CrashDuringAWrite, EveryPointOfAWriteThatChangesFewBytesLeavesTheBeforeOrTheAfterState) {
    expectEveryCrashRecovers(Ending::Commit, changeFewBytes);
    expectEveryCrashRecovers(Ending::Rollback, changeFewBytes);
}

TEST(CrashDuringAWrite, AWriteThatChangesFewBytesJournalsLittleMoreThanThoseBytes) {
    // The journal as it stands when the file is synced: complete.
    struct JournalSize : FaultSeam {
        explicit JournalSize(std::string journal) : path(std::move(journal)) {}
        void beforePageWrite(std::uint64_t, std::uint32_t) override {}
        void beforeSync(std::uint64_t, SyncPoint point) override {
            if (point == SyncPoint::Database) size = std::filesystem::file_size(path);
        }
        std::string path;
        std::uintmax_t size = 0;
    };
    TempDir dir;
    const std::string path = dir.copyOf(kFixture);
    PageFile file(path, AccessMode::ReadWrite);
    JournalSize seam(path + "-journal");
    runStatement(file, Ending::Commit, seam, {}, changeFewBytes);
    // 32 pages changed, 12 of them twice: their originals alone would take 32 pages. Page 0
    // heads the journal.
    EXPECT_GT(seam.size, kPageSize);
    EXPECT_LT(seam.size, 4 * kPageSize);
}

TEST(CrashDuringAWrite, EveryPointOfAWriteThatCutsTheFileLeavesTheBeforeOrTheAfterState) {
    expectEveryCrashRecovers(Ending::Commit, changeAndCutPages);
    expectEveryCrashRecovers(Ending::Rollback, changeAndCutPages);
}

// The commit cut the file, then failed to sync it; its rollback, which grows the file back from
// the journal, dies in turn before each page it writes.
TEST(CrashDuringAWrite, ARollbackOfACutFileThatDiesHalfWayIsFinishedOnTheNextOpen) {
    struct FailCommitThenCrash : FaultSeam {
        std::uint64_t k, rollbackWrites = 0;
        bool failed = false;
        void beforePageWrite(std::uint64_t, std::uint32_t) override {
            if (failed && ++rollbackWrites == k) ::_exit(kCrashed);
        }
        void beforeSync(std::uint64_t, SyncPoint point) override {
            if (point != SyncPoint::Database || std::exchange(failed, true)) return;
            throw jet::Error(ErrorCode::Io, "simulated sync failure");
        }
    };
    TempDir dir;
    const auto before = fileBytes(testsupport::fixture(kFixture));
    // The rollback writes 27 originals front to back: 16 within the 22 pages the cut left, then
    // 11 past its end.
    for (std::uint64_t k = 1; k <= 27; ++k) {
        const std::string path = dir.copyOf(kFixture);
        const int status = inChild([&] {
            PageFile file(path, AccessMode::ReadWrite);
            FailCommitThenCrash seam;
            seam.k = k;
            runStatement(file, Ending::Commit, seam, {}, changeAndCutPages);
            return 0;
        });
        ASSERT_EQ(status, kCrashed) << k;
        if (k <= 17) {
            EXPECT_EQ(fileBytes(path).size(), 22 * kPageSize) << k;
        }
        { PageFile reopened(path); }
        EXPECT_TRUE(fileBytes(path) == before) << "crash before rollback write " << k;
        EXPECT_FALSE(std::filesystem::exists(path + "-journal"));
    }
}

TEST(CrashDuringAWrite, AJournalTornWhereItWasNotYetSyncedIsIgnored) {
    TempDir dir;
    const Observed o = observe(dir, Ending::Commit);
    const std::uint64_t recordSize = 4 + kPageSize + 8;

    // Damage only where a crash can leave it: after the last sync of the journal.
    const auto tearTail = [&](const std::string& journal, int how) {
        const auto size = std::filesystem::file_size(journal);
        std::fstream f(journal, std::ios::in | std::ios::out | std::ios::binary);
        if (how == 0) {
            std::filesystem::resize_file(journal, size - recordSize / 2);
        } else if (how == 1) {
            f.seekp(static_cast<std::streamoff>(size - recordSize + 100));
            f.write("torn torn torn", 14);
        } else {
            f.seekp(0, std::ios::end);
            const std::string junk(recordSize + 5, '\x5a');
            f.write(junk.data(), static_cast<std::streamsize>(junk.size()));
        }
    };
    for (int how = 0; how < 3; ++how) {
        const std::string path = crashedCopy(dir, Ending::Commit, true, secondJournalSync(o));
        ASSERT_TRUE(std::filesystem::exists(path + "-journal"));
        tearTail(path + "-journal", how);
        { PageFile reopened(path); }
        EXPECT_TRUE(fileBytes(path) == o.before) << "tear " << how;
        EXPECT_FALSE(std::filesystem::exists(path + "-journal"));
    }

    // A header that never reached the disk: nothing was written under that journal.
    for (const std::uintmax_t kept : {std::uintmax_t{0}, std::uintmax_t{20}}) {
        const std::string path = crashedCopy(dir, Ending::Commit, true, 1);
        std::filesystem::resize_file(path + "-journal", kept);
        { PageFile reopened(path); }
        EXPECT_TRUE(fileBytes(path) == o.before) << kept << " header bytes";
        EXPECT_FALSE(std::filesystem::exists(path + "-journal"));
    }
}

TEST(CrashDuringAWrite, AJournalOnAReadOnlyFileIsReportedNotIgnored) {
    TempDir dir;
    const std::string path = crashedCopy(dir, Ending::Commit, false, 12);
    const auto before = fileBytes(testsupport::fixture(kFixture));
    ::chmod(path.c_str(), 0444);
    for (const auto mode : {AccessMode::ReadOnly, AccessMode::ReadWrite}) {
        const jet::Error e = errorOf([&] { PageFile reopened(path, mode); });
        EXPECT_EQ(e.code(), ErrorCode::ReadOnly);
        EXPECT_NE(std::string(e.what()).find(path + "-journal"), std::string::npos) << e.what();
    }
    EXPECT_TRUE(std::filesystem::exists(path + "-journal"));

    ::chmod(path.c_str(), 0644);
    { PageFile reopened(path); }
    EXPECT_TRUE(fileBytes(path) == before);
}

TEST(CrashDuringAWrite, AnOpenDatabaseRollsBackAWriterThatDiedBeforeItsNextRead) {
    TempDir dir;
    const std::string path = dir.copyOf(kFixture);
    const auto db = jet::Database::open(path);
    const auto readAll = [&] {
        std::vector<std::vector<jet::Value>> rows;
        for (const auto& name : db->userTableNames()) {
            auto cursor = db->scan(db->table(name));
            while (cursor.next()) rows.push_back(cursor.row());
        }
        return rows;
    };
    const auto rows = readAll();
    ASSERT_FALSE(rows.empty());

    // Another process scribbles over every page but the header, then dies.
    const int status = inChild([&] {
        PageFile file(path, AccessMode::ReadWrite);
        openForWrite(file);
        CrashAt seam(false, file.pageCount() - 1);
        file.setFaultSeam(&seam);
        file.beginWrite();
        for (std::uint32_t n = 1; n < file.pageCount(); ++n) file.writePage(n, patternPage(9));
        file.commit();
        return 0;
    });
    ASSERT_EQ(status, kCrashed);
    ASSERT_TRUE(std::filesystem::exists(path + "-journal"));

    EXPECT_EQ(readAll(), rows);
    EXPECT_FALSE(std::filesystem::exists(path + "-journal"));
}
