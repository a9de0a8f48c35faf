// The checker's account of a table's rows, held against its indexes and long values, on tables
// the engine made: damage to one row must be reported for that row alone, wherever on the
// table's pages it lies, and damage to a page many values share once.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "damage.h"
#include "jet/check/check.h"
#include "jet/store/data_page.h"
#include "support/made_database.h"

namespace {

using checktest::DamagedCopy;
using checktest::describe;
using checktest::hasFault;
using jet::check::FaultKind;

constexpr std::uint16_t kSlotFlags = jet::store::kSlotDeleted | jet::store::kSlotForwarded;

std::string rowName(std::uint32_t page, std::uint16_t slot) {
    return "row " + std::to_string(slot) + " of page " + std::to_string(page);
}

// A table made by `statements` and then doubled `doublings` times by INSERT ... SELECT `columns`.
std::string doubled(const testsupport::TempDir& dir, std::initializer_list<const char*> statements,
                    const std::string& table, const std::string& columns, int doublings) {
    const std::string path = testsupport::madeDatabase(dir, statements);
    auto db = jet::Database::open(path);
    for (int i = 0; i < doublings; ++i) {
        jet::sql::execute(*db, "INSERT INTO [" + table + "] (" + columns + ") SELECT " + columns +
                                   " FROM [" + table + "]");
    }
    return path;
}

// 512 orders over many data pages, every seventh deleted; Code is Null on every third, under a
// unique index (which must hold the Nulls too) and one that leaves Nulls out. Order 504
// (deleted, Code Null) is brought back on one of the last pages, and order 256 (Code 256) is
// marked deleted in the middle: the first lacks its entries in the primary key and the unique
// index only, the entries of the second in all three name a row that is not live.
TEST(DamagedRows, RevivedAndDeletedRowsAmongManyPages) {
    testsupport::TempDir dir;
    DamagedCopy copy(
        doubled(dir,
                {"CREATE TABLE [Orders] ([ID] COUNTER PRIMARY KEY, [Code] LONG, [Name] TEXT(80))",
                 "INSERT INTO [Orders] ([Name]) VALUES ('an order with a name long enough')"},
                "Orders", "[Name]", 9));
    {
        auto db = jet::Database::open(copy.path());
        for (const char* sql : {"UPDATE [Orders] SET [Code] = [ID] WHERE [ID] Mod 3 <> 0",
                                "CREATE UNIQUE INDEX [Code] ON [Orders] ([Code])",
                                "CREATE INDEX [KnownCode] ON [Orders] ([Code]) WITH IGNORE NULL",
                                "DELETE FROM [Orders] WHERE [ID] Mod 7 = 0"}) {
            jet::sql::execute(*db, sql);
        }
    }
    ASSERT_EQ(checktest::countFaults(copy.check()), 0u) << describe(copy.check());
    // The orders were added one slot after the other: order n is the table's n-th slot.
    std::vector<std::pair<std::uint32_t, std::uint16_t>> slots;
    for (const std::uint32_t page : copy.dataPages("Orders")) {
        for (std::uint16_t s = 0; s < copy.u16(page, copy.format().dataRowCountOffset); ++s) {
            const bool deleted = (copy.u16(page, copy.slotOffset(s)) & kSlotFlags) == kSlotFlags;
            ASSERT_EQ(deleted, (slots.size() + 1) % 7 == 0) << "orders no longer lie in order";
            slots.emplace_back(page, s);
        }
    }
    ASSERT_EQ(slots.size(), 512u);
    const auto [revivedPage, revived] = slots[503];
    const auto [gonePage, gone] = slots[255];
    ASSERT_NE(revivedPage, gonePage);
    const auto setFlags = [&](std::uint32_t page, std::uint16_t slot, std::uint16_t flags) {
        const std::uint16_t raw = copy.u16(page, copy.slotOffset(slot)) & ~kSlotFlags;
        copy.putU16(page, copy.slotOffset(slot), static_cast<std::uint16_t>(raw | flags));
    };
    setFlags(revivedPage, revived, 0);
    setFlags(gonePage, gone, kSlotFlags);

    const auto found = copy.check();
    for (const char* index : {"'PrimaryKey'", "'Code'", "'KnownCode'"}) {
        EXPECT_TRUE(
            hasFault(found, FaultKind::IndexEntries,
                     {index, "for " + rowName(gonePage, gone) + ": that is not a live row"}))
            << describe(found);
        EXPECT_EQ(hasFault(found, FaultKind::IndexEntries,
                           {index, rowName(revivedPage, revived) + " has no entry"}),
                  std::string(index) != "'KnownCode'")
            << index << "\n"
            << describe(found);
    }
    // And KnownCode's count: the revived row needs no entry there, the other still has one.
    EXPECT_TRUE(
        hasFault(found, FaultKind::IndexEntries, {"'KnownCode'", "entries, but the table has"}))
        << describe(found);
    EXPECT_EQ(checktest::countFaults(found), 3u + 2u + 1u) << describe(found);
}

// Eight notes of 300 characters, each in a row of its own on one long-value page. The page's
// free-space figure is off by one, and the second note is made to use the first one's row.
TEST(DamagedRows, LongValuePageSharedByManyValues) {
    testsupport::TempDir dir;
    const std::string insert =
        "INSERT INTO [Notes] ([Body]) VALUES ('" + std::string(300, 'n') + "')";
    DamagedCopy copy(doubled(
        dir, {"CREATE TABLE [Notes] ([ID] COUNTER PRIMARY KEY, [Body] MEMO)", insert.c_str()},
        "Notes", "[Body]", 3));
    const auto fields = copy.longValueFields("Notes");
    ASSERT_EQ(fields.size(), 8u);
    ASSERT_EQ(fields[0].header & 0xC0000000, 0x40000000u) << "not in a row of its own";
    ASSERT_EQ(fields[1].first.page, fields[0].first.page);
    const std::uint32_t page = fields[0].first.page;
    copy.putU16(page, 2, static_cast<std::uint16_t>(copy.u16(page, 2) + 1));
    auto bytes = copy.page(fields[1].page);
    const auto first = copy.page(fields[0].page);
    std::copy_n(first.begin() + static_cast<std::ptrdiff_t>(fields[0].offset), 12,
                bytes.begin() + static_cast<std::ptrdiff_t>(fields[1].offset));
    copy.writePage(fields[1].page, bytes);

    const auto found = copy.check();
    EXPECT_TRUE(hasFault(found, FaultKind::FreeSpace,
                         {"page " + std::to_string(page) + " (long values of table 'Notes')"}))
        << describe(found);
    EXPECT_TRUE(hasFault(found, FaultKind::LongValue,
                         {rowName(page, fields[0].first.slot), "another value uses too"}))
        << describe(found);
    EXPECT_EQ(checktest::countFaults(found), 2u) << describe(found);
}

}  // namespace
