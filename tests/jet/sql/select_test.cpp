// SELECT with expressions, WHERE, ORDER BY and aggregates, against real Access files.
#include "jet/sql/select.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "jet/base/error.h"
#include "jet/database.h"
#include "jet/sql/execute.h"
#include "jet/values/decimal_math.h"
#include "support/fixtures.h"

namespace jet::sql {
namespace {

using Rows = std::vector<std::vector<Value>>;

std::unique_ptr<Database> openFixture(const std::string& relative) {
    return Database::open(testsupport::fixture(relative));
}

Rows allRows(ResultSet& rs) {
    Rows rows;
    while (rs.next()) rows.push_back(rs.row());
    return rows;
}

Rows query(const Database& db, std::string_view sql) { return allRows(*sql::query(db, sql)); }

// The first column of every row.
std::vector<Value> firstColumn(const Rows& rows) {
    std::vector<Value> values;
    for (const auto& r : rows) values.push_back(r.at(0));
    return values;
}

std::vector<Value> texts(std::initializer_list<const char*> list) {
    std::vector<Value> values;
    for (const char* s : list) values.push_back(s ? Value{std::string(s)} : Value{Null{}});
    return values;
}

// The error the statement raises, on execute or while its rows are read.
Error queryError(const Database& db, std::string_view sql) {
    try {
        query(db, sql);
    } catch (const Error& e) {
        return e;
    }
    ADD_FAILURE() << "ran: " << sql;
    return Error(ErrorCode::Io, "");
}

// test2000 Table1 holds ("abcdefg", ..., C 2, E 333333333, F 444.555, H 3.5, I True) and
// ("a", ..., all zero, False).
class SelectTable1 : public ::testing::Test {
protected:
    std::unique_ptr<Database> db_ = openFixture("jet4/test2000.mdb");
};

TEST_F(SelectTable1, ExpressionsWithAliasesNamesAndTypes) {
    auto rs = sql::query(*db_,
                         "SELECT [A], [E] * 2 AS Twice, [H] * 1.5, [A] & '!', [H] * 2, [G] + 1, "
                         "[C] > 1 FROM [Table1] ORDER BY [A]");
    const std::vector<std::pair<std::string, ColumnType>> expected{
        {"A", ColumnType::Text},
        {"Twice", ColumnType::Long},
        {"Expr1000", ColumnType::Double},
        {"Expr1001", ColumnType::Text},
        {"Expr1002", ColumnType::Currency},
        {"Expr1003", ColumnType::DateTime},
        {"Expr1004", ColumnType::YesNo}};
    ASSERT_EQ(rs->columns().size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(rs->columns()[i].name, expected[i].first);
        EXPECT_EQ(rs->columns()[i].type, expected[i].second) << expected[i].first;
    }
    const Rows rows = allRows(*rs);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1],
              (std::vector<Value>{std::string("abcdefg"), 666666666, 5.25, std::string("abcdefg!"),
                                  Currency{70000}, DateTime{27294}, true}));
    EXPECT_EQ(rows[0][1], Value{0});
}

TEST_F(SelectTable1, WhereKeepsOnlyTrueRows) {
    EXPECT_EQ(firstColumn(query(*db_, "SELECT [A] FROM [Table1] WHERE [I]")), texts({"abcdefg"}));
    EXPECT_EQ(firstColumn(query(*db_,
                                "SELECT [A] FROM [Table1] WHERE [A] Like 'A%' AND "
                                "[C] Between 1 And 5")),
              texts({"abcdefg"}));
    EXPECT_EQ(firstColumn(query(*db_, "SELECT [A] FROM [Table1] WHERE [G] < #1/1/1980#")),
              texts({"abcdefg"}));
    EXPECT_TRUE(query(*db_, "SELECT * FROM [Table1] WHERE [A] = Null").empty());
    // SELECT * with WHERE still gives whole stored rows.
    const Rows star = query(*db_, "SELECT * FROM [Table1] WHERE [C] = 0");
    ASSERT_EQ(star.size(), 1u);
    EXPECT_EQ(star[0].size(), 9u);
}

