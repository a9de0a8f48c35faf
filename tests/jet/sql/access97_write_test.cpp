// Writes to Access 97 (Jet 3) files: the wizard's three kinds of statement, rows long enough to
// need the jump table, names and properties in the database's code page, and what the code page
// cannot hold, refused with the file left byte for byte as it was. mdb-reader and mdbtools read
// the same writes back in the oracle tests.
#include <gtest/gtest.h>

#include <filesystem>

#include "jet/database.h"
#include "jet/store/property_map.h"
#include "support/fixtures.h"
#include "support/statements.h"

using namespace jet;
using namespace testsupport;

namespace {

class Access97Write : public ::testing::Test {
protected:
    std::string copy(const std::string& fixture) { return dir_.copyOf(fixture); }
    TempDir dir_;
};

const Value& cell(const std::vector<std::vector<Value>>& rows, std::size_t row,
                  const TableDef& table, const char* column) {
    return rows[row][table.findColumn(column)->order];
}

}  // namespace

TEST_F(Access97Write, TheWizardsStatementsByConstantByFieldAndNewField) {
    const auto path = copy("jet3/test97.mdb");
    auto db = Database::open(path);
    EXPECT_EQ(run(*db, "UPDATE [Table1] SET [E] = [E] + 10"), 2u);
    EXPECT_EQ(run(*db, "update [Table1] set [F]=[F]* [D]"), 2u);
    run(*db, "ALTER TABLE [Table1] ADD COLUMN [Total] INT");
    EXPECT_EQ(run(*db, "update [Table1] set [Total]=[C]* [E]"), 2u);
    db.reset();
    db = Database::open(path);
    const auto table = db->table("Table1");
    const auto rows = rowsOf(*db, "Table1");
    EXPECT_EQ(cell(rows, 1, *table, "E"), Value(std::int32_t{333333343}));
    EXPECT_EQ(cell(rows, 1, *table, "F"), Value(444.555 * 222));
    EXPECT_EQ(cell(rows, 1, *table, "Total"), Value(std::int32_t{666666686}));
    EXPECT_EQ(cell(rows, 0, *table, "Total"), Value(std::int32_t{0}));
    expectNoFaults(path);

    // The new field goes again, as the wizard drops it before the next Apply.
    run(*db, "ALTER TABLE [Table1] DROP COLUMN [Total]");
    db.reset();
    db = Database::open(path);
    EXPECT_EQ(db->table("Table1")->findColumn("Total"), nullptr);
    expectNoFaults(path);
}

TEST_F(Access97Write, RowsPastTwoHundredFiftySixBytesAndInsertsAndDeletes) {
    // Nine Text(50) fields and no index: full rows need the jump table.
    if (!std::filesystem::exists(fixture("../fixtures-extra/jet3/overflowTestV1997.mdb"))) {
        GTEST_SKIP() << "shared/fixtures-extra is not beside the project";
    }
    const auto path = copy("../fixtures-extra/jet3/overflowTestV1997.mdb");
    auto db = Database::open(path);
    const std::string fifty = "\u00E9" + std::string(48, 'x') + "\u20AC";  // 50 bytes in 1252
    std::string sets;
    for (const char* c :
         {"data1", "data3", "data4", "data5", "data6", "data7", "data8", "data9", "data10"}) {
        sets += std::string(sets.empty() ? "" : ", ") + "[" + c + "] = '" + fifty + "'";
    }
    EXPECT_EQ(run(*db, "UPDATE [Table1] SET " + sets), 7u);
    EXPECT_EQ(run(*db, "INSERT INTO [Table1] ([data1], [data10]) VALUES ('first', 'last')"), 1u);
    EXPECT_EQ(run(*db, "DELETE FROM [Table1] WHERE [data1] = 'first'"), 1u);
    EXPECT_EQ(run(*db, "INSERT INTO [Table1] ([data10]) VALUES ('" + fifty + "')"), 1u);
    db.reset();
    db = Database::open(path);
    const auto rows = rowsOf(*db, "Table1");
    ASSERT_EQ(rows.size(), 8u);
    for (std::size_t r = 0; r < 7; ++r) {
        for (const auto& v : rows[r]) EXPECT_EQ(v, Value(fifty));
    }
    EXPECT_EQ(rows[7].back(), Value(fifty));
    EXPECT_TRUE(isNull(rows[7].front()));
    expectNoFaults(path);
}

