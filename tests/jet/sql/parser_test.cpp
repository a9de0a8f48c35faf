#include "jet/sql/parser.h"

#include <gtest/gtest.h>

#include <string>

#include "jet/base/error.h"
#include "jet/base/names.h"
#include "jet/sql/ast_text.h"

namespace jet::sql {
namespace {

using sqltest::text;

std::string expr(std::string_view sql) { return text(*parseExpression(sql)); }

template <typename T>
T parseAs(std::string_view sql) {
    ast::Statement s = parseStatement(sql);
    EXPECT_TRUE(std::holds_alternative<T>(s)) << sql;
    return std::get<T>(std::move(s));
}

std::string columnOf(const ast::SelectItem& item) {
    if (const auto* all = std::get_if<ast::AllColumns>(&item)) {
        return (all->table ? "[" + all->table->text + "]." : std::string()) + "*";
    }
    return text(*std::get<ast::SelectExpr>(item).expr);
}

// The description of the error the text raises; fails the test when it parses.
std::string parseError(std::string_view sql, ErrorCode expected = ErrorCode::SyntaxError) {
    try {
        parseStatement(sql);
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), expected) << sql << ": " << e.what();
        return e.what();
    }
    ADD_FAILURE() << "parsed: " << sql;
    return {};
}

// ---- what the wizard sends, exactly as it builds it

TEST(ParserWizardTexts, PreviewRefreshAndFieldTestQueries) {
    for (const char* sql : {"SELECT * FROM [Orders];", "SELECT * FROM `Orders`;",
                            "select * from [Orders]", "SELECT * FROM Orders"}) {
        const auto s = parseAs<ast::Select>(sql);
        ASSERT_EQ(s.items.size(), 1u) << sql;
        EXPECT_EQ(columnOf(s.items[0]), "*");
        EXPECT_EQ(s.from.text, "Orders");
    }
    const auto probe = parseAs<ast::Select>("SELECT [Unit Price (€) #2, net] FROM [Order Details]");
    EXPECT_EQ(columnOf(probe.items[0]), "[Unit Price (€) #2, net]");
    EXPECT_EQ(probe.from.text, "Order Details");
    EXPECT_EQ(probe.from.offset, 39u);  // bytes: the euro sign takes three
}

TEST(ParserWizardTexts, UpdatesOfTheOperationWindows) {
    auto u = parseAs<ast::Update>("UPDATE [Orders] SET [Price] = [Price] + 5");
    EXPECT_EQ(u.table.text, "Orders");
    ASSERT_EQ(u.assignments.size(), 1u);
    EXPECT_EQ(text(u.assignments[0].column), "[Price]");
    EXPECT_EQ(text(*u.assignments[0].value), "(+ [Price] 5)");
    EXPECT_EQ(u.where, nullptr);

    // A negative constant arrives as "- -2": subtraction of a negated literal.
    u = parseAs<ast::Update>("UPDATE [Orders] SET [Price] = [Price] - -2");
    EXPECT_EQ(text(*u.assignments[0].value), "(- [Price] (neg 2))");

    u = parseAs<ast::Update>("UPDATE [Orders] SET [Price] = [Price] * [Qty]");
    EXPECT_EQ(text(*u.assignments[0].value), "(* [Price] [Qty])");

    // The computed-field window: lower-case keywords, no blank before "=", and the operator
    // symbol glued to the preceding field; subtraction and division run left to right.
    u = parseAs<ast::Update>("update [Orders] set [Total]=[A]- [B]- [C]");
    EXPECT_EQ(text(u.assignments[0].column), "[Total]");
    EXPECT_EQ(text(*u.assignments[0].value), "(- (- [A] [B]) [C])");
    u = parseAs<ast::Update>("update [Orders] set [Total]=[A]/ [B]/ [C]");
    EXPECT_EQ(text(*u.assignments[0].value), "(/ (/ [A] [B]) [C])");
}

TEST(ParserWizardTexts, AlterTableOfTheComputedFieldWindow) {
    auto a = parseAs<ast::AlterTable>("ALTER TABLE [Orders] ADD COLUMN [Total] INT");
    EXPECT_EQ(a.table.text, "Orders");
    const auto& add = std::get<ast::AddColumn>(a.action);
    EXPECT_EQ(add.column.text, "Total");
    EXPECT_EQ(add.type.name.text, "INT");
    EXPECT_TRUE(add.type.parameters.empty());

    a = parseAs<ast::AlterTable>("ALTER TABLE [Orders] DROP [Total]");
    EXPECT_EQ(std::get<ast::DropColumn>(a.action).column.text, "Total");
}