TEST_F(SelectTable1, FaultsArriveWithTheRowsAndNameTheExpression) {
    // The field test only opens the query: binding succeeds, reading the rows fails.
    auto rs = sql::query(*db_, "SELECT [A] FROM [Table1] WHERE [E] / [C] > 1");
    Error e(ErrorCode::Io, "");
    try {
        allRows(*rs);
        ADD_FAILURE() << "divided by zero without an error";
    } catch (const Error& err) {
        e = err;
    }
    EXPECT_EQ(e.code(), ErrorCode::DivisionByZero);
    EXPECT_STREQ(e.what(), "Division by zero in '[E] / [C]'.");

    e = queryError(*db_, "SELECT [A] FROM [Table1] WHERE [A]");
    EXPECT_EQ(e.code(), ErrorCode::TypeMismatch);
    EXPECT_NE(std::string(e.what()).find("'[A]'"), std::string::npos);
    EXPECT_EQ(queryError(*db_, "SELECT [Nope] + 1 FROM [Table1]").code(), ErrorCode::FieldNotFound);
    EXPECT_EQ(queryError(*db_, "SELECT [A] FROM [Table1] WHERE [Nope] = 1").code(),
              ErrorCode::FieldNotFound);
    EXPECT_EQ(queryError(*db_, "SELECT [A] FROM [Table1] ORDER BY [Nope]").code(),
              ErrorCode::FieldNotFound);
}

TEST_F(SelectTable1, AggregatesOfEveryKindOfColumn) {
    auto rs = sql::query(*db_,
                         "SELECT Sum([H]), Avg([H]), Sum([I]), Sum([C]), Count([A]), Min([G]), "
                         "Max([F]) FROM [Table1]");
    const std::vector<ColumnType> types{
        ColumnType::Currency, ColumnType::Currency, ColumnType::Long,  ColumnType::Long,
        ColumnType::Long,     ColumnType::DateTime, ColumnType::Double};
    for (std::size_t i = 0; i < types.size(); ++i) EXPECT_EQ(rs->columns()[i].type, types[i]);
    const Rows rows = allRows(*rs);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0], (std::vector<Value>{Currency{35000}, Currency{17500}, -1, 2, 2,
                                           DateTime{27293}, 444.555}));
}

TEST_F(SelectTable1, AggregateQueriesRefuseFieldsOutsideAggregates) {
    Error e = queryError(*db_, "SELECT [A], Count(*) FROM [Table1]");
    EXPECT_EQ(e.code(), ErrorCode::SyntaxError);
    EXPECT_STREQ(e.what(),
                 "You tried to execute a query that does not include the expression "
                 "'[A]' as part of an aggregate function.");
    EXPECT_EQ(queryError(*db_, "SELECT *, Count(*) FROM [Table1]").code(), ErrorCode::SyntaxError);
    EXPECT_EQ(queryError(*db_, "SELECT Count(*) FROM [Table1] ORDER BY [A]").code(),
              ErrorCode::SyntaxError);
    EXPECT_EQ(queryError(*db_, "SELECT Sum(Count(*)) FROM [Table1]").code(),
              ErrorCode::SyntaxError);
    EXPECT_EQ(queryError(*db_, "SELECT [A] FROM [Table1] WHERE Count(*) > 1").code(),
              ErrorCode::SyntaxError);
    EXPECT_EQ(queryError(*db_, "SELECT Sum([A]) FROM [Table1]").code(), ErrorCode::TypeMismatch);
    EXPECT_EQ(queryError(*db_, "SELECT Max([Nope]) FROM [Table1]").code(),
              ErrorCode::FieldNotFound);
}

// 512 rows: CD_AGENTE is Null in two of them, DC_AGENTE "def" in all but two.
class SelectAggregates : public ::testing::Test {
protected:
    std::unique_ptr<Database> db_ = openFixture("jet4/compIndexTestV2000.mdb");
};

TEST_F(SelectAggregates, OneRowOverTheWholeTable) {
    auto rs = sql::query(*db_,
                         "SELECT Count(*), Count([CD_AGENTE]), Sum([CD_AGENTE]), Min([CD_AGENTE]), "
                         "Max([CD_AGENTE]), Avg([CD_AGENTE]) FROM [Table1]");
    EXPECT_EQ(rs->columns()[0].name, "Expr1000");
    EXPECT_EQ(rs->columns()[5].name, "Expr1005");
    EXPECT_EQ(rs->columns()[5].type, ColumnType::Double);
    const Rows rows = allRows(*rs);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0], (std::vector<Value>{512, 510, 1563456, 19, 4813, 3065.6}));
}

