// Opening real Access files: formats, passwords, the tables rowset, and reading rows of every
// layout the fixtures hold.
#include "jet/database.h"

#include <gtest/gtest.h>

#include <fstream>
#include <stdexcept>

#include "jet/sql/execute.h"
#include "support/fixtures.h"
#include "support/made_database.h"
#include "support/statements.h"

using jet::Database;
using jet::ErrorCode;
using testsupport::errorOf;
using testsupport::fixture;

namespace {

std::vector<std::vector<jet::Value>> readAll(const Database& db, const std::string& table) {
    std::vector<std::vector<jet::Value>> rows;
    auto cursor = db.scan(db.table(table));
    while (cursor.next()) rows.push_back(cursor.row());
    return rows;
}

}  // namespace

TEST(OpenDatabase, TellsTheFormatOfEveryVersion) {
    EXPECT_EQ(Database::open(fixture("jet3/test97.mdb"))->version(), jet::Version::Jet3);
    EXPECT_EQ(Database::open(fixture("jet4/test2000.mdb"))->version(), jet::Version::Jet4);
    EXPECT_EQ(Database::open(fixture("ace/test2007.accdb"))->version(), jet::Version::Ace12);
    EXPECT_EQ(Database::open(fixture("ace/test2010.accdb"))->version(), jet::Version::Ace14);
    EXPECT_EQ(Database::open(fixture("ace/bigint2016.accdb"))->version(), jet::Version::Ace16);
    EXPECT_EQ(Database::open(fixture("empty/empty2019.accdb"))->version(), jet::Version::Ace17);
}

TEST(OpenDatabase, MissingFileIsNamed) {
    const std::string path = fixture("jet4/no-such-file.mdb");
    const auto e = errorOf([&] { Database::open(path); });
    EXPECT_EQ(e.code(), ErrorCode::FileNotFound);
    EXPECT_EQ(std::string(e.what()), "Could not find file '" + path + "'.");
}

TEST(OpenDatabase, FilesThatAreNoDatabaseAreUnrecognized) {
    testsupport::TempDir dir;
    const auto write = [&](const std::string& name, const std::string& bytes) {
        const auto path = (dir.path() / name).string();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    };
    std::string random(8192, '\0');
    for (std::size_t i = 0; i < random.size(); ++i) random[i] = static_cast<char>(i * 7919 % 251);
    std::string header(4096, '\0');
    {
        std::ifstream in(fixture("jet4/test2000.mdb"), std::ios::binary);
        in.read(header.data(), 4096);
    }
    const std::vector<std::string> paths = {
        write("empty.mdb", ""), write("random.mdb", random),
        write("zip.accdb", std::string("PK\x03\x04", 4) + std::string(5000, 'x')),
        write("header-only.mdb", header),  // one page: not even the catalog fits
    };
    for (const auto& path : paths) {
        const auto e = errorOf([&] { Database::open(path); });
        EXPECT_EQ(e.code(), ErrorCode::UnrecognizedFormat) << path;
        EXPECT_EQ(std::string(e.what()), "Unrecognized database format '" + path + "'.");
    }
}

TEST(DatabasePassword, OpensOnlyWithTheRightPassword) {
    for (const char* name :
         {"password/V2000_with-password.mdb", "password/V2003_with-password.mdb"}) {
        EXPECT_NO_THROW(Database::open(fixture(name), {"password"})) << name;
        for (const char* wrong : {"", "Password", "passwor", "password "}) {
            const auto e = errorOf([&] { Database::open(fixture(name), {wrong}); });
            EXPECT_EQ(e.code(), ErrorCode::NotValidPassword) << name << " / " << wrong;
            EXPECT_EQ(std::string(e.what()),
                      "Not a valid password. (file '" + fixture(name) + "')");
        }
    }
}

TEST(DatabasePassword, IsIgnoredForAnUnprotectedDatabase) {
    const auto db = Database::open(fixture("password/V2000_no-password.mdb"), {"anything"});
    const auto protectedDb =
        Database::open(fixture("password/V2000_with-password.mdb"), {"password"});
    EXPECT_EQ(db->userTableNames(), protectedDb->userTableNames());
}

