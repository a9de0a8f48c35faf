// CREATE TABLE and DROP TABLE: new tables in every format a new database takes, filled by
// INSERT and read back; tables of Access's own files taken away with their pages; and what is
// refused with the file left byte for byte as it was.
#include <gtest/gtest.h>

#include <algorithm>

#include "jet/base/error.h"
#include "jet/database.h"
#include "jet/new_database.h"
#include "jet/store/property_map.h"
#include "support/fixtures.h"
#include "support/statements.h"

using namespace jet;
using namespace testsupport;

namespace {

// A new database of `format` in `dir`, named `file`; its path.
std::string newDatabase(const TempDir& dir, const std::string& file, NewDatabaseFormat format) {
    const std::string path = (dir.path() / file).string();
    createDatabase(path, format);
    return path;
}

const char* const kShop =
    "CREATE TABLE [Shop] (Id COUNTER PRIMARY KEY, Product TEXT(40), Qty SHORT, Stock LONG, "
    "Price CURRENCY, Discount DOUBLE, Weight SINGLE, Shelf BYTE, Active BIT, Sold DATETIME, "
    "Exact DECIMAL(10, 2), Notes MEMO)";

std::string longNote() {
    std::string note;
    for (int i = 0; i < 400; ++i) note += "note " + std::to_string(i) + "; ";
    return note;  // several kilobytes: stored on a long-value page of its own
}

class NewTableInNewDatabase : public ::testing::TestWithParam<NewDatabaseFormat> {};

INSTANTIATE_TEST_SUITE_P(Formats, NewTableInNewDatabase,
                         ::testing::Values(NewDatabaseFormat::Access2000,
                                           NewDatabaseFormat::Access2007,
                                           NewDatabaseFormat::Access2010,
                                           NewDatabaseFormat::Access2016));

TEST_P(NewTableInNewDatabase, TakesRowsAndReadsThemBack) {
    TempDir dir;
    const bool mdb = GetParam() == NewDatabaseFormat::Access2000;
    const std::string path = newDatabase(dir, mdb ? "shop.mdb" : "shop.accdb", GetParam());
    auto db = Database::open(path);
    run(*db, kShop);
    EXPECT_EQ(db->userTableNames(), std::vector<std::string>{"Shop"});
    const auto table = db->table("shop");
    ASSERT_EQ(table->columns.size(), 12u);
    EXPECT_TRUE(table->columns[0].autoNumber);
    EXPECT_EQ(table->columns[1].size, 80);  // two bytes a character
    EXPECT_EQ(table->columns[10].precision, 10);
    EXPECT_EQ(table->columns[10].scale, 2);
    ASSERT_EQ(table->indexes.size(), 1u);
    EXPECT_EQ(table->indexes[0].name, "PrimaryKey");
    EXPECT_TRUE(table->indexes[0].primaryKey());

    run(*db,
        "INSERT INTO Shop (Product, Qty, Stock, Price, Discount, Weight, Shelf, Active, Sold, "
        "Exact, Notes) VALUES ('Kettle', 2, 140, 42.5, 0.1, 1.25, 7, True, #2024-03-01 "
        "10:30:00#, 12.34, 'short')");
    run(*db, "INSERT INTO Shop (Product, Notes) VALUES ('Mug', '" + longNote() + "')");
    EXPECT_EQ(run(*db, "INSERT INTO Shop (Product, Qty) SELECT Product, Qty + 1 FROM Shop"), 2u);
    const auto rows = rowsOf(*db, "Shop");
    ASSERT_EQ(rows.size(), 4u);
    for (std::int32_t id = 1; id <= 4; ++id) EXPECT_EQ(rows[id - 1][0], Value(id));
    EXPECT_EQ(rows[0][1], Value(std::string("Kettle")));
    EXPECT_EQ(rows[0][2], Value(std::int16_t{2}));
    EXPECT_EQ(rows[0][4], Value(Currency{425000}));
    EXPECT_EQ(rows[0][8], Value(true));
    EXPECT_EQ(rows[1][11], Value(longNote()));
    EXPECT_TRUE(isNull(rows[1][2]));
    EXPECT_EQ(rows[2][2], Value(std::int16_t{3}));
    db.reset();
    expectNoFaults(path);

    // The key is kept: a repeated Id is refused, and the file stays as it was.
    db = Database::open(path);
    const auto before = bytesOf(path);
    EXPECT_EQ(errorOf(*db, "INSERT INTO Shop (Id, Product) VALUES (2, 'again')").code(),
              ErrorCode::DuplicateKey);
    EXPECT_EQ(bytesOf(path), before);

    run(*db, "DROP TABLE Shop");
    EXPECT_TRUE(db->userTableNames().empty());
    run(*db, kShop);  // the name is free again
    EXPECT_TRUE(rowsOf(*db, "Shop").empty());

    // Names and keys of any character: the catalog's name index takes the new name, and text
    // keys go into both directions.
    run(*db, "CREATE TABLE [Zürich Kunden] ([Kunde] TEXT(50) PRIMARY KEY, [Ort] TEXT(30))");
    run(*db, "CREATE INDEX [Orte] ON [Zürich Kunden] ([Ort] DESC)");
    for (const char* row : {"('Österreich AG', 'Zürich')", "('çava', 'Genève')",
                            "('東京商事', '東京')", "('ZZ Top', NULL)", "('o''brien', ' ')"}) {
        run(*db, std::string("INSERT INTO [Zürich Kunden] VALUES ") + row);
    }
    EXPECT_EQ(errorOf(*db, "INSERT INTO [Zürich Kunden] VALUES ('ÖSTERREICH AG', 'x')").code(),
              ErrorCode::DuplicateKey);
    EXPECT_EQ(run(*db, "UPDATE [Zürich Kunden] SET [Ort] = [Ort] & 'é'"), 5u);
    EXPECT_EQ(db->userTableNames(), (std::vector<std::string>{"Shop", "Zürich Kunden"}));
    db.reset();
    expectNoFaults(path);
}

TEST(CreateTable, KeysAndConstraints) {
    TempDir dir;
    const std::string path = newDatabase(dir, "keys.mdb", NewDatabaseFormat::Access2000);
    auto db = Database::open(path);
    run(*db,
        "CREATE TABLE Lines (OrderId LONG NOT NULL, Line SHORT NOT NULL, Code LONG UNIQUE, "
        "Amount CURRENCY NOT NULL, CONSTRAINT Pk PRIMARY KEY (OrderId, Line), "
        "CONSTRAINT ByAmount UNIQUE (Amount, Code))");
    const auto table = db->table("Lines");
    ASSERT_EQ(table->indexes.size(), 3u);
    const auto& pk = table->indexes[0];
    EXPECT_EQ(pk.name, "Pk");
    EXPECT_TRUE(pk.primaryKey() && pk.unique && pk.required);
    ASSERT_EQ(pk.columns.size(), 2u);
    EXPECT_EQ(table->indexes[1].name, "Code");
    EXPECT_TRUE(table->indexes[1].unique && !table->indexes[1].primaryKey());
    EXPECT_EQ(table->indexes[2].name, "ByAmount");

    run(*db, "INSERT INTO Lines VALUES (1, 1, 10, 5)");
    run(*db, "INSERT INTO Lines VALUES (1, 2, 11, 5)");
    EXPECT_EQ(errorOf(*db, "INSERT INTO Lines VALUES (1, 2, 12, 6)").code(),
              ErrorCode::DuplicateKey);
    EXPECT_EQ(errorOf(*db, "INSERT INTO Lines VALUES (2, 1, 10, 7)").code(),
              ErrorCode::DuplicateKey);
    // NOT NULL is the field's Required property, which Access checks before the keys.
    const Error required = errorOf(*db, "INSERT INTO Lines (Line, Amount) VALUES (3, 1)");
    EXPECT_STREQ(required.what(), "You must enter a value in the 'Lines.OrderId' field.");
    EXPECT_NE(std::string(errorOf(*db, "INSERT INTO Lines (OrderId, Line) VALUES (3, 1)").what())
                  .find("'Lines.Amount'"),
              std::string::npos);
    EXPECT_EQ(rowsOf(*db, "Lines").size(), 2u);
    db.reset();
    expectNoFaults(path);
}

TEST(CreateTable, RefusalsLeaveTheFileAsItWas) {
    TempDir dir;
    const std::string path = dir.copyOf("jet4/indexTestV2000.mdb");
    auto db = Database::open(path);
    const auto before = bytesOf(path);
    const std::pair<const char*, ErrorCode> cases[] = {
        {"CREATE TABLE table1 (A LONG)", ErrorCode::TableExists},
        {"CREATE TABLE MSysObjects (A LONG)", ErrorCode::TableExists},
        {"CREATE TABLE T (A LONG, a TEXT(5))", ErrorCode::DuplicateField},
        {"CREATE TABLE T (A LONG PRIMARY KEY, B LONG PRIMARY KEY)", ErrorCode::SyntaxError},
        {"CREATE TABLE T (A WHATEVER)", ErrorCode::SyntaxError},
        {"CREATE TABLE T (A TEXT(300))", ErrorCode::SyntaxError},
        {"CREATE TABLE T (A BIGINT)", ErrorCode::SyntaxError},  // Access 2016 files only
        {"CREATE TABLE T (A LONG, CONSTRAINT K UNIQUE (B))", ErrorCode::FieldNotFound},
        {"CREATE TABLE T (A MEMO PRIMARY KEY)", ErrorCode::Unsupported},
        {"CREATE TABLE [T.1] (A LONG)", ErrorCode::SyntaxError},
        // A trailing blank would give a second name that looks like the first.
        {"CREATE TABLE [Table1 ] (A LONG)", ErrorCode::SyntaxError},
        {"CREATE TABLE T (A LONG, [B ] LONG)", ErrorCode::SyntaxError},
        {"CREATE TABLE T (A LONG, CONSTRAINT F FOREIGN KEY (A) REFERENCES Table1 (id))",
         ErrorCode::Unsupported},
    };
    for (const auto& [sql, code] : cases) {
        SCOPED_TRACE(sql);
        const Error e = errorOf(*db, sql);
        EXPECT_EQ(e.code(), code) << e.what();
    }
    std::string wide = "CREATE TABLE Wide (F0 LONG";
    for (int i = 1; i <= 255; ++i) wide += ", F" + std::to_string(i) + " LONG";
    const Error e = errorOf(*db, wide + ")");
    EXPECT_EQ(e.code(), ErrorCode::TooManyFields);
    EXPECT_STREQ(e.what(), "Too many fields defined in table 'Wide'.");
    EXPECT_EQ(bytesOf(path), before);
}

TEST(DropTable, GivesTheTablesPagesBackAndKeepsTheRest) {
    TempDir dir;
    const std::string path = dir.copyOf("jet4/compIndexTestV2000.mdb");
    auto db = Database::open(path);
    const auto others = db->userTableNames();
    ASSERT_GT(rowsOf(*db, "Table1").size(), 100u);
    run(*db, "DROP TABLE [table1]");
    auto names = db->userTableNames();
    EXPECT_EQ(std::find(names.begin(), names.end(), "Table1"), names.end());
    EXPECT_EQ(names.size() + 1, others.size());
    EXPECT_EQ(errorOf(*db, "SELECT * FROM Table1").code(), ErrorCode::TableNotFound);
    db.reset();
    expectNoFaults(path);
}

TEST(DropTable, Refusals) {
    TempDir dir;
    const std::string path = dir.copyOf("jet4/indexTestV2000.mdb");
    auto db = Database::open(path);
    const auto before = bytesOf(path);
    const Error related = errorOf(*db, "DROP TABLE Table2");
    EXPECT_NE(std::string(related.what()).find("Table2Table1"), std::string::npos);
    EXPECT_EQ(errorOf(*db, "DROP TABLE MSysObjects").code(), ErrorCode::NotUpdatable);
    EXPECT_EQ(errorOf(*db, "DROP TABLE Nowhere").code(), ErrorCode::TableNotFound);
    EXPECT_EQ(bytesOf(path), before);
}

}  // namespace

