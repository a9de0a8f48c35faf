// UPDATE and DELETE on tables with indexes: the entries follow every changed row, unique keys
// are judged on what the whole statement leaves, and what cannot be kept right is refused with
// the file left byte for byte as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <optional>

#include "jet/check/check.h"
#include "jet/database.h"
#include "jet/index/table_indexes.h"
#include "jet/sql/csv_import.h"
#include "jet/sql/execute.h"
#include "jet/store/write_context.h"
#include "support/fixtures.h"
#include "support/statements.h"

using namespace jet;
using namespace testsupport;

namespace {

using Column = std::vector<std::optional<std::int64_t>>;

Column firstColumn(const Database& db, const std::string& table) {
    Column values;
    for (const auto& row : rowsOf(db, table)) {
        if (isNull(row[0])) {
            values.emplace_back();
        } else {
            values.emplace_back(std::get<std::int32_t>(row[0]));
        }
    }
    return values;
}

class UpdateIndexTest : public ::testing::Test {
protected:
    std::string copy(const char* fixture) { return dir_.copyOf(fixture); }
    testsupport::TempDir dir_;
};

}  // namespace

// compIndexTestV2000's Table1 has 512 rows under a descending index on CD_AGENTE. Statements
// that reverse the order, gather every row on one key, empty it into Nulls and spread it again
// move entries between leaves, split them and free them; after each, the checker finds every
// row's entry under its new key and the tree in order.
TEST_F(UpdateIndexTest, EntriesFollowEveryStatement) {
    const auto path = copy("jet4/compIndexTestV2000.mdb");
    using Change = std::optional<std::int64_t> (*)(std::optional<std::int64_t>);
    const std::vector<std::pair<const char*, Change>> steps = {
        {"UPDATE [Table1] SET [CD_AGENTE] = [CD_AGENTE] * 3 - 1",
         [](auto v) { return v ? std::optional(*v * 3 - 1) : v; }},
        {"UPDATE [Table1] SET [CD_AGENTE] = -[CD_AGENTE] WHERE [CD_AGENTE] > 500",
         [](auto v) { return v && *v > 500 ? std::optional(-*v) : v; }},
        {"UPDATE [Table1] SET [CD_AGENTE] = Null WHERE [CD_AGENTE] < 0",
         [](auto v) { return v && *v < 0 ? std::nullopt : v; }},
        {"UPDATE [Table1] SET [CD_AGENTE] = 7 WHERE [CD_AGENTE] Is Null",
         [](auto v) { return v ? v : std::optional<std::int64_t>(7); }},
        {"UPDATE [Table1] SET [CD_AGENTE] = [CD_AGENTE] + 1000000",
         [](auto v) { return v ? std::optional(*v + 1000000) : v; }},
    };
    Column expected = firstColumn(*Database::open(path), "Table1");
    for (const auto& [sql, change] : steps) {
        SCOPED_TRACE(sql);
        {
            auto db = Database::open(path);
            run(*db, sql);
        }
        for (auto& v : expected) v = change(v);
        EXPECT_EQ(firstColumn(*Database::open(path), "Table1"), expected);
        expectNoFaults(path);
    }
    // Deleting rows takes their entries out; deleting the rest leaves an empty root.
    // Most rows now share one key, over several leaves.
    const auto shared = static_cast<std::uint64_t>(
        std::count(expected.begin(), expected.end(), std::optional<std::int64_t>(1000007)));
    ASSERT_GT(shared, 400u);
    auto db = Database::open(path);
    EXPECT_EQ(run(*db, "DELETE FROM [Table1] WHERE [CD_AGENTE] = 1000007"), shared);
    expectNoFaults(path);
    EXPECT_EQ(run(*db, "DELETE FROM [Table1]"), expected.size() - shared);
    expectNoFaults(path);
}

TEST_F(UpdateIndexTest, UniqueKeysAreJudgedOnWhatTheStatementLeaves) {
    const auto path = copy("jet4/fixedTextTestV2000.mdb");  // users: primary key i_user_id, 1 and 2
    auto db = Database::open(path);
    // Row by row, 1 -> 2 meets the 2 not yet changed; only the result counts.
    EXPECT_EQ(run(*db, "UPDATE [users] SET [i_user_id] = [i_user_id] + 1"), 2u);
    EXPECT_EQ(run(*db, "UPDATE [users] SET [i_user_id] = 5 - [i_user_id]"), 2u);  // a swap
    EXPECT_EQ(firstColumn(*db, "users"), (Column{3, 2}));

    const auto before = bytesOf(path);
    const Error e = errorOf(*db, "UPDATE [users] SET [i_user_id] = 5");
    EXPECT_EQ(e.code(), ErrorCode::DuplicateKey);
    EXPECT_STREQ(e.what(),
                 "The changes were not made because they would create duplicate values in the "
                 "index 'Users2CID_0' of table 'users'.");
    EXPECT_EQ(bytesOf(path), before);
    expectNoFaults(path);
}

