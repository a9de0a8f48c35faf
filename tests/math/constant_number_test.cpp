// The constant read from what the user typed, in English and German, and written back for SQL.
#include "math/constant_number.h"

#include <gtest/gtest.h>

#include <charconv>
#include <limits>
#include <optional>

namespace {

struct Reading {
    const char* text;
    std::optional<double> value;
};

void expectReadings(const QLocale& locale, std::initializer_list<Reading> readings) {
    for (const Reading& r : readings) {
        SCOPED_TRACE(std::string("\"") + r.text + "\"");
        EXPECT_EQ(app::readConstant(QString::fromUtf8(r.text), locale), r.value);
    }
}

TEST(ConstantNumber, ReadsEnglishTextsAsTyped) {
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    expectReadings(english, {
                                {"10", 10},
                                {" 7 ", 7},
                                {"\t-3\t", -3},
                                {"+4", 4},
                                {"1e3", 1000},
                                {"2.5E-1", 0.25},
                                {"1.5e+2", 150},
                                {"0.4", 0.4},
                                {".5", 0.5},
                                {"5.", 5},
                                {"3000000000", 3e9},
                                {"1,000", 1000},
                                {"-1,234,567.5", -1234567.5},
                            });
    // Not numbers: commas out of their groups of three, stray characters, nothing at all, and
    // values beyond a Double.
    expectReadings(
        english, {
                     {"1,5", std::nullopt},   {"1,0000", std::nullopt}, {"1234,567", std::nullopt},
                     {",100", std::nullopt},  {"1,", std::nullopt},     {"1,000,00", std::nullopt},
                     {"1,5e3", std::nullopt}, {"", std::nullopt},       {"   ", std::nullopt},
                     {"-", std::nullopt},     {".", std::nullopt},      {"1e", std::nullopt},
                     {"e3", std::nullopt},    {"1.5.2", std::nullopt},  {"1 000", std::nullopt},
                     {"12abc", std::nullopt}, {"--3", std::nullopt},    {"inf", std::nullopt},
                     {"nan", std::nullopt},   {"1e400", std::nullopt},
                 });
}

TEST(ConstantNumber, ReadsGermanTextsWithTheGermanSeparators) {
    const QLocale german(QLocale::German, QLocale::Germany);
    expectReadings(german, {
                               {"1,5", 1.5},
                               {"1.000", 1000},
                               {"-1.234.567,25", -1234567.25},
                               {" 2,5e2 ", 250},
                               {"0,4", 0.4},
                               {"1.5", std::nullopt},
                               {"1.000,", 1000},
                               {"1,000.5", std::nullopt},
                           });
}

TEST(ConstantNumber, WritesTheShortestSqlTextThatReadsBack) {
    const std::pair<double, const char*> writings[] = {
        {10, "10"},
        {-3, "-3"},
        {1e3, "1000"},
        {2.5, "2.5"},
        {1.50, "1.5"},
        {-2.5, "-2.5"},
        {0.4, "0.4"},
        {-0.0, "0"},
        {3e9, "3000000000"},
        {0.1 + 0.2, "0.30000000000000004"},
        {999999999999999, "999999999999999"},
        {1e15, "1E+15"},
        {-1.5e20, "-1.5E+20"},
        {1e-9, "0.000000001"},
        {1.5e-10, "1.5E-10"},
        {std::numeric_limits<double>::max(), "1.7976931348623157E+308"},
        {std::numeric_limits<double>::denorm_min(), "5E-324"},
    };
    for (const auto& [value, text] : writings) {
        SCOPED_TRACE(text);
        const std::string written = app::sqlNumber(value);
        EXPECT_EQ(written, text);
        double back = 0;
        std::from_chars(written.data(), written.data() + written.size(), back);
        EXPECT_EQ(back, value);
    }
}

}  // namespace