TEST(TablesRowset, OrdersByTypeThenByNameIgnoringCase) {
    const auto rows = Database::open(fixture("ace/queryTestV2010.accdb"))->tablesRowset();
    ASSERT_FALSE(rows.empty());
    for (std::size_t i = 1; i < rows.size(); ++i) {
        const auto& a = rows[i - 1];
        const auto& b = rows[i];
        ASSERT_LE(a.type, b.type);
        if (a.type == b.type) {
            std::string la = a.name, lb = b.name;
            for (auto& c : la) c = static_cast<char>(std::tolower(c));
            for (auto& c : lb) c = static_cast<char>(std::tolower(c));
            EXPECT_LT(la, lb) << a.name << " before " << b.name;
        }
    }
    const auto has = [&](const std::string& name, const std::string& type) {
        for (const auto& r : rows)
            if (r.name == name) return r.type == type;
        return false;
    };
    EXPECT_TRUE(has("MSysObjects", "SYSTEM TABLE"));
    EXPECT_TRUE(has("MSysAccessStorage", "ACCESS TABLE"));
    EXPECT_TRUE(has("SelectQuery", "VIEW"));
    // Action queries are procedures, never tables or views.
    EXPECT_FALSE(has("UpdateQuery", "VIEW"));
    for (const auto& r : rows) EXPECT_NE(r.name, "UpdateQuery");
}

TEST(TablesRowset, OnlyLocalUserTablesAreTables) {
    // Hidden tables behind complex columns and the system tables must never reach the wizard.
    const auto db = Database::open(fixture("ace/complexDataTestV2010.accdb"));
    for (const auto& name : db->userTableNames()) {
        EXPECT_NE(name.rfind("MSys", 0), 0u) << name;
        EXPECT_NE(name.rfind("f_", 0), 0u) << name;
    }
    EXPECT_TRUE(Database::open(fixture("empty/empty2019.accdb"))->userTableNames().empty());
}

TEST(TableLookup, IgnoresCaseAndNamesWhatIsMissing) {
    const auto db = Database::open(fixture("jet4/test2000.mdb"));
    EXPECT_EQ(db->table("table1")->name, "Table1");
    EXPECT_EQ(db->table("TABLE1")->findColumn("b")->name, "B");
    EXPECT_EQ(db->table("Table1")->findColumn("nope"), nullptr);
    const auto e = errorOf([&] { db->table("Orders"); });
    EXPECT_EQ(e.code(), ErrorCode::TableNotFound);
    EXPECT_NE(std::string(e.what()).find("'Orders'"), std::string::npos);
}

TEST(ReadRows, EveryFixedTypeOfJet4) {
    const auto rows = readAll(*Database::open(fixture("jet4/test2000.mdb")), "Table1");
    ASSERT_EQ(rows.size(), 2u);
    const auto& r = rows[0];
    EXPECT_EQ(std::get<std::string>(r[0]), "abcdefg");
    EXPECT_EQ(std::get<std::string>(r[1]), "hijklmnop");
    EXPECT_EQ(std::get<std::uint8_t>(r[2]), 2);
    EXPECT_EQ(std::get<std::int16_t>(r[3]), 222);
    EXPECT_EQ(std::get<std::int32_t>(r[4]), 333333333);
    EXPECT_DOUBLE_EQ(std::get<double>(r[5]), 444.555);
    EXPECT_EQ(jet::formatDateTime(std::get<jet::DateTime>(r[6])), "1974-09-21T00:00:00");
    EXPECT_EQ(std::get<jet::Currency>(r[7]).scaled, 35000);
    EXPECT_EQ(std::get<bool>(r[8]), true);
    EXPECT_EQ(std::get<bool>(rows[1][8]), false);
}

TEST(ReadRows, Jet3CodePageTextAndJumpTable) {
    const auto db = Database::open(fixture("jet3/test97.mdb"));
    const auto rows = readAll(*db, "Table1");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(std::get<std::string>(rows[1][0]), "abcdefg");
    EXPECT_EQ(std::get<std::int32_t>(rows[1][4]), 333333333);
}

TEST(ReadRows, DeletedAndAddedColumnsKeepTheirValues) {
    // Column numbers have gaps where columns were deleted; rows written before a column was
    // added hold fewer columns and read the new ones as Null.
    for (const char* name : {"jet4/delColTestV2000.mdb", "ace/delColTestV2010.accdb"}) {
        const auto db = Database::open(fixture(name));
        const auto rows = readAll(*db, "Table1");
        ASSERT_EQ(rows.size(), 2u) << name;
        EXPECT_EQ(std::get<std::string>(rows[1][2]), "bar") << name;
        EXPECT_EQ(std::get<std::string>(rows[1][3]), "bar2") << name;
    }
}

