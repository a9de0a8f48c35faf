// What the user does while "Apply" runs: clicks on "Apply" itself (held by a yield, or still
// queued when the handler ends) are dropped, so that one Apply changes the data once; Form5's
// number and operation take typing at its yields; everything else waits for the handler to end.
// The engine's statements stand in for long ones: input is posted from inside them and the
// window then yields as the engine would let it.
#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>

#include "app/controls/events.h"
#include "apply_fixture.h"
#include "db/busy_yield.h"
#include "math/form5.h"
#include "math/form6.h"
#include "math/form7.h"
#include "steps/form4.h"

namespace {

using mathtest::Texts;

void postMouse(QWidget* widget, QEvent::Type type, Qt::MouseButtons buttons) {
    const QPointF at(widget->width() / 2.0, widget->height() / 2.0);
    QCoreApplication::postEvent(widget, new QMouseEvent(type, at, widget->mapToGlobal(at),
                                                        Qt::LeftButton, buttons, Qt::NoModifier));
}

void postClick(QWidget* widget) {
    postMouse(widget, QEvent::MouseButtonPress, Qt::LeftButton);
    postMouse(widget, QEvent::MouseButtonRelease, Qt::NoButton);
}

void postDoubleClick(QWidget* widget) {
    postClick(widget);
    postMouse(widget, QEvent::MouseButtonDblClick, Qt::LeftButton);
    postMouse(widget, QEvent::MouseButtonRelease, Qt::NoButton);
}

void postKey(QWidget* widget, Qt::Key key, const QString& text = {}) {
    QCoreApplication::postEvent(widget, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier, text));
    QCoreApplication::postEvent(widget,
                                new QKeyEvent(QEvent::KeyRelease, key, Qt::NoModifier, text));
}

// What the handler left queued or held, delivered as the event loop would after it (the
// tests call handlers directly, outside the dispatch that releases held input).
void runEventLoopOnce() {
    app::releaseHeldUserInput();
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
}

class InputDuringApply : public mathtest::ApplyTest {
protected:
    InputDuringApply() { choose("Orders", "[Price], [Qty]"); }

    // Every statement Apply sends, and the work done inside each (by its position).
    Texts apply(app::OperationWindow& form, std::function<void()> button,
                std::vector<std::function<void()>> during) {
        db::ScopedStatementLog log;
        std::size_t n = 0;
        const db::ScopedWorkInExecute work([&](const std::string&) {
            if (n < during.size() && during[n]) during[n]();
            ++n;
        });
        button();
        EXPECT_TRUE(form.PushButton4->isEnabled());
        return log.statements();
    }

    // The user clicks and double-clicks "Apply", then "< Back", while the statement runs.
    static void impatientClicks(app::OperationWindow& form) {
        postDoubleClick(form.PushButton4);
        postClick(form.PushButton4);
        postClick(form.PushButton2);
    }

    void expectBackArrivesAfterTheHandler(app::OperationWindow& form) {
        EXPECT_TRUE(form.isVisible()) << "\"< Back\" ran during Apply";
        runEventLoopOnce();
        EXPECT_FALSE(form.isVisible());
        EXPECT_TRUE(forms.form4().isVisible());
        EXPECT_TRUE(platform.messages.empty()) << platform.messages[0].text;
    }
};

TEST_F(InputDuringApply, Form5TakesTypingAtItsYieldAndDropsClicksOnApply) {
    app::Form5& form = forms.form5();
    form.show();
    form.Text1->SetText("1");
    form.Combo1->setCurrentIndex(0);
    const Texts statements = apply(form, [&] { form.PushButton4_Click(); },
                                   {[&] {
                                        impatientClicks(form);
                                        postKey(form.Text1, Qt::Key_Backspace);
                                        postKey(form.Text1, Qt::Key_5, "5");
                                        db::yieldWhileBusy();
                                        // Held while the engine works, typing included.
                                        EXPECT_EQ(form.Text1->Text(), "1");
                                    },
                                    [&] { postClick(form.PushButton4); }});
    EXPECT_EQ(statements, (Texts{"UPDATE [Orders] SET [Price] = [Price] + 1",
                                 "UPDATE [Orders] SET [Qty] = [Qty] + 5"}));
    EXPECT_EQ(column("Orders", "Price"), (Texts{"11", "21"}));
    EXPECT_EQ(column("Orders", "Qty"), (Texts{"7", "8"}));
    expectBackArrivesAfterTheHandler(form);
    EXPECT_EQ(column("Orders", "Price"), (Texts{"11", "21"})) << "Apply ran again";
}

