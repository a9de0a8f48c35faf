// Connections and recordsets over real files: the shared engine instance, passwords and
// encryption, read-only connections, walking rows and handing them to a grid.
#include "db/connection.h"

#include <gtest/gtest.h>

#include <functional>

#include "db/access.h"
#include "db/objects.h"
#include "db/shared_database.h"
#include "jet/database.h"
#include "support/fixtures.h"
#include "tests/db/db_support.h"

using testsupport::failureOf;
using testsupport::fixture;

namespace {

std::shared_ptr<db::Connection> connect(const std::string& path, const std::string& password = "",
                                        int mode = db::adModeReadWrite) {
    auto cn = db::CreateObject<db::Connection>("ADODB.Connection");
    cn->SetMode(mode);
    cn->Open("Provider=Microsoft.ACE.OLEDB.12.0;Data Source=" + path +
             ";Jet OLEDB:Database Password=" + password);
    cn->SetCursorLocation(db::adUseClient);
    return cn;
}

std::shared_ptr<db::Recordset> query(db::Connection& cn, const std::string& sql) {
    auto rs = db::CreateObject<db::Recordset>("ADODB.recordset");
    rs->Open(sql, cn, db::adOpenStatic, db::adLockOptimistic);
    return rs;
}

std::vector<db::Row> everyRow(db::DataSource& source) {
    std::vector<db::Row> rows;
    while (source.fetch(2, rows) > 0) {
    }
    EXPECT_TRUE(source.atEnd());
    return rows;
}

// A writable copy of test2000.mdb's Table1: A text key, E a Long, two rows.
class WritableCopy : public ::testing::Test {
protected:
    testsupport::TempDir dir;
    std::string path = dir.copyOf("jet4/test2000.mdb");
};

}  // namespace

TEST_F(WritableCopy, ConnectionsToOneFileShareOneEngineInstance) {
    const auto first = db::openSharedDatabase(path, "", true);
    const auto alias = (dir.path() / "." / "test2000.mdb").string();
    EXPECT_EQ(db::openSharedDatabase(alias, "", true), first);
    // A change through one connection is there for the next, and the instance still serves it.
    auto writer = connect(path);
    writer->Execute("UPDATE [Table1] SET [E] = 7");
    auto reader = connect(alias);
    auto rs = query(*reader, "SELECT [E] FROM [Table1]");
    EXPECT_EQ(rs->Fields()["e"].Value(), jet::Value(std::int32_t{7}));
}

TEST_F(WritableCopy, AReadOnlyInstanceMakesWayForAWritableOneThatStillRefusesReaders) {
    const auto readOnly = db::openSharedDatabase(path, "", false);
    const auto writable = db::openSharedDatabase(path, "", true);
    EXPECT_NE(writable, readOnly);
    EXPECT_TRUE(writable->database().writable());
    EXPECT_EQ(db::openSharedDatabase(path, "", false), writable);
    // The earlier instance still reads for those holding it.
    EXPECT_EQ(readOnly->database().userTableNames().size(), 4u);

    auto reader = connect(path, "", db::adModeRead);
    const auto refused = failureOf([&] { reader->Execute("UPDATE [Table1] SET [E] = 1"); });
    EXPECT_EQ(refused.number(), 3027);
    connect(path)->Execute("UPDATE [Table1] SET [E] = 2");
}

TEST(SharedDatabase, AWrongPasswordFailsAsItWouldAlone) {
    const std::string path = fixture("password/V2003_with-password.mdb");
    auto first = connect(path, "password");
    const auto wrong = failureOf([&] { connect(path, "wrong"); });
    EXPECT_EQ(wrong.number(), 3031);
    EXPECT_EQ(wrong.description(), "Not a valid password. (file '" + path + "')");
    EXPECT_EQ(failureOf([&] { connect(path); }).number(), 3031);
    EXPECT_EQ(connect(path, "password")->OpenSchema(db::adSchemaTables)->State(), db::adStateOpen);
}

TEST(Connection, ProtectedAndEncryptedFilesOpenOrFailAsTheEngineSaysAlone) {
    const auto outcome = [](const std::function<std::vector<std::string>()>& tables) {
        try {
            std::string listed;
            for (const auto& t : tables()) listed += t + ";";
            return listed;
        } catch (const jet::Error& e) {
            return std::to_string(e.number()) + " " + e.what();
        } catch (const app::Failure& f) {
            return std::to_string(f.number()) + " " + f.description();
        }
    };
    for (const auto& [file, password] : std::vector<std::pair<std::string, std::string>>{
             {"password/V2000_with-password.mdb", "password"},
             {"password/V2010_with-password.accdb", "password"},
             {"encrypted/agile2010.accdb", "password"},
             {"encrypted/rc4cryptoapi2007.accdb", "Test123"},
             {"encrypted/rc4jet4.mdb", ""}}) {
        const std::string path = fixture(file);
        const auto alone = outcome([&] {
            jet::OpenOptions options;
            options.password = password;
            return jet::Database::open(path, options)->userTableNames();
        });
        const auto through = outcome([&] {
            testsupport::ChosenDatabase chosen(path, password);
            return *db::GetTableNames(path);
        });
        EXPECT_EQ(through, alone) << file;
    }
}

