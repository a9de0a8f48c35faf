// quillfen-db as a user meets it: exit codes, one-line errors, and the shape of its output.
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/wait.h>

#include <array>
#include <string>

#include "support/fixtures.h"
#include "support/quillfen_db_run.h"

namespace {

using testsupport::Outcome;
using testsupport::quote;

Outcome run(const std::string& args) { return testsupport::runQuillfenDb(args); }

std::string fx(const char* name) { return quote(testsupport::fixture(name)); }

}  // namespace

TEST(QuillfenDb, EverySubcommandHasHelp) {
    for (const char* sub : {"", "tables", "schema", "dump", "export", "sql", "import", "check",
                            "create", "convert"}) {
        const Outcome r = run(std::string(sub) + " --help");
        EXPECT_EQ(r.status, 0) << sub;
        EXPECT_NE(r.out.find("Usage"), std::string::npos) << sub;
    }
}

TEST(QuillfenDb, FailuresAreOneLineOnStderrWithStatusOne) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"tables /nonexistent/x.mdb", "Could not find file '/nonexistent/x.mdb'."},
        {"dump " + fx("password/V2000_with-password.mdb") + " --password wrong",
         "Not a valid password. (file '" +
             testsupport::fixture("password/V2000_with-password.mdb") + "')"},
        {"dump " + fx("password/V2010_with-password.accdb"),
         "Not a valid password. (file '" +
             testsupport::fixture("password/V2010_with-password.accdb") + "')"},
        {"export " + fx("jet4/test2000.mdb") + " Orders", "'Orders'"},
        {"sql " + fx("jet4/test2000.mdb") + " 'SELECT [Nope] FROM [Table1]'", "Nope"},
        {"sql " + fx("jet4/test2000.mdb") + " 'SELEC * FROM [Table1]'", ""},
        {"tables", ""},  // FILE is required
        {"frobnicate", ""},
    };
    for (const auto& [args, needle] : cases) {
        const Outcome r = run(args);
        EXPECT_EQ(r.status, 1) << args;
        EXPECT_TRUE(r.out.empty()) << args;
        ASSERT_FALSE(r.err.empty()) << args;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << args << ": " << r.err;
        EXPECT_NE(r.err.find(needle), std::string::npos) << args << ": " << r.err;
    }
}

TEST(QuillfenDb, TablesListsUserTablesAndAllListsTheRowset) {
    EXPECT_EQ(run("tables " + fx("jet4/test2000.mdb")).out, "Table1\nTable2\nTable3\nTable4\n");
    const Outcome all = run("tables --all " + fx("jet4/queryTestV2000.mdb"));
    EXPECT_EQ(all.status, 0);
    EXPECT_NE(all.out.find("MSysObjects\tSYSTEM TABLE\n"), std::string::npos);
    EXPECT_NE(all.out.find("SelectQuery\tVIEW\n"), std::string::npos);
}

TEST(QuillfenDb, DumpAndExportAgree) {
    const Outcome dump = run("dump " + fx("jet4/test2000.mdb") + " --table table1");
    EXPECT_EQ(dump.status, 0);
    EXPECT_EQ(dump.out,
              "{\"table\":\"Table1\",\"columns\":[{\"name\":\"A\",\"type\":\"Text\"},{\"name\":"
              "\"B\",\"type\":\"Text\"},{\"name\":\"C\",\"type\":\"Byte\"},{\"name\":\"D\","
              "\"type\":\"Integer\"},{\"name\":\"E\",\"type\":\"Long\"},{\"name\":\"F\",\"type\":"
              "\"Double\"},{\"name\":\"G\",\"type\":\"DateTime\"},{\"name\":\"H\",\"type\":"
              "\"Currency\"},{\"name\":\"I\",\"type\":\"YesNo\"}]}\n"
              "[\"abcdefg\",\"hijklmnop\",2,222,333333333,444.555,\"1974-09-21T00:00:00\","
              "\"3.5000\",true]\n"
              "[\"a\",\"b\",0,0,0,0,\"1981-12-12T00:00:00\",\"0.0000\",false]\n");
    const Outcome csv = run("export " + fx("jet4/test2000.mdb") + " Table1");
    EXPECT_EQ(csv.out,
              "A,B,C,D,E,F,G,H,I\r\n"
              "abcdefg,hijklmnop,2,222,333333333,444.555,1974-09-21T00:00:00,3.5000,true\r\n"
              "a,b,0,0,0,0,1981-12-12T00:00:00,0.0000,false\r\n");
}