TEST_F(InputDuringApply, Form5ChoosingAnOperationAtTheYieldAppliesToTheFieldsAfter) {
    app::Form5& form = forms.form5();
    form.Text1->SetText("2");
    form.Combo1->setCurrentIndex(0);
    const Texts statements = apply(form, [&] { form.PushButton4_Click(); },
                                   {[&] { postKey(form.Combo1, Qt::Key_Down); }});
    EXPECT_EQ(statements, (Texts{"UPDATE [Orders] SET [Price] = [Price] + 2",
                                 "UPDATE [Orders] SET [Qty] = [Qty] - 2"}));
}

TEST_F(InputDuringApply, Form6NothingReachesAControlAndApplyRunsOnce) {
    app::Form6& form = forms.form6();
    form.show();
    form.Combo1->setCurrentIndex(0);
    form.Combo2->setCurrentIndex(form.Combo2->findText("Tax"));
    const Texts statements = apply(form, [&] { form.PushButton4_Click(); },
                                   {[&] {
                                        impatientClicks(form);
                                        postKey(form.Combo1, Qt::Key_Down);
                                        db::yieldWhileBusy();
                                    },
                                    // Queued, not yielded to: the handler ends with it waiting.
                                    [&] { postDoubleClick(form.PushButton4); }});
    EXPECT_EQ(statements, (Texts{"UPDATE [Orders] SET [Price] = [Price] + [Tax]",
                                 "UPDATE [Orders] SET [Qty] = [Qty] + [Tax]"}));
    EXPECT_EQ(form.Combo1->currentIndex(), 0);
    expectBackArrivesAfterTheHandler(form);
    EXPECT_EQ(form.Combo1->currentIndex(), 1) << "the key waits for the handler, then arrives";
    EXPECT_EQ(column("Orders", "Price"), (Texts{"11", "24"}));
    EXPECT_EQ(column("Orders", "Qty"), (Texts{"3", "7"}));
}

TEST_F(InputDuringApply, Form7NothingReachesAControlAndApplyRunsOnce) {
    app::Form7& form = forms.form7();
    form.show();
    form.Text1->SetText("Total");
    form.Combo1->setCurrentIndex(2);
    const Texts statements =
        apply(form, [&] { form.PushButton4_Click(); }, {{}, [&] {
                                                            impatientClicks(form);
                                                            postKey(form.Text1, Qt::Key_X, "x");
                                                            db::yieldWhileBusy();
                                                            EXPECT_EQ(form.Text1->Text(), "Total");
                                                            postClick(form.PushButton4);
                                                        }});
    EXPECT_EQ(statements, (Texts{"ALTER TABLE [Orders] ADD COLUMN [Total] INT",
                                 "update [Orders] set [Total]=[Price]* [Qty]"}));
    expectBackArrivesAfterTheHandler(form);
    EXPECT_EQ(form.Text1->Text(), "Totalx");
    EXPECT_EQ(column("Orders", "Total"), (Texts{"20", "60"}));
}

// The grid reads no rows while the engine is in the middle of a statement; it goes on after.
TEST_F(InputDuringApply, TheGridWaitsWhileTheEngineWorks) {
    // More rows than the grid reads at once.
    for (int i = 0; i < 9; ++i) execute("INSERT INTO [Orders] SELECT * FROM [Orders]");
    app::Form6& form = forms.form6();
    auto* model = form.DataGrid1->model();
    ASSERT_TRUE(model->canFetchMore({}));
    bool couldFetch = true;
    apply(form, [&] { form.PushButton4_Click(); }, {[&] {
              bool seen = false;
              QMetaObject::invokeMethod(
                  &form,
                  [&] {
                      seen = true;
                      couldFetch = model->canFetchMore({});
                  },
                  Qt::QueuedConnection);
              db::yieldWhileBusy();
              EXPECT_TRUE(seen);
          }});
    EXPECT_FALSE(couldFetch);
    const Texts prices = mathtest::gridColumn(*form.DataGrid1, 1);
    ASSERT_EQ(prices.size(), 1024u);
    EXPECT_EQ(prices[1022], "11");
    EXPECT_EQ(prices[1023], "22");
}

}  // namespace
