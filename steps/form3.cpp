#include "steps/form3.h"

#include <functional>

#include "core/error_trap.h"
#include "core/globals.h"
#include "app/forms.h"
#include "app/main_module.h"
#include "steps/form2.h"
#include "steps/form4.h"

namespace app {

Form3::Form3() {
    setClientSizeTwips(5880, 5145);
    setFont(arialFont(9, true));
    const QFont buttons = arialFont(11.25, true);

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

    struct Placed {
        PushButton*& button;
        const char* caption;
        QWidget* parent;
        int left, top, width, height;
    };
    for (const Placed& p : {Placed{PushButton5, ">", Frame2, 2610, 360, 420, 405},
                            Placed{PushButton6, ">>", Frame2, 2610, 840, 420, 405},
                            Placed{PushButton7, "<", Frame2, 2610, 1320, 420, 405},
                            Placed{PushButton8, "<<", Frame2, 2610, 1800, 420, 405},
                            Placed{PushButton2, "< Back", this, 120, 4680, 2775, 405},
                            Placed{PushButton3, "Next >", this, 3000, 4680, 2760, 405}}) {
        p.button = new PushButton(p.caption, p.parent);
        p.button->setFont(buttons);
        placeTwips(p.button, p.left, p.top, p.width, p.height);
        connect(p.button, &PushButton::MouseMove, this, [this] { PointerOverButton(); });
    }

    connect(PushButton5, &PushButton::clicked, this, [this] { PushButton5_Click(); });
    connect(PushButton6, &PushButton::clicked, this, [this] { PushButton6_Click(); });
    connect(PushButton7, &PushButton::clicked, this, [this] { PushButton7_Click(); });
    connect(PushButton8, &PushButton::clicked, this, [this] { PushButton8_Click(); });
    connect(PushButton2, &PushButton::clicked, this, [this] { PushButton2_Click(); });
    connect(PushButton3, &PushButton::clicked, this, [this] { PushButton3_Click(); });
    connect(List1, &ListBox::DblClick, this, [this] { untrapped([this] { List1_DblClick(); }); });
    connect(List2, &ListBox::DblClick, this, [this] { untrapped([this] { List2_DblClick(); }); });

    connect(this, &WizardWindow::FormMouseMove, this, [this] { PointerOverBackground(); });
    connect(List1, &ListBox::MouseMove, this, [this] { PointerOverBackground(); });
    connect(List2, &ListBox::MouseMove, this, [this] { PointerOverBackground(); });
    connect(Frame1, &Frame::MouseMove, this, [this] { PointerOverBackground(); });
    connect(Frame2, &Frame::MouseMove, this, [this] { PointerOverBackground(); });
    connect(DataGrid1, &DataGrid::MouseMove, this, [this] { PointerOverBackground(); });
}

void Form3::Form_Load() {
    Trap trap("Form3.Form_Load");
    SetUpWindow(trap, 100);
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
    trap(116, [&] { Forms::current().form4().show(); });
    trap(118, [&] { hide(); });
}

void Form3::PushButton2_Click() {
    Trap trap("Form3.PushButton2_Click");
    trap(100, [&] { Forms::current().form2().show(); });
    trap(102, [&] { hide(); });
}

void Form3::Form_Unload() { Forms::current().EndProgram(); }

}  // namespace app
