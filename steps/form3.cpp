#include "steps/form3.h"

#include <functional>
#include <tuple>

#include "app/controls/events.h"
#include "app/field_names.h"
#include "app/forms.h"
#include "app/main_module.h"
#include "core/error_trap.h"
#include "core/globals.h"

namespace app {

Form3::Form3() {
    setClientSizeTwips(5880, 5145);
    setFont(arialFont(9, true));

    Frame1 = new Frame("Preview", this);
    placeTwips(Frame1, 120, 120, 5640, 1935);
    DataGrid1 = new DataGrid(Frame1);
    placeTwips(DataGrid1, 240, 360, 5160, 1365);

    Frame2 = new Frame("Which field(s) would you like to do math on?", this);
    placeTwips(Frame2, 120, 2160, 5640, 2415);
    List1 = new ListBox(Frame2);
    placeTwips(List1, 240, 360, 2280, 1860);
    List2 = new ListBox(Frame2);
    placeTwips(List2, 3120, 360, 2280, 1860);

    PushButton5 = addButton(">", Frame2, 2610, 360, 420, 405, [this] { PushButton5_Click(); });
    PushButton6 = addButton(">>", Frame2, 2610, 840, 420, 405, [this] { PushButton6_Click(); });
    PushButton7 = addButton("<", Frame2, 2610, 1320, 420, 405, [this] { PushButton7_Click(); });
    PushButton8 = addButton("<<", Frame2, 2610, 1800, 420, 405, [this] { PushButton8_Click(); });
    std::tie(PushButton2, PushButton3) = addBackAndNext(
        4680, "Next >", [this] { PushButton2_Click(); }, [this] { PushButton3_Click(); });

    connect(List1, &ListBox::DblClick, this, [this] { untrapped([this] { List1_DblClick(); }); });
    connect(List2, &ListBox::DblClick, this, [this] { untrapped([this] { List2_DblClick(); }); });
    pointerAsBackground(List1, List2, Frame1, Frame2, DataGrid1);
}

void Form3::Form_Load() {
    Trap trap("Form3.Form_Load");
    SetUpWindow(trap, 100);
}

void Form3::FillFromTable(Trap& trap, int first, const std::shared_ptr<db::Connection>& cn,
                          const std::shared_ptr<db::Recordset>& rs, const std::string& table) {
    const auto at = [first](int step) { return first + 2 * step; };
    trap(at(0), [&] { show(); });
    trap(at(1), [&] { List1->Clear(); });
    trap(at(2), [&] { DataGrid1->SetDataSource(nullptr); });
    trap(at(3), [&] { cn->SetCursorLocation(db::adUseClient); });
    trap(at(4), [&] {
        rs->Open("SELECT * FROM [" + table + "];", *cn, db::adOpenStatic, db::adLockOptimistic);
    });
    trap(at(5), [&] { DataGrid1->SetDataSource(rs->DataSource()); });
    int fields = 0;
    trap.assign(at(6), fields, [&] { return rs->Fields().Count(); });
    for (int i = 0; i < fields; ++i) {
        trap(at(7), [&] { DoEvents(); });
        trap(at(8), [&] { List1->AddItem(listedFieldName(*rs, i)); });
    }
    // The loop's end and two lines without statements come before the button tests.
    if (trap.condition(at(13), [&] { return List1->ListCount() == 0; })) {
        trap(at(14), [&] { PushButton5->setEnabled(false); });
    } else {
        trap(at(15), [&] { PushButton5->setEnabled(true); });
    }
    if (trap.condition(at(16), [&] { return List2->ListCount() == 0; })) {
        trap(at(17), [&] { PushButton7->setEnabled(false); });
        trap(at(18), [&] { PushButton3->setEnabled(false); });
    } else {
        trap(at(19), [&] { PushButton7->setEnabled(true); });
        trap(at(20), [&] { PushButton3->setEnabled(true); });
    }
    trap(at(21), [&] { List1->SetListIndex(0); });
    trap(at(22), [&] { DataGrid1->SetFocus(); });
    trap(at(23), [&] { RemoveDuplicateListboxItems(*List1, *List2); });
}

void Form3::applyButtonStates(Trap* trap, int first) {
    // The double-clicks apply the rule without a trap; the buttons under theirs.
    const auto run = [trap](int label, const std::function<void()>& statement) {
        if (trap != nullptr) {
            (*trap)(label, statement);
        } else {
            statement();
        }
    };
    const auto test = [trap](int label, const std::function<bool()>& condition) {
        return trap != nullptr ? trap->condition(label, condition) : condition();
    };
    int label = first;
    if (test(label, [&] { return List1->ListCount() == 0; })) {
        run(label + 2, [&] { PushButton5->setEnabled(false); });
        run(label + 4, [&] { PushButton6->setEnabled(false); });
    } else {
        run(label + 6, [&] { PushButton5->setEnabled(true); });
        run(label + 8, [&] { PushButton6->setEnabled(true); });
    }
    label += 10;
    if (test(label, [&] { return List2->ListCount() == 0; })) {
        run(label + 2, [&] { PushButton7->setEnabled(false); });
        run(label + 4, [&] { PushButton8->setEnabled(false); });
        run(label + 6, [&] { PushButton3->setEnabled(false); });
    } else {
        run(label + 8, [&] { PushButton7->setEnabled(true); });
        run(label + 10, [&] { PushButton8->setEnabled(true); });
        run(label + 12, [&] { PushButton3->setEnabled(true); });
    }
}

void Form3::moveSelected(ListBox& from, ListBox& to) {
    Trap trap(&from == List1 ? "Form3.PushButton5_Click" : "Form3.PushButton7_Click");
    if (trap.condition(100, [&] { return from.ListIndex() == -1; })) {
        trap(130, [&] {
            Globals::platform().messageBox("Please select a field first.", MessageButtons::Ok,
                                           MessageIcon::None, Globals::applicationTitle());
        });
        return;
    }
    trap(102, [&] { to.AddItem(from.List(from.ListIndex())); });
    trap(104, [&] { from.RemoveItem(from.ListIndex()); });
    applyButtonStates(&trap, 106);
}

void Form3::moveAll(ListBox& from, ListBox& to) {
    Trap trap(&from == List1 ? "Form3.PushButton6_Click" : "Form3.PushButton8_Click");
    int count = 0;
    trap.assign(100, count, [&] { return from.ListCount(); });
    for (int i = 0; i < count; ++i) trap(102, [&] { to.AddItem(from.List(i)); });
    trap.assign(106, count, [&] { return from.ListCount(); });
    for (int i = count - 1; i >= 0; --i) trap(108, [&] { from.RemoveItem(i); });
    applyButtonStates(&trap, 112);
}

void Form3::PushButton5_Click() { moveSelected(*List1, *List2); }
void Form3::PushButton7_Click() { moveSelected(*List2, *List1); }
void Form3::PushButton6_Click() { moveAll(*List1, *List2); }
void Form3::PushButton8_Click() { moveAll(*List2, *List1); }

// A click beside the entries selects nothing, and then nothing moves.
void Form3::moveSelectedUntrapped(ListBox& from, ListBox& to) {
    if (from.ListIndex() == -1) return;
    to.AddItem(from.List(from.ListIndex()));
    from.RemoveItem(from.ListIndex());
    applyButtonStates(nullptr, 106);
}

void Form3::List1_DblClick() { moveSelectedUntrapped(*List1, *List2); }
void Form3::List2_DblClick() { moveSelectedUntrapped(*List2, *List1); }

void Form3::PushButton3_Click() {
    Trap trap("Form3.PushButton3_Click");
    auto& wizard = Globals::wizard();
    trap(106, [&] { wizard.SelectedFieldsList.clear(); });
    for (int i = 0; i < List2->ListCount(); ++i) {
        trap(110, [&] { wizard.SelectedFieldsList += "[" + List2->List(i) + "], "; });
    }
    trap(114, [&] {
        auto& list = wizard.SelectedFieldsList;
        list.erase(list.size() >= 2 ? list.size() - 2 : 0);
    });
    ShowInstead(trap, 116, Step::MathOption);
}

void Form3::PushButton2_Click() {
    Trap trap("Form3.PushButton2_Click");
    ShowInstead(trap, 100, Step::Table);
}

void Form3::Form_Unload() { Forms::current().EndProgram(); }

}  // namespace app