// ---- statement forms beyond the wizard's

TEST(ParserStatements, SelectListsTakeQualifiedNamesStarsAndAliases) {
    const auto s = parseAs<ast::Select>(
        "SELECT Orders.*, [Orders].[Unit Price], `Qty`, Price AS [Net Price], * FROM Orders ;");
    ASSERT_EQ(s.items.size(), 5u);
    EXPECT_EQ(columnOf(s.items[0]), "[Orders].*");
    EXPECT_EQ(columnOf(s.items[1]), "[Orders].[Unit Price]");
    EXPECT_EQ(columnOf(s.items[2]), "[Qty]");
    EXPECT_EQ(std::get<ast::SelectExpr>(s.items[3]).alias->text, "Net Price");
    EXPECT_EQ(columnOf(s.items[4]), "*");
    // An expression in the select list parses; whether it can be run is the runner's call.
    const auto computed = parseAs<ast::Select>("SELECT [Price] * 2 AS Twice FROM T");
    EXPECT_EQ(columnOf(computed.items[0]), "(* [Price] 2)");
}

TEST(ParserStatements, SelectWithWhereAndOrderBy) {
    auto s = parseAs<ast::Select>(
        "SELECT [A], [B] * 2 AS Twice FROM T WHERE [A] > 1 AND [B] IS NOT NULL "
        "ORDER BY [A] DESC, Twice, [B] + 1 asc, 2 Desc;");
    EXPECT_EQ(text(*s.where), "(And (> [A] 1) (not (isnull [B])))");
    ASSERT_EQ(s.orderBy.size(), 4u);
    EXPECT_EQ(text(*s.orderBy[0].expr), "[A]");
    EXPECT_TRUE(s.orderBy[0].descending);
    EXPECT_EQ(text(*s.orderBy[1].expr), "[Twice]");
    EXPECT_FALSE(s.orderBy[1].descending);
    EXPECT_EQ(text(*s.orderBy[2].expr), "(+ [B] 1)");
    EXPECT_FALSE(s.orderBy[2].descending);
    EXPECT_EQ(text(*s.orderBy[3].expr), "2");
    EXPECT_TRUE(s.orderBy[3].descending);

    // ORDER, BY, ASC and DESC are not reserved: fields may carry those names unbracketed.
    s = parseAs<ast::Select>("SELECT Order, Desc FROM T ORDER BY Desc DESC");
    EXPECT_EQ(columnOf(s.items[0]), "[Order]");
    EXPECT_EQ(text(*s.orderBy[0].expr), "[Desc]");
    EXPECT_TRUE(s.orderBy[0].descending);
    EXPECT_EQ(parseAs<ast::Select>("SELECT * FROM T").where, nullptr);

    EXPECT_NE(parseError("SELECT * FROM T ORDER [A]").find("expected WHERE, ORDER BY or the end"),
              std::string::npos);
    EXPECT_NE(parseError("SELECT * FROM T WHERE [A] ORDER BY")
                  .find("ORDER BY clause: expected "
                        "an expression"),
              std::string::npos);
    EXPECT_NE(parseError("SELECT * FROM T ORDER BY [A] DESC [B]").find("ASC, DESC"),
              std::string::npos);
}

TEST(ParserStatements, CountStarIsAFunctionCallWithAStar) {
    const auto s = parseAs<ast::Select>("SELECT Count(*), count( * ) + 1, Sum([A]) FROM T");
    const auto& first = std::get<ast::SelectExpr>(s.items[0]);
    const auto& call = std::get<ast::FunctionCall>(first.expr->node);
    EXPECT_TRUE(call.star);
    EXPECT_TRUE(call.arguments.empty());
    EXPECT_EQ(columnOf(s.items[1]), "(+ count(*) 1)");
    EXPECT_FALSE(
        std::get<ast::FunctionCall>(std::get<ast::SelectExpr>(s.items[2]).expr->node).star);
    parseError("SELECT Count(*, 1) FROM T");
}

