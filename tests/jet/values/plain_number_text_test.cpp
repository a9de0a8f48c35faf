// Text stored in a number field: plain decimal text ("12.50", "-7") is read straight from its
// digits, and must come out exactly as the same number read as an exact Decimal first: the same
// value, the same Double to the last bit (the sign of zero included), the same refusal.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "jet/values/conversion.h"
#include "jet/values/decimal_math.h"
#include "jet/values/value_rules.h"

namespace jet::values {
namespace {

// The value, or the error code it was refused with.
struct Stored {
    std::optional<Value> value;
    ErrorCode refused = ErrorCode::Io;
};

Stored store(const Value& v, ColumnType type) {
    try {
        return {convertToType(v, type), ErrorCode::Io};
    } catch (const ValueFault& f) {
        return {std::nullopt, f.code};
    }
}

void expectSame(const std::string& text, ColumnType type) {
    SCOPED_TRACE("'" + text + "' as " + columnTypeName(type));
    std::string_view digits = text;
    while (!digits.empty() && (digits.front() == ' ' || digits.front() == '\t')) {
        digits.remove_prefix(1);
    }
    while (!digits.empty() && (digits.back() == ' ' || digits.back() == '\t')) {
        digits.remove_suffix(1);
    }
    const std::optional<Decimal> exact = parseDecimal(digits);
    ASSERT_TRUE(exact.has_value());
    const Stored fromText = store(Value{text}, type);
    const Stored fromDecimal = store(Value{*exact}, type);
    ASSERT_EQ(fromText.value.has_value(), fromDecimal.value.has_value());
    if (!fromText.value) {
        EXPECT_EQ(fromText.refused, fromDecimal.refused);
        return;
    }
    EXPECT_EQ(*fromText.value, *fromDecimal.value);
    if (const auto* d = std::get_if<double>(&*fromText.value)) {
        const double other = std::get<double>(*fromDecimal.value);
        EXPECT_EQ(std::memcmp(d, &other, sizeof other), 0) << *d << " against " << other;
    }
}

const ColumnType kTypes[] = {ColumnType::Byte,   ColumnType::Integer,  ColumnType::Long,
                             ColumnType::BigInt, ColumnType::Currency, ColumnType::Double};

TEST(PlainNumberText, TheEdgesOfEveryTypeAsAnExactDecimalGivesThem) {
    const std::vector<std::string> texts = {
        "0", "-0", "+0", "0.0", "-0.0000", "00012", "255", "256", "-1", "32767", "32768", "-32768",
        "-32769", "2147483647", "2147483648", "-2147483648", "-2147483649", "922337203685477",
        "922337203685478", "-922337203685477.5808", "922337203685477.5807", "92233720368547.75807",
        "999999999999999999", "-999999999999999999", "0.1", "0.3", "2.5", "-2.5", "3.5", "1.00005",
        "1.23456", "123456789012345678", "0.000000000000000001", " 7 ", "\t-3.25", "+12.75",
        "9007199254740993", "1234567890.12345678",
        // Not plain: the general way reads these.
        "9223372036854775807", "9223372036854775808", "-9223372036854775809",
        "1234567890123456789012"};
    for (const auto& text : texts) {
        for (const ColumnType type : kTypes) expectSame(text, type);
    }
}

TEST(PlainNumberText, RandomDecimalTextAsAnExactDecimalGivesIt) {
    std::mt19937 random(20261209);
    const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    for (int i = 0; i < 20000; ++i) {
        std::string text = pick(3) == 0 ? "-" : (pick(8) == 0 ? "+" : "");
        const int whole = 1 + pick(pick(4) == 0 ? 20 : 8);
        for (int k = 0; k < whole; ++k) text += static_cast<char>('0' + pick(10));
        if (const int fraction = pick(8); fraction > 0) {
            text += '.';
            for (int k = 0; k < fraction; ++k) text += static_cast<char>('0' + pick(10));
        }
        for (const ColumnType type : kTypes) expectSame(text, type);
        if (HasFailure()) return;
    }
}

// Text that is not plain goes the general way: the same as its Decimal where it reads as one,
// else refused with the text quoted.
TEST(PlainNumberText, TextThatIsNotPlainGoesTheGeneralWay) {
    for (const char* text : {"12.", ".5", "1e5", "1,5", "- 5", "5-", "0x10", "1..2", "1.2.3"}) {
        if (parseDecimal(text)) {
            for (const ColumnType type : kTypes) expectSame(text, type);
            continue;
        }
        for (const ColumnType type : kTypes) {
            SCOPED_TRACE(std::string(text) + " as " + columnTypeName(type));
            try {
                EXPECT_FALSE(isNull(convertToType(Value{std::string(text)}, type)));
            } catch (const ValueFault& f) {
                EXPECT_NE(f.detail.find(text), std::string::npos) << f.detail;
            }
        }
    }
}

}  // namespace
}  // namespace jet::values
