// Clicks from a real window system while Form6's Apply runs: the queue is the X server's, not
// one the test posts to. Runs under a virtual display (Xvfb, the platform "xcb") with xdotool,
// as CTest starts it; elsewhere it is skipped.
#include <QTest>
#include <chrono>
#include <cstdlib>
#include <string>

#include "apply_fixture.h"
#include "math/form6.h"
#include "steps/form4.h"

namespace {

using mathtest::Texts;

std::string centreOf(const QWidget& widget) {
    const QPoint at = widget.mapToGlobal(widget.rect().center());
    return std::to_string(at.x()) + " " + std::to_string(at.y());
}

bool xdotool(const std::string& arguments) {
    return std::system(("xdotool " + arguments).c_str()) == 0;
}

class RealInput : public mathtest::ApplyTest {
protected:
    RealInput() { choose("Orders", "[Price], [Qty]"); }
    void SetUp() override {
        if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "needs an X display";
        if (std::system("command -v xdotool >/dev/null") != 0) GTEST_SKIP() << "needs xdotool";
    }
};

TEST_F(RealInput, ClicksOnApplyWhileForm6WorksAreDroppedAndBackArrivesAfter) {
    app::Form6& form = forms.form6();
    form.Combo1->setCurrentIndex(0);
    form.Combo2->setCurrentIndex(form.Combo2->findText("Tax"));
    form.move(40, 40);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    const std::string apply = centreOf(*form.PushButton4);
    const std::string back = centreOf(*form.PushButton2);

    db::ScopedStatementLog log;
    bool clicked = false;
    // While the first statement runs, the user clicks "Apply" twice, 150 ms apart, and then
    // "< Back"; the window does not yield, so the clicks wait in the X server's queue.
    const db::ScopedWorkInExecute work([&](const std::string&) {
        if (clicked) return;
        clicked = true;
        // The pointer is still over "Apply", from the click that started it.
        EXPECT_TRUE(xdotool("click --repeat 2 --delay 150 1"));
        EXPECT_TRUE(xdotool("mousemove --sync " + back + " click 1"));
    });
    ASSERT_TRUE(xdotool("mousemove --sync " + apply + " click 1"));
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < until &&
           (log.statements().size() < 2 || form.isVisible())) {
        QTest::qWait(50);
    }
    QTest::qWait(500);  // time for a replayed click to arrive, were there one

    EXPECT_EQ(log.statements(), (Texts{"UPDATE [Orders] SET [Price] = [Price] + [Tax]",
                                       "UPDATE [Orders] SET [Qty] = [Qty] + [Tax]"}));
    EXPECT_EQ(column("Orders", "Price"), (Texts{"11", "24"}));
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(forms.form4().isVisible());
    EXPECT_TRUE(form.PushButton4->isEnabled());
    EXPECT_TRUE(platform.messages.empty()) << platform.messages[0].text;
}

}  // namespace