TEST(ParserStatements, DeleteForms) {
    for (const char* sql : {"DELETE FROM [Orders]", "DELETE * FROM Orders;", "delete from `Orders`",
                            "DELETE Orders.* FROM [Orders]", "DELETE [orders].* FROM Orders"}) {
        const auto d = parseAs<ast::Delete>(sql);
        EXPECT_EQ(foldName(d.table.text), "orders") << sql;
        EXPECT_EQ(d.where, nullptr) << sql;
    }
    const auto d = parseAs<ast::Delete>("DELETE FROM T WHERE [Qty] = 0 OR [Qty] IS NULL");
    EXPECT_EQ(text(*d.where), "(Or (= [Qty] 0) (isnull [Qty]))");
    EXPECT_STREQ(ast::statementKind(ast::Statement{parseAs<ast::Delete>("DELETE FROM T")}),
                 "DELETE");

    EXPECT_NE(parseError("DELETE [T]").find("expected *, a table's .* or FROM"), std::string::npos);
    EXPECT_NE(parseError("DELETE Other.* FROM T").find("names a table other than"),
              std::string::npos);
    EXPECT_NE(parseError("DELETE FROM T WHERE").find("expected an expression"), std::string::npos);
    EXPECT_NE(parseError("DELETE FROM T [A]").find("expected WHERE or the end"), std::string::npos);
    EXPECT_NE(parseError("DELETE FROM T WHERE [A] [B]").find("expected an operator or the end"),
              std::string::npos);
}

TEST(ParserStatements, UpdateWithSeveralAssignmentsAndWhere) {
    const auto u =
        parseAs<ast::Update>("UPDATE T SET T.A = 1, [B] = 'x' WHERE [C] IS NOT NULL AND [D] > 0;");
    ASSERT_EQ(u.assignments.size(), 2u);
    EXPECT_EQ(text(u.assignments[0].column), "[T].[A]");
    EXPECT_EQ(text(*u.assignments[1].value), "'x'");
    EXPECT_EQ(text(*u.where), "(And (not (isnull [C])) (> [D] 0))");
}

TEST(ParserStatements, AlterTableVariants) {
    auto a = parseAs<ast::AlterTable>("alter table T add [Net Price] Decimal(18, 4) NOT NULL");
    const auto& add = std::get<ast::AddColumn>(a.action);
    EXPECT_EQ(add.column.text, "Net Price");
    EXPECT_EQ(add.type.name.text, "Decimal");
    EXPECT_EQ(add.type.parameters, (std::vector<std::int32_t>{18, 4}));
    EXPECT_TRUE(add.notNull);
    a = parseAs<ast::AlterTable>("ALTER TABLE T ADD Notes TEXT(50);");
    EXPECT_EQ(std::get<ast::AddColumn>(a.action).type.parameters, std::vector<std::int32_t>{50});
    a = parseAs<ast::AlterTable>("ALTER TABLE T DROP COLUMN Notes");
    EXPECT_EQ(std::get<ast::DropColumn>(a.action).column.text, "Notes");
}

TEST(ParserStatements, InsertTakesValuesOrASelect) {
    auto i = parseAs<ast::Insert>("INSERT INTO [Orders] ([Qty], Price) VALUES (3, 2.5 * 2);");
    EXPECT_EQ(i.table.text, "Orders");
    ASSERT_EQ(i.columns.size(), 2u);
    EXPECT_EQ(i.columns[1].text, "Price");
    EXPECT_EQ(i.values.size(), 2u);
    i = parseAs<ast::Insert>("INSERT INTO T SELECT A, B FROM U WHERE A > 1");
    ASSERT_TRUE(i.select);
    EXPECT_EQ(i.select->from.text, "U");
    EXPECT_TRUE(i.columns.empty());
    parseError("INSERT INTO T (A) 1", ErrorCode::SyntaxError);
    parseError("INSERT T VALUES (1)", ErrorCode::SyntaxError);
}

