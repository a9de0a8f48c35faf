// The database step: start-up with and without remembered settings, Next, browse, the sample
// button, and the settings each keystroke writes.
#include "app/form1.h"

#include <gtest/gtest.h>

#include <QSettings>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "app/forms.h"
#include "app/settings.h"
#include "core/globals.h"
#include "db/objects.h"
#include "steps/form2.h"
#include "support/fake_platform.h"
#include "support/fixtures.h"

namespace {

using testsupport::TempDir;

class Form1Test : public ::testing::Test {
protected:
    Form1Test() {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           QString::fromStdString((config.path() / "config").string()));
        app::Globals::setApplicationFolder(folder.path().string());
    }
    void remember(const std::string& database, const std::string& password) {
        app::SaveSetting("Veldmark", "Quillfen", "Database", database);
        app::SaveSetting("Veldmark", "Quillfen", "Password", password);
    }
    std::string setting(const std::string& key) {
        return app::GetSetting("Veldmark", "Quillfen", key, "<absent>");
    }

    TempDir config;
    TempDir folder;
    testsupport::FakePlatform platform;
};

TEST_F(Form1Test, FirstRunShowsEmptyBoxesAndNextDoesNothing) {
    app::Forms forms;
    app::Form1& form1 = forms.form1();
    EXPECT_TRUE(form1.showAfterLoad());
    EXPECT_EQ(form1.Text1->Text(), "");
    EXPECT_EQ(form1.Text2->Text(), "");
    form1.PushButton3_Click();
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_FALSE(forms.ended());
    EXPECT_EQ(setting("Database"), "<absent>");
}

TEST_F(Form1Test, RememberedDatabaseMovesOnToTheTableStep) {
    const std::string copy = folder.copyOf("jet4/test2000.mdb");
    remember(copy, "");
    app::Forms forms;
    app::Form1& form1 = forms.form1();
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_FALSE(form1.showAfterLoad());
    app::Form2& form2 = forms.form2();
    EXPECT_TRUE(form2.isVisible());
    ASSERT_GT(form2.List1->ListCount(), 0);
    EXPECT_EQ(form2.List1->ListIndex(), 0);
    EXPECT_EQ(form1.Text1->Text(), copy);
}

TEST_F(Form1Test, RememberedFileSinceDeletedStaysQuietly) {
    const std::string gone = (folder.path() / "gone.mdb").string();
    remember(gone, "secret");
    app::Forms forms;
    app::Form1& form1 = forms.form1();
    EXPECT_TRUE(form1.showAfterLoad());
    EXPECT_EQ(form1.Text1->Text(), gone);
    EXPECT_EQ(form1.Text2->Text(), "secret");
    EXPECT_TRUE(platform.messages.empty());
}

TEST_F(Form1Test, WrongRememberedPasswordGivesOneMessageThenTheStepIsUsable) {
    const std::string copy = folder.copyOf("password/V2000_with-password.mdb");
    remember(copy, "not the password");
    app::Forms forms;
    app::Form1& form1 = forms.form1();
    ASSERT_EQ(platform.messages.size(), 1u);
    const auto& message = platform.messages[0];
    EXPECT_NE(
        message.text.find("\r\nin Brassloe2021/08/31.Form1.PushButton3_Click at line 100\r\r"),
        std::string::npos)
        << message.text;
    EXPECT_EQ(message.title, "Application Error");
    EXPECT_TRUE(form1.showAfterLoad());
    EXPECT_EQ(form1.Text2->Text(), "not the password");
}

