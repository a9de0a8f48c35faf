// Every row of every Jet 4 and ACE fixture, encoded again from its values, reads back as the
// same values: the encoder is the decoder's inverse for every layout Access wrote.
#include "jet/store/row_encoder.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "jet/database.h"
#include "jet/file/header.h"
#include "jet/file/page_file.h"
#include "jet/store/data_page.h"
#include "jet/store/row_codec.h"
#include "jet/store/usage_map.h"
#include "support/fixtures.h"

using namespace jet;
using namespace jet::store;

namespace {

struct Counts {
    std::size_t rows = 0;
    std::size_t freshlyEncoded = 0;
};

// Walks the rows of every user table and checks both ways of encoding each one.
Counts roundTripAll(const std::string& path) {
    Counts counts;
    const auto db = Database::open(path);
    file::PageFile file(path);
    const auto header = file::openHeader(file, "");
    const auto& fmt = *header.format;
    for (const auto& name : db->userTableNames()) {
        const auto table = db->table(name);
        const RowDecoder decoder(file, fmt, *table, header.codePage);
        const RowEncoder encoder(fmt, *table);
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

                // Encoding every column afresh from its value, where the engine writes it.
                std::vector<std::optional<ByteSpan>> keepUnwritable(raw.size());
                bool writable = true;
                for (std::size_t i = 0; i < table->columns.size(); ++i) {
                    const auto& c = table->columns[i];
                    if (c.type == ColumnType::Complex || c.type == ColumnType::DateTimeExtended ||
                        c.type == ColumnType::Memo || c.type == ColumnType::OLE) {
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
            }
        }
    }
    return counts;
}

}  // namespace

TEST(RowEncoder, EncodesEveryFixtureRowBackToItsValues) {
    std::size_t rows = 0, fresh = 0;
    for (const char* dir : {"jet4", "ace", "password"}) {
        for (const auto& entry : std::filesystem::directory_iterator(testsupport::fixture(dir))) {
            const std::string path = entry.path().string();
            if (path.find("with-password") != std::string::npos) continue;
            SCOPED_TRACE(path);
            const Counts c = roundTripAll(path);
            rows += c.rows;
            fresh += c.freshlyEncoded;
        }
    }
    EXPECT_GT(rows, 1000u);
    EXPECT_GT(fresh, 900u);
}

TEST(RowEncoder, RefusesJet3AndRowsTooLargeForAPage) {
    const auto db97 = Database::open(testsupport::fixture("jet3/test97.mdb"));
    file::PageFile f97(testsupport::fixture("jet3/test97.mdb"));
    const auto h97 = file::openHeader(f97, "");
    EXPECT_THROW(RowEncoder(*h97.format, *db97->table("Table1")), Error);

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
