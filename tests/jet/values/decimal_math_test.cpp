// Decimal arithmetic: exact to 28 or 29 digits, rounded once, half to even, and overflow past
// 96 bits refused.
#include "jet/values/decimal_math.h"

#include <gtest/gtest.h>

#include <string>

namespace jet::values {
namespace {

Decimal d(std::string_view text) { return parseDecimal(text).value(); }
std::string str(const Decimal& v) { return formatDecimal(v); }

constexpr const char* kMax = "79228162514264337593543950335";  // 2^96 - 1

TEST(DecimalMath, AddAndSubtractAreExact) {
    EXPECT_EQ(str(decimalAdd(d("0.1"), d("0.2"))), "0.3");
    EXPECT_EQ(str(decimalAdd(d("1.5"), d("-2.25"))), "-0.75");
    EXPECT_EQ(str(decimalSubtract(d("-1.5"), d("-1.5"))), "0");
    EXPECT_FALSE(decimalSubtract(d("-1.5"), d("-1.5")).negative);  // no negative zero
    EXPECT_EQ(str(decimalAdd(d(kMax), d("-1"))), "79228162514264337593543950334");
    // 30 digits do not fit: the last one goes, rounded half to even (...78.95 -> ...79.0).
    EXPECT_EQ(str(decimalAdd(d("1234567890123456789012345678.9"), d("0.05"))),
              "1234567890123456789012345679");
    EXPECT_EQ(str(decimalAdd(d("1234567890123456789012345678.8"), d("0.05"))),
              "1234567890123456789012345678.8");
    // Rounding up past 2^96 - 1 costs one more digit.
    EXPECT_EQ(str(decimalAdd(d("7922816251426433759354395033.5"), d("0.05"))),
              "7922816251426433759354395034");
    EXPECT_THROW(decimalAdd(d(kMax), d("1")), DecimalOverflow);
    EXPECT_THROW(decimalSubtract(d("-" + std::string(kMax)), d("0.5")), DecimalOverflow);
}

TEST(DecimalMath, MultiplyRoundsOnceAtTheLastPlace) {
    EXPECT_EQ(str(decimalMultiply(d("1.1"), d("1.1"))), "1.21");
    EXPECT_EQ(str(decimalMultiply(d("-2.5"), d("4"))), "-10");
    EXPECT_EQ(str(decimalMultiply(d("12345678901234.5678"), d("10000000000000"))),
              "123456789012345678000000000");
    // Ties at the 28th decimal go to the even digit.
    EXPECT_EQ(str(decimalMultiply(d("0.0000000000000000000000000005"), d("0.5"))),
              "0.0000000000000000000000000002");
    EXPECT_EQ(str(decimalMultiply(d("0.0000000000000000000000000015"), d("0.5"))),
              "0.0000000000000000000000000008");
    EXPECT_EQ(str(decimalMultiply(d("0.0000000000000001"), d("0.0000000000000001"))), "0");
    EXPECT_THROW(decimalMultiply(d("1e15"), d("1e14")), DecimalOverflow);
}

TEST(DecimalMath, DivideGivesTwentyEightDecimalsOrAsManyAsFit) {
    EXPECT_EQ(str(decimalDivide(d("1"), d("3"))), "0.3333333333333333333333333333");
    EXPECT_EQ(str(decimalDivide(d("2"), d("3"))), "0.6666666666666666666666666667");
    EXPECT_EQ(str(decimalDivide(d("-1"), d("3"))), "-0.3333333333333333333333333333");
    EXPECT_EQ(str(decimalDivide(d("22"), d("7"))), "3.1428571428571428571428571429");
    EXPECT_EQ(decimalDivide(d("10"), d("4")), d("2.5"));  // trailing zeros dropped
    EXPECT_EQ(str(decimalDivide(d("100"), d("0.001"))), "100000");
    EXPECT_EQ(str(decimalDivide(d(kMax), d("3"))), "26409387504754779197847983445");
    EXPECT_EQ(str(decimalDivide(d("1"), d(kMax))), "0");
    EXPECT_EQ(str(decimalDivide(d("0.0000000000000000000000000001"),
                                d("0.0000000000000000000000000003"))),
              "0.3333333333333333333333333333");
    EXPECT_THROW(decimalDivide(d(kMax), d("0.5")), DecimalOverflow);
}

TEST(DecimalMath, CompareRoundAndConvert) {
    EXPECT_EQ(decimalCompare(d("1.50"), d("1.5")), 0);
    EXPECT_LT(decimalCompare(d("-2"), d("1")), 0);
    EXPECT_GT(decimalCompare(d("-1"), d("-2")), 0);
    EXPECT_EQ(decimalCompare(d("-0"), d("0")), 0);

    EXPECT_EQ(str(decimalRound(d("2.5"), 0)), "2");
    EXPECT_EQ(str(decimalRound(d("3.5"), 0)), "4");
    EXPECT_EQ(str(decimalRound(d("-2.5"), 0)), "-2");
    EXPECT_EQ(str(decimalRound(d("-2.1"), 0, Rounding::Down)), "-3");
    EXPECT_EQ(str(decimalRound(d("-2.9"), 0, Rounding::TowardZero)), "-2");
    EXPECT_EQ(str(decimalRound(d("9.995"), 2)), "10");

    EXPECT_EQ(decimalToInteger(d("2.5")), 2);
    EXPECT_EQ(decimalToInteger(d("-9223372036854775808")), INT64_MIN);
    EXPECT_EQ(decimalToInteger(d("9223372036854775807.5")), std::nullopt);

    EXPECT_EQ(decimalFromDouble(0.1), d("0.1"));
    EXPECT_EQ(decimalToDouble(d("0.1")), 0.1);
    EXPECT_EQ(str(decimalFromDouble(1e-30)), "0");
    EXPECT_THROW(decimalFromDouble(1e30), DecimalOverflow);
    EXPECT_EQ(decimalFromCurrency(Currency{-35000}), d("-3.5000"));
}

TEST(DecimalMath, ParseAcceptsPlainAndExponentForms) {
    EXPECT_EQ(str(d("1e3")), "1000");
    EXPECT_EQ(str(d("-.5")), "-0.5");
    EXPECT_EQ(str(d("+7.")), "7");
    EXPECT_EQ(str(d("2.5E-3")), "0.0025");
    EXPECT_EQ(str(d("1.23456789012345678901234567890123")), "1.2345678901234567890123456789");
    for (const char* bad : {"", "abc", "1.2.3", "1e", "--1", " 1", "1 ", ".", "0x10"}) {
        EXPECT_EQ(parseDecimal(bad), std::nullopt) << bad;
    }
    EXPECT_THROW(parseDecimal("1e29"), DecimalOverflow);
    EXPECT_EQ(str(d("1e-40")), "0");
}

}  // namespace
}  // namespace jet::values
