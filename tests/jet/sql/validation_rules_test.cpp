// Validation rules and zero-length strings on the statements that write records: UPDATE, INSERT
// and CSV import, on files whose tables carry Access's validation properties (written through
// the engine's property-map writer where no fixture has them). A record that breaks a rule fails
// its whole statement and leaves the file byte for byte as it was; a rule the engine cannot
// evaluate refuses, naming it, and never lets a record through unchecked.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "jet/base/error.h"
#include "jet/database.h"
#include "jet/sql/csv_import.h"
#include "jet/values/like.h"
#include "jet/values/value_rules.h"
#include "support/fixtures.h"
#include "support/made_database.h"
#include "support/statements.h"
#include "support/table_properties.h"

using namespace jet;
using namespace testsupport;

namespace {

// What an mdbtools program prints; a test failure when it fails.

constexpr const char* kFieldRuleWords =
    "One or more values are prohibited by the validation rule '>0' set for 'Items.Price'. Enter "
    "a value that the expression for this field can accept.";

class ValidationRulesTest : public ::testing::Test {
protected:
    // Items: Id, Name, Price, Qty, Start, Finish, Code, Notes.
    ValidationRulesTest()
        : path_(madeDatabase(
              dir_, {"CREATE TABLE Items (Id LONG, Name TEXT(20), Price CURRENCY, Qty SHORT, "
                     "Start DATETIME, Finish DATETIME, Code TEXT(10), Notes MEMO)",
                     "INSERT INTO Items VALUES (1, 'Tea', 10, 1, #2020-01-01#, #2020-12-31#, "
                     "'A1', 'x')",
                     "INSERT INTO Items VALUES (2, 'Jam', 20, 2, #2021-01-01#, #2021-06-30#, "
                     "'B2', 'y')",
                     "INSERT INTO Items VALUES (3, 'Oil', 5, 3, #2022-01-01#, Null, 'C3', "
                     "Null)"})),
          db_(Database::open(path_)) {}

    // Gives a field, or with "" the table, a rule and its text; "" for no text.
    void rule(const std::string& field, const std::string& rule, const std::string& text = "") {
        std::vector<store::NewProperty> properties{textProperty("ValidationRule", rule)};
        if (!text.empty()) properties.push_back(textProperty("ValidationText", text));
        setProperties(*db_, "Items", field, properties);
    }

    // The error `sql` fails with; the file must be byte for byte as it was.
    Error refused(const std::string& sql) {
        const auto before = bytesOf(path_);
        const Error e = errorOf(*db_, sql);
        EXPECT_EQ(bytesOf(path_), before) << sql;
        return e;
    }

    // The table as mdb-export reads it, one line a record.
    std::string exported() {
        db_.reset();
        const std::string csv =
            commandOutput("mdb-export -H -Q -T '%Y-%m-%d' '" + path_ + "' Items");
        db_ = Database::open(path_);
        return csv;
    }

    TempDir dir_;
    std::string path_;
    std::unique_ptr<Database> db_;
};

}  // namespace

