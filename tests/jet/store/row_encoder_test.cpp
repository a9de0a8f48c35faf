// Every row of every Jet 4 and ACE fixture, encoded again from its values, reads back as the
// same values: the encoder is the decoder's inverse for every layout Access wrote.
#include "jet/store/row_encoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iostream>

#include "jet/database.h"
#include "jet/file/header.h"
#include "jet/file/page_file.h"
#include "jet/store/data_page.h"
#include "jet/store/field_codec.h"
#include "jet/store/row_codec.h"
#include "jet/store/usage_map.h"
#include "support/fixtures.h"

using namespace jet;
using namespace jet::store;

namespace {

struct Counts {
    std::size_t rows = 0;
    std::size_t freshlyEncoded = 0;
    std::size_t sameBytes = 0;   // fresh encodings byte for byte as Access wrote the row
    std::size_t onTheBytes = 0;  // rows encoded with one fixed field changed, from their bytes
};

// Walks the rows of every user table and checks both ways of encoding each one.
Counts roundTripAll(const std::string& path, bool systemTablesToo = false) {
    Counts counts;
    const auto db = Database::open(path);
    file::PageFile file(path);
    const auto header = file::openHeader(file, "");
    const auto& fmt = *header.format;
    std::vector<std::string> names = db->userTableNames();
    if (systemTablesToo) {
        for (const auto& e : db->catalog()) {
            if (e.type == 1 && e.name.rfind("MSys", 0) == 0) names.push_back(e.name);
        }
    }
    for (const auto& name : names) {
        const auto table = db->table(name);
        const RowDecoder decoder(file, fmt, *table, header.codePage);
        const RowEncoder encoder(fmt, *table, header.codePage);
        for (const auto pageNo : readUsageMap(file, fmt, RowPointer::from(table->usedPagesRow))) {
            const auto page = file.page(pageNo);
            if ((*page)[0] != kDataPageType) continue;
            const DataPage dp(fmt, *page);
            if (dp.ownerPage() != table->definitionPage) continue;
            for (std::uint16_t s = 0; s < dp.slotCount(); ++s) {
                const Slot slot = dp.slot(s);
                if (slot.deleted || slot.forwarded) continue;
                std::vector<Value> before, after;
                decoder.decode(slot.bytes, before);
                std::vector<std::optional<ByteSpan>> raw;
                decoder.locate(slot.bytes, raw);

                // Keeping every column's bytes, padded to the old extent.
                const auto kept = encoder.encode(before, raw, slot.bytes.size());
                // Rows written before columns were added grow; no row shrinks.
                EXPECT_GE(kept.size(), slot.bytes.size()) << name << " page " << pageNo;
                decoder.decode(kept, after);
                EXPECT_EQ(after, before) << name << " page " << pageNo << " slot " << s;
                ++counts.rows;

                // Each fixed field in turn given zeros, from the row's bytes alone: exactly what
                // encode() gives from the values, or left to it.
                for (std::size_t i = 0; i < table->columns.size(); ++i) {
                    const ColumnDef& c = table->columns[i];
                    const ColumnType numbers[] = {
                        ColumnType::Byte,   ColumnType::Integer,  ColumnType::Long,
                        ColumnType::BigInt, ColumnType::Currency, ColumnType::Single,
                        ColumnType::Double, ColumnType::Decimal,  ColumnType::DateTime};
                    if (!c.fixedLength || c.calculated ||
                        std::find(std::begin(numbers), std::end(numbers), c.type) ==
                            std::end(numbers)) {
                        continue;
                    }
                    const std::vector<std::uint8_t> zeros(c.size, 0);
                    std::vector<std::uint8_t> quick = {0xEE};  // appended to, after this byte
                    if (!encoder.encodeKeepingAllBut(slot.bytes, c, zeros, 4, quick)) {
                        EXPECT_EQ(quick.size(), 1u);
                        continue;
                    }
                    std::vector<Value> values = before;
                    values[i] = decodeFixed(c.type, zeros, c.scale);
                    std::vector<std::optional<ByteSpan>> keep = raw;
                    keep[i].reset();
                    const auto general = encoder.encode(values, keep, 4, longValuePlaceholder);
                    EXPECT_TRUE(
                        std::equal(general.begin(), general.end(), quick.begin() + 1, quick.end()))
                        << name << " page " << pageNo << " slot " << s << " field " << c.name;
                    ++counts.onTheBytes;
                }

                // Encoding every column afresh from its value, where the engine writes it.
                std::vector<std::optional<ByteSpan>> keepUnwritable(raw.size());
                bool writable = true;
                for (std::size_t i = 0; i < table->columns.size(); ++i) {
                    const auto& c = table->columns[i];
                    if (c.type == ColumnType::Complex || c.type == ColumnType::DateTimeExtended ||
                        c.type == ColumnType::Memo || c.type == ColumnType::OLE ||
                        c.type == ColumnType::Binary) {
                        keepUnwritable[i] = raw[i];
                    }
                }
                std::vector<std::uint8_t> fresh;
                try {
                    fresh = encoder.encode(before, keepUnwritable, 0);
                } catch (const Error&) {
                    writable = false;
                }
                if (!writable) continue;
                decoder.decode(fresh, after);
                EXPECT_EQ(after, before) << name << " page " << pageNo << " slot " << s;
                ++counts.freshlyEncoded;
                // Access leaves whatever stood in a Null fixed field's bytes; the engine zeros
                // them.
                std::vector<std::uint8_t> access(slot.bytes.begin(), slot.bytes.end());
                for (std::size_t i = 0; i < table->columns.size(); ++i) {
                    const auto& c = table->columns[i];
                    if (!c.fixedLength || raw[i] || c.type == ColumnType::YesNo) continue;
                    const std::size_t at = fmt.rowCountSize + c.fixedOffset;
                    if (at + c.size <= access.size()) {
                        std::fill_n(access.begin() + static_cast<std::ptrdiff_t>(at), c.size, 0);
                    }
                }
                if (fresh == access) ++counts.sameBytes;
            }
        }
    }
    return counts;
}

}  // namespace

