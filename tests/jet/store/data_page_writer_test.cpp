// Rewriting rows on real data pages: in place, with repacking, and adding rows, leaving every
// other row byte for byte as it was.
#include "jet/store/data_page_writer.h"

#include <gtest/gtest.h>

#include "jet/database.h"
#include "jet/file/header.h"
#include "jet/store/data_page.h"
#include "jet/store/usage_map.h"
#include "support/fixtures.h"

using namespace jet;
using namespace jet::store;

namespace {

struct RealPage {
    std::unique_ptr<file::PageFile> file;
    const format::Format* fmt = nullptr;
    file::Page page;
};

// The first data page of a table with several rows.
RealPage dataPageOf(const char* fixture, const char* table) {
    RealPage r;
    r.file = std::make_unique<file::PageFile>(testsupport::fixture(fixture));
    r.fmt = file::openHeader(*r.file, "").format;
    const auto db = Database::open(testsupport::fixture(fixture));
    const auto def = db->table(table);
    for (auto p : readUsageMap(*r.file, *r.fmt, RowPointer::from(def->usedPagesRow))) {
        const auto page = r.file->page(p);
        if ((*page)[0] == kDataPageType && DataPage(*r.fmt, *page).slotCount() > 1 &&
            DataPageWriter(*r.fmt, *page).freeSpace() >= 100) {
            r.page = *page;
            return r;
        }
    }
    ADD_FAILURE() << "no data page with rows";
    return r;
}

std::vector<std::vector<std::uint8_t>> rowsOf(const format::Format& fmt, const file::Page& p) {
    std::vector<std::vector<std::uint8_t>> rows;
    const DataPage dp(fmt, p);
    for (std::uint16_t s = 0; s < dp.slotCount(); ++s) {
        const Slot slot = dp.slot(s);
        rows.emplace_back(slot.bytes.begin(), slot.bytes.end());
    }
    return rows;
}

}  // namespace

TEST(DataPageWriter, GrowingARowRepacksAndKeepsTheOthers) {
    auto r = dataPageOf("jet4/compIndexTestV2000.mdb", "Table1");
    const auto before = rowsOf(*r.fmt, r.page);
    DataPageWriter w(*r.fmt, r.page);
    const std::size_t freeBefore = w.freeSpace();
    std::vector<std::uint8_t> bigger = before[1];
    bigger.insert(bigger.end(), 10, 0xAB);
    ASSERT_TRUE(w.replaceRow(1, bigger, 0));
    EXPECT_EQ(w.freeSpace(), freeBefore - 10);
    const auto after = rowsOf(*r.fmt, w.page());
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(after[i], i == 1 ? bigger : before[i]) << "slot " << i;
    }
    // The stored free-space figure follows the layout.
    EXPECT_EQ(w.page()[2] | (w.page()[3] << 8), static_cast<int>(w.freeSpace()));

    // Several rows at once, in one repacking: the others keep their bytes, each its flags.
    ASSERT_GE(before.size(), 3u);
    const std::vector<std::uint8_t> pointer{9, 1, 0, 0};
    const DataPageWriter::Replacement both[] = {{0, bigger, 0}, {2, pointer, kSlotForwarded}};
    ASSERT_TRUE(w.replaceRows(both));
    const DataPage dp(*r.fmt, w.page());
    const auto again = rowsOf(*r.fmt, w.page());
    for (std::size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(again[i], i == 0 || i == 1 ? bigger : i == 2 ? pointer : before[i]) << i;
        EXPECT_EQ(dp.slot(static_cast<std::uint16_t>(i)).forwarded, i == 2) << i;
    }
    EXPECT_EQ(w.page()[2] | (w.page()[3] << 8), static_cast<int>(w.freeSpace()));
}

TEST(DataPageWriter, SameSizeRowsAreOverwrittenWhereTheyStand) {
    auto r = dataPageOf("jet4/compIndexTestV2000.mdb", "Table1");
    DataPageWriter w(*r.fmt, r.page);
    const auto before = rowsOf(*r.fmt, r.page);
    std::vector<std::uint8_t> same(before[0].size(), 0x5A);
    ASSERT_TRUE(w.replaceRow(0, same, 0));
    // Only the row's own bytes changed.
    std::size_t differing = 0;
    for (std::size_t i = 0; i < r.page.size(); ++i) differing += r.page[i] != w.page()[i];
    EXPECT_LE(differing, same.size());
}

TEST(DataPageWriter, RefusesWhatDoesNotFitAndChangesNothing) {
    auto r = dataPageOf("jet4/compIndexTestV2000.mdb", "Table1");
    DataPageWriter w(*r.fmt, r.page);
    const std::vector<std::uint8_t> huge(r.fmt->pageSize, 1);
    EXPECT_FALSE(w.replaceRow(0, huge, 0));
    EXPECT_FALSE(w.addRow(huge, kSlotDeleted).has_value());
    // Two rows that fit the page each but not together.
    const std::vector<std::uint8_t> half(r.fmt->pageSize / 2, 1);
    const DataPageWriter::Replacement both[] = {{0, half, 0}, {1, half, 0}};
    EXPECT_FALSE(w.replaceRows(both));
    EXPECT_EQ(w.page(), r.page);
}

TEST(DataPageWriter, AddsRowsToANewPageUntilItIsFull) {
    const auto fmt =
        file::openHeader(
            *std::make_unique<file::PageFile>(testsupport::fixture("jet4/test2000.mdb")), "")
            .format;
    DataPageWriter w(*fmt, DataPageWriter::emptyPage(*fmt, 42));
    EXPECT_EQ(w.freeSpace(), fmt->pageSize - 14u);
    const std::vector<std::uint8_t> row(100, 7);
    std::size_t added = 0;
    while (w.addRow(row, kSlotDeleted)) ++added;
    EXPECT_EQ(added, (fmt->pageSize - 14u) / 102u);
    const DataPage dp(*fmt, w.page());
    EXPECT_EQ(dp.ownerPage(), 42u);
    EXPECT_TRUE(dp.slot(0).deleted);
}
