// The Main module's helpers: title, home-page draw, system colours, skin and hand cursor.
#include "app/main_module.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <filesystem>
#include <fstream>

#include "core/addresses.h"
#include "core/failure.h"
#include "core/globals.h"
#include "support/fake_platform.h"
#include "support/fixtures.h"

namespace {

// The application folder is a scratch folder for one test.
class InAppFolder : public ::testing::Test {
protected:
    InAppFolder() : saved(app::Globals::applicationFolder()) {
        app::Globals::setApplicationFolder(folder.path().string());
    }
    ~InAppFolder() override { app::Globals::setApplicationFolder(saved); }
    std::string write(const std::string& relative, const std::string& bytes) const {
        const auto path = folder.path() / relative;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }
    template <class Call>
    static void expectFailureNaming(const std::string& path, Call&& call) {
        try {
            call();
            ADD_FAILURE() << path << " was loaded";
        } catch (const app::Failure& f) {
            EXPECT_NE(f.description().find(path), std::string::npos) << f.description();
        }
    }

    testsupport::TempDir folder;
    std::string saved;
};

TEST(MainModule, ApplicationTitleKeepsWholeWordsUpToForty) {
    app::SetApplicationTitle();
    EXPECT_EQ(app::Globals::applicationTitle(), "Quillfen");
    EXPECT_EQ(QCoreApplication::applicationName(), QStringLiteral("Quillfen"));
    EXPECT_EQ(app::ApplicationTitleFor("Quillfen Access Database Field Math Wizard Deluxe Edition"),
              "Quillfen Access Database Field Math");
    EXPECT_EQ(app::ApplicationTitleFor("Quillfen Wizard"), "Quillfen");
}

TEST(MainModule, OnlyADrawOfSevenOpensTheHomePage) {
    testsupport::FakePlatform platform;
    platform.clock = 45296.25;
    platform.draws = {0.055, 0.065, 0.075};  // 6, 7, 8
    for (int i = 0; i < 3; ++i) app::MaybeOpenHomePage();
    EXPECT_EQ(platform.addresses, std::vector<std::string>{app::kHomePage});
    EXPECT_EQ(platform.seeds, (std::vector<double>{45296.25, 45296.25, 45296.25}));
}

TEST(MainModule, SystemColorsFollowTheDesktopsButtonFace) {
    const QPalette desktop = QApplication::palette();
    const auto setFace = [&](QColor face) {
        QPalette p = desktop;
        p.setColor(QPalette::Button, face);
        QApplication::setPalette(p);
        QCoreApplication::sendPostedEvents();
    };
    setFace(QColor(0x12, 0x34, 0x56));
    QWidget window;
    auto* frame = new QGroupBox(QStringLiteral("Access Database"), &window);
    const QList<QWidget*> painted{&window, frame, new QLabel(frame), new QRadioButton(&window),
                                  new QCheckBox(&window)};
    auto* text = new QLineEdit(frame);
    app::UseSystemColors(window);
    for (const QWidget* w : painted) EXPECT_EQ(w->palette().color(QPalette::Window), 0x123456);
    EXPECT_FALSE(text->testAttribute(Qt::WA_SetPalette));

    setFace(QColor(0x65, 0x43, 0x21));
    for (const QWidget* w : painted) EXPECT_EQ(w->palette().color(QPalette::Window), 0x654321);
    QApplication::setPalette(desktop);
    QCoreApplication::sendPostedEvents();
}

TEST_F(InAppFolder, SkinIsAppliedOnlyFromARegularTextFile) {
    QWidget form1;
    form1.setStyleSheet(QStringLiteral("QLabel { font-weight: bold; }"));
    app::ApplySkin(form1);
    // A folder of that name is no skin either.
    std::filesystem::create_directories(folder.path() / "x" / "o.cjs");
    app::ApplySkin(form1);
    EXPECT_EQ(form1.styleSheet(), QStringLiteral("QLabel { font-weight: bold; }"));
    EXPECT_FALSE(form1.testAttribute(Qt::WA_SetPalette));

    std::filesystem::remove(folder.path() / "x" / "o.cjs");
    write("x/o.cjs", "QPushButton { color: #a00000; }");
    app::ApplySkin(form1);
    EXPECT_EQ(form1.styleSheet(),
              QStringLiteral("QLabel { font-weight: bold; }\nQPushButton { color: #a00000; }"));
    EXPECT_TRUE(form1.testAttribute(Qt::WA_SetPalette));

    write("x/o.cjs", "QLabel { color: red; } \xff\xfe\x00\x01");
    expectFailureNaming(app::SkinFile(), [&] { app::ApplySkin(form1); });
}

TEST_F(InAppFolder, HandCursorKeepsItsHotSpotAndDamagedFilesFail) {
    EXPECT_EQ(app::HandCursorFile(), folder.path().string() + "/HAND-M.CUR");
    const std::string ours = std::string(QUILLFEN_APP_DIR) + "/HAND-M.CUR";
    const QCursor hand = app::LoadCursorFile(ours);
    ASSERT_EQ(hand.pixmap().size(), QSize(32, 32));
    EXPECT_EQ(hand.hotSpot(), QPoint(5, 0));
    EXPECT_EQ(qAlpha(hand.pixmap().toImage().pixel(5, 0)), 255);  // the finger tip
    EXPECT_EQ(qAlpha(hand.pixmap().toImage().pixel(31, 31)), 0);  // around the hand

    std::ifstream in(ours, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    std::string icon = bytes;
    icon[2] = 1;
    for (const std::string& damaged : {bytes.substr(0, 70), bytes.substr(0, 22), icon}) {
        const std::string path = write("damaged.cur", damaged);
        expectFailureNaming(path, [&] { app::LoadCursorFile(path); });
    }
    const std::string missing = (folder.path() / "missing.cur").string();
    expectFailureNaming(missing, [&] { app::LoadCursorFile(missing); });
}

}  // namespace