TEST_F(UpdateIndexTest, ManyMovedEntriesGoInBatchesAndStayExact) {
    // More rows than one batch of moved entries, in keys that repeat and jump about the index,
    // and a unique key shifted through values other rows still hold.
    const auto path = copy("jet4/empty2000.mdb");
    const std::string csv = (dir_.path() / "rows.csv").string();
    {
        std::ofstream out(csv);
        out << "Id,Qty\n";
        for (int i = 1; i <= 40000; ++i) out << i << ',' << (i * 13) % 500 << '\n';
    }
    auto db = Database::open(path);
    run(*db, "CREATE TABLE [T] ([Id] INT, [Qty] INT)");
    sql::importCsv(*db, "T", csv);
    run(*db, "CREATE UNIQUE INDEX [IdIndex] ON [T] ([Id])");
    run(*db, "CREATE INDEX [QtyIndex] ON [T] ([Qty])");
    EXPECT_EQ(run(*db, "UPDATE [T] SET [Qty] = [Qty] + 7, [Id] = [Id] + 1"), 40000u);
    expectNoFaults(path);
    const auto rows = sql::query(*db, "SELECT [Id], [Qty] FROM [T] WHERE [Qty] = 7");
    std::size_t count = 0;
    while (rows->next()) {
        EXPECT_EQ((std::get<std::int32_t>(rows->row()[0]) - 1) * 13 % 500, 0);
        ++count;
    }
    EXPECT_EQ(count, 80u);  // the rows whose Qty was 0

    const auto before = bytesOf(path);
    EXPECT_EQ(errorOf(*db, "UPDATE [T] SET [Id] = 2 WHERE [Id] > 39990").code(),
              ErrorCode::DuplicateKey);
    EXPECT_EQ(bytesOf(path), before);
}

TEST_F(UpdateIndexTest, NullKeysFollowTheIndexRules) {
    const auto path = copy("jet4/fixedTextTestV2000.mdb");
    auto db = Database::open(path);
    const auto table = db->table("users");
    auto cursor = db->scan(table);
    ASSERT_TRUE(cursor.next());
    const RowLocation where = cursor.location();
    const std::vector<Value> before = cursor.row();
    std::vector<Value> after = before;
    after[0] = Value{};
    std::vector<bool> changed(before.size(), false);
    changed[0] = true;
    const auto original = bytesOf(path);
    try {
        db->write([&](store::WriteContext& ctx) {
            index::TableIndexes(ctx.file, ctx.format, *table)
                .updateRow(where, before, after, changed);
        });
        ADD_FAILURE() << "a primary key took a Null";
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), ErrorCode::NullKey);
        EXPECT_STREQ(e.what(),
                     "Index or primary key 'Users2CID_0' of table 'users' cannot contain a Null "
                     "value.");
    }
    EXPECT_EQ(bytesOf(path), original);
}

// Text keys in both General orders: entries follow changed, new and removed rows, in unique
// and ignore-nulls indexes, in primary keys, and in indexes that mix Text and Long.
TEST_F(UpdateIndexTest, TextKeysFollowUpdatesInsertsAndDeletes) {
    for (const char* fixture :
         {"jet4/testIndexPropertiesV2000.mdb", "ace/testIndexPropertiesV2010.accdb"}) {
        SCOPED_TRACE(fixture);
        const auto path = copy(fixture);
        auto db = Database::open(path);
        EXPECT_EQ(run(*db,
                      "UPDATE [TableUnique1_temp] SET [data] = [data] & ' v-1.2_b' "
                      "WHERE [data] Is Not Null"),
                  6u);
        EXPECT_EQ(run(*db,
                      "UPDATE [TableIgnoreNulls2] SET [data1] = 'Brien-' & [row] "
                      "WHERE [data2] < 0"),
                  4u);
        EXPECT_EQ(run(*db, "UPDATE [TableUnique2_temp] SET [data2] = [data2] + 1"), 11u);
        EXPECT_EQ(run(*db, "UPDATE [TableIgnoreNulls1] SET [row] = UCase([row]) & '_x'"), 10u);
        EXPECT_EQ(run(*db,
                      "INSERT INTO [TableUnique1_temp] ([row], [data]) "
                      "VALUES ('row10', 'Yak 10')"),
                  1u);
        EXPECT_EQ(run(*db, "INSERT INTO [TableIgnoreNulls1] ([row], [data]) VALUES ('a', Null)"),
                  1u);
        EXPECT_EQ(run(*db, "DELETE FROM [TableUnique1_temp] WHERE [row] = 'row2'"), 1u);
        EXPECT_EQ(run(*db, "DELETE FROM [TableIgnoreNulls2] WHERE [data1] Is Null"), 3u);
        expectNoFaults(path);

        const auto unique1 = rowsOf(*db, "TableUnique1_temp");
        ASSERT_EQ(unique1.size(), 10u);
        EXPECT_EQ(unique1[0][1], Value(std::string("stuff v-1.2_b")));
        EXPECT_EQ(unique1.back()[1], Value(std::string("Yak 10")));
        EXPECT_EQ(rowsOf(*db, "TableIgnoreNulls1")[0][0], Value(std::string("ROW0_x")));
    }
}

