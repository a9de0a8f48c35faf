// Decoding stored column bytes. Byte sequences marked with a fixture name were read from that file
// with a hex dump; the others are built by hand to reach the corners of each encoding.
#include "jet/store/field_codec.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <limits>
#include <string>
#include <vector>

#include "jet/base/error.h"
#include "jet/store/field_encoder.h"

namespace jet::store {
namespace {

using ByteList = std::vector<std::uint8_t>;

std::string unicode(std::initializer_list<std::uint8_t> bytes) {
    const ByteList v(bytes);
    return decodeUnicodeText(v);
}

std::string codePage(std::initializer_list<std::uint8_t> bytes, std::uint16_t page) {
    const ByteList v(bytes);
    return decodeCodePageText(v, page);
}

ErrorCode errorOf(auto&& call) {
    try {
        call();
    } catch (const Error& e) {
        return e.code();
    }
    ADD_FAILURE() << "no jet::Error thrown";
    return ErrorCode::Io;
}

TEST(UnicodeTextTest, PlainUtf16) {
    EXPECT_EQ(unicode({}), "");
    // jet4/test2000.mdb, Table1.B: "hijklmnop" stored without compression.
    EXPECT_EQ(
        unicode({0x68, 0, 0x69, 0, 0x6a, 0, 0x6b, 0, 0x6c, 0, 0x6d, 0, 0x6e, 0, 0x6f, 0, 0x70, 0}),
        "hijklmnop");
    EXPECT_EQ(unicode({0xe9, 0x00, 0xac, 0x20, 0x2d, 0x4e}), "\u00e9\u20ac\u4e2d");
    EXPECT_EQ(unicode({0x61, 0x00, 0x62}), "a");  // a lone last byte is no character
}

TEST(UnicodeTextTest, CompressedRunsAndSwitches) {
    // jet4/test2000.mdb, Table1.A: "abcdefg".
    EXPECT_EQ(unicode({0xff, 0xfe, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67}), "abcdefg");
    EXPECT_EQ(unicode({0xff, 0xfe}), "");
    // One-byte characters are code points U+0001..U+00FF, not Windows-1252.
    EXPECT_EQ(unicode({0xff, 0xfe, 0xe9, 0x80}), "\u00e9\u0080");
    // one-byte run, UTF-16 run, one-byte run
    EXPECT_EQ(unicode({0xff, 0xfe, 'a', 'b', 0x00, 0x2d, 0x4e, 0x87, 0x65, 0x00, 'c'}),
              "ab\u4e2d\u6587c");
    // The text may start in UTF-16 and end in either mode.
    EXPECT_EQ(unicode({0xff, 0xfe, 0x00, 0x2d, 0x4e}), "\u4e2d");
    // Two switches in a row are an empty UTF-16 run.
    EXPECT_EQ(unicode({0xff, 0xfe, 'a', 0x00, 0x00, 'b'}), "ab");
}

TEST(UnicodeTextTest, CompressedSwitchOnlyWhereAUnitStarts) {
    // In a UTF-16 run 61 00 is 'a'; its 00 must not be taken for a switch. The next 00 starts a
    // unit and is one.
    EXPECT_EQ(unicode({0xff, 0xfe, 0x00, 0x2d, 0x4e, 0x61, 0x00, 0x00, 'z'}),
              "\u4e2d"
              "az");
    // Half a unit at the end of a UTF-16 run is dropped, the rest kept.
    EXPECT_EQ(unicode({0xff, 0xfe, 'x', 0x00, 0x2d, 0x4e, 0x61}), "x\u4e2d");
}

TEST(UnicodeTextTest, SurrogatePairsAndStrays) {
    // ace/testEmoticonsV2010.accdb, data: U+1F64F between two 'a'.
    EXPECT_EQ(unicode({0x61, 0x00, 0x3d, 0xd8, 0x4f, 0xde, 0x61, 0x00}), "a\U0001F64Fa");
    // A pair inside the UTF-16 run of compressed text.
    EXPECT_EQ(unicode({0xff, 0xfe, 'a', 0x00, 0x3d, 0xd8, 0x4f, 0xde}), "a\U0001F64F");
    // Unpaired halves become U+FFFD; the character after a lone high surrogate survives.
    EXPECT_EQ(unicode({0x3d, 0xd8}), "\uFFFD");
    EXPECT_EQ(unicode({0x00, 0xde, 0x61, 0x00}),
              "\uFFFD"
              "a");
    EXPECT_EQ(unicode({0x3d, 0xd8, 0x61, 0x00}),
              "\uFFFD"
              "a");
    EXPECT_EQ(unicode({0x3d, 0xd8, 0x3d, 0xd8, 0x00, 0xde}), "\uFFFD\U0001F600");
}

// Written compressed only where every character takes one byte and none is U+0000 (whose 00
// would read as a switch): plain ASCII, the common case, and the rest of Latin-1 alike.
TEST(UnicodeTextTest, EncodedCompressedWhereEveryCharacterTakesOneByte) {
    const auto encoded = [](const std::string& s, bool compress) {
        const ByteList bytes = encodeUnicodeText(s, compress);
        EXPECT_EQ(decodeUnicodeText(bytes), s);
        return bytes;
    };
    EXPECT_EQ(encoded("ab", true), (ByteList{0xff, 0xfe, 'a', 'b'}));
    EXPECT_EQ(encoded("ab", false), (ByteList{'a', 0, 'b', 0}));
    EXPECT_EQ(encoded("", true), ByteList{});
    EXPECT_EQ(encoded("\u00e9a", true), (ByteList{0xff, 0xfe, 0xe9, 'a'}));
    EXPECT_EQ(encoded("a\u20ac", true), (ByteList{'a', 0, 0xac, 0x20}));
    EXPECT_EQ(encodeUnicodeText(std::string("a\0b", 3), true), (ByteList{'a', 0, 0, 0, 'b', 0}));
    EXPECT_EQ(utf16Length("abc"), 3u);
    EXPECT_EQ(utf16Length("a\u00e9\U0001F64F"), 4u);
}

TEST(CodePageTextTest, WindowsCodePages) {
    EXPECT_EQ(codePage({}, 1252), "");
    EXPECT_EQ(codePage({'C', 'a', 'f', 0xe9, ' ', 0x80}, 1252), "Caf\u00e9 \u20ac");
    EXPECT_EQ(codePage({0xe9, 0x80}, 0), "\u00e9\u20ac");  // 0 means 1252
    EXPECT_EQ(codePage({0xc0, 0xff}, 1251), "\u0410\u044f");
    EXPECT_EQ(codePage({0x82, 0xa0, 'x'}, 932), "\u3042x");
    EXPECT_EQ(codePage({0xe0}, 1255), "\u05d0");  // held back for combining, must be flushed
    EXPECT_EQ(codePage({0xdf, 0x80}, 874), "\u0e3f\u20ac");
}

TEST(CodePageTextTest, InvalidBytesAreReplacedNotFatal) {
    // 0xAA has no character in Windows-1253.
    EXPECT_EQ(codePage({'a', 0xAA, 'b', 0xAA}, 1253), "a\uFFFDb\uFFFD");
    // The five bytes Windows-1252 leaves undefined read, as in Windows, as the C1 controls of
    // the same number, so that they are written back as they were.
    EXPECT_EQ(codePage({'a', 0x81, 0x8D, 0x8F, 0x90, 0x9D}, 1252),
              "a\u0081\u008D\u008F\u0090\u009D");
    // A Shift-JIS lead byte with nothing after it.
    EXPECT_EQ(codePage({'a', 0x82}, 932), "a\uFFFD");
    // Every byte invalid: the output grows past the first estimate.
    const ByteList bad(1000, 0xAA);
    std::string expected;
    for (int i = 0; i < 1000; ++i) expected += "\uFFFD";
    EXPECT_EQ(decodeCodePageText(bad, 1253), expected);
    EXPECT_EQ(errorOf([] { codePage({'a'}, 9999); }), ErrorCode::Unsupported);
}

TEST(FixedValueTest, IntegersAreLittleEndianAndSigned) {
    auto fixed = [](ColumnType type, ByteList bytes) { return decodeFixed(type, bytes); };
    EXPECT_EQ(fixed(ColumnType::Byte, {0xff}), Value(std::uint8_t{255}));
    // jet4/test2000.mdb, Table1.D and E: 222 and 333333333.
    EXPECT_EQ(fixed(ColumnType::Integer, {0xde, 0x00}), Value(std::int16_t{222}));
    EXPECT_EQ(fixed(ColumnType::Long, {0x55, 0x43, 0xde, 0x13}), Value(std::int32_t{333333333}));
    EXPECT_EQ(fixed(ColumnType::Integer, {0x00, 0x80}), Value(std::int16_t{-32768}));
    EXPECT_EQ(fixed(ColumnType::Long, {0xff, 0xff, 0xff, 0xff}), Value(std::int32_t{-1}));
    EXPECT_EQ(fixed(ColumnType::BigInt, {0xfe, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x7f}),
              Value(std::numeric_limits<std::int64_t>::max() - 1));
    EXPECT_EQ(fixed(ColumnType::Complex, {0x02, 0x01, 0x00, 0x00}), Value(ComplexId{258}));
}

TEST(FixedValueTest, MoneyFloatsDatesAndGuids) {
    auto fixed = [](ColumnType type, ByteList bytes) { return decodeFixed(type, bytes); };
    // jet4/test2000.mdb, Table1.H (3.5000), F (444.555), G (1974-09-21).
    EXPECT_EQ(fixed(ColumnType::Currency, {0xb8, 0x88, 0, 0, 0, 0, 0, 0}), Value(Currency{35000}));
    EXPECT_EQ(fixed(ColumnType::Currency, {0x60, 0x97, 0xf9, 0xff, 0xff, 0xff, 0xff, 0xff}),
              Value(Currency{-420000}));
    EXPECT_EQ(fixed(ColumnType::Double, {0x7b, 0x14, 0xae, 0x47, 0xe1, 0xc8, 0x7b, 0x40}),
              Value(444.555));
    EXPECT_EQ(fixed(ColumnType::DateTime, {0, 0, 0, 0, 0x40, 0xa7, 0xda, 0x40}),
              Value(DateTime{27293}));
    EXPECT_EQ(fixed(ColumnType::Single, {0x00, 0x00, 0xc0, 0x3f}), Value(1.5f));

    const ByteList guid = {0xa0, 0x6c, 0x09, 0x8f, 0x16, 0xfc, 0x88, 0x42,
                           0x80, 0x1e, 0x11, 0x9f, 0x26, 0xc0, 0xb6, 0xfc};
    const Value v = decodeFixed(ColumnType::GUID, guid);
    ASSERT_TRUE(std::holds_alternative<Guid>(v));
    EXPECT_EQ(formatGuid(std::get<Guid>(v)), "{8F096CA0-FC16-4288-801E-119F26C0B6FC}");
}

TEST(FixedValueTest, ShortOrNonFixedInputIsRefused) {
    const struct {
        ColumnType type;
        std::size_t size;
    } cases[] = {
        {ColumnType::Byte, 1},     {ColumnType::Integer, 2},  {ColumnType::Long, 4},
        {ColumnType::BigInt, 8},   {ColumnType::Currency, 8}, {ColumnType::Single, 4},
        {ColumnType::Double, 8},   {ColumnType::DateTime, 8}, {ColumnType::GUID, 16},
        {ColumnType::Decimal, 17}, {ColumnType::Complex, 4},  {ColumnType::DateTimeExtended, 42}};
    for (const auto& c : cases) {
        const ByteList tooShort(c.size - 1, 0x30);
        try {
            decodeFixed(c.type, tooShort);
            ADD_FAILURE() << columnTypeName(c.type) << " accepted " << tooShort.size() << " bytes";
        } catch (const Error& e) {
            EXPECT_EQ(e.code(), ErrorCode::Corrupt);
            EXPECT_NE(std::string(e.what()).find(columnTypeName(c.type)), std::string::npos)
                << e.what();
        }
    }
    const ByteList some(8, 0);
    for (const ColumnType t :
         {ColumnType::YesNo, ColumnType::Text, ColumnType::Memo, ColumnType::OLE}) {
        EXPECT_EQ(errorOf([&] { decodeFixed(t, some); }), ErrorCode::Unsupported);
    }
    EXPECT_EQ(errorOf([&] { decodeFixed(static_cast<ColumnType>(0x0E), some); }),
              ErrorCode::Unsupported);
}

TEST(DecimalTest, WordsMostSignificantFirstEachLittleEndian) {
    // ace/calcFieldTestV2010.accdb, Table1.Popularity, Numeric(18, 6).
    const ByteList positive = {0x00, 0,    0,    0,    0,    0,    0,    0,   0,
                               0x1c, 0x7c, 0x6a, 0x01, 0xf1, 0xf4, 0xed, 0xe1};
    EXPECT_EQ(formatDecimal(decodeDecimal(positive, 6)), "102030405060.654321");
    const ByteList negative = {0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xf8, 0xb4, 0x28, 0x02};
    const Decimal d = decodeDecimal(negative, 6);
    EXPECT_TRUE(d.negative);
    EXPECT_EQ(formatDecimal(d), "-36.2222");

    // Distinct bytes pin down where each one lands.
    const ByteList order = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08,
                            0x09, 0x0a, 0x0b, 0x0c, 0x0d, 0x0e, 0x0f, 0x10};
    __extension__ using UInt128 = unsigned __int128;
    const UInt128 expected = (UInt128{0x04030201} << 96) | (UInt128{0x08070605} << 64) |
                             (UInt128{0x0c0b0a09} << 32) | UInt128{0x100f0e0d};
    EXPECT_TRUE(decodeDecimal(order, 0).magnitude == expected);