namespace {

std::vector<std::string> indexNames(const Database& db, const std::string& table) {
    std::vector<std::string> names;
    for (const auto& ix : db.table(table)->indexes) names.push_back(ix.name);
    return names;
}

TEST(CreateIndex, FilledFromTheRowsAndKeptByLaterWrites) {
    TempDir dir;
    const std::string path = dir.copyOf("jet4/compIndexTestV2000.mdb");
    auto db = Database::open(path);
    run(*db, "CREATE INDEX ByAgent ON Table1 (CD_AGENTE DESC)");
    EXPECT_EQ(errorOf(*db, "CREATE INDEX NoNull ON Table1 (CD_AGENTE) WITH DISALLOW NULL").code(),
              ErrorCode::NullKey);  // one agent has no number
    run(*db, "CREATE UNIQUE INDEX Agent ON [table1] ([cd_agente]) WITH IGNORE NULL");
    EXPECT_EQ(indexNames(*db, "Table1"),
              (std::vector<std::string>{"CD_AGENTE", "ByAgent", "Agent"}));
    const auto& agent = db->table("Table1")->indexes[2];
    EXPECT_TRUE(agent.unique && agent.ignoreNulls && !agent.required && !agent.primaryKey());
    db.reset();
    expectNoFaults(path);  // every row has its entry in each new index

    db = Database::open(path);
    const auto before = bytesOf(path);
    EXPECT_EQ(errorOf(*db, "UPDATE Table1 SET CD_AGENTE = 19").code(), ErrorCode::DuplicateKey);
    EXPECT_EQ(bytesOf(path), before);
    run(*db, "UPDATE Table1 SET CD_AGENTE = CD_AGENTE + 1000");
    run(*db, "DELETE FROM Table1 WHERE CD_AGENTE < 1100");
    run(*db, "DROP INDEX ByAgent ON Table1");
    EXPECT_EQ(indexNames(*db, "Table1"), (std::vector<std::string>{"CD_AGENTE", "Agent"}));
    db.reset();
    expectNoFaults(path);
}

TEST(CreateIndex, RefusalsLeaveTheFileAsItWas) {
    TempDir dir;
    const std::string path = dir.copyOf("jet4/indexTestV2000.mdb");
    auto db = Database::open(path);
    const auto before = bytesOf(path);
    const std::pair<const char*, ErrorCode> cases[] = {
        {"CREATE UNIQUE INDEX U ON Table1 (otherfk1)", ErrorCode::DuplicateKey},
        {"CREATE INDEX X ON Table1 (otherfk1) WITH PRIMARY", ErrorCode::PrimaryKeyExists},
        {"CREATE INDEX PrimaryKey ON Table1 (otherfk2)", ErrorCode::IndexExists},
        {"CREATE INDEX X ON Table1 (nothing)", ErrorCode::FieldNotFound},
        {"CREATE INDEX X ON Table1 (otherfk1, OTHERFK1)", ErrorCode::SyntaxError},
        {"CREATE INDEX X ON Nowhere (a)", ErrorCode::TableNotFound},
        {"CREATE INDEX [X ] ON Table1 (otherfk1)", ErrorCode::SyntaxError},
        {"CREATE INDEX X ON MSysObjects (Id)", ErrorCode::NotUpdatable},
        {"DROP INDEX PrimaryKey ON Table1", ErrorCode::NotUpdatable},  // in relationships
        {"DROP INDEX Nothing ON Table1", ErrorCode::FieldNotFound},
    };
    for (const auto& [sql, code] : cases) {
        SCOPED_TRACE(sql);
        const Error e = errorOf(*db, sql);
        EXPECT_EQ(e.code(), code) << e.what();
    }
    EXPECT_EQ(bytesOf(path), before);
}

}  // namespace

