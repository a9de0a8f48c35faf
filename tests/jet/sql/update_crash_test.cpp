// A power cut at any moment of an UPDATE: the process is stopped before its k-th page write and
// before each sync, for every k of a statement that grows rows onto new pages, and of one that
// moves every entry of an index, splitting its leaves; reopening must give all of the old
// values or all of the new ones, and a file without faults.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "jet/check/check.h"
#include "jet/database.h"
#include "jet/file/fault_seam.h"
#include "jet/sql/execute.h"
#include "support/fixtures.h"

using namespace jet;

namespace {

constexpr const char* kFixture = "jet4/compIndexTestV2000.mdb";
// Small, so that the statement flushes several times and rewrites pages already on disk.
constexpr std::size_t kDirtyLimit = 6;

enum class StopAt { PageWrite, Sync };

// Stops the process at the k-th event of one kind; counts them all.
class Stopper : public file::FaultSeam {
public:
    Stopper(StopAt kind, std::uint64_t k) : kind_(kind), k_(k) {}
    void beforePageWrite(std::uint64_t count, std::uint32_t) override {
        writes = count;
        if (kind_ == StopAt::PageWrite && count == k_) ::_exit(0);
    }
    void beforeSync(std::uint64_t count, file::SyncPoint) override {
        syncs = count;
        if (kind_ == StopAt::Sync && count == k_) ::_exit(0);
    }
    std::uint64_t writes = 0;
    std::uint64_t syncs = 0;

private:
    StopAt kind_;
    std::uint64_t k_;
};

using Table = std::vector<std::vector<Value>>;

Table readTable(const std::string& path) {
    const auto db = Database::open(path, {.password = "", .writable = false});
    Table rows;
    auto cursor = db->scan(db->table("Table1"));
    while (cursor.next()) rows.push_back(cursor.row());
    return rows;
}

void runStatement(const std::string& path, const char* statement, file::FaultSeam* seam) {
    OpenOptions options;
    options.faultSeam = seam;
    options.dirtyPageLimit = kDirtyLimit;
    auto db = Database::open(path, options);
    sql::execute(*db, statement);
}

// Copies the fixture, runs the statement in a child stopped at the k-th event, and returns the
// table as the next opener (who rolls back a dead writer's journal) sees it.
Table afterStop(const testsupport::TempDir& dir, const char* statement, StopAt kind,
                std::uint64_t k) {
    const std::string path = dir.copyOf(kFixture);
    std::filesystem::remove(path + "-journal");
    const pid_t pid = ::fork();
    if (pid == 0) {
        Stopper stopper(kind, k);
        try {
            runStatement(path, statement, &stopper);
        } catch (...) {
            ::_exit(3);
        }
        ::_exit(4);  // ran to the end without meeting its stop
    }
    int status = 0;
    EXPECT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_NE(WEXITSTATUS(status), 3) << "the statement failed at k=" << k;
    Table table = readTable(path);
    for (const auto& f : check::checkDatabase(path)) {
        if (f.severity == check::Severity::Fault) ADD_FAILURE() << "k=" << k << ": " << f.description;
    }
    return table;
}

class UpdateCrash : public ::testing::TestWithParam<const char*> {};

}  // namespace

INSTANTIATE_TEST_SUITE_P(
    Statements, UpdateCrash,
    ::testing::Values(
        "UPDATE [Table1] SET [RS_AGENTE] = [RS_AGENTE] & '-grown past its page', [DC_AGENTE] = 'x'",
        // The descending index on CD_AGENTE: every entry moves to the other end of the tree.
        "UPDATE [Table1] SET [CD_AGENTE] = -[CD_AGENTE] * 3 + 7"));

TEST_P(UpdateCrash, EveryStopGivesTheOldOrTheNewTable) {
    const char* statement = GetParam();
    testsupport::TempDir dir;
    const Table before = readTable(testsupport::fixture(kFixture));
    // One full run tells the new table and how many writes and syncs the statement makes.
    const std::string full = dir.copyOf(kFixture);
    Stopper counter(StopAt::PageWrite, 0);
    runStatement(full, statement, &counter);
    const Table after = readTable(full);
    ASSERT_NE(before, after);
    ASSERT_GT(counter.writes, 20u) << "the statement should span many page writes";
    ASSERT_GT(std::filesystem::file_size(full),
              std::filesystem::file_size(testsupport::fixture(kFixture)))
        << "the statement should take new pages";

    bool sawOld = false, sawNew = false;
    for (const StopAt kind : {StopAt::PageWrite, StopAt::Sync}) {
        const std::uint64_t events = kind == StopAt::PageWrite ? counter.writes : counter.syncs;
        for (std::uint64_t k = 1; k <= events; ++k) {
            const Table seen = afterStop(dir, statement, kind, k);
            const bool old = seen == before;
            const bool fresh = seen == after;
            EXPECT_TRUE(old || fresh) << (kind == StopAt::PageWrite ? "write " : "sync ") << k;
            sawOld |= old;
            sawNew |= fresh;
        }
    }
    EXPECT_TRUE(sawOld);
    EXPECT_TRUE(sawNew);
}
