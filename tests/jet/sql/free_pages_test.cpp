// Pages the file gives back (a dropped table's, an emptied index page) are taken again before the
// file grows; a new table's definition, whose page number is its id, still goes at the end.
#include <gtest/gtest.h>

#include <filesystem>

#include "jet/database.h"
#include "jet/format/format.h"
#include "support/fixtures.h"
#include "support/statements.h"

using namespace jet;
using namespace testsupport;

namespace {

void fill(Database& db, const std::string& table, int rows) {
    run(db, "CREATE TABLE [" + table + "] ([Id] LONG PRIMARY KEY, [Name] TEXT(200), [Note] MEMO)");
    for (int i = 0; i < rows; ++i) {
        run(db, "INSERT INTO [" + table + "] VALUES (" + std::to_string(i) + ", '" +
                    std::string(150, static_cast<char>('a' + i % 26)) + "', '" +
                    std::string(3000, 'n') + "')");
    }
}

std::uint32_t idOf(const Database& db, const std::string& name) {
    for (const auto& e : db.catalog()) {
        if (e.name == name) return static_cast<std::uint32_t>(e.id) & 0x00FFFFFF;
    }
    return 0;
}

}  // namespace

TEST(FreePages, ADroppedTablesPagesAreTakenAgainBeforeTheFileGrows) {
    for (const char* fixture : {"jet4/test2000.mdb", "ace/test2010.accdb", "jet3/test97.mdb"}) {
        SCOPED_TRACE(fixture);
        TempDir dir;
        const std::string path = dir.copyOf(fixture);
        const auto initial = std::filesystem::file_size(path);
        auto db = Database::open(path);
        fill(*db, "First", 120);
        const auto grown = std::filesystem::file_size(path);
        const std::uint32_t firstId = idOf(*db, "First");
        run(*db, "DROP TABLE [First]");
        fill(*db, "Second", 120);
        // The second table's pages are the first's; its definition is new, at the end.
        const std::uint64_t page = db->format()->pageSize;
        EXPECT_GE(std::filesystem::file_size(path), grown + page);
        EXPECT_LT(std::filesystem::file_size(path) - grown, (grown - initial) / 20);
        EXPECT_GT(idOf(*db, "Second"), firstId);
        EXPECT_EQ(rowsOf(*db, "Second").size(), 120u);
        expectNoFaults(path);
    }
}

// A value longer than a page leaves the end of its chain on a page with room, which the values
// after it, in later statements too, fill before a new page is taken.
TEST(FreePages, LongValuesFillThePagesTheirChainsLeavePartlyEmpty) {
    TempDir dir;
    const std::string path = dir.copyOf("jet3/test97.mdb");
    const auto initial = std::filesystem::file_size(path);
    auto db = Database::open(path);
    run(*db, "CREATE TABLE [Notes] ([Id] LONG, [Note] MEMO)");
    for (int i = 0; i < 60; ++i) {
        run(*db, "INSERT INTO [Notes] VALUES (" + std::to_string(i) + ", '" +
                     std::string(2500, static_cast<char>('a' + i % 26)) + "')");
    }
    // Each value: one full 2 KB page and some 470 bytes, four of which share a page.
    const auto pages = (std::filesystem::file_size(path) - initial) / 2048;
    EXPECT_LT(pages, 60u + 60u / 4 + 10);
    EXPECT_EQ(rowsOf(*db, "Notes")[59][1], Value(std::string(2500, 'h')));
    expectNoFaults(path);
}