TEST_F(Access97Write, NamesAndDefaultsGoInTheCodePage) {
    const auto path = copy("jet3/test97.mdb");
    auto db = Database::open(path);
    run(*db, "ALTER TABLE [Table2] ADD COLUMN [Menge\u20AC] INT DEFAULT 7");
    db.reset();
    db = Database::open(path);
    const auto table = db->table("Table2");
    ASSERT_NE(table->findColumn("Menge\u20AC"), nullptr);
    for (const auto& e : db->catalog()) {
        if (e.name != "Table2") continue;
        ASSERT_GE(e.properties.size(), 4u);
        EXPECT_EQ(std::string(e.properties.begin(), e.properties.begin() + 3), "KKD");
        const auto maps = store::parsePropertyMaps(*db->format(), e.properties, db->codePage());
        const auto& column = maps.at("menge\u20AC");
        const auto& value = column.at("DefaultValue").data;
        EXPECT_EQ(std::string(value.begin(), value.end()), "7");
    }
    expectNoFaults(path);
}

TEST_F(Access97Write, WhatTheCodePageCannotHoldIsRefusedAndNothingChanges) {
    const auto path = copy("jet3/test97.mdb");
    const auto before = bytesOf(path);
    auto db = Database::open(path);
    const auto refused = [&](const std::string& sql, const std::string& needle) {
        const auto e = errorOf(*db, sql);
        EXPECT_NE(std::string(e.what()).find(needle), std::string::npos) << e.what();
    };
    refused("ALTER TABLE [Table1] ADD COLUMN [\u0141\u00F3d\u017A] INT", "'\u0141' (U+0141)");
    refused("ALTER TABLE [Table1] ADD COLUMN [Price] DECIMAL(10, 2)", "no Decimal");
    refused("ALTER TABLE [Table2] ADD COLUMN [Note] INT DEFAULT '\u03A9'", "U+03A9");
    refused("ALTER TABLE [Table1] ADD COLUMN [Memo1] MEMO DEFAULT '\u03A9'", "U+03A9");
    EXPECT_EQ(bytesOf(path), before);
}

// Memo and OLE Object fields, added to a table and made with one, keep values longer than a
// page in the code page, and go again without taking the others' values with them.
TEST_F(Access97Write, MemoAndOleFieldsAddedMadeFilledAndDropped) {
    const auto path = copy("jet3/test97.mdb");
    auto db = Database::open(path);
    std::string note;
    for (int i = 0; note.size() < 5000; ++i)
        note += "Gr\u00FC\u00DFe \u20AC" + std::to_string(i) + "; ";
    run(*db, "ALTER TABLE [Table1] ADD COLUMN [Note] MEMO");
    run(*db, "ALTER TABLE [Table1] ADD COLUMN [Scan] LONGBINARY");
    run(*db, "ALTER TABLE [Table1] ADD COLUMN [Remark] MEMO");
    EXPECT_EQ(run(*db, "UPDATE [Table1] SET [Note] = '" + note + "', [Remark] = [A] & '!'"), 2u);
    run(*db, "CREATE TABLE [Notes] ([Id] COUNTER PRIMARY KEY, [Body] MEMO, [Title] TEXT(20))");
    run(*db, "INSERT INTO [Notes] ([Body], [Title]) VALUES ('" + note + "', 'long')");
    run(*db, "INSERT INTO [Notes] ([Body], [Title]) VALUES ('short', 'short')");
    const auto e = errorOf(*db, "INSERT INTO [Notes] ([Body]) VALUES ('" + note + "\u03A9')");
    EXPECT_NE(std::string(e.what()).find("'Body'"), std::string::npos) << e.what();
    expectNoFaults(path);

    run(*db, "ALTER TABLE [Table1] DROP COLUMN [Note]");
    db.reset();
    db = Database::open(path);
    const auto table = db->table("Table1");
    EXPECT_EQ(table->findColumn("Note"), nullptr);
    const auto rows = rowsOf(*db, "Table1");
    EXPECT_EQ(cell(rows, 1, *table, "Remark"), Value(std::string("abcdefg!")));
    const auto notes = rowsOf(*db, "Notes");
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[0][1], Value(note));
    EXPECT_EQ(notes[1][1], Value(std::string("short")));
    // The dropped field's place is taken again, as the wizard's new field takes it.
    run(*db, "ALTER TABLE [Table1] ADD COLUMN [Note] MEMO");
    EXPECT_EQ(run(*db, "UPDATE [Table1] SET [Note] = '" + note + note + "'"), 2u);
    EXPECT_EQ(cell(rowsOf(*db, "Table1"), 0, *db->table("Table1"), "Note"), Value(note + note));
    expectNoFaults(path);
}

