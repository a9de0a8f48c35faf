// Pages added past the reach of the usage maps Access wrote: an inline map moves its window
// while what it marks fits in one, then becomes a reference map with pages of its own; the
// global map's row grows. What each map marks survives every change, and the file checks clean.
#include "jet/store/usage_map_writer.h"

#include <gtest/gtest.h>

#include "jet/database.h"
#include "jet/store/data_page.h"
#include "jet/store/data_page_writer.h"
#include "jet/store/usage_map.h"
#include "jet/store/write_context.h"
#include "support/fixtures.h"
#include "support/statements.h"

using namespace jet;
using namespace testsupport;

namespace {

std::vector<std::uint8_t> mapBytes(const file::PageFile& file, const format::Format& fmt,
                                   RowPointer where) {
    const auto page = file.page(where.page);
    const auto row = store::rowAt(fmt, *page, where.slot);
    return {row.begin(), row.end()};
}

}  // namespace

TEST(UsageMapWriter, MapsGrowAsTheFileDoes) {
    testsupport::TempDir dir;
    // 743 pages; its maps are inline, the tables' reaching page 511, the global one page 767.
    const std::string path = dir.copyOf("jet4/test2000.mdb");
    auto db = Database::open(path);
    const auto table = db->table("Table2");  // no rows: its maps mark nothing yet
    const auto owned = RowPointer::from(table->usedPagesRow);
    const auto free = RowPointer::from(table->freePagesRow);
    std::vector<std::uint32_t> before, added;
    db->write([&](store::WriteContext& ctx) {
        before = store::readUsageMap(ctx.file, ctx.format, owned);
        ASSERT_EQ(mapBytes(ctx.file, ctx.format, owned)[0], 0x00);
        const std::size_t globalLength =
            mapBytes(ctx.file, ctx.format, store::kGlobalUsageMap).size();
        for (int i = 0; i < 600; ++i) {
            const std::uint32_t page = store::appendPage(ctx.file, ctx.format, {owned, free});
            ctx.file.writePage(page,
                               store::DataPageWriter::emptyPage(ctx.format, table->definitionPage));
            added.push_back(page);
        }
        const auto global = mapBytes(ctx.file, ctx.format, store::kGlobalUsageMap);
        EXPECT_GT(global.size(), globalLength);
        // The first pages fit a moved window; 600 of them do not: a reference map now.
        EXPECT_EQ(mapBytes(ctx.file, ctx.format, owned)[0], 0x01);
        auto expected = before;
        expected.insert(expected.end(), added.begin(), added.end());
        EXPECT_EQ(store::readUsageMap(ctx.file, ctx.format, owned), expected);
        EXPECT_EQ(store::readUsageMap(ctx.file, ctx.format, free), added);
        EXPECT_EQ(store::lastMarkedPage(ctx.file, ctx.format, owned), expected.back());
        EXPECT_EQ(store::lastMarkedPage(ctx.file, ctx.format, free), added.back());
        // (That none of the new pages counts as free is the checker's to say, below.)
    });
    expectNoFaults(path);
}

TEST(UsageMapWriter, AnInlineMapMovesItsWindowWhenItCan) {
    testsupport::TempDir dir;
    const std::string path = dir.copyOf("jet4/test2000.mdb");
    auto db = Database::open(path);
    const auto table = db->table("Table1");  // one page: 27
    const auto owned = RowPointer::from(table->usedPagesRow);
    db->write([&](store::WriteContext& ctx) {
        const auto before = store::readUsageMap(ctx.file, ctx.format, owned);
        ASSERT_FALSE(before.empty());
        // A page just out of reach, while everything marked lies within 512 pages of it.
        const std::uint32_t target = before.front() + 500;
        ASSERT_FALSE(store::covers(ctx.file, ctx.format, owned, target));
        ASSERT_LT(before.back(), target);
        store::makeRoom(ctx.file, ctx.format, owned, target);
        const auto row = mapBytes(ctx.file, ctx.format, owned);
        EXPECT_EQ(row[0], 0x00);
        EXPECT_TRUE(store::covers(ctx.file, ctx.format, owned, target));
        EXPECT_EQ(store::readUsageMap(ctx.file, ctx.format, owned), before);
    });
}

// The last page a map marks, found from the end, is the last of the full reading, and a map
// the full reading refuses is refused with the same words.
TEST(UsageMap, TheLastMarkedPageIsTheLastOfTheFullReading) {
    testsupport::TempDir dir;
    const std::string path = dir.copyOf("jet4/test2000.mdb");
    auto db = Database::open(path);
    db->write([&](store::WriteContext& ctx) {
        for (const auto& name : db->userTableNames()) {
            const auto table = db->table(name);
            for (const std::uint32_t map : {table->usedPagesRow, table->freePagesRow}) {
                const auto where = RowPointer::from(map);
                const auto all = store::readUsageMap(ctx.file, ctx.format, where);
                const auto last = store::lastMarkedPage(ctx.file, ctx.format, where);
                if (all.empty()) {
                    EXPECT_FALSE(last) << name;
                } else {
                    EXPECT_EQ(last, all.back()) << name;
                }
            }
        }
        // The global map marks the pages past the end of the file free, which a table's map
        // may not do.
        std::string full, fromTheEnd;
        try {
            store::readUsageMap(ctx.file, ctx.format, store::kGlobalUsageMap);
        } catch (const Error& e) {
            full = e.what();
        }
        try {
            store::lastMarkedPage(ctx.file, ctx.format, store::kGlobalUsageMap);
        } catch (const Error& e) {
            fromTheEnd = e.what();
        }
        EXPECT_NE(full, "");
        EXPECT_EQ(fromTheEnd, full);
    });
}
