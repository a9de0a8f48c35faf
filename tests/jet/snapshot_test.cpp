// Snapshots as a data grid uses them: a result set opened under a snapshot keeps its rows and
// columns while the same Database updates, deletes, inserts and alters the table, with images in
// memory, in the temporary file, or both; guards and the writes they refuse; and another
// connection's change, which a snapshot cannot follow.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>

#include "jet/database.h"
#include "jet/sql/csv_import.h"
#include "jet/sql/execute.h"
#include "support/fixtures.h"
#include "support/statements.h"

using namespace jet;
using namespace testsupport;

namespace {

using Rows = std::vector<std::vector<Value>>;
constexpr int kRows = 3000;  // dozens of data pages, and long values on pages of their own

// A copy of an empty database with one table of kRows rows: Id, Name, Amount, Gone, Note.
std::string tableOfManyPages(const TempDir& dir) {
    const std::string path = dir.copyOf("jet4/empty2000.mdb");
    const std::string csv = (dir.path() / "items.csv").string();
    {
        std::ofstream out(csv);
        out << "Id,Name,Amount,Gone,Note\n";
        for (int i = 0; i < kRows; ++i) {
            const std::string note = i % 10 == 0 ? std::string(3000, 'a' + i % 26) : "short";
            out << i << ",name " << i << ',' << i * 0.5 << ',' << i % 7 << ',' << note << '\n';
        }
    }
    auto db = Database::open(path);
    run(*db,
        "CREATE TABLE [Items] ([Id] INT, [Name] TEXT(40), [Amount] DOUBLE, [Gone] INT, "
        "[Note] MEMO)");
    sql::importCsv(*db, "Items", csv);
    return path;
}

std::vector<std::string> namesOf(const sql::ResultSet& rows) {
    std::vector<std::string> names;
    for (const auto& c : rows.columns()) names.push_back(c.name);
    return names;
}

Rows rest(sql::ResultSet& rows, std::size_t limit = SIZE_MAX) {
    Rows out;
    while (out.size() < limit && rows.next()) out.push_back(rows.row());
    return out;
}

Rows selectAll(const Database& db) { return rest(*sql::query(db, "SELECT * FROM [Items];")); }

struct Budget {
    std::size_t bytes;
    std::size_t dirtyPageLimit;  // small: pages are flushed and journaled mid-statement
};

class SnapshotOfATable : public ::testing::TestWithParam<Budget> {};

}  // namespace

INSTANTIATE_TEST_SUITE_P(ImagesIn, SnapshotOfATable,
                         ::testing::Values(Budget{std::size_t{64} << 20, 0}, Budget{0, 3},
                                           Budget{8 * 4096, 0}));

TEST_P(SnapshotOfATable, KeepsRowsAndColumnsThroughChangesOfTheSameDatabase) {
    TempDir dir;
    const std::string path = tableOfManyPages(dir);
    OpenOptions options;
    options.dirtyPageLimit = GetParam().dirtyPageLimit;
    auto db = Database::open(path, options);
    db->setSnapshotMemoryBudget(GetParam().bytes);
    const Rows original = selectAll(*db);
    ASSERT_EQ(original.size(), std::size_t{kRows});
    const std::vector<std::string> oldNames{"Id", "Name", "Amount", "Gone", "Note"};

    auto snapshot = db->takeSnapshot();
    std::unique_ptr<sql::ResultSet> grid;
    Rows seen;
    {
        const auto reading = snapshot->read();
        grid = sql::query(*db, "SELECT * FROM [Items];");
        seen = rest(*grid, 100);
    }
    // A statement that fails half-way leaves the images as the committed pages were.
    EXPECT_EQ(errorOf(*db, "UPDATE [Items] SET [Amount] = 1 / ([Id] - 2000)").code(),
              ErrorCode::DivisionByZero);
    run(*db, "UPDATE [Items] SET [Amount] = [Amount] * 2, [Note] = [Note] & '!'");
    run(*db, "DELETE FROM [Items] WHERE [Id] < 500");
    run(*db, "INSERT INTO [Items] ([Id], [Name]) VALUES (99999, 'new')");
    run(*db, "ALTER TABLE [Items] DROP COLUMN [Gone]");
    run(*db, "ALTER TABLE [Items] ADD COLUMN [Extra] INT");

    const SnapshotUsage held = db->snapshotUsage();
    EXPECT_GT(held.pages, 60u);
    EXPECT_LE(held.bytesInMemory, GetParam().bytes);
    EXPECT_EQ(held.bytesInTempFile > 0,
              held.bytesInMemory + held.bytesInTempFile > GetParam().bytes);
    {
        const auto reading = snapshot->read();
        const Rows more = rest(*grid);
        seen.insert(seen.end(), more.begin(), more.end());
        EXPECT_EQ(namesOf(*grid), oldNames);
        EXPECT_EQ(seen, original);

        const auto again = sql::query(*db, "SELECT * FROM [Items];");
        EXPECT_EQ(namesOf(*again), oldNames);
        EXPECT_EQ(rest(*again), original);
        EXPECT_EQ(db->table("Items")->columns.size(), 5u);
    }
    const auto live = sql::query(*db, "SELECT * FROM [Items] WHERE [Id] = 501;");
    EXPECT_EQ(namesOf(*live), (std::vector<std::string>{"Id", "Name", "Amount", "Note", "Extra"}));
    EXPECT_EQ(rest(*live), (Rows{{std::int32_t{501}, std::string("name 501"), 501.0,
                                  std::string("short!"), Value{}}}));
    EXPECT_EQ(selectAll(*db).size(), std::size_t{kRows - 500 + 1});

    // The result set holds the snapshot's pages too; once both go, so do the images.
    snapshot.reset();
    EXPECT_GT(db->snapshotUsage().pages, 0u);
    grid.reset();
    EXPECT_EQ(db->snapshotUsage().pages, 0u);
    EXPECT_EQ(db->snapshotUsage().bytesInTempFile, 0u);
    expectNoFaults(path);
}

