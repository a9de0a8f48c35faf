// The constant read from what the user typed, in English and German, and written back for SQL.
#include "math/constant_number.h"

#include <gtest/gtest.h>

#include <charconv>
#include <limits>
#include <optional>

namespace {

void expectNumbers(const QLocale& locale,
                   std::initializer_list<std::pair<const char*, double>> numbers) {
    for (const auto& [text, value] : numbers) {
        EXPECT_EQ(app::readConstant(QString::fromUtf8(text), locale), value) << '"' << text << '"';
    }
}

void expectNoNumbers(const QLocale& locale, std::initializer_list<const char*> texts) {
    for (const char* text : texts) {
        EXPECT_EQ(app::readConstant(QString::fromUtf8(text), locale), std::nullopt)
            << '"' << text << '"';
    }
}

TEST(ConstantNumber, ReadsEnglishTextsAsTyped) {
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    expectNumbers(english, {{"10", 10},
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
                            {"-1,234,567.5", -1234567.5}});
    // Commas out of their groups of three, stray characters, nothing, values beyond a Double.
    expectNoNumbers(english, {"1,5",   "1,0000", "1234,567", ",100", "1,",  "1,000,00", "1,5e3",
                              "",      "   ",    "-",        ".",    "1e",  "e3",       "1.5.2",
                              "1 000", "12abc",  "--3",      "inf",  "nan", "1e400"});
}

TEST(ConstantNumber, ReadsGermanTextsWithTheGermanSeparators) {
    const QLocale german(QLocale::German, QLocale::Germany);
    expectNumbers(german, {{"1,5", 1.5},
                           {"1.000", 1000},
                           {"-1.234.567,25", -1234567.25},
                           {" 2,5e2 ", 250},
                           {"0,4", 0.4}});
    expectNoNumbers(german, {"1.5", "1,000.5", "1.0000"});
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
        {std::numeric_limits<double>::denorm_min(), "5E-324"}};
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
