// What the Qt platform makes of the wizard's texts.
#include "app/qt_platform.h"

#include <gtest/gtest.h>

#include "app/core/error_trap.h"

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
