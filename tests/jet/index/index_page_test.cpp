// Reading index pages: entries found through the entry mask, the shared prefix restored, the
// row pointer and child page split off, and damaged pages refused.
#include "jet/index/index_page.h"

#include <gtest/gtest.h>

#include <fstream>

#include "jet/base/error.h"
#include "support/fixtures.h"

namespace {

using jet::index::IndexEntry;
using jet::index::readIndexPage;
using Bytes = std::vector<std::uint8_t>;

const jet::format::Format& jet4() { return *jet::format::forVersionByte(1); }

Bytes filePage(const std::string& fixture, std::uint32_t number) {
    std::ifstream in(testsupport::fixture(fixture), std::ios::binary);
    in.seekg(static_cast<std::streamoff>(number) * 4096);
    Bytes page(4096);
    in.read(reinterpret_cast<char*>(page.data()), 4096);
    return page;
}

// A Jet 4 index page holding `stored` entries back to back, with their end bits in the mask.
Bytes makePage(std::uint8_t type, std::uint16_t prefix, const std::vector<Bytes>& stored) {
    const auto& at = jet::index::indexPageLayout(jet4());
    Bytes page(4096, 0);
    page[0] = type;
    page[at.prefixLength] = static_cast<std::uint8_t>(prefix);
    std::size_t end = 0;
    for (const auto& e : stored) {
        std::copy(e.begin(), e.end(),
                  page.begin() + static_cast<std::ptrdiff_t>(at.entriesStart + end));
        end += e.size();
        page[at.entryMask + end / 8] |= static_cast<std::uint8_t>(1u << (end % 8));
    }
    return page;
}

// The example of a shared prefix in mdbtools' HACKING.md: an integer key whose first four
// bytes [7f 00 00 00] the second entry leaves out.
TEST(IndexPage, SharedPrefixIsRestored) {
    const auto page = readIndexPage(
        jet4(),
        makePage(0x04, 4, {{0x7f, 0, 0, 0, 1, 0, 0x01, 0x05, 0x03}, {0x02, 0, 0x01, 0x05, 0x04}}));
    ASSERT_EQ(page.entries.size(), 2u);
    EXPECT_TRUE(page.leaf);
    EXPECT_EQ(page.entries[1].key, (Bytes{0x7f, 0, 0, 0, 2}));
    EXPECT_EQ(page.entries[1].dataPage, 261u);
    EXPECT_EQ(page.entries[1].dataRow, 4);
    EXPECT_EQ(page.entriesEnd, jet::index::indexPageLayout(jet4()).entriesStart + 14);
}

// compIndexTestV2000: a descending Long index over 512 rows, two leaves under one intermediate
// page that names the second leaf only as its tail.
TEST(IndexPage, RealTreeOfADescendingIndex) {
    const auto root = readIndexPage(jet4(), filePage("jet4/compIndexTestV2000.mdb", 29));
    EXPECT_FALSE(root.leaf);
    ASSERT_EQ(root.entries.size(), 1u);
    EXPECT_EQ(root.entries[0].childPage, 32u);
    EXPECT_EQ(root.tailPage, 33u);

    const auto leaf = readIndexPage(jet4(), filePage("jet4/compIndexTestV2000.mdb", 32));
    EXPECT_TRUE(leaf.leaf);
    EXPECT_EQ(leaf.owner, 15u);
    EXPECT_EQ(leaf.nextPage, 33u);
    EXPECT_EQ(leaf.prefixLength, 3u);
    ASSERT_EQ(leaf.entries.size(), 510u);
    EXPECT_EQ(leaf.entries[1].key, (Bytes{0x80, 0x7f, 0xff, 0xed, 0x33}));
    EXPECT_EQ(leaf.entries[1].dataPage, 20u);
    EXPECT_EQ(leaf.entries[1].dataRow, 0x37);
    // The intermediate entry repeats the last entry of the page below it.
    EXPECT_EQ(jet::index::compareEntries(leaf.entries.back(), root.entries[0]), 0);
    EXPECT_EQ(leaf.freeSpace, 4096 - leaf.entriesEnd);
}

TEST(IndexPage, EntriesOrderByKeyBytesThenRow) {
    const auto entry = [](Bytes key, std::uint32_t page, std::uint8_t row) {
        IndexEntry e;
        e.key = std::move(key);
        e.dataPage = page;
        e.dataRow = row;
        return e;
    };
    using jet::index::compareEntries;
    // A key that is the start of another sorts first, whatever the rows.
    EXPECT_LT(compareEntries(entry({0x7f, 0x60}, 9, 9), entry({0x7f, 0x60, 0x61}, 1, 0)), 0);
    EXPECT_GT(compareEntries(entry({0x80}, 1, 0), entry({0x7f, 0xff}, 9, 9)), 0);
    EXPECT_LT(compareEntries(entry({0x7f}, 1, 9), entry({0x7f}, 2, 0)), 0);
    EXPECT_LT(compareEntries(entry({0x7f}, 2, 0), entry({0x7f}, 2, 1)), 0);
}

TEST(IndexPage, DamagedPagesAreRefused) {
    const auto refused = [](const Bytes& page) {
        try {
            readIndexPage(jet4(), page);
        } catch (const jet::Error& e) {
            return e.code() == jet::ErrorCode::Corrupt;
        }
        return false;
    };
    EXPECT_TRUE(refused(makePage(0x01, 0, {})));                          // not an index page
    EXPECT_TRUE(refused(makePage(0x04, 0, {{0x7f, 1, 0, 0}})));           // no room for a key
    EXPECT_TRUE(refused(makePage(0x03, 0, {{0x7f, 1, 0, 0, 0, 0, 0}})));  // no child page
    EXPECT_TRUE(refused(makePage(0x04, 12, {{0x7f, 0, 0, 0, 1, 0, 0, 1, 0}})));  // prefix too long
    auto beyond = makePage(0x04, 0, {});
    const auto& at = jet::index::indexPageLayout(jet4());
    beyond[at.entryMask + at.entryMaskSize - 1] = 0x80;  // an entry ending past the page
    EXPECT_TRUE(refused(beyond));
}

}  // namespace