TEST_F(ValidationRulesTest, AFieldsRuleTakesTheShapesAccessAllows) {
    struct Case {
        const char* field;
        const char* rule;
        const char* value;
        bool passes;
    };
    const Case cases[] = {
        // A rule that comes out Null passes.
        {"Qty", ">0", "5", true},
        {"Qty", ">0", "0", false},
        {"Qty", ">0", "Null", true},
        {"Qty", "<=2*3", "7", false},
        {"Qty", "Between 1 And 9", "9", true},
        {"Qty", "Between 1 And 9", "10", false},
        {"Qty", "Not Between 1 And 9", "5", false},
        {"Qty", "In (1,2,3)", "4", false},
        {"Qty", "Is Null Or >=0", "Null", true},
        {"Qty", "Is Null Or >=0", "-1", false},
        {"Qty", "Is Not Null", "Null", false},
        {"Qty", ">=1 And <=5 Or =99", "99", true},
        {"Qty", "(>0 And <10) Or Is Null", "10", false},
        // A bare value is compared for equality; a bare Null means Is Null.
        {"Qty", "0 Or >100", "0", true},
        {"Qty", "Not 5", "5", false},
        {"Qty", "Not Null", "Null", false},
        {"Qty", "Is Null Or 0 Or -1", "-1", true},
        {"Code", "\"M\" Or \"F\"", "'m'", true},
        // A whole comparison may name the field itself.
        {"Code", "Len([Code]) < 3", "'abc'", false},
        // Access's wildcards, ignoring case; "%" is no wildcard in a rule.
        {"Code", "Like \"A?#\"", "'ab1'", true},
        {"Code", "Like \"A*\"", "'bA'", false},
        {"Code", "Like \"[!0-9]*\"", "'1x'", false},
        {"Code", "Like \"50%\"", "'500'", false},
        {"Code", "Not Like \"*[*]*\"", "'a*b'", false},
        {"Price", ">0", "-0.01", false},
        {"Start", "<=Date()", "#9999-01-01#", false},
        {"Start", ">=#1/1/2000# And <Now()", "#1999-12-31#", false},
    };
    for (const Case& c : cases) {
        // A value of the field's own first, without the rule, so that the statement changes it.
        setProperties(*db_, "Items", c.field, {});
        const std::string set = std::string("UPDATE Items SET [") + c.field + "] = ";
        const char* start = std::string(c.field) == "Code"    ? "'zz'"
                            : std::string(c.field) == "Start" ? "#1950-06-15#"
                                                              : "77";
        run(*db_, set + start + " WHERE Id = 1");
        rule(c.field, c.rule);
        const std::string sql = set + c.value + " WHERE Id = 1";
        if (c.passes) {
            EXPECT_NO_THROW(run(*db_, sql)) << c.rule << " with " << c.value;
        } else {
            EXPECT_EQ(refused(sql).code(), ErrorCode::FieldRuleBroken)
                << c.rule << " with " << c.value;
        }
    }
    expectNoFaults(path_);
}

TEST_F(ValidationRulesTest, ABrokenRuleFailsTheWholeStatementInAccesssWordsOrTheRulesText) {
    rule("Price", ">0");
    // Prices 10, 20 and 5: only the last record goes below zero, after the first two changed.
    Error e = refused("UPDATE Items SET Price = Price - 6");
    EXPECT_EQ(e.number(), 3317);
    EXPECT_STREQ(e.what(), kFieldRuleWords);
    rule("Price", " >0 ", "Prices are positive.");
    EXPECT_STREQ(refused("UPDATE Items SET Price = Price - 6").what(), "Prices are positive.");
    EXPECT_EQ(run(*db_, "UPDATE Items SET Price = Price - 4"), 3u);

    // The table's rule reads fields the statement does not set; Oil's Null finish passes it.
    rule("", "[Start] <= [Finish]");
    e = refused("UPDATE Items SET Start = Start + 200");
    EXPECT_EQ(e.number(), 3316);
    EXPECT_STREQ(e.what(),
                 "One or more values are prohibited by the validation rule '[Start] <= [Finish]' "
                 "set for 'Items'. Enter a value that the expression for this field can accept.");
    EXPECT_EQ(run(*db_, "UPDATE Items SET Start = Start + 100"), 3u);
    // A record that breaks both rules is told its field's.
    rule("Finish", "<#1/1/2030#", "Items finish before 2030.");
    EXPECT_STREQ(refused("INSERT INTO Items (Id, Start, Finish) VALUES (4, #2031-02-01#, "
                         "#2031-01-01#)")
                     .what(),
                 "Items finish before 2030.");

    EXPECT_EQ(exported(),
              "1,Tea,6.0000,1,2020-04-10,2020-12-31,A1,x\n"
              "2,Jam,16.0000,2,2021-04-11,2021-06-30,B2,y\n"
              "3,Oil,1.0000,3,2022-04-11,,C3,\n");
    // mdbtools reads the rules from the property maps the test wrote.
    const std::string properties = commandOutput("mdb-prop '" + path_ + "' Items");
    EXPECT_EQ(properties.find("name: (none)\n\tValidationRule: [Start] <= [Finish]"), 0u);
    EXPECT_NE(properties.find("ValidationRule:  >0 "), std::string::npos) << properties;
    expectNoFaults(path_);
}

