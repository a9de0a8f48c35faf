// The constant operation's Apply on a database of our own: Orders (Id, Price LONG, Qty SHORT,
// Amount DOUBLE, "Unit, Cost") and Lines (Id, price, Qty), in an English locale.
#include "math/form5.h"

#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QCoreApplication>

#include "app/forms.h"
#include "core/globals.h"
#include "db/access.h"
#include "db/connection.h"
#include "db/db_support.h"
#include "db/objects.h"
#include "db/shared_database.h"
#include "jet/database.h"
#include "support/fake_platform.h"
#include "support/fixtures.h"
#include "support/made_database.h"
#include "support/mdb_reader.h"
#include "support/simulated_jet_user.h"
#include "support/table_properties.h"

namespace {

using Texts = std::vector<std::string>;
enum Operation { Add, Subtract, Multiply, Divide };

constexpr const char* kNotANumber = "The text you entered does not appear to be a number.";
constexpr const char* kZeroDivisor = "Cannot divide by zero. Please enter a number other than 0.";

std::string makeShop(const testsupport::TempDir& dir) {
    return testsupport::madeDatabase(
        dir, {"CREATE TABLE [Orders] ([Id] LONG, [Price] LONG, [Qty] SHORT, [Amount] DOUBLE, "
              "[Unit, Cost] DOUBLE)",
              "INSERT INTO [Orders] VALUES (1, 10, 2, 1.5, 3)",
              "INSERT INTO [Orders] VALUES (2, 20, 3, 2.5, 4)",
              "CREATE TABLE [Lines] ([Id] LONG, [price] LONG, [Qty] INT)",
              "INSERT INTO [Lines] VALUES (1, 5, 7)"});
}

// The locale and the wizard's choices, before the window loads.
struct Chosen {
    explicit Chosen(const testsupport::TempDir& dir) {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        app::Globals::setApplicationFolder(dir.path().string());
        app::Globals::wizard().SelectedTable = "Orders";
        app::Globals::wizard().SelectedFieldsList = "[Price], [Qty]";
    }
    ~Chosen() {
        QLocale::setDefault(savedLocale);
        app::Globals::wizard().SelectedTable.clear();
        app::Globals::wizard().SelectedFieldsList.clear();
    }
    QLocale savedLocale;
};

class Form5Apply : public ::testing::Test {
protected:
    // The statements one Apply sends with this text and operation.
    Texts apply(const std::string& text, int operation) {
        form.Text1->SetText(text);
        form.Combo1->setCurrentIndex(operation);
        db::ScopedStatementLog log;
        form.PushButton4_Click();
        return log.statements();
    }

    Texts rows(const std::string& table) {
        return testsupport::readWithMdbReader(path, table).rows;
    }

    // What the grid shows, row by row, cells joined by "|".
    Texts grid() {
        QAbstractItemModel* model = form.DataGrid1->model();
        while (model->canFetchMore({})) model->fetchMore({});
        Texts shown;
        for (int r = 0; r < model->rowCount(); ++r) {
            std::string row;
            for (int c = 0; c < model->columnCount(); ++c) {
                row += (c ? "|" : "") + model->data(model->index(r, c)).toString().toStdString();
            }
            shown.push_back(row);
        }
        return shown;
    }

    std::string applicationError(int label) const {
        return "in Brassloe2021/08/31.Form5.PushButton4_Click at line " + std::to_string(label);
    }

