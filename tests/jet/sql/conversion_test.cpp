// Storing a value into a column: rounding, ranges, text lengths and the errors that name both.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <tuple>

#include "jet/sql/evaluator.h"
#include "jet/sql/evaluator_support.h"
#include "jet/values/value_rules.h"

namespace jet::sql {
namespace {

using sqltest::column;
using sqltest::dec;

ColumnDef decimalColumn(int precision, int scale) {
    ColumnDef c = column("Amount", ColumnType::Decimal);
    c.precision = static_cast<std::uint8_t>(precision);
    c.scale = static_cast<std::uint8_t>(scale);
    return c;
}

Error storeError(const Value& v, const ColumnDef& c) {
    try {
        convertForColumn(v, c);
    } catch (const Error& e) {
        return e;
    }
    ADD_FAILURE() << "stored into " << c.name;
    return Error(ErrorCode::Io, "");
}

TEST(StoringWholeNumbers, RoundHalfToEvenAndCheckTheRange) {
    const ColumnDef qty = column("Qty", ColumnType::Integer);
    const std::pair<Value, std::int16_t> cases[] = {
        {2.5, 2},
        {3.5, 4},
        {-2.5, -2},
        {0.5, 0},
        {1.5, 2},
        {0.4, 0},
        {Currency{25000}, 2},
        {dec("3.5"), 4},
        {std::string("2.5"), 2},
        {std::string(" 7 "), 7},
        {true, -1},
        {std::int32_t{-32768}, -32768},
    };
    for (const auto& [v, expected] : cases) {
        EXPECT_EQ(convertForColumn(v, qty), Value{expected}) << describeValue(v);
    }
    const Error e = storeError(std::int32_t{70000}, qty);
    EXPECT_EQ(e.code(), ErrorCode::Overflow);
    EXPECT_STREQ(e.what(), "The value 70000 does not fit field 'Qty' (Integer).");

    const ColumnDef small = column("Small", ColumnType::Byte);
    EXPECT_EQ(convertForColumn(254.5, small), Value{std::uint8_t{254}});
    EXPECT_EQ(storeError(255.5, small).code(), ErrorCode::Overflow);  // rounds to 256
    EXPECT_EQ(storeError(std::int32_t{-1}, small).code(), ErrorCode::Overflow);
    EXPECT_EQ(storeError(true, small).code(), ErrorCode::Overflow);  // True is -1
    EXPECT_EQ(storeError(2147483648.0, column("N", ColumnType::Long)).code(), ErrorCode::Overflow);
    EXPECT_EQ(convertForColumn(std::string("9223372036854775807"), column("B", ColumnType::BigInt)),
              Value{INT64_MAX});
    EXPECT_EQ(storeError(1e19, column("B", ColumnType::BigInt)).code(), ErrorCode::Overflow);
}

TEST(StoringCurrencyAndDecimal, RoundToTheirPlacesHalfToEven) {
    const ColumnDef price = column("Price", ColumnType::Currency);
    EXPECT_EQ(convertForColumn(1.23455, price), Value{Currency{12346}});
    EXPECT_EQ(convertForColumn(1.23445, price), Value{Currency{12344}});
    EXPECT_EQ(convertForColumn(5.25015, price), Value{Currency{52502}});
    EXPECT_EQ(convertForColumn(std::string("12.34567"), price), Value{Currency{123457}});
    EXPECT_EQ(convertForColumn(std::int32_t{-7}, price), Value{Currency{-70000}});
    EXPECT_EQ(convertForColumn(std::string("-922337203685477.5808"), price),
              Value{Currency{INT64_MIN}});
    EXPECT_EQ(storeError(1e15, price).code(), ErrorCode::Overflow);

    const ColumnDef amount = decimalColumn(18, 4);
    EXPECT_EQ(convertForColumn(1.23455, amount), Value{dec("1.2346")});
    const Value five = convertForColumn(std::int32_t{5}, amount);
    EXPECT_EQ(std::get<Decimal>(five).scale, 4);  // stored at the column's scale
    EXPECT_EQ(formatDecimal(std::get<Decimal>(five)), "5");
    EXPECT_EQ(convertForColumn(std::string("12345678901234.5"), amount),
              Value{dec("12345678901234.5000")});
    EXPECT_EQ(storeError(std::string("123456789012345"), amount).code(), ErrorCode::Overflow);
    const ColumnDef narrow = decimalColumn(5, 2);
    EXPECT_EQ(convertForColumn(999.994, narrow), Value{dec("999.99")});
    EXPECT_EQ(storeError(999.995, narrow).code(), ErrorCode::Overflow);  // 1000.00: 6 digits
}

TEST(StoringCurrencyAndDecimal, ADoubleKeepsFifteenSignificantDigitsInADecimal) {
    const ColumnDef fraction = decimalColumn(28, 20);
    const ColumnDef whole = decimalColumn(28, 4);
    const std::tuple<double, const ColumnDef*, const char*> cases[] = {
        {0.1 + 0.2, &fraction, "0.3"},
        {1.0 / 3.0, &fraction, "0.333333333333333"},
        {-2.0 / 3.0, &fraction, "-0.666666666666667"},
        // Rounded from the exact binary value (1.23456789012345491...), not from its shortest
        // digits 1.234567890123455, which would round up.
        {1.234567890123455, &fraction, "1.23456789012345"},
        // Exact halves at the 16th digit go to even.
        {123456789012345.5, &whole, "123456789012346"},
        {123456789012344.5, &whole, "123456789012344"},
        {1e20 / 3.0, &whole, "33333333333333300000"},
    };
    for (const auto& [x, c, expected] : cases) {
        const Value stored = convertForColumn(x, *c);
        EXPECT_EQ(formatDecimal(std::get<Decimal>(stored)), expected) << x;
        EXPECT_EQ(std::get<Decimal>(stored).scale, c->scale) << x;
    }
    // Then the column's scale: a second rounding, of the 15 digits.
    EXPECT_EQ(convertForColumn(2.0 / 3.0, decimalColumn(18, 2)), Value{dec("0.67")});
    EXPECT_EQ(formatDecimal(std::get<Decimal>(convertForColumn(1e-25, fraction))), "0");
    EXPECT_EQ(storeError(1e30, whole).code(), ErrorCode::Overflow);
    // Currency rounds the Double's own digits, not the 15.
    EXPECT_EQ(convertForColumn(123456789012.34567, column("Price", ColumnType::Currency)),
              Value{Currency{1234567890123457}});

    // A calculated column keeps the 15 digits at their own scale.
    ColumnDef calculated = column("Total", ColumnType::Decimal);
    calculated.calculated = true;
    EXPECT_EQ(convertForColumn(0.1 + 0.2, calculated), Value{dec("0.3")});
    EXPECT_EQ(convertForColumn(1e-25 / 3.0, calculated),
              Value{dec("0.0000000000000000000000000333")});
}

TEST(StoringFloatingPoint, SingleAndDouble) {
    EXPECT_EQ(convertForColumn(1.1, column("S", ColumnType::Single)), Value{1.1f});
    EXPECT_EQ(storeError(1e39, column("S", ColumnType::Single)).code(), ErrorCode::Overflow);
    const ColumnDef d = column("D", ColumnType::Double);
    EXPECT_EQ(convertForColumn(std::string("1e3"), d), Value{1000.0});
    EXPECT_EQ(convertForColumn(dec("0.1"), d), Value{0.1});
    EXPECT_EQ(convertForColumn(Currency{35000}, d), Value{3.5});
}

TEST(StoringText, NumbersInShortestFormAndLengthsCheckedInTheFilesUnits) {
    const ColumnDef notes = column("Notes", ColumnType::Memo);
    EXPECT_EQ(convertForColumn(0.1 + 0.2, notes), Value{"0.30000000000000004"});
    EXPECT_EQ(convertForColumn(1.5, notes), Value{"1.5"});
    EXPECT_EQ(convertForColumn(Currency{35000}, notes), Value{"3.5"});
    EXPECT_EQ(convertForColumn(1.1f, notes), Value{"1.1"});
    EXPECT_EQ(convertForColumn(dec("12.50"), notes), Value{"12.5"});
    EXPECT_EQ(convertForColumn(false, notes), Value{"0"});
    EXPECT_EQ(convertForColumn(DateTime{27293}, notes), Value{"9/21/1974"});
    EXPECT_EQ(convertForColumn(std::string(100000, 'x'), notes), Value{std::string(100000, 'x')});

    const ColumnDef name = column("Name", ColumnType::Text, 20);  // Jet 4: 10 characters
    EXPECT_EQ(convertForColumn(std::string("abcdéfghij"), name), Value{"abcdéfghij"});
    EXPECT_EQ(convertForColumn(1234567890, name), Value{"1234567890"});
    Error e = storeError(std::string("abcdefghijk"), name);
    EXPECT_EQ(e.code(), ErrorCode::ValueTooLong);
    EXPECT_STREQ(e.what(),
                 "The value 'abcdefghijk' is too long for field 'Name' (Text), which holds 10 "
                 "characters.");
    // A character outside the Basic Multilingual Plane takes two UTF-16 units.
    EXPECT_EQ(storeError(std::string("abcdefghi\xF0\x9F\x98\x80"), name).code(),
              ErrorCode::ValueTooLong);

    // Jet 3 stores one byte per character: the same size holds 20.
    ColumnDef jet3 = name;
    jet3.codePage = 1252;
    EXPECT_EQ(convertForColumn(std::string(20, 'x'), jet3), Value{std::string(20, 'x')});
    EXPECT_EQ(storeError(std::string(21, 'x'), jet3).code(), ErrorCode::ValueTooLong);
    EXPECT_EQ(convertForColumn(std::string(20, 'x'), name, Version::Jet3),
              Value{std::string(20, 'x')});
    EXPECT_EQ(storeError(12345678901.0, name).code(), ErrorCode::ValueTooLong);
}

TEST(StoringTextIntoOtherTypes, MustReadAsNumberOrDate) {
    const ColumnDef qty = column("Qty", ColumnType::Long);
    const Error e = storeError(std::string("abc"), qty);
    EXPECT_EQ(e.code(), ErrorCode::TypeMismatch);
    EXPECT_STREQ(e.what(), "Type mismatch storing into field 'Qty' (Long): 'abc' is not a number.");
    EXPECT_EQ(storeError(std::string(""), qty).code(), ErrorCode::TypeMismatch);
    EXPECT_EQ(storeError(std::string("1,000"), qty).code(), ErrorCode::TypeMismatch);

    const ColumnDef when = column("When", ColumnType::DateTime);
    EXPECT_EQ(convertForColumn(std::string("9/21/1974"), when), Value{DateTime{27293}});
    EXPECT_EQ(convertForColumn(27293.5, when), Value{DateTime{27293.5}});
    EXPECT_EQ(storeError(std::string("2020-13-01"), when).code(), ErrorCode::TypeMismatch);
    EXPECT_EQ(storeError(1e7, when).code(), ErrorCode::Overflow);  // past 9999

    const ColumnDef id = column("Id", ColumnType::GUID);
    const Value g = convertForColumn(std::string("{01020304-0506-0708-090A-0B0C0D0E0F10}"), id);
    EXPECT_EQ(formatGuid(std::get<Guid>(g)), "{01020304-0506-0708-090A-0B0C0D0E0F10}");
    EXPECT_EQ(storeError(std::string("{nope}"), id).code(), ErrorCode::TypeMismatch);
}

TEST(StoringYesNo, NonzeroIsTrueAndNullIsFalse) {
    const ColumnDef paid = column("Paid", ColumnType::YesNo);
    EXPECT_EQ(convertForColumn(std::int32_t{2}, paid), Value{true});
    EXPECT_EQ(convertForColumn(-0.5, paid), Value{true});
    EXPECT_EQ(convertForColumn(0.0, paid), Value{false});
    EXPECT_EQ(convertForColumn(Currency{0}, paid), Value{false});
    EXPECT_EQ(convertForColumn(std::string("True"), paid), Value{true});
    EXPECT_EQ(convertForColumn(Null{}, paid), Value{false});
    EXPECT_EQ(storeError(std::string("abc"), paid).code(), ErrorCode::TypeMismatch);
}

TEST(StoringOther, NullStaysNullAndUnwritableKindsAreRefused) {
    EXPECT_EQ(convertForColumn(Null{}, column("Qty", ColumnType::Long)), Value{Null{}});
    EXPECT_EQ(convertForColumn(Null{}, column("Name", ColumnType::Text, 20)), Value{Null{}});
    ColumnDef bin = column("Bin", ColumnType::Binary, 2);
    EXPECT_EQ(storeError(Bytes{1, 2, 3}, bin).code(), ErrorCode::ValueTooLong);
    EXPECT_EQ(storeError(std::int32_t{1}, bin).code(), ErrorCode::TypeMismatch);
    EXPECT_EQ(storeError(std::int32_t{1}, column("Files", ColumnType::Complex)).code(),
              ErrorCode::NotUpdatable);
}

}  // namespace
}  // namespace jet::sql
