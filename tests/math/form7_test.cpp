// The new computed field's Apply on a database of our own.
#include "math/form7.h"

#include "apply_fixture.h"
#include "jet/compact.h"
#include "support/mdb_reader.h"

namespace {

using mathtest::Texts;

class Form7Apply : public mathtest::ApplyTest {
protected:
    app::Form7& window(const std::string& fields, int operation, const std::string& name) {
        choose("Orders", fields);
        app::Form7& form = forms.form7();
        form.Combo1->setCurrentIndex(operation);
        form.Text1->SetText(name);
        return form;
    }
    Texts apply(app::Form7& form) {
        db::ScopedStatementLog log;
        form.PushButton4_Click();
        return log.statements();
    }
};

const std::string kDrop = "ALTER TABLE [Orders] DROP [Total]";
const std::string kAdd = "ALTER TABLE [Orders] ADD COLUMN [Total] INT";

TEST_F(Form7Apply, TheFieldIsAddedAndFilledFromTheChosenFieldsAndTheGridShowsIt) {
    app::Form7& form = window("[Price], [Qty]", 2, "Total");
    EXPECT_EQ(apply(form), (Texts{kAdd, "update [Orders] set [Total]=[Price]* [Qty]"}));
    EXPECT_TRUE(platform.messages.empty()) << platform.messages[0].text;
    EXPECT_EQ(mathtest::gridColumns(*form.DataGrid1),
              (Texts{"Id", "Price", "Qty", "Tax", "Note", "Total"}));
    EXPECT_EQ(mathtest::gridColumn(*form.DataGrid1, 5), (Texts{"20", "60"}));
    const auto table = testsupport::readWithMdbReader(path, "Orders");
    EXPECT_NE(table.header.find(R"({"name":"Total","type":"Long"})"), std::string::npos)
        << table.header;
    EXPECT_EQ(table.rows, (Texts{R"([1,10,2,1,"a",20])", R"([2,20,3,4,"b",60])"}));
    EXPECT_EQ(form.MousePointer(), app::WizardWindow::kDefaultPointer);
    EXPECT_TRUE(form.PushButton4->isEnabled());
}

TEST_F(Form7Apply, TheOperationStandsForEveryCommaLeftToRight) {
    app::Form7& form = window("[Price], [Qty], [Tax]", 0, "Total");
    EXPECT_EQ(apply(form).back(), "update [Orders] set [Total]=[Price]+ [Qty]+ [Tax]");
    EXPECT_EQ(column("Orders", "Total"), (Texts{"13", "27"}));

    form.Combo1->setCurrentIndex(1);
    EXPECT_EQ(apply(form).back(), "update [Orders] set [Total]=[Price]- [Qty]- [Tax]");
    EXPECT_EQ(column("Orders", "Total"), (Texts{"7", "13"}));

    // One field: no comma, a copy whatever the operation.
    choose("Orders", "[Price]");
    form.Combo1->setCurrentIndex(3);
    EXPECT_EQ(apply(form).back(), "update [Orders] set [Total]=[Price]");
    EXPECT_EQ(column("Orders", "Total"), (Texts{"10", "20"}));
}

TEST_F(Form7Apply, DivideStoresTheQuotientRoundedHalfToEven) {
    execute("UPDATE [Orders] SET [Price] = 7, [Qty] = 2 WHERE [Id] = 1");
    execute("UPDATE [Orders] SET [Price] = 5, [Qty] = 2 WHERE [Id] = 2");
    app::Form7& form = window("[Price], [Qty]", 3, "Total");
    EXPECT_EQ(apply(form).back(), "update [Orders] set [Total]=[Price]/ [Qty]");
    EXPECT_EQ(column("Orders", "Total"), (Texts{"4", "2"}));
}

TEST_F(Form7Apply, AnEmptyNameFailsTheAddAndSendsNoUpdate) {
    app::Form7& form = window("[Price], [Qty]", 0, "");
    EXPECT_EQ(apply(form), (Texts{"ALTER TABLE [Orders] ADD COLUMN [] INT"}));
    EXPECT_EQ(reported("Form7.PushButton4_Click"), (Texts{"118"}));
    EXPECT_EQ(mathtest::gridColumns(*form.DataGrid1), (Texts{"Id", "Price", "Qty", "Tax", "Note"}));
    const auto table = testsupport::readWithMdbReader(path, "Orders");
    EXPECT_EQ(table.rows, (Texts{R"([1,10,2,1,"a"])", R"([2,20,3,4,"b"])"}));
}

TEST_F(Form7Apply, AnExistingFieldOfTheUsersIsReplacedOnlyWhenTheUserSaysYes) {
    execute("ALTER TABLE [Orders] ADD COLUMN [Total] TEXT(10)");
    execute("UPDATE [Orders] SET [Total] = 'kept'");
    app::Form7& form = window("[Price], [Qty]", 0, "total");

    platform.answers = {app::MessageAnswer::No};
    EXPECT_TRUE(apply(form).empty());
    ASSERT_EQ(platform.messages.size(), 1u);
    const auto& question = platform.messages[0];
    EXPECT_EQ(question.text,
              "Field [total] already exists in table Orders. Replace it? Its values will be lost.");
    EXPECT_EQ(question.buttons, app::MessageButtons::YesNo);
    // Its Yes loses data: Enter answers No.
    EXPECT_EQ(question.defaultButton, app::MessageAnswer::No);
    EXPECT_EQ(question.icon, app::MessageIcon::None);
    EXPECT_EQ(question.title, app::Globals::applicationTitle());
    EXPECT_EQ(column("Orders", "Total"), (Texts{"kept", "kept"}));
    EXPECT_EQ(form.MousePointer(), app::WizardWindow::kDefaultPointer);
    EXPECT_TRUE(form.PushButton4->isEnabled());

    platform.answers = {app::MessageAnswer::Yes};
    EXPECT_EQ(apply(form), (Texts{"ALTER TABLE [Orders] DROP [total]",
                                  "ALTER TABLE [Orders] ADD COLUMN [total] INT",
                                  "update [Orders] set [total]=[Price]+ [Qty]"}));
    EXPECT_EQ(platform.messages.size(), 2u);
    const auto table = testsupport::readWithMdbReader(path, "Orders");
    EXPECT_NE(table.header.find(R"({"name":"total","type":"Long"})"), std::string::npos)
        << table.header;
    EXPECT_EQ(table.rows, (Texts{R"([1,10,2,1,"a",12])", R"([2,20,3,4,"b",23])"}));
}

// "Qty " would be a second field that looks exactly like Qty: the engine refuses the name, and
// the update that would fill it is not sent.
TEST_F(Form7Apply, ANameEndingInABlankIsRefusedByTheAddAndNothingChanges) {
    app::Form7& form = window("[Price], [Tax]", 0, "Qty ");
    EXPECT_EQ(apply(form), (Texts{"ALTER TABLE [Orders] ADD COLUMN [Qty ] INT"}));
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_NE(platform.messages[0].text.find(
                  "'Qty ' is not a valid field name: a name cannot end with a blank."),
              std::string::npos)
        << platform.messages[0].text;
    EXPECT_EQ(reported("Form7.PushButton4_Click"), (Texts{"118"}));
    const auto table = testsupport::readWithMdbReader(path, "Orders");
    EXPECT_EQ(table.rows, (Texts{R"([1,10,2,1,"a"])", R"([2,20,3,4,"b"])"}));
}

TEST_F(Form7Apply, ANameOfAChosenFieldIsRefusedBeforeAnythingIsSent) {
    app::Form7& form = window("[Price], [Qty]", 0, "QTY");
    EXPECT_TRUE(apply(form).empty());
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text,
              "The new field must have a name other than the fields being combined.");
    EXPECT_EQ(platform.messages[0].buttons, app::MessageButtons::Ok);
    EXPECT_EQ(platform.messages[0].icon, app::MessageIcon::None);
    EXPECT_EQ(column("Orders", "Qty"), (Texts{"2", "3"}));
    EXPECT_TRUE(form.PushButton4->isEnabled());

