// Fields of a type the engine does not know (Jackcess's unsupportedFieldsTestV2007.accdb, written
// by Access): read as the bytes their rows hold, and every change of their table refused with
// the file left as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "jet/check/check.h"
#include "jet/database.h"
#include "jet/sql/csv_import.h"
#include "jet/store/table_writer.h"
#include "jet/store/write_context.h"
#include "support/fixtures.h"
#include "support/statements.h"

using jet::Bytes;
using jet::Database;
using jet::ErrorCode;
using jet::Value;
using testsupport::errorOf;

namespace {

const std::string kFile = QUILLFEN_TEST_DATA "/jackcess/unsupportedFieldsTestV2007.accdb";

// "0x..." to the bytes.
Value hex(const std::string& digits) {
    Bytes b;
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        b.push_back(static_cast<std::uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    }
    return b;
}

std::string writableCopy(const testsupport::TempDir& dir) {
    const auto path = dir.path() / "unsupported fields 'ü'.accdb";
    std::filesystem::copy_file(kFile, path);
    std::filesystem::permissions(path, std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
    return path.string();
}

}  // namespace

TEST(UnknownColumnType, ReadsTheStoredBytesOfEveryUnknownField) {
    const auto db = Database::open(kFile, {"", false});
    const auto table = db->table("Test");
    ASSERT_EQ(table->columns.size(), 4u);
    EXPECT_EQ(static_cast<int>(table->columns[1].type), 70);
    EXPECT_FALSE(table->columns[1].fixedLength);
    EXPECT_EQ(static_cast<int>(table->columns[2].type), 71);
    EXPECT_TRUE(table->columns[2].fixedLength);
    // The values Jackcess's own test expects of this file.
    const std::vector<std::vector<Value>> rows = {
        {std::int32_t{1}, hex("fffe736f6d6564617461"), hex("37000000"), jet::ComplexId{1}},
        {std::int32_t{2}, hex("fffe6f746865722064617461"), hex("f3ffffff"), jet::ComplexId{2}},
        {std::int32_t{3}, jet::Null{}, hex("02000000"), jet::ComplexId{3}},
    };
    EXPECT_EQ(testsupport::rowsOf(*db, "Test"), rows);
    // The complex field's flat table keeps its values in a field of code 72.
    const auto flat = testsupport::rowsOf(*db, "f_3A10F39A50E2459E86B84E69EA5F753E_UnknownComplex");
    ASSERT_EQ(flat.size(), 3u);
    EXPECT_EQ(flat[1][0], hex("fffe666f6f"));
    testsupport::expectNoFaults(kFile);
}

TEST(UnknownColumnType, EveryChangeOfItsTableIsRefusedAndChangesNothing) {
    testsupport::TempDir dir;
    const std::string path = writableCopy(dir);
    const auto before = testsupport::bytesOf(path);
    const std::string csv = (dir.path() / "rows.csv").string();
    std::ofstream(csv) << "ID\n7\n";
    {
        const auto db = Database::open(path);
        const auto expectRefused = [&](const jet::Error& e, const std::string& what) {
            EXPECT_EQ(e.code(), ErrorCode::Unsupported) << what;
            EXPECT_EQ(e.table(), "Test") << what;
            EXPECT_EQ(e.field(), "UnknownVar") << what;
            const std::string text = e.what();
            EXPECT_NE(text.find("table 'Test'"), std::string::npos) << text;
            EXPECT_NE(text.find("'UnknownVar'"), std::string::npos) << text;
            EXPECT_NE(text.find("code 70"), std::string::npos) << text;
        };
        for (const char* sql : {
                 "UPDATE Test SET ID = ID + 10",
                 "UPDATE Test SET UnknownVar = Null",
                 "DELETE FROM Test WHERE ID = 3",
                 "INSERT INTO Test (ID) VALUES (9)",
                 "ALTER TABLE Test ADD COLUMN Total INT",
                 "ALTER TABLE Test DROP COLUMN UnknownFix",
                 "CREATE INDEX ByFix ON Test (UnknownFix)",
                 "DROP INDEX PrimaryKey ON Test",
             }) {
            expectRefused(errorOf(*db, sql), sql);
        }
        expectRefused(errorOf([&] { jet::sql::importCsv(*db, "Test", csv); }), "import");
        // Whatever reaches the rows without a statement's own check (a cascade from a
        // relationship) meets the same refusal where rows are written.
        const auto table = db->table("Test");
        expectRefused(errorOf([&] {
                          db->write([&](jet::store::WriteContext& ctx) {
                              jet::store::TableWriter(ctx.file, ctx.format, *table, ctx.codePage);
                          });
                      }),
                      "a table writer");
    }
    EXPECT_EQ(testsupport::bytesOf(path), before);
    EXPECT_FALSE(std::filesystem::exists(path + "-journal"));
}
