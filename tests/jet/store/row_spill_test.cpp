// Rows set aside while a table is written afresh come back exactly as they went in: every kind of
// value, empty text and bytes, rows of different lengths whose values change kind from one row
// to the next (the row read into keeps its buffers), and a row larger than the spill's buffer.
#include "jet/store/row_spill.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/fixtures.h"

using namespace jet;

namespace {

TEST(RowSpill, RowsComeBackAsTheyWentIn) {
    testsupport::TempDir dir;
    Decimal decimal;
    decimal.magnitude = 0xFFFFFFFFFFFFFFFFull;
    decimal.magnitude = (decimal.magnitude << 30) + 7;  // more than 64 bits
    decimal.scale = 4;
    decimal.negative = true;
    Guid guid;
    for (std::uint8_t i = 0; i < 16; ++i) guid.bytes[i] = static_cast<std::uint8_t>(i * 17);
    const std::vector<std::vector<Value>> rows = {
        {Null{}, true, std::uint8_t{200}, std::int16_t{-300}, std::int32_t{-70000},
         std::int64_t{1} << 40, Currency{-123456789}, 1.5f, -2.25, DateTime{45000.75},
         DateTimeExtended{738000, 123456789}, decimal, guid, ComplexId{42},
         std::string("Caf\u00e9 \u20ac"), Bytes{0, 1, 2, 255}},
        {},
        {std::string(), Bytes{}, Null{}},
        // The same places, other kinds: a text where bytes were, bytes where a text was.
        {Bytes{9, 9}, std::string("x"), std::int32_t{5}},
        {std::string(3u << 20, 'q'), Bytes((1u << 20) + 3, 0xAB), false},
        {std::string("after the long row")},
    };
    store::RowSpill spill((dir.path() / "x.mdb").string());
    for (const auto& row : rows) spill.add(row);
    EXPECT_EQ(spill.size(), rows.size());
    for (int pass = 0; pass < 2; ++pass) {
        spill.rewind();
        std::vector<Value> row;
        for (const auto& expected : rows) {
            ASSERT_TRUE(spill.next(row));
            EXPECT_EQ(row, expected);
        }
        EXPECT_FALSE(spill.next(row));
    }
}

}  // namespace