TEST(Snapshot, GuardsNestRefuseWritesAndLeaveLiveCursorsLive) {
    TempDir dir;
    const std::string path = tableOfManyPages(dir);
    auto db = Database::open(path);
    auto before = db->takeSnapshot();
    run(*db, "UPDATE [Items] SET [Amount] = -1");
    auto after = db->takeSnapshot();
    run(*db, "DELETE FROM [Items]");
    const auto amountOfFirst = [&] {
        const auto rows = rest(*sql::query(*db, "SELECT [Amount] FROM [Items];"), 1);
        return rows.empty() ? Value{} : rows[0][0];
    };
    const auto liveCursor = sql::query(*db, "SELECT * FROM [Items];");
    {
        const auto outer = before->read();
        EXPECT_EQ(amountOfFirst(), Value{0.0});
        {
            const auto inner = after->read();
            EXPECT_EQ(amountOfFirst(), Value{-1.0});
            EXPECT_FALSE(liveCursor->next());
        }
        EXPECT_EQ(amountOfFirst(), Value{0.0});

        const auto bytes = bytesOf(path);
        const Error refused = errorOf(*db, "INSERT INTO [Items] ([Id]) VALUES (1)");
        EXPECT_EQ(refused.code(), ErrorCode::ReadOnly);
        EXPECT_NE(std::string(refused.what()).find(path), std::string::npos) << refused.what();
        EXPECT_EQ(bytesOf(path), bytes);
    }
    EXPECT_EQ(amountOfFirst(), Value{});
    EXPECT_EQ(run(*db, "INSERT INTO [Items] ([Id]) VALUES (1)"), 1u);
}

TEST(Snapshot, AnotherConnectionsChangeMakesReadingItFail) {
    TempDir dir;
    const std::string path = tableOfManyPages(dir);
    auto db = Database::open(path);
    auto snapshot = db->takeSnapshot();
    std::unique_ptr<sql::ResultSet> grid;
    {
        const auto reading = snapshot->read();
        grid = sql::query(*db, "SELECT * FROM [Items];");
        ASSERT_TRUE(grid->next());
    }
    run(*Database::open(path), "UPDATE [Items] SET [Amount] = 7");

    const auto reading = snapshot->read();
    try {
        rest(*grid);
        ADD_FAILURE() << "read a view of a file another connection changed";
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), ErrorCode::DataChanged);
        EXPECT_NE(std::string(e.what()).find("'" + path + "' was changed by another program"),
                  std::string::npos)
            << e.what();
    }
    EXPECT_THROW(sql::query(*db, "SELECT * FROM [Items];"), Error);
    // A snapshot taken now sees the other connection's change.
    const auto fresh = db->takeSnapshot();
    const auto freshReading = fresh->read();
    EXPECT_EQ(rest(*sql::query(*db, "SELECT [Amount] FROM [Items];"), 1)[0][0], Value{7.0});
}
