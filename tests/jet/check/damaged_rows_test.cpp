// The checker's account of a table's rows, held against its indexes and long values, on a table
// of many data pages: damage to one row must be reported for that row alone, wherever on the
// table's pages it lies, and damage to a shared page once.
#include <gtest/gtest.h>

#include <optional>
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

// 512 orders over many data pages, every seventh deleted; Code is Null on every third, under a
// unique index (which must hold the Nulls too) and one that leaves Nulls out.
class OrdersOnManyPages : public testing::Test {
protected:
    struct Slot {
        std::uint32_t page = 0;
        std::uint16_t slot = 0;
        int id = 0;  // the order's ID: the rows were added in order, one slot after the other
        bool deleted = false;
    };

    void SetUp() override {
        const std::string path = testsupport::madeDatabase(
            dir_, {"CREATE TABLE [Orders] ([ID] COUNTER PRIMARY KEY, [Code] LONG, [Name] TEXT(80))",
                   "INSERT INTO [Orders] ([Name]) VALUES ('an order with a name long enough')"});
        {
            auto db = jet::Database::open(path);
            for (int i = 0; i < 9; ++i) {
                jet::sql::execute(*db, "INSERT INTO [Orders] ([Name]) SELECT [Name] FROM [Orders]");
            }
            for (const char* sql :
                 {"UPDATE [Orders] SET [Code] = [ID] WHERE [ID] Mod 3 <> 0",
                  "CREATE UNIQUE INDEX [Code] ON [Orders] ([Code])",
                  "CREATE INDEX [KnownCode] ON [Orders] ([Code]) WITH IGNORE NULL",
                  "DELETE FROM [Orders] WHERE [ID] Mod 7 = 0"}) {
                jet::sql::execute(*db, sql);
            }
        }
        copy_.emplace(path);
        const auto found = copy_->check();
        ASSERT_EQ(checktest::countFaults(found), 0u) << describe(found);
        const auto pages = copy_->dataPages("Orders");
        ASSERT_GE(pages.size(), 5u);
        for (const std::uint32_t page : pages) {
            const std::uint16_t count = copy_->u16(page, copy_->format().dataRowCountOffset);
            for (std::uint16_t slot = 0; slot < count; ++slot) {
                const std::uint16_t flags = copy_->u16(page, copy_->slotOffset(slot)) & kSlotFlags;
                const int id = static_cast<int>(slots_.size()) + 1;
                slots_.push_back(Slot{page, slot, id, flags == kSlotFlags});
                ASSERT_EQ(slots_.back().deleted, id % 7 == 0) << "rows no longer lie in order";
            }
        }
        ASSERT_EQ(slots_.size(), 512u);
    }

    void setFlags(const Slot& s, std::uint16_t flags) {
        const std::uint16_t raw = copy_->u16(s.page, copy_->slotOffset(s.slot));
        copy_->putU16(s.page, copy_->slotOffset(s.slot),
                      static_cast<std::uint16_t>((raw & ~kSlotFlags) | flags));
    }

    testsupport::TempDir dir_;
    std::optional<DamagedCopy> copy_;
    std::vector<Slot> slots_;  // every slot of the table's pages, in page and slot order
};

// A deleted order brought back on one of the last pages, its Code Null: the primary key and the
// unique index lack its entry; the index that leaves Nulls out is right not to have one.
TEST_F(OrdersOnManyPages, RevivedRowIsTheOneWithoutEntries) {
    const Slot& revived = slots_.at(503);  // order 504, deleted, Code Null
    ASSERT_TRUE(revived.deleted);
    ASSERT_NE(revived.page, slots_.front().page);
    setFlags(revived, 0);
    const auto found = copy_->check();
    for (const char* index : {"'PrimaryKey'", "'Code'"}) {
        EXPECT_TRUE(hasFault(found, FaultKind::IndexEntries,
                             {index, rowName(revived.page, revived.slot) + " has no entry"}))
            << describe(found);
        EXPECT_TRUE(hasFault(found, FaultKind::IndexEntries,
                             {index, "it has 439 entries, but the table has 440 rows"}))
            << describe(found);
    }
    EXPECT_EQ(checktest::countFaults(found), 4u) << describe(found);
}

