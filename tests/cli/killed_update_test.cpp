// A quillfen-db killed in the middle of its statements: the next opener finds the table as one
// of the statements left it, never half of one, and a file without faults.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "jet/check/check.h"
#include "jet/database.h"
#include "jet/sql/execute.h"
#include "support/fixtures.h"

using namespace jet;

namespace {

constexpr const char* kFixture = "jet4/compIndexTestV2000.mdb";
constexpr const char* kStatement =
    "UPDATE [Table1] SET [RS_AGENTE] = [RS_AGENTE] & '+', [DC_AGENTE] = [DC_AGENTE] & 'grows'";

using Table = std::vector<std::vector<Value>>;

Table readTable(const std::string& path) {
    const auto db = Database::open(path, {.password = "", .writable = false});
    Table rows;
    auto cursor = db->scan(db->table("Table1"));
    while (cursor.next()) rows.push_back(cursor.row());
    return rows;
}

}  // namespace

TEST(KilledUpdate, LeavesTheTableAsOneOfItsStatementsLeftIt) {
    testsupport::TempDir dir;
    constexpr int kStatements = 4;
    // The table after 0, 1, ... statements.
    std::vector<Table> states;
    {
        const std::string path = dir.copyOf(kFixture);
        states.push_back(readTable(path));
        auto db = Database::open(path);
        for (int i = 0; i < kStatements; ++i) {
            sql::execute(*db, kStatement);
            states.push_back(readTable(path));
        }
    }
    for (int delayMicros : {0, 300, 1000, 3000, 8000, 20000, 60000}) {
        const std::string path = dir.copyOf(kFixture);
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::execl(QUILLFEN_DB, QUILLFEN_DB, "sql", path.c_str(), kStatement, kStatement,
                    kStatement, kStatement, static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::usleep(static_cast<useconds_t>(delayMicros));
        ::kill(pid, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        const Table seen = readTable(path);
        EXPECT_NE(std::find(states.begin(), states.end(), seen), states.end())
            << "killed after " << delayMicros << " us: a half-done statement";
        for (const auto& f : check::checkDatabase(path)) {
            if (f.severity == check::Severity::Fault) ADD_FAILURE() << f.description;
        }
    }
}
