// New databases: each format opens as its version, holds the system tables of the Access-made
// empty it follows, takes writes, and never replaces or leaves behind a file.
#include "jet/new_database.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "jet/database.h"
#include "support/fixtures.h"
#include "support/statements.h"

namespace {

using jet::NewDatabaseFormat;
using testsupport::TempDir;

struct Case {
    NewDatabaseFormat format;
    const char* file;
    jet::Version version;
    const char* accessEmpty;
};

std::vector<std::string> systemTables(const jet::Database& db) {
    std::vector<std::string> out;
    for (const auto& row : db.tablesRowset()) {
        std::string text = row.name + ":" + row.type;
        try {
            for (const auto& c : db.table(row.name)->columns) text += " " + c.name;
        } catch (const jet::Error&) {
            text += " (a column of a type the engine does not read)";  // MSysAccessObjects
        }
        out.push_back(text);
    }
    return out;
}

TEST(NewDatabase, EachFormatHoldsTheSystemTablesAccessWrites) {
    const Case cases[] = {
        {NewDatabaseFormat::Access2000, "a.mdb", jet::Version::Jet4, "empty/empty.mdb"},
        {NewDatabaseFormat::Access2007, "b.accdb", jet::Version::Ace12, "empty/empty2007.accdb"},
        {NewDatabaseFormat::Access2010, "c.accdb", jet::Version::Ace14, "empty/empty2010.accdb"},
        {NewDatabaseFormat::Access2016, "d.accdb", jet::Version::Ace16, "empty/empty2016.accdb"},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const auto path = (dir.path() / c.file).string();
        jet::createDatabase(path, c.format);
        testsupport::expectNoFaults(path);
        const auto db = jet::Database::open(path);
        EXPECT_EQ(db->version(), c.version);
        EXPECT_TRUE(db->writable());
        EXPECT_TRUE(db->userTableNames().empty());
        const auto access = jet::Database::open(testsupport::fixture(c.accessEmpty));
        EXPECT_EQ(systemTables(*db), systemTables(*access));
    }
}

TEST(NewDatabase, FormatFollowsTheExtension) {
    EXPECT_EQ(jet::newDatabaseFormatFor("x/Shop.MDB"), NewDatabaseFormat::Access2000);
    EXPECT_EQ(jet::newDatabaseFormatFor("shop.accdb"), NewDatabaseFormat::Access2007);
    EXPECT_EQ(jet::newDatabaseFormatFor("shop.mdb.bak"), std::nullopt);
    EXPECT_EQ(jet::newDatabaseFormatFor("dir.mdb/shop"), std::nullopt);
    EXPECT_EQ(jet::newDatabaseFormatNamed("2016"), NewDatabaseFormat::Access2016);
    EXPECT_EQ(jet::newDatabaseFormatNamed("2013"), std::nullopt);
}

TEST(NewDatabase, NeverReplacesAFileNorLeavesOneOnRefusal) {
    TempDir dir;
    const auto existing = dir.copyOf("jet4/delColTestV2000.mdb");
    const auto before = testsupport::bytesOf(existing);
    try {
        jet::createDatabase(existing, NewDatabaseFormat::Access2000);
        FAIL() << "replaced a file";
    } catch (const jet::Error& e) {
        EXPECT_EQ(e.code(), jet::ErrorCode::FileExists);
        EXPECT_NE(std::string(e.what()).find(existing), std::string::npos);
    }
    EXPECT_EQ(testsupport::bytesOf(existing), before);

    const auto wrong = (dir.path() / "new.mdb").string();
    EXPECT_THROW(jet::createDatabase(wrong, NewDatabaseFormat::Access2010), jet::Error);
    EXPECT_FALSE(std::filesystem::exists(wrong));
    const auto missingFolder = (dir.path() / "none" / "new.accdb").string();
    EXPECT_THROW(jet::createDatabase(missingFolder, NewDatabaseFormat::Access2007), jet::Error);
}

}  // namespace
