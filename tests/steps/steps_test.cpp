// The table, field and math option steps walked as a user walks them, on a database of our own:
// Orders (Id, Price, Qty, Amount, "Unit, Cost") and Lines (Id, price, Qty).
#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QSettings>
#include <QTest>

#include "app/controls/data_grid.h"
#include "app/forms.h"
#include "app/main_module.h"
#include "core/globals.h"
#include "db/access.h"
#include "db/connection.h"
#include "db/db_support.h"
#include "db/objects.h"
#include "jet/database.h"
#include "steps/form2.h"
#include "steps/form3.h"
#include "steps/form4.h"
#include "support/fake_platform.h"
#include "support/fixtures.h"
#include "support/made_database.h"

namespace {

using Texts = std::vector<std::string>;

Texts entries(const app::ListBox& list) {
    Texts texts;
    for (int i = 0; i < list.ListCount(); ++i) texts.push_back(list.List(i));
    return texts;
}

std::string makeDatabase(const testsupport::TempDir& dir) {
    return testsupport::madeDatabase(
        dir, {"CREATE TABLE [Orders] ([Id] LONG, [Price] LONG, [Qty] INT, [Amount] DOUBLE, "
              "[Unit, Cost] DOUBLE)",
              "INSERT INTO [Orders] VALUES (1, 10, 2, 1.5, 3)",
              "INSERT INTO [Orders] VALUES (2, 20, 3, 2.5, 4)",
              "CREATE TABLE [Lines] ([Id] LONG, [price] LONG, [Qty] INT)"});
}

class Steps : public ::testing::Test {
protected:
    Steps() : path(makeDatabase(dir)), chosen(path) {
        app::Globals::setApplicationFolder(dir.path().string());
        app::Globals::wizard().SelectedTable.clear();
        app::Globals::wizard().SelectedFieldsList.clear();
        form2.show();
        db::AddTablesToAccessListbox(*form2.List1, path, "");
    }

    // Picks a table on the table step and presses "Next >".
    app::Form3& next(const std::string& table) {
        const Texts tables = entries(*form2.List1);
        const auto at = std::find(tables.begin(), tables.end(), table);
        form2.List1->SetListIndex(static_cast<int>(at - tables.begin()));
        form2.PushButton3_Click();
        return forms.form3();
    }

    void execute(const std::string& statement) {
        auto cn = db::CreateObject<db::Connection>("ADODB.Connection");
        cn->Open(db::BuildConnectionString());
        cn->Execute(statement);
    }

    testsupport::TempDir dir;
    std::string path;
    testsupport::ChosenDatabase chosen;
    testsupport::FakePlatform platform;
    app::Forms forms;
    app::Form2& form2 = forms.form2();
};

TEST_F(Steps, NextWithoutATableSelectedOnlySaysSo) {
    form2.List1->SetListIndex(-1);
    form2.PushButton3_Click();
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, "Please select a table");
    EXPECT_EQ(platform.messages[0].icon, app::MessageIcon::None);
    EXPECT_EQ(platform.messages[0].buttons, app::MessageButtons::Ok);
    EXPECT_TRUE(form2.isVisible());
    EXPECT_EQ(app::Globals::wizard().SelectedTable, "");
}

TEST_F(Steps, TheFieldStepShowsTheTableAndStartsWithTheDesignedButtonStates) {
    app::Form3& form3 = next("Orders");
    EXPECT_TRUE(platform.messages.empty()) << platform.messages[0].text;
    EXPECT_EQ(app::Globals::wizard().SelectedTable, "Orders");
    EXPECT_TRUE(form3.isVisible());
    EXPECT_FALSE(form2.isVisible());
    EXPECT_EQ(entries(*form3.List1), (Texts{"Id", "Price", "Qty", "Amount", "Unit, Cost"}));
    EXPECT_EQ(form3.List1->ListIndex(), 0);
    auto* model = form3.DataGrid1->model();
    while (model->canFetchMore({})) model->fetchMore({});
    EXPECT_EQ(model->columnCount(), 5);
    EXPECT_EQ(model->rowCount(), 2);
    EXPECT_TRUE(form3.PushButton5->isEnabled());
    EXPECT_TRUE(form3.PushButton6->isEnabled());
    EXPECT_FALSE(form3.PushButton7->isEnabled());
    EXPECT_TRUE(form3.PushButton8->isEnabled());
    EXPECT_FALSE(form3.PushButton3->isEnabled());

    // "<<" on an empty chosen list moves nothing and disables what needs a chosen field.
    form3.PushButton8_Click();
    EXPECT_FALSE(form3.PushButton8->isEnabled());
    EXPECT_EQ(form3.List1->ListCount(), 5);
}

