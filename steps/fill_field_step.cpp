#include "steps/fill_field_step.h"

#include "app/events.h"
#include "app/main_module.h"
#include "steps/field_names.h"
#include "steps/form3.h"

namespace app {

void FillFieldStep(Trap& trap, int first, Form3& form3, const std::shared_ptr<db::Connection>& cn,
                   const std::shared_ptr<db::Recordset>& rs, const std::string& table) {
    const auto at = [first](int step) { return first + 2 * step; };
    trap(at(0), [&] { form3.show(); });
    trap(at(1), [&] { form3.List1->Clear(); });
    trap(at(2), [&] { form3.DataGrid1->SetDataSource(nullptr); });
    trap(at(3), [&] { cn->SetCursorLocation(db::adUseClient); });
    trap(at(4), [&] {
        rs->Open("SELECT * FROM [" + table + "];", *cn, db::adOpenStatic, db::adLockOptimistic);
    });
    trap(at(5), [&] { form3.DataGrid1->SetDataSource(rs->DataSource()); });
    int fields = 0;
    trap.assign(at(6), fields, [&] { return rs->Fields().Count(); });
    for (int i = 0; i < fields; ++i) {
        trap(at(7), [&] { DoEvents(); });
        trap(at(8), [&] { form3.List1->AddItem(listedFieldName(*rs, i)); });
    }
    // The loop's end and two lines without statements come before the button tests.
    if (trap.condition(at(13), [&] { return form3.List1->ListCount() == 0; })) {
        trap(at(14), [&] { form3.PushButton5->setEnabled(false); });
    } else {
        trap(at(15), [&] { form3.PushButton5->setEnabled(true); });
    }
    if (trap.condition(at(16), [&] { return form3.List2->ListCount() == 0; })) {
        trap(at(17), [&] { form3.PushButton7->setEnabled(false); });
        trap(at(18), [&] { form3.PushButton3->setEnabled(false); });
    } else {
        trap(at(19), [&] { form3.PushButton7->setEnabled(true); });
        trap(at(20), [&] { form3.PushButton3->setEnabled(true); });
    }
    trap(at(21), [&] { form3.List1->SetListIndex(0); });
    trap(at(22), [&] { form3.DataGrid1->SetFocus(); });
    trap(at(23), [&] { RemoveDuplicateListboxItems(*form3.List1, *form3.List2); });
}

}  // namespace app
