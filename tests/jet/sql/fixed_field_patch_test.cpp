// UPDATE [T] SET [F] = [F] + 10 and UPDATE [T] SET [F] = [F] * [G] on number fields change the
// field's stored bytes where they stand. They must leave the file exactly as the general way
// leaves it, which a WHERE every row passes forces: the same bytes, the same count, the same
// error for the same row. And where something else must see the new value (an index, a rule, a
// calculated field, a relationship), the general way must do the work.
#include "jet/sql/fixed_field_patch.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "jet/base/error.h"
#include "jet/database.h"
#include "jet/new_database.h"
#include "support/fixtures.h"
#include "support/mdb_reader.h"
#include "support/statements.h"
#include "support/table_properties.h"

using namespace jet;
using namespace testsupport;

namespace {

// How one statement went: the rows it matched, or the error it failed with.
std::string outcomeOf(Database& db, const std::string& sql) {
    try {
        return "matched " + std::to_string(run(db, sql));
    } catch (const Error& e) {
        return "failed: " + std::string(e.what());
    }
}

// The code `sql` fails with; the file must be byte for byte as it was.
ErrorCode refusal(Database& db, const std::string& path, const std::string& sql) {
    const auto before = bytesOf(path);
    const Error e = errorOf(db, sql);
    EXPECT_EQ(bytesOf(path), before) << sql;
    return e.code();
}

// Runs each statement on `fast` as it stands and on `general` with a WHERE every row passes,
// and expects the same outcome and the same file after each. Returns the rows the fast way
// changed on their bytes.
std::uint64_t expectSameAsGeneral(const std::string& fast, const std::string& general,
                                  const std::vector<std::string>& statements) {
    const std::uint64_t before = sql::FixedFieldPatch::rowsPatched();
    auto a = Database::open(fast);
    auto b = Database::open(general);
    for (const auto& sql : statements) {
        const std::uint64_t patched = sql::FixedFieldPatch::rowsPatched();
        const std::string theirs = outcomeOf(*b, sql + " WHERE 1 = 1");
        EXPECT_EQ(sql::FixedFieldPatch::rowsPatched(), patched) << sql;
        EXPECT_EQ(outcomeOf(*a, sql), theirs) << sql;
        EXPECT_TRUE(bytesOf(fast) == bytesOf(general)) << sql << " (" << theirs << ")";
    }
    return sql::FixedFieldPatch::rowsPatched() - before;
}

struct Format {
    NewDatabaseFormat format;
    const char* extension;
    bool bigInt;
};

class FixedFieldPatchTest : public ::testing::TestWithParam<Format> {
protected:
    // Numbers at the edges of every number type, Nulls, halves that round, and rows written
    // before the last two fields were added.
    std::string numbers() {
        const std::string path = file("n");
        createDatabase(path, GetParam().format);
        auto db = Database::open(path);
        run(*db,
            "CREATE TABLE [N] ([ID] COUNTER PRIMARY KEY, [B] BYTE, [I] SHORT, [L] LONG, "
            "[C] CURRENCY, [S] REAL, [D] DOUBLE, [M] DECIMAL(18, 4), [T] DATETIME)");
        const char* rows[] = {
            "0, 0, 0, 0, 0, 0, 0, #1899-12-30#",
            "255, 32767, 2147483647, 922337203685477, 3.4E+38, 1.7E+308, "
            "99999999999999, #9999-12-31 23:59:59#",
            "0, -32768, -2147483648, -922337203685477, -3.4E+38, -1.7E+308, "
            "-99999999999999, #100-01-01#",
            "2, -3, 5, 2.5, 2.5, -2.5, 0.5, #2020-01-01 12:00:00#",
            "Null, Null, Null, Null, Null, Null, Null, Null",
            "7, Null, 12, Null, 1.5, Null, -3.25, Null",
        };
        for (const char* row : rows) {
            run(*db, std::string("INSERT INTO [N] ([B], [I], [L], [C], [S], [D], [M], [T]) "
                                 "VALUES (") +
                         row + ")");
        }
        run(*db, "ALTER TABLE [N] ADD COLUMN [X] LONG");
        run(*db, "ALTER TABLE [N] ADD COLUMN [Y] DOUBLE");
        if (GetParam().bigInt) run(*db, "ALTER TABLE [N] ADD COLUMN [G] BIGINT");
        run(*db,
            "INSERT INTO [N] ([B], [I], [L], [C], [S], [D], [M], [T], [X], [Y]) VALUES "
            "(3, 100, -7, 1.25, -0.5, 3.5, 12.5, #2001-02-03#, 40000, 2.5)");
        run(*db, "INSERT INTO [N] ([B], [L], [X]) VALUES (1, 1, Null)");
        if (GetParam().bigInt) run(*db, "UPDATE [N] SET [G] = 4611686018427387904 WHERE [ID] = 7");
        return path;
    }
    std::string file(const std::string& name) const {
        return (dir_.path() / (name + "." + GetParam().extension)).string();
    }
    TempDir dir_;
};

}  // namespace