TEST(ParserStatements, CreateTableFieldsKeysAndConstraints) {
    const auto t = parseAs<ast::CreateTable>(
        "CREATE TABLE [Order Lines] (Id COUNTER PRIMARY KEY, [Key] TEXT(20) NOT NULL UNIQUE, "
        "Qty SHORT NULL, CONSTRAINT Pair UNIQUE (Qty, [Key]), PRIMARY KEY (Id));");
    EXPECT_EQ(t.table.text, "Order Lines");
    ASSERT_EQ(t.fields.size(), 3u);
    EXPECT_TRUE(t.fields[0].primaryKey);
    EXPECT_EQ(t.fields[1].column.text, "Key");
    EXPECT_TRUE(t.fields[1].notNull && t.fields[1].unique && !t.fields[1].primaryKey);
    EXPECT_FALSE(t.fields[2].notNull);
    ASSERT_EQ(t.constraints.size(), 2u);
    EXPECT_EQ(t.constraints[0].name.text, "Pair");
    EXPECT_FALSE(t.constraints[0].primaryKey);
    EXPECT_EQ(t.constraints[0].columns.size(), 2u);
    EXPECT_TRUE(t.constraints[1].primaryKey && t.constraints[1].name.text.empty());
    // Defaults are kept as Access keeps a field's DefaultValue: strings in double quotes.
    const auto d = parseAs<ast::CreateTable>(
        "CREATE TABLE T (A LONG DEFAULT -5 NOT NULL, B TEXT DEFAULT 'say \"hi\"', "
        "C DATE DEFAULT #2024-01-31#, D BIT DEFAULT False)");
    EXPECT_EQ(d.fields[0].defaultValue, "-5");
    EXPECT_TRUE(d.fields[0].notNull);
    EXPECT_EQ(d.fields[1].defaultValue, "\"say \"\"hi\"\"\"");
    EXPECT_EQ(d.fields[2].defaultValue, "#2024-01-31#");
    EXPECT_EQ(d.fields[3].defaultValue, "False");
    EXPECT_EQ(std::get<ast::AddColumn>(
                  parseAs<ast::AlterTable>("ALTER TABLE T ADD X SHORT DEFAULT 2").action)
                  .defaultValue,
              "2");
    parseError("CREATE TABLE T (A LONG DEFAULT [B])", ErrorCode::SyntaxError);
    // PRIMARY, KEY, UNIQUE, INDEX and ON are not reserved: fields may bear those names.
    EXPECT_EQ(parseAs<ast::CreateTable>("CREATE TABLE T (Primary LONG, Unique TEXT)").fields.size(),
              2u);
    parseError("CREATE TABLE T ()", ErrorCode::SyntaxError);
    parseError("CREATE TABLE T (A LONG", ErrorCode::SyntaxError);
    parseError("CREATE TABLE T (A LONG, CONSTRAINT C CHECK (A > 0))", ErrorCode::SyntaxError);
}

TEST(ParserStatements, CreateAndDropIndexAndDropTable) {
    const auto c = parseAs<ast::CreateIndex>(
        "CREATE UNIQUE INDEX ByDay ON Orders (OrderDate DESC, Id ASC, Qty) WITH DISALLOW NULL");
    EXPECT_TRUE(c.unique && c.disallowNull && !c.primary);
    EXPECT_EQ(c.index.text, "ByDay");
    EXPECT_EQ(c.table.text, "Orders");
    ASSERT_EQ(c.keys.size(), 3u);
    EXPECT_FALSE(c.keys[0].ascending);
    EXPECT_TRUE(c.keys[1].ascending && c.keys[2].ascending);
    EXPECT_TRUE(parseAs<ast::CreateIndex>("create index pk on T (A) with primary").primary);
    const auto d = parseAs<ast::DropIndex>("DROP INDEX ByDay ON [Orders]");
    EXPECT_EQ(d.index.text, "ByDay");
    EXPECT_EQ(d.table.text, "Orders");
    EXPECT_EQ(parseAs<ast::DropTable>("DROP TABLE [Order Lines];").table.text, "Order Lines");
    parseError("DROP INDEX ByDay", ErrorCode::SyntaxError);
    parseError("CREATE INDEX X ON T (A) WITH NOTHING", ErrorCode::SyntaxError);
}

TEST(ParserStatements, KindsNotReadYetAreUnsupportedNotSyntaxErrors) {
    parseError("ALTER TABLE T ADD CONSTRAINT pk PRIMARY KEY (A)", ErrorCode::Unsupported);
    parseError("ALTER TABLE T ALTER COLUMN A TEXT(10)", ErrorCode::Unsupported);
}

// ---- expressions