TEST_F(Steps, MovingFieldsBuildsTheChosenListInTheOrderChosen) {
    app::Form3& form3 = next("Orders");
    const auto choose = [&](int index) {
        form3.List1->SetListIndex(index);
        form3.PushButton5_Click();
    };
    choose(1);  // Price
    choose(1);  // Qty
    choose(1);  // Amount
    EXPECT_EQ(form3.List1->ListIndex(), -1);
    form3.PushButton3_Click();
    EXPECT_EQ(app::Globals::wizard().SelectedFieldsList, "[Price], [Qty], [Amount]");
    EXPECT_TRUE(forms.form4().isVisible());
    EXPECT_FALSE(form3.isVisible());

    form3.List2->SetListIndex(1);
    form3.PushButton7_Click();
    EXPECT_EQ(entries(*form3.List1), (Texts{"Id", "Unit, Cost", "Qty"}));
    form3.PushButton3_Click();
    EXPECT_EQ(app::Globals::wizard().SelectedFieldsList, "[Price], [Amount]");

    // ">" with a selection only in the chosen list.
    form3.List1->SetListIndex(-1);
    form3.List2->SetListIndex(0);
    form3.PushButton5_Click();
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, "Please select a field first.");
    EXPECT_EQ(form3.List2->ListCount(), 2);

    // ">>" appends after what is chosen; then ">" and ">>" are off, the rest on.
    form3.PushButton6_Click();
    EXPECT_EQ(entries(*form3.List2), (Texts{"Price", "Amount", "Id", "Unit, Cost", "Qty"}));
    EXPECT_FALSE(form3.PushButton5->isEnabled());
    EXPECT_FALSE(form3.PushButton6->isEnabled());
    EXPECT_TRUE(form3.PushButton7->isEnabled() && form3.PushButton8->isEnabled() &&
                form3.PushButton3->isEnabled());
    form3.PushButton3_Click();
    EXPECT_EQ(app::Globals::wizard().SelectedFieldsList,
              "[Price], [Amount], [Id], [Unit, Cost], [Qty]");

    // "<<" empties it again.
    form3.PushButton8_Click();
    EXPECT_EQ(form3.List2->ListCount(), 0);
    EXPECT_TRUE(form3.PushButton5->isEnabled() && form3.PushButton6->isEnabled());
    EXPECT_FALSE(form3.PushButton7->isEnabled() || form3.PushButton8->isEnabled() ||
                 form3.PushButton3->isEnabled());
}

TEST_F(Steps, DoubleClicksMoveTheSelectedEntryAndNothingWithoutOne) {
    app::Form3& form3 = next("Orders");
    form3.List1->SetListIndex(2);
    form3.List1_DblClick();
    EXPECT_EQ(entries(*form3.List2), (Texts{"Qty"}));
    EXPECT_TRUE(form3.PushButton3->isEnabled());
    form3.List1_DblClick();  // nothing selected now
    form3.List2_DblClick();
    EXPECT_EQ(entries(*form3.List2), (Texts{"Qty"}));
    form3.List2->SetListIndex(0);
    form3.List2_DblClick();
    EXPECT_EQ(entries(*form3.List1), (Texts{"Id", "Price", "Amount", "Unit, Cost", "Qty"}));
    EXPECT_EQ(form3.List2->ListCount(), 0);
    EXPECT_TRUE(platform.messages.empty());

    form3.List2->AddItem("A]b");
    form3.List2->AddItem("x, y");
    form3.PushButton3_Click();
    EXPECT_EQ(app::Globals::wizard().SelectedFieldsList, "[A]b], [x, y]");
}

TEST_F(Steps, BackAndNextKeepTheChosenFieldsAndRebuildTheAvailableOnes) {
    app::Form3& form3 = next("Orders");
    form3.List1->SetListIndex(1);
    form3.PushButton5_Click();  // Price
    form3.List1->SetListIndex(1);
    form3.PushButton5_Click();  // Qty
    form3.PushButton2_Click();
    EXPECT_TRUE(form2.isVisible());

    next("Orders");
    EXPECT_EQ(entries(*form3.List1), (Texts{"Id", "Amount", "Unit, Cost"}));
    EXPECT_EQ(entries(*form3.List2), (Texts{"Price", "Qty"}));
    EXPECT_EQ(form3.List1->ListIndex(), 0);

    // Another table: only equal texts go, letter case counts; the first field, Id, is taken
    // out while selected, so nothing stays selected.
    form3.List2->AddItem("Id");
    form3.PushButton2_Click();
    next("Lines");
    EXPECT_EQ(entries(*form3.List1), (Texts{"price"}));
    EXPECT_EQ(entries(*form3.List2), (Texts{"Price", "Qty", "Id"}));
    EXPECT_EQ(form3.List1->ListIndex(), -1);
}