TEST_F(SelectAggregates, WhereFiltersAndExpressionsCombineAggregates) {
    EXPECT_EQ(query(*db_, "SELECT Count(*) AS n FROM [Table1] WHERE [DC_AGENTE] <> 'DEF'"),
              (Rows{{2}}));
    EXPECT_EQ(query(*db_,
                    "SELECT Max([CD_AGENTE]) - Min([CD_AGENTE]) AS spread, "
                    "Count(*) * 2 + 1 FROM [Table1]"),
              (Rows{{4794, 1025}}));
    // Min and Max of text ignore case; over no rows everything but Count is Null.
    EXPECT_EQ(query(*db_, "SELECT Min([DC_AGENTE]), Max([DC_AGENTE]) FROM [Table1]"),
              (Rows{{std::string("ddd"), std::string("efg")}}));
    EXPECT_EQ(query(*db_,
                    "SELECT Count(*), Sum([CD_AGENTE]), Max([RS_AGENTE]) FROM [Table1] "
                    "WHERE [CD_AGENTE] < 0"),
              (Rows{{0, Null{}, Null{}}}));
}

// TableIgnoreNulls2 rows in physical order: (row, data1, data2)
//   row0 stuff 13, row1 - 49, row2 more -, row4 some 0, row5 - -, row6 "lots of stuff" 9087,
//   row7 "another row" -3462, row8 - 0, row9 "still more rows" -12, row10 - -5453, row3 - -45
class SelectOrdered : public ::testing::Test {
protected:
    std::unique_ptr<Database> db_ = openFixture("jet4/testIndexPropertiesV2000.mdb");
};

TEST_F(SelectOrdered, NullsFirstAndEqualKeysKeepTheirOrder) {
    EXPECT_EQ(firstColumn(query(*db_, "SELECT [row] FROM [TableIgnoreNulls2] ORDER BY [data2]")),
              texts({"row2", "row5", "row10", "row7", "row3", "row9", "row4", "row8", "row0",
                     "row1", "row6"}));
    EXPECT_EQ(firstColumn(query(*db_,
                                "SELECT [row] FROM [TableIgnoreNulls2] "
                                "ORDER BY [data2] DESC")),
              texts({"row6", "row1", "row0", "row4", "row8", "row9", "row3", "row7", "row10",
                     "row2", "row5"}));
}

TEST_F(SelectOrdered, SeveralKeysAliasesPositionsAndExpressions) {
    const auto expected = texts(
        {"row1", "row8", "row3", "row10", "row5", "row7", "row6", "row2", "row4", "row9", "row0"});
    EXPECT_EQ(firstColumn(query(*db_,
                                "SELECT [row] FROM [TableIgnoreNulls2] "
                                "ORDER BY [data1], [data2] DESC")),
              expected);
    // -Null is Null and sorts first, so row5 leads its group here.
    EXPECT_EQ(firstColumn(query(*db_,
                                "SELECT [row], [data1] AS d, -[data2] AS n FROM "
                                "[TableIgnoreNulls2] ORDER BY d, n")),
              texts({"row5", "row1", "row8", "row3", "row10", "row7", "row6", "row2", "row4",
                     "row9", "row0"}));
    EXPECT_EQ(firstColumn(query(*db_,
                                "SELECT [row], [data1], [data2] FROM [TableIgnoreNulls2] "
                                "ORDER BY 2 ASC, 3 DESC")),
              expected);
    EXPECT_EQ(firstColumn(query(*db_,
                                "SELECT [row] FROM [TableIgnoreNulls2] WHERE [data2] > 0 "
                                "ORDER BY Len([data1]) DESC")),
              texts({"row6", "row0", "row1"}));
    EXPECT_EQ(queryError(*db_, "SELECT [row] FROM [TableIgnoreNulls2] ORDER BY 2").code(),
              ErrorCode::SyntaxError);
}

TEST(SelectDecimal, DecimalColumnsComputeExactly) {
    const auto db = openFixture("jet4/numeric2000.mdb");
    const Rows rows = query(*db, "SELECT [col2] / 3, [col5] * 0.1, [col6] - 0.5 FROM [test]");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], Value{*values::parseDecimal("0.3333333333333333333333333333")});
    EXPECT_EQ(rows[0][1], Value{*values::parseDecimal("0.4")});
    EXPECT_EQ(rows[0][2], Value{*values::parseDecimal("-1.5")});
}

}  // namespace
}  // namespace jet::sql
