// An AutoNumber field added to a table that has records: every record gets its number, 1, 2, 3 ...
// in the order a scan meets them, rows too full for it move to other pages, and the next new
// record continues the count. Read back by mdb-reader and mdbtools; what is refused leaves the
// file as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "jet/base/error.h"
#include "jet/database.h"
#include "support/fixtures.h"
#include "support/mdb_reader.h"
#include "support/statements.h"

using namespace jet;
using namespace testsupport;

namespace {

struct Case {
    const char* fixture;
    const char* table;
    const char* insert;  // a new record, given without the AutoNumber
    const char* password = "";
};

class AddCounter : public ::testing::TestWithParam<Case> {};

// The values of `column` in every row, in scan order.
std::vector<Value> columnOf(const Database& db, const std::string& table, std::size_t column) {
    std::vector<Value> values;
    for (const auto& row : rowsOf(db, table)) values.push_back(row[column]);
    return values;
}

std::vector<std::string> sorted(std::vector<std::string> lines) {
    std::sort(lines.begin(), lines.end());
    return lines;
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return lines;
}

// A reader's lines of the rows before the field came, in row order, each with its number added
// last (`separator` before it, in place of the `close` that ends the line), sorted.
std::vector<std::string> numbered(const std::vector<std::string>& lines,
                                  const std::string& separator, const std::string& close) {
    std::vector<std::string> result;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        result.push_back(lines[i].substr(0, lines[i].size() - close.size()) + separator +
                         std::to_string(i + 1) + close);
    }
    return sorted(std::move(result));
}