    // The brackets are no part of the name: a field of the table that is not chosen is asked about.
    form.Text1->SetText("Tax");
    EXPECT_TRUE(apply(form).empty());
    EXPECT_EQ(platform.messages.back().buttons, app::MessageButtons::YesNo);
}

TEST_F(Form7Apply, ARepeatedApplyReplacesItsOwnFieldWithoutAskingAndGivesTheSameResult) {
    app::Form7& form = window("[Price], [Qty]", 2, "Total");
    apply(form);
    form.Text1->SetText("TOTAL");
    EXPECT_EQ(apply(form), (Texts{"ALTER TABLE [Orders] DROP [TOTAL]",
                                  "ALTER TABLE [Orders] ADD COLUMN [TOTAL] INT",
                                  "update [Orders] set [TOTAL]=[Price]* [Qty]"}));
    EXPECT_TRUE(platform.messages.empty()) << platform.messages[0].text;
    EXPECT_EQ(column("Orders", "Total"), (Texts{"20", "60"}));
    EXPECT_EQ(mathtest::gridColumns(*form.DataGrid1).size(), 6u);

    // The same name in another table was not made by the window: asked about.
    execute("ALTER TABLE [Empty] ADD COLUMN [Total] LONG");
    choose("Empty", "[Price], [Qty]");
    EXPECT_TRUE(apply(form).empty());
    EXPECT_EQ(platform.messages.size(), 1u);
}

