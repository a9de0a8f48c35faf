// The checker against damage a faulty write could leave: each case breaks one structure in a
// copy of a real fixture and requires the fault that names it. The bytes found at the place
// are checked first, so that a changed fixture fails loudly instead of testing nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "damage.h"
#include "jet/base/bytes.h"
#include "jet/check/check.h"
#include "jet/database.h"
#include "jet/index/index_page.h"

namespace {

using checktest::DamagedCopy;
using checktest::describe;
using checktest::hasFault;
using jet::check::FaultKind;

std::string pageName(std::uint32_t page) { return "page " + std::to_string(page) + " "; }

// ---- data pages ----

TEST(DamagedDataPage, RowStartingAboveThePreviousRow) {
    DamagedCopy copy("jet4/test2000.mdb");
    const std::uint32_t page = copy.dataPages("Table1").at(0);
    const std::uint16_t raw = copy.u16(page, copy.slotOffset(1));
    ASSERT_EQ(raw & 0xC000, 0);
    copy.putU16(page, copy.slotOffset(1), static_cast<std::uint16_t>(copy.rowStart(page, 0) + 1));
    const auto found = copy.check();
    EXPECT_TRUE(hasFault(found, FaultKind::RowLayout,
                         {pageName(page), "table 'Table1'", "row 1 ", "above the start"}))
        << describe(found);
}

TEST(DamagedDataPage, RowStartingInsideTheSlotDirectory) {
    DamagedCopy copy("jet3/test97.mdb");
    const std::uint32_t page = copy.dataPages("Table1").at(0);
    copy.putU16(page, copy.slotOffset(0), 6);
    const auto found = copy.check();
    EXPECT_TRUE(hasFault(found, FaultKind::RowLayout,
                         {pageName(page), "row 0 ", "inside the slot directory"}))
        << describe(found);
}

TEST(DamagedDataPage, FreeSpaceFigureOffByOne) {
    DamagedCopy copy("jet4/test2000.mdb");
    const std::uint32_t page = copy.dataPages("Table1").at(0);
    copy.putU16(page, 2, static_cast<std::uint16_t>(copy.u16(page, 2) + 1));
    const auto found = copy.check();
    EXPECT_TRUE(hasFault(found, FaultKind::FreeSpace, {pageName(page), "table 'Table1'"}))
        << describe(found);
    EXPECT_EQ(checktest::countFaults(found), 1u) << describe(found);
}

TEST(DamagedDataPage, ForwardedRowPointingAtALiveRow) {
    DamagedCopy copy("jet4/overflowTestV2000.mdb");
    const std::uint32_t page = copy.dataPages("Table1").at(0);
    std::optional<std::uint16_t> stub, live;
    for (std::uint16_t slot = 0; slot < copy.u16(page, copy.format().dataRowCountOffset); ++slot) {
        const std::uint16_t flags = copy.u16(page, copy.slotOffset(slot)) & 0xC000;
        if (flags == 0x4000 && !stub) stub = slot;
        if (flags == 0 && !live) live = slot;
    }
    ASSERT_TRUE(stub && live) << "the fixture no longer has a forwarded row beside a live one";
    auto bytes = copy.page(page);
    const std::size_t at = copy.rowStart(page, *stub);
    bytes[at] = static_cast<std::uint8_t>(*live);
    bytes[at + 1] = static_cast<std::uint8_t>(page);
    bytes[at + 2] = static_cast<std::uint8_t>(page >> 8);
    bytes[at + 3] = static_cast<std::uint8_t>(page >> 16);
    copy.writePage(page, bytes);
    const auto found = copy.check();
    EXPECT_TRUE(hasFault(found, FaultKind::Forwarding,
                         {"row " + std::to_string(*stub) + " ", "a row of its own"}))
        << describe(found);
}

// A row of one byte cannot hold an Access 2000 row's two-byte column count: reported as a row
// that cannot be decoded, and the check goes on.
TEST(DamagedDataPage, RowTooShortForItsColumnCount) {
    DamagedCopy copy("jet4/test2000.mdb");
    const std::uint32_t page = copy.dataPages("Table1").at(0);
    const std::uint16_t raw = copy.u16(page, copy.slotOffset(1));
    ASSERT_EQ(raw & 0xC000, 0);
    copy.putU16(page, copy.slotOffset(1), static_cast<std::uint16_t>(copy.rowStart(page, 0) - 1));
    const auto found = copy.check();
    EXPECT_TRUE(hasFault(found, FaultKind::RowLayout,
                         {"table 'Table1', page " + std::to_string(page) + ", row 1 ",
                          "too few to hold its column count"}))
        << describe(found);
}

// ---- table definitions and usage maps ----

// Access itself leaves stored row counts behind the rows, so a wrong count is reported as a
// warning, never as a fault.
TEST(DamagedTable, WrongRowCountIsReportedAsAWarning) {
    DamagedCopy copy("jet4/test2000.mdb");
    const std::uint32_t tdef = copy.definitionPage("Table1");
    ASSERT_EQ(copy.layout("Table1").rowCount, 2u);
    copy.putU32(tdef, copy.format().tdefRowCount, 7);
    const auto found = copy.check();
    EXPECT_EQ(checktest::countFaults(found), 0u) << describe(found);
    EXPECT_NE(describe(found).find("warning, row count: table 'Table1': its definition says it "
                                   "has 7 rows, but its pages hold 2 live rows"),
              std::string::npos)
        << describe(found);
}

TEST(DamagedTable, DataPageDroppedFromItsUsageMap) {
    DamagedCopy copy("jet4/indexTestV2000.mdb");
    const std::uint32_t page = copy.dataPages("Table1").at(0);
    copy.setMapBit(copy.layout("Table1").usedPagesRow, page, false);
    const auto found = copy.check();
    // Its rows are gone from the table, so the index entries that name them point nowhere.
    EXPECT_TRUE(hasFault(found, FaultKind::IndexEntries,
                         {"PrimaryKey", "of table 'Table1'",
                          "row 0 of page " + std::to_string(page), "not a live row"}))
        << describe(found);
}

TEST(DamagedTable, DataPageListedByTwoTables) {
    DamagedCopy copy("jet4/test2000.mdb");
    const std::uint32_t page = copy.dataPages("Table1").at(0);
    copy.setMapBit(copy.layout("Table4").usedPagesRow, page, true);
    const auto found = copy.check();
    EXPECT_TRUE(hasFault(found, FaultKind::PageOwnership,
                         {pageName(page), "usage map of table 'Table4'", "not a data page"}))
        << describe(found);
    EXPECT_TRUE(hasFault(found, FaultKind::PageOwnership,
                         {pageName(page), "the data of table 'Table1'", "table 'Table4'"}))
        << describe(found);
}

TEST(DamagedTable, PageInUseMarkedFreeInTheGlobalMap) {
    DamagedCopy copy("jet4/test2000.mdb");
    const std::uint32_t page = copy.dataPages("Table1").at(0);
    copy.setMapBit(1u << 8, page, true);  // row 0 of page 1
    const auto found = copy.check();
    EXPECT_TRUE(hasFault(found, FaultKind::GlobalUsageMap,
                         {pageName(page), "marked free", "the data of table 'Table1'"}))
        << describe(found);
}

// ---- long values ----

TEST(DamagedLongValue, ChainCutShort) {
    DamagedCopy copy("jet4/test2V2000.mdb");
    const auto chain =
        copy.firstChainedLongValue(jet::Database::open(copy.path())->userTableNames());
    ASSERT_TRUE(chain) << "the fixture no longer has a long value spread over several rows";
    copy.putU32(chain->page, chain->linkOffset, 0);
    const auto found = copy.check();
    EXPECT_TRUE(hasFault(found, FaultKind::LongValue,
                         {"table '" + chain->table + "', page ", "chain ends after"}))
        << describe(found);
}

TEST(DamagedLongValue, ChainLoopingBackOnItself) {
    DamagedCopy copy("jet4/test2V2000.mdb");
    const auto chain =
        copy.firstChainedLongValue(jet::Database::open(copy.path())->userTableNames());
    ASSERT_TRUE(chain) << "the fixture no longer has a long value spread over several rows";
    copy.putU32(chain->page, chain->linkOffset, (chain->page << 8) | chain->slot);
    const auto found = copy.check();
    EXPECT_TRUE(hasFault(
        found, FaultKind::LongValue,
        {"table '" + chain->table + "'", "loops back to row " + std::to_string(chain->slot) +
                                             " of page " + std::to_string(chain->page)}))
        << describe(found);
}

// A long value of the catalog itself: the reader can no longer list the tables, and the
// checker still finds the fault among the catalog's rows.
TEST(DamagedLongValue, LoopInTheCatalog) {
    DamagedCopy copy("jet4/test2V2000.mdb");
    const auto chain = copy.firstChainedLongValue({"MSysObjects"});
    ASSERT_TRUE(chain) << "the catalog no longer has a long value spread over several rows";
    copy.putU32(chain->page, chain->linkOffset, (chain->page << 8) | chain->slot);
    const auto found = copy.check();
    EXPECT_TRUE(hasFault(found, FaultKind::Unreadable, {"the catalog cannot be read"}))
        << describe(found);
    EXPECT_TRUE(hasFault(found, FaultKind::LongValue, {"table 'MSysObjects'", "loops back"}))
        << describe(found);
}

// ---- indexes ----

// The stored entries of an index page without a shared prefix, and writing them back with
// their mask and free space, so that a test can drop or reorder whole entries.
std::vector<std::vector<std::uint8_t>> storedEntries(const DamagedCopy& copy,
                                                     const std::vector<std::uint8_t>& page) {
    const auto& at = jet::index::indexPageLayout(copy.format());
    std::vector<std::vector<std::uint8_t>> entries;
    std::size_t start = 0;
    for (std::size_t bit = 0; bit < at.entryMaskSize * 8; ++bit) {
        if (!(page[at.entryMask + bit / 8] & (1u << (bit % 8)))) continue;
        entries.emplace_back(page.begin() + static_cast<std::ptrdiff_t>(at.entriesStart + start),
                             page.begin() + static_cast<std::ptrdiff_t>(at.entriesStart + bit));
        start = bit;
    }
    return entries;
}

void putStoredEntries(const DamagedCopy& copy, std::vector<std::uint8_t>& page,
                      const std::vector<std::vector<std::uint8_t>>& entries) {
    const auto& at = jet::index::indexPageLayout(copy.format());
    std::fill(page.begin() + static_cast<std::ptrdiff_t>(at.entryMask), page.end(), 0);
    std::size_t end = 0;
    for (const auto& e : entries) {
        std::copy(e.begin(), e.end(),
                  page.begin() + static_cast<std::ptrdiff_t>(at.entriesStart + end));
        end += e.size();
        page[at.entryMask + end / 8] |= static_cast<std::uint8_t>(1u << (end % 8));
    }
    const auto free = static_cast<std::uint16_t>(page.size() - at.entriesStart - end);
    page[2] = static_cast<std::uint8_t>(free);
    page[3] = static_cast<std::uint8_t>(free >> 8);
}

class DamagedIndex : public testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        copy_.emplace(GetParam());
        root_ = copy_->indexRoot("Table1", "PrimaryKey");
        page_ = copy_->page(root_);
        const auto& at = jet::index::indexPageLayout(copy_->format());
        ASSERT_EQ(page_[0], jet::index::kLeafPageType);
        ASSERT_EQ(jet::u16(page_, at.prefixLength), 0) << "entries share a prefix now";
        entries_ = storedEntries(*copy_, page_);
        ASSERT_GE(entries_.size(), 2u);
    }
    std::optional<DamagedCopy> copy_;
    std::uint32_t root_ = 0;
    std::vector<std::uint8_t> page_;
    std::vector<std::vector<std::uint8_t>> entries_;
};