INSTANTIATE_TEST_SUITE_P(Formats, FixedFieldPatchTest,
                         ::testing::Values(Format{NewDatabaseFormat::Access2000, "mdb", false},
                                           Format{NewDatabaseFormat::Access2016, "accdb", true}),
                         [](const auto& info) { return std::string(info.param.extension); });

TEST_P(FixedFieldPatchTest, EveryNumberTypeComesOutAsTheGeneralWayWritesIt) {
    const std::string pristine = numbers();
    std::vector<std::string> fields = {"B", "I", "L", "C", "S", "D", "M", "T", "X", "Y"};
    if (GetParam().bigInt) fields.push_back("G");
    const std::vector<std::string> constants = {"10", "-3", "40000", "-2.5", "0.5", "0", "1E+300"};
    std::uint64_t patched = 0;
    for (const auto& target : fields) {
        for (const char* op : {" + ", " - ", " * ", " / "}) {
            const std::string fast = file("fast");
            const std::string general = file("general");
            writeBytes(fast, bytesOf(pristine));
            writeBytes(general, bytesOf(pristine));
            std::vector<std::string> statements;
            const std::string head = "UPDATE [N] SET [" + target + "] = [" + target + "]" + op;
            for (const auto& k : constants) statements.push_back(head + k);
            for (const auto& g : fields) statements.push_back(head + "[" + g + "]");
            patched += expectSameAsGeneral(fast, general, statements);
        }
    }
    EXPECT_GT(patched, 0u);
    // The last file each way went through, read by another reader.
    expectNoFaults(file("fast"));
    EXPECT_EQ(readWithMdbReader(file("fast"), "N").rows.size(), 8u);
}

// A field filled from others, as the new-field window sends it: the rows written before the
// field was added, and those holding it as Null, gain its bytes; whole numbers and Currency are
// worked out in integers, Currency rounding half to even as the value rules do.
TEST_P(FixedFieldPatchTest, AFieldFilledFromOtherFieldsComesOutAsTheGeneralWayWritesIt) {
    const std::string pristine = numbers();
    {
        // Currencies whose products and conversions round, in rows that hold [X] and [Y] as Null.
        auto db = Database::open(pristine);
        for (const char* c : {"0.0005", "0.0015", "-0.0025", "3.5", "-2.5", "12345.6789"}) {
            run(*db,
                std::string("INSERT INTO [N] ([B], [I], [L], [C]) VALUES (3, -7, 2, ") + c + ")");
        }
    }
    std::vector<std::string> targets = {"X", "Y", "C", "I", "L"};
    if (GetParam().bigInt) targets.push_back("G");
    const std::vector<std::string> lefts = {"[B]", "[I]", "[L]", "[C]", "-2"};
    const std::vector<std::string> rights = {"[L]", "[C]", "3", "[B]"};
    std::uint64_t patched = 0;
    for (const auto& target : targets) {
        for (const char* op : {" + ", " - ", " * "}) {
            const std::string fast = file("fast");
            const std::string general = file("general");
            writeBytes(fast, bytesOf(pristine));
            writeBytes(general, bytesOf(pristine));
            std::vector<std::string> statements;
            for (const auto& l : lefts) {
                for (const auto& r : rights) {
                    statements.push_back("UPDATE [N] SET [" + target + "] = " + l + op + r);
                }
            }
            patched += expectSameAsGeneral(fast, general, statements);
        }
    }
    EXPECT_GT(patched, 0u);
    expectNoFaults(file("fast"));
    EXPECT_EQ(readWithMdbReader(file("fast"), "N").rows.size(), 14u);
}