namespace {

// A text field added later takes the file's sort order, so that its keys can be built.
TEST(CreateIndex, OnATextFieldAddedLaterComparesWithoutCase) {
    TempDir dir;
    const std::string path = newDatabase(dir, "late.accdb", NewDatabaseFormat::Access2010);
    auto db = Database::open(path);
    run(*db, "CREATE TABLE T (A LONG)");
    run(*db, "ALTER TABLE T ADD COLUMN Name TEXT(20)");
    run(*db, "INSERT INTO T VALUES (1, 'Kettle')");
    run(*db, "CREATE UNIQUE INDEX ByName ON T (Name)");
    EXPECT_EQ(errorOf(*db, "INSERT INTO T VALUES (2, 'KETTLE')").code(), ErrorCode::DuplicateKey);
    run(*db, "INSERT INTO T VALUES (3, 'Mug')");
    EXPECT_EQ(rowsOf(*db, "T").size(), 2u);
    db.reset();
    expectNoFaults(path);
}

}  // namespace

namespace {

std::vector<Value> lastRow(const Database& db, const std::string& table) {
    return rowsOf(db, table).back();
}

// NOT NULL and DEFAULT become the fields' Required and DefaultValue properties: kept in the
// catalog next to the properties Access wrote, and applied by later statements.
TEST(FieldProperties, CreateTableAndAddColumnKeepThemWithAccesssOwn) {
    TempDir dir;
    const std::string path = newDatabase(dir, "defaults.mdb", NewDatabaseFormat::Access2000);
    auto db = Database::open(path);
    run(*db,
        "CREATE TABLE T (Id COUNTER PRIMARY KEY, Qty LONG NOT NULL DEFAULT 5, "
        "Label TEXT(20) DEFAULT 'it''s \"new\"', Day DATETIME DEFAULT #2024-01-31#, "
        "Ratio DOUBLE DEFAULT -1.5, Done BIT DEFAULT True)");
    run(*db, "INSERT INTO T (Done) VALUES (False)");
    EXPECT_EQ(lastRow(*db, "T"),
              (std::vector<Value>{std::int32_t{1}, std::int32_t{5}, std::string("it's \"new\""),
                                  DateTime{45322}, -1.5, false}));
    EXPECT_STREQ(errorOf(*db, "INSERT INTO T (Qty) VALUES (Null)").what(),
                 "You must enter a value in the 'T.Qty' field.");
    // On a table with records a required field would start out Null: refused. Empty: kept.
    EXPECT_EQ(errorOf(*db, "ALTER TABLE T ADD COLUMN Must SHORT NOT NULL").code(),
              ErrorCode::Unsupported);
    run(*db, "DELETE FROM T");
    run(*db, "ALTER TABLE T ADD COLUMN Must SHORT NOT NULL DEFAULT 7");
    run(*db, "INSERT INTO T (Done) VALUES (True)");
    EXPECT_EQ(lastRow(*db, "T")[6], Value(std::int16_t{7}));
    EXPECT_EQ(errorOf(*db, "UPDATE T SET Must = Null").code(), ErrorCode::NotUpdatable);
    db.reset();
    expectNoFaults(path);
}

TEST(FieldProperties, AnAccessTablesOwnPropertiesStay) {
    TempDir dir;
    const std::string path = dir.copyOf("ace/test2010.accdb");
    auto db = Database::open(path);
    const auto propertiesOf = [&](const Database& d) {
        for (const auto& e : d.catalog()) {
            if (e.name == "Table1") return store::parsePropertyMaps(*d.format(), e.properties, 0);
        }
        return store::PropertyMaps{};
    };
    const auto original = propertiesOf(*db);
    ASSERT_FALSE(original.empty());
    run(*db, "ALTER TABLE Table1 ADD COLUMN Extra LONG DEFAULT 42");
    run(*db, "INSERT INTO Table1 (A) VALUES ('new')");
    EXPECT_EQ(lastRow(*db, "Table1").back(), Value(std::int32_t{42}));
    auto now = propertiesOf(*db);
    ASSERT_EQ(now.count("extra"), 1u);
    EXPECT_EQ(now["extra"].count("DefaultValue"), 1u);
    now.erase("extra");
    EXPECT_EQ(now.size(), original.size());
    for (const auto& [name, map] : original) {
        ASSERT_EQ(now.count(name), 1u) << name;
        EXPECT_EQ(now[name].size(), map.size()) << name;
        for (const auto& [property, value] : map) {
            EXPECT_EQ(now[name][property].data, value.data) << name << "." << property;
        }
    }
    run(*db, "ALTER TABLE Table1 DROP Extra");
    now = propertiesOf(*db);
    EXPECT_EQ(now.count("extra"), 0u);
    db.reset();
    expectNoFaults(path);
}

}  // namespace

