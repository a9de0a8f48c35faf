// The program's application: an exception that leaves an event handler is shown and the program
// goes on; every window gets the icon.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>

#include "core/failure.h"
#include "core/globals.h"
#include "support/fake_platform.h"

namespace {

TEST(WizardApplication, ShowsAnExceptionFromAHandlerInAPlainBoxAndGoesOn) {
    ASSERT_TRUE(QCoreApplication::instance()->inherits("app::WizardApplication"));
    testsupport::FakePlatform platform;
    app::Globals::setApplicationTitle("Quillfen");
    QPushButton button(QStringLiteral("Next >"));
    int clicks = 0;
    QObject::connect(&button, &QPushButton::clicked, [&] {
        ++clicks;
        throw app::Failure(5, "Invalid procedure call");
    });
    button.show();
    QTest::mouseClick(&button, Qt::LeftButton);
    QTest::mouseClick(&button, Qt::LeftButton);

    EXPECT_EQ(clicks, 2);
    ASSERT_EQ(platform.messages.size(), 2u);
    EXPECT_EQ(platform.messages[1].text, "Invalid procedure call");
    EXPECT_EQ(platform.messages[1].buttons, app::MessageButtons::Ok);
    EXPECT_EQ(platform.messages[1].icon, app::MessageIcon::None);
    EXPECT_EQ(platform.messages[1].title, "Quillfen");
}

TEST(WizardApplication, CarriesTheBuiltInIcon) {
    const QList<QSize> sizes = QApplication::windowIcon().availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(16, 16)) && sizes.contains(QSize(256, 256)));
}

}  // namespace