// General order compares text ignoring case, so a unique index or primary key refuses what
// differs only in case; a change of case alone keeps every key.
TEST_F(UpdateIndexTest, TextKeysAreUniqueIgnoringCase) {
    const auto path = copy("ace/testIndexPropertiesV2010.accdb");
    auto db = Database::open(path);
    const auto original = bytesOf(path);
    for (const char* sql : {
             "UPDATE [TableUnique1_temp] SET [data] = 'MORE' WHERE [row] = 'row0'",
             "INSERT INTO [TableUnique1_temp] ([row], [data]) VALUES ('new', 'sTUFF')",
             "INSERT INTO [TableUnique1_temp] ([row], [data]) VALUES ('ROW1', 'new')",
             "UPDATE [TableUnique2_temp] SET [data1] = 'STUFF', [data2] = 13 WHERE [row] = 'row9'",
         }) {
        SCOPED_TRACE(sql);
        const Error e = errorOf(*db, sql);
        EXPECT_EQ(e.code(), ErrorCode::DuplicateKey) << e.what();
        EXPECT_EQ(bytesOf(path), original);
    }
    EXPECT_EQ(run(*db, "UPDATE [TableUnique1_temp] SET [data] = UCase([data])"), 10u);
    EXPECT_EQ(run(*db, "UPDATE [TableUnique1_temp] SET [row] = UCase([row])"), 10u);
    expectNoFaults(path);
}

// Texts of any characters go into text indexes, and a statement that breaks a unique index
// leaves the file as it was.
TEST_F(UpdateIndexTest, TextKeysTakeAnyCharacter) {
    const auto path = copy("ace/testIndexPropertiesV2010.accdb");
    auto db = Database::open(path);
    EXPECT_EQ(run(*db, "UPDATE [TableUnique1_temp] SET [data] = 'grüße' WHERE [row] = 'row9'"), 1u);
    EXPECT_EQ(run(*db,
                  "UPDATE [TableUnique1_temp] SET [data] = 'Zürich – 東京 😀' WHERE [row] = "
                  "'row8'"),
              1u);
    // Case alone does not make a second key in a unique index; bytes that are not UTF-8 make no
    // key at all.
    const auto before = bytesOf(path);
    const Error e =
        errorOf(*db, "UPDATE [TableUnique1_temp] SET [data] = 'x\xFFy' WHERE [row] = 'row7'");
    EXPECT_STREQ(e.what(),
                 "The index 'DataIndex' of table 'TableUnique1_temp' cannot take a text that "
                 "holds bytes which are not UTF-8 characters; nothing was changed.");
    EXPECT_EQ(errorOf(*db, "UPDATE [TableUnique1_temp] SET [data] = 'GRÜSSE' WHERE [row] = 'row7'")
                  .code(),
              ErrorCode::DuplicateKey);
    EXPECT_EQ(bytesOf(path), before);
    EXPECT_EQ(run(*db, "UPDATE [TableIgnoreNulls2] SET [data1] = Left('xé', Len([row]) - 3)"), 11u);
    // Deleting needs no key: entries go by their row.
    EXPECT_EQ(run(*db, "DELETE FROM [TableIgnoreNulls2] WHERE [data2] < 0 Or [data1] Is Null"), 4u);
    EXPECT_EQ(rowsOf(*db, "TableIgnoreNulls2").size(), 7u);
    expectNoFaults(path);
}

// In Access 2010's General order every character's code takes two bytes or more, and Access
// cuts an entry past 508 bytes in a way not known: a text whose entry would pass that is
// refused, whatever its characters, and one that fits is kept.
TEST_F(UpdateIndexTest, TextKeysPastWhatAccessKeepsWholeAreRefused) {
    const auto path = copy("empty/empty2010.accdb");
    auto db = Database::open(path);
    run(*db, "CREATE TABLE [Notes] ([Id] INT, [Note] TEXT(255))");
    run(*db, "CREATE UNIQUE INDEX [NoteIndex] ON [Notes] ([Note])");
    EXPECT_EQ(
        run(*db, "INSERT INTO [Notes] ([Id], [Note]) VALUES (1, '" + std::string(252, 'a') + "')"),
        1u);
    const auto before = bytesOf(path);
    for (const std::string& sql :
         {"INSERT INTO [Notes] ([Id], [Note]) VALUES (2, '" + std::string(253, 'b') + "')",
          std::string("UPDATE [Notes] SET [Note] = [Note] & 'a'")}) {
        SCOPED_TRACE(sql);
        const Error e = errorOf(*db, sql);
        EXPECT_EQ(e.code(), ErrorCode::Unsupported);
        EXPECT_NE(std::string(e.what()).find("longer than the 508 bytes Access keeps whole"),
                  std::string::npos)
            << e.what();
        EXPECT_EQ(bytesOf(path), before);
    }
    expectNoFaults(path);
}