// A live order marked deleted in the middle of the table: each of its three entries now names a
// row that is not live.
TEST_F(OrdersOnManyPages, EntriesOfARowMarkedDeletedPointNowhere) {
    const Slot& gone = slots_.at(255);  // order 256, Code 256
    ASSERT_FALSE(gone.deleted);
    setFlags(gone, kSlotFlags);
    const auto found = copy_->check();
    for (const char* index : {"'PrimaryKey'", "'Code'", "'KnownCode'"}) {
        EXPECT_TRUE(
            hasFault(found, FaultKind::IndexEntries,
                     {index, "for " + rowName(gone.page, gone.slot) + ": that is not a live row"}))
            << describe(found);
    }
    EXPECT_EQ(checktest::countFaults(found), 6u) << describe(found);  // and the three counts
}

// Eight notes of 300 characters, each in a row of its own on one long-value page.
class NotesInLongValues : public testing::Test {
protected:
    void SetUp() override {
        const std::string insert =
            "INSERT INTO [Notes] ([Body]) VALUES ('" + std::string(300, 'n') + "')";
        const std::string path = testsupport::madeDatabase(
            dir_, {"CREATE TABLE [Notes] ([ID] COUNTER PRIMARY KEY, [Body] MEMO)", insert.c_str()});
        {
            auto db = jet::Database::open(path);
            for (int i = 0; i < 3; ++i) {
                jet::sql::execute(*db, "INSERT INTO [Notes] ([Body]) SELECT [Body] FROM [Notes]");
            }
        }
        copy_.emplace(path);
        fields_ = copy_->longValueFields("Notes");
        ASSERT_EQ(fields_.size(), 8u);
        ASSERT_EQ(fields_[0].header & 0xC0000000, 0x40000000u) << "not in a row of its own";
        ASSERT_EQ(fields_[1].first.page, fields_[0].first.page);
    }
    testsupport::TempDir dir_;
    std::optional<DamagedCopy> copy_;
    std::vector<DamagedCopy::LongValueField> fields_;
};

TEST_F(NotesInLongValues, DamagedPageIsReportedOnceForAllItsValues) {
    const std::uint32_t page = fields_[0].first.page;
    copy_->putU16(page, 2, static_cast<std::uint16_t>(copy_->u16(page, 2) + 1));
    const auto found = copy_->check();
    EXPECT_TRUE(hasFault(found, FaultKind::FreeSpace,
                         {"page " + std::to_string(page) + " (long values of table 'Notes')"}))
        << describe(found);
    EXPECT_EQ(checktest::countFaults(found), 1u) << describe(found);
}

TEST_F(NotesInLongValues, RowServingTwoValues) {
    auto bytes = copy_->page(fields_[1].page);
    const auto first = copy_->page(fields_[0].page);
    std::copy_n(first.begin() + static_cast<std::ptrdiff_t>(fields_[0].offset), 12,
                bytes.begin() + static_cast<std::ptrdiff_t>(fields_[1].offset));
    copy_->writePage(fields_[1].page, bytes);
    const auto found = copy_->check();
    EXPECT_TRUE(
        hasFault(found, FaultKind::LongValue,
                 {rowName(fields_[0].first.page, fields_[0].first.slot), "another value uses too"}))
        << describe(found);
    EXPECT_EQ(checktest::countFaults(found), 1u) << describe(found);
}

// Two forwarded rows of overflowTestV2000 made to point at the same moved body.
TEST(DamagedForwarding, TwoRowsForwardedToOneBody) {
    DamagedCopy copy("jet4/overflowTestV2000.mdb");
    const std::uint32_t page = copy.dataPages("Table1").at(0);
    std::vector<std::uint16_t> stubs;
    for (std::uint16_t slot = 0; slot < copy.u16(page, copy.format().dataRowCountOffset); ++slot) {
        if ((copy.u16(page, copy.slotOffset(slot)) & kSlotFlags) == 0x4000) stubs.push_back(slot);
    }
    ASSERT_GE(stubs.size(), 2u) << "the fixture no longer has two forwarded rows on a page";
    auto bytes = copy.page(page);
    std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(copy.rowStart(page, stubs[0])), 4,
                bytes.begin() + static_cast<std::ptrdiff_t>(copy.rowStart(page, stubs[1])));
    copy.writePage(page, bytes);
    const auto found = copy.check();
    EXPECT_TRUE(
        hasFault(found, FaultKind::Forwarding,
                 {"page " + std::to_string(page) + ", row " + std::to_string(stubs[1]) + " ",
                  "which another row is forwarded to too"}))
        << describe(found);
}

}  // namespace
