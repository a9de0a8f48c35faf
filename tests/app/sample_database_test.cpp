// Where the wizard finds its data, and the sample "Load Sample" opens: in place where the user
// may change it, else the user's own copy, made once and kept.
#include "app/sample_database.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QSettings>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "app/data_folders.h"
#include "app/form1.h"
#include "app/forms.h"
#include "app/main_module.h"
#include "app/settings.h"
#include "core/failure.h"
#include "core/globals.h"
#include "db/connection.h"
#include "db/objects.h"
#include "support/fake_platform.h"
#include "support/fixtures.h"

namespace {

namespace fs = std::filesystem;

std::string contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// A program tree in a scratch folder: ROOT/bin holds the program, ROOT/share/quillfen its
// installed data, ROOT/home the user's home.
class SampleTest : public ::testing::Test {
protected:
    SampleTest()
        : savedFolder(app::Globals::applicationFolder()),
          savedHome(std::getenv("HOME") ? std::getenv("HOME") : "") {
        ::setenv("HOME", (root.path() / "home").c_str(), 1);
        ::unsetenv("XDG_DATA_HOME");
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           QString::fromStdString((root.path() / "config").string()));
        fs::create_directories(bin());
        app::Globals::setApplicationFolder(bin().string());
    }
    ~SampleTest() override {
        // Writable again, so that the scratch folder can be removed.
        for (const auto& entry : fs::recursive_directory_iterator(root.path())) {
            if (!entry.is_symlink()) {
                fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add);
            }
        }
        app::Globals::setApplicationFolder(savedFolder);
        ::setenv("HOME", savedHome.c_str(), 1);
    }

    fs::path bin() const { return root.path() / "bin"; }
    fs::path installed() const { return root.path() / "share/quillfen"; }
    fs::path userCopy() const {
        return root.path() / "home/.local/share/Veldmark/Quillfen/Samples/sample.mdb";
    }

    // The build's sample database at FOLDER/Samples/sample.mdb.
    std::string putSample(const fs::path& folder) const {
        fs::create_directories(folder / "Samples");
        const fs::path sample = folder / "Samples/sample.mdb";
        fs::copy_file(QUILLFEN_APP_DIR "/Samples/sample.mdb", sample);
        return sample.string();
    }
    // As a package installs it for its users: neither the file nor its folder to be written.
    std::string putReadOnlySample(const fs::path& folder) const {
        std::string sample = putSample(folder);
        fs::permissions(sample,
                        fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        fs::permissions(folder / "Samples", fs::perms::owner_read | fs::perms::owner_exec |
                                                fs::perms::group_read | fs::perms::group_exec |
                                                fs::perms::others_read | fs::perms::others_exec);
        return sample;
    }

    testsupport::TempDir root;
    std::string savedFolder;
    std::string savedHome;
    testsupport::FakePlatform platform;
};

// The data beside the program (a build tree) wins over an installed share folder, and a sample
// is used in place only where the engine may write the file and, beside it, its journal and
// lock file.
TEST_F(SampleTest, TheSampleIsUsedInPlaceOnlyWhereItsFolderTakesNewFiles) {
    const std::string installedSample = putReadOnlySample(installed());
    EXPECT_EQ(app::HandCursorFile(), installed().string() + "/HAND-M.CUR");
    fs::permissions(installedSample, fs::perms::owner_write, fs::perm_options::add);
    EXPECT_EQ(app::SampleDatabase(), userCopy().string());
    const std::string own = putSample(bin());
    EXPECT_EQ(app::SampleDatabase(), own);
    // XDG_DATA_HOME counts only as an absolute path.
    ::setenv("XDG_DATA_HOME", "relative/data", 1);
    EXPECT_EQ(app::UserDataFolder(),
              (root.path() / "home/.local/share/Veldmark/Quillfen").string());
    ::setenv("XDG_DATA_HOME", "/srv/data/", 1);
    EXPECT_EQ(app::UserDataFolder(), "/srv/data/Veldmark/Quillfen");
    ::unsetenv("XDG_DATA_HOME");
}

