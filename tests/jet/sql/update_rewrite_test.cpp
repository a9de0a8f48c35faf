// An UPDATE that would move most of a table's rows (the new-field sequence: every row grows by
// the new field) writes the table afresh instead of leaving a forwarding pointer and a hole per
// row: the file stays near its size, and readers see the same rows.
#include <gtest/gtest.h>

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
    const auto theirs = testsupport::readWithMdbReader(path, "Orders");
    EXPECT_EQ(theirs.rows.size(), 8192u);
    EXPECT_EQ(theirs.rows[3999], "[4000,\"2.0000\",4,\"Item\",12000,12006]");

    // The sequence again, as the wizard repeats it: still no growth to speak of.
    run(*db, "ALTER TABLE [Orders] DROP [Total]");
    run(*db, "ALTER TABLE [Orders] ADD COLUMN [Total] INT");
    run(*db, "update [Orders] set [Total]=[Price]* [Qty] + [Code]");
    EXPECT_LE(sizeOf(path), before * 12 / 10);
    testsupport::expectNoFaults(path);
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
