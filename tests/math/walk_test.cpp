// Whole walks through the wizard, as a user makes them: the typical run from a remembered
// database to the refreshed grid on a copy of the sample database, back and forth between the
// steps, and one walk through each other operation window on fixture tables with indexes. The
// files are read back afterwards by mdb-reader and the engine's integrity check.
#include <gtest/gtest.h>

#include <QSettings>

#include "app/form1.h"
#include "app/forms.h"
#include "app/settings.h"
#include "core/globals.h"
#include "db/connection.h"
#include "jet/check/check.h"
#include "math/form5.h"
#include "math/form6.h"
#include "math/form7.h"
#include "steps/form2.h"
#include "steps/form3.h"
#include "steps/form4.h"
#include "support/fake_platform.h"
#include "support/fixtures.h"
#include "support/mdb_reader.h"

namespace {

using Texts = std::vector<std::string>;

class Walk : public ::testing::Test {
protected:
    Walk() {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           QString::fromStdString((config.path() / "config").string()));
        app::Globals::setApplicationFolder(QUILLFEN_APP_DIR);
        app::Globals::wizard().SelectedTable.clear();
        app::Globals::wizard().SelectedFieldsList.clear();
    }

    // Starts the wizard with `database` and its password remembered: the table step opens by
    // itself.
    app::Form2& start(const std::string& database, const std::string& password = "") {
        app::SaveSetting("Veldmark", "Quillfen", "Database", database);
        app::SaveSetting("Veldmark", "Quillfen", "Password", password);
        forms.form1();
        EXPECT_TRUE(platform.messages.empty()) << platform.messages[0].text;
        return forms.form2();
    }

    // Picks `table`, chooses `fields` in order, and goes on to the math option step.
    app::Form4& choose(const std::string& table, const Texts& fields) {
        app::Form2& form2 = forms.form2();
        for (int i = 0; i < form2.List1->ListCount(); ++i) {
            if (form2.List1->List(i) == table) form2.List1->SetListIndex(i);
        }
        form2.PushButton3_Click();
        app::Form3& form3 = forms.form3();
        for (const auto& field : fields) {
            for (int i = 0; i < form3.List1->ListCount(); ++i) {
                if (form3.List1->List(i) == field) form3.List1->SetListIndex(i);
            }
            form3.PushButton5_Click();
        }
        form3.PushButton3_Click();
        return forms.form4();
    }

    // Chooses `field` of `table` and adds it as a new field `name` through the third option.
    app::Form7& newField(const std::string& table, const std::string& field,
                         const std::string& name) {
        app::Form4& form4 = choose(table, {field});
        form4.Option3->setChecked(true);
        form4.PushButton5_Click();
        app::Form7& form7 = forms.form7();
        form7.Text1->SetText(name);
        form7.PushButton4_Click();
        EXPECT_TRUE(platform.messages.empty()) << platform.messages[0].text;
        return form7;
    }

    static void expectSound(const std::string& path, const std::string& password = "") {
        for (const auto& fault : jet::check::checkDatabase(path, {password, false})) {
            EXPECT_NE(fault.severity, jet::check::Severity::Fault) << fault.description;
        }
    }

    testsupport::TempDir config;
    testsupport::TempDir files;
    testsupport::FakePlatform platform;
    db::ScopedStatementLog log;
    app::Forms forms;
};

