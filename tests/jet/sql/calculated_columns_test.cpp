// Calculated columns recomputed by UPDATE: on a copy of Access's own file, the results of the
// expressions it stores (worked out by hand), and on made-up tables the order of computing and
// the expressions that cannot be computed.
#include "jet/sql/calculated_columns.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "jet/base/names.h"
#include "jet/check/check.h"
#include "jet/sql/execute.h"
#include "jet/store/field_encoder.h"
#include "support/fixtures.h"

using namespace jet;

namespace {

std::vector<std::uint8_t> bytesOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// calcFieldTestV2010's Table1, by ID (1 to 4), as column name -> value.
class Employees {
public:
    explicit Employees(const Database& db) : table_(db.table("Table1")) {
        auto cursor = db.scan(table_);
        while (cursor.next()) rows_.push_back(cursor.row());
    }
    const Value& at(int id, const char* column) const {
        return rows_.at(static_cast<std::size_t>(id - 1)).at(table_->findColumn(column)->order);
    }
    std::string text(int id, const char* column) const {
        const Value& v = at(id, column);
        if (const auto* c = std::get_if<Currency>(&v)) return formatCurrency(*c);
        if (const auto* d = std::get_if<Decimal>(&v)) return formatDecimal(*d);
        return std::get<std::string>(v);
    }

private:
    std::shared_ptr<const TableDef> table_;
    std::vector<std::vector<Value>> rows_;
};

class CalculatedUpdateTest : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = dir_.copyOf("ace/calcFieldTestV2010.accdb");
        db_ = Database::open(path_);
    }
    void run(const std::string& sql) { sql::execute(*db_, sql); }
    void expectNoFaults() {
        db_.reset();
        for (const auto& f : check::checkDatabase(path_)) {
            if (f.severity == check::Severity::Fault) ADD_FAILURE() << f.description;
        }
        db_ = Database::open(path_);
    }
    testsupport::TempDir dir_;
    std::string path_;
    std::unique_ptr<Database> db_;
};

}  // namespace

TEST_F(CalculatedUpdateTest, ChangedFieldsRecomputeWhatTheyFeed) {
    // [LastName] & ", " & [FirstName], then Len([LastFirst]) and
    // [LastName] & ", " & [FirstName] & "=" & [LastFirst] from it.
    run("UPDATE [Table1] SET [LastName] = 'Kent' WHERE [ID] = 1");
    // [Salary]/12, [Salary]>100000, [Salary]/52, [Salary]; 5200 * 0.13 / 102030405060.654321.
    run("UPDATE [Table1] SET [Salary] = [Salary] * 52 WHERE [ID] = 4");
    // [Popularity], and through it [Salary]*0.13/[DecimalTest] and
    // ([Salary]*[MonthlySalary]/[DecimalTest])*34.12342134.
    run("UPDATE [Table1] SET [Popularity] = 2 WHERE [ID] = 1");
    // Null feeds Null results, and False where the result is Yes/No.
    run("UPDATE [Table1] SET [Salary] = Null WHERE [ID] = 2");
    expectNoFaults();

    const Employees rows(*db_);
    EXPECT_EQ(rows.text(1, "LastFirst"), "Kent, Bruce");
    EXPECT_EQ(std::get<std::int32_t>(rows.at(1, "LastFirstLen")), 11);
    EXPECT_EQ(rows.text(1, "AllNames"), "Kent, Bruce=Kent, Bruce");
    EXPECT_EQ(rows.text(4, "MonthlySalary"), "433.3333");
    EXPECT_EQ(std::get<bool>(rows.at(4, "IsRich")), false);
    EXPECT_EQ(rows.text(4, "WeeklySalary"), "100");
    EXPECT_EQ(rows.text(4, "SalaryTest"), "5200.0000");
    EXPECT_FLOAT_EQ(std::get<float>(rows.at(4, "FloatTest")), 676.0 / 102030405060.654321);
    // 5200 * 433.3333 / 102030405060.654321 to Decimal's 28 places, times 34.12342134, again
    // to 28 places.
    EXPECT_EQ(rows.text(4, "BigNumTest"), "0.0007536129724503568446996927");
    EXPECT_EQ(rows.text(1, "DecimalTest"), "2");
    EXPECT_EQ(std::get<float>(rows.at(1, "FloatTest")), 65000.0f);
    // 1000000 * 83333.3333 / 2 * 34.12342134, exactly.
    EXPECT_EQ(rows.text(1, "BigNumTest"), "1421809221931.276311");
    for (const char* column :
         {"MonthlySalary", "WeeklySalary", "SalaryTest", "FloatTest", "BigNumTest"}) {
        EXPECT_TRUE(isNull(rows.at(2, column))) << column;
    }
    EXPECT_EQ(std::get<bool>(rows.at(2, "IsRich")), false);
    // What no change reached keeps Access's results.
    EXPECT_EQ(rows.text(3, "LastFirst"), "Doe, John");
    EXPECT_EQ(rows.text(3, "WeeklySalary"), "0");
    EXPECT_EQ(rows.text(2, "DecimalTest"), "-36.2222");
    EXPECT_EQ(std::get<bool>(rows.at(3, "BoolTest")), true);
}