TEST_F(Form7Apply, ADropTheEngineRefusesKeepsTheFieldsValues) {
    execute("ALTER TABLE [Orders] ADD COLUMN [Total] LONG");
    execute("UPDATE [Orders] SET [Total] = 99");
    execute("CREATE INDEX [ByTotal] ON [Orders] ([Total])");
    app::Form7& form = window("[Price], [Qty]", 0, "Total");
    platform.answers = {app::MessageAnswer::Yes};
    EXPECT_EQ(apply(form), (Texts{kDrop, kAdd}));
    platform.messages.erase(platform.messages.begin());  // the question
    EXPECT_EQ(reported("Form7.PushButton4_Click"), (Texts{"116", "118"}));
    EXPECT_EQ(mathtest::gridColumn(*form.DataGrid1, 5), (Texts{"99", "99"}));
    const auto table = testsupport::readWithMdbReader(path, "Orders");
    EXPECT_EQ(table.rows, (Texts{R"([1,10,2,1,"a",99])", R"([2,20,3,4,"b",99])"}));
}

TEST_F(Form7Apply, AClickWhileTheQuestionIsOpenDoesNotStartASecondApply) {
    execute("ALTER TABLE [Orders] ADD COLUMN [Total] LONG");
    app::Form7& form = window("[Price], [Qty]", 0, "Total");
    form.show();
    platform.answers = {app::MessageAnswer::Yes};
    db::ScopedStatementLog log;
    {
        mathtest::ClicksDuringMessages impatient(platform, form.PushButton4);
        form.PushButton4_Click();
        EXPECT_EQ(impatient.applyEnabled, (std::vector<bool>{false}));
    }
    EXPECT_EQ(log.statements().size(), 3u);
    EXPECT_TRUE(form.PushButton4->isEnabled());
}

}  // namespace

// Fields dropped count toward Access's 255 until the database is compacted: the Apply whose ADD
// fails says so and how to get out, and after compacting the same Apply goes through.
TEST_F(Form7Apply, TheApplyThatMeetsTheFieldLimitSaysHowToGetOut) {
    for (int i = 0; i < 249; ++i) {
        execute("ALTER TABLE [Orders] ADD COLUMN [Spare] INT");
        execute("ALTER TABLE [Orders] DROP [Spare]");
    }
    app::Form7& form = window("[Price], [Qty]", 2, "Total");
    const Texts addAndFill{kAdd, "update [Orders] set [Total]=[Price]* [Qty]"};
    EXPECT_EQ(apply(form), addAndFill);
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_EQ(apply(form), (Texts{kDrop, kAdd}));
    ASSERT_EQ(reported("Form7.PushButton4_Click"), (Texts{"118"}));
    EXPECT_NE(platform.messages[0].text.find(
                  "Too many fields defined in table 'Orders'. Fields dropped from it count until "
                  "the database is compacted. Compact the database (quillfen-db compact " +
                  path + ")."),
              std::string::npos)
        << platform.messages[0].text;

    platform.messages.clear();
    jet::compact(*jet::Database::open(path), {});
    EXPECT_EQ(apply(form), addAndFill);
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_EQ(column("Orders", "Total"), (Texts{"20", "60"}));
}