TEST_F(Walk, TheTypicalRunOnTheSampleDatabase) {
    const std::string sample = (files.path() / "sample.mdb").string();
    std::filesystem::copy_file(std::string(QUILLFEN_APP_DIR) + "/Samples/sample.mdb", sample);
    const auto before = testsupport::readWithMdbReader(sample, "Orders");

    app::Form2& form2 = start(sample);
    EXPECT_TRUE(form2.isVisible());
    EXPECT_EQ(form2.List1->List(form2.List1->ListIndex()), "Customers");
    app::Form4& form4 = choose("Orders", {"Price", "Qty"});
    EXPECT_EQ(app::Globals::wizard().SelectedFieldsList, "[Price], [Qty]");
    form4.PushButton5_Click();
    app::Form5& form5 = forms.form5();
    EXPECT_TRUE(form5.isVisible());
    EXPECT_EQ(form5.Combo1->count(), 4);
    EXPECT_EQ(form5.Combo1->currentText(), "Add");
    EXPECT_EQ(form5.Text1->Text(), "1");

    form5.Text1->SetText("10");
    form5.PushButton4_Click();
    EXPECT_TRUE(platform.messages.empty()) << platform.messages[0].text;
    EXPECT_EQ(log.statements(), (Texts{"UPDATE [Orders] SET [Price] = [Price] + 10",
                                       "UPDATE [Orders] SET [Qty] = [Qty] + 10"}));
    auto* model = form5.DataGrid1->model();
    model->fetchMore({});
    const auto after = testsupport::readWithMdbReader(sample, "Orders");
    ASSERT_EQ(after.rows.size(), before.rows.size());
    // Row 1 of the sample: Price 7.50, Qty 12.
    EXPECT_NE(after.rows[0].find("\"17.5000\",22,"), std::string::npos) << after.rows[0];
    EXPECT_EQ(model->index(0, 3).data().toString().contains("17.50"), true);
    EXPECT_EQ(model->index(0, 4).data().toString(), "22");
    expectSound(sample);
}

// Each button shows the window of its own step in place of its own, and "< Back" retraces the
// walk: a window that showed the wrong step, or stayed, would strand the user.
TEST_F(Walk, EachStepHandsOverToItsNeighbours) {
    const std::string sample = (files.path() / "sample.mdb").string();
    std::filesystem::copy_file(std::string(QUILLFEN_APP_DIR) + "/Samples/sample.mdb", sample);
    app::Form2& form2 = start(sample);
    app::Form1& form1 = forms.form1();
    form2.PushButton2_Click();
    EXPECT_TRUE(form1.isVisible());
    EXPECT_FALSE(form2.isVisible());
    form1.PushButton3_Click();
    EXPECT_TRUE(form2.isVisible());
    EXPECT_FALSE(form1.isVisible());

    app::Form4& form4 = choose("Orders", {"Price"});
    EXPECT_TRUE(form4.isVisible());
    EXPECT_FALSE(forms.form3().isVisible());
    const std::vector<std::pair<QRadioButton*, app::OperationWindow*>> options = {
        {form4.Option1, &forms.form5()},
        {form4.Option2, &forms.form6()},
        {form4.Option3, &forms.form7()}};
    for (const auto& [option, window] : options) {
        option->setChecked(true);
        form4.PushButton5_Click();
        EXPECT_TRUE(window->isVisible()) << option->accessibleName().toStdString();
        EXPECT_FALSE(form4.isVisible());
        window->PushButton2_Click();
        EXPECT_TRUE(form4.isVisible());
        EXPECT_FALSE(window->isVisible());
    }
    EXPECT_TRUE(platform.messages.empty()) << platform.messages[0].text;
}

TEST_F(Walk, FieldByFieldOnATableWithADescendingIndex) {
    const std::string path = files.copyOf("jet4/compIndexTestV2000.mdb");
    const auto before = testsupport::readWithMdbReader(path, "Table1");
    start(path);
    app::Form4& form4 = choose("Table1", {"CD_AGENTE"});
    form4.Option2->setChecked(true);
    form4.PushButton5_Click();
    app::Form6& form6 = forms.form6();
    EXPECT_EQ(form6.Combo2->currentText(), "CD_AGENTE");
    form6.Combo1->setCurrentIndex(0);
    form6.PushButton4_Click();
    EXPECT_TRUE(platform.messages.empty()) << platform.messages[0].text;
    EXPECT_EQ(log.statements(),
              (Texts{"UPDATE [Table1] SET [CD_AGENTE] = [CD_AGENTE] + [CD_AGENTE]"}));
    const auto after = testsupport::readWithMdbReader(path, "Table1");
    ASSERT_EQ(after.rows.size(), before.rows.size());
    ASSERT_FALSE(before.rows.empty());
    const long first = std::stol(before.rows[0].substr(1));
    EXPECT_EQ(std::stol(after.rows[0].substr(1)), 2 * first);
    expectSound(path);
}

