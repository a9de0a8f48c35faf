#include "jet/sql/lexer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "jet/base/error.h"

namespace jet::sql {
namespace {

std::vector<TokenKind> kinds(std::string_view sql) {
    std::vector<TokenKind> out;
    for (const Token& t : tokenize(sql)) out.push_back(t.kind);
    return out;
}

// The description of the SyntaxError the text raises; fails the test when it lexes.
std::string lexError(std::string_view sql) {
    try {
        tokenize(sql);
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), ErrorCode::SyntaxError) << sql;
        return e.what();
    }
    ADD_FAILURE() << "no syntax error for: " << sql;
    return {};
}

using K = TokenKind;

TEST(Lexer, WizardStatementsSplitIntoTokensWithTheirOffsets) {
    const std::string sql = "UPDATE [Orders] SET [Unit Price] = [Unit Price] * 1.5";
    const auto tokens = tokenize(sql);
    ASSERT_EQ(tokens.size(), 9u);
    EXPECT_TRUE(tokens[0].is(Keyword::Update));
    EXPECT_EQ(tokens[1].kind, K::BracketedName);
    EXPECT_EQ(tokens[1].text, "Orders");
    EXPECT_EQ(tokens[1].source, "[Orders]");
    EXPECT_EQ(tokens[1].offset, 7u);
    EXPECT_EQ(tokens[3].text, "Unit Price");
    EXPECT_EQ(tokens[3].offset, 20u);
    EXPECT_EQ(tokens[7].kind, K::Number);
    EXPECT_EQ(tokens[7].offset, sql.size() - 3);
    EXPECT_EQ(tokens[8].kind, K::End);
    EXPECT_EQ(tokens[8].offset, sql.size());

    EXPECT_EQ(
        kinds("SELECT * FROM `Orders`;"),
        (std::vector{K::Keyword, K::Star, K::Keyword, K::BackquotedName, K::Semicolon, K::End}));
}

TEST(Lexer, DelimitedNamesKeepEverythingButTheirClosingCharacter) {
    const auto tokens = tokenize("[ Unit Price (€) #2, 'x' \"y\" [a ] `b [c]` [SELECT]");
    EXPECT_EQ(tokens[0].text, " Unit Price (€) #2, 'x' \"y\" [a ");
    EXPECT_EQ(tokens[1].kind, K::BackquotedName);
    EXPECT_EQ(tokens[1].text, "b [c]");
    // A bracketed reserved word is a name, not the keyword.
    EXPECT_EQ(tokens[2].kind, K::BracketedName);
    EXPECT_EQ(tokens[2].text, "SELECT");
    EXPECT_EQ(tokenize("[]")[0].text, "");
}

TEST(Lexer, KeywordsIgnoreCaseButOnlyWholeWordsAreKeywords) {
    for (const char* spelling : {"select", "SELECT", "sElEcT"}) {
        EXPECT_TRUE(tokenize(spelling)[0].is(Keyword::Select)) << spelling;
    }
    EXPECT_TRUE(tokenize("mod")[0].is(Keyword::Mod));
    for (const char* word : {"Selection", "Fromage", "Order_Id", "_x", "Größe", "INT", "Text"}) {
        const Token t = tokenize(word)[0];
        EXPECT_EQ(t.kind, K::Identifier) << word;
        EXPECT_EQ(t.text, word);
    }
}

TEST(Lexer, NumbersAreTypedAsAccessTypesLiterals) {
    struct Case {
        const char* text;
        Value value;
    };
    const Case cases[] = {
        {"0", std::int32_t{0}},
        {"007", std::int32_t{7}},
        {"2147483647", std::int32_t{2147483647}},  // the largest Long
        {"2147483648", 2147483648.0},              // one more is a Double
        {"99999999999999999999", 1e20},
        {"1.5", 1.5},
        {"2.0", 2.0},  // a decimal point makes a Double even for a whole value
        {"1.", 1.0},
        {".25", 0.25},
        {"1e3", 1000.0},
        {"2E-3", 0.002},
        {"1.5e+2", 150.0},
    };
    for (const Case& c : cases) {
        const Token t = tokenize(c.text)[0];
        EXPECT_EQ(t.kind, K::Number) << c.text;
        EXPECT_EQ(t.number, c.value) << c.text;
        EXPECT_EQ(t.text, c.text);
    }
    // A minus sign is an operator of its own; the literal stays positive.
    EXPECT_EQ(kinds("-2"), (std::vector{K::Minus, K::Number, K::End}));
}