TEST_F(Access97Write, IndexesMadeChangedAndDroppedKeepTheirKeys) {
    if (!std::filesystem::exists(fixture("../fixtures-extra/jet3/compIndexTestV1997.mdb"))) {
        GTEST_SKIP() << "shared/fixtures-extra is not beside the project";
    }
    // 512 rows: the new index spans several pages, with an intermediate level.
    const auto path = copy("../fixtures-extra/jet3/compIndexTestV1997.mdb");
    auto db = Database::open(path);
    run(*db, "CREATE INDEX [Ascending] ON [Table1] ([CD_AGENTE])");
    run(*db, "CREATE UNIQUE INDEX [Unique] ON [Table1] ([CD_AGENTE] DESC)");
    expectNoFaults(path);
    EXPECT_EQ(run(*db, "UPDATE [Table1] SET [CD_AGENTE] = -[CD_AGENTE] * 3 + 7"), 512u);
    const auto deleted = run(*db, "DELETE FROM [Table1] WHERE [CD_AGENTE] < -1000");
    EXPECT_GT(deleted, 0u);
    EXPECT_EQ(rowsOf(*db, "Table1").size(), 512u - deleted);
    expectNoFaults(path);
    run(*db, "DROP INDEX [Ascending] ON [Table1]");
    db.reset();
    db = Database::open(path);
    const auto table = db->table("Table1");
    ASSERT_EQ(table->indexes.size(), 2u);
    EXPECT_EQ(table->indexes[1].name, "Unique");
    expectNoFaults(path);
}

TEST_F(Access97Write, RelationshipsCascadeAndRefuse) {
    if (!std::filesystem::exists(fixture("../fixtures-extra/jet3/indexTestV1997.mdb"))) {
        GTEST_SKIP() << "shared/fixtures-extra is not beside the project";
    }
    // Table1.otherfk2 follows Table3.id on update; Table1's rows go with their Table2 row.
    const auto path = copy("../fixtures-extra/jet3/indexTestV1997.mdb");
    auto db = Database::open(path);
    EXPECT_EQ(run(*db, "UPDATE [Table3] SET [id] = [id] + 100"), 4u);
    EXPECT_EQ(run(*db, "DELETE FROM [Table2] WHERE [id] = 1"), 1u);
    const auto before = bytesOf(path);
    const auto e = errorOf(*db,
                           "INSERT INTO [Table1] ([id], [otherfk1], [otherfk2]) VALUES "
                           "(9, 0, 12)");
    EXPECT_NE(std::string(e.what()).find("Table3Table1"), std::string::npos) << e.what();
    EXPECT_EQ(bytesOf(path), before);
    db.reset();
    db = Database::open(path);
    const auto table = db->table("Table1");
    const auto rows = rowsOf(*db, "Table1");
    ASSERT_EQ(rows.size(), 2u);  // the two rows of Table2's id 1 went with it
    EXPECT_EQ(cell(rows, 0, *table, "otherfk2"), Value(std::int32_t{110}));
    EXPECT_EQ(cell(rows, 1, *table, "otherfk2"), Value(std::int32_t{113}));
    expectNoFaults(path);
}

TEST_F(Access97Write, TablesWithTextKeysMadeFilledAndDropped) {
    const auto path = copy("jet3/test97.mdb");
    auto db = Database::open(path);
    run(*db,
        "CREATE TABLE [Z\u00FCrich Kunden] ([Id] LONG PRIMARY KEY, [Name] TEXT(40), "
        "[Betrag] CURRENCY)");
    run(*db, "INSERT INTO [Z\u00FCrich Kunden] VALUES (1, 'M\u00FCller', 5.5)");
    run(*db, "INSERT INTO [Z\u00FCrich Kunden] VALUES (2, '\u00C4rger', 7)");
    run(*db, "CREATE INDEX [Namen] ON [Z\u00FCrich Kunden] ([Name] DESC, [Betrag])");
    EXPECT_EQ(run(*db, "UPDATE [Table1] SET [B] = [B] & '-\u00E4'"), 2u);
    expectNoFaults(path);
    db.reset();
    db = Database::open(path);
    const auto rows = rowsOf(*db, "Z\u00FCrich Kunden");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1][1], Value(std::string("\u00C4rger")));
    run(*db, "DROP TABLE [Z\u00FCrich Kunden]");
    db.reset();
    db = Database::open(path);
    EXPECT_EQ(db->userTableNames(),
              (std::vector<std::string>{"Table1", "Table2", "Table3", "Table4"}));
    expectNoFaults(path);
}
