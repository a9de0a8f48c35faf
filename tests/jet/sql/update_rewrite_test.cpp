// An UPDATE whose rows grow (the new-field sequence: every row grows by the new field) lays each
// page out once with as many of its rows as it can hold, and moves only the rest; one that would
// still move most of a table's rows writes the table afresh. Either way the file stays near its
// size, and readers see the same rows.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "jet/base/error.h"
#include "jet/database.h"
#include "support/fixtures.h"
#include "support/made_database.h"
#include "support/mdb_reader.h"
#include "support/statements.h"

using namespace jet;
using testsupport::run;

namespace {

constexpr const char* kCreate =
    "CREATE TABLE [Orders] ([ID] COUNTER PRIMARY KEY, [Price] CURRENCY, [Qty] INT, "
    "[Name] TEXT(40), [Code] INT)";
constexpr const char* kInsert =
    "INSERT INTO [Orders] ([Price], [Qty], [Name], [Code]) VALUES (2, 3, 'Item', 7)";

std::uintmax_t sizeOf(const std::string& path) { return std::filesystem::file_size(path); }

// 2^doublings orders, numbered 1, 2, 3, ...
std::string orders(const testsupport::TempDir& dir, int doublings) {
    const std::string path = testsupport::madeDatabase(dir, {kCreate, kInsert});
    auto db = Database::open(path);
    for (int i = 0; i < doublings; ++i) {
        run(*db,
            "INSERT INTO [Orders] ([Price], [Qty], [Name], [Code]) "
            "SELECT [Price], [Qty], [Name], [Code] FROM [Orders]");
    }
    return path;
}

}  // namespace

TEST(UpdateRewrite, TheNewFieldSequenceKeepsTheFileNearItsSize) {
    testsupport::TempDir dir;
    const std::string path = orders(dir, 13);
    auto db = Database::open(path);
    run(*db, "UPDATE [Orders] SET [Code] = [ID] * 3");
    const std::uintmax_t before = sizeOf(path);
    run(*db, "ALTER TABLE [Orders] ADD COLUMN [Total] INT");
    EXPECT_EQ(run(*db, "update [Orders] set [Total]=[Price]* [Qty] + [Code]"), 8192u);
    // Forwarding every row took the file to nearly twice its size.
    EXPECT_LE(sizeOf(path), before * 12 / 10);
    testsupport::expectNoFaults(path);

    const auto ours = testsupport::rowsOf(*db, "Orders");
    ASSERT_EQ(ours.size(), 8192u);
    for (const auto& row : ours) {
        EXPECT_EQ(row[5], Value{static_cast<std::int32_t>(6 + std::get<std::int32_t>(row[4]))});
    }
    // The primary key finds rows at their new places.
    EXPECT_EQ(run(*db, "UPDATE [Orders] SET [Qty] = 4 WHERE [ID] = 4000"), 1u);
    // mdb-reader meets a moved row where its body lies.
    const auto theirs = testsupport::readWithMdbReader(path, "Orders");
    EXPECT_EQ(theirs.rows.size(), 8192u);
    EXPECT_EQ(std::count(theirs.rows.begin(), theirs.rows.end(),
                         "[4000,\"2.0000\",4,\"Item\",12000,12006]"),
              1);

    // The sequence again, as the wizard repeats it: still no growth to speak of.
    run(*db, "ALTER TABLE [Orders] DROP [Total]");
    run(*db, "ALTER TABLE [Orders] ADD COLUMN [Total] INT");
    run(*db, "update [Orders] set [Total]=[Price]* [Qty] + [Code]");
    EXPECT_LE(sizeOf(path), before * 12 / 10);
    testsupport::expectNoFaults(path);

    // Every row grows past what its page can take: written afresh, nothing moved, so mdb-reader
    // reads the rows in the table's own order.
    run(*db, "UPDATE [Orders] SET [Name] = [Name] & ' grown by more than a page can give'");
    testsupport::expectNoFaults(path);
    const auto grown = testsupport::readWithMdbReader(path, "Orders");
    ASSERT_EQ(grown.rows.size(), 8192u);
    EXPECT_EQ(grown.rows[3999],
              "[4000,\"2.0000\",4,\"Item grown by more than a page can give\",12000,12008]");
}

