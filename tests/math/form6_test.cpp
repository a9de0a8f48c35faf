// The field-by-field operation's Apply on a database of our own.
#include "math/form6.h"

#include "apply_fixture.h"
#include "support/mdb_reader.h"

namespace {

using mathtest::Texts;

class Form6Apply : public mathtest::ApplyTest {
protected:
    // Loads the window for the chosen table, then picks the operation and the other field.
    app::Form6& window(int operation, const std::string& other) {
        app::Form6& form = forms.form6();
        form.Combo1->setCurrentIndex(operation);
        form.Combo2->setCurrentIndex(form.Combo2->findText(QString::fromStdString(other)));
        EXPECT_EQ(form.Combo2->currentText().toStdString(), other);
        return form;
    }
};

TEST_F(Form6Apply, EachFieldItemGetsOneStatementInListOrderAndASecondApplyRepeatsThem) {
    choose("Orders", "[Price], [Tax]");
    app::Form6& form = window(2, "Qty");
    const Texts statements = {"UPDATE [Orders] SET [Price] = [Price] * [Qty]",
                              "UPDATE [Orders] SET [Tax] = [Tax] * [Qty]"};
    {
        db::ScopedStatementLog log;
        form.PushButton4_Click();
        EXPECT_EQ(log.statements(), statements);
    }
    EXPECT_EQ(column("Orders", "Price"), (Texts{"20", "60"}));
    EXPECT_EQ(column("Orders", "Tax"), (Texts{"2", "12"}));
    EXPECT_EQ(mathtest::gridColumn(*form.DataGrid1, 1), (Texts{"20", "60"}));

    db::ScopedStatementLog log;
    form.PushButton4_Click();
    EXPECT_EQ(log.statements(), statements);
    EXPECT_EQ(column("Orders", "Price"), (Texts{"40", "180"}));
    EXPECT_TRUE(platform.messages.empty()) << platform.messages[0].text;
    EXPECT_EQ(form.MousePointer(), app::WizardWindow::kDefaultPointer);
    EXPECT_TRUE(form.PushButton4->isEnabled());
}

TEST_F(Form6Apply, EachOperationWritesItsOperatorAndTheOperationIsReadAtApply) {
    app::Form6& form = window(0, "Qty");
    const Texts expected = {"UPDATE [Orders] SET [Price] = [Price] + [Qty]",
                            "UPDATE [Orders] SET [Price] = [Price] - [Qty]",
                            "UPDATE [Orders] SET [Price] = [Price] * [Qty]",
                            "UPDATE [Orders] SET [Price] = [Price] / [Qty]"};
    db::ScopedStatementLog log;
    for (int operation = 0; operation < 4; ++operation) {
        form.Combo1->setCurrentIndex(operation);
        form.PushButton4_Click();
    }
    EXPECT_EQ(log.statements(), expected);
    // ((10 + 2 - 2) * 2) / 2 and ((20 + 3 - 3) * 3) / 3
    EXPECT_EQ(column("Orders", "Price"), (Texts{"10", "20"}));
}

TEST_F(Form6Apply, AddingTheFieldToItselfDoublesEveryRecord) {
    app::Form6& form = window(0, "Price");
    form.PushButton4_Click();
    EXPECT_TRUE(platform.messages.empty()) << platform.messages[0].text;
    const auto table = testsupport::readWithMdbReader(path, "Orders");
    EXPECT_EQ(table.rows, (Texts{R"([1,20,2,1,"a"])", R"([2,40,3,4,"b"])"}));
}

TEST_F(Form6Apply, AnOtherFieldTheNewTableLacksFailsEveryStatementAndTheGridStillRefreshes) {
    app::Form6& form = window(0, "Tax");
    choose("Empty", "[Price], [Qty]");  // the table step again; the window keeps its list
    db::ScopedStatementLog log;
    form.PushButton4_Click();
    EXPECT_EQ(log.statements(), (Texts{"UPDATE [Empty] SET [Price] = [Price] + [Tax]",
                                       "UPDATE [Empty] SET [Qty] = [Qty] + [Tax]"}));
    EXPECT_EQ(reported("Form6.PushButton4_Click"), (Texts{"152", "152"}));
    EXPECT_EQ(mathtest::gridColumns(*form.DataGrid1), (Texts{"Id", "Price", "Qty"}));
    EXPECT_EQ(form.MousePointer(), app::WizardWindow::kDefaultPointer);
}

TEST_F(Form6Apply, ATableWithoutRecordsTakesTheStatementsQuietly) {
    choose("Empty", "[Price], [Qty]");
    app::Form6& form = window(3, "Id");
    db::ScopedStatementLog log;
    form.PushButton4_Click();
    EXPECT_EQ(log.statements().size(), 2u);
    EXPECT_TRUE(platform.messages.empty()) << platform.messages[0].text;
    EXPECT_TRUE(mathtest::gridColumn(*form.DataGrid1, 0).empty());
    EXPECT_TRUE(testsupport::readWithMdbReader(path, "Empty").rows.empty());
}

TEST_F(Form6Apply, AClickWhileAFailureIsReportedDoesNotStartASecondApply) {
    app::Form6& form = window(0, "Tax");
    form.show();
    choose("Empty", "[Price], [Qty]");
    db::ScopedStatementLog log;
    {
        mathtest::ClicksDuringMessages impatient(platform, form.PushButton4);
        form.PushButton4_Click();
        EXPECT_EQ(impatient.applyEnabled, (std::vector<bool>{false, false}));
    }
    EXPECT_EQ(log.statements().size(), 2u);
    EXPECT_TRUE(form.PushButton4->isEnabled());
}

}  // namespace
