// Indexes built whole when a table is written afresh: the order entries are sorted in when they
// spill to disk, a tree three levels deep over a unique and a plain index after compacting, held
// to the checker, lookups and mdb-reader, and a repeated key refused with the file left as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "jet/base/bytes.h"
#include "jet/compact.h"
#include "jet/database.h"
#include "jet/ddl/table_rewrite.h"
#include "jet/index/entry_sorter.h"
#include "jet/store/write_context.h"
#include "support/fixtures.h"
#include "support/made_database.h"
#include "support/mdb_reader.h"
#include "support/statements.h"

using namespace jet;
using namespace testsupport;

namespace {

// Entries of three indexes, keys of many lengths, some a prefix of others and many repeated, in
// a budget so small that the runs outnumber what one merge reads and are merged twice over.
TEST(EntrySorter, SpilledRunsComeBackInIndexThenEntryOrder) {
    TempDir dir;
    struct Item {
        std::uint8_t index;
        index::IndexEntry entry;
    };
    std::vector<Item> items;
    std::mt19937 random(7);
    for (std::uint32_t i = 0; i < 40000; ++i) {
        std::vector<std::uint8_t> key(random() % 12, 0);
        for (auto& b : key) b = static_cast<std::uint8_t>(random() % 3);
        items.push_back({static_cast<std::uint8_t>(random() % 3),
                         {key, static_cast<std::uint32_t>(random() % 5), std::uint8_t(i % 256)}});
    }
    index::EntrySorter sorter((dir.path() / "x.mdb").string(), 8 << 10);
    for (const auto& [ix, e] : items) sorter.add(ix, e.key, e.dataPage, e.dataRow);
    std::stable_sort(items.begin(), items.end(), [](const Item& a, const Item& b) {
        if (a.index != b.index) return a.index < b.index;
        return index::compareEntries(a.entry, b.entry) < 0;
    });
    index::SortedEntry out;
    for (const auto& [ix, e] : items) {
        ASSERT_TRUE(sorter.next(out));
        ASSERT_EQ(out.index, ix);
        ASSERT_TRUE(std::ranges::equal(out.key, e.key));
        ASSERT_EQ(out.dataPage, e.dataPage);
        ASSERT_EQ(out.dataRow, e.dataRow);
    }
    EXPECT_FALSE(sorter.next(out));
    EXPECT_GT(sorter.runsWritten(), 64u);
}

// Entries that come in order (a primary key read in its rows' order) spill as one run however
// often the budget fills; the first that does not, late and after several spills, still comes
// back in its place, and so do those after it.
TEST(EntrySorter, EntriesInOrderThenSomeOutOfOrder) {
    TempDir dir;
    std::vector<index::IndexEntry> entries;
    for (std::uint32_t i = 0; i < 30000; ++i) {
        const std::uint32_t k = i / 3;  // each key three times, told apart by the row pointer
        entries.push_back({{std::uint8_t(k >> 16), std::uint8_t(k >> 8), std::uint8_t(k)},
                           100 + i / 40,
                           std::uint8_t(i % 40)});
    }
    entries.push_back({{0, 0, 7}, 1, 0});  // before nearly everything
    entries.push_back({{0, 0, 7}, 1, 0});  // the same again
    entries.push_back({{0xff}, 2, 0});     // after everything
    entries.push_back({{0, 0x10}, 3, 5});
    index::EntrySorter sorter((dir.path() / "x.mdb").string(), 8 << 10);
    for (const auto& e : entries) sorter.add(0, e.key, e.dataPage, e.dataRow);
    std::stable_sort(entries.begin(), entries.end(),
                     [](const auto& a, const auto& b) { return index::compareEntries(a, b) < 0; });
    index::SortedEntry out;
    for (const auto& e : entries) {
        ASSERT_TRUE(sorter.next(out));
        ASSERT_TRUE(std::ranges::equal(out.key, e.key));
        ASSERT_EQ(out.dataPage, e.dataPage);
        ASSERT_EQ(out.dataRow, e.dataRow);
    }
    EXPECT_FALSE(sorter.next(out));
}

// Long text keys few to a page, so that 4000 rows take four levels: pages above the leaves that
// do not share a parent are not linked.
class RebuiltIndexes : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = manyRecords(dir_,
                            "CREATE TABLE [T] ([ID] COUNTER PRIMARY KEY, [Name] TEXT(255), "
                            "[Code] LONG, [Qty] INT)",
                            "INSERT INTO [T] ([Name], [Qty]) VALUES ('a', 1)", "T", 0);
        auto db = Database::open(path_);
        for (int i = 0; i < 12; ++i) {
            run(*db, "INSERT INTO [T] ([Name], [Qty]) SELECT [Name], [Qty] FROM [T]");
        }
        run(*db, "DELETE FROM [T] WHERE [ID] > 4000");
        run(*db, "UPDATE [T] SET [Name] = ([ID] Mod 700) & '" + std::string(250, 'q') +
                     "', [Code] = [ID] * 3 WHERE [ID] Mod 5 <> 0");
        run(*db, "CREATE UNIQUE INDEX [CodeIx] ON [T] ([Code])");
        run(*db, "CREATE INDEX [NameIx] ON [T] ([Name])");
    }
    std::uint32_t rootOf(const std::string& indexName) {
        auto db = Database::open(path_);
        for (const auto& ix : db->table("T")->indexes) {
            if (ix.name == indexName) return ix.firstPage;
        }
        ADD_FAILURE() << indexName;
        return 0;
    }

    TempDir dir_;
    std::string path_;
};

