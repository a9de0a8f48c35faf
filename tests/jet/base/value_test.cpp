// The canonical text forms: what the dump prints must match what the independent readers print,
// so every case here is a value a user's table can hold.
#include "jet/base/value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

namespace jet {
namespace {

__extension__ using UInt128 = unsigned __int128;

TEST(ColumnTypeTest, CodesMissingFromTheFormatAreUnknown) {
    // A damaged TDEF can carry any code; naming it must not fail.
    for (const std::uint8_t code : {0x00, 0x0D, 0x0E, 0x11, 0x15, 0xFF}) {
        EXPECT_FALSE(isKnownColumnType(code)) << int{code};
        EXPECT_STREQ(columnTypeName(static_cast<ColumnType>(code)), "Unknown");
    }
    EXPECT_TRUE(isKnownColumnType(0x14));
    EXPECT_STREQ(columnTypeName(ColumnType::DateTimeExtended), "DateTimeExtended");
}

TEST(FormatNumberTest, SingleIsShortestTextOfTheFloatNotOfItsDouble) {
    EXPECT_EQ(formatSingle(0.1f), "0.1");  // as a double it would be 0.10000000149011612
    EXPECT_EQ(formatSingle(1.5f), "1.5");
    EXPECT_EQ(formatSingle(16777216.0f), "16777216");
    EXPECT_EQ(formatSingle(-0.0f), "-0");
    EXPECT_EQ(formatSingle(std::numeric_limits<float>::max()), "3.4028235e+38");
    EXPECT_EQ(formatSingle(std::numeric_limits<float>::denorm_min()), "1e-45");
    for (const float v : {0.3f, 123.456f, 1e-7f, 7.0e10f, -2.5e-20f}) {
        const std::string text = formatSingle(v);
        EXPECT_EQ(std::strtof(text.c_str(), nullptr), v) << text;
    }
}

TEST(FormatNumberTest, DoubleIsShortestRoundTrip) {
    EXPECT_EQ(formatDouble(444.555), "444.555");  // jet4/test2000.mdb, Table1.F
    EXPECT_EQ(formatDouble(0.1 + 0.2), "0.30000000000000004");
    EXPECT_EQ(formatDouble(1.0 / 3.0), "0.3333333333333333");
    EXPECT_EQ(formatDouble(-1.0), "-1");
    EXPECT_EQ(formatDouble(1e21), "1e+21");
    EXPECT_EQ(formatDouble(5e-324), "5e-324");
}

TEST(FormatNumberTest, CurrencyHasExactlyFourDecimals) {
    EXPECT_EQ(formatCurrency(Currency{420000}), "42.0000");
    EXPECT_EQ(formatCurrency(Currency{-123400}), "-12.3400");
    EXPECT_EQ(formatCurrency(Currency{0}), "0.0000");
    EXPECT_EQ(formatCurrency(Currency{-1}), "-0.0001");
    EXPECT_EQ(formatCurrency(Currency{9999}), "0.9999");
    EXPECT_EQ(formatCurrency(Currency{std::numeric_limits<std::int64_t>::max()}),
              "922337203685477.5807");
    EXPECT_EQ(formatCurrency(Currency{std::numeric_limits<std::int64_t>::min()}),
              "-922337203685477.5808");
}

TEST(FormatNumberTest, DecimalPlainWithoutTrailingFractionZeros) {
    auto dec = [](UInt128 magnitude, std::uint8_t scale, bool negative = false) {
        return formatDecimal(Decimal{magnitude, scale, negative});
    };
    // calcFieldTestV2010.accdb, Popularity, Numeric(18, 6).
    EXPECT_EQ(dec(50325000, 6), "50.325");
    EXPECT_EQ(dec(36222200, 6, true), "-36.2222");
    EXPECT_EQ(dec(12300, 6), "0.0123");
    EXPECT_EQ(dec(102030405060654321ULL, 6), "102030405060.654321");

    EXPECT_EQ(dec(4500, 3), "4.5");
    EXPECT_EQ(dec(1, 0, true), "-1");
    EXPECT_EQ(dec(1000, 0), "1000");  // zeros of the whole part stay
    EXPECT_EQ(dec(5000, 3), "5");
    EXPECT_EQ(dec(0, 0), "0");
    EXPECT_EQ(dec(0, 10), "0");
    EXPECT_EQ(dec(0, 4, true), "0");  // never "-0"

    const UInt128 max96 = (static_cast<UInt128>(1) << 96) - 1;
    EXPECT_EQ(dec(max96, 0), "79228162514264337593543950335");
    EXPECT_EQ(dec(max96, 28, true), "-7.9228162514264337593543950335");
    EXPECT_EQ(dec(1, 28), "0.0000000000000000000000000001");
    // A damaged value may use all 128 bits; it still prints in full.
    EXPECT_EQ(dec(~static_cast<UInt128>(0), 0), "340282366920938463463374607431768211455");
}

TEST(FormatDateTimeTest, DayCountsBackwardsTimeOfDayForwards) {
    auto at = [](double days) { return formatDateTime(DateTime{days}); };
    EXPECT_EQ(at(0), "1899-12-30T00:00:00");
    EXPECT_EQ(at(1.5), "1899-12-31T12:00:00");
    EXPECT_EQ(at(-1.25), "1899-12-29T06:00:00");
    EXPECT_EQ(at(-0.5), "1899-12-30T12:00:00");  // day "-0" is the epoch itself
    EXPECT_EQ(at(-2.75), "1899-12-28T18:00:00");
    EXPECT_EQ(at(27293), "1974-09-21T00:00:00");  // jet4/test2000.mdb, Table1.G
    EXPECT_EQ(at(44361 + 0.5 + 45.0 / 1440), "2021-06-14T12:45:00");
}

TEST(FormatDateTimeTest, RoundsToNearestSecondWithCarry) {
    auto at = [](double days) { return formatDateTime(DateTime{days}); };
    const double second = 1.0 / 86400;
    EXPECT_EQ(at(1 + 0.4 * second), "1899-12-31T00:00:00");
    EXPECT_EQ(at(1 + 0.6 * second), "1899-12-31T00:00:01");
    EXPECT_EQ(at(2 - 0.4 * second), "1900-01-01T00:00:00");  // into the next day and year
    EXPECT_EQ(at(36525 + 1 - 0.3 * second), "2000-01-01T00:00:00");
    EXPECT_EQ(at(60 + 1 - 0.3 * second), "1900-03-01T00:00:00");  // 1900 has no Feb 29
    EXPECT_EQ(at(36584 + 1 - 0.3 * second), "2000-02-29T00:00:00");
    // Negative day: 23:59:59.7 after the start of 1899-12-29 is the epoch's midnight.
    EXPECT_EQ(at(-1 - (1 - 0.3 * second)), "1899-12-30T00:00:00");
    EXPECT_EQ(at(2958465.99999), "9999-12-31T23:59:59");
}

TEST(FormatDateTimeTest, CalendarMatchesMonthByMonthWalk) {
    // Walk every month from 0001-01 to 9999-12 with the leap-year rule written out, and check the
    // first and last day of each month against the formatter's own day-to-date conversion.
    auto leap = [](int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; };
    static constexpr int kLengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    double day = -693593;  // 0001-01-01
    char expected[32];
    for (int year = 1; year <= 9999; ++year) {
        for (int month = 1; month <= 12; ++month) {
            const int length = kLengths[month - 1] + (month == 2 && leap(year) ? 1 : 0);
            std::snprintf(expected, sizeof expected, "%04d-%02d-01T00:00:00", year, month);
            ASSERT_EQ(formatDateTime(DateTime{day}), expected);
            std::snprintf(expected, sizeof expected, "%04d-%02d-%02dT12:00:00", year, month,
                          length);
            const double last = day + length - 1;
            ASSERT_EQ(formatDateTime(DateTime{last + (last < 0 ? -0.5 : 0.5)}), expected);
            day += length;
        }
    }
    EXPECT_EQ(day, 2958466);
}

TEST(FormatDateTimeTest, OutsideYearsOneToNineThousandPrintsTheStoredNumber) {
    auto at = [](double days) { return formatDateTime(DateTime{days}); };
    EXPECT_EQ(at(-693593), "0001-01-01T00:00:00");
    EXPECT_EQ(at(-693593.5), "0001-01-01T12:00:00");
    EXPECT_EQ(at(-657434), "0100-01-01T00:00:00");
    EXPECT_EQ(at(2958465), "9999-12-31T00:00:00");
    EXPECT_EQ(at(-693594), "-693594");
    EXPECT_EQ(at(2958466), "2958466");
    const double roundsIntoYear10000 = 2958466 - 0.1 / 86400;
    EXPECT_EQ(at(roundsIntoYear10000), formatDouble(roundsIntoYear10000));
    EXPECT_EQ(at(1e300), "1e+300");
    EXPECT_EQ(at(-1e300), "-1e+300");
    EXPECT_EQ(at(std::numeric_limits<double>::infinity()), "inf");
    EXPECT_EQ(at(std::nan("")), "nan");
}

TEST(FormatDateTimeTest, ExtendedHasSevenFractionDigits) {
    auto at = [](std::int64_t days, std::int64_t ticks) {
        return formatDateTimeExtended(DateTimeExtended{days, ticks});
    };
    EXPECT_EQ(at(0, 0), "0001-01-01T00:00:00.0000000");
    // ace/extDateTestV2019.accdb, Table1.DateExt.
    EXPECT_EQ(at(737954, 819123456789), "2021-06-14T22:45:12.3456789");
    EXPECT_EQ(at(36323, 459001234567), "0100-06-14T12:45:00.1234567");
    EXPECT_EQ(at(3652058, 863999999999), "9999-12-31T23:59:59.9999999");
    // Ticks beyond one day, or below zero, move the date.
    EXPECT_EQ(at(0, 864000000000 + 1), "0001-01-02T00:00:00.0000001");
    EXPECT_EQ(at(1, -1), "0001-01-01T23:59:59.9999999");
    // Out of range: the raw parts, never a crash or an invented date.
    EXPECT_EQ(at(3652059, 0), "3652059:0");
    EXPECT_EQ(at(0, -1), "0:-1");
    EXPECT_EQ(at(std::numeric_limits<std::int64_t>::max(), 864000000000),
              "9223372036854775807:864000000000");
}

TEST(FormatBytesTest, GuidFirstThreeGroupsLittleEndian) {
    // jet4/indexTestV2000.mdb, MSysNameMap.GUID of Table1.
    const Guid stored{{0xa0, 0x6c, 0x09, 0x8f, 0x16, 0xfc, 0x88, 0x42, 0x80, 0x1e, 0x11, 0x9f, 0x26,
                       0xc0, 0xb6, 0xfc}};
    EXPECT_EQ(formatGuid(stored), "{8F096CA0-FC16-4288-801E-119F26C0B6FC}");
    EXPECT_EQ(formatGuid(Guid{}), "{00000000-0000-0000-0000-000000000000}");
}

TEST(FormatBytesTest, HexLowerCase) {
    EXPECT_EQ(formatHex({}), "0x");
    EXPECT_EQ(formatHex({0x00, 0xAB, 0x0F, 0xF0}), "0x00ab0ff0");
}

}  // namespace
}  // namespace jet