// Rows with text, memos (one on pages of its own), Yes/No values and a dropped field's bytes
// gain the new field on their bytes, and the rows their pages no longer hold move, as the
// general way lays them out.
TEST_P(FixedFieldPatchTest, RowsOfEveryShapeGainTheNewFieldAsTheGeneralWayWritesThem) {
    const std::string pristine = file("shapes");
    createDatabase(pristine, GetParam().format);
    {
        auto db = Database::open(pristine);
        run(*db,
            "CREATE TABLE [W] ([ID] COUNTER PRIMARY KEY, [Name] TEXT(40), [Flag] YESNO, "
            "[Note] MEMO, [Gone] LONG, [P] CURRENCY, [Q] LONG, [Tag] TEXT(10))");
        run(*db,
            "INSERT INTO [W] ([Name], [Flag], [Note], [Gone], [P], [Q], [Tag]) VALUES "
            "('first', True, 'a short note', 1, 2.5, 3, 't')");
        for (int i = 0; i < 9; ++i) {
            run(*db,
                "INSERT INTO [W] ([Name], [Flag], [Note], [Gone], [P], [Q], [Tag]) SELECT "
                "[Name], [Flag], [Note], [Gone], [P] + 1.0001, [Q] * 2, [Tag] FROM [W]");
        }
        run(*db, "UPDATE [W] SET [Name] = Null, [Flag] = False WHERE [ID] MOD 3 = 0");
        run(*db, "UPDATE [W] SET [Tag] = '', [P] = Null WHERE [ID] MOD 5 = 0");
        run(*db, "UPDATE [W] SET [Note] = '" + std::string(3000, 'n') + "' WHERE [ID] = 7");
        run(*db, "UPDATE [W] SET [Q] = Null, [Note] = Null WHERE [ID] MOD 7 = 0");
        run(*db, "ALTER TABLE [W] DROP COLUMN [Gone]");
        run(*db, "ALTER TABLE [W] ADD COLUMN [Total] LONG");
        run(*db, "ALTER TABLE [W] ADD COLUMN [Extra] TEXT(5)");
        run(*db, "ALTER TABLE [W] ADD COLUMN [Money] CURRENCY");
    }
    const std::string fast = file("fast");
    const std::string general = file("general");
    writeBytes(fast, bytesOf(pristine));
    writeBytes(general, bytesOf(pristine));
    EXPECT_GT(expectSameAsGeneral(
                  fast, general,
                  {"UPDATE [W] SET [Total] = [P] * [Q]", "UPDATE [W] SET [Money] = [Q] + 5",
                   "UPDATE [W] SET [Money] = [P] * [P]", "UPDATE [W] SET [Total] = [Q] - [Total]"}),
              1000u);
    expectNoFaults(fast);
    const auto rows = readWithMdbReader(fast, "W").rows;
    EXPECT_EQ(rows.size(), 512u);
}

// Whole numbers are worked out on integers. A result out of the field's range, or of the
// expression's, in a row the statement only meets after its first rows (which it looks at
// the general way first), must still be refused as the general way refuses it.
TEST_P(FixedFieldPatchTest, WholeNumbersOutOfRangeLateInTheTableAreRefusedAsTheGeneralWayDoes) {
    const std::string pristine = file("late");
    createDatabase(pristine, GetParam().format);
    {
        auto db = Database::open(pristine);
        const bool big = GetParam().bigInt;
        run(*db, std::string("CREATE TABLE [W] ([ID] COUNTER PRIMARY KEY, [B] BYTE, [I] SHORT, "
                             "[L] LONG") +
                     (big ? ", [G] BIGINT)" : ")"));
        run(*db, "INSERT INTO [W] ([B], [I], [L]) VALUES (1, 1, 1)");
        for (int i = 0; i < 10; ++i) {
            run(*db, "INSERT INTO [W] ([B], [I], [L]) SELECT [B], [I], [L] FROM [W]");
        }
        if (big) run(*db, "UPDATE [W] SET [G] = 1");
        run(*db, std::string("UPDATE [W] SET [B] = 255, [I] = 32767, [L] = 2147483647") +
                     (big ? ", [G] = 9223372036854774784" : "") + " WHERE [ID] = 1000");
        run(*db, std::string("UPDATE [W] SET [B] = 0, [I] = -32768, [L] = -2147483648") +
                     (big ? ", [G] = -9223372036854774784" : "") + " WHERE [ID] = 1001");
    }
    std::vector<std::string> statements;
    std::vector<std::string> fields = {"B", "I", "L"};
    if (GetParam().bigInt) fields.push_back("G");
    for (const auto& f : fields) {
        for (const char* tail : {" + 10", " - 3", " * 40000", " * -1", " + [B]"}) {
            statements.push_back("UPDATE [W] SET [" + f + "] = [" + f + "]" + tail);
        }
        // The constant or the other field first, and a negated constant, each side read as its
        // own operand.
        for (const char* head : {"7 - ", "-2 * ", "[B] - ", "[I] * "}) {
            statements.push_back("UPDATE [W] SET [" + f + "] = " + head + "[" + f + "]");
        }
    }
    // And one that fits everywhere, worked out on integers row by row.
    statements.push_back("UPDATE [W] SET [L] = [L] - [B]");
    const std::string fast = file("fast");
    const std::string general = file("general");
    writeBytes(fast, bytesOf(pristine));
    writeBytes(general, bytesOf(pristine));
    EXPECT_GT(expectSameAsGeneral(fast, general, statements), 0u);
    expectNoFaults(fast);
    EXPECT_EQ(readWithMdbReader(fast, "W").rows.size(), 1024u);
}

