// What the Qt platform makes of the wizard's texts.
#include "app/qt_platform.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QTimer>

#include "core/error_trap.h"

namespace {

TEST(QtPlatform, EveryCarriageReturnIsOneLineBreak) {
    EXPECT_EQ(
        app::messageBoxText(app::applicationErrorText("Disk full", "Form5.Form_Load", 108)),
        QStringLiteral("Disk full\nin Brassloe2021/08/31.Form5.Form_Load at line 108\n\n"
                       "Please email screenshot of this message to support@veldmark.example"));
    EXPECT_EQ(app::messageBoxText("a\r\nb\rc\nd\xc3\xa4"), QStringLiteral("a\nb\nc\ndä"));
}

TEST(QtPlatform, CommonDialogFiltersBecomeQtFiltersInOrder) {
    EXPECT_EQ(app::qtNameFilters("All Microsoft Databases (*.mdb,*.accdb)|*.*db|Microsoft Database "
                                 "(*.mdb)|*.mdb|Microsoft 2007 Database (*.accdb)|*.accdb|"),
              (QStringList{"All Microsoft Databases (*.mdb,*.accdb) (*.*db)",
                           "Microsoft Database (*.mdb) (*.mdb)",
                           "Microsoft 2007 Database (*.accdb) (*.accdb)"}));
    EXPECT_EQ(app::qtNameFilters("Text|*.txt; *.csv|Lonely|"), QStringList{"Text (*.txt *.csv)"});
}

}  // namespace

namespace {

// Presses a key in the message box once it is open.
app::MessageAnswer answerWithKey(app::MessageAnswer defaultButton, Qt::Key key) {
    QTimer::singleShot(0, [key] {
        QWidget* box = QApplication::activeModalWidget();
        ASSERT_NE(box, nullptr);
        QTest::keyClick(box, key);
    });
    app::QtPlatform platform;
    return platform.messageBox("Replace it?", app::MessageButtons::YesNo, app::MessageIcon::None,
                               "Quillfen", defaultButton);
}

TEST(QtPlatform, EnterGivesTheNamedDefaultAndEscapeAnswersNo) {
    EXPECT_EQ(answerWithKey(app::MessageAnswer::No, Qt::Key_Return), app::MessageAnswer::No);
    EXPECT_EQ(answerWithKey(app::MessageAnswer::Yes, Qt::Key_Return), app::MessageAnswer::Yes);
    EXPECT_EQ(answerWithKey(app::MessageAnswer::Yes, Qt::Key_Escape), app::MessageAnswer::No);
}

}  // namespace
