// Making objects by programmatic identifier, and the start-up check built on it.
#include <gtest/gtest.h>

#include "core/addresses.h"
#include "db/objects.h"
#include "db/odbc_provider.h"
#include "support/fake_platform.h"
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

class ProviderAvailable : public ::testing::Test {
protected:
    ProviderAvailable() { app::Globals::setApplicationTitle("Quillfen"); }
    testsupport::FakePlatform platform;
};

TEST_F(ProviderAvailable, IsTrueWithoutAWordWhenTheConnectionCanBeMade) {
    EXPECT_TRUE(db::ProviderAvailable());
    EXPECT_TRUE(platform.messages.empty());
}

TEST_F(ProviderAvailable, OffersTheDownloadPagesWhenTheProviderIsMissing) {
    db::ScopedCreationFailure missing(
        "ADODB.Connection",
        app::Failure(3706, "Provider cannot be found. It may not be properly installed."));
    platform.answers = {app::MessageAnswer::Yes};
    EXPECT_FALSE(db::ProviderAvailable());
    ASSERT_EQ(platform.messages.size(), 1u);
    const auto& shown = platform.messages[0];
    EXPECT_TRUE(shown.text.starts_with(
        "Error #3706: Provider cannot be found. It may not be properly installed.\r\n\r\n"
        "You are getting this error because:\r\n\r\n1. Microsoft Access"));
    EXPECT_TRUE(
        shown.text.ends_with("?\r\n\r\n(If you have any further questions please email a "
                             "screenshot of this error message to " +
                             std::string(app::kSupportEmail) + ")"));
    EXPECT_EQ(shown.buttons, app::MessageButtons::YesNo);
    EXPECT_EQ(shown.icon, app::MessageIcon::None);
    EXPECT_EQ(shown.title, "Quillfen");
    EXPECT_EQ(platform.addresses,
              (std::vector<std::string>{app::kEngine2010Download, app::kEngine2016Download}));

    platform.answers = {app::MessageAnswer::No};
    EXPECT_FALSE(db::ProviderAvailable());
    EXPECT_EQ(platform.messages.size(), 2u);
    EXPECT_EQ(platform.addresses.size(), 2u);
}

TEST_F(ProviderAvailable, KnowsTheMissingProviderByItsDescriptionTooAndIgnoresOtherFailures) {
    {
        db::ScopedCreationFailure broken("ADODB.Connection", app::Failure(429, "can't create"));
        EXPECT_FALSE(db::ProviderAvailable());
        EXPECT_TRUE(platform.messages.empty());
    }
    db::ScopedCreationFailure missing("ADODB.Connection",
                                      app::Failure(-2147467259, "PROVIDER CANNOT BE FOUND here"));
    EXPECT_FALSE(db::ProviderAvailable());
    EXPECT_EQ(platform.messages.size(), 1u);
    EXPECT_TRUE(platform.addresses.empty());
}
