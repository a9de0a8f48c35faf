// The catalog and the other system tables are the engine's and Access's own: no UPDATE or
// DELETE may change them (one such statement used to delete or hide every table), and the
// checker notices a catalog that lost a table whose pages are still in use.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "jet/check/check.h"
#include "jet/database.h"
#include "jet/sql/execute.h"
#include "jet/store/table_writer.h"
#include "jet/store/write_context.h"
#include "support/fixtures.h"
#include "support/statements.h"

using jet::Database;
using jet::ErrorCode;
using testsupport::errorOf;
using testsupport::TempDir;

namespace {

std::vector<std::uint8_t> bytesOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(SystemTables, UpdateAndDeleteAreRefusedNamingTheTable) {
    for (const char* fixture : {"jet4/indexTestV2000.mdb", "ace/testV2010.accdb"}) {
        SCOPED_TRACE(fixture);
        TempDir dir;
        const std::string path = dir.copyOf(fixture);
        auto db = Database::open(path);
        const auto before = bytesOf(path);
        for (const auto& [sql, table] : std::vector<std::pair<std::string, std::string>>{
                 {"DELETE FROM [MSysObjects]", "MSysObjects"},
                 {"UPDATE [MSysObjects] SET [Type] = [Type] + 1", "MSysObjects"},
                 {"update [msysaces] set [ACM] = 0", "MSysACEs"},
                 {"DELETE FROM [MSysRelationships] WHERE 1 = 1", "MSysRelationships"},
             }) {
            const jet::Error e = errorOf(*db, sql);
            EXPECT_EQ(e.code(), ErrorCode::NotUpdatable) << sql << ": " << e.what();
            EXPECT_NE(std::string(e.what()).find("system table '" + table + "'"), std::string::npos)
                << e.what();
        }
        EXPECT_EQ(bytesOf(path), before);
        EXPECT_EQ(db->userTableNames(), Database::open(path)->userTableNames());
    }
}

// A user table whose name begins with "MSys" counts as a system table, as it does for Access.
TEST(SystemTables, AnMSysNameIsASystemTable) {
    TempDir dir;
    const std::string path = dir.copyOf("jet4/indexTestV2000.mdb");
    auto db = Database::open(path);
    jet::sql::execute(*db, "CREATE TABLE [MSysMine] ([A] LONG)");
    EXPECT_EQ(errorOf(*db, "DELETE FROM [MSysMine]").code(), ErrorCode::NotUpdatable);
    EXPECT_EQ(errorOf(*db, "UPDATE [msysmine] SET [A] = 1").code(), ErrorCode::NotUpdatable);
}

// What a DELETE on the catalog used to do, done below the statements: every check of the file
// must then tell that tables were lost.
TEST(SystemTables, TheCheckerNoticesACatalogThatLostATable) {
    TempDir dir;
    const std::string path = dir.copyOf("jet4/test2000.mdb");
    {
        auto db = Database::open(path);
        const auto catalog = db->table("MSysObjects");
        db->write([&](jet::store::WriteContext& ctx) {
            jet::store::TableWriter writer(ctx.file, ctx.format, *catalog, ctx.codePage);
            auto cursor = db->scan(catalog);
            const std::size_t name = catalog->findColumn("Name")->order;
            while (cursor.next()) {
                if (std::get<std::string>(cursor.row()[name]) == "Table1") {
                    writer.deleteRow(cursor.location());
                    writer.adjustRowCount(-1);
                }
            }
        });
    }
    const auto found = jet::check::checkDatabase(path);
    bool lost = false;
    for (const auto& f : found) {
        lost |= f.severity == jet::check::Severity::Fault &&
                f.description.find(
                    "definition of a table that the catalog (MSysObjects) does "
                    "not list") != std::string::npos;
    }
    EXPECT_TRUE(lost);
}

}  // namespace