TEST(RowEncoder, EncodesEveryFixtureRowBackToItsValues) {
    std::size_t rows = 0, fresh = 0, onTheBytes = 0;
    for (const char* dir : {"jet4", "ace", "password"}) {
        for (const auto& entry : std::filesystem::directory_iterator(testsupport::fixture(dir))) {
            const std::string path = entry.path().string();
            if (path.find("with-password") != std::string::npos) continue;
            SCOPED_TRACE(path);
            const Counts c = roundTripAll(path);
            rows += c.rows;
            fresh += c.freshlyEncoded;
            onTheBytes += c.onTheBytes;
        }
    }
    EXPECT_GT(rows, 1000u);
    EXPECT_GT(fresh, 900u);
    EXPECT_GT(onTheBytes, 1000u);
}

// Access 97 rows, with their one-byte offsets and jump tables: encoded afresh from their values,
// they come out as Access wrote them.
TEST(RowEncoder, EncodesAccess97RowsAsAccessWroteThem) {
    Counts all;
    for (const auto& relative : testsupport::jet3Fixtures()) {
        SCOPED_TRACE(relative);
        const Counts c = roundTripAll(testsupport::fixture(relative), true);
        all.rows += c.rows;
        all.freshlyEncoded += c.freshlyEncoded;
        all.sameBytes += c.sameBytes;
        EXPECT_EQ(c.onTheBytes, 0u) << "Access 97 rows are left to encode()";
    }
    EXPECT_GT(all.rows, 100u);
    EXPECT_EQ(all.sameBytes, all.freshlyEncoded);
    std::cout << all.rows << " rows, " << all.freshlyEncoded << " encoded afresh, " << all.sameBytes
              << " byte for byte\n";
}

TEST(RowEncoder, RefusesTextItsCodePageCannotHold) {
    const auto db = Database::open(testsupport::fixture("jet3/test97.mdb"));
    file::PageFile f(testsupport::fixture("jet3/test97.mdb"));
    const auto h = file::openHeader(f, "");
    const auto table = db->table("Table1");
    const RowEncoder encoder(*h.format, *table, h.codePage);
    std::size_t text = 0;
    while (table->columns[text].type != ColumnType::Text) ++text;
    std::vector<Value> values(table->columns.size());
    const std::vector<std::optional<ByteSpan>> none(values.size());
    values[text] = std::string("Zürich \u20AC");  // Windows-1252 holds both
    EXPECT_NO_THROW(encoder.encode(values, none, 0));
    for (const char* unheld : {"\u0141\u00F3d\u017A", "\xF0\x9F\x98\x80", "bad \xFF"}) {
        values[text] = std::string(unheld);
        try {
            encoder.encode(values, none, 0);
            ADD_FAILURE() << "encoded " << unheld;
        } catch (const Error& e) {
            EXPECT_EQ(e.code(), ErrorCode::TypeMismatch);
            EXPECT_NE(std::string(e.what()).find(table->columns[text].name), std::string::npos)
                << e.what();
        }
    }
}

TEST(RowEncoder, RefusesRowsTooLargeForAPage) {
    const auto db = Database::open(testsupport::fixture("jet4/test2000.mdb"));
    file::PageFile f(testsupport::fixture("jet4/test2000.mdb"));
    const auto h = file::openHeader(f, "");
    const auto table = db->table("Table2");  // many Text(100) columns
    const RowEncoder encoder(*h.format, *table);
    std::vector<Value> values(table->columns.size(), std::string(100, 'x') + "\u20AC");
    const std::vector<std::optional<ByteSpan>> none(values.size());
    try {
        encoder.encode(values, none, 0);
        FAIL() << "a row larger than a page was encoded";
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), ErrorCode::ValueTooLong);
        EXPECT_NE(std::string(e.what()).find("Table2"), std::string::npos);
    }
}
