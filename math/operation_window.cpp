#include "math/operation_window.h"

#include <tuple>

#include "app/forms.h"
#include "app/main_module.h"
#include "core/globals.h"
#include "db/access.h"
#include "db/objects.h"
#include "math/math_operation.h"

namespace app {

OperationWindow::OperationWindow(const char* name, const OperationLayout& layout) : name_(name) {
    setClientSizeTwips(layout.width, layout.height);
    setFont(arialFont(9, true));

    Frame1 = new Frame("Options", this);
    placeTwips(Frame1, 120, 120, layout.frameWidth, layout.frameHeight);
    Combo1 = new QComboBox(Frame1);
    Combo1->setEditable(false);
    placeTwips(Combo1, 240, 300, 2535, 345);

    DataGrid1 = new DataGrid(this);
    placeTwips(DataGrid1, 120, layout.gridTop, 5640, 2055);
    // Apply runs the window's own handler, chosen when the click comes.
    std::tie(PushButton2, PushButton4) = addBackAndNext(
        layout.buttonsTop, "Apply", [this] { PushButton2_Click(); },
        [this] { PushButton4_Click(); });
    ProgressBar1 = new ProgressBar(this);
    placeTwips(ProgressBar1, 120, layout.progressTop, 5640, 405);
    pointerAsBackground(Frame1);
}

void OperationWindow::placeInput(QWidget* input) { placeTwips(input, 2880, 300, 2520, 345); }

void OperationWindow::fillOperations(Trap& trap, int first) {
    int label = first;
    for (const char* entry : kMathOperationNames) {
        trap(label, [&] { Combo1->addItem(entry); });
        label += 2;
    }
    trap(label, [&] { Combo1->setCurrentIndex(0); });
}

void OperationWindow::showPreview(Trap& trap, const std::shared_ptr<db::Connection>& cn,
                                  const std::shared_ptr<db::Recordset>& rs) {
    trap(128, [&] { cn->SetMode(db::adModeReadWrite); });
    trap(130, [&] { cn->Open(db::BuildConnectionString()); });
    trap(132, [&] { DataGrid1->SetDataSource(nullptr); });
    trap(134, [&] { cn->SetCursorLocation(db::adUseClient); });
    trap(136, [&] {
        rs->Open(previewQuery(Globals::wizard().SelectedTable), *cn, db::adOpenStatic,
                 db::adLockOptimistic);
    });
    trap(138, [&] { DataGrid1->SetDataSource(rs->DataSource()); });
}

void OperationWindow::showRefreshed(Trap& trap, int first,
                                    const std::shared_ptr<db::Connection>& cn,
                                    const std::shared_ptr<db::Recordset>& rs) {
    trap(first, [&] { cn->SetCursorLocation(db::adUseClient); });
    trap(first + 2, [&] {
        rs->Open(refreshQuery(Globals::wizard().SelectedTable), *cn, db::adOpenKeyset,
                 db::adLockReadOnly);
    });
    trap(first + 4, [&] { DataGrid1->SetDataSource(rs->DataSource()); });
}

void OperationWindow::PushButton2_Click() {
    Trap trap(name_ + ".PushButton2_Click");
    ShowInstead(trap, 100, Step::MathOption);
}

void OperationWindow::Form_Unload() { Forms::current().EndProgram(); }

void OperationWindow::showMessage(const std::string& text) {
    Globals::platform().messageBox(text, MessageButtons::Ok, MessageIcon::None,
                                   Globals::applicationTitle());
}

DatabaseObjects createDatabaseObjects(Trap& trap) {
    DatabaseObjects objects;
    trap.assign(100, objects.cn,
                [] { return db::CreateObject<db::Connection>("ADODB.Connection"); });
    trap.assign(102, objects.rs, [] { return db::CreateObject<db::Recordset>("ADODB.RecordSet"); });
    return objects;
}

}  // namespace app
