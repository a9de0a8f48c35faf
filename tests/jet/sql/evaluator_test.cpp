// The Access value rules the evaluator follows, one group per rule.
#include "jet/sql/evaluator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>

#include "jet/sql/evaluator_support.h"
#include "jet/values/value_rules.h"

namespace jet::sql {
namespace {

using sqltest::bound;
using sqltest::dec;
using sqltest::eval;
using sqltest::evalError;

const Value kNull = Null{};

TEST(EvaluatorNull, NullInAnyArithmeticOperandGivesNull) {
    for (const char* e : {"[Lng] + 1", "1 - [Lng]", "[Cur] * [Dbl]", "[Dec] / 2", "-[Int]",
                          "[Lng] ^ 2", "[Txt] + 1", "[Dat] + 1"}) {
        EXPECT_EQ(eval(e), kNull) << e;
    }
    // A Null divisor is Null, not a division by zero: the wizard's Divide has no guard.
    EXPECT_EQ(eval("[Dbl] / [Lng]", {{"Dbl", 5.0}}), kNull);
    EXPECT_EQ(eval("[Lng] \\ 0"), kNull);
    EXPECT_EQ(eval("[Lng] Mod [Int]", {{"Lng", 5}}), kNull);
}

TEST(EvaluatorPlus, AddsNumbersConcatenatesTextsAndReadsTextBesideANumber) {
    EXPECT_EQ(eval("[Lng] + [Int]", {{"Lng", 5}, {"Int", std::int16_t{2}}}), Value{7});
    EXPECT_EQ(eval("[Txt] + [Memo]", {{"Txt", "ab"}, {"Memo", "cd"}}), Value{"abcd"});
    EXPECT_EQ(eval("[Txt] + 1", {{"Txt", "2.5"}}), Value{3.5});
    EXPECT_EQ(eval("[Txt] + [Lng]", {{"Txt", " 7 "}, {"Lng", 5}}), Value{12.0});
    // Beside a Decimal the text is read exactly.
    EXPECT_EQ(eval("'12' + [Dec]", {{"Dec", dec("0.1")}}), Value{dec("12.1")});

    const Error e = evalError("[Txt] + 1", {{"Txt", "abc"}});
    EXPECT_EQ(e.code(), ErrorCode::TypeMismatch);
    EXPECT_STREQ(e.what(), "Type mismatch in '[Txt] + 1': 'abc' is not a number.");
    EXPECT_EQ(evalError("[Txt] * 2", {{"Txt", ""}}).code(), ErrorCode::TypeMismatch);
}

TEST(EvaluatorAmpersand, AlwaysConcatenatesNumbersInTheirShortestForm) {
    EXPECT_EQ(eval("[Lng] & [Int]", {{"Lng", 5}, {"Int", std::int16_t{2}}}), Value{"52"});
    EXPECT_EQ(eval("Null & 'x'"), Value{"x"});
    EXPECT_EQ(eval("[Txt] & [Memo]"), kNull);  // only Null & Null is Null
    EXPECT_EQ(eval("[Dbl] & ''", {{"Dbl", 0.1}}), Value{"0.1"});
    EXPECT_EQ(eval("[Dbl] & ''", {{"Dbl", 1.0 / 3}}), Value{"0.3333333333333333"});
    EXPECT_EQ(eval("[Sng] & ''", {{"Sng", 1.1f}}), Value{"1.1"});
    EXPECT_EQ(eval("[Cur] & ''", {{"Cur", Currency{35000}}}), Value{"3.5"});
    EXPECT_EQ(eval("[Dec] & ''", {{"Dec", dec("12.5000")}}), Value{"12.5"});
    EXPECT_EQ(eval("[YN] & ''", {{"YN", true}}), Value{"-1"});
    EXPECT_EQ(eval("[Dat] & ''", {{"Dat", DateTime{27293.75}}}), Value{"9/21/1974 6:00:00 PM"});
}

TEST(EvaluatorTypes, ResultTypesWidenAsAccessWidensThem) {
    using T = ColumnType;
    const std::pair<const char*, ColumnType> cases[] = {
        {"[Byt] + [Byt]", T::Byte},     {"[Byt] + [Int]", T::Integer},
        {"[Int] + [Lng]", T::Long},     {"[Lng] + [Big]", T::BigInt},
        {"[Int] + [Sng]", T::Single},   {"[Lng] + [Sng]", T::Double},
        {"[Sng] + [Dbl]", T::Double},   {"[Cur] + [Lng]", T::Currency},
        {"[Cur] * [Int]", T::Currency}, {"[Cur] * [Cur]", T::Currency},
        {"[Cur] + [Sng]", T::Double},   {"[Cur] * [Dbl]", T::Double},
        {"[Dec] + [Dbl]", T::Decimal},  {"[Dec] * [Cur]", T::Decimal},
        {"[YN] + [YN]", T::Integer},    {"[Lng] * 1.5", T::Double},
        {"[Cur] * 1.5", T::Double},     {"[Cur] * 2", T::Currency},
        {"[Dat] + 1", T::DateTime},     {"[Dat] - [Dat]", T::Double},
        {"[Lng] / [Lng]", T::Double},   {"[Dec] / 2", T::Decimal},
        {"[Int] \\ [Int]", T::Integer}, {"[Dbl] \\ 2", T::Long},
        {"[Big] Mod 2", T::BigInt},     {"[Byt] ^ 2", T::Double},
        {"[Txt] + [Memo]", T::Text},    {"[Txt] + 1", T::Double},
        {"[Lng] & 1", T::Text},         {"[Lng] > 1", T::YesNo},
    };
    const sqltest::Fields ones = {{"Byt", std::uint8_t{1}},
                                  {"Int", std::int16_t{1}},
                                  {"Lng", 1},
                                  {"Big", std::int64_t{1}},
                                  {"Sng", 1.0f},
                                  {"Dbl", 1.0},
                                  {"Cur", Currency{10000}},
                                  {"Dec", dec("1")},
                                  {"Dat", DateTime{1}},
                                  {"Txt", "1"},
                                  {"YN", true},
                                  {"Memo", "1"}};
    for (const auto& [e, type] : cases) {
        // The type worked out at binding and the type of a real value agree.
        EXPECT_EQ(bound(e).type(), type) << e;
        EXPECT_EQ(typeOfValue(eval(e, ones)), type) << e;
    }
}

TEST(EvaluatorTypes, WholeNumberOverflowWidensOtherOverflowFails) {
    EXPECT_EQ(eval("[Byt] + [Byt]", {{"Byt", std::uint8_t{200}}}), Value{std::int16_t{400}});
    EXPECT_EQ(eval("[Byt] - 2", {{"Byt", std::uint8_t{1}}}), Value{-1});
    EXPECT_EQ(eval("[Byt] * [Byt]", {{"Byt", std::uint8_t{200}}}), Value{40000});
    EXPECT_EQ(eval("[Int] * [Int]", {{"Int", std::int16_t{300}}}), Value{90000});
    EXPECT_EQ(eval("-[Int]", {{"Int", std::int16_t{-32768}}}), Value{32768});
    // Long widens to Double, as a Long Variant does.
    EXPECT_EQ(eval("[Lng] * [Lng]", {{"Lng", 100000}}), Value{1e10});
    EXPECT_EQ(eval("[Lng] + [Lng]", {{"Lng", INT32_MAX}}), Value{4294967294.0});
    EXPECT_EQ(eval("[Big] * 4", {{"Big", std::int64_t{1} << 62}}), Value{std::ldexp(1.0, 64)});
    EXPECT_EQ(typeOfValue(eval("[Sng] * [Sng]", {{"Sng", 1e30f}})), ColumnType::Double);

    EXPECT_EQ(evalError("[Cur] * [Lng]", {{"Cur", Currency{INT64_MAX / 10}}, {"Lng", 100}}).code(),
              ErrorCode::Overflow);
    const Error e = evalError("[Dbl] * [Dbl]", {{"Dbl", 1e300}});
    EXPECT_EQ(e.code(), ErrorCode::Overflow);
    EXPECT_STREQ(e.what(), "Overflow in '[Dbl] * [Dbl]': the result is too large for a Double.");
    EXPECT_EQ(evalError("[Dec] * [Dec]", {{"Dec", dec("1e20")}}).code(), ErrorCode::Overflow);
    // A divisor no Decimal holds: an error of the statement, not of the program.
    EXPECT_STREQ(evalError("[Dec] / 1E+300", {{"Dec", dec("5")}}).what(),
                 "Overflow in '[Dec] / 1E+300': 1e+300 is too large for a Decimal.");
}

TEST(EvaluatorDivision, SlashGivesDoubleOrDecimal) {
    EXPECT_EQ(eval("[Lng] / 2", {{"Lng", 7}}), Value{3.5});
    EXPECT_EQ(eval("[Int] / [Int]", {{"Int", std::int16_t{6}}}), Value{1.0});
    EXPECT_EQ(eval("[Cur] / 4", {{"Cur", Currency{10000}}}), Value{0.25});
    EXPECT_EQ(eval("[Dec] / 3", {{"Dec", dec("1")}}), Value{dec("0.3333333333333333333333333333")});
    EXPECT_EQ(eval("[Dec] / 3 * 3", {{"Dec", dec("1")}}),
              Value{dec("0.9999999999999999999999999999")});
    // A Double meets a Decimal with its 15 significant digits.
    EXPECT_EQ(eval("[Dec] / [Dbl]", {{"Dec", dec("0.6")}, {"Dbl", 0.1 + 0.2}}), Value{dec("2")});
    EXPECT_EQ(eval("[Dec] + [Dbl]", {{"Dec", dec("1")}, {"Dbl", 2.0 / 3}}),
              Value{dec("1.666666666666667")});
}

TEST(EvaluatorDivision, BackslashAndModRoundOperandsHalfToEvenFirst) {
    const std::pair<const char*, Value> cases[] = {
        {"7.5 \\ 2", 4},    {"6.5 \\ 2", 3},    {"-7.5 \\ 2", -4}, {"7 \\ 2.5", 3},
        {"-7 \\ 2", -3},    {"-7 Mod 3", -1},   {"7 Mod -3", 1},   {"7.5 Mod 2", 0},
        {"6.5 Mod 4.5", 2}, {"-6.5 Mod 4", -2},
    };
    for (const auto& [e, expected] : cases) EXPECT_EQ(eval(e), expected) << e;
    EXPECT_EQ(eval("[Int] \\ -1", {{"Int", std::int16_t{-32768}}}), Value{32768});
    EXPECT_EQ(eval("[Byt] \\ [Byt]", {{"Byt", std::uint8_t{200}}}), Value{std::uint8_t{1}});
    EXPECT_EQ(eval("[Cur] Mod 3", {{"Cur", Currency{75000}}}), Value{2});  // 7.5 -> 8
    // 0.4 rounds to 0 before dividing.
    EXPECT_EQ(evalError("[Lng] \\ 0.4", {{"Lng", 7}}).code(), ErrorCode::DivisionByZero);
    EXPECT_EQ(evalError("[Lng] Mod 0", {{"Lng", 7}}).code(), ErrorCode::DivisionByZero);
}

TEST(EvaluatorDivision, PowerIsDouble) {
    EXPECT_EQ(eval("2 ^ 10"), Value{1024.0});
    EXPECT_EQ(eval("[Int] ^ 2", {{"Int", std::int16_t{3}}}), Value{9.0});
    EXPECT_EQ(eval("2 ^ -1"), Value{0.5});
    EXPECT_EQ(eval("-2 ^ 2"), Value{-4.0});
    EXPECT_EQ(evalError("0 ^ -1").code(), ErrorCode::DivisionByZero);
    EXPECT_EQ(evalError("(-8) ^ (1 / 3)").code(), ErrorCode::Overflow);
}

TEST(EvaluatorDivision, DivisionByZeroIsAnErrorNamingTheExpression) {
    const Error e = evalError("1 + [Dbl] / [Lng]", {{"Dbl", 5.0}, {"Lng", 0}});
    EXPECT_EQ(e.code(), ErrorCode::DivisionByZero);
    EXPECT_STREQ(e.what(), "Division by zero in '[Dbl] / [Lng]'.");
    EXPECT_EQ(evalError("[Dec] / 0", {{"Dec", dec("1")}}).code(), ErrorCode::DivisionByZero);
    EXPECT_EQ(evalError("[Cur] / [Int]", {{"Cur", Currency{1}}, {"Int", std::int16_t{0}}}).code(),
              ErrorCode::DivisionByZero);
    EXPECT_EQ(evalError("0 / 0").code(), ErrorCode::DivisionByZero);
}

TEST(EvaluatorDates, DatePlusOrMinusANumberMovesByDays) {
    EXPECT_EQ(eval("[Dat] + 1", {{"Dat", DateTime{27293}}}), Value{DateTime{27294}});
    EXPECT_EQ(eval("[Dat] - 1.25", {{"Dat", DateTime{27293.5}}}), Value{DateTime{27292.25}});
    EXPECT_EQ(eval("[Int] + [Dat]", {{"Int", std::int16_t{2}}, {"Dat", DateTime{10}}}),
              Value{DateTime{12}});
    // Before 1899-12-30 the serial counts the day down and the time up; moving half a day
    // from 12/29/1899 06:00 gives 18:00 of the same day.
    EXPECT_EQ(textOf(eval("#12/29/1899 6:00 AM# + 0.5")), "12/29/1899 6:00:00 PM");
    EXPECT_EQ(eval("#12/29/1899 6:00 AM# + 0.5"), Value{DateTime{-1.75}});
    EXPECT_EQ(evalError("[Dat] + 3000000", {{"Dat", DateTime{1}}}).code(), ErrorCode::Overflow);
}

TEST(EvaluatorDates, DateMinusDateIsDaysAsDouble) {
    EXPECT_EQ(eval("#1/1/2000# - #12/25/1999#"), Value{7.0});
    EXPECT_EQ(eval("#12/31/1899# - #12/29/1899 18:00#"), Value{1.25});
    EXPECT_EQ(eval("[Dat] - [Dat]", {{"Dat", DateTime{-3.5}}}), Value{0.0});
}

TEST(EvaluatorDates, DateLiteralsReadUsAndIsoForms) {
    const Value day = DateTime{27293};  // 9/21/1974
    for (const char* e : {"#9/21/1974#", "#1974-09-21#", "#09/21/74#", "#21-Sep-1974#",
                          "#Sep 21, 1974#", "#september 21 1974#", "#1974/9/21#"}) {
        EXPECT_EQ(eval(e), day) << e;
    }
    EXPECT_EQ(eval("#9/21/1974 3:30 PM#"), Value{DateTime{27293 + 15.5 / 24}});
    EXPECT_EQ(eval("#1974-09-21T15:30:00#"), Value{DateTime{27293 + 15.5 / 24}});
    EXPECT_EQ(eval("#12:00 AM#"), Value{DateTime{0}});
    EXPECT_EQ(eval("#15:30#"), Value{DateTime{15.5 / 24}});
    EXPECT_EQ(textOf(eval("#1/1/29#")), "1/1/2029");
    EXPECT_EQ(textOf(eval("#1/1/30#")), "1/1/1930");
    for (const char* e :
         {"#13/1/2020#", "#2/30/2021#", "#2/29/1900#", "#25:00#", "#1/1/99999#", "#soon#", "#7#"}) {
        const Error err = evalError(e);
        EXPECT_EQ(err.code(), ErrorCode::SyntaxError) << e;
        EXPECT_EQ(std::string(err.what()),
                  std::string("Syntax error in date in query expression '") + e + "'.");
    }
}

TEST(EvaluatorYesNo, YesNoIsMinusOneOrZeroInArithmetic) {
    EXPECT_EQ(eval("[YN] + 0", {{"YN", true}}), Value{-1});
    EXPECT_EQ(eval("[YN] + [YN]", {{"YN", false}}), Value{std::int16_t{0}});
    EXPECT_EQ(eval("[YN] * 5", {{"YN", true}}), Value{-5});
    EXPECT_EQ(eval("True + True"), Value{std::int16_t{-2}});
    EXPECT_EQ(eval("-[YN]", {{"YN", true}}), Value{std::int16_t{1}});
}

TEST(EvaluatorLiterals, NumbersAreTypedAsAccessTypesThem) {
    EXPECT_EQ(eval("2147483647"), Value{INT32_MAX});
    EXPECT_EQ(eval("2147483648"), Value{2147483648.0});
    EXPECT_EQ(eval("1.0"), Value{1.0});
    EXPECT_EQ(eval("1E2"), Value{100.0});
    EXPECT_EQ(eval("[Dbl] * 1.5", {{"Dbl", 2.0}}), Value{3.0});
    EXPECT_EQ(eval("[Cur] * 1.5", {{"Cur", Currency{35000}}}), Value{5.25});
}

TEST(EvaluatorComparisons, TextComparesWithoutRegardToCase) {
    EXPECT_EQ(eval("[Txt] = 'ABC'", {{"Txt", "abc"}}), Value{true});
    EXPECT_EQ(eval("'a' < 'B'"), Value{true});
    EXPECT_EQ(eval("'Émile' = 'éMILE'"), Value{true});
    EXPECT_EQ(eval("'abc' <> 'abd'"), Value{true});
    EXPECT_EQ(eval("[Txt] = 'x'"), kNull);
}

TEST(EvaluatorComparisons, MixedKindsCompareAsNumbersOrDates) {
    EXPECT_EQ(eval("[Txt] > 5", {{"Txt", "10"}}), Value{true});  // numerically, not as text
    EXPECT_EQ(eval("[Lng] = [Dbl]", {{"Lng", 1}, {"Dbl", 1.0}}), Value{true});
    EXPECT_EQ(eval("[Cur] = [Dec]", {{"Cur", Currency{35000}}, {"Dec", dec("3.5")}}), Value{true});
    EXPECT_EQ(eval("[Big] > [Cur]", {{"Big", INT64_MAX}, {"Cur", Currency{INT64_MAX}}}),
              Value{true});
    EXPECT_EQ(eval("[Dat] > '1975-01-01'", {{"Dat", DateTime{27293}}}), Value{false});
    EXPECT_EQ(eval("[Dat] = #9/21/1974#", {{"Dat", DateTime{27293}}}), Value{true});
    EXPECT_EQ(eval("[YN] = 'True'", {{"YN", true}}), Value{true});
    EXPECT_EQ(evalError("[Txt] = 5", {{"Txt", "abc"}}).code(), ErrorCode::TypeMismatch);
}

TEST(EvaluatorLike, PercentAndUnderscoreWildcardsIgnoringCase) {
    const std::pair<const char*, bool> cases[] = {
        {"'Hello' Like 'h%'", true},
        {"'Hello' Like 'H_llo'", true},
        {"'Hello' Like 'H*'", false},
        {"'H*' Like 'H*'", true},
        {"'Hello' Like '%LL%'", true},
        {"'Hello' Like 'H[a-f]llo'", true},
        {"'Hallo' Like 'H[!a]llo'", false},
        {"'Hullo' Like 'H[^a]llo'", true},
        {"'50%' Like '50[%]'", true},
        {"'500' Like '50[%]'", false},
        {"'abcbc' Like 'a%bc'", true},
        {"'ab' Like 'a_c'", false},
        {"'' Like '%'", true},
        {"'Ünïcode' Like 'ü_Ï%'", true},
        {"'x' Not Like 'y'", true},
        {"'a[b' Like 'a[b'", true},
    };
    for (const auto& [e, expected] : cases) EXPECT_EQ(eval(e), Value{expected}) << e;
    EXPECT_EQ(eval("[Lng] Like '1%'", {{"Lng", 123}}), Value{true});
    EXPECT_EQ(eval("[Txt] Like 'a%'"), kNull);
    EXPECT_EQ(eval("[Txt] Like [Memo]", {{"Txt", "abc"}, {"Memo", "_B_"}}), Value{true});
}

TEST(EvaluatorLogic, AndOrNotAreThreeValued) {
    const std::pair<const char*, Value> cases[] = {
        {"True And Null", kNull},  {"False And Null", false}, {"Null And Null", kNull},
        {"True Or Null", true},    {"False Or Null", kNull},  {"Not Null", kNull},
        {"Not False", true},       {"True Xor Null", kNull},  {"True Xor False", true},
        {"True Eqv True", true},   {"False Imp Null", true},  {"Null Imp True", true},
        {"Null Imp False", kNull}, {"True Imp False", false}, {"5 And 3", true},
    };
    for (const auto& [e, expected] : cases) EXPECT_EQ(eval(e), expected) << e;
    // The left side decides first, so a guard protects the division on its right.
    EXPECT_EQ(eval("[Lng] <> 0 And [Dbl] / [Lng] > 1", {{"Lng", 0}, {"Dbl", 5.0}}), Value{false});
    EXPECT_EQ(eval("[Lng] = 0 Or [Dbl] / [Lng] > 1", {{"Lng", 0}, {"Dbl", 5.0}}), Value{true});
    EXPECT_EQ(evalError("'maybe' And True").code(), ErrorCode::TypeMismatch);
}

TEST(EvaluatorLogic, WhereTakesOnlyTrue) {
    EXPECT_FALSE(isTrue(Null{}));
    EXPECT_FALSE(isTrue(false));
    EXPECT_FALSE(isTrue(0.0));
    EXPECT_TRUE(isTrue(true));
    EXPECT_TRUE(isTrue(std::int32_t{2}));
    EXPECT_TRUE(isTrue(std::string("true")));
    try {
        isTrue(std::string("abc"));
        ADD_FAILURE() << "text that is no truth value passed";
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), ErrorCode::TypeMismatch);
    }
}

