// The built-in functions: Nz, IIf, the number functions, conversions and text functions.
#include "jet/values/functions.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "jet/sql/evaluator_support.h"

namespace jet::sql {
namespace {

using sqltest::dec;
using sqltest::eval;
using sqltest::evalError;

const Value kNull = Null{};

TEST(FunctionsNullHandling, NzGivesTheFallbackOrAnEmptyOfTheRightKind) {
    EXPECT_EQ(eval("Nz([Lng], 0)"), Value{0});
    EXPECT_EQ(eval("Nz([Lng], 0)", {{"Lng", 5}}), Value{5});
    EXPECT_EQ(eval("Nz([Txt])"), Value{""});
    EXPECT_EQ(eval("Nz([Lng]) + 1"), Value{1});
    EXPECT_EQ(eval("Nz([Txt]) & 'x'"), Value{"x"});
    // The fallback is only evaluated when it is needed.
    EXPECT_EQ(eval("Nz([Lng], 1 / 0)", {{"Lng", 5}}), Value{5});
}

TEST(FunctionsNullHandling, IIfEvaluatesOnlyTheBranchItReturns) {
    EXPECT_EQ(eval("IIf([Lng] = 0, 0, [Dbl] / [Lng])", {{"Lng", 0}, {"Dbl", 5.0}}), Value{0});
    EXPECT_EQ(eval("IIf([Lng] = 0, 0, [Dbl] / [Lng])", {{"Lng", 2}, {"Dbl", 5.0}}), Value{2.5});
    EXPECT_EQ(eval("IIf(Null, 1, 2)"), Value{2});
    EXPECT_EQ(eval("iif([Txt] = 'A', 'yes', 'no')", {{"Txt", "a"}}), Value{"yes"});
}

TEST(FunctionsNumbers, AbsKeepsTheTypeAndWidensOnlyWhenItMust) {
    EXPECT_EQ(eval("Abs([Int])", {{"Int", std::int16_t{-5}}}), Value{std::int16_t{5}});
    EXPECT_EQ(eval("Abs([Int])", {{"Int", std::int16_t{-32768}}}), Value{32768});
    EXPECT_EQ(eval("Abs([Cur])", {{"Cur", Currency{-35000}}}), Value{Currency{35000}});
    EXPECT_EQ(eval("Abs([Dec])", {{"Dec", dec("-1.5")}}), Value{dec("1.5")});
    EXPECT_EQ(eval("Abs([YN])", {{"YN", true}}), Value{std::int16_t{1}});
    EXPECT_EQ(eval("Abs('-2.5')"), Value{2.5});
    EXPECT_EQ(eval("Abs(Null)"), kNull);
}

TEST(FunctionsNumbers, IntRoundsDownFixTowardZero) {
    EXPECT_EQ(eval("Int(-2.5)"), Value{-3.0});
    EXPECT_EQ(eval("Fix(-2.5)"), Value{-2.0});
    EXPECT_EQ(eval("Int(2.7)"), Value{2.0});
    EXPECT_EQ(eval("Fix(-0.5)"), Value{0.0});
    EXPECT_EQ(eval("Int([Cur])", {{"Cur", Currency{-25000}}}), Value{Currency{-30000}});
    EXPECT_EQ(eval("Fix([Cur])", {{"Cur", Currency{-25000}}}), Value{Currency{-20000}});
    EXPECT_EQ(eval("Int([Dec])", {{"Dec", dec("-2.5")}}), Value{dec("-3")});
    EXPECT_EQ(eval("Fix([Dec])", {{"Dec", dec("-2.5")}}), Value{dec("-2")});
    EXPECT_EQ(eval("Int([Sng])", {{"Sng", 2.7f}}), Value{2.0f});
    EXPECT_EQ(eval("Int([Lng])", {{"Lng", 7}}), Value{7});
    // Dates lose their time of day, also before 1899-12-30.
    EXPECT_EQ(eval("Int([Dat])", {{"Dat", DateTime{27293.75}}}), Value{DateTime{27293}});
    EXPECT_EQ(eval("Int([Dat])", {{"Dat", DateTime{-1.75}}}), Value{DateTime{-1}});
}

TEST(FunctionsNumbers, RoundIsHalfToEvenOnTheDigitsShown) {
    const std::pair<const char*, double> cases[] = {
        {"Round(2.5)", 2},         {"Round(3.5)", 4},
        {"Round(-2.5)", -2},       {"Round(0.5)", 0},
        {"Round(2.675, 2)", 2.68}, {"Round(2.665, 2)", 2.66},
        {"Round(1.005, 2)", 1.0},  {"Round(1234.5678, 3)", 1234.568},
        {"Round(1E20, 2)", 1e20},  {"Round(0.125, 5)", 0.125},
    };
    for (const auto& [e, expected] : cases) EXPECT_EQ(eval(e), Value{expected}) << e;
    EXPECT_EQ(eval("Round([Cur], 2)", {{"Cur", Currency{12350}}}), Value{Currency{12400}});
    EXPECT_EQ(eval("Round([Cur], 2)", {{"Cur", Currency{12250}}}), Value{Currency{12200}});
    EXPECT_EQ(eval("Round([Dec], 1)", {{"Dec", dec("0.25")}}), Value{dec("0.2")});
    EXPECT_EQ(eval("Round([Lng])", {{"Lng", 7}}), Value{7});
    EXPECT_EQ(eval("Round(Null)"), kNull);
    EXPECT_EQ(evalError("Round(1.5, -1)").code(), ErrorCode::TypeMismatch);
    EXPECT_EQ(evalError("Round(1.5, Null)").code(), ErrorCode::TypeMismatch);
}

TEST(FunctionsConversions, ConvertAsStoringDoes) {
    EXPECT_EQ(eval("CInt(2.5)"), Value{std::int16_t{2}});
    EXPECT_EQ(eval("CInt(3.5)"), Value{std::int16_t{4}});
    EXPECT_EQ(eval("CInt(-2.5)"), Value{std::int16_t{-2}});
    EXPECT_EQ(eval("CInt('12.5')"), Value{std::int16_t{12}});
    EXPECT_EQ(eval("CLng([Cur])", {{"Cur", Currency{25000}}}), Value{2});
    EXPECT_EQ(eval("CDbl(' 1e3 ')"), Value{1000.0});
    EXPECT_EQ(eval("CCur(1.23456)"), Value{Currency{12346}});
    EXPECT_EQ(eval("CCur(1.00005)"), Value{Currency{10000}});  // the 5 is a tie: to even
    EXPECT_EQ(eval("CStr(1.5)"), Value{"1.5"});
    EXPECT_EQ(eval("CStr([YN])", {{"YN", true}}), Value{"True"});  // words, unlike &
    EXPECT_EQ(eval("CStr([Dat])", {{"Dat", DateTime{27293}}}), Value{"9/21/1974"});

    Error e = evalError("CInt(40000)");
    EXPECT_EQ(e.code(), ErrorCode::Overflow);
    EXPECT_STREQ(e.what(), "Overflow in 'CInt(40000)': 40000 is outside the range of Integer.");
    EXPECT_EQ(evalError("CLng(2147483647.5)").code(), ErrorCode::Overflow);  // rounds up
    e = evalError("CLng('abc')");
    EXPECT_EQ(e.code(), ErrorCode::TypeMismatch);
    EXPECT_STREQ(e.what(), "Type mismatch in 'CLng('abc')': 'abc' is not a number.");
    EXPECT_EQ(evalError("CStr(Null)").code(), ErrorCode::TypeMismatch);
    EXPECT_EQ(evalError("CInt([Lng])").code(), ErrorCode::TypeMismatch);
}

TEST(FunctionsConversions, CDecKeepsTheFraction) {
    const std::pair<const char*, const char*> cases[] = {
        {"CDec('0.125')", "0.125"},
        {"CDec('-7.77')", "-7.77"},
        {"CDec(2.75)", "2.75"},
        {"CDec(' 1e-3 ')", "0.001"},
        {"CDec(0.1 + 0.2)", "0.3"},  // the Double's 15 significant digits
        {"CDec(True)", "-1"},
        // As many digits as a Decimal holds: 29 when they fit in 96 bits, else 28.
        {"CDec('79228162514264337593543950335')", "79228162514264337593543950335"},
        {"CDec('1.23456789012345678901234567890123')", "1.2345678901234567890123456789"},
        {"CDec('0.00000000000000000000000000015')", "0.0000000000000000000000000002"},
    };
    for (const auto& [e, expected] : cases) EXPECT_EQ(eval(e), Value{dec(expected)}) << e;
    EXPECT_EQ(eval("CDec([Cur])", {{"Cur", Currency{-12345}}}), Value{dec("-1.2345")});

    EXPECT_EQ(evalError("CDec('79228162514264337593543950336')").code(), ErrorCode::Overflow);
    EXPECT_EQ(evalError("CDec(1e300)").code(), ErrorCode::Overflow);
    EXPECT_EQ(evalError("CDec('abc')").code(), ErrorCode::TypeMismatch);
    EXPECT_EQ(evalError("CDec(Null)").code(), ErrorCode::TypeMismatch);
}

TEST(FunctionsText, CountAndCutByCharacter) {
    EXPECT_EQ(eval("Len('héllo')"), Value{5});
    EXPECT_EQ(eval("Len([Lng])", {{"Lng", 12345}}), Value{5});
    EXPECT_EQ(eval("Len(Null)"), kNull);
    EXPECT_EQ(eval("Left('héllo', 2)"), Value{"hé"});
    EXPECT_EQ(eval("Right('héllo', 3)"), Value{"llo"});
    EXPECT_EQ(eval("Right('ab', 5)"), Value{"ab"});
    EXPECT_EQ(eval("Mid('héllo', 2, 3)"), Value{"éll"});
    EXPECT_EQ(eval("Mid('hello', 4)"), Value{"lo"});
    EXPECT_EQ(eval("Mid('hello', 9)"), Value{""});
    EXPECT_EQ(eval("Left(Null, 2)"), kNull);
    EXPECT_EQ(evalError("Mid('hello', 0)").code(), ErrorCode::TypeMismatch);
    EXPECT_EQ(evalError("Left('abc', -1)").code(), ErrorCode::TypeMismatch);
    EXPECT_EQ(evalError("Left('abc', Null)").code(), ErrorCode::TypeMismatch);
}

TEST(FunctionsText, CaseAndTrim) {
    EXPECT_EQ(eval("UCase('héllo')"), Value{"HÉLLO"});
    EXPECT_EQ(eval("LCase('ÀB')"), Value{"àb"});
    EXPECT_EQ(eval("UCASE(Null)"), kNull);
    EXPECT_EQ(eval("Trim('  a b  ')"), Value{"a b"});
    EXPECT_EQ(eval("LTrim('  a ')"), Value{"a "});
    EXPECT_EQ(eval("RTrim('  a ')"), Value{"  a"});
    EXPECT_EQ(eval("Trim(' \ta ')"), Value{"\ta"});  // spaces only, as VBA trims
}

}  // namespace
}  // namespace jet::sql
