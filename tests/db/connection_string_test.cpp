// The connection string the wizard builds, and how a connection reads one.
#include "db/connection_string.h"

#include <gtest/gtest.h>

#include "db/access.h"
#include "db/failures.h"
#include "db/objects.h"
#include "support/fixtures.h"
#include "tests/db/db_support.h"

using testsupport::ChosenDatabase;
using testsupport::failureOf;

TEST(BuildConnectionString, TakesTheProviderFromTheLastFiveCharacters) {
    {
        ChosenDatabase chosen("C:\\Data\\Shop.accdb");
        EXPECT_EQ(db::BuildConnectionString(),
                  "Provider=Microsoft.ACE.OLEDB.12.0;Data Source=C:\\Data\\Shop.accdb;"
                  "JET OLEDB:Database Password=");
    }
    {
        ChosenDatabase chosen("C:\\Data\\Shop.mdb", "s3cret");
        EXPECT_EQ(db::BuildConnectionString(),
                  "PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\Data\\Shop.mdb;"
                  "JET OLEDB:Database Password=s3cret");
    }
    const auto aceFor = [](const std::string& path) {
        ChosenDatabase chosen(path);
        return db::BuildConnectionString().starts_with("Provider=Microsoft.ACE.OLEDB.12.0;");
    };
    EXPECT_TRUE(aceFor("/data/SHOP.ACCDB"));
    EXPECT_TRUE(aceFor("/data/shopaccdb"));
    EXPECT_TRUE(aceFor("accdb"));
    EXPECT_FALSE(aceFor("/data/shop.accdb "));
    EXPECT_FALSE(aceFor(""));
    EXPECT_FALSE(aceFor("/data/shop.accdé"));
}

TEST(BuildConnectionString, InsertsThePasswordAsTyped) {
    ChosenDatabase chosen("/data/a.mdb", "x;y=\"z'");
    EXPECT_TRUE(db::BuildConnectionString().ends_with(";JET OLEDB:Database Password=x;y=\"z'"));
}

TEST(ParseConnectionString, KeysIgnoreCaseAndBlanksAndValuesMayBeQuoted) {
    const auto s = db::parseConnectionString(
        " provider = Microsoft.ACE.OLEDB.12.0;;DATA SOURCE=\"/a;b.mdb\" ; "
        "Jet OLEDB:Database Password = 'it''s'");
    EXPECT_TRUE(db::isEngineProvider(s.provider));
    EXPECT_EQ(s.dataSource, "/a;b.mdb");
    EXPECT_EQ(s.password, "it's");
    EXPECT_EQ(db::parseConnectionString("Data Source=\"say \"\"hi\"\"\"").dataSource, "say \"hi\"");
    // Unquoted values are kept as written: a file name may begin with a blank.
    EXPECT_EQ(db::parseConnectionString("Data Source= /a=b.mdb").dataSource, " /a=b.mdb");
    EXPECT_EQ(db::parseConnectionString("Provider=x;Data Source=/a.mdb;Provider=y").provider, "y");

    EXPECT_TRUE(db::isEngineProvider("microsoft.jet.oledb.4.0"));
    EXPECT_TRUE(db::isEngineProvider("MICROSOFT.ACE.OLEDB.12.0"));
    EXPECT_FALSE(db::isEngineProvider("Microsoft.ACE.OLEDB.16.0"));
    EXPECT_FALSE(db::isEngineProvider(""));
}

TEST(ParseConnectionString, UnreadableTextFailsSayingWhyWithoutThePassword) {
    const auto unreadable = [](const std::string& text) {
        const auto f = failureOf([&] { db::parseConnectionString(text); });
        EXPECT_EQ(f.number(), db::kBadConnectionString) << text;
        EXPECT_TRUE(f.description().starts_with("The connection string cannot be read: "));
        return f.description();
    };
    const std::string prefix = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/d/a.mdb;";
    for (const std::string password : {"pa;zq", "pa;zq=w", "\"zq", "'pa'zq"}) {
        const auto why = unreadable(prefix + "JET OLEDB:Database Password=" + password);
        EXPECT_EQ(why.find("zq"), std::string::npos) << why;
    }
    EXPECT_NE(unreadable(prefix + "JET OLEDB:Database Password=pa;zq").find("';'"),
              std::string::npos);
    EXPECT_NE(unreadable("Data Sorce=/d/a.mdb").find("'data sorce'"), std::string::npos);
    EXPECT_NE(unreadable("Data Source=/d/a;b.mdb").find("'b.mdb'"), std::string::npos);
    unreadable("=x");
}

TEST(ConnectionOpen, EitherProviderServesEveryFormatAndNoOtherDoes) {
    const auto tablesThrough = [](const std::string& provider, const std::string& file) {
        auto cn = db::CreateObject<db::Connection>("ADODB.Connection");
        cn->Open("Provider=" + provider + ";Data Source=" + testsupport::fixture(file));
        return cn->OpenSchema(db::adSchemaTables)->Eof();
    };
    EXPECT_FALSE(tablesThrough("Microsoft.Jet.OLEDB.4.0", "ace/test2010.accdb"));
    EXPECT_FALSE(tablesThrough("microsoft.ace.oledb.12.0", "jet4/test2000.mdb"));
    EXPECT_FALSE(tablesThrough("Microsoft.Jet.OLEDB.4.0", "jet3/test97.mdb"));

    for (const std::string text :
         {"Provider=SQLOLEDB;Data Source=/d/a.mdb", "Data Source=/d/a.mdb", ""}) {
        auto cn = db::CreateObject<db::Connection>("ADODB.Connection");
        const auto f = failureOf([&] { cn->Open(text); });
        EXPECT_EQ(f.number(), 3706);
        EXPECT_EQ(f.description(), "Provider cannot be found. It may not be properly installed.");
        EXPECT_EQ(cn->State(), db::adStateClosed);
    }
}