TEST(ParserExpressions, ArithmeticFollowsAccessPrecedence) {
    const std::pair<const char*, const char*> cases[] = {
        {"1 + 2 * 3", "(+ 1 (* 2 3))"},
        {"(1 + 2) * 3", "(* (+ 1 2) 3)"},
        {"8 / 4 / 2", "(/ (/ 8 4) 2)"},
        {"2 ^ 3 ^ 2", "(^ (^ 2 3) 2)"},  // left to right, as Access computes 64
        {"-2 ^ 2", "(neg (^ 2 2))"},     // negation binds looser than ^: -4
        {"2 ^ -1", "(^ 2 (neg 1))"},
        {"-a * b", "(* (neg [a]) [b])"},
        {"a - -b", "(- [a] (neg [b]))"},
        {"+a", "(pos [a])"},
        // * and / bind tighter than \, which binds tighter than Mod, then + and -.
        {"a \\ b * c", "(\\ [a] (* [b] [c]))"},
        {"a Mod b \\ c", "(Mod [a] (\\ [b] [c]))"},
        {"a + b MOD c", "(+ [a] (Mod [b] [c]))"},
        {"a & b + c", "(& [a] (+ [b] [c]))"},
        {"a & b = c", "(= (& [a] [b]) [c])"},
    };
    for (const auto& [sql, tree] : cases) EXPECT_EQ(expr(sql), tree) << sql;
}

TEST(ParserExpressions, LogicAndComparisons) {
    const std::pair<const char*, const char*> cases[] = {
        {"a = 1 OR b = 2 AND c = 3", "(Or (= [a] 1) (And (= [b] 2) (= [c] 3)))"},
        {"NOT a = b", "(not (= [a] [b]))"},
        {"NOT a AND b", "(And (not [a]) [b])"},
        {"a <> b", "(<> [a] [b])"},
        {"a <= b", "(<= [a] [b])"},
        {"a >= b", "(>= [a] [b])"},
        {"a Xor b Or c", "(Xor [a] (Or [b] [c]))"},
        {"a Imp b Eqv c", "(Imp [a] (Eqv [b] [c]))"},
        {"a IS NULL", "(isnull [a])"},
        {"a Is Not Null", "(not (isnull [a]))"},
        {"a LIKE 'x%'", "(Like [a] 'x%')"},
        {"a NOT LIKE 'x%' & b", "(not (Like [a] (& 'x%' [b])))"},
        {"a BETWEEN 1 AND 2 AND b", "(And (between [a] 1 2) [b])"},
        {"a NOT BETWEEN 1 AND 2", "(not (between [a] 1 2))"},
        {"a IN (1, 'x', b)", "(in [a] 1 'x' [b])"},
        {"a NOT IN (1)", "(not (in [a] 1))"},
    };
    for (const auto& [sql, tree] : cases) EXPECT_EQ(expr(sql), tree) << sql;
}

TEST(ParserExpressions, LiteralsFunctionsAndColumns) {
    const std::pair<const char*, const char*> cases[] = {
        {"Null", "Null"},
        {"true OR False", "(Or True False)"},
        {"1.5 * 2", "(* 1.5D 2)"},
        {"2147483648", "2147483648D"},
        {"'it''s'", "'it's'"},
        {"#2021-08-31#", "#2021-08-31#"},
        {"Round([Price] * 1.1, 2)", "Round((* [Price] 1.1D), 2)"},
        {"Now()", "Now()"},
        {"Nz([a], 0) + IIf(b > 0, 1, -1)", "(+ Nz([a], 0) IIf((> [b] 0), 1, (neg 1)))"},
        {"[Order Details].[Unit Price]", "[Order Details].[Unit Price]"},
        {"`T`.`C`", "[T].[C]"},
        {"[Text] & [Date]", "(& [Text] [Date])"},
    };
    for (const auto& [sql, tree] : cases) EXPECT_EQ(expr(sql), tree) << sql;
}

TEST(ParserExpressions, EveryNodeKnowsItsTextInTheStatement) {
    const std::string sql = "UPDATE [T] SET [X] = ([Price] + 5) * Round([Qty], 2)";
    const auto u = parseAs<ast::Update>(sql);
    const ast::Expr& value = *u.assignments[0].value;
    EXPECT_EQ(sql.substr(value.offset, value.length), "([Price] + 5) * Round([Qty], 2)");
    const auto& product = std::get<ast::Binary>(value.node);
    EXPECT_EQ(sql.substr(product.left->offset, product.left->length), "[Price] + 5");
    EXPECT_EQ(sql.substr(product.right->offset, product.right->length), "Round([Qty], 2)");
}

