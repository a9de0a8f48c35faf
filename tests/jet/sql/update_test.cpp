// UPDATE as the wizard sends it, on copies of real files: the values it stores, the rows it
// grows and moves, its refusals, and that a failing statement leaves the file byte for byte as
// it was.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "jet/check/check.h"
#include "jet/database.h"
#include "jet/sql/execute.h"
#include "support/fixtures.h"
#include "support/statements.h"

using namespace jet;
using namespace testsupport;

namespace {

class UpdateTest : public ::testing::Test {
protected:
    std::string copy(const char* fixture) { return dir_.copyOf(fixture); }
    testsupport::TempDir dir_;
};

}  // namespace

TEST_F(UpdateTest, TheWizardsStatementsStoreAccessArithmetic) {
    const auto path = copy("jet4/test2000.mdb");
    auto db = Database::open(path);
    EXPECT_EQ(run(*db, "UPDATE [Table1] SET [E] = [E] + 10"), 2u);
    EXPECT_EQ(run(*db, "UPDATE [Table1] SET [H] = [H] - -2"), 2u);
    EXPECT_EQ(run(*db, "UPDATE [Table1] SET [F] = [F] * 1.5"), 2u);
    EXPECT_EQ(run(*db, "update [Table1] set [D]=[C]* [D]"), 2u);
    // 7/2 stored in a whole-number field rounds half to even.
    EXPECT_EQ(run(*db, "UPDATE [Table1] SET [C] = 7 / 2"), 2u);
    db.reset();
    db = Database::open(path);
    const auto rows = rowsOf(*db, "Table1");
    EXPECT_EQ(std::get<std::int32_t>(rows[0][4]), 333333343);
    EXPECT_EQ(formatCurrency(std::get<Currency>(rows[0][7])), "5.5000");
    EXPECT_DOUBLE_EQ(std::get<double>(rows[0][5]), 444.555 * 1.5);
    EXPECT_EQ(std::get<std::int16_t>(rows[0][3]), 444);
    EXPECT_EQ(std::get<std::uint8_t>(rows[1][2]), 4);
    // Untouched columns keep their values.
    EXPECT_EQ(std::get<std::string>(rows[0][0]), "abcdefg");
    EXPECT_EQ(std::get<bool>(rows[0][8]), true);
    expectNoFaults(path);
}

TEST_F(UpdateTest, RowsThatGrowAreRepackedOrMovedAndStayReadable) {
    // Every page of this table is full, so each grown row moves to a new page.
    const auto path = copy("jet4/compIndexTestV2000.mdb");
    const auto sizeBefore = bytesOf(path).size();
    auto db = Database::open(path);
    const auto before = rowsOf(*db, "Table1");
    EXPECT_EQ(run(*db,
                  "UPDATE [Table1] SET [RS_AGENTE] = [RS_AGENTE] & "
                  "'-a longer text that no longer fits', [DC_AGENTE] = Null"),
              512u);
    db.reset();
    EXPECT_GT(bytesOf(path).size(), sizeBefore);
    db = Database::open(path);
    const auto after = rowsOf(*db, "Table1");
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t i = 0; i < after.size(); ++i) {
        EXPECT_EQ(after[i][0], before[i][0]);
        if (!isNull(before[i][1])) {
            EXPECT_EQ(std::get<std::string>(after[i][1]),
                      std::get<std::string>(before[i][1]) + "-a longer text that no longer fits");
        }
        EXPECT_TRUE(isNull(after[i][2]));
    }
    // A second growth moves bodies that were moved already.
    EXPECT_EQ(run(*db, "UPDATE [Table1] SET [DC_AGENTE] = 'now this one grows as well'"), 512u);
    for (const auto& row : rowsOf(*db, "Table1")) {
        EXPECT_EQ(std::get<std::string>(row[2]), "now this one grows as well");
    }
    expectNoFaults(path);
}

