// ALTER TABLE as the wizard's new-field sequence sends it (DROP when the field exists, ADD
// COLUMN ... INT, then a lower-case update that fills it), on copies of real files: the new
// field reads Null until filled, the values it gets, a DROP that gives the table back as it was,
// Access's limit on fields, and what is refused with the file left as it was.
#include <gtest/gtest.h>

#include <algorithm>

#include "jet/base/error.h"
#include "jet/compact.h"
#include "jet/database.h"
#include "jet/store/property_map.h"
#include "support/fixtures.h"
#include "support/statements.h"

using namespace jet;
using namespace testsupport;

namespace {

struct Case {
    const char* fixture;
    const char* table;
    const char* expression;  // what the update stores, over fields of the table
};

class NewFieldSequence : public ::testing::TestWithParam<Case> {};

std::vector<std::string> columnNames(const Database& db, const std::string& table) {
    std::vector<std::string> names;
    for (const auto& c : db.table(table)->columns) names.push_back(c.name);
    return names;
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(
    Files, NewFieldSequence,
    ::testing::Values(Case{"jet4/test2000.mdb", "Table1", "[C]* [D]+ [F]"},
                      Case{"ace/test2010.accdb", "Table1", "[C]* [D]+ [F]"},
                      Case{"jet4/fixedTextTestV2000.mdb", "users", "[i_user_id]+ [i_user_flags]"},
                      Case{"ace/bigint2016.accdb", "Table", "[ID]* [ID]"},
                      Case{"jet4/compIndexTestV2000.mdb", "Table1", "[CD_AGENTE]- [CD_AGENTE]"}));

TEST_P(NewFieldSequence, AddsFillsAndDropsBackToTheOriginal) {
    const Case& c = GetParam();
    testsupport::TempDir dir;
    const std::string path = dir.copyOf(c.fixture);
    auto db = Database::open(path);
    const auto original = rowsOf(*db, c.table);
    const auto originalNames = columnNames(*db, c.table);
    const std::string T = std::string("[") + c.table + "]";

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        if (round > 0) run(*db, "ALTER TABLE " + T + " DROP [Total]");
        run(*db, "ALTER TABLE " + T + " ADD COLUMN [Total] INT");
        auto rows = rowsOf(*db, c.table);
        ASSERT_EQ(rows.size(), original.size());
        for (const auto& row : rows) EXPECT_TRUE(isNull(row.back()));
        EXPECT_EQ(db->table(c.table)->columns.back().type, ColumnType::Long);
        expectNoFaults(path);

        EXPECT_EQ(run(*db, "update " + T + " set [Total]=" + c.expression), original.size());
        rows = rowsOf(*db, c.table);
        // Rows that grow move, but a scan still meets each at its own place.
        ASSERT_EQ(rows.size(), original.size());
        for (std::size_t i = 0; i < rows.size(); ++i) {
            EXPECT_EQ(std::vector<Value>(rows[i].begin(), rows[i].end() - 1), original[i]);
            // Null where a field it reads is Null.
            EXPECT_TRUE(std::holds_alternative<std::int32_t>(rows[i].back()) ||
                        isNull(rows[i].back()))
                << i;
        }
        expectNoFaults(path);
    }
    run(*db, "ALTER TABLE " + T + " DROP [Total]");
    EXPECT_EQ(columnNames(*db, c.table), originalNames);
    EXPECT_EQ(rowsOf(*db, c.table), original);
    expectNoFaults(path);
}

TEST(AlterTable, TheWizardsValuesRoundHalfToEven) {
    testsupport::TempDir dir;
    const std::string path = dir.copyOf("jet4/test2000.mdb");  // Table1: F 444.555 and 0
    auto db = Database::open(path);
    run(*db, "ALTER TABLE [Table1] ADD COLUMN [Total] INT");
    run(*db, "update [Table1] set [Total]=[F]+ [F]");  // 889.11 and 0
    run(*db, "ALTER TABLE [Table1] ADD COLUMN [Half] INT");
    run(*db, "update [Table1] set [Half]=[C]/ 4");  // 2 / 4 = 0.5 -> 0; 0 / 4 = 0
    std::vector<std::int32_t> totals, halves;
    for (const auto& row : rowsOf(*db, "Table1")) {
        totals.push_back(std::get<std::int32_t>(row[9]));
        halves.push_back(std::get<std::int32_t>(row[10]));
    }
    EXPECT_EQ(totals, (std::vector<std::int32_t>{889, 0}));
    EXPECT_EQ(halves, (std::vector<std::int32_t>{0, 0}));
    expectNoFaults(path);
}

// Every DDL type Access knows makes the column it names, and takes a value.
TEST(AlterTable, EveryTypeNameMakesItsColumn) {
    const std::vector<std::pair<const char*, ColumnType>> types = {
        {"BYTE", ColumnType::Byte},         {"SHORT", ColumnType::Integer},
        {"LONG", ColumnType::Long},         {"SINGLE", ColumnType::Single},
        {"FLOAT", ColumnType::Double},      {"MONEY", ColumnType::Currency},
        {"DATETIME", ColumnType::DateTime}, {"TEXT(20)", ColumnType::Text},
        {"BIT", ColumnType::YesNo},         {"DECIMAL(10, 2)", ColumnType::Decimal},
        {"GUID", ColumnType::GUID},         {"BINARY(8)", ColumnType::Binary},
        {"MEMO", ColumnType::Memo},         {"BIGINT", ColumnType::BigInt}};
    for (const char* fixture : {"jet4/test2000.mdb", "ace/bigint2016.accdb"}) {
        SCOPED_TRACE(fixture);
        testsupport::TempDir dir;
        const std::string path = dir.copyOf(fixture);
        auto db = Database::open(path);
        const std::string table = db->userTableNames().front();
        const bool jet4 = db->version() == Version::Jet4;
        int n = 0;
        for (const auto& [name, type] : types) {
            const std::string field = "[New" + std::to_string(n++) + "]";
            const std::string sql = "ALTER TABLE [" + table + "] ADD COLUMN " + field + " " + name;
            const bool refused = jet4 && type == ColumnType::BigInt;
            if (refused) {
                const auto before = bytesOf(path);
                errorOf(*db, sql);
                EXPECT_EQ(bytesOf(path), before) << sql;
                continue;
            }
            run(*db, sql);
            EXPECT_EQ(db->table(table)->columns.back().type, type) << sql;
        }
        // A memo longer than a page: the new field's own usage maps take its pages.
        const std::string memo(9000, 'm');
        run(*db, "UPDATE [" + table +
                     "] SET [New0] = 7, [New4] = 2.5, [New5] = 1.25, "
                     "[New7] = 'seven', [New8] = True, [New9] = 3.14159, [New12] = '" +
                     memo + "'");
        const auto rows = rowsOf(*db, table);
        const auto& t = *db->table(table);
        const auto at = [&](const char* name) { return t.findColumn(name)->order; };
        EXPECT_EQ(rows[0][at("New0")], Value(std::uint8_t{7}));
        EXPECT_EQ(rows[0][at("New4")], Value(2.5));
        EXPECT_EQ(rows[0][at("New7")], Value(std::string("seven")));
        EXPECT_EQ(rows[0][at("New8")], Value(true));
        EXPECT_EQ(rows[0][at("New12")], Value(memo));
        expectNoFaults(path);
    }
}

TEST(AlterTable, RefusalsLeaveTheFileAsItWas) {
    testsupport::TempDir dir;
    const std::string path = dir.copyOf("jet4/indexTestV2000.mdb");
    auto db = Database::open(path);
    const auto original = bytesOf(path);
    const std::vector<std::pair<const char*, ErrorCode>> refused = {
        {"ALTER TABLE [Table1] ADD COLUMN [data] INT", ErrorCode::DuplicateField},
        {"ALTER TABLE [Table1] ADD COLUMN [x] WIDGET", ErrorCode::SyntaxError},
        {"ALTER TABLE [Table1] ADD COLUMN [data ] INT", ErrorCode::SyntaxError},
        {"ALTER TABLE [Table1] ADD COLUMN [x] TEXT(300)", ErrorCode::SyntaxError},
        {"ALTER TABLE [Table1] ADD COLUMN [x] INT NOT NULL", ErrorCode::Unsupported},
        {"ALTER TABLE [Table1] DROP [nothing]", ErrorCode::FieldNotFound},
        {"ALTER TABLE [Table1] DROP [id]", ErrorCode::NotUpdatable},  // indexed
        {"ALTER TABLE [MSysObjects] ADD COLUMN [x] INT", ErrorCode::NotUpdatable},
    };
    for (const auto& [sql, code] : refused) {
        const Error e = errorOf(*db, sql);
        EXPECT_EQ(e.code(), code) << sql << ": " << e.what();
        EXPECT_EQ(bytesOf(path), original) << sql;
    }
    EXPECT_STREQ(errorOf(*db, "ALTER TABLE [Table1] ADD COLUMN [data ] INT").what(),
                 "'data ' is not a valid field name: a name cannot end with a blank.");
    // 64 characters is the most, counted as characters, not as the bytes of their UTF-8.
    std::string accented;
    for (int i = 0; i < 64; ++i) accented += "\u00E9";
    run(*db, "ALTER TABLE [Table1] ADD COLUMN [" + accented + "] INT");
    EXPECT_NE(db->table("Table1")->findColumn(accented), nullptr);
    const std::string tooLong = accented + "e";
    EXPECT_EQ(errorOf(*db, "ALTER TABLE [Table1] ADD COLUMN [" + tooLong + "] INT").what(),
              "'" + tooLong + "' is not a valid field name: a name holds at most 64 characters.");
    const Error e = errorOf(*db, "ALTER TABLE [Table1] DROP COLUMN [id]");
    EXPECT_STREQ(e.what(),
                 "Cannot delete field 'id' of table 'Table1': it is part of index "
                 "'id'; delete the index first.");
}

// Dropped fields count toward Access's 255 until the file is compacted: repeating the
// sequence ends with Access's own message and the way out, the table stays whole, and after
// compacting the same sequence goes on.
TEST(AlterTable, RepeatingTheSequenceStopsAtAccesssLimitUntilCompacted) {
    testsupport::TempDir dir;
    const std::string path = dir.copyOf("jet4/test2000.mdb");
    auto db = Database::open(path);
    const auto original = rowsOf(*db, "Table1");
    const auto churn = [&](int times) {
        int added = 0;
        for (; added < times; ++added) {
            if (db->table("Table1")->findColumn("Total")) {
                run(*db, "ALTER TABLE [Table1] DROP [Total]");
            }
            try {
                run(*db, "ALTER TABLE [Table1] ADD COLUMN [Total] INT");
            } catch (const Error& e) {
                EXPECT_EQ(e.code(), ErrorCode::TooManyFields);
                EXPECT_EQ(std::string(e.what()),
                          "Too many fields defined in table 'Table1'. Fields dropped from it "
                          "count until the database is compacted. Compact the database "
                          "(quillfen-db compact " +
                              path + ").");
                break;
            }
            run(*db, "update [Table1] set [Total]=[C]+ [D]");
        }
        return added;
    };
    EXPECT_EQ(churn(300), 255 - 9);  // Table1 has nine fields, numbered from 0
    EXPECT_EQ(db->table("Table1")->maxColumns, 255);
    EXPECT_EQ(rowsOf(*db, "Table1"), original);
    expectNoFaults(path);

    compact(*db, {});
    const auto table = db->table("Table1");
    EXPECT_EQ(table->maxColumns, 9);
    EXPECT_EQ(rowsOf(*db, "Table1"), original);
    expectNoFaults(path);
    EXPECT_EQ(churn(20), 20);
    expectNoFaults(path);
}

// A field's properties live in its table's catalog row: they go with it, so that a field added
// later under the same name starts without them.
TEST(AlterTable, DroppingAFieldTakesItsPropertiesAlong) {
    testsupport::TempDir dir;
    const std::string path = dir.copyOf("ace/compIndexTestV2010.accdb");
    auto db = Database::open(path);
    const auto properties = [&] {
        const auto& catalog = db->catalog();
        const auto entry = std::find_if(catalog.begin(), catalog.end(),
                                        [](const CatalogEntry& e) { return e.name == "Table1"; });
        return store::parsePropertyMaps(*db->format(), entry->properties, db->codePage());
    };
    ASSERT_TRUE(properties().contains("dc_agente"));
    const auto kept = properties().at("cd_agente");
    run(*db, "ALTER TABLE [Table1] DROP [DC_AGENTE]");
    EXPECT_FALSE(properties().contains("dc_agente"));
    EXPECT_EQ(properties().at("cd_agente").size(), kept.size());
    run(*db, "ALTER TABLE [Table1] ADD COLUMN [DC_AGENTE] INT");
    EXPECT_EQ(run(*db, "update [Table1] set [DC_AGENTE]=[CD_AGENTE]+ 1"), 512u);
    expectNoFaults(path);
    // A fresh reader of the file sees the same.
    db = Database::open(path);
    EXPECT_FALSE(properties().contains("dc_agente"));
}