    testsupport::TempDir dir;
    std::string path = makeShop(dir);
    testsupport::ChosenDatabase chosen{path};
    Chosen choices{dir};
    testsupport::FakePlatform platform;
    app::Forms forms;
    app::Form5& form = forms.form5();
};

TEST_F(Form5Apply, StatementsCarryTheNumberAsTypedForEveryChosenField) {
    const struct {
        const char* text;
        int operation;
        const char* tail;  // what follows "[F] = [F]"
    } cases[] = {
        {"10", Add, " + 10"},        {"1e3", Add, " + 1000"},       {" 7 ", Add, " + 7"},
        {"2.5", Multiply, " * 2.5"}, {"3.5", Multiply, " * 3.5"},   {"-3", Add, " + -3"},
        {"-3", Subtract, " - -3"},   {"-2.5", Subtract, " - -2.5"}, {"1.50", Add, " + 1.5"},
        {"0.4", Divide, " / 0.4"},   {"-1", Divide, " / -1"},       {"0", Multiply, " * 0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(apply(c.text, c.operation),
                  (Texts{std::string("UPDATE [Orders] SET [Price] = [Price]") + c.tail,
                         std::string("UPDATE [Orders] SET [Qty] = [Qty]") + c.tail}));
        EXPECT_TRUE(platform.messages.empty()) << platform.messages[0].text;
        EXPECT_EQ(form.MousePointer(), app::WizardWindow::kDefaultPointer);
        EXPECT_TRUE(form.PushButton4->isEnabled());
    }
    // Multiplied by zero last: both fields of both records hold 0.
    for (const std::string& row : rows("Orders"))
        EXPECT_NE(row.find(",0,0,"), std::string::npos) << row;
}

TEST_F(Form5Apply, TheEngineKeepsTheFractionAndTakesNumbersBeyondLong) {
    app::Globals::wizard().SelectedFieldsList = "[Price], [Amount]";
    EXPECT_EQ(apply("0.4", Multiply).back(), "UPDATE [Orders] SET [Amount] = [Amount] * 0.4");
    app::Globals::wizard().SelectedFieldsList = "[Amount]";
    EXPECT_EQ(apply("3,000,000,000", Add),
              Texts{"UPDATE [Orders] SET [Amount] = [Amount] + 3000000000"});
    EXPECT_EQ(apply("1e20", Subtract), Texts{"UPDATE [Orders] SET [Amount] = [Amount] - 1E+20"});
    EXPECT_TRUE(platform.messages.empty()) << platform.messages[0].text;
    // 10 * 0.4 = 4 and 20 * 0.4 = 8, not 0; 1.5 * 0.4 + 3e9 - 1e20 as a Double.
    EXPECT_EQ(rows("Orders"),
              (Texts{"[1,4,2,-99999999997000000000,3]", "[2,8,3,-99999999997000000000,4]"}));
}

TEST_F(Form5Apply, ARefusedNumberIsSaidOnceAndNothingElseHappens) {
    const Texts before = rows("Orders");
    const Texts shown = grid();
    const struct {
        const char* text;
        int operation;
        const char* message;
    } cases[] = {
        {"", Add, kNotANumber},           {"abc", Multiply, kNotANumber},
        {"1,5", Add, kNotANumber},        {"0", Divide, kZeroDivisor},
        {" -0.0 ", Divide, kZeroDivisor}, {"0e5", Divide, kZeroDivisor},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        platform.messages.clear();
        form.SetMousePointer(app::WizardWindow::kCustomPointer);
        EXPECT_TRUE(apply(c.text, c.operation).empty());
        ASSERT_EQ(platform.messages.size(), 1u);
        EXPECT_EQ(platform.messages[0].text, c.message);
        EXPECT_EQ(platform.messages[0].icon, app::MessageIcon::None);
        EXPECT_EQ(platform.messages[0].buttons, app::MessageButtons::Ok);
        EXPECT_EQ(platform.messages[0].title, app::Globals::applicationTitle());
        EXPECT_EQ(form.MousePointer(), app::WizardWindow::kCustomPointer);
        EXPECT_TRUE(form.PushButton4->isEnabled());
    }
    EXPECT_EQ(rows("Orders"), before);
    EXPECT_EQ(grid(), shown);
}

TEST_F(Form5Apply, FieldItemsAreTakenInListOrderAndTheGridShowsTheResult) {
    app::Globals::wizard().SelectedFieldsList = "[Qty], [Id], [Price]";
    EXPECT_EQ(apply("2", Multiply),
              (Texts{"UPDATE [Orders] SET [Qty] = [Qty] * 2", "UPDATE [Orders] SET [Id] = [Id] * 2",
                     "UPDATE [Orders] SET [Price] = [Price] * 2"}));
    EXPECT_EQ(rows("Orders"), (Texts{"[2,20,4,1.5,3]", "[4,40,6,2.5,4]"}));
    EXPECT_EQ(grid(), (Texts{"2|20|4|1.5|3", "4|40|6|2.5|4"}));

    // No chosen field: nothing is sent, yet the grid is read again and shows a change made
    // meanwhile.
    {
        auto cn = db::CreateObject<db::Connection>("ADODB.Connection");
        cn->Open(db::BuildConnectionString());
        cn->Execute("DELETE FROM [Orders] WHERE [Id] = 2");
    }
    app::Globals::wizard().SelectedFieldsList = "";
    EXPECT_TRUE(apply("2", Multiply).empty());
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_EQ(grid(), (Texts{"4|40|6|2.5|4"}));
}

TEST_F(Form5Apply, AFailingStatementIsReportedAndTheOtherFieldsGoOn) {
    // "Unit, Cost" splits into two broken items; 40000 is beyond Qty's Integer (SHORT).
    app::Globals::wizard().SelectedFieldsList = "[Price], [Unit, Cost], [Qty]";
    EXPECT_EQ(apply("40000", Add), (Texts{"UPDATE [Orders] SET [Price] = [Price] + 40000",
                                          "UPDATE [Orders] SET [Unit = [Unit + 40000",
                                          "UPDATE [Orders] SET Cost] = Cost] + 40000",
                                          "UPDATE [Orders] SET [Qty] = [Qty] + 40000"}));
    ASSERT_EQ(platform.messages.size(), 3u);
    for (const auto& message : platform.messages) {
        EXPECT_EQ(message.title, "Application Error");
        EXPECT_NE(message.text.find(applicationError(130)), std::string::npos) << message.text;
    }
    EXPECT_EQ(rows("Orders"), (Texts{"[1,40010,2,1.5,3]", "[2,40020,3,2.5,4]"}));
    EXPECT_EQ(form.MousePointer(), app::WizardWindow::kDefaultPointer);
    EXPECT_EQ(grid(), (Texts{"1|40010|2|1.5|3", "2|40020|3|2.5|4"}));
}

TEST_F(Form5Apply, AValidationRuleTheArithmeticWouldBreakKeepsTheFieldAsItWas) {
    // Through the window's own engine instance, which keeps the catalog it has read.
    testsupport::setProperties(
        db::openSharedDatabase(path, "", true)->database(), "Orders", "Price",
        {testsupport::textProperty("ValidationRule", ">0"),
         testsupport::textProperty("ValidationText", "A price is more than nothing.")});
    // The first order's price of 10 would go below zero: Price stays; Qty, with no rule, changes.
    apply("15", Subtract);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_NE(
        platform.messages[0].text.find("A price is more than nothing.\r\n" + applicationError(136)),
        std::string::npos)
        << platform.messages[0].text;
    EXPECT_EQ(rows("Orders"), (Texts{"[1,10,-13,1.5,3]", "[2,20,-12,2.5,4]"}));
}

TEST_F(Form5Apply, AColleagueWithTheDatabaseOpenInAccessIsNamedAndNothingChanges) {
    ASSERT_EQ(path.substr(path.size() - 4), ".mdb");
    testsupport::SimulatedJetUser colleague(
        path.substr(0, path.size() - 4) + ".ldb",
        testsupport::SimulatedJetUser::inSlot(0, "ACCOUNTS-PC"));
    apply("10", Add);
    // One box per chosen field, as for any refused statement.
    ASSERT_EQ(platform.messages.size(), 2u);
    for (const auto& message : platform.messages) {
        EXPECT_EQ(message.title, "Application Error");
        EXPECT_NE(message.text.find("The database '" + path +
                                    "' is open in Access on ACCOUNTS-PC (user Admin); close it "
                                    "there, then try again."),
                  std::string::npos)
            << message.text;
    }
    EXPECT_EQ(rows("Orders"), (Texts{"[1,10,2,1.5,3]", "[2,20,3,2.5,4]"}));
    EXPECT_EQ(grid(), (Texts{"1|10|2|1.5|3", "2|20|3|2.5|4"}));
    EXPECT_EQ(form.MousePointer(), app::WizardWindow::kDefaultPointer);
    // Once the colleague has closed it, Apply goes through.
    colleague.leave();
    platform.messages.clear();
    apply("10", Add);
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_EQ(rows("Orders"), (Texts{"[1,20,12,1.5,3]", "[2,30,13,2.5,4]"}));
}

TEST_F(Form5Apply, WorksOnTheTableChosenSinceTheWindowWasLoaded) {
    EXPECT_EQ(grid().size(), 2u);
    app::Globals::wizard().SelectedTable = "Lines";
    app::Globals::wizard().SelectedFieldsList = "[price], [Qty]";
    EXPECT_EQ(grid(), (Texts{"1|10|2|1.5|3", "2|20|3|2.5|4"}));
    EXPECT_EQ(apply("-1", Subtract), (Texts{"UPDATE [Lines] SET [price] = [price] - -1",
                                            "UPDATE [Lines] SET [Qty] = [Qty] - -1"}));
    EXPECT_EQ(rows("Lines"), (Texts{"[1,6,8]"}));
    EXPECT_EQ(grid(), (Texts{"1|6|8"}));
}

TEST_F(Form5Apply, ApplyIsDisabledWhileItRunsAndReadsItsInputsAfreshPerField) {
    app::Globals::wizard().SelectedFieldsList = "[Price], [Qty], [Amount]";
    form.Text1->SetText("10");
    form.Combo1->setCurrentIndex(Add);
    db::ScopedStatementLog log;
    bool running = true;
    std::vector<bool> enabled;
    std::vector<int> pointers;
    // Runs whenever the loop yields: looks at the window, clicks "Apply" again, and once the
    // first statement has gone switches to "* 5" for the fields still to come.
    std::function<void()> meanwhile = [&] {
        if (!running) return;
        enabled.push_back(form.PushButton4->isEnabled());
        // The loop's yields, not the one that takes in late clicks after the refresh.
        if (log.statements().size() < 3) pointers.push_back(form.MousePointer());
        form.PushButton4->click();
        if (log.statements().size() == 1) {
            form.Text1->SetText("5");
            form.Combo1->setCurrentIndex(Multiply);
        }
        QMetaObject::invokeMethod(&form, meanwhile, Qt::QueuedConnection);
    };
    QMetaObject::invokeMethod(&form, meanwhile, Qt::QueuedConnection);
    form.PushButton4_Click();
    running = false;
    QCoreApplication::sendPostedEvents(&form);

    EXPECT_EQ(log.statements(), (Texts{"UPDATE [Orders] SET [Price] = [Price] + 10",
                                       "UPDATE [Orders] SET [Qty] = [Qty] * 5",
                                       "UPDATE [Orders] SET [Amount] = [Amount] * 5"}));
    ASSERT_GE(enabled.size(), 3u);
    for (bool e : enabled) EXPECT_FALSE(e);
    for (int p : pointers) EXPECT_EQ(p, app::WizardWindow::kHourglass);
    EXPECT_TRUE(form.PushButton4->isEnabled());
    EXPECT_EQ(rows("Orders"), (Texts{"[1,20,10,7.5,3]", "[2,30,15,12.5,4]"}));

    // A number that stops being one while the loop yields is reported for the fields after.
    enabled.clear();
    running = true;
    meanwhile = [&] {
        if (running) form.Text1->SetText("x");
    };
    QMetaObject::invokeMethod(&form, meanwhile, Qt::QueuedConnection);
    app::Globals::wizard().SelectedFieldsList = "[Qty]";
    platform.messages.clear();
    form.PushButton4_Click();
    running = false;
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_NE(platform.messages[0].text.find("Type mismatch\r\n" + applicationError(140)),
              std::string::npos)
        << platform.messages[0].text;
    EXPECT_TRUE(form.PushButton4->isEnabled());
}

}  // namespace