TEST(QuillfenDb, SqlRunsTheWizardsQueries) {
    const Outcome r = run("sql " + fx("jet4/test2000.mdb") + " 'SELECT [b] FROM [table1]' " +
                          quote("SELECT * FROM `Table3`;"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "B\r\nhijklmnop\r\nb\r\na,b\r\n");
}

TEST(QuillfenDb, ImportAndTheNewFieldSequenceReportWhatTheyDid) {
    testsupport::TempDir dir;
    const std::string db = quote(dir.copyOf("jet4/compIndexTestV2000.mdb"));
    const std::string csv = (dir.path() / "rows.csv").string();
    {
        FILE* f = fopen(csv.c_str(), "w");
        fputs("CD_AGENTE,RS_AGENTE\n7001,seven\n7002,\"eight, nine\"\n", f);
        fclose(f);
    }
    Outcome r = run("import " + db + " Table1 " + quote(csv));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "2 row(s) imported.\n");
    r = run("sql " + db + " 'ALTER TABLE [Table1] ADD COLUMN [Total] INT' " +
            quote("update [Table1] set [Total]=[CD_AGENTE]* 2") +
            " 'ALTER TABLE [Table1] DROP [Total]'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "514 row(s) affected.\n");
    r = run("import " + db + " Table1 " + quote(csv));  // the same keys again: fine, not unique
    EXPECT_EQ(r.status, 0) << r.err;
    r = run("import " + db + " Nowhere " + quote(csv));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("'Nowhere'"), std::string::npos) << r.err;
}

TEST(QuillfenDb, ImportReadsUtf8OrTheEncodingItIsGiven) {
    testsupport::TempDir dir;
    const std::string db = quote(dir.copyOf("jet4/compIndexTestV2000.mdb"));
    const std::string csv = (dir.path() / "latin.csv").string();
    {
        FILE* f = fopen(csv.c_str(), "w");
        fputs("CD_AGENTE,RS_AGENTE\n7001,seven\n7002,caf\xE9\n", f);
        fclose(f);
    }
    const std::string before = run("dump " + db).out;
    Outcome r = run("import " + db + " Table1 " + quote(csv));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Line 3 of '" + csv + "': byte 0xE9 is not valid UTF-8"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(run("dump " + db).out, before);  // the first record is not kept either

    r = run("import " + db + " Table1 " + quote(csv) + " --encoding ISO-8859-1");
    EXPECT_EQ(r.out, "2 row(s) imported.\n") << r.err;
    r = run("sql " + db + " 'SELECT RS_AGENTE FROM Table1 WHERE CD_AGENTE = 7002'");
    EXPECT_EQ(r.out, "RS_AGENTE\r\ncaf\xC3\xA9\r\n");
}