    // 2^96 - 1, the largest Access Decimal, at the largest scale.
    const ByteList max96 = {0x80, 0,    0,    0,    0,    0xff, 0xff, 0xff, 0xff,
                            0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff};
    EXPECT_EQ(formatDecimal(decodeDecimal(max96, 28)), "-7.9228162514264337593543950335");
}

TEST(DecimalTest, ZeroHasNoSignAndScaleComesFromTheColumn) {
    const ByteList negativeZero = {0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    const Decimal z = decodeDecimal(negativeZero, 4);
    EXPECT_EQ(z, (Decimal{0, 4, false}));
    EXPECT_EQ(formatDecimal(z), "0");

    const ByteList one = {0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01, 0, 0, 0};
    EXPECT_EQ(decodeFixed(ColumnType::Decimal, one, 2), Value(Decimal{1, 2, false}));
    EXPECT_EQ(formatDecimal(decodeDecimal(one, 2)), "0.01");
}

ByteList extDate(const std::string& text) {
    ByteList v(text.begin(), text.end());
    v.push_back(0x00);
    return v;
}

TEST(DateTimeExtendedTest, StoredTextLayout) {
    // ace/extDateTestV2019.accdb, Table1.DateExt, row 6.
    const ByteList stored = extDate("0000000000000737954:0000000819123456789:7");
    ASSERT_EQ(stored.size(), 42u);
    const DateTimeExtended v = decodeDateTimeExtended(stored);
    EXPECT_EQ(v, (DateTimeExtended{737954, 819123456789}));
    EXPECT_EQ(formatDateTimeExtended(v), "2021-06-14T22:45:12.3456789");
    EXPECT_EQ(decodeFixed(ColumnType::DateTimeExtended, stored), Value(v));

    // A time field of more than a day moves into the day count.
    EXPECT_EQ(decodeDateTimeExtended(extDate("0000000000000000001:0000000864000000005:7")),
              (DateTimeExtended{2, 5}));
}

TEST(DateTimeExtendedTest, DamagedTextIsCorrupt) {
    for (const char* text :
         {"000000000000073795x:0000000819123456789:7", "0000000000000737954-0000000819123456789:7",
          "0000000000000737954:0000000819123456789-7", "9999999999999999999:0000000000000000000:7",
          "9223372036854775807:0000000864000000000:7"}) {
        EXPECT_EQ(errorOf([&] { decodeDateTimeExtended(extDate(text)); }), ErrorCode::Corrupt)
            << text;
    }
}

}  // namespace
}  // namespace jet::store
