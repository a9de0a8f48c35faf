#include "math/form6.h"

#include "app/controls/events.h"
#include "app/field_names.h"
#include "core/globals.h"
#include "db/access.h"
#include "math/math_operation.h"

namespace app {

Form6::Form6() : OperationWindow("Form6", {5880, 4185, 5655, 800, 1080, 3240, 3720}) {
    Combo2 = new QComboBox(Frame1);
    Combo2->setEditable(false);
    placeInput(Combo2);
}

void Form6::Form_Load() {
    Trap trap("Form6.Form_Load");
    auto [cn, rs] = createDatabaseObjects(trap);
    SetUpWindow(trap, 104);
    fillOperations(trap, 116);
    trap(126, [&] { SetMousePointer(kHourglass); });
    showPreview(trap, cn, rs);
    int columns = 0;
    trap.assign(140, columns, [&] { return rs->Fields().Count(); });
    for (int i = 0; i < columns; ++i) {
        trap(142, [&] { DoEvents(); });
        trap(144, [&] { Combo2->addItem(QString::fromStdString(listedFieldName(*rs, i))); });
    }
    trap(148, [&] { Combo2->setCurrentIndex(0); });
    trap(150, [&] { SetMousePointer(kDefaultPointer); });
}

void Form6::PushButton4_Click() {
    const ApplyRunning running(PushButton4);
    Trap trap("Form6.PushButton4_Click");
    auto [cn, rs] = createDatabaseObjects(trap);
    const auto& wizard = Globals::wizard();
    trap(108, [&] { SetMousePointer(kHourglass); });
    trap(110, [&] { cn->SetMode(db::adModeReadWrite); });
    trap(112, [&] { cn->Open(db::BuildConnectionString()); });
    trap(114, [&] { cn->SetCursorLocation(db::adUseClient); });
    trap(138, [&] { cn->SetCursorLocation(db::adUseClient); });
    std::vector<std::string> items;
    trap.assign(140, items, [&] { return fieldItems(wizard.SelectedFieldsList); });
    for (const std::string& item : items) {
        std::string field;
        trap.assign(146, field, [&] { return item; });
        // Each operation is tested in list order, reading the list afresh, until one matches.
        int label = 148;
        for (int index = 0; index < 4; ++index, label += 6) {
            if (!trap.condition(label, [&] { return Combo1->currentIndex() == index; })) continue;
            std::string statement;
            trap.assign(label + 2, statement, [&] {
                const auto op = *mathOperationAt(index);
                return "UPDATE [" + wizard.SelectedTable + "] SET " + field + " = " + field +
                       fieldOperatorText(op) + Combo2->currentText().toStdString() + "]";
            });
            trap(label + 4, [&] { cn->Execute(statement); });
            break;
        }
    }
    trap(176, [&] { SetMousePointer(kDefaultPointer); });
    showRefreshed(trap, 178, cn, rs);
}

}  // namespace app