std::vector<Value> oneTo(std::int32_t n) {
    std::vector<Value> values;
    for (std::int32_t i = 1; i <= n; ++i) values.emplace_back(i);
    return values;
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(
    Files, AddCounter,
    ::testing::Values(
        // 512 records with two indexes: most rows are too full to grow where they stand.
        Case{"jet4/compIndexTestV2000.mdb", "Table1",
             "INSERT INTO [Table1] ([CD_AGENTE], [RS_AGENTE]) VALUES (99999, 'new')"},
        Case{"ace/compIndexTestV2010.accdb", "Table1",
             "INSERT INTO [Table1] ([CD_AGENTE], [RS_AGENTE]) VALUES (99999, 'new')"},
        Case{"../fixtures-extra/jet3/compIndexTestV1997.mdb", "Table1",
             "INSERT INTO [Table1] ([CD_AGENTE], [RS_AGENTE]) VALUES (99999, 'new')"},
        Case{"jet3/test97.mdb", "Table1", "INSERT INTO [Table1] ([A], [I]) VALUES ('new', True)"},
        // Its table numbers its records already: one is made with CREATE TABLE.
        Case{"encrypted/agile2010.accdb", "Plain", "INSERT INTO [Plain] ([Name]) VALUES ('new')",
             "password"}));

TEST_P(AddCounter, NumbersEveryRecordAndTheNextOneContinues) {
    const Case& c = GetParam();
    if (!std::filesystem::exists(fixture(c.fixture))) GTEST_SKIP() << c.fixture << " is absent";
    TempDir dir;
    const std::string path = dir.copyOf(c.fixture);
    const bool mdbtools = std::string(c.password).empty();
    auto db = Database::open(path, {.password = c.password});
    if (std::string(c.table) == "Plain") {
        run(*db, "CREATE TABLE [Plain] ([Name] TEXT(200))");
        for (int i = 0; i < 60; ++i) {
            run(*db, "INSERT INTO [Plain] ([Name]) VALUES ('" + std::to_string(i) +
                         std::string(150, 'x') + "')");
        }
    }
    const auto original = rowsOf(*db, c.table);
    const auto n = static_cast<std::int32_t>(original.size());
    ASSERT_GT(n, 1);
    const std::string T = std::string("[") + c.table + "]";
    // The readers' lines before, in the order of the rows (none has moved yet), each to gain
    // its number: mdb-reader's JSON arrays, mdb-export's lines.
    const std::string exportCommand = "mdb-export -H -d '|' '" + path + "' " + c.table;
    db.reset();
    const std::vector<std::string> readBefore = readWithMdbReader(path, c.table, c.password).rows;
    const std::string exportedBefore = mdbtools ? commandOutput(exportCommand) : "";
    db = Database::open(path, {.password = c.password});

    run(*db, "ALTER TABLE " + T + " ADD COLUMN [Seq] COUNTER");
    const auto table = db->table(c.table);
    const ColumnDef& seq = table->columns.back();
    EXPECT_EQ(seq.name, "Seq");
    EXPECT_TRUE(seq.autoNumber);
    EXPECT_EQ(seq.type, ColumnType::Long);
    EXPECT_EQ(table->nextAutoNumber, static_cast<std::uint32_t>(n));
    const auto rows = rowsOf(*db, c.table);
    ASSERT_EQ(rows.size(), original.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(std::vector<Value>(rows[i].begin(), rows[i].end() - 1), original[i]) << i;
    }
    EXPECT_EQ(columnOf(*db, c.table, seq.order), oneTo(n));
    expectNoFaults(path, c.password);

    // The readers list a row that moved where its bytes went, so their lines are compared
    // sorted: each row with its own number.
    db.reset();
    EXPECT_EQ(sorted(readWithMdbReader(path, c.table, c.password).rows),
              numbered(readBefore, ",", "]"));
    if (mdbtools) {
        EXPECT_EQ(sorted(linesOf(commandOutput(exportCommand))),
                  numbered(linesOf(exportedBefore), "|", ""));
        EXPECT_NE(commandOutput("mdb-schema -T " + std::string(c.table) + " '" + path +
                                "' postgres 2>/dev/null")
                      .find("\"seq\"\t\t\tSERIAL"),
                  std::string::npos);
    }
    db = Database::open(path, {.password = c.password});

    // The next record takes the next number, and the field, like Access's, takes no updates.
    EXPECT_EQ(run(*db, c.insert), 1u);
    EXPECT_EQ(columnOf(*db, c.table, seq.order), oneTo(n + 1));
    EXPECT_EQ(errorOf(*db, "UPDATE " + T + " SET [Seq] = 5").code(), ErrorCode::NotUpdatable);
    // A record that moved to another page is deleted whole.
    EXPECT_EQ(run(*db, "DELETE FROM " + T + " WHERE [Seq] = 2"), 1u);
    expectNoFaults(path, c.password);
}

// No records, one record: the count starts where it should, and the spellings Access takes.
TEST(AddCounterTo, EmptyAndOneRecordTables) {
    for (const char* fixture : {"jet4/empty2000.mdb", "ace/empty2010.accdb", "jet3/test97.mdb"}) {
        SCOPED_TRACE(fixture);
        TempDir dir;
        const std::string path = dir.copyOf(fixture);
        auto db = Database::open(path);
        run(*db, "CREATE TABLE [None] ([Name] TEXT(10))");
        run(*db, "CREATE TABLE [One] ([Name] TEXT(10), [Yes] BIT)");
        run(*db, "INSERT INTO [One] ([Name], [Yes]) VALUES ('only', True)");
        run(*db, "ALTER TABLE [None] ADD COLUMN [Id] AUTOINCREMENT");
        run(*db, "ALTER TABLE [One] ADD [Id] counter NOT NULL");
        EXPECT_EQ(rowsOf(*db, "One"),
                  (std::vector<std::vector<Value>>{{std::string("only"), true, std::int32_t{1}}}));
        run(*db, "INSERT INTO [None] ([Name]) VALUES ('a')");
        run(*db, "INSERT INTO [One] ([Name], [Yes]) VALUES ('b', False)");
        EXPECT_EQ(columnOf(*db, "None", 1), oneTo(1));
        EXPECT_EQ(columnOf(*db, "One", 2), oneTo(2));
        expectNoFaults(path);
    }
}

TEST(AddCounterTo, RefusalsLeaveTheFileAsItWas) {
    TempDir dir;
    const std::string path = dir.copyOf("jet4/indexTestV2000.mdb");
    auto db = Database::open(path);
    run(*db, "ALTER TABLE [Table1] ADD COLUMN [Seq] COUNTER");
    const auto before = bytesOf(path);
    const std::vector<std::pair<std::string, ErrorCode>> refused = {
        {"ALTER TABLE [Table1] ADD COLUMN [Other] AUTOINCREMENT", ErrorCode::Unsupported},
        {"ALTER TABLE [Table2] ADD COLUMN [x] COUNTER(10, 5)", ErrorCode::SyntaxError},
        {"ALTER TABLE [Table2] ADD COLUMN [x] COUNTER DEFAULT 5", ErrorCode::SyntaxError},
        {"ALTER TABLE [Table2] ADD COLUMN [id] COUNTER", ErrorCode::DuplicateField},
    };
    for (const auto& [sql, code] : refused) {
        const Error e = errorOf(*db, sql);
        EXPECT_EQ(e.code(), code) << sql << ": " << e.what();
        EXPECT_EQ(bytesOf(path), before) << sql;
    }
    EXPECT_STREQ(errorOf(*db, "ALTER TABLE [Table1] ADD COLUMN [Other] COUNTER").what(),
                 "Cannot add the AutoNumber field 'Other' to table 'Table1': it has one already "
                 "('Seq'), and a table can have only one.");
    // Dropped, the field gives its place back to another.
    run(*db, "ALTER TABLE [Table1] DROP [Seq]");
    run(*db, "ALTER TABLE [Table1] ADD COLUMN [Again] COUNTER");
    EXPECT_EQ(columnOf(*db, "Table1", db->table("Table1")->findColumn("Again")->order),
              oneTo(static_cast<std::int32_t>(db->table("Table1")->rowCount)));
    expectNoFaults(path);
}

// A record as long as Access 97's 2 KB page allows has no room for four bytes more.
TEST(AddCounterTo, ARecordWithoutRoomForTheNumber) {
    TempDir dir;
    const std::string path = dir.copyOf("jet3/test97.mdb");
    auto db = Database::open(path);
    std::string fields, values;
    for (const char* f : {"A", "B", "C", "D", "E", "F", "G", "H"}) {
        fields += std::string(fields.empty() ? "" : ", ") + "[" + f + "] TEXT(255)";
        values += std::string(values.empty() ? "'" : ", '") +
                  std::string(*f == 'H' ? 230 : 255, *f) + "'";
    }
    run(*db, "CREATE TABLE [Full] (" + fields + ")");
    run(*db, "INSERT INTO [Full] VALUES ('a', 'b', 'c', 'd', 'e', 'f', 'g', 'h')");
    run(*db, "INSERT INTO [Full] VALUES (" + values + ")");
    const auto before = bytesOf(path);
    const Error e = errorOf(*db, "ALTER TABLE [Full] ADD COLUMN [N] COUNTER");
    EXPECT_EQ(e.code(), ErrorCode::ValueTooLong);
    EXPECT_EQ(std::string(e.what()).rfind("Cannot add the AutoNumber field 'N' to table 'Full': "
                                          "record 2 has no room for it. Record is too large",
                                          0),
              0u)
        << e.what();
    EXPECT_EQ(bytesOf(path), before);
    EXPECT_EQ(db->table("Full")->columns.size(), 8u);
}