TEST_P(DamagedIndex, EntryRemoved) {
    const std::size_t rows = entries_.size();
    entries_.pop_back();
    putStoredEntries(*copy_, page_, entries_);
    copy_->writePage(root_, page_);
    const auto found = copy_->check();
    EXPECT_TRUE(hasFault(found, FaultKind::IndexEntries,
                         {"PrimaryKey", "of table 'Table1'", "has no entry"}))
        << describe(found);
    EXPECT_TRUE(hasFault(found, FaultKind::IndexEntries,
                         {"it has " + std::to_string(rows - 1) + " entries, but the table has " +
                          std::to_string(rows) + " rows"}))
        << describe(found);
}

TEST_P(DamagedIndex, EntriesOutOfOrder) {
    std::swap(entries_[0], entries_[1]);
    putStoredEntries(*copy_, page_, entries_);
    copy_->writePage(root_, page_);
    const auto found = copy_->check();
    EXPECT_TRUE(
        hasFault(found, FaultKind::IndexOrder,
                 {"PrimaryKey", "of table 'Table1'", pageName(root_), "does not sort after"}))
        << describe(found);
}

INSTANTIATE_TEST_SUITE_P(EachFormat, DamagedIndex,
                         testing::Values("jet3/test97.mdb", "jet4/indexTestV2000.mdb",
                                         "ace/test2010.accdb"));

