#include "math/form7.h"

namespace app {

Form7::Form7() : OperationWindow("Form7", {5880, 4080, 5640, 800, 960, 3120, 3600}) {
    Text1 = new TextBox(Frame1);
    placeTwips(Text1, 2880, 300, 2520, 345);
    Text1->SetText("NewFieldName");
    connect(Text1, &TextBox::MouseMove, this, [this] { PointerOverBackground(); });
    connect(PushButton4, &PushButton::clicked, this, [this] { PushButton4_Click(); });
}

void Form7::Form_Load() {
    Trap trap("Form7.Form_Load");
    auto [cn, rs] = createDatabaseObjects(trap);
    setUpWindow(trap);
    fillOperations(trap, 116);
    trap(126, [&] { SetMousePointer(kHourglass); });
    showPreview(trap, cn, rs);
    trap(140, [&] { SetMousePointer(kDefaultPointer); });
}

void Form7::PushButton4_Click() {}

}  // namespace app