TEST_F(CalculatedUpdateTest, AResultThatCannotBeComputedLeavesTheFileByteForByte) {
    const auto original = bytesOf(path_);
    const auto failure = [&](const std::string& sql, ErrorCode code, const std::string& field) {
        try {
            run(sql);
            ADD_FAILURE() << "ran: " << sql;
        } catch (const Error& e) {
            EXPECT_EQ(e.code(), code) << e.what();
            EXPECT_NE(
                std::string(e.what()).find("calculated field '" + field + "' of table 'Table1'"),
                std::string::npos)
                << e.what();
        }
        EXPECT_EQ(bytesOf(path_), original) << sql;
    };
    // Rows 1 to 3 are rewritten before row 4 divides by zero: [Salary]*0.13/[DecimalTest].
    failure("UPDATE [Table1] SET [Popularity] = [ID] - 4", ErrorCode::DivisionByZero, "FloatTest");
    // [Salary]*[MonthlySalary] is beyond Currency.
    failure("UPDATE [Table1] SET [Salary] = 900000000000000", ErrorCode::Overflow, "BigNumTest");
    // A Text result holds 243 characters: its size counts the 23 bytes around it.
    failure("UPDATE [Table1] SET [FirstName] = '" + std::string(239, 'a') + "' WHERE [ID] = 3",
            ErrorCode::ValueTooLong, "LastFirst");
    run("UPDATE [Table1] SET [FirstName] = '" + std::string(238, 'a') + "' WHERE [ID] = 3");
    EXPECT_EQ(Employees(*db_).text(3, "LastFirst"), "Doe, " + std::string(238, 'a'));
}

namespace {

// A made-up table: Long fields, some of them calculated from the expressions given.
struct MadeUpTable {
    TableDef table;
    store::PropertyMaps properties;

    MadeUpTable& add(const std::string& name, const std::string& expression = {}) {
        ColumnDef c;
        c.name = name;
        c.order = c.number = static_cast<std::uint16_t>(table.columns.size());
        c.calculated = !expression.empty();
        table.columns.push_back(c);
        if (c.calculated) {
            properties[foldName(name)]["Expression"].data =
                store::encodeUnicodeText(expression, false);
        }
        return *this;
    }
    std::vector<Value> recompute(std::vector<Value> values, std::size_t assigned) const {
        store::ChangedColumns changed(values.size());
        changed.mark(assigned);
        sql::CalculatedColumns(table, properties, Version::Ace14, {assigned})
            .recompute(values, changed);
        return values;
    }
    ErrorCode refusal(std::size_t assigned) const {
        try {
            sql::CalculatedColumns(table, properties, Version::Ace14, {assigned});
        } catch (const Error& e) {
            return e.code();
        }
        return ErrorCode::Io;
    }
};

}  // namespace

TEST(CalculatedColumns, EachFollowsTheCalculatedFieldsItReads) {
    MadeUpTable t;
    t.table.name = "T";
    // Double is listed before Next, which it reads.
    t.add("A").add("Double", "[Next] * 2").add("Next", "[A] + 1").add("Other", "[B] + 1").add("B");
    const auto values = t.recompute(
        {std::int32_t{5}, std::int32_t{0}, std::int32_t{0}, std::int32_t{7}, std::int32_t{1}}, 0);
    EXPECT_EQ(values[2], Value{std::int32_t{6}});
    EXPECT_EQ(values[1], Value{std::int32_t{12}});
    EXPECT_EQ(values[3], Value{std::int32_t{7}});  // reads nothing that changed
}

TEST(CalculatedColumns, ExpressionsThatCannotBeComputedAreRefusedOnlyWhereTheyMatter) {
    MadeUpTable t;
    t.table.name = "T";
    t.add("A")
        .add("B")
        .add("Unknown", "Frobnicate([A])")
        .add("Broken", "[A] +")
        .add("Loop1", "[Loop2] + [B]")
        .add("Loop2", "[Loop1] + 1")
        .add("C");
    EXPECT_EQ(t.refusal(0), ErrorCode::SyntaxError);  // an unknown function; a syntax error
    EXPECT_EQ(t.refusal(1), ErrorCode::Unsupported);  // the fields read each other
    EXPECT_EQ(t.refusal(6), ErrorCode::Io);           // nothing reads C

    MadeUpTable missing;
    missing.table.name = "T";
    missing.add("A").add("Calc", "[A]");
    missing.properties.clear();  // the catalog lost its expression
    EXPECT_EQ(missing.refusal(0), ErrorCode::Unsupported);
}