TEST_F(Walk, ANewComputedFieldOnAnIndexedAceTable) {
    const std::string path = files.copyOf("ace/compIndexTestV2010.accdb");
    start(path);
    app::Form7& form7 = newField("Table1", "CD_AGENTE", "Copy");
    EXPECT_EQ(log.statements(), (Texts{"ALTER TABLE [Table1] ADD COLUMN [Copy] INT",
                                       "update [Table1] set [Copy]=[CD_AGENTE]"}));
    auto* model = form7.DataGrid1->model();
    EXPECT_EQ(model->headerData(model->columnCount() - 1, Qt::Horizontal).toString(), "Copy");
    const auto after = testsupport::readWithMdbReader(path, "Table1");
    EXPECT_NE(after.header.find("\"Copy\""), std::string::npos) << after.header;
    expectSound(path);
}

TEST_F(Walk, ANewFieldInAnEncryptedDatabase) {
    const std::string path = files.copyOf("password/V2010_with-password.accdb");
    start(path, "password");
    newField("Table1", "ID", "Copy");
    const auto after = testsupport::readWithMdbReader(path, "Table1", "password");
    EXPECT_EQ(after.rows, (Texts{"[1,\"One\",1]", "[2,\"Two\",2]", "[3,\"Three\",3]"}));
    expectSound(path, "password");
}

// Access 97: each of the three options on a copy of an Access 97 file, read back by mdb-reader.
// Table1's row 2: C 2, D 222, E 333333333.
TEST_F(Walk, AConstantOnAnAccess97Database) {
    const std::string path = files.copyOf("jet3/test97.mdb");
    start(path);
    choose("Table1", {"D", "E"}).PushButton5_Click();
    app::Form5& form5 = forms.form5();
    form5.Text1->SetText("10");
    form5.PushButton4_Click();
    EXPECT_TRUE(platform.messages.empty()) << platform.messages[0].text;
    const auto row = testsupport::readWithMdbReader(path, "Table1").rows.at(1);
    EXPECT_NE(row.find(",2,232,333333343,"), std::string::npos) << row;
    expectSound(path);
}

TEST_F(Walk, FieldByFieldOnAnAccess97Database) {
    const std::string path = files.copyOf("jet3/test97.mdb");
    start(path);
    app::Form4& form4 = choose("Table1", {"D"});
    form4.Option2->setChecked(true);
    form4.PushButton5_Click();
    app::Form6& form6 = forms.form6();
    form6.Combo1->setCurrentIndex(0);
    for (int i = 0; i < form6.Combo2->count(); ++i) {
        if (form6.Combo2->itemText(i) == "C") form6.Combo2->setCurrentIndex(i);
    }
    form6.PushButton4_Click();
    EXPECT_TRUE(platform.messages.empty()) << platform.messages[0].text;
    EXPECT_EQ(log.statements(), (Texts{"UPDATE [Table1] SET [D] = [D] + [C]"}));
    const auto row = testsupport::readWithMdbReader(path, "Table1").rows.at(1);
    EXPECT_NE(row.find(",2,224,333333333,"), std::string::npos) << row;
    expectSound(path);
}

TEST_F(Walk, ANewFieldOnAnAccess97Database) {
    const std::string path = files.copyOf("jet3/test97.mdb");
    start(path);
    newField("Table1", "E", "Copy");
    const auto after = testsupport::readWithMdbReader(path, "Table1");
    EXPECT_NE(after.header.find("\"Copy\""), std::string::npos) << after.header;
    EXPECT_NE(after.rows.at(1).find(",333333333]"), std::string::npos) << after.rows.at(1);
    expectSound(path);
}

}  // namespace