TEST(ReadRows, ForwardedRowsAreReadAtTheirOriginalPlace) {
    const auto db = Database::open(fixture("jet4/overflowTestV2000.mdb"));
    const auto table = db->table("Table1");
    auto cursor = db->scan(table);
    std::vector<std::string> first;
    while (cursor.next()) {
        const auto& v = cursor.row()[0];
        first.push_back(jet::isNull(v) ? "" : std::get<std::string>(v));
        // Every row is reachable again by its location, as the preview grid needs.
        EXPECT_EQ(db->readRow(*table, cursor.location()), cursor.row());
    }
    EXPECT_EQ(first.size(), 7u);
}

TEST(ReadRows, LongValuesInlineOnOnePageAndChained) {
    const auto db = Database::open(fixture("ace/longtext2016.accdb"));
    const auto names = db->userTableNames();
    ASSERT_FALSE(names.empty());
    std::size_t longest = 0;
    for (const auto& name : names) {
        for (const auto& row : readAll(*db, name)) {
            for (const auto& v : row) {
                if (auto s = std::get_if<std::string>(&v)) longest = std::max(longest, s->size());
            }
        }
    }
    // A value longer than a page must have been assembled from a chain.
    EXPECT_GT(longest, 4096u);
}

TEST(ReadRows, CalculatedColumnsGiveTheirStoredResultInTheirResultType) {
    const auto db = Database::open(fixture("ace/calcFieldTestV2010.accdb"));
    const auto table = db->table("Table1");
    EXPECT_EQ(table->findColumn("MonthlySalary")->type, jet::ColumnType::Currency);
    EXPECT_EQ(table->findColumn("IsRich")->type, jet::ColumnType::YesNo);
    const auto rows = readAll(*db, "Table1");
    const auto col = [&](const char* name) { return table->findColumn(name)->order; };
    EXPECT_EQ(std::get<std::string>(rows[0][col("LastFirst")]), "Wayne, Bruce");
    EXPECT_EQ(jet::formatCurrency(std::get<jet::Currency>(rows[0][col("MonthlySalary")])),
              "83333.3333");
    EXPECT_EQ(jet::formatDecimal(std::get<jet::Decimal>(rows[0][col("WeeklySalary")])),
              "19230.7692307692");
    EXPECT_EQ(jet::formatDecimal(std::get<jet::Decimal>(rows[1][col("BigNumTest")])),
              "-0.0784734499180612994241100748");
    EXPECT_EQ(std::get<bool>(rows[0][col("IsRich")]), true);
    EXPECT_EQ(std::get<bool>(rows[1][col("IsRich")]), false);
}

TEST(ReadRows, ComplexColumnsGiveTheRowsComplexId) {
    const auto db = Database::open(fixture("ace/attachments2016.accdb"));
    bool sawComplex = false;
    for (const auto& name : db->userTableNames()) {
        const auto table = db->table(name);
        auto cursor = db->scan(table);
        while (cursor.next()) {
            for (const auto& v : cursor.row()) {
                if (std::holds_alternative<jet::ComplexId>(v)) sawComplex = true;
            }
        }
    }
    EXPECT_TRUE(sawComplex);
}

namespace {

// The progress handler keeps a program's windows alive through a long statement: it is called
// while a statement works, and an exception from it fails the statement without a change.
TEST(ProgressHandler, IsCalledDuringALongStatementAndCanStopIt) {
    testsupport::TempDir dir;
    const std::string path = testsupport::manyRecords(
        dir, "CREATE TABLE [O] ([Id] LONG, [Qty] LONG, [Note] TEXT(40))",
        "INSERT INTO [O] VALUES (1, 2, 'a note of some length, to fill pages')", "O", 15);
    auto db = Database::open(path);

    int calls = 0;
    db->setProgressHandler([&] { ++calls; });
    jet::sql::execute(*db, "UPDATE [O] SET [Qty] = [Qty] + 1");
    EXPECT_GT(calls, 0);

    db->setProgressHandler([] { throw std::runtime_error("stopped"); });
    EXPECT_THROW(jet::sql::execute(*db, "UPDATE [O] SET [Qty] = [Qty] + 1"), std::runtime_error);
    db->setProgressHandler({});
    const auto rows = readAll(*db, "O");
    ASSERT_EQ(rows.size(), 32768u);
    for (const auto& row : rows) ASSERT_EQ(std::get<std::int32_t>(row[1]), 3);
}

}  // namespace
