// The grid's cell texts, in fixed locales so that the expected texts do not follow the machine.
#include "app/controls/value_display.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace {

const app::ValueDisplay kUs(QLocale(QLocale::English, QLocale::UnitedStates));
const app::ValueDisplay kGerman(QLocale(QLocale::German, QLocale::Germany));

jet::DateTime at(double days) { return jet::DateTime{days}; }

TEST(ValueDisplay, NumbersArePlainAndKeepTheirSign) {
    EXPECT_EQ(kUs.text(std::uint8_t{200}), "200");
    EXPECT_EQ(kUs.text(std::int16_t{-5}), "-5");
    EXPECT_EQ(kUs.text(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808");
    EXPECT_EQ(kUs.text(-1.5), "-1.5");
    EXPECT_EQ(kUs.text(0.1f), "0.1");  // the float's shortest text, not 0.100000001
    EXPECT_EQ(kUs.text(true), "Yes");
    EXPECT_EQ(kUs.text(false), "No");
    EXPECT_TRUE(app::alignsRight(jet::ColumnType::Currency));
    EXPECT_FALSE(app::alignsRight(jet::ColumnType::Text));
    EXPECT_FALSE(app::alignsRight(static_cast<jet::ColumnType>(70)));  // bytes of an unknown type
}

TEST(ValueDisplay, DecimalShowsEveryDigitOfItsScale) {
    EXPECT_EQ(kUs.text(jet::Decimal{12345, 2, true}), "-123.45");
    EXPECT_EQ(kUs.text(jet::Decimal{100, 2, false}), "1.00");
    EXPECT_EQ(kUs.text(jet::Decimal{5, 3, false}), "0.005");
    EXPECT_EQ(kUs.text(jet::Decimal{0, 0, true}), "0");
}

TEST(ValueDisplay, CurrencyHasTheLocaleFormAndTwoDecimals) {
    EXPECT_EQ(kUs.text(jet::Currency{12'345'678}), "$1,234.57");
    EXPECT_EQ(kUs.text(jet::Currency{-12'345'678}), "($1,234.57)");
    // Beyond a double's 15 digits: every digit must survive.
    EXPECT_EQ(kUs.text(jet::Currency{std::numeric_limits<std::int64_t>::max()}),
              "$922,337,203,685,477.58");
    EXPECT_EQ(kUs.text(jet::Currency{std::numeric_limits<std::int64_t>::min()}),
              "($922,337,203,685,477.58)");
    EXPECT_EQ(kUs.text(jet::Currency{-40}), "$0.00");  // no negative zero
}

TEST(ValueDisplay, DatesInGeneralDateForm) {
    EXPECT_EQ(kGerman.text(at(45000.5)), "15.03.2023 12:00:00");
    EXPECT_EQ(kUs.text(at(45000.0)), "3/15/2023");  // midnight: the date alone, four-digit year
    EXPECT_EQ(kGerman.text(at(0.75)), "18:00:00");  // 30 Dec 1899: the time alone
    EXPECT_EQ(kGerman.text(at(-0.25)), "06:00:00");
    EXPECT_EQ(kGerman.text(at(-1.25)), "29.12.1899 06:00:00");  // the time counts forward
    EXPECT_EQ(kGerman.text(at(45000.9999999)), "16.03.2023");   // rounds into the next day
    EXPECT_EQ(kUs.text(at(1e12)), "1e+12");                     // no calendar date: the number
}

TEST(ValueDisplay, TextGuidBinaryAndNull) {
    EXPECT_EQ(kUs.text(std::string("Zo\xc3\xab")), QString::fromUtf8("Zo\xc3\xab"));
    EXPECT_EQ(kUs.text(jet::Null{}), "");
    EXPECT_EQ(kUs.text(jet::Bytes{1, 2}), "Long binary data");
    EXPECT_EQ(kUs.text(jet::Bytes{}), "");
    jet::Guid guid;
    guid.bytes = {0x78, 0x56, 0x34, 0x12, 0xbc, 0x9a, 0xf0, 0xde, 1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(kUs.text(guid), "{12345678-9ABC-DEF0-0102-030405060708}");
}

}  // namespace
