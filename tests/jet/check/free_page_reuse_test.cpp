// A global usage map that calls pages in use free (a damaged file) must not make a writer take
// them, nor cut them off the end of the file: the rows on them stay, and the writer goes on at
// the end of the file.
#include <gtest/gtest.h>

#include "damage.h"
#include "jet/database.h"
#include "jet/store/free_tail.h"
#include "jet/store/write_context.h"
#include "support/statements.h"

using namespace jet;

TEST(FreePageReuse, PagesInUseThatTheGlobalMapCallsFreeAreNotTaken) {
    for (const char* fixture : {"jet4/test2000.mdb", "jet3/test97.mdb"}) {
        SCOPED_TRACE(fixture);
        checktest::DamagedCopy copy(fixture);
        const auto before = testsupport::rowsOf(*Database::open(copy.path()), "Table1");
        // Table1's data page, its definition and the page of its usage maps, all called free.
        const std::uint32_t data = copy.dataPages("Table1").at(0);
        const std::uint32_t definition = copy.definitionPage("Table1");
        const std::uint32_t maps = copy.layout("Table1").usedPagesRow >> 8;
        for (const std::uint32_t page : {data, definition, maps}) {
            copy.setMapBit(0x100, page, true);
        }
        {
            auto db = Database::open(copy.path());
            testsupport::run(*db, "CREATE TABLE [Fresh] ([A] LONG, [B] TEXT(200))");
            for (int i = 0; i < 40; ++i) {
                testsupport::run(*db, "INSERT INTO [Fresh] VALUES (" + std::to_string(i) + ", '" +
                                          std::string(180, 'x') + "')");
            }
        }
        const auto db = Database::open(copy.path());
        EXPECT_EQ(testsupport::rowsOf(*db, "Table1"), before);
        EXPECT_EQ(testsupport::rowsOf(*db, "Fresh").size(), 40u);
    }
}

// A damaged global map that calls every page free costs no table a page.
TEST(FreeTail, PagesATableReachesStayWhateverTheGlobalMapSays) {
    checktest::DamagedCopy copy("jet4/delTestV2000.mdb");
    const auto tables = Database::open(copy.path())->userTableNames();
    std::vector<std::vector<std::vector<Value>>> before;
    for (const auto& t : tables) {
        before.push_back(testsupport::rowsOf(*Database::open(copy.path()), t));
    }
    for (std::uint32_t p = 3; p < copy.pageCount(); ++p) copy.setMapBit(0x100, p, true);

    auto db = Database::open(copy.path());
    db->write([&](store::WriteContext& ctx) { store::cutFreeTail(ctx.file, ctx.format); });
    for (std::size_t i = 0; i < tables.size(); ++i) {
        EXPECT_EQ(testsupport::rowsOf(*db, tables[i]), before[i]);
    }
}