TEST_F(UpdateTest, FieldsTheStatementDoesNotReadKeepTheirValues) {
    // An UPDATE reads only the fields it needs. Rows whose changed values can be rewritten
    // where they stand are; a Null that gets a value, or a row written before its field was
    // added, is rebuilt from the row read and the bytes kept, Yes/No, Memo and Text included.
    const auto path = copy("jet4/empty2000.mdb");
    auto db = Database::open(path);
    run(*db,
        "CREATE TABLE [T] ([Id] INT, [Flag] YESNO, [Note] MEMO, [Name] TEXT(20), "
        "[Qty] INT, [Price] CURRENCY)");
    const std::string note(3000, 'n');
    for (int i = 1; i <= 6; ++i) {
        run(*db, "INSERT INTO [T] ([Id], [Flag], [Note], [Name], [Qty], [Price]) VALUES (" +
                     std::to_string(i) + ", " + (i % 2 ? "True" : "False") + ", '" + note +
                     "', 'name " + std::to_string(i) + "', " +
                     (i % 3 ? std::to_string(i) : "Null") + ", 1.5)");
    }
    run(*db, "ALTER TABLE [T] ADD COLUMN [Total] INT");
    EXPECT_EQ(run(*db, "UPDATE [T] SET [Qty] = [Id] * 10, [Total] = [Id] WHERE [Name] <> 'x'"), 6u);
    EXPECT_EQ(run(*db, "UPDATE [T] SET [Price] = [Price] + 1"), 6u);
    const auto rows = rowsOf(*Database::open(path, {"", false}), "T");
    ASSERT_EQ(rows.size(), 6u);
    for (int i = 1; i <= 6; ++i) {
        const auto& r = rows[static_cast<std::size_t>(i - 1)];
        EXPECT_EQ(r[1], Value{i % 2 == 1}) << i;
        EXPECT_EQ(r[2], Value{note}) << i;
        EXPECT_EQ(r[3], Value{"name " + std::to_string(i)}) << i;
        EXPECT_EQ(r[4], Value{i * 10}) << i;
        EXPECT_EQ(r[5], Value{Currency{25000}}) << i;
        EXPECT_EQ(r[6], Value{i}) << i;
    }
    expectNoFaults(path);
}

TEST_F(UpdateTest, AFailingStatementLeavesTheFileByteForByte) {
    const auto path = copy("jet4/compIndexTestV2000.mdb");
    const auto original = bytesOf(path);
    auto db = Database::open(path);
    // Rows are changed, moved and pages added before the failure in the last rows.
    auto e = errorOf(*db,
                     "UPDATE [Table1] SET [RS_AGENTE] = [RS_AGENTE] & '-grown', "
                     "[DC_AGENTE] = 1 / ([CD_AGENTE] - 1023)");
    EXPECT_EQ(e.code(), ErrorCode::DivisionByZero) << e.what();
    EXPECT_EQ(bytesOf(path), original);
    // RS_AGENTE holds 55 characters.
    e = errorOf(*db,
                "UPDATE [Table1] SET [RS_AGENTE] = [RS_AGENTE] & '" + std::string(60, 'x') + "'");
    EXPECT_EQ(e.code(), ErrorCode::ValueTooLong) << e.what();
    EXPECT_EQ(bytesOf(path), original);

    const auto numbers = copy("jet4/test2000.mdb");
    const auto numbersBefore = bytesOf(numbers);
    auto db2 = Database::open(numbers);
    e = errorOf(*db2, "UPDATE [Table1] SET [D] = [D] * 1000");  // 222000 overflows an Integer
    EXPECT_EQ(e.code(), ErrorCode::Overflow) << e.what();
    EXPECT_NE(std::string(e.what()).find("'D'"), std::string::npos) << e.what();
    EXPECT_EQ(bytesOf(numbers), numbersBefore);
}

TEST_F(UpdateTest, RefusesWhatItCannotKeepConsistent) {
    const auto path = copy("ace/calcFieldTestV2010.accdb");
    const auto original = bytesOf(path);
    auto db = Database::open(path);
    const auto refused = [&](const std::string& sql, const std::string& needle) {
        const auto e = errorOf(*db, sql);
        EXPECT_EQ(e.code(), ErrorCode::NotUpdatable) << sql;
        EXPECT_NE(std::string(e.what()).find(needle), std::string::npos) << e.what();
    };
    refused("UPDATE [Table1] SET [ID] = [ID] + 1", "Cannot update 'ID'; field not updateable");
    refused("UPDATE [Table1] SET [MonthlySalary] = 1", "calculated");
    EXPECT_EQ(bytesOf(path), original);
}

