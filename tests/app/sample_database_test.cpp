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
#include <optional>
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

// Sets an environment variable, or unsets it for nullopt, until the end of the scope.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const std::optional<std::string>& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        set(value);
    }
    ~ScopedEnvironment() { set(old_); }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    void set(const std::optional<std::string>& value) {
        if (value) {
            ::setenv(name_, value->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }
    const char* name_;
    std::optional<std::string> old_;
};

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
          home("HOME", (root.path() / "home").string()),
          data("XDG_DATA_HOME", std::nullopt) {
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
    ScopedEnvironment home;
    ScopedEnvironment data;
    testsupport::FakePlatform platform;
};

TEST_F(SampleTest, DataFolderIsBesideTheProgramThenInTheInstalledShareFolder) {
    // Nothing anywhere: beside the program, so that what is missing is named there.
    EXPECT_EQ(app::DataFolder(), bin().string());
    putSample(installed());
    EXPECT_EQ(app::DataFolder(), installed().string());
    EXPECT_EQ(app::HandCursorFile(), installed().string() + "/HAND-M.CUR");
    EXPECT_EQ(app::SkinFile(), installed().string() + "/x/o.cjs");
    // A build tree's own sample wins over an installed one.
    putSample(bin());
    EXPECT_EQ(app::DataFolder(), bin().string());
    EXPECT_EQ(app::HandCursorFile(), bin().string() + "/HAND-M.CUR");
}

TEST_F(SampleTest, UserDataFolderTakesOnlyAbsolutePaths) {
    const std::string home = (root.path() / "home").string();
    EXPECT_EQ(app::UserDataFolder(), home + "/.local/share/Veldmark/Quillfen");
    for (const char* data : {"/srv/data", "/srv/data/", "/srv//data"}) {
        const ScopedEnvironment set("XDG_DATA_HOME", data);
        EXPECT_EQ(app::UserDataFolder(), "/srv/data/Veldmark/Quillfen") << data;
    }
    for (const char* ignored : {"", "relative/data", "~/data"}) {
        const ScopedEnvironment data("XDG_DATA_HOME", ignored);
        EXPECT_EQ(app::UserDataFolder(), home + "/.local/share/Veldmark/Quillfen") << ignored;
    }
    // Without a usable HOME the user database's home folder stands in.
    const std::optional<std::string> unusable[] = {"", "home", std::nullopt};
    for (const auto& ignored : unusable) {
        const ScopedEnvironment noHome("HOME", ignored);
        const std::string folder = app::UserDataFolder();
        EXPECT_EQ(folder.front(), '/') << folder;
        EXPECT_NE(folder.find("/.local/share/Veldmark/Quillfen"), std::string::npos) << folder;
    }
}

TEST_F(SampleTest, AWritableSampleIsUsedInPlace) {
    const std::string own = putSample(bin());
    EXPECT_EQ(app::SampleDatabase(), own);
    const std::string installedOwn = putSample(root.path() / "user-install/share/quillfen");
    fs::remove_all(bin() / "Samples");
    app::Globals::setApplicationFolder((root.path() / "user-install/bin").string());
    EXPECT_EQ(app::SampleDatabase(), installedOwn);
    EXPECT_FALSE(fs::exists(root.path() / "home/.local"));
}

// The engine writes a journal and a lock file beside the database: a writable file in a
// folder that takes no new files is as good as read-only.
TEST_F(SampleTest, AWritableSampleInAReadOnlyFolderIsCopied) {
    const std::string own = putReadOnlySample(installed());
    fs::permissions(own, fs::perms::owner_write, fs::perm_options::add);
    EXPECT_EQ(app::SampleDatabase(), userCopy().string());
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
// is not written through, a folder is not emptied.
TEST_F(SampleTest, WhatStandsWhereTheCopyGoesIsKept) {
    putReadOnlySample(installed());
    fs::create_directories(userCopy().parent_path());
    const fs::path target = root.path() / "elsewhere.mdb";
    fs::create_symlink(target, userCopy());
    EXPECT_EQ(app::SampleDatabase(), userCopy().string());
    EXPECT_TRUE(fs::is_symlink(userCopy()));
    EXPECT_FALSE(fs::exists(target));

    fs::remove(userCopy());
    fs::create_directory(userCopy());
    EXPECT_EQ(app::SampleDatabase(), userCopy().string());
    EXPECT_TRUE(fs::is_directory(userCopy()));
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

// An installed sample the user may not read: the message names it.
TEST_F(SampleTest, AnUnreadableInstalledSampleIsNamed) {
    const std::string own = putReadOnlySample(installed());
    if (::geteuid() == 0) GTEST_SKIP() << "the superuser reads every file";
    fs::permissions(own, fs::perms::none);
    try {
        app::SampleDatabase();
        ADD_FAILURE() << "copied an unreadable file";
    } catch (const app::Failure& failure) {
        EXPECT_NE(failure.description().find("The sample database " + own + " cannot be read"),
                  std::string::npos)
            << failure.description();
    }
    EXPECT_TRUE(fs::is_empty(userCopy().parent_path()));
}

}  // namespace
