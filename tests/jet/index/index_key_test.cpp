// Index keys must sort as their values do when compared as bytes: ascending columns in value
// order with Null first, descending columns reversed with Null last. (That each key equals the
// bytes Access stored is checked on every fixture by the integrity checker.)
#include "jet/index/index_key.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

namespace {

using jet::ColumnType;
using jet::Value;
using jet::index::appendKeyColumn;
using jet::index::KeyColumn;
using Bytes = std::vector<std::uint8_t>;

Bytes keyOf(ColumnType type, bool ascending, const Value& v) {
    Bytes key;
    EXPECT_TRUE(appendKeyColumn(key, KeyColumn{type, ascending}, v));
    return key;
}

// `values` in ascending order; Null goes first.
void expectOrdered(ColumnType type, const std::vector<Value>& values) {
    for (const bool ascending : {true, false}) {
        std::vector<Bytes> keys{keyOf(type, ascending, jet::Null{})};
        for (const auto& v : values) keys.push_back(keyOf(type, ascending, v));
        if (!ascending) std::reverse(keys.begin(), keys.end());
        for (std::size_t i = 1; i < keys.size(); ++i) {
            EXPECT_LT(keys[i - 1], keys[i]) << "type " << static_cast<int>(type) << ", position "
                                            << i << (ascending ? " ascending" : " descending");
        }
    }
}

TEST(IndexKey, IntegersSortByValue) {
    expectOrdered(ColumnType::Byte, {std::uint8_t{0}, std::uint8_t{1}, std::uint8_t{255}});
    expectOrdered(ColumnType::Integer, {std::int16_t{-32768}, std::int16_t{-1}, std::int16_t{0},
                                        std::int16_t{1}, std::int16_t{32767}});
    expectOrdered(ColumnType::Long, {std::numeric_limits<std::int32_t>::min(), std::int32_t{-256},
                                     std::int32_t{-1}, std::int32_t{0}, std::int32_t{255},
                                     std::int32_t{256}, std::numeric_limits<std::int32_t>::max()});
    expectOrdered(ColumnType::BigInt, {std::int64_t{-5000000000}, std::int64_t{-1}, std::int64_t{0},
                                       std::int64_t{5000000000}});
    expectOrdered(ColumnType::Currency,
                  {jet::Currency{-10000}, jet::Currency{-1}, jet::Currency{0}, jet::Currency{1}});
}

TEST(IndexKey, FloatingPointSortsByValue) {
    expectOrdered(ColumnType::Double,
                  {-std::numeric_limits<double>::infinity(), -1e300, -2.5, -1.0, -1e-300, 0.0,
                   1e-300, 1.0, 2.5, 1e300, std::numeric_limits<double>::infinity()});
    expectOrdered(ColumnType::Single, {-3.5f, -1.0f, 0.0f, 0.25f, 1.0f, 3.5f});
    expectOrdered(ColumnType::DateTime, {jet::DateTime{-700000.5}, jet::DateTime{-1.25},
                                         jet::DateTime{0}, jet::DateTime{45000.75}});
}

// Yes/No has no Null: it sorts True (-1) before False (0).
TEST(IndexKey, YesNoSortsTrueFirst) {
    EXPECT_LT(keyOf(ColumnType::YesNo, true, true), keyOf(ColumnType::YesNo, true, false));
    EXPECT_GT(keyOf(ColumnType::YesNo, false, true), keyOf(ColumnType::YesNo, false, false));
}

// A GUID is keyed in the order it is written, in two segments of eight bytes each followed by
// its length byte (9: more follows); descending keys invert all but that 9.
TEST(IndexKey, GuidsKeyInWrittenOrderInSegments) {
    // {00112233-4455-6677-8899-AABBCCDDEEFF}: the first three groups are stored little-endian.
    jet::Guid g;
    g.bytes = {0x33, 0x22, 0x11, 0x00, 0x55, 0x44, 0x77, 0x66,
               0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
    EXPECT_EQ(keyOf(ColumnType::GUID, true, g),
              (Bytes{0x7F, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x09, 0x88, 0x99, 0xAA,
                     0xBB, 0xCC, 0xDD, 0xEE, 0xFF, 0x08}));
    Bytes descending = keyOf(ColumnType::GUID, false, g);
    ASSERT_EQ(descending.size(), 19u);
    EXPECT_EQ(descending[9], 0x09);
    EXPECT_EQ(descending[18], static_cast<std::uint8_t>(~0x08));
    EXPECT_EQ(descending[1], 0xFF);

    jet::Guid low, high;
    low.bytes[3] = 0x01;   // {01000000-...}
    high.bytes[0] = 0x01;  // {00000001-...}: smaller as written, though not as stored
    expectOrdered(ColumnType::GUID, {jet::Guid{}, high, low});
}

TEST(IndexKey, TypesWithoutAnEncodingAreDeclined) {
    Bytes key{0x01};
    EXPECT_FALSE(appendKeyColumn(key, KeyColumn{ColumnType::Text, true}, std::string("a")));
    EXPECT_FALSE(appendKeyColumn(key, KeyColumn{ColumnType::Long, true}, std::string("a")));
    EXPECT_EQ(key, Bytes{0x01});
}

}  // namespace
