// Table definitions over chains of pages: every definition of the fixtures, one page or several,
// written back exactly as Access wrote it; a definition that grows onto new pages and shrinks
// back, giving them up; a new table's definition on a page of zeros.
#include "jet/store/table_definition_pages.h"

#include <gtest/gtest.h>

#include "jet/base/bytes.h"
#include "jet/check/map_reading.h"
#include "jet/database.h"
#include "jet/store/usage_map.h"
#include "jet/store/usage_map_writer.h"
#include "jet/store/write_context.h"
#include "support/fixtures.h"
#include "support/statements.h"

using namespace jet;
using namespace testsupport;

namespace {

// The definition pages of every table of the catalog, the catalog's own included.
std::vector<std::uint32_t> definitionFirstPages(const Database& db) {
    std::vector<std::uint32_t> pages{2};
    for (const auto& e : db.catalog()) {
        const auto page = static_cast<std::uint32_t>(e.id) & 0x00FFFFFF;
        if (e.type == 1 && page != 2) pages.push_back(page);
    }
    return pages;
}

std::vector<std::uint32_t> freePages(const store::WriteContext& ctx) {
    return check::readMap(ctx.file, ctx.format, store::kGlobalUsageMap).pages;
}

// The definition past the header fields the writer sets (page header and length).
std::vector<std::uint8_t> body(const std::vector<std::uint8_t>& definition) {
    return {definition.begin() + 12, definition.end()};
}

}  // namespace

// Access's own split: every page but the last full, each with its header and free space, the
// whole length on the first. Writing each definition back as read must change no byte.
TEST(DefinitionPages, WritingBackWhatAccessWroteChangesNothing) {
    // With the number of definitions Access wrote over several pages.
    const std::vector<std::pair<const char*, std::size_t>> fixtures = {
        {"jet4/test2000.mdb", 1},
        {"jet4/test2V2000.mdb", 1},
        {"ace/test2007.accdb", 1},
        {"ace/test2V2010.accdb", 1},
        {"ace/testIndexPropertiesV2010.accdb", 0}};
    for (const auto& [fixture, expected] : fixtures) {
        SCOPED_TRACE(fixture);
        TempDir dir;
        const std::string path = dir.copyOf(fixture);
        const auto before = bytesOf(path);
        auto db = Database::open(path);
        std::size_t spanning = 0;
        db->write([&](store::WriteContext& ctx) {
            for (const std::uint32_t first : definitionFirstPages(*db)) {
                const auto pages = store::definitionPages(ctx.file, first);
                const auto bytes = store::readDefinition(ctx.file, ctx.format, first);
                EXPECT_EQ(bytes.size(), u32(*ctx.file.page(first), 8)) << first;
                spanning += pages.size() > 1;
                store::writeDefinition(ctx.file, ctx.format, first, bytes);
                EXPECT_EQ(store::definitionPages(ctx.file, first), pages) << first;
            }
        });
        EXPECT_EQ(spanning, expected);
        EXPECT_TRUE(bytesOf(path) == before);
    }
}

TEST(DefinitionPages, GrowsOntoNewPagesAndGivesThemBackWhenItShrinks) {
    TempDir dir;
    const std::string path = dir.copyOf("jet4/test2000.mdb");
    auto db = Database::open(path);
    const std::uint32_t first = db->table("Table1")->definitionPage;
    db->write([&](store::WriteContext& ctx) {
        const auto original = store::readDefinition(ctx.file, ctx.format, first);
        const std::uint32_t pageCount = ctx.file.pageCount();
        // Room for one byte past two full pages: a third page holding that byte.
        const std::size_t longer = 2 * ctx.format.pageSize - 8 + 1;
        std::vector<std::uint8_t> grown = original;
        for (std::size_t i = grown.size(); i < longer; ++i) grown.push_back(i % 251 + 1);
        store::writeDefinition(ctx.file, ctx.format, first, grown);

        const auto pages = store::definitionPages(ctx.file, first);
        ASSERT_EQ(pages, (std::vector<std::uint32_t>{first, pageCount, pageCount + 1}));
        EXPECT_EQ(body(store::readDefinition(ctx.file, ctx.format, first)), body(grown));
        for (const std::uint32_t p : pages) {
            const auto page = ctx.file.page(p);
            EXPECT_EQ((*page)[0], 0x02);
            EXPECT_EQ((*page)[1], 0x01);
            // Free space less 8: none on the full pages, all but the byte on the last.
            EXPECT_EQ(u16(*page, 2), p == pages.back() ? ctx.format.pageSize - 17 : 0);
        }
        const auto free = freePages(ctx);
        EXPECT_EQ(std::count(free.begin(), free.end(), pageCount), 0);

        store::writeDefinition(ctx.file, ctx.format, first, original);
        EXPECT_EQ(store::definitionPages(ctx.file, first), (std::vector<std::uint32_t>{first}));
        EXPECT_EQ(store::readDefinition(ctx.file, ctx.format, first), original);  // Access's own
        const auto freed = freePages(ctx);
        for (const std::uint32_t p : {pageCount, pageCount + 1}) {
            EXPECT_EQ(*ctx.file.page(p), file::Page(ctx.format.pageSize, 0));
            EXPECT_EQ(std::count(freed.begin(), freed.end(), p), 1) << p;
        }
    });
    EXPECT_EQ(rowsOf(*db, "Table1").size(), 2u);
    expectNoFaults(path);
}

// What CREATE TABLE will do: a page of zeros from the allocator becomes a definition's first
// page; a definition that is not one stays unwritten.
TEST(DefinitionPages, ANewTablesDefinitionStartsOnAPageOfZeros) {
    TempDir dir;
    const std::string path = dir.copyOf("ace/test2010.accdb");
    auto db = Database::open(path);
    const std::uint32_t model = db->table("Table1")->definitionPage;
    db->write([&](store::WriteContext& ctx) {
        auto bytes = store::readDefinition(ctx.file, ctx.format, model);
        bytes.resize(ctx.format.pageSize + 100, 0);
        const std::uint32_t first = store::appendPage(ctx.file, ctx.format, {});
        store::writeDefinition(ctx.file, ctx.format, first, bytes);
        EXPECT_EQ(store::definitionPages(ctx.file, first).size(), 2u);
        EXPECT_EQ(body(store::readDefinition(ctx.file, ctx.format, first)), body(bytes));

        const std::vector<std::uint8_t> tooShort(ctx.format.tdefBlockEnd - 1, 0);
        EXPECT_THROW(store::writeDefinition(ctx.file, ctx.format, first, tooShort), Error);
        // A data page is neither a definition nor a new page.
        const std::uint32_t dataPage = store::readUsageMap(
            ctx.file, ctx.format, RowPointer::from(db->table("Table1")->usedPagesRow))[0];
        EXPECT_THROW(store::writeDefinition(ctx.file, ctx.format, dataPage, bytes), Error);
    });
}
