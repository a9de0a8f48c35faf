// A power cut at any moment of a statement: the process is stopped before its k-th page write
// and before each sync, for every k, in an UPDATE that grows rows onto new pages, one that moves
// every entry of an index (splitting its leaves), and the new-field sequence (ADD COLUMN, an
// update that fills the field and so grows every row, DROP), a CSV import, new fields that
// carry a table's definition onto a second page, an AutoNumber field that numbers every row, and
// compacting.
// Reopening must give the table as it was before or after some statement, never between, and a
// file without faults.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string_view>

#include "jet/check/check.h"
#include "jet/compact.h"
#include "jet/database.h"
#include "jet/file/fault_seam.h"
#include "jet/sql/csv_import.h"
#include "jet/sql/execute.h"
#include "support/fixtures.h"

using namespace jet;

namespace {

// The same table in Jet 4 and in Access 97: 512 rows, two Text fields and a descending index
// on the Long.
constexpr const char* kJet4 = "jet4/compIndexTestV2000.mdb";
constexpr const char* kJet3 = "../fixtures-extra/jet3/compIndexTestV1997.mdb";
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

using Statements = std::vector<const char*>;

// "IMPORT" stands for loading this CSV file into Table1, "COMPACT" for compacting the database.
constexpr const char* kImport = "IMPORT";
constexpr const char* kCompact = "COMPACT";
// Written once, removed when the test program ends (the stopped children leave by _exit).
struct ImportFile {
    ImportFile()
        : path((std::filesystem::temp_directory_path() /
                ("quillfen-crash-" + std::to_string(::getpid()) + ".csv"))
                   .string()) {
        std::ofstream out(path);
        out << "CD_AGENTE,RS_AGENTE,DC_AGENTE\n";
        for (int i = 0; i < 3000; ++i) out << 50000 + i * 3 << ",imported " << i << ",x\n";
    }
    ~ImportFile() { std::filesystem::remove(path); }
    std::string path;
};

const std::string& importFile() {
    static const ImportFile file;
    return file.path;
}

void runStatements(const std::string& path, const Statements& statements, file::FaultSeam* seam) {
    OpenOptions options;
    options.faultSeam = seam;
    options.dirtyPageLimit = kDirtyLimit;
    auto db = Database::open(path, options);
    for (const char* statement : statements) {
        if (std::string_view(statement) == kImport) {
            sql::importCsv(*db, "Table1", importFile());
        } else if (std::string_view(statement) == kCompact) {
            compact(*db, {});
        } else {
            sql::execute(*db, statement);
        }
    }
}

// Copies the fixture, runs the statement in a child stopped at the k-th event, and returns the
// table as the next opener (who rolls back a dead writer's journal) sees it.
Table afterStop(const testsupport::TempDir& dir, const char* fixture, const Statements& statements,
                StopAt kind, std::uint64_t k) {
    const std::string path = dir.copyOf(fixture);
    std::filesystem::remove(path + "-journal");
    const pid_t pid = ::fork();
    if (pid == 0) {
        Stopper stopper(kind, k);
        try {
            runStatements(path, statements, &stopper);
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
        if (f.severity == check::Severity::Fault)
            ADD_FAILURE() << "k=" << k << ": " << f.description;
    }
    return table;
}

// Fields with the longest names (155 bytes of definition each) added to Table1 until its
// definition of 312 bytes continues on a second page, and the DROP that gives the page back.
Statements definitionOntoASecondPage() {
    static const std::vector<std::string> texts = [] {
        std::vector<std::string> t;
        std::string name;
        for (int n = 0; n < 25; ++n) {
            name = "Field " + std::to_string(n) + " ";
            name.resize(64, 'x');
            t.push_back("ALTER TABLE [Table1] ADD COLUMN [" + name + "] INT");
        }
        t.push_back("ALTER TABLE [Table1] DROP [" + name + "]");
        return t;
    }();
    Statements statements;
    for (const auto& t : texts) statements.push_back(t.c_str());
    return statements;
}

struct Case {
    const char* fixture;
    Statements statements;
};

class UpdateCrash : public ::testing::TestWithParam<Case> {};

}  // namespace

const Statements kGrow{
    "UPDATE [Table1] SET [RS_AGENTE] = [RS_AGENTE] & '-grown past its page', "
    "[DC_AGENTE] = 'x'"};
// The descending index on CD_AGENTE: every entry moves to the other end of the tree.
const Statements kReverse{"UPDATE [Table1] SET [CD_AGENTE] = -[CD_AGENTE] * 3 + 7"};
// The new field filled while another grows, so that a page's rows no longer fit it and the last
// of them move.
const Statements kNewField{"ALTER TABLE [Table1] ADD COLUMN [Total] INT",
                           "update [Table1] set [Total]=[CD_AGENTE]+ 1, "
                           "[DC_AGENTE] = [DC_AGENTE] & ' with a note that fills its page'",
                           "ALTER TABLE [Table1] DROP [Total]"};

// Rows deleted and a field dropped, then everything written afresh and numbered anew.
const Statements kCompacted{"DELETE FROM [Table1] WHERE [CD_AGENTE] < 300",
                            "ALTER TABLE [Table1] DROP [DC_AGENTE]", kCompact};

const Statements kCounter{"ALTER TABLE [Table1] ADD COLUMN [Seq] COUNTER"};

const std::string kLongNote(4500, 'n');
const std::string kFillNote =
    "update [Table1] set [Note]=[RS_AGENTE] & '" + kLongNote + "' WHERE [CD_AGENTE] < 400";
const Statements kMemoField{"ALTER TABLE [Table1] ADD COLUMN [Note] MEMO", kFillNote.c_str(),
                            "ALTER TABLE [Table1] DROP [Note]"};

INSTANTIATE_TEST_SUITE_P(
    Statements, UpdateCrash,
    ::testing::Values(Case{kJet4, kGrow}, Case{kJet4, kReverse}, Case{kJet4, kNewField},
                      // A new text index, descending, then every text key in it changed.
                      Case{kJet4,
                           {"UPDATE [Table1] SET [DC_AGENTE] = 'é'",
                            "CREATE INDEX [Names] ON [Table1] ([RS_AGENTE] DESC, [CD_AGENTE])",
                            "UPDATE [Table1] SET [RS_AGENTE] = 'Ü–' & [RS_AGENTE]"}},
                      // Thousands of new rows: new data and index pages, growing usage maps.
                      Case{kJet4, {kImport}}, Case{kJet4, definitionOntoASecondPage()},
                      // Access 97's 2 KB pages, one-byte row offsets and code-page text.
                      Case{kJet3, kGrow}, Case{kJet3, kReverse}, Case{kJet3, kNewField},
                      Case{kJet3, {kImport}}, Case{kJet3, definitionOntoASecondPage()},
                      // A Memo field added, some of its values on chains of long-value pages,
                      // and dropped again.
                      Case{kJet3, kMemoField},
                      // An AutoNumber added: every record grows by its number, many move.
                      Case{kJet4, kCounter}, Case{kJet3, kCounter}, Case{kJet4, kCompacted},
                      Case{kJet3, kCompacted}),
    [](const ::testing::TestParamInfo<Case>& info) {
        return std::string(info.param.fixture == kJet3 ? "Access97_" : "Jet4_") +
               std::to_string(info.index);
    });

TEST_P(UpdateCrash, EveryStopGivesTheTableBeforeOrAfterAStatement) {
    const Statements& statements = GetParam().statements;
    const char* fixture = GetParam().fixture;
    if (!std::filesystem::exists(testsupport::fixture(fixture))) {
        GTEST_SKIP() << fixture << " is not beside the project";
    }
    testsupport::TempDir dir;
    // The table after each statement, the first entry before any; one full run also counts
    // the writes and syncs.
    std::vector<Table> states{readTable(testsupport::fixture(fixture))};
    const std::string stepped = dir.copyOf(fixture);
    for (const char* statement : statements) {
        runStatements(stepped, {statement}, nullptr);
        states.push_back(readTable(stepped));
    }
    const std::string full = dir.copyOf(fixture);
    Stopper counter(StopAt::PageWrite, 0);
    runStatements(full, statements, &counter);
    const std::uint64_t writes = counter.writes, syncs = counter.syncs;
    ASSERT_NE(states.front(), states[1]);
    ASSERT_GT(writes, 10u) << "the statements should span many page writes";

    std::cout << fixture << ": stopped at each of " << writes << " page writes and " << syncs
              << " syncs\n";
    std::vector<bool> seen(states.size(), false);
    for (const StopAt kind : {StopAt::PageWrite, StopAt::Sync}) {
        const std::uint64_t events = kind == StopAt::PageWrite ? writes : syncs;
        for (std::uint64_t k = 1; k <= events; ++k) {
            const Table table = afterStop(dir, fixture, statements, kind, k);
            const auto match = std::find(states.begin(), states.end(), table);
            EXPECT_NE(match, states.end()) << (kind == StopAt::PageWrite ? "write " : "sync ") << k;
            if (match != states.end())
                seen[static_cast<std::size_t>(match - states.begin())] = true;
        }
    }
    // Stops fall before, between and after the statements.
    EXPECT_TRUE(seen.front());
    EXPECT_TRUE(seen[states.size() - 2] || seen.back());
}