TEST_F(Form1Test, SampleButtonAndBrowse) {
    app::Forms forms;
    app::Form1& form1 = forms.form1();
    form1.Text2->SetText("kept");
    form1.PushButton1_Click();
    const std::string sample = folder.path().string() + "/Samples/sample.mdb";
    EXPECT_EQ(form1.Text1->Text(), sample);
    EXPECT_EQ(setting("Database"), sample);
    EXPECT_EQ(form1.Text2->Text(), "kept");

    platform.chosenFile = "";  // cancelled
    form1.PushButton5_Click();
    EXPECT_EQ(form1.Text1->Text(), sample);
    ASSERT_EQ(platform.fileRequests.size(), 1u);
    EXPECT_EQ(platform.fileRequests[0].title, "Select Access Database");
    EXPECT_EQ(platform.fileRequests[0].filter,
              "All Microsoft Databases (*.mdb,*.accdb)|*.*db|Microsoft Database (*.mdb)|*.mdb|"
              "Microsoft 2007 Database (*.accdb)|*.accdb|");

    platform.chosenFile = "/data/Shop.MDB";
    form1.PushButton5_Click();
    EXPECT_EQ(form1.Text1->Text(), "/data/Shop.MDB");
    EXPECT_EQ(setting("Database"), "/data/Shop.MDB");
}

TEST_F(Form1Test, EachKeystrokeIsRememberedAndComesBackAfterARestart) {
    {
        app::Forms forms;
        app::Form1& form1 = forms.form1();
        form1.show();
        form1.Text2->setFocus();
        QTest::keyClicks(form1.Text2, "a;b=");
        EXPECT_EQ(setting("Password"), "a;b=");
        QTest::keyClick(form1.Text2, Qt::Key_Backspace);
        EXPECT_EQ(setting("Password"), "a;b");
        form1.Text1->SetText("x");
        form1.Text1->SetText("");
        EXPECT_EQ(setting("Database"), "");
    }
    app::Forms forms;
    app::Form1& form1 = forms.form1();
    EXPECT_EQ(form1.Text1->Text(), "");
    EXPECT_EQ(form1.Text2->Text(), "a;b");
}

// A settings folder that cannot be made: typing goes on, one message says why, and the boxes
// still hold what was typed.
TEST_F(Form1Test, AnUnwritableSettingsFolderGivesOneMessageForTheWholeRun) {
    std::ofstream(config.path() / "blocker") << "not a folder";
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromStdString((config.path() / "blocker" / "config").string()));
    app::Forms forms;
    app::Form1& form1 = forms.form1();
    form1.show();
    form1.Text1->setFocus();
    QTest::keyClicks(form1.Text1, "/d.mdb");
    form1.Text2->setFocus();
    QTest::keyClicks(form1.Text2, "pw");
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_NE(platform.messages[0].text.find("/blocker/config/Veldmark cannot be made: Not a "
                                             "directory."),
              std::string::npos)
        << platform.messages[0].text;
    EXPECT_EQ(form1.Text1->Text(), "/d.mdb");
    EXPECT_EQ(form1.Text2->Text(), "pw");
    EXPECT_EQ(setting("Database"), "/d.mdb");
}

TEST_F(Form1Test, FocusSelectsTheWholeText) {
    app::Forms forms;
    app::Form1& form1 = forms.form1();
    form1.Text1->SetText("/some/path.mdb");
    form1.Text1_GotFocus();
    EXPECT_EQ(form1.Text1->selectedText().toStdString(), "/some/path.mdb");
}

TEST_F(Form1Test, MissingProviderEndsTheStartUpBeforeTheAutomaticNext) {
    remember(folder.copyOf("jet4/test2000.mdb"), "");
    db::ScopedCreationFailure missing(
        "ADODB.Connection",
        app::Failure(3706, "Provider cannot be found. It may not be properly installed."));
    platform.answers.push_back(app::MessageAnswer::No);
    app::Forms forms;
    forms.form1();
    EXPECT_TRUE(forms.ended());
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].buttons, app::MessageButtons::YesNo);
    EXPECT_TRUE(platform.addresses.empty());
}

TEST_F(Form1Test, ClosingTheStartUpWindowEndsTheProgram) {
    app::Forms forms;
    app::Form1& form1 = forms.form1();
    form1.show();
    form1.close();
    EXPECT_TRUE(forms.ended());
}

}  // namespace