TEST(Lexer, DotsJoinNamesUnlessTheyStartAFraction) {
    EXPECT_EQ(kinds("[Orders].[Price]"),
              (std::vector{K::BracketedName, K::Dot, K::BracketedName, K::End}));
    EXPECT_EQ(kinds("Orders.Price"), (std::vector{K::Identifier, K::Dot, K::Identifier, K::End}));
    EXPECT_EQ(kinds("[T].5"), (std::vector{K::BracketedName, K::Dot, K::Number, K::End}));
    EXPECT_EQ(kinds("2*.5"), (std::vector{K::Number, K::Star, K::Number, K::End}));
}

TEST(Lexer, StringsAndDates) {
    auto t = tokenize("'it''s' \"say \"\"hi\"\"\" '' 'a\"b' #2021-08-31 10:00#");
    EXPECT_EQ(t[0].kind, K::String);
    EXPECT_EQ(t[0].text, "it's");
    EXPECT_EQ(t[1].text, "say \"hi\"");
    EXPECT_EQ(t[2].text, "");
    EXPECT_EQ(t[3].text, "a\"b");
    EXPECT_EQ(t[4].kind, K::Date);
    EXPECT_EQ(t[4].text, "2021-08-31 10:00");
}

TEST(Lexer, OperatorsTakeTheLongestMatch) {
    EXPECT_EQ(kinds("a<>b<=c>=d"),
              (std::vector{K::Identifier, K::NotEqual, K::Identifier, K::LessEqual, K::Identifier,
                           K::GreaterEqual, K::Identifier, K::End}));
    EXPECT_EQ(kinds("a< >b"),
              (std::vector{K::Identifier, K::Less, K::Greater, K::Identifier, K::End}));
}

TEST(Lexer, ErrorsSayWhatIsWrongAndWhere) {
    // A table name holding "]" cut short by the wizard's own brackets.
    EXPECT_EQ(lexError("SELECT * FROM [Orders;"),
              "Syntax error: the name that starts with '[' has no closing ']' at character 15, "
              "near \"[Orders;\".");
    // A field item split at ", " inside a name leaves an unterminated bracket.
    EXPECT_NE(lexError("UPDATE [T] SET [Price = [Price + 5").find("at character 16"),
              std::string::npos);
    EXPECT_NE(lexError("SELECT * FROM `Orders;").find("no closing '`'"), std::string::npos);
    EXPECT_NE(lexError("UPDATE [T] SET B] = B] + 5").find("']' without an opening '['"),
              std::string::npos);
    EXPECT_NE(lexError("SELECT 'abc FROM T").find("no closing '"), std::string::npos);
    EXPECT_NE(lexError("SELECT #2021-01-01 FROM T").find("no closing '#'"), std::string::npos);
    EXPECT_NE(lexError("SELECT a ? b").find("unexpected character '?' at character 10"),
              std::string::npos);
    for (const char* bad : {"1e", "1e+", "12abc", "1.2.3", "3Mod 2"}) {
        EXPECT_NE(lexError(bad).find("malformed number"), std::string::npos) << bad;
    }
    EXPECT_NE(lexError("1e999").find("outside the range"), std::string::npos);
    // Positions count characters, not bytes, so a user can find them in what they typed.
    EXPECT_NE(lexError("SELECT [Größe], [x FROM T").find("at character 17"), std::string::npos);
}

}  // namespace
}  // namespace jet::sql