TEST_F(SampleTest, AnInstalledSampleIsCopiedOnceAndTheCopyTakesChanges) {
    const std::string own = putReadOnlySample(installed());
    const std::string original = contents(own);
    ASSERT_EQ(app::SampleDatabase(), userCopy().string());
    EXPECT_EQ(contents(userCopy()), original);

    auto cn = db::CreateObject<db::Connection>("ADODB.Connection");
    cn->SetMode(db::adModeReadWrite);
    cn->Open("PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source=" + userCopy().string() +
             ";JET OLEDB:Database Password=");
    cn->Execute("UPDATE [Orders] SET [Price] = [Price] + 10");
    cn.reset();
    const std::string changed = contents(userCopy());
    ASSERT_NE(changed, original);

    // Taken again: the user's changes stay.
    EXPECT_EQ(app::SampleDatabase(), userCopy().string());
    EXPECT_EQ(contents(userCopy()), changed);
    EXPECT_EQ(contents(own), original);

    // Deleted by the user: made afresh from the installed sample.
    fs::remove(userCopy());
    EXPECT_EQ(app::SampleDatabase(), userCopy().string());
    EXPECT_EQ(contents(userCopy()), original);
    for (const auto& entry : fs::directory_iterator(userCopy().parent_path())) {
        EXPECT_EQ(entry.path().filename().string().rfind("sample.mdb.", 0), std::string::npos)
            << "left behind: " << entry.path();
    }
}

// Whatever stands where the copy goes was put there by the user and is never replaced: a link
// is not written through.
TEST_F(SampleTest, WhatStandsWhereTheCopyGoesIsKept) {
    putReadOnlySample(installed());
    fs::create_directories(userCopy().parent_path());
    const fs::path target = root.path() / "elsewhere.mdb";
    fs::create_symlink(target, userCopy());
    EXPECT_EQ(app::SampleDatabase(), userCopy().string());
    EXPECT_TRUE(fs::is_symlink(userCopy()));
    EXPECT_FALSE(fs::exists(target));
}

// Several wizards that load the sample at once: each gets the one copy, whole, and no
// temporary file stays behind.
TEST_F(SampleTest, WizardsLoadingTheSampleAtOnceShareOneWholeCopy) {
    const std::string original = contents(putReadOnlySample(installed()));
    std::vector<pid_t> children;
    for (int i = 0; i < 8; ++i) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            try {
                ::_exit(app::SampleDatabase() == userCopy().string() ? 0 : 1);
            } catch (...) {
                ::_exit(2);
            }
        }
        children.push_back(child);
    }
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    EXPECT_EQ(contents(userCopy()), original);
    EXPECT_EQ(std::distance(fs::directory_iterator(userCopy().parent_path()), {}), 1);
}

TEST_F(SampleTest, LoadSampleSetsTheCopyAndRemembersIt) {
    putReadOnlySample(installed());
    app::Forms forms;
    app::Form1& form1 = forms.form1();
    form1.Text2->SetText("kept");
    form1.PushButton1_Click();
    EXPECT_TRUE(platform.messages.empty()) << platform.messages[0].text;
    EXPECT_EQ(form1.Text1->Text(), userCopy().string());
    EXPECT_EQ(app::GetSetting("Veldmark", "Quillfen", "Database", ""), userCopy().string());
    EXPECT_EQ(form1.Text2->Text(), "kept");
}

// The user's data folder cannot be made (a file stands where a folder must): one message that
// names the copy, the box keeps what it held, and nothing is left half-written.
TEST_F(SampleTest, ACopyThatCannotBeMadeIsReportedAndLeavesNothing) {
    putReadOnlySample(installed());
    fs::create_directories(root.path() / "home/.local/share");
    std::ofstream(root.path() / "home/.local/share/Veldmark") << "not a folder";
    app::Forms forms;
    app::Form1& form1 = forms.form1();
    form1.Text1->SetText("/data/mine.mdb");
    form1.PushButton1_Click();
    ASSERT_EQ(platform.messages.size(), 1u);
    const std::string& text = platform.messages[0].text;
    EXPECT_EQ(platform.messages[0].title, "Application Error");
    EXPECT_NE(
        text.find("Your copy of the sample database, " + userCopy().string() + ", cannot be made"),
        std::string::npos)
        << text;
    EXPECT_NE(text.find("Form1.PushButton1_Click at line 100"), std::string::npos) << text;
    EXPECT_EQ(form1.Text1->Text(), "/data/mine.mdb");
    EXPECT_EQ(contents(root.path() / "home/.local/share/Veldmark"), "not a folder");
}

}  // namespace
