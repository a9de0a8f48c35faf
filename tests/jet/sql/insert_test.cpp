// INSERT INTO on copies of real files: AutoNumbers, defaults and calculated fields filled in as
// Access fills them, keys and relationships checked on the rows added, a table grown many times
// over through INSERT ... SELECT, and refusals that leave the file as it was.
#include <gtest/gtest.h>

#include "jet/base/error.h"
#include "jet/database.h"
#include "support/fixtures.h"
#include "support/statements.h"

using namespace jet;
using namespace testsupport;

namespace {

const Value& field(const Database& db, const std::vector<Value>& row, const char* table,
                   const char* name) {
    return row.at(db.table(table)->findColumn(name)->order);
}

}  // namespace

TEST(Insert, AutoNumbersDefaultsAndCalculatedFields) {
    testsupport::TempDir dir;
    const std::string path = dir.copyOf("ace/calcFieldTestV2010.accdb");  // last AutoNumber 4
    auto db = Database::open(path);
    EXPECT_EQ(run(*db,
                  "INSERT INTO [Table1] ([FirstName], [LastName], [Salary], [Popularity]) "
                  "VALUES ('Ada', 'Lovelace', 5200, 12.5)"),
              1u);
    EXPECT_EQ(run(*db,
                  "INSERT INTO [Table1] ([ID], [FirstName], [Salary], [Popularity]) "
                  "VALUES (100, 'Charles', 10, 1)"),
              1u);
    EXPECT_EQ(run(*db,
                  "INSERT INTO [Table1] ([FirstName], [Salary], [Popularity]) "
                  "VALUES ('Mary', 10, 1)"),
              1u);
    const auto rows = rowsOf(*db, "Table1");
    ASSERT_GE(rows.size(), 3u);
    const auto& ada = rows[rows.size() - 3];
    EXPECT_EQ(field(*db, ada, "Table1", "ID"), Value(std::int32_t{5}));
    EXPECT_EQ(field(*db, ada, "Table1", "LastFirst"), Value(std::string("Lovelace, Ada")));
    EXPECT_EQ(field(*db, ada, "Table1", "LastFirstLen"), Value(std::int32_t{13}));
    EXPECT_EQ(field(*db, ada, "Table1", "MonthlySalary"), Value(Currency{4333333}));
    // A number given for the AutoNumber moves the counter past it.
    EXPECT_EQ(field(*db, rows.back(), "Table1", "ID"), Value(std::int32_t{101}));
    EXPECT_EQ(db->table("Table1")->nextAutoNumber, 101u);
    expectNoFaults(path);
}

TEST(Insert, KeysAndRelationshipsAreCheckedOnTheNewRows) {
    testsupport::TempDir dir;
    const std::string path = dir.copyOf("jet4/indexTestV2000.mdb");
    auto db = Database::open(path);
    const auto original = bytesOf(path);
    EXPECT_EQ(errorOf(*db, "INSERT INTO [Table1] ([id], [otherfk1]) VALUES (10, 7)").code(),
              ErrorCode::RelatedRecordRequired);
    EXPECT_EQ(errorOf(*db, "INSERT INTO [Table1] ([id]) VALUES (3)").code(),
              ErrorCode::DuplicateKey);
    // otherfk1 holds 0, 1, 1, 2: the new keys 10, 11, 11, 12 repeat one, and no row stays.
    EXPECT_EQ(
        errorOf(*db, "INSERT INTO [Table2] SELECT [otherfk1] + 10, [data] FROM [Table1]").code(),
        ErrorCode::DuplicateKey);
    EXPECT_EQ(bytesOf(path), original);

    EXPECT_EQ(run(*db,
                  "INSERT INTO [Table1] ([id], [otherfk1], [otherfk2], [data]) "
                  "VALUES (10, 2, 13, 'new')"),
              1u);
    const auto rows = rowsOf(*db, "Table1");
    // otherfk3's default value (0) fills the field the statement leaves out.
    EXPECT_EQ(field(*db, rows.back(), "Table1", "otherfk3"), Value(std::int32_t{0}));
    // From the table itself: the rows it reads are those from before the statement.
    EXPECT_EQ(run(*db, "INSERT INTO [Table2] SELECT [id] + 100, [data] FROM [Table2]"), 3u);
    EXPECT_EQ(rowsOf(*db, "Table2").size(), 6u);
    expectNoFaults(path);
}

// 512 rows doubled four times: new data pages, and leaf and intermediate splits in the index.
TEST(Insert, ATableGrowsManyTimesOver) {
    testsupport::TempDir dir;
    const std::string path = dir.copyOf("jet4/compIndexTestV2000.mdb");
    auto db = Database::open(path);
    for (int i = 0; i < 4; ++i) {
        const std::string offset = std::to_string(100000 * (i + 1));
        EXPECT_EQ(run(*db, "INSERT INTO [Table1] SELECT [CD_AGENTE] + " + offset +
                               ", [RS_AGENTE], [DC_AGENTE] FROM [Table1]"),
                  512u << i);
    }
    EXPECT_EQ(rowsOf(*db, "Table1").size(), 8192u);
    EXPECT_EQ(db->table("Table1")->rowCount, 8192u);
    expectNoFaults(path);
}

TEST(Insert, RefusalsLeaveTheFileAsItWas) {
    testsupport::TempDir dir;
    for (const auto& [fixture, sql, code] :
         std::vector<std::tuple<const char*, std::string, ErrorCode>>{
             {"ace/complexDataTestV2010.accdb", "INSERT INTO [Table1] ([id]) VALUES (9)",
              ErrorCode::Unsupported},
             // 255 hyphens: a key of over 1,000 bytes.
             {"jet4/bigIndexTestV2000.mdb",
              "INSERT INTO [Table1] ([col1]) VALUES ('" + std::string(255, '-') + "')",
              ErrorCode::Unsupported},
             {"jet4/compIndexTestV2000.mdb",
              "INSERT INTO [Table1] ([CD_AGENTE], [RS_AGENTE]) VALUES (1)", ErrorCode::SyntaxError},
             {"jet4/compIndexTestV2000.mdb", "INSERT INTO [Table1] ([CD_AGENTE]) VALUES (1E20)",
              ErrorCode::Overflow},
             {"jet4/compIndexTestV2000.mdb", "INSERT INTO [Table1] ([Nope]) VALUES (1)",
              ErrorCode::FieldNotFound},
             {"ace/calcFieldTestV2010.accdb", "INSERT INTO [Table1] ([LastFirst]) VALUES ('x')",
              ErrorCode::NotUpdatable},
         }) {
        SCOPED_TRACE(sql);
        const std::string path = dir.copyOf(fixture);
        auto db = Database::open(path);
        const auto original = bytesOf(path);
        EXPECT_EQ(errorOf(*db, sql).code(), code);
        EXPECT_EQ(bytesOf(path), original);
    }
}