TEST_F(ValidationRulesTest, OnlyTheRecordsAndFieldsAStatementChangesAreChecked) {
    rule("Qty", ">1");         // Tea's quantity of 1 breaks it already
    rule("", "[Price] < 15");  // and so does Jam's price of 20
    EXPECT_EQ(run(*db_, "UPDATE Items SET Name = Name & '!' WHERE Id = 1"), 1u);
    EXPECT_EQ(run(*db_, "UPDATE Items SET Qty = Qty, Price = Price * 1"), 3u);
    // A record that is saved is held to the table's rule, whichever field changed.
    EXPECT_EQ(refused("UPDATE Items SET Name = 'Marmalade' WHERE Id = 2").code(),
              ErrorCode::TableRuleBroken);
    EXPECT_EQ(refused("UPDATE Items SET Qty = 0 WHERE Id = 3").code(), ErrorCode::FieldRuleBroken);
    expectNoFaults(path_);
}

TEST_F(ValidationRulesTest, AZeroLengthStringNeedsAllowZeroLength) {
    setProperties(*db_, "Items", "Name", {yesNoProperty("AllowZeroLength", false)});
    setProperties(*db_, "Items", "Notes", {yesNoProperty("AllowZeroLength", false)});
    setProperties(*db_, "Items", "Code", {yesNoProperty("AllowZeroLength", true)});
    const Error e = refused("UPDATE Items SET Name = ''");
    EXPECT_EQ(e.number(), 3315);
    EXPECT_STREQ(e.what(), "The field 'Items.Name' cannot contain a zero-length string.");
    EXPECT_EQ(refused("UPDATE Items SET Notes = Left(Notes, 0) WHERE Id = 1").code(),
              ErrorCode::ZeroLengthString);
    EXPECT_EQ(refused("INSERT INTO Items (Id, Name) VALUES (4, '')").code(),
              ErrorCode::ZeroLengthString);
    // Null and blanks are no zero-length strings; Code allows them.
    EXPECT_EQ(run(*db_, "UPDATE Items SET Name = Null WHERE Id = 1"), 1u);
    EXPECT_EQ(run(*db_, "UPDATE Items SET Name = ' ' WHERE Id = 2"), 1u);
    EXPECT_EQ(run(*db_, "UPDATE Items SET Code = ''"), 3u);
    EXPECT_EQ(exported(),
              "1,,10.0000,1,2020-01-01,2020-12-31,,x\n"
              "2, ,20.0000,2,2021-01-01,2021-06-30,,y\n"
              "3,Oil,5.0000,3,2022-01-01,,,\n");
    expectNoFaults(path_);

    // As Access itself wrote the property.
    for (const char* fixture : {"jet4/test2000.mdb", "ace/test2010.accdb"}) {
        const std::string path = dir_.copyOf(fixture);
        auto db = Database::open(path);
        const auto before = bytesOf(path);
        EXPECT_STREQ(errorOf(*db, "UPDATE [Table1] SET [A] = [A] & 'x', [B] = ''").what(),
                     "The field 'Table1.B' cannot contain a zero-length string.");
        EXPECT_EQ(bytesOf(path), before) << fixture;
    }
}

TEST_F(ValidationRulesTest, InsertImportAndCascadesCheckEveryRecordTheyWrite) {
    rule("Qty", ">0", "Quantities are positive.");
    // The copies of Tea and Jam would pass; Oil's copy, the third, does not.
    EXPECT_STREQ(refused("INSERT INTO Items SELECT Id + 10, Name, Price, 3 - Qty, Start, Finish, "
                         "Code, Notes FROM Items")
                     .what(),
                 "Quantities are positive.");
    // A default value is held to the rule as any value is.
    setProperties(*db_, "Items", "Price",
                  {textProperty("ValidationRule", ">0"), textProperty("DefaultValue", "0")});
    EXPECT_STREQ(refused("INSERT INTO Items (Id, Qty) VALUES (4, 1)").what(), kFieldRuleWords);

    const std::string csv = (dir_.path() / "items.csv").string();
    std::ofstream(csv) << "Id,Price,Qty\n5,1,1\n6,1,0\n";
    const auto before = bytesOf(path_);
    const Error e = errorOf([&] { sql::importCsv(*db_, "Items", csv); });
    EXPECT_EQ(std::string(e.what()), "Line 3 of '" + csv + "': Quantities are positive.");
    EXPECT_EQ(bytesOf(path_), before);
    std::ofstream(csv) << "Id,Price,Qty\n5,1,1\n";
    EXPECT_EQ(sql::importCsv(*db_, "Items", csv), 1u);
    EXPECT_NE(exported().find("\n5,,1.0000,1,,,,\n"), std::string::npos);

    // Table3 cascades its key changes into Table1.otherfk2 (10, 11, 11, 13).
    const std::string path = dir_.copyOf("jet4/indexTestV2000.mdb");
    auto db = Database::open(path);
    setProperties(*db, "Table1", "otherfk2", {textProperty("ValidationRule", "<100")});
    const auto unchanged = bytesOf(path);
    EXPECT_STREQ(errorOf(*db, "UPDATE [Table3] SET [id] = [id] * 10 WHERE [id] <> 13").what(),
                 "Cannot perform cascading operation (relationship 'Table3Table1'): One or more "
                 "values are prohibited by the validation rule '<100' set for 'Table1.otherfk2'. "
                 "Enter a value that the expression for this field can accept.");
    EXPECT_EQ(bytesOf(path), unchanged);
    EXPECT_EQ(run(*db, "UPDATE [Table3] SET [id] = [id] + 50 WHERE [id] <> 13"), 3u);
    expectNoFaults(path);
    expectNoFaults(path_);
}

