// The window base: twips, fonts, the pointer rule as Form1 wires it, the buttons it makes for
// the windows, and closing.
#include "app/wizard_window.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFontInfo>
#include <QMouseEvent>
#include <QPixmap>
#include <tuple>

#include "app/controls/frame.h"
#include "app/controls/push_button.h"
#include "app/controls/text_box.h"
#include "core/failure.h"

namespace {

using app::WizardWindow;

TEST(WizardWindow, TwipsAndFonts) {
    WizardWindow window;
    window.setClientSizeTwips(8040, 2085);  // Form1's client area
    EXPECT_EQ(window.minimumSize(), QSize(536, 139));
    EXPECT_EQ(window.maximumSize(), QSize(536, 139));
    QWidget box(&window);
    WizardWindow::placeTwips(&box, 2280, 300, 4695, 345);
    EXPECT_EQ(box.geometry(), QRect(152, 20, 313, 23));

    const QFont caption = WizardWindow::arialFont(11.25, true);
    EXPECT_EQ(caption.pixelSize(), 15);
    EXPECT_TRUE(caption.bold());
    const QString family = QFontInfo(caption).family();
    EXPECT_TRUE(family == "Arial" || family == "Liberation Sans") << family.toStdString();
}

// A window wired as Form1 is: buttons take the custom pointer, the rest gives the default back.
struct Form final : WizardWindow {
    Form() {
        button.setParent(this);
        frame.setParent(this);
        box.setParent(&frame);
        connect(&button, &app::PushButton::MouseMove, this, [this] { PointerOverButton(); });
        connect(&box, &app::TextBox::MouseMove, this, [this] { PointerOverBackground(); });
        connect(&frame, &app::Frame::MouseMove, this, [this] { PointerOverBackground(); });
        connect(this, &WizardWindow::FormMouseMove, this, [this] { PointerOverBackground(); });
    }
    void Form_Unload() override { ++unloads; }

    app::PushButton button{"Next >"};
    app::Frame frame{"Access Database"};
    app::TextBox box;
    int unloads = 0;
};

void moveOver(QWidget& widget) {
    QMouseEvent move(QEvent::MouseMove, QPointF(2, 2), widget.mapToGlobal(QPointF(2, 2)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&widget, &move);
}

TEST(WizardWindow, PointerRule) {
    Form form;
    moveOver(form.button);  // the move must not reach the window beneath and undo it
    EXPECT_EQ(form.MousePointer(), WizardWindow::kCustomPointer);
    EXPECT_EQ(form.button.cursor().shape(), Qt::PointingHandCursor);  // no image loaded
    EXPECT_EQ(form.box.cursor().shape(), Qt::PointingHandCursor);

    moveOver(form.box);
    EXPECT_EQ(form.MousePointer(), WizardWindow::kDefaultPointer);
    EXPECT_EQ(form.box.cursor().shape(), Qt::IBeamCursor);  // the box's own pointer is back
    EXPECT_EQ(form.button.cursor().shape(), Qt::ArrowCursor);

    form.SetMousePointer(WizardWindow::kHourglass);
    moveOver(form.button);
    EXPECT_EQ(form.MousePointer(), WizardWindow::kHourglass);
    moveOver(form);
    moveOver(form.frame);
    EXPECT_EQ(form.MousePointer(), WizardWindow::kHourglass);
    EXPECT_EQ(form.box.cursor().shape(), Qt::WaitCursor);

    form.SetMousePointer(WizardWindow::kDefaultPointer);
    QPixmap hand(32, 32);
    hand.fill(Qt::black);
    form.SetMouseIcon(QCursor(hand));
    moveOver(form.button);
    EXPECT_EQ(form.button.cursor().shape(), Qt::BitmapCursor);
    EXPECT_THROW(form.SetMousePointer(5), app::Failure);
}

// A step laid out as the table step is, with the foot made by the base: a box, then the pair.
struct StepWindow final : WizardWindow {
    StepWindow() {
        setClientSizeTwips(5880, 2625);
        box = new app::TextBox(this);
        pointerAsBackground(box);
        std::tie(back, next) = addBackAndNext(
            2160, "Next >", [this] { ++backs; }, [this] { ++nexts; });
    }

    app::TextBox* box;
    app::PushButton* back;
    app::PushButton* next;
    int backs = 0;
    int nexts = 0;
};

TEST(WizardWindow, TheFootOfAStepIsMadeAsDesigned) {
    StepWindow step;
    EXPECT_EQ(step.back->text(), "< Back");
    EXPECT_EQ(step.next->text(), "Next >");
    EXPECT_EQ(step.back->geometry(), QRect(8, 144, 185, 27));    // 120, 2160, 2775, 405 twips
    EXPECT_EQ(step.next->geometry(), QRect(200, 144, 184, 27));  // 3000, 2160, 2760, 405
    EXPECT_EQ(step.next->font().pixelSize(), 15);
    EXPECT_TRUE(step.next->font().bold());
    // Made after the window's other controls, the pair ends the tab order.
    EXPECT_EQ(step.box->nextInFocusChain(), step.back);
    EXPECT_EQ(step.back->nextInFocusChain(), step.next);

    // Each click runs its own handler, once.
    step.next->click();
    EXPECT_EQ(step.nexts, 1);
    EXPECT_EQ(step.backs, 0);
    step.back->click();
    EXPECT_EQ(step.backs, 1);
    EXPECT_EQ(step.nexts, 1);

    // The hand over either button; the default back over the box and over the bare window,
    // which the base wires itself.
    moveOver(*step.back);
    EXPECT_EQ(step.MousePointer(), WizardWindow::kCustomPointer);
    moveOver(*step.box);
    EXPECT_EQ(step.MousePointer(), WizardWindow::kDefaultPointer);
    moveOver(*step.next);
    EXPECT_EQ(step.MousePointer(), WizardWindow::kCustomPointer);
    moveOver(step);
    EXPECT_EQ(step.MousePointer(), WizardWindow::kDefaultPointer);
}

TEST(WizardWindow, ClosingEndsTheProgramUnlessTheWindowSaysOtherwise) {
    WizardWindow first;
    WizardWindow second;
    Form own;
    for (QWidget* w : {static_cast<QWidget*>(&first), static_cast<QWidget*>(&second),
                       static_cast<QWidget*>(&own)})
        w->show();

    own.close();  // its own unload: the others stay
    EXPECT_EQ(own.unloads, 1);
    EXPECT_TRUE(first.isVisible());

    first.close();  // the default: every window goes, none is deleted
    EXPECT_FALSE(second.isVisible());
    EXPECT_FALSE(first.testAttribute(Qt::WA_DeleteOnClose));
}

}  // namespace
