// Editing leaf pages: entries go in and out in index order on real Access pages, the result is
// written as Access would write it, and an overfull page is divided in two.
#include "jet/index/index_leaf_edit.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>

#include "jet/base/error.h"
#include "jet/index/index_page_writer.h"
#include "support/fixtures.h"

namespace {

using jet::index::IndexEntry;
using jet::index::IndexPage;
using Bytes = std::vector<std::uint8_t>;

const jet::format::Format& jet4() { return *jet::format::forVersionByte(1); }

Bytes filePage(const std::string& fixture, std::uint32_t number) {
    std::ifstream in(testsupport::fixture(fixture), std::ios::binary);
    in.seekg(static_cast<std::streamoff>(number) * 4096);
    Bytes page(4096);
    in.read(reinterpret_cast<char*>(page.data()), 4096);
    return page;
}

// Header, mask and entries as Access wrote them; Access leaves old bytes beyond.
void expectSameUsedBytes(const Bytes& original, const IndexPage& page) {
    const Bytes written = jet::index::writeIndexPage(jet4(), page);
    const auto used = static_cast<std::ptrdiff_t>(page.entriesEnd);
    EXPECT_TRUE(std::equal(original.begin(), original.begin() + used, written.begin()));
}

void expectAscending(const std::vector<IndexEntry>& entries) {
    for (std::size_t i = 1; i < entries.size(); ++i) {
        EXPECT_LT(jet::index::compareEntries(entries[i - 1], entries[i]), 0) << i;
    }
}

// compIndexTestV2000 page 32: a descending Long index's first leaf, 510 entries compressed
// with a 3-byte prefix; page 33 its last leaf, 2 entries written whole. Taking out any entry
// and putting it back gives the page Access wrote, prefix, mask and free space included.
TEST(IndexLeafEdit, RemovingAndReinsertingRestoresRealLeaves) {
    for (const std::uint32_t pageNo : {32u, 33u}) {
        const Bytes original = filePage("jet4/compIndexTestV2000.mdb", pageNo);
        const IndexPage page = jet::index::readIndexPage(jet4(), original);
        const std::size_t n = page.entries.size();
        for (const std::size_t i : {std::size_t{0}, n / 2, n - 1}) {
            const IndexEntry& entry = page.entries[i];
            const IndexPage removed = jet::index::removeLeafEntry(jet4(), page, entry);
            ASSERT_EQ(removed.entries.size(), n - 1);
            EXPECT_EQ(removed.freeSpace, 4096 - removed.entriesEnd);
            const auto restored = jet::index::insertLeafEntry(jet4(), removed, entry);
            ASSERT_TRUE(restored) << "page " << pageNo << " entry " << i;
            EXPECT_EQ(restored->prefixLength, page.prefixLength);
            EXPECT_EQ(restored->freeSpace, page.freeSpace);
            expectSameUsedBytes(original, *restored);
        }
    }
}

// Same key: the row pointer decides. A new row for the key of entry 1 sorts just before it.
TEST(IndexLeafEdit, EntryWithAnExistingKeyGoesByRow) {
    const IndexPage page =
        jet::index::readIndexPage(jet4(), filePage("jet4/compIndexTestV2000.mdb", 32));
    IndexEntry entry = page.entries[1];
    entry.dataRow = static_cast<std::uint8_t>(entry.dataRow - 1);
    const auto inserted = jet::index::insertLeafEntry(jet4(), page, entry);
    ASSERT_TRUE(inserted);
    EXPECT_EQ(jet::index::compareEntries(inserted->entries[1], entry), 0);
    expectAscending(inserted->entries);
    const IndexPage back =
        jet::index::readIndexPage(jet4(), jet::index::writeIndexPage(jet4(), *inserted));
    ASSERT_EQ(back.entries.size(), page.entries.size() + 1);
    EXPECT_EQ(jet::index::compareEntries(back.entries[1], entry), 0);
}

// Filling the 510-entry leaf: entries are accepted while they fit, then the page says no, and
// the overfull entries divide into two pages that each fit, the first taking the larger half.
TEST(IndexLeafEdit, FullLeafRefusesThenSplitsInTwo) {
    IndexPage page = jet::index::readIndexPage(jet4(), filePage("jet4/compIndexTestV2000.mdb", 32));
    IndexEntry entry = page.entries.back();
    std::optional<IndexPage> next;
    std::size_t added = 0;
    for (;;) {
        entry.dataRow = static_cast<std::uint8_t>(entry.dataRow + 1);
        if (entry.dataRow == 0) ++entry.dataPage;
        next = jet::index::insertLeafEntry(jet4(), page, entry);
        if (!next) break;
        page = *next;
        ++added;
    }
    EXPECT_GT(added, 0u);
    EXPECT_LE(page.entriesEnd, 4096u);
    const IndexPage written =
        jet::index::readIndexPage(jet4(), jet::index::writeIndexPage(jet4(), page));
    EXPECT_EQ(written.entries.size(), page.entries.size());

    std::vector<IndexEntry> overfull = page.entries;
    overfull.push_back(entry);
    EXPECT_FALSE(jet::index::entriesFit(jet4(), overfull, true));
    const auto [head, tail] = jet::index::splitEntries(overfull);
    EXPECT_EQ(head.size(), (overfull.size() + 1) / 2);
    EXPECT_EQ(head.size() + tail.size(), overfull.size());
    EXPECT_TRUE(jet::index::entriesFit(jet4(), head, true));
    EXPECT_TRUE(jet::index::entriesFit(jet4(), tail, true));
    EXPECT_LT(jet::index::compareEntries(head.back(), tail.front()), 0);
    EXPECT_EQ(jet::index::compareEntries(tail.back(), entry), 0);
}

// An entry already present, or one missing, means the index and its table disagree; an edit
// on an intermediate page, or a split of a single entry, is a caller's mistake.
TEST(IndexLeafEdit, EditsThatWouldCorruptAreRefused) {
    const auto code = [](const std::function<void()>& work) {
        try {
            work();
        } catch (const jet::Error& e) {
            return static_cast<int>(e.code());
        }
        return 0;
    };
    const IndexPage leaf =
        jet::index::readIndexPage(jet4(), filePage("jet4/compIndexTestV2000.mdb", 33));
    IndexEntry absent = leaf.entries[0];
    absent.dataRow = static_cast<std::uint8_t>(absent.dataRow + 100);
    const int corrupt = static_cast<int>(jet::ErrorCode::Corrupt);
    const int unsupported = static_cast<int>(jet::ErrorCode::Unsupported);
    EXPECT_EQ(code([&] { jet::index::insertLeafEntry(jet4(), leaf, leaf.entries[1]); }), corrupt);
    EXPECT_EQ(code([&] { jet::index::removeLeafEntry(jet4(), leaf, absent); }), corrupt);

    const IndexPage node =
        jet::index::readIndexPage(jet4(), filePage("jet4/compIndexTestV2000.mdb", 29));
    EXPECT_EQ(code([&] { jet::index::insertLeafEntry(jet4(), node, absent); }), unsupported);
    EXPECT_EQ(code([&] { jet::index::splitEntries({absent}); }), unsupported);
}

}  // namespace