TEST_P(FixedFieldPatchTest, WhatAnIndexARuleOrACalculatedFieldSeesTakesTheGeneralWay) {
    const std::string path = numbers();
    auto db = Database::open(path);
    const std::uint64_t before = sql::FixedFieldPatch::rowsPatched();

    // An index on the field: its entries follow the new values, and an overflow in the last
    // record leaves every record as it was.
    run(*db, "CREATE INDEX [ByL] ON [N] ([L])");
    EXPECT_EQ(refusal(*db, path, "UPDATE [N] SET [L] = [L] - 1"), ErrorCode::Overflow);
    EXPECT_EQ(run(*db, "UPDATE [N] SET [L] = [L] \\ 2"), 8u);
    expectNoFaults(path);

    // A field's rule, and then the table's rule, are checked on every record changed.
    setProperties(*db, "N", "I", {textProperty("ValidationRule", "< 1000")});
    db = Database::open(path);
    EXPECT_EQ(refusal(*db, path, "UPDATE [N] SET [I] = [I] \\ 2 + 600"),
              ErrorCode::FieldRuleBroken);
    setProperties(*db, "N", "I", {});
    setProperties(*db, "N", "", {textProperty("ValidationRule", "[D] <> 4")});
    db = Database::open(path);
    EXPECT_EQ(refusal(*db, path, "UPDATE [N] SET [D] = [D] + 0.5"), ErrorCode::TableRuleBroken);
    EXPECT_EQ(sql::FixedFieldPatch::rowsPatched(), before);

    // A field with no rule of its own, in a table without one, takes the fast way again.
    setProperties(*db, "N", "", {});
    db = Database::open(path);
    EXPECT_EQ(run(*db, "UPDATE [N] SET [D] = [D] + 0.5"), 8u);
    EXPECT_GT(sql::FixedFieldPatch::rowsPatched(), before);
    expectNoFaults(path);
}

TEST(FixedFieldPatch, CalculatedFieldsAndRelationshipsSeeTheNewValues) {
    TempDir dir;
    const std::uint64_t before = sql::FixedFieldPatch::rowsPatched();
    // [Salary] feeds [MonthlySalary] = [Salary]/12, [WeeklySalary] and more.
    {
        const std::string path = dir.copyOf("ace/calcFieldTestV2010.accdb");
        auto db = Database::open(path);
        const auto table = db->table("Table1");
        const std::size_t salary = table->findColumn("Salary")->order;
        const std::size_t monthly = table->findColumn("MonthlySalary")->order;
        const auto rowsBefore = rowsOf(*db, "Table1");
        run(*db, "UPDATE [Table1] SET [Salary] = [Salary] * 12");
        const auto rowsAfter = rowsOf(*db, "Table1");
        ASSERT_EQ(rowsAfter.size(), rowsBefore.size());
        std::size_t recomputed = 0;
        for (std::size_t r = 0; r < rowsAfter.size(); ++r) {
            if (rowsAfter[r][salary] == rowsBefore[r][salary]) continue;  // Null or zero
            EXPECT_NE(rowsAfter[r][monthly], rowsBefore[r][monthly]) << "row " << r;
            ++recomputed;
        }
        EXPECT_GT(recomputed, 0u);
        expectNoFaults(path);
    }
    // Table1.otherfk1 must find its record in Table2.
    {
        const std::string path = dir.copyOf("jet4/indexTestV2000.mdb");
        auto db = Database::open(path);
        EXPECT_EQ(refusal(*db, path, "UPDATE [Table1] SET [otherfk1] = [otherfk1] + 100"),
                  ErrorCode::RelatedRecordRequired);
    }
    EXPECT_EQ(sql::FixedFieldPatch::rowsPatched(), before);
}
