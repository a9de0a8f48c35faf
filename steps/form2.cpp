#include "steps/form2.h"

#include <tuple>

#include "app/forms.h"
#include "app/main_module.h"
#include "core/error_trap.h"
#include "core/globals.h"
#include "db/access.h"
#include "db/connection.h"
#include "db/objects.h"
#include "db/recordset.h"

namespace app {

Form2::Form2() {
    setClientSizeTwips(5880, 2625);
    setFont(arialFont(9, true));

    Frame1 = new Frame("Which table has the field to do math on?", this);
    placeTwips(Frame1, 120, 120, 5640, 1935);

    List1 = new ListBox(Frame1);
    placeTwips(List1, 240, 300, 5160, 1410);

    std::tie(PushButton2, PushButton3) = addBackAndNext(
        2160, "Next >", [this] { PushButton2_Click(); }, [this] { PushButton3_Click(); });
    pointerAsBackground(List1, Frame1);
}

void Form2::Form_Load() {
    Trap trap("Form2.Form_Load");
    SetUpWindow(trap, 100);
    trap(112, [&] { setEnabled(true); });
    trap(114, [&] { SetMousePointer(0); });
}

void Form2::PushButton2_Click() {
    Trap trap("Form2.PushButton2_Click");
    ShowInstead(trap, 100, Step::Database);
}

void Form2::Form_Unload() { Forms::current().EndProgram(); }

void Form2::PushButton3_Click() {
    Trap trap("Form2.PushButton3_Click");
    auto& wizard = Globals::wizard();
    std::shared_ptr<db::Connection> cn;
    std::shared_ptr<db::Recordset> rs;
    trap.assign(100, cn, [] { return db::CreateObject<db::Connection>("ADODB.Connection"); });
    trap.assign(102, rs, [] { return db::CreateObject<db::Recordset>("ADODB.recordset"); });
    if (trap.condition(106, [&] { return List1->ListIndex() == -1; })) {
        trap(168, [&] {
            Globals::platform().messageBox("Please select a table", MessageButtons::Ok,
                                           MessageIcon::None, Globals::applicationTitle());
        });
        return;
    }
    trap(108, [&] { SetMousePointer(kHourglass); });
    trap(110, [&] { cn->SetMode(db::adModeReadWrite); });
    trap(112, [&] { cn->Open(db::BuildConnectionString()); });
    trap(114, [&] { wizard.SelectedTable = List1->List(List1->ListIndex()); });
    Forms::current().FillFieldStep(trap, 116, cn, rs, wizard.SelectedTable);
    trap(164, [&] { hide(); });
    trap(166, [&] { SetMousePointer(kDefaultPointer); });
}

}  // namespace app