TEST(Connection, ClosedObjectsAndWhatTheEngineRefusesFailClearly) {
    auto cn = db::CreateObject<db::Connection>("ADODB.Connection");
    EXPECT_EQ(failureOf([&] { cn->Execute("UPDATE [T] SET [A] = 1"); }).number(), 3704);
    auto rs = db::CreateObject<db::Recordset>("ADODB.Recordset");
    EXPECT_EQ(failureOf([&] { rs->Open("SELECT * FROM [Table1]", *cn); }).number(), 3709);

    cn = connect(fixture("jet4/test2000.mdb"));
    EXPECT_EQ(failureOf([&] { cn->OpenSchema(4); }).number(), 3251);
    const auto missing = failureOf([&] { query(*cn, "SELECT * FROM [Nowhere]"); });
    EXPECT_EQ(missing.number(), 3078);
    EXPECT_NE(missing.description().find("'Nowhere'"), std::string::npos);
}

TEST(Connection, TheTablesRowsetHasAdosColumns) {
    auto schema = connect(fixture("jet4/test2000.mdb"))->OpenSchema(db::adSchemaTables);
    const auto fields = schema->Fields();
    std::vector<std::string> names;
    for (int i = 0; i < fields.Count(); ++i) names.push_back(fields[i].Name());
    EXPECT_EQ(names, (std::vector<std::string>{"TABLE_CATALOG", "TABLE_SCHEMA", "TABLE_NAME",
                                               "TABLE_TYPE", "TABLE_GUID", "DESCRIPTION",
                                               "TABLE_PROPID", "DATE_CREATED", "DATE_MODIFIED"}));
}

TEST(Recordset, WalksItsRowsAndNamesItsFields) {
    auto cn = connect(fixture("jet4/test2000.mdb"));
    auto rs = query(*cn, "SELECT * FROM [Table1];");
    const auto fields = rs->Fields();
    ASSERT_EQ(fields.Count(), 9);
    EXPECT_EQ(fields[8].Name(), "I");
    EXPECT_EQ(fields["i"].Type(), jet::ColumnType::YesNo);
    EXPECT_EQ(failureOf([&] { fields["Z"]; }).description(),
              "Item cannot be found in the collection corresponding to the requested name or "
              "ordinal.");
    int rows = 0;
    for (; !rs->Eof(); rs->MoveNext()) {
        EXPECT_FALSE(jet::isNull(fields["a"].Value()));
        ++rows;
    }
    EXPECT_EQ(rows, 2);
    EXPECT_EQ(failureOf([&] { fields["A"].Value(); }).number(), 3021);
    EXPECT_EQ(failureOf([&] { rs->MoveNext(); }).number(), 3021);
    rs->Close();
    EXPECT_EQ(failureOf([&] { rs->Fields(); }).number(), 3704);

    // The field test's dynamic cursor, with nothing passed for the lock.
    rs->Open("SELECT [B] FROM [Table1]", *cn, db::adOpenDynamic, db::adLockUnspecified);
    EXPECT_EQ(rs->Fields().Count(), 1);
}

TEST(Recordset, ItsDataSourceOutlivesItAndShowsEveryRowFromTheFirst) {
    auto cn = connect(fixture("jet4/test2000.mdb"));
    auto rs = query(*cn, "SELECT * FROM [Table1];");
    rs->MoveNext();
    const std::shared_ptr<db::DataSource> source = rs->DataSource();
    EXPECT_EQ(rs->DataSource(), source);
    EXPECT_EQ(source->columns()[4].name, "E");
    rs.reset();
    cn.reset();
    std::vector<db::Row> first;
    EXPECT_EQ(source->fetch(1, first), 1u);
    EXPECT_FALSE(source->atEnd());
    EXPECT_EQ(everyRow(*source).size(), 1u);
}

TEST_F(WritableCopy, ADataSourceKeepsItsFileOpenWhileStatementsChangeIt) {
    auto cn = connect(path);
    auto source = query(*cn, "SELECT [A], [E] FROM [Table1]")->DataSource();
    cn->Execute("ALTER TABLE [Table1] ADD COLUMN [Total] INT");
    cn->Execute("update [Table1] set [Total]=[E]+ [E]");
    cn.reset();
    const auto rows = everyRow(*source);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].size(), 2u);

    auto after = query(*connect(path), "SELECT * FROM `Table1`;");
    EXPECT_EQ(after->Fields().Count(), 10);
    EXPECT_EQ(after->Fields()["TOTAL"].Type(), jet::ColumnType::Long);
}

TEST(Recordset, AFieldOfATypeTheEngineDoesNotKnowIsListedWithItsCodeAndBytes) {
    // The field step lists every field of the table; one of an unknown type is there too, its
    // values the bytes the rows hold.
    auto rs = query(*connect(QUILLFEN_TEST_DATA "/jackcess/unsupportedFieldsTestV2007.accdb"),
                    "SELECT * FROM [Test]");
    const auto fields = rs->Fields();
    ASSERT_EQ(fields.Count(), 4);
    EXPECT_EQ(fields[1].Name(), "UnknownVar");
    EXPECT_EQ(static_cast<int>(fields[1].Type()), 70);
    EXPECT_EQ(static_cast<int>(fields["UnknownFix"].Type()), 71);
    EXPECT_EQ(fields["UnknownFix"].Value(), jet::Value(jet::Bytes{0x37, 0, 0, 0}));
    const auto source = rs->DataSource();
    EXPECT_EQ(source->columns()[2].name, "UnknownFix");
    EXPECT_EQ(everyRow(*source).size(), 3u);
}