// ---- syntax errors

TEST(ParserErrors, NamesTheClauseWhatWasExpectedAndWhere) {
    EXPECT_EQ(
        parseError("SELECT * FROM [Ord]ers];"),
        "Syntax error in FROM clause: expected WHERE, ORDER BY or the end of the statement at "
        "character 20, near \"ers];\".");
    EXPECT_EQ(parseError("SELECT * FROM"),
              "Syntax error in FROM clause: expected a table name at the end of the statement, "
              "after \"SELECT * FROM\".");
    EXPECT_EQ(parseError("SELECT [Price] [Qty] FROM [T]"),
              "Syntax error in SELECT statement: expected ',' or FROM at character 16, "
              "near \"[Qty] FROM [T]\".");
    EXPECT_EQ(parseError("UPDATE [T] SET [A] = [A] +"),
              "Syntax error in UPDATE statement: expected an expression at the end of the "
              "statement, after \"...DATE [T] SET [A] = [A] +\".");
    EXPECT_NE(parseError("UPDATE [T] SET [A] = [A] 5").find("expected an operator"),
              std::string::npos);
    EXPECT_NE(parseError("UPDATE [T] SET [A] = ([A] + 5").find("expected an operator or ')'"),
              std::string::npos);
    EXPECT_NE(parseError("ALTER TABLE [T] ADD COLUMN [X]")
                  .find("Syntax error in field definition: expected a data type"),
              std::string::npos);
    EXPECT_NE(parseError("ALTER TABLE [T] ADD COLUMN [X] TEXT(abc)").find("a whole number"),
              std::string::npos);
    EXPECT_NE(parseError("ALTER TABLE [T] RENAME [X]").find("expected ADD or DROP"),
              std::string::npos);
    EXPECT_NE(parseError("SHOW TABLES").find("Invalid SQL statement"), std::string::npos);
    EXPECT_NE(parseError("").find("at the end of the statement"), std::string::npos);
}

TEST(ParserErrors, BrokenNamesFromTheWizardAreRejected) {
    // An empty new-field name gives an empty pair of brackets.
    EXPECT_NE(parseError("ALTER TABLE [T] ADD COLUMN [] INT").find("found an empty name"),
              std::string::npos);
    parseError("SELECT [] FROM [T]");
    parseError("SELECT * FROM ``;");
    // A backquote inside the table name ends the refresh query's name early.
    parseError("SELECT * FROM `Or`ders`;");
    // Reserved words must be bracketed to be names; the message says how.
    EXPECT_NE(parseError("SELECT * FROM Table").find("write [Table] to use it as a name"),
              std::string::npos);
    EXPECT_NE(parseError("SELECT Select FROM T").find("write [Select]"), std::string::npos);
}

TEST(ParserErrors, OnlyOneStatementAndNothingAfterIt) {
    parseError("SELECT * FROM [T];;");
    parseError("SELECT * FROM [T]; SELECT * FROM [U]");
    parseError("SELECT * FROM [T] WHERE");
    parseError("SELECT * FROM [T], [U]");
    parseError("SELECT FROM [T]");
    parseError("SELECT *, FROM [T]");
    EXPECT_NO_THROW(parseStatement("  SELECT * FROM [T] ;  \n"));
}

TEST(ParserErrors, DeepNestingIsRefusedNotACrash) {
    const std::string deep =
        "SELECT " + std::string(100000, '(') + "1" + std::string(100000, ')') + " FROM T";
    EXPECT_NE(parseError(deep).find("nested too deeply"), std::string::npos);
    const std::string negations = "SELECT " + std::string(100000, '-') + "1 FROM T";
    EXPECT_NE(parseError(negations).find("nested too deeply"), std::string::npos);
    // A left-leaning chain is as deep a tree as nesting; the wizard's longest, one operator
    // between each of 255 fields, must pass.
    std::string sum = "[F0]";
    for (int i = 1; i < 255; ++i) sum += "+ [F" + std::to_string(i) + "]";
    EXPECT_NO_THROW(parseStatement("update [T] set [N]=" + sum));
    for (int i = 0; i < 100000; ++i) sum += "+ [A]";
    EXPECT_NE(parseError("update [T] set [N]=" + sum).find("too complex"), std::string::npos);
}

}  // namespace
}  // namespace jet::sql
