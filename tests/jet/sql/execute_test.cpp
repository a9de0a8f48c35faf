#include "jet/sql/execute.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "jet/base/error.h"
#include "jet/database.h"
#include "support/fixtures.h"

namespace jet::sql {
namespace {

std::unique_ptr<Database> openFixture(const std::string& relative) {
    return Database::open(testsupport::fixture(relative));
}

std::vector<std::vector<Value>> allRows(ResultSet& rs) {
    std::vector<std::vector<Value>> rows;
    while (rs.next()) rows.push_back(rs.row());
    return rows;
}

std::vector<std::string> columnNames(const ResultSet& rs) {
    std::vector<std::string> names;
    for (const ResultColumn& c : rs.columns()) names.push_back(c.name);
    return names;
}

// The error execute raises; fails the test when the statement runs.
Error executeError(const Database& db, std::string_view sql) {
    try {
        query(db, sql);
    } catch (const Error& e) {
        return e;
    }
    ADD_FAILURE() << "ran: " << sql;
    return Error(ErrorCode::Io, "");
}

// Table1 of the "test" fixtures holds the same two rows in every format, in a different
// physical order from file to file.
class TestTable1 : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override { db_ = openFixture(GetParam()); }

    // Rows sorted by their first value, a Text, so that files compare alike.
    static std::vector<std::vector<Value>> sorted(std::vector<std::vector<Value>> rows) {
        std::sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
            return std::get<std::string>(a.at(0)) < std::get<std::string>(b.at(0));
        });
        return rows;
    }

    std::unique_ptr<Database> db_;
};

TEST_P(TestTable1, PreviewAndRefreshQueriesGiveEveryColumnAndRow) {
    for (const char* sql :
         {"SELECT * FROM [Table1];", "SELECT * FROM `Table1`;", "select * from table1"}) {
        auto rs = query(*db_, sql);
        ASSERT_NE(rs, nullptr) << sql;
        EXPECT_EQ(columnNames(*rs),
                  (std::vector<std::string>{"A", "B", "C", "D", "E", "F", "G", "H", "I"}));
        const std::vector<ColumnType> types{
            ColumnType::Text,     ColumnType::Text,     ColumnType::Byte,
            ColumnType::Integer,  ColumnType::Long,     ColumnType::Double,
            ColumnType::DateTime, ColumnType::Currency, ColumnType::YesNo};
        for (std::size_t i = 0; i < types.size(); ++i) {
            EXPECT_EQ(rs->columns()[i].type, types[i]) << rs->columns()[i].name;
        }
        const auto rows = sorted(allRows(*rs));
        ASSERT_EQ(rows.size(), 2u) << sql;
        EXPECT_EQ(rows[0], (std::vector<Value>{std::string("a"), std::string("b"), std::uint8_t{0},
                                               std::int16_t{0}, std::int32_t{0}, 0.0,
                                               DateTime{29932}, Currency{0}, false}));
        EXPECT_EQ(rows[1],
                  (std::vector<Value>{std::string("abcdefg"), std::string("hijklmnop"),
                                      std::uint8_t{2}, std::int16_t{222}, std::int32_t{333333333},
                                      444.555, DateTime{27293}, Currency{35000}, true}));
    }
}

TEST_P(TestTable1, ChosenColumnsComeInTheOrderAskedWithTheTablesSpelling) {
    auto rs = query(*db_, "SELECT [e], table1.a, [TABLE1].[E] AS [Again], `i` FROM [TABLE1]");
    EXPECT_EQ(columnNames(*rs), (std::vector<std::string>{"E", "A", "Again", "I"}));
    EXPECT_EQ(rs->columns()[0].type, ColumnType::Long);
    EXPECT_EQ(rs->columns()[3].type, ColumnType::YesNo);
    std::vector<std::vector<Value>> rows = allRows(*rs);
    std::sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
        return std::get<std::string>(a.at(1)) < std::get<std::string>(b.at(1));
    });
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1], (std::vector<Value>{std::int32_t{333333333}, std::string("abcdefg"),
                                           std::int32_t{333333333}, true}));
}

