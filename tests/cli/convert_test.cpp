// quillfen-db convert beyond what the fixtures' round trip through sqlite3 and psql shows
// (tests/convert): names the targets cannot take as they are, the AutoNumber's next value, the
// relationships' cascades, the COPY text format, and that a failed conversion leaves no file.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "cli/convert_plan.h"
#include "cli/convert_writers.h"
#include "support/fixtures.h"
#include "support/quillfen_db_run.h"

namespace {

namespace fs = std::filesystem;

using testsupport::Outcome;
using testsupport::quote;

Outcome run(const std::string& args) { return testsupport::runQuillfenDb(args); }

// The rows of a query, each cell as SQLite's typeof() and its text: "integer:3", "null:".
std::vector<std::string> query(const std::string& file, const std::string& sql) {
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt* s = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr), SQLITE_OK)
        << sqlite3_errmsg(db);
    std::vector<std::string> rows;
    while (s != nullptr && sqlite3_step(s) == SQLITE_ROW) {
        std::string row;
        for (int i = 0; i < sqlite3_column_count(s); ++i) {
            static const char* kTypes[] = {"", "integer", "real", "text", "blob", "null"};
            const auto* text = sqlite3_column_text(s, i);
            row += std::string(i ? " " : "") + kTypes[sqlite3_column_type(s, i)] + ":" +
                   (text ? reinterpret_cast<const char*>(text) : "");
        }
        rows.push_back(row);
    }
    sqlite3_finalize(s);
    sqlite3_close(db);
    return rows;
}

std::set<std::string> filesIn(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.insert(e.path().filename());
    return names;
}

}  // namespace

// PostgreSQL cuts names at 63 bytes: two long names that begin alike must stay two, the cut
// must fall between characters, and a run must give the same names as the last.
TEST(ConvertNames, LongNamesAreShortenedToDistinctWholeCharacters) {
    using cli::convert::NameScope;
    NameScope scope(63);
    std::string umlauts;
    for (int i = 0; i < 64; ++i) umlauts += "\xC3\xA4";  // 64 x "ä", 128 bytes
    const std::string a = scope.take(umlauts + "A"), b = scope.take(umlauts + "B");
    EXPECT_NE(a, b);
    for (const auto& name : {a, b}) {
        EXPECT_LE(name.size(), 63u);
        EXPECT_EQ(name.rfind('_') % 2, 0u) << name;  // not half an "ä" before the tag
    }
    EXPECT_EQ(NameScope(63).take(umlauts + "A"), a);
    EXPECT_EQ(scope.take("Orders"), "Orders");
    EXPECT_EQ(scope.take("ORDERS"), "ORDERS_2");
}

TEST(ConvertCopyField, EscapesWhatCopyWouldReadOtherwiseAndRefusesNul) {
    using cli::convert::copyField;
    EXPECT_EQ(copyField(jet::Value{std::string("a\\b\tc\nd\re")}, "f"), "a\\\\b\\tc\\nd\\re");
    EXPECT_EQ(copyField(jet::Value{std::string("\\N")}, "f"), "\\\\N");
    EXPECT_EQ(copyField(jet::Value{jet::Bytes{}}, "f"), "\\\\x");
    EXPECT_THROW(copyField(jet::Value{std::string("a\0b", 3)}, "field 'Note' of table 'T'"),
                 jet::Error);
}

TEST(Convert, SqliteDatabaseKeepsValuesNamesAndTheNextAutoNumber) {
    testsupport::TempDir dir;
    const std::string mdb = (dir.path() / "t.mdb").string();
    const std::string out = (dir.path() / "t.sqlite").string();
    ASSERT_EQ(run("create " + quote(mdb)).status, 0);
    const Outcome made =
        run("sql " + quote(mdb) +
            " 'CREATE TABLE [Or\"ders] ([Id] COUNTER PRIMARY KEY, [Name] TEXT(20) NOT NULL, "
            "[Price] CURRENCY, [Paid] YESNO, [When] DATETIME, [Note] MEMO)'"
            " \"INSERT INTO [Or\\\"ders] ([Name], [Price], [Paid], [When], [Note]) VALUES "
            "('a', 0.1, True, #2024-02-29 13:05:00#, 'x''y')\""
            " \"INSERT INTO [Or\\\"ders] ([Name], [Price]) VALUES ('b', -12.34)\""
            " \"INSERT INTO [Or\\\"ders] ([Name]) VALUES ('c')\""
            " \"DELETE FROM [Or\\\"ders] WHERE [Name] = 'c'\""
            " 'CREATE TABLE [sqlite_stat1] ([A] LONG)'");
    ASSERT_EQ(made.status, 0) << made.err;
    const Outcome r = run("convert " + quote(mdb) + " --to sqlite " + quote(out));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("2 tables, 2 records"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Renamed: table 'sqlite_stat1' is '_sqlite_stat1' (SQLite keeps"),
              std::string::npos)
        << r.out;

    // Currency keeps its exact digits as text; Yes/No is 1 or 0; dates in SQLite's own form.
    EXPECT_EQ(query(out, "SELECT * FROM \"Or\"\"ders\" ORDER BY Id"),
              (std::vector<std::string>{
                  "integer:1 text:a text:0.1000 integer:1 text:2024-02-29 13:05:00 text:x'y",
                  "integer:2 text:b text:-12.3400 integer:0 null: null:"}));
    // The record deleted in Access used number 3: SQLite goes on with 4, as Access would.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(out.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "INSERT INTO \"Or\"\"ders\" (Name) VALUES ('d')", nullptr, nullptr,
                           nullptr),
              SQLITE_OK);
    EXPECT_EQ(sqlite3_last_insert_rowid(db), 4);
    EXPECT_EQ(query(out, "SELECT Paid FROM \"Or\"\"ders\" WHERE Id = 4"),
              std::vector<std::string>{"integer:0"});
    // NOT NULL carried over, and a Yes/No field is never Null, as in Access.
    for (const char* insert : {"INSERT INTO \"Or\"\"ders\" (Price) VALUES ('1')",
                               "INSERT INTO \"Or\"\"ders\" (Name, Paid) VALUES ('e', NULL)"}) {
        EXPECT_NE(sqlite3_exec(db, insert, nullptr, nullptr, nullptr), SQLITE_OK) << insert;
    }
    sqlite3_close(db);

    // PostgreSQL's identity starts there too.
    const Outcome script = run("convert " + quote(mdb) + " --to postgres -");
    ASSERT_EQ(script.status, 0) << script.err;
    EXPECT_NE(script.out.find("\"Id\" integer GENERATED BY DEFAULT AS IDENTITY"),
              std::string::npos);
    EXPECT_NE(script.out.find("ALTER COLUMN \"Id\" RESTART WITH 4;"), std::string::npos)
        << script.out;
}

