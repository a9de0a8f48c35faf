// The settings store in a scratch configuration folder: texts come back exactly, and the file
// that holds the password stays its owner's alone.
#include "app/settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QSettings>
#include <QStandardPaths>
#include <fstream>

#include "core/failure.h"
#include "support/fixtures.h"

namespace {

class Settings : public ::testing::Test {
protected:
    Settings() { usePath(QString::fromStdString(home.path().string())); }
    ~Settings() override {
        usePath(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
    }
    static void usePath(const QString& path) {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, path);
    }
    mode_t modeOf(const char* relative) const {
        struct stat info {};
        EXPECT_EQ(::stat((home.path() / relative).c_str(), &info), 0) << relative;
        return info.st_mode & 07777;
    }

    testsupport::TempDir home;
};

TEST_F(Settings, TextsComeBackExactlyFromAFileOnlyItsOwnerCanRead) {
    EXPECT_EQ(app::GetSetting("Veldmark", "Quillfen", "Database", "absent"), "absent");
    app::SaveSetting("Veldmark", "Quillfen", "Database", "/data/Shop.mdb");
    for (const std::string password :
         {"", "  blanks  ", "a;b=c#d", "\"double\" 'single'", "p\xc3\xa4ss \xe2\x9c\x93",
          "@Variant(x)", "back\\slash, comma", "[Quillfen]"}) {
        app::SaveSetting("Veldmark", "Quillfen", "Password", password);
        // A stored empty text is not an absent one.
        EXPECT_EQ(app::GetSetting("Veldmark", "Quillfen", "Password", "absent"), password);
    }
    EXPECT_EQ(app::GetSetting("Veldmark", "Quillfen", "Database", ""), "/data/Shop.mdb");
    EXPECT_EQ(modeOf("Veldmark/Veldmark.conf"), 0600u);
    EXPECT_EQ(modeOf("Veldmark"), 0700u);

    // A file that others could read is private after the next save.
    ::chmod((home.path() / "Veldmark/Veldmark.conf").c_str(), 0644);
    app::SaveSetting("Veldmark", "Quillfen", "Database", "x");
    EXPECT_EQ(modeOf("Veldmark/Veldmark.conf"), 0600u);
}

// A configuration folder that cannot be made (here a file stands where a folder must go, which
// stops root as well as anyone): the first save says so with the real reason, later saves are
// silent, and the run reads back what it saved.
TEST_F(Settings, AnUnwritableFolderIsToldOnceAndTheRunKeepsItsSettings) {
    std::ofstream(home.path() / "blocker") << "not a folder";
    const std::string config = (home.path() / "blocker" / "config").string();
    usePath(QString::fromStdString(config));
    try {
        app::SaveSetting("Veldmark", "Quillfen", "Database", "/data/a.mdb");
        ADD_FAILURE() << "the first failed save is told";
    } catch (const app::Failure& f) {
        EXPECT_EQ(f.number(), 75);
        EXPECT_NE(f.description().find("The settings folder " + config +
                                       "/Veldmark cannot be "
                                       "made: Not a directory."),
                  std::string::npos)
            << f.description();
    }
    app::SaveSetting("Veldmark", "Quillfen", "Database", "/data/b.mdb");
    app::SaveSetting("Veldmark", "Quillfen", "Password", "");
    EXPECT_EQ(app::GetSetting("Veldmark", "Quillfen", "Database", ""), "/data/b.mdb");
    EXPECT_EQ(app::GetSetting("Veldmark", "Quillfen", "Password", "absent"), "");
    EXPECT_EQ(app::GetSetting("Veldmark", "Quillfen", "Other", "absent"), "absent");
}

}  // namespace