TEST(RemoveDuplicateListboxItems, RemovesEachEqualTextOnceAndKeepsTheOrder) {
    app::ListBox target;
    app::ListBox reference;
    for (const char* text : {"Price", "Qty", "price", "Amount", "Qty"}) target.AddItem(text);
    app::RemoveDuplicateListboxItems(target, reference);
    EXPECT_EQ(entries(target).size(), 5u);
    for (const char* text : {"Qty", "Price", "Qty"}) reference.AddItem(text);
    app::RemoveDuplicateListboxItems(target, reference);
    EXPECT_EQ(entries(target), (Texts{"price", "Amount"}));
    EXPECT_EQ(entries(reference), (Texts{"Qty", "Price", "Qty"}));
}

TEST_F(Steps, BackFromTheMathOptionStepShowsTheTableAsItNowIs) {
    app::Form3& form3 = next("Orders");
    form3.List1->SetListIndex(1);
    form3.PushButton5_Click();  // Price
    form3.PushButton3_Click();
    app::Form4& form4 = forms.form4();
    form4.Option2->setChecked(true);

    execute("UPDATE [Orders] SET [Price] = [Price] + 10");
    execute("ALTER TABLE [Orders] ADD COLUMN [Total] INT");
    form4.PushButton2_Click();
    EXPECT_TRUE(platform.messages.empty()) << platform.messages[0].text;
    EXPECT_TRUE(form3.isVisible());
    EXPECT_FALSE(form4.isVisible());
    EXPECT_EQ(form4.MousePointer(), app::WizardWindow::kDefaultPointer);
    EXPECT_EQ(entries(*form3.List1), (Texts{"Id", "Qty", "Amount", "Unit, Cost", "Total"}));
    auto* model = form3.DataGrid1->model();
    model->fetchMore({});
    EXPECT_EQ(model->columnCount(), 6);
    EXPECT_EQ(model->index(0, 1).data().toString(), "20");
    EXPECT_TRUE(form4.Option2->isChecked()) << "the window keeps the last choice";

    // Every field chosen: the available list ends empty while ">" stays enabled.
    form3.PushButton6_Click();
    form3.PushButton3_Click();
    form4.PushButton2_Click();
    EXPECT_EQ(form3.List1->ListCount(), 0);
    EXPECT_TRUE(form3.PushButton5->isEnabled());
    form3.PushButton5_Click();
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, "Please select a field first.");
}

// Runs a handler the way the event loop does: inside the application's dispatch of an event.
class Dispatch final : public QObject {
public:
    explicit Dispatch(std::function<void()> handler) : handler_(std::move(handler)) {}
    bool event(QEvent* event) override {
        if (event->type() != QEvent::User) return QObject::event(event);
        handler_();
        return true;
    }

private:
    std::function<void()> handler_;
};

TEST_F(Steps, AClickWhileTheTableStepFillsTheListIsHandledAfterTheFill) {
    app::Form3& form3 = next("Orders");
    form3.PushButton2_Click();
    const auto click = [&](QWidget* button) {
        const QPointF at(button->width() / 2.0, button->height() / 2.0);
        for (auto type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QCoreApplication::postEvent(
                button, new QMouseEvent(type, at, button->mapToGlobal(at), Qt::LeftButton,
                                        Qt::LeftButton, Qt::NoModifier));
        }
    };
    click(form3.PushButton6);  // ">>", arriving while "Next >" lets events run
    Dispatch next([&] { form2.PushButton3_Click(); });
    QEvent run(QEvent::User);
    QCoreApplication::sendEvent(&next, &run);
    EXPECT_EQ(form3.List2->ListCount(), 0) << "the click ran in the middle of the fill";
    EXPECT_EQ(form3.List1->ListCount(), 5);
    QCoreApplication::processEvents();
    EXPECT_EQ(form3.List2->ListCount(), 5);
}

TEST_F(Steps, TheMathOptionsChooseByTheirCaptionsAndClosingTheStepEndsTheProgram) {
    next("Orders");
    app::Form4& form4 = forms.form4();
    form4.show();
    EXPECT_TRUE(form4.Option1->isChecked());
    QTest::mouseClick(form4.Option3, Qt::LeftButton, {}, QPoint(form4.Option3->width() - 20, 10));
    EXPECT_TRUE(form4.Option3->isChecked());
    EXPECT_FALSE(form4.Option1->isChecked());
    form4.close();
    EXPECT_TRUE(forms.ended());
}

}  // namespace