// indexTestV2000's primary key is a Long: its keys are checked against the rows' values.
TEST(DamagedIndexKey, KeyNoLongerMatchingItsRow) {
    DamagedCopy copy("jet4/indexTestV2000.mdb");
    const std::uint32_t root = copy.indexRoot("Table1", "PrimaryKey");
    auto page = copy.page(root);
    auto entries = storedEntries(copy, page);
    ASSERT_EQ(entries.back().size(), 9u);  // flag, 4 key bytes, row pointer
    ++entries.back()[4];                   // still the greatest key, but not the row's value
    putStoredEntries(copy, page, entries);
    copy.writePage(root, page);
    const auto found = copy.check();
    EXPECT_TRUE(
        hasFault(found, FaultKind::IndexKey, {"PrimaryKey", "of table 'Table1'", "does not match"}))
        << describe(found);
    EXPECT_EQ(checktest::countFaults(found), 1u) << describe(found);
}

}  // namespace

namespace {

// testUnicodeCompV2003's index over texts of many scripts (tests/data/jackcess): its text keys
// are checked against the rows' values too, here its greatest key with its end byte changed.
TEST(DamagedIndexKey, TextKeyNoLongerMatchingItsRow) {
    const auto relative = std::filesystem::relative(
        QUILLFEN_TEST_DATA "/jackcess/testUnicodeCompV2003.mdb", QUILLFEN_FIXTURES);
    DamagedCopy copy(relative.string());
    EXPECT_EQ(checktest::countFaults(copy.check()), 0u);
    const std::uint32_t root = copy.indexRoot("Table", "Unicode");
    auto page = copy.page(root);
    auto entries = storedEntries(copy, page);
    ASSERT_GT(entries.back().size(), 6u);
    auto& last = entries.back();
    ASSERT_EQ(last[last.size() - 5], 0x00);  // the key's end, before the row pointer
    last[last.size() - 5] = 0x01;
    putStoredEntries(copy, page, entries);
    copy.writePage(root, page);
    const auto found = copy.check();
    EXPECT_TRUE(
        hasFault(found, FaultKind::IndexKey, {"Unicode", "of table 'Table'", "does not match"}))
        << describe(found);
    EXPECT_EQ(checktest::countFaults(found), 1u) << describe(found);
}

// Access 97's text keys too: test97's primary key over Text, its greatest key ('abcdefg') with
// its end byte changed.
TEST(DamagedIndexKey, Access97TextKeyNoLongerMatchingItsRow) {
    DamagedCopy copy("jet3/test97.mdb");
    EXPECT_EQ(checktest::countFaults(copy.check()), 0u);
    const std::uint32_t root = copy.indexRoot("Table1", "PrimaryKey");
    auto page = copy.page(root);
    auto entries = storedEntries(copy, page);
    ASSERT_EQ(entries.size(), 2u);
    auto& last = entries.back();
    ASSERT_EQ(last.size(), 1u + 7u + 1u + 4u);  // flag, a code per letter, end, row pointer
    ASSERT_EQ(last[last.size() - 5], 0x00);
    last[last.size() - 5] = 0x01;
    putStoredEntries(copy, page, entries);
    copy.writePage(root, page);
    const auto found = copy.check();
    EXPECT_TRUE(
        hasFault(found, FaultKind::IndexKey, {"PrimaryKey", "of table 'Table1'", "does not match"}))
        << describe(found);
    EXPECT_EQ(checktest::countFaults(found), 1u) << describe(found);
}

}  // namespace
