// Loading CSV files into real tables: RFC 4180 quoting, line ends and Null, values converted
// by their field's type, and a bad record that names its line and leaves the file as it was.
#include "jet/sql/csv_import.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "jet/base/error.h"
#include "jet/database.h"
#include "jet/sql/insert.h"
#include "jet/store/write_context.h"
#include "support/fixtures.h"
#include "support/made_database.h"
#include "support/statements.h"

using namespace jet;
using namespace testsupport;

namespace {

std::string writeFile(const testsupport::TempDir& dir, const std::string& name,
                      const std::string& text) {
    const std::string path = (dir.path() / name).string();
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

}  // namespace

TEST(CsvImport, QuotesLineEndsAndNulls) {
    testsupport::TempDir dir;
    const std::string path = dir.copyOf("jet4/indexTestV2000.mdb");
    const std::string csv = writeFile(dir, "rows.csv",
                                      "\xEF\xBB\xBF"
                                      "id,data,otherfk1,otherfk2\r\n"
                                      "10,\"hello, \"\"world\"\"\",1,\r\n"
                                      "11,,,\n"
                                      "12,\"\",2,13\n"
                                      "13,\"two\nlines\",0,10\n");
    auto db = Database::open(path);
    EXPECT_EQ(sql::importCsv(*db, "Table1", csv), 4u);
    const auto rows = rowsOf(*db, "Table1");
    ASSERT_EQ(rows.size(), 8u);
    const auto& t = *db->table("Table1");
    const auto at = [&](std::size_t r, const char* f) { return rows[r][t.findColumn(f)->order]; };
    EXPECT_EQ(at(4, "data"), Value(std::string("hello, \"world\"")));
    EXPECT_TRUE(isNull(at(4, "otherfk2")));  // an empty field is Null
    EXPECT_TRUE(isNull(at(5, "data")));
    EXPECT_EQ(at(6, "data"), Value(std::string()));  // "" is the empty text
    EXPECT_EQ(at(7, "data"), Value(std::string("two\nlines")));
    EXPECT_EQ(at(7, "otherfk3"), Value(std::int32_t{0}));  // left out: its default
    expectNoFaults(path);
}

TEST(CsvImport, ABadRecordNamesItsLineAndChangesNothing) {
    testsupport::TempDir dir;
    const std::string path = dir.copyOf("jet4/indexTestV2000.mdb");
    auto db = Database::open(path);
    const auto original = bytesOf(path);
    const std::vector<std::tuple<const char*, ErrorCode, const char*>> cases = {
        {"id,otherfk1\n20,1\n21,x\n", ErrorCode::TypeMismatch, "Line 3 of '"},
        {"id,otherfk1\n20,1\n21\n", ErrorCode::SyntaxError, "Line 3 of '"},
        {"id,otherfk1\n20,1\n\"21,1\n", ErrorCode::SyntaxError, "a quoted field is not closed"},
        {"id,nothing\n20,1\n", ErrorCode::FieldNotFound, "No field named 'nothing'"},
        {"id\n20\n20\n", ErrorCode::DuplicateKey, "duplicate values in the index"},
        {"id,otherfk1\n20,9\n", ErrorCode::RelatedRecordRequired, "Table2"},
        {"", ErrorCode::SyntaxError, "the file is empty"},
    };
    for (const auto& [text, code, says] : cases) {
        SCOPED_TRACE(text);
        const std::string csv = writeFile(dir, "bad.csv", text);
        try {
            sql::importCsv(*db, "Table1", csv);
            ADD_FAILURE() << "imported";
        } catch (const Error& e) {
            EXPECT_EQ(e.code(), code) << e.what();
            EXPECT_NE(std::string(e.what()).find(says), std::string::npos) << e.what();
        }
        EXPECT_EQ(bytesOf(path), original);
    }
}

// Thousands of records: new data pages, index splits and maps that grow, in one write.
TEST(CsvImport, ManyRecordsInOneWrite) {
    testsupport::TempDir dir;
    const std::string path = dir.copyOf("jet4/compIndexTestV2000.mdb");
    std::string text = "CD_AGENTE,RS_AGENTE,DC_AGENTE\n";
    for (int i = 0; i < 20000; ++i) {
        text += std::to_string(i * 7919 % 100003) + ",name " + std::to_string(i) + ",\"d, " +
                std::to_string(i % 13) + "\"\n";
    }
    const std::string csv = writeFile(dir, "many.csv", text);
    auto db = Database::open(path);
    EXPECT_EQ(sql::importCsv(*db, "Table1", csv), 20000u);
    EXPECT_EQ(db->table("Table1")->rowCount, 20512u);
    EXPECT_EQ(rowsOf(*db, "Table1").size(), 20512u);
    expectNoFaults(path);
}

// A bulk load keeps the pages it is filling (data pages, index leaves) to itself and writes them
// once. Whoever reads them in the meantime must get them as if each row had been written at
// once, and the file must end the same either way: here a reader looks at every page after
// each row of one load, and the other load runs undisturbed.
TEST(CsvImport, PagesKeptWhileLoadingEndAsIfWrittenRowByRow) {
    testsupport::TempDir dir;
    std::string text = "CD_AGENTE,RS_AGENTE,DC_AGENTE\n";
    std::vector<std::vector<Value>> records;
    for (int i = 0; i < 3000; ++i) {
        // Keys in order for a while, then scattered: leaves fill at one end and in the middle.
        const int key = i < 1500 ? 200000 + i : i * 7919 % 100003;
        // Long enough for quoted fields to straddle the reader's buffer.
        const std::string name = "name " + std::to_string(i % 97) + ", \"quoted\", and more";
        text += std::to_string(key) + ",\"name " + std::to_string(i % 97) +
                ", \"\"quoted\"\", and more\",\n";
        records.push_back({std::to_string(key), name, Value{}});
    }
    const std::string csv = writeFile(dir, "many.csv", text);
    const std::string loaded = dir.copyOf("jet4/compIndexTestV2000.mdb");
    sql::importCsv(*Database::open(loaded), "Table1", csv);

    const std::string watched = (dir.path() / "watched.mdb").string();
    std::filesystem::copy_file(testsupport::fixture("jet4/compIndexTestV2000.mdb"), watched);
    std::filesystem::permissions(watched, std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
    auto db = Database::open(watched);
    {
        sql::RowInserter inserter(*db, db->table("Table1"), {"CD_AGENTE", "RS_AGENTE", "DC_AGENTE"},
                                  "test");
        db->write([&](store::WriteContext& ctx) {
            inserter.begin(ctx, true);  // as an import begins
            for (const auto& record : records) {
                inserter.add(record);
                for (std::uint32_t page = 1; page < ctx.file.pageCount(); ++page)
                    ctx.file.page(page);
            }
            inserter.finish(ctx);
        });
    }
    db.reset();
    EXPECT_TRUE(bytesOf(watched) == bytesOf(loaded));
    expectNoFaults(loaded);
}

// An import into a table of few rows builds its indexes again once the rows are in: the rows and
// the indexes end as entry by entry leaves them, and a key twice in a unique index is refused
// alike, whether both are in the file or one was there before.
TEST(CsvImport, ATableOfFewRowsGetsItsIndexesBuiltAgain) {
    testsupport::TempDir dir;
    std::string text = "Code,Name,Qty\n";
    std::vector<std::vector<Value>> records;
    for (int i = 0; i < 3000; ++i) {
        const int code = 1000 + i * 7919 % 100003;
        text += std::to_string(code) + ",name " + std::to_string(i % 97) + "," +
                std::to_string(i % 13) + "\n";
        records.push_back(
            {std::to_string(code), "name " + std::to_string(i % 97), std::to_string(i % 13)});
    }
    const std::string csv = writeFile(dir, "many.csv", text);
    const std::string rebuilt = madeDatabase(
        dir, {"CREATE TABLE [T] ([Code] LONG PRIMARY KEY, [Name] TEXT(20), [Qty] LONG)",
              "CREATE INDEX [ByNameQty] ON [T] ([Name], [Qty])",
              "INSERT INTO [T] VALUES (1, 'first', 5)", "INSERT INTO [T] VALUES (2, Null, 6)"});
    const std::string byEntry = (dir.path() / "by-entry.mdb").string();
    writeBytes(byEntry, bytesOf(rebuilt));
    auto a = Database::open(rebuilt);
    auto b = Database::open(byEntry);
    EXPECT_EQ(sql::importCsv(*a, "T", csv), 3000u);
    {
        sql::RowInserter inserter(*b, b->table("T"), {"Code", "Name", "Qty"}, "test");
        b->write([&](store::WriteContext& ctx) {
            inserter.begin(ctx);
            for (const auto& record : records) inserter.add(record);
            inserter.finish(ctx);
        });
    }
    EXPECT_TRUE(rowsOf(*a, "T") == rowsOf(*b, "T"));
    expectNoFaults(rebuilt);
    expectNoFaults(byEntry);

    // A key the table holds already, and then one the file gives twice.
    const auto before = bytesOf(rebuilt);
    const Error there = errorOf([&] {
        sql::importCsv(*a, "T", writeFile(dir, "one.csv", "Code,Name,Qty\n3,x,1\n2,y,1\n"));
    });
    EXPECT_EQ(there.code(), ErrorCode::DuplicateKey);
    const Error twice = errorOf([&] {
        sql::importCsv(*a, "T", writeFile(dir, "two.csv", "Code,Name,Qty\n4,x,1\n4,y,1\n"));
    });
    EXPECT_STREQ(twice.what(), there.what());
    EXPECT_TRUE(bytesOf(rebuilt) == before);
}

// Bytes that are no character of the file's encoding are a bad record: named by the line they
// are on, nothing stored, never replaced by U+FFFD or left out.
TEST(CsvImport, BytesThatAreNoCharacterNameTheirLineAndChangeNothing) {
    testsupport::TempDir dir;
    const std::string path = dir.copyOf("jet4/indexTestV2000.mdb");
    auto db = Database::open(path);
    const auto original = bytesOf(path);
    const std::string utf16Cut(
        "i\0d\0,\0d\0a\0t\0a\0\n\0"
        "2",
        17);
    const std::vector<std::tuple<std::string, const char*, const char*>> cases = {
        {"id,data\n20,caf\xE9\n", "", "2 of '%': byte 0xE9 is not valid UTF-8"},
        {"id,data\n20,a\n21,\"x\ny\x80\"\n", "", "4 of '%': byte 0x80"},  // a quoted field
        {"\x80id,data\n", "", "1 of '%': byte 0x80"},
        {"id,data\n20,\xC0\xAF\n", "", "2 of '%': byte 0xC0"},          // overlong '/'
        {"id,data\n20,\xED\xA0\x80\n", "", "2 of '%': byte 0xED"},      // a surrogate
        {"id,data\n20,\xF4\x90\x80\x80\n", "", "2 of '%': byte 0xF4"},  // past U+10FFFF
        {"id,data\n20,\xE2\x82", "", "2 of '%': the file ends inside a character"},
        {"id\n" + std::string(70000, '\n') + "2\xFF\n", "", "70002 of '%': byte 0xFF"},
        {"id,data\n20,ok\n21,caf\xE9\n", "ASCII", "3 of '%': byte 0xE9 is not valid ASCII"},
        {utf16Cut, "UTF-16LE", "2 of '%': the file ends inside a character"},
    };
    for (const auto& [text, encoding, says] : cases) {
        const std::string csv = writeFile(dir, "bad.csv", text);
        std::string expected = std::string("Line ") + says;
        expected.replace(expected.find('%'), 1, csv);
        const Error e = errorOf([&] { sql::importCsv(*db, "Table1", csv, encoding); });
        EXPECT_EQ(e.code(), ErrorCode::SyntaxError) << e.what();
        EXPECT_TRUE(std::string(e.what()).starts_with(expected)) << e.what();
    }
    const std::string csv = writeFile(dir, "rows.csv", "id,data\n20,a\n");
    for (const char* unknown : {"NO-SUCH-ENCODING", "LATIN1//IGNORE"}) {
        const Error e = errorOf([&] { sql::importCsv(*db, "Table1", csv, unknown); });
        EXPECT_EQ(e.code(), ErrorCode::Unsupported);
        EXPECT_NE(std::string(e.what()).find(std::string("'") + unknown + "'"), std::string::npos);
    }
    EXPECT_EQ(bytesOf(path), original);
}

TEST(CsvImport, OtherEncodingsAreConverted) {
    testsupport::TempDir dir;
    const std::string path = dir.copyOf("jet4/indexTestV2000.mdb");
    auto db = Database::open(path);
    sql::importCsv(*db, "Table1",
                   writeFile(dir, "cp.csv", "id,data,otherfk1,otherfk2\n20,caf\xE9 \x80,1,\n"),
                   "WINDOWS-1252");
    // UTF-16 with its byte order mark, which is no part of the first field's name.
    std::string utf16 = "\xFF\xFE";
    for (const char c : std::string("id,otherfk1,otherfk2,data\n21,1,,"))
        utf16 += std::string{c, '\0'};
    utf16 += std::string("\xAC\x20\n\0", 4);  // U+20AC
    sql::importCsv(*db, "Table1", writeFile(dir, "u16.csv", utf16), "UTF-16");
    const auto rows = rowsOf(*db, "Table1");
    const auto data = db->table("Table1")->findColumn("data")->order;
    EXPECT_EQ(rows.at(4)[data], Value(std::string("caf\xC3\xA9 \xE2\x82\xAC")));
    EXPECT_EQ(rows.at(5)[data], Value(std::string("\xE2\x82\xAC")));

    // The first field's name may start with the same byte as a byte order mark.
    const Error e = errorOf([&] {
        sql::importCsv(*db, "Table1", writeFile(dir, "kana.csv", "\xEF\xBD\xB1,id\n1,22\n"));
    });
    EXPECT_EQ(e.code(), ErrorCode::FieldNotFound) << e.what();
    expectNoFaults(path);
}
