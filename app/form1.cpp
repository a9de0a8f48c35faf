#include "app/form1.h"

#include "app/application_icon.h"
#include "app/forms.h"
#include "app/main_module.h"
#include "app/sample_database.h"
#include "app/settings.h"
#include "core/error_trap.h"
#include "core/files.h"
#include "core/globals.h"
#include "db/access.h"
#include "db/odbc_provider.h"

namespace app {
namespace {

constexpr const char* kSettingsApplication = "Veldmark";
constexpr const char* kSettingsSection = "Quillfen";

constexpr const char* kBrowseFilter =
    "All Microsoft Databases (*.mdb,*.accdb)|*.*db|Microsoft Database (*.mdb)|*.mdb|"
    "Microsoft 2007 Database (*.accdb)|*.accdb|";

}  // namespace

Form1::Form1() {
    setClientSizeTwips(8040, 2085);
    setFont(arialFont(9, false));
    const QFont controls = arialFont(9, true);

    Frame1 = new Frame("Access Database", this);
    Frame1->setFont(controls);
    placeTwips(Frame1, 120, 120, 7800, 1335);

    Label5 = new QLabel("MDB or ACCDB File:", Frame1);
    Label5->setFont(controls);
    placeTwips(Label5, 240, 345, 1935, 255);

    Text1 = new TextBox(Frame1);
    Text1->setFont(controls);
    placeTwips(Text1, 2280, 300, 4695, 345);

    PushButton5 = addButton("...", Frame1, 7080, 300, 450, 345, [this] { PushButton5_Click(); });

    lblPassword = new QLabel("Password (if required):", Frame1);
    lblPassword->setFont(controls);
    placeTwips(lblPassword, 240, 840, 1950, 225);

    Text2 = new TextBox(Frame1);
    Text2->setFont(controls);
    Text2->setEchoMode(QLineEdit::Password);
    placeTwips(Text2, 2280, 800, 5265, 345);

    PushButton1 = addButton("Load Sample/Example Database", this, 120, 1580, 3840, 405,
                            [this] { PushButton1_Click(); });
    PushButton3 = addButton("Next >", this, 4080, 1580, 3840, 405, [this] { PushButton3_Click(); });

    setTabOrder(Text1, PushButton5);
    setTabOrder(PushButton5, Text2);
    setTabOrder(Text2, PushButton1);
    setTabOrder(PushButton1, PushButton3);
    Text1->setFocus();

    // The boxes are the wizard's DatabasePath and DatabasePassword.
    auto& wizard = Globals::wizard();
    wizard.databasePathSource = [this] { return Text1->Text(); };
    wizard.databasePasswordSource = [this] { return Text2->Text(); };

    connect(Text1, &TextBox::Change, this, [this] { Text1_Change(); });
    connect(Text2, &TextBox::Change, this, [this] { Text2_Change(); });
    connect(Text1, &TextBox::GotFocus, this, [this] { Text1_GotFocus(); });
    connect(Text2, &TextBox::GotFocus, this, [this] { Text2_GotFocus(); });
    pointerAsBackground(Text1, Text2, Frame1);
}

void Form1::Form_Load() {
    Trap trap("Form1.Form_Load");
    loading_ = true;
    trap(100, [&] { ApplySkin(*this); });
    trap(104, [&] { MaybeOpenHomePage(); });
    trap(106, [&] {
        setWindowTitle(kProductTitle);
        setWindowIcon(applicationIcon());
        SetApplicationTitle();
    });
    if (trap.condition(124, [&] { return FileExists(HandCursorFile()); })) {
        trap(126, [&] { SetMouseIcon(LoadCursorFile(HandCursorFile())); });
    }
    trap(128, [&] {
        Text1->SetText(GetSetting(kSettingsApplication, kSettingsSection, "Database", ""));
    });
    trap(130, [&] {
        Text2->SetText(GetSetting(kSettingsApplication, kSettingsSection, "Password", ""));
    });
    if (trap.condition(136, [&] { return !db::ProviderAvailable(); })) {
        loading_ = false;
        Forms::current().EndProgram();
        return;
    }
    if (trap.condition(132, [&] { return FileExists(Globals::wizard().DatabasePath()); })) {
        trap(134, [&] { PushButton3_Click(); });
    }
    loading_ = false;
}

void Form1::PushButton1_Click() {
    Trap trap("Form1.PushButton1_Click");
    trap(100, [&] { Text1->SetText(SampleDatabase()); });
}

void Form1::PushButton3_Click() {
    Trap trap("Form1.PushButton3_Click");
    const auto& wizard = Globals::wizard();
    std::optional<std::vector<std::string>> tables;
    trap.assign(100, tables, [&] { return db::GetTableNames(wizard.DatabasePath()); });
    if (trap.condition(102, [&] { return !tables.has_value(); })) {
        trap(104, [&] { tables.reset(); });
        return;
    }
    trap(106, [&] {
        db::AddTablesToAccessListbox(Forms::current().tableList(), wizard.DatabasePath(),
                                     wizard.DatabasePassword());
    });
    trap(108, [&] { Forms::current().window(Step::Table).show(); });
    trap(110, [&] {
        hide();
        if (loading_) movedOnDuringLoad_ = true;
    });
}

void Form1::PushButton5_Click() {
    Trap trap("Form1.PushButton5_Click");
    OpenFileRequest dialog;
    std::string fileName;
    trap(100, [&] { fileName.clear(); });
    trap(102, [&] { dialog.readOnlyChecked = true; });
    trap(104, [&] { dialog.title = "Select Access Database"; });
    trap(106, [&] { dialog.filter = kBrowseFilter; });
    trap(108, [&] { fileName = Globals::platform().openFile(dialog); });
    if (trap.condition(110, [&] { return !fileName.empty(); })) {
        trap(112, [&] { Text1->SetText(fileName); });
    }
}

void Form1::Text1_Change() {
    untrapped(
        [&] { SaveSetting(kSettingsApplication, kSettingsSection, "Database", Text1->Text()); });
}

void Form1::Text2_Change() {
    untrapped(
        [&] { SaveSetting(kSettingsApplication, kSettingsSection, "Password", Text2->Text()); });
}

void Form1::Text1_GotFocus() {
    Text1->SetSelStart(0);
    Text1->SetSelLength(static_cast<int>(Text1->text().size()));
}

void Form1::Text2_GotFocus() {
    Text2->SetSelStart(0);
    Text2->SetSelLength(static_cast<int>(Text2->text().size()));
}

void Form1::Form_Unload() { Forms::current().EndProgram(); }

}  // namespace app
