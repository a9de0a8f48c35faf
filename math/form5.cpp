#include "math/form5.h"

namespace app {

Form5::Form5() : OperationWindow("Form5", {5880, 4200, 5640, 830, 1080, 3240, 3720}) {
    Text1 = new TextBox(Frame1);
    placeTwips(Text1, 2880, 300, 2520, 345);
    connect(Text1, &TextBox::MouseMove, this, [this] { PointerOverBackground(); });
    connect(PushButton4, &PushButton::clicked, this, [this] { PushButton4_Click(); });
}

void Form5::Form_Load() {
    Trap trap("Form5.Form_Load");
    auto [cn, rs] = createDatabaseObjects(trap);
    setUpWindow(trap);
    trap(116, [&] { Text1->SetText("1"); });
    fillOperations(trap, 118);
    showPreview(trap, cn, rs);
}

void Form5::PushButton4_Click() {}

}  // namespace app
