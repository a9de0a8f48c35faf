#include "math/form6.h"

#include "app/core/globals.h"
#include "app/events.h"
#include "steps/field_names.h"

namespace app {

Form6::Form6() : OperationWindow("Form6", {5880, 4185, 5655, 800, 1080, 3240, 3720}) {
    Combo2 = new QComboBox(Frame1);
    Combo2->setEditable(false);
    placeTwips(Combo2, 2880, 300, 2520, 345);
    connect(PushButton4, &PushButton::clicked, this, [this] { PushButton4_Click(); });
}

void Form6::Form_Load() {
    Trap trap("Form6.Form_Load");
    auto [cn, rs] = createDatabaseObjects(trap);
    setUpWindow(trap);
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

void Form6::PushButton4_Click() {}

}  // namespace app
