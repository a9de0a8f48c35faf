// Whole index trees changed entry by entry in a real file: eight hundred wide entries grow a
// two-level Access index to four levels through leaf, intermediate and root splits, and taking
// them out again (one by one, or by row in one walk) shrinks it back to a tree the checker
// passes. Between the two, the tree is walked and held to the shape Access gives its trees.
#include "jet/index/index_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>
#include <set>

#include "jet/base/error.h"
#include "jet/check/check.h"
#include "jet/database.h"
#include "jet/index/index_page.h"
#include "jet/store/write_context.h"
#include "support/fixtures.h"
#include "support/statements.h"

using namespace jet;
using namespace testsupport;
using index::IndexEntry;

namespace {

constexpr const char* kFixture = "jet4/compIndexTestV2000.mdb";  // Table1: 512 rows, 1 index

index::IndexStorage storageOf(const TableDef& table) {
    const IndexDef& ix = table.indexes.at(0);
    return {ix.firstPage, ix.usedPagesRow, table.definitionPage, "index 'CD_AGENTE'"};
}

// Entries for rows the table does not have: 400-byte keys, so that a page holds only nine and
// a few hundred need a deep tree.
std::vector<IndexEntry> wideEntries(std::size_t count, std::mt19937& random) {
    std::vector<IndexEntry> entries;
    for (std::size_t i = 0; i < count; ++i) {
        IndexEntry e;
        e.key.resize(400);
        for (auto& b : e.key) b = static_cast<std::uint8_t>(random());
        e.dataPage = 0x800000 + static_cast<std::uint32_t>(i / 200);
        e.dataRow = static_cast<std::uint8_t>(i % 200);
        entries.push_back(std::move(e));
    }
    return entries;
}

struct Shape {
    int depth = 0;
    std::vector<IndexEntry> entries;  // leaf entries in tree order
};

// Walks the tree and holds it to Access's shape; returns the leaf entries in order.
class ShapeWalker {
public:
    ShapeWalker(const file::PageFile& file, const format::Format& fmt) : file_(file), fmt_(fmt) {}

    Shape walk(std::uint32_t root) {
        Shape shape;
        levels_.clear();
        const IndexEntry last = visit(root, 0, shape);
        if (!shape.entries.empty()) {
            EXPECT_EQ(index::compareEntries(last, shape.entries.back()), 0);
        }
        // Leaves form one list; the pages of a level above link only within their parent.
        for (std::size_t level = 0; level < levels_.size(); ++level) {
            const auto& pages = levels_[level];
            const bool leaves = level + 1 == levels_.size();
            for (std::size_t i = 0; i < pages.size(); ++i) {
                const index::IndexPage p = read(pages[i].page);
                const bool firstOfParent = i == 0 || pages[i - 1].parent != pages[i].parent;
                const bool lastOfParent =
                    i + 1 == pages.size() || pages[i + 1].parent != pages[i].parent;
                const std::uint32_t prev =
                    i == 0 || (!leaves && firstOfParent) ? 0 : pages[i - 1].page;
                const std::uint32_t next =
                    i + 1 == pages.size() || (!leaves && lastOfParent) ? 0 : pages[i + 1].page;
                EXPECT_EQ(p.prevPage, prev) << "page " << pages[i].page;
                EXPECT_EQ(p.nextPage, next) << "page " << pages[i].page;
            }
        }
        shape.depth = static_cast<int>(levels_.size());
        return shape;
    }

private:
    struct Placed {
        std::uint32_t page, parent;
    };

    index::IndexPage read(std::uint32_t page) const {
        return index::readIndexPage(fmt_, *file_.page(page));
    }

    IndexEntry visit(std::uint32_t pageNo, std::size_t level, Shape& shape,
                     std::uint32_t parent = 0) {
        if (levels_.size() <= level) levels_.resize(level + 1);
        levels_[level].push_back({pageNo, parent});
        const index::IndexPage page = read(pageNo);
        if (page.leaf) {
            shape.entries.insert(shape.entries.end(), page.entries.begin(), page.entries.end());
            return page.entries.empty() ? IndexEntry{} : page.entries.back();
        }
        // Several children: the last is the unnamed tail. One child: named, no tail.
        EXPECT_FALSE(page.entries.empty()) << "page " << pageNo;
        if (page.entries.size() > 1) {
            EXPECT_NE(page.tailPage, 0u) << "page " << pageNo << " names all its children";
        }
        IndexEntry last;
        for (const auto& e : page.entries) {
            last = visit(e.childPage, level + 1, shape, pageNo);
            EXPECT_TRUE(last.key == e.key && last.sameRow(e))
                << "page " << pageNo << " does not repeat the last entry of " << e.childPage;
        }
        if (page.tailPage != 0) last = visit(page.tailPage, level + 1, shape, pageNo);
        return last;
    }