TEST_F(UpdateTest, WhereLimitsTheRowsAndNullsPropagate) {
    const auto path = copy("jet4/test2000.mdb");
    auto db = Database::open(path);
    EXPECT_EQ(run(*db, "UPDATE [Table1] SET [E] = [E] - 1 WHERE [A] = 'ABCDEFG'"), 1u);
    EXPECT_EQ(run(*db, "UPDATE [Table1] SET [F] = Null + [F]"), 2u);
    const auto rows = rowsOf(*db, "Table1");
    EXPECT_EQ(std::get<std::int32_t>(rows[0][4]), 333333332);
    EXPECT_EQ(std::get<std::int32_t>(rows[1][4]), 0);
    EXPECT_TRUE(isNull(rows[0][5]));
}

TEST_F(UpdateTest, AReadOnlyFileOpensButRefusesWrites) {
    const auto path = copy("jet4/test2000.mdb");
    std::filesystem::permissions(
        path, std::filesystem::perms::owner_read | std::filesystem::perms::group_read);
    auto db = Database::open(path);
    EXPECT_FALSE(db->writable());
    EXPECT_EQ(rowsOf(*db, "Table1").size(), 2u);
    EXPECT_EQ(errorOf(*db, "UPDATE [Table1] SET [E] = 1").code(), ErrorCode::ReadOnly);
}

TEST_F(UpdateTest, RequiredFieldsRefuseNull) {
    const auto path = copy("jet4/fixedTextTestV2000.mdb");
    const auto original = bytesOf(path);
    auto db = Database::open(path);
    const auto e = errorOf(*db, "UPDATE [users] SET [i_user_flags] = Null");
    EXPECT_STREQ(e.what(), "You must enter a value in the 'users.i_user_flags' field.");
    EXPECT_EQ(bytesOf(path), original);
    EXPECT_EQ(run(*db, "UPDATE [users] SET [i_user_flags] = [i_user_flags] + 1"), 2u);
}

TEST_F(UpdateTest, LongValuesTakeTheFormTheirSizeCallsFor) {
    const auto path = copy("ace/longtext2016.accdb");
    auto db = Database::open(path);
    const std::string original = std::get<std::string>(rowsOf(*db, "Table1")[0][1]);
    // Inline, one long-value row, a chain over several pages, and back: each replaces the last
    // and gives its rows back.
    for (const std::size_t length : {40u, 3000u, 12000u, 900u, 40u}) {
        std::string expected;
        while (expected.size() < length) expected += original + "\u00e9\u20ac";
        expected.resize(length);
        EXPECT_EQ(run(*db, "UPDATE [Table1] SET [LongText] = '" + expected + "'"), 1u);
        db.reset();
        db = Database::open(path);
        EXPECT_EQ(std::get<std::string>(rowsOf(*db, "Table1")[0][1]), expected) << length;
        expectNoFaults(path);
    }
}

TEST_F(UpdateTest, DeleteRemovesRowsAndKeepsTheCount) {
    const auto path = copy("ace/longtext2016.accdb");
    auto db = Database::open(path);
    // The table has a primary key, whose only entry goes with the row.
    EXPECT_EQ(run(*db, "DELETE FROM [Table1]"), 1u);
    EXPECT_TRUE(rowsOf(*db, "Table1").empty());
    expectNoFaults(path);

    const auto plain = copy("jet4/overflowTestV2000.mdb");
    auto db2 = Database::open(plain);
    const auto before = rowsOf(*db2, "Table1");
    EXPECT_EQ(run(*db2, "DELETE FROM [Table1] WHERE [data1] Is Null"), 3u);
    db2.reset();
    db2 = Database::open(plain);
    EXPECT_EQ(rowsOf(*db2, "Table1").size(), before.size() - 3);
    EXPECT_EQ(db2->table("Table1")->rowCount, before.size() - 3);
    expectNoFaults(plain);
}