TEST_F(ValidationRulesTest, ARuleTheEngineCannotEvaluateRefusesNamingItAndNeverPasses) {
    struct Case {
        const char* field;  // "" for the table's rule
        const char* rule;
        const char* why;
    };
    const Case cases[] = {
        {"Qty", ">MyCheck(1)", "Undefined function 'MyCheck'"},  // a user-defined function
        {"Qty", "> > 1", "Syntax error"},
        {"Qty", ">[Price]", "names another field"},  // a field's rule tests its own only
        {"Qty", "Len(>1) = 1", "cannot be read"},
        {"Code", "Like \"[a\"", "invalid pattern string"},
        {"Code", ">0", "Type mismatch"},  // 'abc' is no number
        {"", "[Orders].[Total] > 0", "'Orders'"},
        {"", "DLookUp(\"Total\", \"Orders\") > 0", "Undefined function 'DLookUp'"},
    };
    for (const Case& c : cases) {
        for (const char* field : {"Qty", "Code", ""}) setProperties(*db_, "Items", field, {});
        rule(c.field, c.rule);
        const bool code = std::string(c.field) == "Code";
        const std::string message =
            refused(code ? "UPDATE Items SET Code = 'abc'" : "UPDATE Items SET Qty = 7").what();
        EXPECT_EQ(message.find("Cannot check the validation rule '" + std::string(c.rule) +
                               "' set for 'Items" + (*c.field ? "." : "") + c.field + "': "),
                  0u)
            << message;
        EXPECT_NE(message.find(c.why), std::string::npos) << message;
    }
    // Such a rule stops only a statement with a record to check against it.
    setProperties(*db_, "Items", "", {});
    rule("Qty", ">MyCheck(1)");
    EXPECT_EQ(run(*db_, "UPDATE Items SET Qty = 7 WHERE Id = 99"), 0u);
    EXPECT_EQ(run(*db_, "UPDATE Items SET Name = 'Green tea' WHERE Id = 1"), 1u);
    EXPECT_EQ(refused("INSERT INTO Items (Id) VALUES (4)").code(), ErrorCode::Unsupported);
    expectNoFaults(path_);
}

TEST(AccessLikeWildcards, StarQuestionMarkHashAndSetsAsAccessReadsThem) {
    const auto like = [](const char* text, const char* pattern) {
        return values::LikePattern(pattern, values::LikeWildcards::Access).matches(text);
    };
    EXPECT_TRUE(like("Hello", "h*") && like("Hello", "H?llo") && like("A7", "A#"));
    EXPECT_FALSE(like("Hllo", "H?llo") || like("AB", "A#") || like("b", "[!a-c]"));
    EXPECT_TRUE(like("^", "[^]"));  // "^" negates nothing here
    EXPECT_TRUE(like("a*b", "a[*]b") && !like("axb", "a[*]b") && like("a-", "a[x-]"));
    EXPECT_TRUE(like("ab", "a[]b"));  // an empty set takes no character
    EXPECT_TRUE(like("5%_", "5%_") && !like("50", "5%"));
    for (const char* invalid : {"a[bc", "[z-a]", "[!]"}) {
        EXPECT_THROW(values::LikePattern(invalid, values::LikeWildcards::Access),
                     values::ValueFault)
            << invalid;
    }
    EXPECT_TRUE(values::LikePattern("a[bc").matches("a[bc"));  // the provider's reading stays
}