TEST_P(TestTable1, FieldTestQueryFailsAtOnceForAMissingFieldOrTable) {
    // The computed-field window asks whether "SELECT [N] FROM [T]" opens: it must fail before
    // any row is asked for, and say which field is missing where.
    Error e = executeError(*db_, "SELECT [Prcie] FROM [Table1]");
    EXPECT_EQ(e.code(), ErrorCode::FieldNotFound);
    EXPECT_STREQ(e.what(), "No field named 'Prcie' in table 'Table1'.");

    e = executeError(*db_, "SELECT [A] FROM [Orders]");
    EXPECT_EQ(e.code(), ErrorCode::TableNotFound);
    EXPECT_NE(std::string(e.what()).find("Orders"), std::string::npos);

    // A field of another table is no field of this one.
    e = executeError(*db_, "SELECT [Table3].[a] FROM [Table1]");
    EXPECT_EQ(e.code(), ErrorCode::FieldNotFound);
    EXPECT_NE(std::string(e.what()).find("not in the FROM clause"), std::string::npos);
    EXPECT_EQ(executeError(*db_, "SELECT [Nowhere].* FROM [Table1]").code(),
              ErrorCode::FieldNotFound);

    EXPECT_EQ(executeError(*db_, "SELECT [A FROM [Table1]").code(), ErrorCode::SyntaxError);
}

TEST_P(TestTable1, AReadingConnectionRefusesChanges) {
    const Error e = executeError(*db_, "UPDATE [Table1] SET [E] = [E] + 5");
    EXPECT_EQ(e.code(), ErrorCode::ReadOnly);
    EXPECT_EQ(executeError(*db_, "ALTER TABLE [Table1] ADD COLUMN [Total] INT").code(),
              ErrorCode::ReadOnly);
}

INSTANTIATE_TEST_SUITE_P(Formats, TestTable1,
                         ::testing::Values("jet3/test97.mdb", "jet4/test2000.mdb",
                                           "ace/test2007.accdb", "ace/test2010.accdb"));

TEST(ExecuteSelect, EmptyTableHasColumnsButNoRows) {
    const auto db = openFixture("jet4/test2000.mdb");
    auto rs = query(*db, "SELECT * FROM [Table3];");
    EXPECT_EQ(columnNames(*rs), (std::vector<std::string>{"a", "b"}));
    EXPECT_FALSE(rs->next());
}

TEST(ExecuteSelect, NamesWithPunctuationInsideBrackets) {
    const auto db = openFixture("ace/complexDataTestV2010.accdb");
    auto rs = query(*db, "SELECT [memo-data], [id] FROM [Table1]");
    EXPECT_EQ(columnNames(*rs), (std::vector<std::string>{"memo-data", "id"}));
    auto rows = allRows(*rs);
    std::sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
        return std::get<std::string>(a.at(1)) < std::get<std::string>(b.at(1));
    });
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0], (std::vector<Value>{Null{}, std::string("row1")}));
    EXPECT_EQ(rows[2], (std::vector<Value>{std::string("row3-memo"), std::string("row3")}));
}

TEST(ExecuteSelect, StarFollowsTheTableOrderAfterADeletedColumn) {
    const auto db = openFixture("jet4/delColTestV2000.mdb");
    auto rs = query(*db, "SELECT * FROM [Table1]");
    EXPECT_EQ(columnNames(*rs), (std::vector<std::string>{"id", "id2", "data", "data2"}));
    const auto rows = allRows(*rs);
    ASSERT_FALSE(rows.empty());
    for (const auto& row : rows) EXPECT_EQ(row.size(), 4u);
    auto picked = query(*db, "SELECT [data2], [id] FROM [Table1]");
    ASSERT_TRUE(picked->next());
    EXPECT_EQ(picked->row(), (std::vector<Value>{rows[0][3], rows[0][0]}));
}

}  // namespace
}  // namespace jet::sql