TEST(QuillfenDb, AFailingStatementOfARunSaysWhichAndWhatWasCommitted) {
    testsupport::TempDir dir;
    const std::string db = quote(dir.copyOf("jet4/test2000.mdb"));
    const std::string script = (dir.path() / "fix.sql").string();
    {
        FILE* f = fopen(script.c_str(), "w");
        fputs(
            "-- first the easy ones\n"
            "UPDATE [Table1] SET [C] = 7;\n"
            "UPDATE [Table1] SET [D] = 8;\n"
            "UPDATE   [Table1]\n   SET [Nope] = [C] * 2 WHERE [C] > 1 AND [D] < 100;\n"
            "UPDATE [Table1] SET [C] = 9;\n",
            f);
        fclose(f);
    }
    Outcome r = run("sql " + db + " --file " + quote(script));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "2 row(s) affected.\n2 row(s) affected.\n");
    EXPECT_NE(r.err.find("Statement 3 of '" + script +
                         "' (\"UPDATE [Table1] SET [Nope] = [C] * 2 WHE...\") failed: "),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("Nope"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("It changed nothing; the 2 statements before it were committed, and "
                         "those after it were not run."),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    r = run("sql " + db + " 'SELECT [C], [D] FROM [Table1]'");
    EXPECT_EQ(r.out, "C,D\r\n7,8\r\n7,8\r\n");

    // Statements on the command line are counted on their own, after the script's.
    r = run("sql " + db + " 'UPDATE [Table1] SET [C] = 1' 'UPDATE [Table1] SET [C] = 1 / 0'");
    EXPECT_NE(r.err.find("Statement 2 of the command line (\"UPDATE [Table1] SET [C] = 1 / 0\") "
                         "failed: "),
              std::string::npos)
        << r.err;
}

TEST(QuillfenDb, CreateThenAScriptMakesAndFillsADatabase) {
    testsupport::TempDir dir;
    const std::string db = (dir.path() / "shop.accdb").string();
    const std::string script = (dir.path() / "shop.sql").string();
    {
        FILE* f = fopen(script.c_str(), "w");
        fputs(
            "-- a comment; not a statement\r\n"
            "CREATE TABLE [Odd;Name] (Id COUNTER PRIMARY KEY,\n"
            "    Label TEXT(20));\n"
            "INSERT INTO [Odd;Name] (Label) VALUES ('a;b');  \n"
            "INSERT INTO [Odd;Name] (Label) VALUES (\"it's\")\n",
            f);
        fclose(f);
    }
    Outcome r = run("create " + quote(db));
    EXPECT_EQ(r.status, 0) << r.err;
    r = run("sql " + quote(db) + " --file " + quote(script) + " 'SELECT * FROM [Odd;Name]'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "1 row(s) affected.\n1 row(s) affected.\nId,Label\r\n1,a;b\r\n2,it's\r\n");
    r = run("create " + quote(db));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("already exists"), std::string::npos) << r.err;

    {
        FILE* f = fopen(script.c_str(), "w");
        fputs("SELECT * FROM T;\nINSERT INTO T VALUES ('open);\n", f);
        fclose(f);
    }
    r = run("sql " + quote(db) + " --file " + quote(script));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("line 2"), std::string::npos) << r.err;
}

TEST(QuillfenDb, FieldsOfAnUnknownTypeShowTheirCodeAndDumpAsBytes) {
    const std::string file = quote(QUILLFEN_TEST_DATA "/jackcess/unsupportedFieldsTestV2007.accdb");
    const Outcome schema = run("schema " + file + " Test");
    EXPECT_EQ(schema.status, 0) << schema.err;
    EXPECT_NE(schema.out.find("  UnknownVar\tUnknown (70)\n  UnknownFix\tUnknown (71)\n"),
              std::string::npos)
        << schema.out;
    const Outcome dump = run("dump " + file + " --table Test");
    EXPECT_EQ(dump.status, 0) << dump.err;
    EXPECT_EQ(dump.out,
              "{\"table\":\"Test\",\"columns\":[{\"name\":\"ID\",\"type\":\"Long\"},{\"name\":"
              "\"UnknownVar\",\"type\":\"Unknown\"},{\"name\":\"UnknownFix\",\"type\":"
              "\"Unknown\"},{\"name\":\"UnknownComplex\",\"type\":\"Complex\"}]}\n"
              "[1,\"0xfffe736f6d6564617461\",\"0x37000000\",1]\n"
              "[2,\"0xfffe6f746865722064617461\",\"0xf3ffffff\",2]\n"
              "[3,null,\"0x02000000\",3]\n");
    const Outcome csv = run("export " + file + " Test");
    EXPECT_EQ(csv.out.substr(csv.out.find("\r\n") + 2, 39),
              "1,0xfffe736f6d6564617461,0x37000000,1\r\n");
    EXPECT_EQ(run("check " + file).status, 0);
}