TEST_F(RebuiltIndexes, CompactWritesDeepTreesThatCheckAndFindRows) {
    const auto before = readWithMdbReader(path_, "T");
    compact(*Database::open(path_), {});
    expectNoFaults(path_);
    EXPECT_EQ(readWithMdbReader(path_, "T").rows, before.rows);
    EXPECT_EQ(commandOutput("mdb-export '" + path_ + "' T | wc -l"), "4001\n");

    // Four levels: the root, its last child and that one's last child are intermediate pages.
    const auto bytes = bytesOf(path_);
    std::size_t levels = 1;
    for (std::size_t page = rootOf("NameIx"); bytes.at(page * 4096) == 0x03; ++levels) {
        page = u32(bytes, page * 4096 + 20);
    }
    EXPECT_EQ(levels, 4u);

    // Changes that find their entries by walking down from the root.
    auto db = Database::open(path_);
    EXPECT_EQ(run(*db, "UPDATE [T] SET [Code] = [Code] + 1 WHERE [ID] Mod 100 = 1"), 40u);
    EXPECT_EQ(run(*db, "UPDATE [T] SET [Name] = 'zz' WHERE [ID] = 1234"), 1u);
    expectRefused(*db, path_, "UPDATE [T] SET [Code] = 6 WHERE [ID] = 3", ErrorCode::DuplicateKey,
                  "The changes were not made because they would create duplicate values in the "
                  "index 'CodeIx' of table 'T'.");
    // 800 rows have no code: Nulls a unique index holds any number of.
    EXPECT_EQ(run(*db, "UPDATE [T] SET [Qty] = 2 WHERE [Code] Is Null"), 800u);
    expectNoFaults(path_);
}

// Every row grows past its page's room, so the table is written afresh with its new keys.
TEST_F(RebuiltIndexes, RewritingUpdateKeepsIndexesWhole) {
    auto db = Database::open(path_);
    run(*db, "ALTER TABLE [T] ADD COLUMN [Note] TEXT(200)");
    EXPECT_EQ(
        run(*db, "UPDATE [T] SET [Note] = '" + std::string(150, 'n') + "', [Code] = [ID] * 5"),
        4000u);
    expectNoFaults(path_);
    EXPECT_EQ(readWithMdbReader(path_, "T").rows.size(), 4000u);
    EXPECT_EQ(run(*db, "UPDATE [T] SET [Code] = 1 WHERE [ID] = 2997"), 1u);
    expectRefused(*db, path_, "UPDATE [T] SET [Code] = 10 WHERE [ID] = 1", ErrorCode::DuplicateKey,
                  "The changes were not made because they would create duplicate values in the "
                  "index 'CodeIx' of table 'T'.");
    expectNoFaults(path_);
}

TEST_F(RebuiltIndexes, RepeatedKeyIsRefusedAndChangesNothing) {
    const auto before = bytesOf(path_);
    auto db = Database::open(path_);
    const auto table = db->table("T");
    const auto rows = rowsOf(*db, "T");
    const Error e = errorOf([&] {
        db->write([&](store::WriteContext& ctx) {
            ddl::TableRewrite rewrite(ctx.file, ctx.format, *table, ctx.codePage);
            for (auto row : rows) {
                if (std::get<std::int32_t>(row[0]) == 2000) row[2] = std::int32_t{3};
                rewrite.add(row);
            }
            rewrite.finish(false);
        });
    });
    EXPECT_EQ(e.code(), ErrorCode::DuplicateKey);
    EXPECT_STREQ(e.what(),
                 "The changes were not made because they would create duplicate values in the "
                 "index 'CodeIx' of table 'T'.");
    EXPECT_EQ(bytesOf(path_), before);
}

}  // namespace
