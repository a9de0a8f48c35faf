// Compacting in place: dropped fields stop counting, tables gone leave nothing behind, stored
// row counts come right, and every row reads as before, by this engine and by mdb-reader.
#include "jet/compact.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "jet/check/check.h"
#include "jet/database.h"
#include "support/fixtures.h"
#include "support/mdb_reader.h"
#include "support/statements.h"

using namespace jet;
using testsupport::rowsOf;
using testsupport::run;

namespace {

std::vector<std::string> warningsOf(const std::string& path) {
    std::vector<std::string> warnings;
    for (const auto& f : check::checkDatabase(path)) warnings.push_back(f.description);
    return warnings;
}

}  // namespace

// Access leaves the definitions of dropped tables behind and lets a system table's row count go
// stale until the file is compacted.
TEST(Compact, WhatAccessLeavesForCompactingIsMadeRight) {
    testsupport::TempDir dir;
    const std::string path = dir.copyOf("jet4/test2000.mdb");
    ASSERT_EQ(warningsOf(path).size(), 3u);
    auto db = Database::open(path);
    const auto before = rowsOf(*db, "Table1");
    const CompactReport report = compact(*db, {});
    EXPECT_EQ(report.pagesLeftBehind, 2u);
    EXPECT_EQ(report.tables.size(), 4u);
    EXPECT_TRUE(report.leftAlone.empty());
    EXPECT_EQ(warningsOf(path), std::vector<std::string>{});
    EXPECT_EQ(rowsOf(*db, "Table1"), before);
}

// Fields dropped from the middle of a table, a Memo field with a value on pages of its own and
// indexes on fields after the gap: numbered afresh in every format, and still found by their
// indexes.
TEST(Compact, FieldsAreNumberedAfreshInEveryFormat) {
    for (const char* fixture : {"jet3/test97.mdb", "jet4/test2000.mdb", "ace/test2010.accdb"}) {
        SCOPED_TRACE(fixture);
        testsupport::TempDir dir;
        const std::string path = dir.copyOf(fixture);
        auto db = Database::open(path);
        const std::string note(5000, 'n');
        run(*db, "ALTER TABLE [Table1] ADD COLUMN [Gone] INT");
        run(*db, "ALTER TABLE [Table1] ADD COLUMN [Note] MEMO");
        run(*db, "ALTER TABLE [Table1] ADD COLUMN [Code] INT");
        run(*db, "CREATE UNIQUE INDEX [ByCode] ON [Table1] ([Code])");
        run(*db, "UPDATE [Table1] SET [Code] = [E] + 100, [Note] = '" + note + "' & [A]");
        run(*db, "ALTER TABLE [Table1] DROP [Gone]");
        run(*db, "ALTER TABLE [Table1] DROP [D]");
        const auto table = db->table("Table1");
        ASSERT_GT(table->maxColumns, table->columns.size());
        const auto before = rowsOf(*db, "Table1");
        const auto readBefore = testsupport::readWithMdbReader(path, "Table1");

        const CompactReport report = compact(*db, {});
        const auto it = std::find_if(report.tables.begin(), report.tables.end(),
                                     [](const auto& t) { return t.name == "Table1"; });
        ASSERT_NE(it, report.tables.end());
        EXPECT_TRUE(it->renumbered);
        const auto after = db->table("Table1");
        EXPECT_EQ(after->maxColumns, after->columns.size());
        for (std::size_t i = 0; i < after->columns.size(); ++i) {
            EXPECT_EQ(after->columns[i].number, i);
        }
        EXPECT_EQ(rowsOf(*db, "Table1"), before);
        EXPECT_EQ(testsupport::readWithMdbReader(path, "Table1").rows, readBefore.rows);
        testsupport::expectNoFaults(path);
        // The unique index and the primary key follow their fields' new numbers.
        const std::string e = std::get<std::string>(before.front()[0]);
        EXPECT_EQ(run(*db, "UPDATE [Table1] SET [Code] = 7 WHERE [A] = '" + e + "'"), 1u);
        EXPECT_EQ(testsupport::errorOf(*db, "UPDATE [Table1] SET [Code] = 7").code(),
                  ErrorCode::DuplicateKey);
        testsupport::expectNoFaults(path);
    }
}