TEST(EvaluatorPredicates, BetweenInAndIsNull) {
    EXPECT_EQ(eval("[Lng] Between 1 And 10", {{"Lng", 5}}), Value{true});
    EXPECT_EQ(eval("[Lng] Between 1 And 10", {{"Lng", 11}}), Value{false});
    EXPECT_EQ(eval("[Lng] Between 1 And 10"), kNull);
    EXPECT_EQ(eval("[Lng] Between 10 And 1", {{"Lng", 5}}), Value{true});  // bounds either way
    EXPECT_EQ(eval("[Lng] Between 1 And Null", {{"Lng", 5}}), kNull);
    EXPECT_EQ(eval("[Lng] Between 1 And Null", {{"Lng", 0}}), Value{false});
    EXPECT_EQ(eval("[Txt] Between 'a' And 'C'", {{"Txt", "B"}}), Value{true});
    EXPECT_EQ(eval("[Lng] Not Between 1 And 3", {{"Lng", 5}}), Value{true});

    EXPECT_EQ(eval("[Lng] In (1, 2, 3)", {{"Lng", 2}}), Value{true});
    EXPECT_EQ(eval("[Lng] In (1, 2, 3)", {{"Lng", 4}}), Value{false});
    EXPECT_EQ(eval("[Lng] In (1, Null)", {{"Lng", 4}}), kNull);
    EXPECT_EQ(eval("[Lng] In (1, Null)", {{"Lng", 1}}), Value{true});
    EXPECT_EQ(eval("[Txt] In ('X', 'y')", {{"Txt", "Y"}}), Value{true});
    EXPECT_EQ(eval("[Lng] Not In (1, 2)", {{"Lng", 3}}), Value{true});
    EXPECT_EQ(eval("[Lng] In (1)"), kNull);

    EXPECT_EQ(eval("[Lng] Is Null"), Value{true});
    EXPECT_EQ(eval("[Lng] Is Not Null"), Value{false});
    EXPECT_EQ(eval("[Txt] Is Null", {{"Txt", ""}}), Value{false});
}