    const file::PageFile& file_;
    const format::Format& fmt_;
    std::vector<std::vector<Placed>> levels_;
};

bool lessEntry(const IndexEntry& a, const IndexEntry& b) { return index::compareEntries(a, b) < 0; }

}  // namespace

TEST(IndexTree, GrowsThroughEverySplitAndShrinksBack) {
    testsupport::TempDir dir;
    const std::string path = dir.copyOf(kFixture);
    auto db = Database::open(path);
    const auto table = db->table("Table1");
    std::mt19937 random(7);
    const std::vector<IndexEntry> wide = wideEntries(800, random);

    std::vector<IndexEntry> original;
    // Inserting an entry twice is the mark of an index out of step with its table: the write
    // fails and is rolled back whole.
    EXPECT_THROW(db->write([&](store::WriteContext& ctx) {
        ShapeWalker walker(ctx.file, ctx.format);
        original = walker.walk(storageOf(*table).rootPage).entries;
        index::IndexTree tree(ctx.file, ctx.format, storageOf(*table));
        for (const auto& e : wide) tree.insert(e);
        tree.insert(wide[17]);
    }),
                 Error);
    EXPECT_EQ(bytesOf(path), bytesOf(testsupport::fixture(kFixture)));

    for (const bool byRows : {false, true}) {
        SCOPED_TRACE(byRows ? "removed by rows" : "removed one by one");
        db->write([&](store::WriteContext& ctx) {
            index::IndexTree tree(ctx.file, ctx.format, storageOf(*table));
            for (const auto& e : wide) tree.insert(e);
            ShapeWalker walker(ctx.file, ctx.format);
            const Shape grown = walker.walk(storageOf(*table).rootPage);
            EXPECT_GE(grown.depth, 4);
            std::vector<IndexEntry> expected = original;
            expected.insert(expected.end(), wide.begin(), wide.end());
            std::sort(expected.begin(), expected.end(), lessEntry);
            ASSERT_EQ(grown.entries.size(), expected.size());
            for (std::size_t i = 0; i < expected.size(); ++i) {
                ASSERT_EQ(index::compareEntries(grown.entries[i], expected[i]), 0) << i;
            }
            EXPECT_EQ(tree.countKey(wide[5].key, 5), 1u);

            if (byRows) {
                std::vector<std::uint32_t> rows;
                for (const auto& e : wide) rows.push_back(e.dataPage << 8 | e.dataRow);
                std::sort(rows.begin(), rows.end());
                tree.removeRows(rows);
            } else {
                std::vector<IndexEntry> shuffled = wide;
                std::shuffle(shuffled.begin(), shuffled.end(), random);
                for (const auto& e : shuffled) tree.remove(e);
            }
            const Shape shrunk = walker.walk(storageOf(*table).rootPage);
            ASSERT_EQ(shrunk.entries.size(), original.size());
            EXPECT_THROW(tree.remove(wide[0]), Error);
        });
    }
    // Written, freed and linked as the checker (and through it Access) expects.
    expectNoFaults(path);
}

TEST(IndexTree, RepeatedKeysAreFoundAcrossLeaves) {
    testsupport::TempDir dir;
    const std::string path = dir.copyOf(kFixture);
    auto db = Database::open(path);
    const auto table = db->table("Table1");
    EXPECT_THROW(db->write([&](store::WriteContext& ctx) {
        index::IndexTree tree(ctx.file, ctx.format, storageOf(*table));
        // Enough copies of one key to fill several leaves.
        IndexEntry e;
        e.key.assign(200, 0x42);
        for (std::uint8_t row = 0; row < 100; ++row) {
            e.dataPage = 0x700000;
            e.dataRow = row;
            tree.insert(e);
        }
        EXPECT_EQ(tree.countKey(e.key, 1000), 100u);
        EXPECT_EQ(tree.countKey(e.key, 3), 3u);
        EXPECT_EQ(tree.findRepeatedKey({}), e.key);
        // The fixture's own index repeats keys further on.
        EXPECT_NE(tree.findRepeatedKey(e.key), e.key);
        throw Error(ErrorCode::Io, "undo");
    }),
                 Error);
    EXPECT_EQ(bytesOf(path), bytesOf(testsupport::fixture(kFixture)));
    expectNoFaults(path);
}