namespace {

// A new table whose definition does not fit on a page continues it on further pages.
TEST(CreateTable, AWideTablesDefinitionTakesSeveralPages) {
    TempDir dir;
    const std::string path = newDatabase(dir, "wide.accdb", NewDatabaseFormat::Access2007);
    auto db = Database::open(path);
    std::string sql = "CREATE TABLE Wide (Id COUNTER PRIMARY KEY, Name TEXT(20) UNIQUE";
    for (int i = 1; i <= 150; ++i) {
        sql += ", [Field number " + std::to_string(i) + " with a rather long name] LONG";
    }
    run(*db, sql + ")");
    run(*db,
        "INSERT INTO Wide (Name, [Field number 150 with a rather long name]) VALUES "
        "('a', 150)");
    const auto table = db->table("Wide");
    ASSERT_EQ(table->columns.size(), 152u);
    EXPECT_EQ(lastRow(*db, "Wide").back(), Value(std::int32_t{150}));
    db.reset();
    expectNoFaults(path);
    // The definition runs over several pages.
    const auto bytes = bytesOf(path);
    std::size_t chained = 0;
    for (std::size_t at = 0; at + 8 <= bytes.size(); at += 4096) {
        const bool definition = bytes[at] == 0x02 && bytes[at + 1] == 0x01;
        if (definition && (bytes[at + 4] | bytes[at + 5] | bytes[at + 6] | bytes[at + 7]) != 0) {
            ++chained;
        }
    }
    EXPECT_GE(chained, 2u);
}

}  // namespace