TEST(EvaluatorBinding, NamesAreResolvedOnceAndFaultsNamed) {
    const BoundExpression e = bound("[numbers].[lng] * 2");
    EXPECT_EQ(e.text(), "[numbers].[lng] * 2");
    EXPECT_EQ(bound("[Cur]").columnIndex(), std::optional<std::size_t>{6});
    EXPECT_EQ(e.columnIndex(), std::nullopt);
    EXPECT_EQ(bound("Null + 1").type(), std::nullopt);

    Error err = evalError("[Nope] + 1");
    EXPECT_EQ(err.code(), ErrorCode::FieldNotFound);
    EXPECT_STREQ(err.what(), "No field named 'Nope' in table 'Numbers'.");
    EXPECT_EQ(evalError("[Other].[Lng]").code(), ErrorCode::FieldNotFound);
    err = evalError("Foo(1)");
    EXPECT_EQ(err.code(), ErrorCode::SyntaxError);
    EXPECT_STREQ(err.what(), "Undefined function 'Foo' in expression 'Foo(1)'.");
    EXPECT_EQ(evalError("Left('a')").code(), ErrorCode::SyntaxError);
    EXPECT_EQ(evalError("IIf(True, 1)").code(), ErrorCode::SyntaxError);
    // Aggregates belong in a SELECT list, not in an UPDATE or a WHERE clause.
    EXPECT_EQ(evalError("Sum([Lng]) + 1").code(), ErrorCode::SyntaxError);
    EXPECT_EQ(evalError("Count(*)").code(), ErrorCode::SyntaxError);
}

TEST(EvaluatorSorting, NullsFirstThenNumbersThenTextWithoutCase) {
    EXPECT_LT(compareForSort(Null{}, std::int32_t{-5}), 0);
    EXPECT_LT(compareForSort(std::int32_t{5}, std::string("1")), 0);
    EXPECT_LT(compareForSort(std::string("a"), std::string("B")), 0);
    EXPECT_EQ(compareForSort(std::string("abc"), std::string("ABC")), 0);
    EXPECT_LT(compareForSort(DateTime{-1.25}, DateTime{-1.75}), 0);  // 06:00 before 18:00
    EXPECT_EQ(compareForSort(Null{}, Null{}), 0);
}

}  // namespace
}  // namespace jet::sql