TEST(Convert, RelationshipsKeepTheirCascadesInBothTargets) {
    testsupport::TempDir dir;
    const std::string file = testsupport::fixture("ace/indexTestV2010.accdb");
    const std::string out = (dir.path() / "i.sqlite").string();
    const Outcome r = run("convert " + quote(file) + " --to sqlite " + quote(out));
    ASSERT_EQ(r.status, 0) << r.err;
    // Table2Table1 cascades deletes, Table3Table1 updates.
    EXPECT_EQ(query(out,
                    "SELECT \"table\", \"from\", \"to\", on_update, on_delete FROM "
                    "pragma_foreign_key_list('Table1') ORDER BY \"table\""),
              (std::vector<std::string>{
                  "text:Table2 text:otherfk1 text:id text:NO ACTION text:CASCADE",
                  "text:Table3 text:otherfk2 text:id text:CASCADE text:NO ACTION"}));
    const Outcome script = run("convert " + quote(file) + " --to postgres -");
    ASSERT_EQ(script.status, 0) << script.err;
    EXPECT_NE(script.out.find("FOREIGN KEY (\"otherfk2\") REFERENCES \"Table3\" (\"id\") ON "
                              "UPDATE CASCADE;"),
              std::string::npos);

    // With one side left out, the relationship is listed, not carried.
    const std::string only = (dir.path() / "only.sqlite").string();
    const Outcome part =
        run("convert " + quote(file) + " --to sqlite " + quote(only) + " --tables Table1");
    ASSERT_EQ(part.status, 0) << part.err;
    EXPECT_NE(part.out.find("Left out: relationship 'Table2Table1' from 'Table1' ('otherfk1') to "
                            "'Table2' ('id'): table 'Table2' is not converted."),
              std::string::npos)
        << part.out;
    EXPECT_EQ(query(only, "SELECT name FROM sqlite_master WHERE type = 'table'"),
              (std::vector<std::string>{"text:Table1"}));
}

TEST(Convert, AFailedConversionLeavesNoFileAndTouchesNone) {
    testsupport::TempDir dir;
    const std::string file = testsupport::fixture("password/V2010_with-password.accdb");
    const fs::path existing = dir.path() / "there.sqlite";
    std::ofstream(existing) << "mine";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"--to sqlite " + quote(existing.string()) + " --password password", "already exists"},
        {"--to postgres " + quote(existing.string()) + " --password password", "already exists"},
        {"--to sqlite " + quote((dir.path() / "a.sqlite").string()) + " --password wrong",
         "Not a valid password"},
        {"--to postgres " + quote((dir.path() / "a.sql").string()) +
             " --password password --tables Nope",
         "Nope"},
        {"--to sqlite - --password password", "give its name"},
        {"--to sqlite " + quote((dir.path() / "no" / "a.sqlite").string()) + " --password password",
         "Could not make a temporary file beside"},
    };
    for (const auto& [args, needle] : cases) {
        const Outcome r = run("convert " + quote(file) + " " + args);
        EXPECT_EQ(r.status, 1) << args;
        EXPECT_NE(r.err.find(needle), std::string::npos) << args << ": " << r.err;
        EXPECT_EQ(filesIn(dir.path()), std::set<std::string>{"there.sqlite"}) << args;
    }
    std::ifstream in(existing);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "mine");
    // A link that points nowhere is a name in use too.
    fs::create_symlink(dir.path() / "nowhere", dir.path() / "link.sqlite");
    const Outcome r = run("convert " + quote(file) + " --password password --to sqlite " +
                          quote((dir.path() / "link.sqlite").string()));
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(fs::exists(dir.path() / "nowhere"));
}
