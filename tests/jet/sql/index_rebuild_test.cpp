// An UPDATE of every row of a larger table builds the indexes holding a changed field again once
// it is done, rather than moving each row's entry: the rows, the indexes as the checker and other
// readers walk them, and the refusals must be those of the way that moves the entries one by one
// (which a WHERE every row passes keeps to).
#include <gtest/gtest.h>

#include <string>

#include "jet/base/error.h"
#include "jet/database.h"
#include "jet/sql/fixed_field_patch.h"
#include "support/fixtures.h"
#include "support/made_database.h"
#include "support/mdb_reader.h"
#include "support/statements.h"

using namespace jet;
using namespace testsupport;

namespace {

// 4,096 rows; Code unique, Qty and (Name, Qty) indexed.
std::string items(const TempDir& dir, const std::string& name) {
    const std::string path =
        madeDatabase(dir, {"CREATE TABLE [T] ([ID] COUNTER PRIMARY KEY, [Qty] LONG, [Code] LONG, "
                           "[Name] TEXT(20))",
                           "INSERT INTO [T] ([Qty], [Name]) VALUES (5, 'Tea')"});
    auto db = Database::open(path);
    for (int i = 0; i < 12; ++i) {
        run(*db, "INSERT INTO [T] ([Qty], [Name]) SELECT [Qty] + [ID], [Name] FROM [T]");
    }
    run(*db, "UPDATE [T] SET [Code] = [ID], [Name] = [Name] & ([ID] Mod 50)");
    run(*db, "CREATE UNIQUE INDEX [ByCode] ON [T] ([Code])");
    run(*db, "CREATE INDEX [ByQty] ON [T] ([Qty])");
    run(*db, "CREATE INDEX [ByNameQty] ON [T] ([Name], [Qty])");
    db.reset();
    const std::string copy = (dir.path() / name).string();
    writeBytes(copy, bytesOf(path));
    return copy;
}

}  // namespace

TEST(IndexRebuild, AWholeTableUpdateLeavesTheIndexesAsEntryByEntryWould) {
    TempDir dir;
    const std::string fast = items(dir, "fast.mdb");
    const std::string slow = (dir.path() / "slow.mdb").string();
    writeBytes(slow, bytesOf(fast));
    auto a = Database::open(fast);
    auto b = Database::open(slow);
    const std::uint64_t patched = sql::FixedFieldPatch::rowsPatched();
    for (const std::string sql : {"UPDATE [T] SET [Qty] = [Qty] * 7 - [ID]",
                                  "UPDATE [T] SET [Name] = [Name] & 'x', [Code] = -[Code]",
                                  "UPDATE [T] SET [Qty] = Null"}) {
        EXPECT_EQ(run(*a, sql), 4096u) << sql;
        EXPECT_EQ(run(*b, sql + " WHERE 1 = 1"), 4096u) << sql;
    }
    // The first statement changed the field's bytes where they stand, in most rows (not in
    // the rows the set-up moved to other pages).
    EXPECT_GT(sql::FixedFieldPatch::rowsPatched(), patched + 3000);
    EXPECT_TRUE(rowsOf(*a, "T") == rowsOf(*b, "T"));
    a.reset();
    b.reset();
    expectNoFaults(fast);
    expectNoFaults(slow);
    EXPECT_EQ(readWithMdbReader(fast, "T").rows, readWithMdbReader(slow, "T").rows);
}

TEST(IndexRebuild, AKeyTwiceInAUniqueIndexIsRefusedAsEntryByEntryRefusesIt) {
    TempDir dir;
    const std::string path = items(dir, "t.mdb");
    auto db = Database::open(path);
    const Error whole = errorOf(*db, "UPDATE [T] SET [Code] = [Code] \\ 2");
    const Error byEntry = errorOf(*db, "UPDATE [T] SET [Code] = [Code] \\ 2 WHERE 1 = 1");
    EXPECT_EQ(whole.code(), ErrorCode::DuplicateKey);
    EXPECT_STREQ(whole.what(), byEntry.what());
    expectRefused(*db, path, "UPDATE [T] SET [Code] = 7", ErrorCode::DuplicateKey, whole.what());
    // The same keys the other way round are still one each.
    EXPECT_EQ(run(*db, "UPDATE [T] SET [Code] = 5000 - [Code]"), 4096u);
    db.reset();
    expectNoFaults(path);
}