// A few rows growing move as before; a rewrite that breaks a unique index is refused whole.
TEST(UpdateRewrite, FewRowsMoveAndRefusalsChangeNothing) {
    testsupport::TempDir dir;
    const std::string path = orders(dir, 10);
    auto db = Database::open(path);
    run(*db, "UPDATE [Orders] SET [Code] = [ID]");
    run(*db, "CREATE UNIQUE INDEX [ByCode] ON [Orders] ([Code])");
    const std::uintmax_t before = sizeOf(path);
    EXPECT_EQ(run(*db,
                  "UPDATE [Orders] SET [Name] = [Name] & ' with a longer name' "
                  "WHERE [ID] <= 5"),
              5u);
    EXPECT_LE(sizeOf(path), before + 4096);
    testsupport::expectNoFaults(path);

    const auto bytes = testsupport::bytesOf(path);
    testsupport::expectRefused(
        *db, path, "UPDATE [Orders] SET [Name] = [Name] & ' and more', [Code] = [ID] MOD 1000",
        ErrorCode::DuplicateKey,
        "The changes were not made because they would create duplicate values in the index "
        "'ByCode' of table 'Orders'.");
    EXPECT_EQ(testsupport::bytesOf(path), bytes);
}

// Rows already moved, long values stored and given back, rows moved off their page: all in the
// page-at-a-time layout, and every reader finds every row.
TEST(UpdateRewrite, GrowingRowsTakeMovedRowsAndLongValuesAlong) {
    testsupport::TempDir dir;
    const std::string path = orders(dir, 10);
    const std::string kName = "Item and thirty-two characters more.";
    auto db = Database::open(path);
    // Longer rows, densely written: fewer of them to a page, so that a few bytes more for each
    // moves only some.
    run(*db, "UPDATE [Orders] SET [Name] = [Name] & ' and thirty-two characters more.'");
    run(*db, "ALTER TABLE [Orders] ADD COLUMN [Note] MEMO");
    // The first page has no room for all of these: some move now, and are moved rows below.
    const std::string early(60, 'e');
    EXPECT_EQ(run(*db, "UPDATE [Orders] SET [Note] = '" + early + "' WHERE [ID] <= 6"), 6u);
    const std::string longNote(3000, 'n');
    EXPECT_EQ(run(*db, "UPDATE [Orders] SET [Note] = '" + longNote + "' & [ID], [Qty] = [ID]"),
              1024u);
    testsupport::expectNoFaults(path);
    EXPECT_EQ(run(*db, "UPDATE [Orders] SET [Note] = 'short ' & [ID] WHERE [ID] MOD 2 = 0"), 512u);
    testsupport::expectNoFaults(path);

    const auto ours = testsupport::rowsOf(*db, "Orders");
    ASSERT_EQ(ours.size(), 1024u);
    for (const auto& row : ours) {
        const std::int32_t id = std::get<std::int32_t>(row[0]);
        EXPECT_EQ(row[2], Value{id});
        EXPECT_EQ(row[5], Value{(id % 2 == 0 ? "short " : longNote) + std::to_string(id)}) << id;
    }
    const auto theirs = testsupport::readWithMdbReader(path, "Orders");
    ASSERT_EQ(theirs.rows.size(), 1024u);
    // mdb-reader meets a moved row where its body lies: the sixth row did move.
    EXPECT_NE(theirs.rows[5].substr(0, 3), "[6,");
    for (const std::string& row : std::vector<std::string>{
             "[6,\"2.0000\",6,\"" + kName + "\",7,\"short 6\"]",
             "[1024,\"2.0000\",1024,\"" + kName + "\",7,\"short 1024\"]",
             "[1023,\"2.0000\",1023,\"" + kName + "\",7,\"" + longNote + "1023\"]"}) {
        EXPECT_EQ(std::count(theirs.rows.begin(), theirs.rows.end(), row), 1) << row;
    }
}
