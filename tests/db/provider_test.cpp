// Making objects by programmatic identifier.
#include <gtest/gtest.h>

#include "db/objects.h"
#include "tests/db/db_support.h"

using testsupport::failureOf;

TEST(CreateObject, MakesConnectionsAndRecordsetsWhateverTheLetterCaseAndNothingElse) {
    EXPECT_TRUE(db::CreateObject<db::Connection>("ADODB.Connection"));
    EXPECT_TRUE(db::CreateObject<db::Connection>("adodb.CONNECTION"));
    EXPECT_TRUE(db::CreateObject<db::Recordset>("ADODB.RecordSet"));
    EXPECT_TRUE(db::CreateObject<db::Recordset>("ADODB.recordset"));

    const auto wrongKind = failureOf([] { db::CreateObject<db::Recordset>("ADODB.Connection"); });
    EXPECT_EQ(wrongKind.number(), 13);
    const auto unknown = failureOf([] { db::CreateObject("ADODB.Command"); });
    EXPECT_EQ(unknown.number(), 429);
    EXPECT_EQ(unknown.description(), "ActiveX component can't create object");
    {
        db::ScopedCreationFailure missing("adodb.connection", app::Failure(3706, "gone"));
        EXPECT_EQ(failureOf([] { db::CreateObject("ADODB.Connection"); }).description(), "gone");
        EXPECT_TRUE(db::CreateObject<db::Recordset>("ADODB.Recordset"));
    }
    EXPECT_TRUE(db::CreateObject<db::Connection>("ADODB.Connection"));
}
