// The field step: the available fields on the left, the chosen ones on the right, and a preview
// of the whole table above them. The table step and the math option step fill the available
// list and bind the grid; this window only moves entries and keeps its buttons in step.
#pragma once

#include "app/controls/data_grid.h"
#include "app/controls/frame.h"
#include "app/controls/list_box.h"
#include "app/controls/push_button.h"
#include "app/wizard_window.h"

namespace app {

class Trap;

class Form3 final : public WizardWindow {
    Q_OBJECT
public:
    Form3();

    void Form_Load();
    void PushButton5_Click();  // ">"
    void PushButton6_Click();  // ">>"
    void PushButton7_Click();  // "<"
    void PushButton8_Click();  // "<<"
    void List1_DblClick();
    void List2_DblClick();
    void PushButton3_Click();  // "Next >"
    void PushButton2_Click();  // "< Back"
    void Form_Unload() override;

    Frame* Frame1;
    DataGrid* DataGrid1;
    Frame* Frame2;
    ListBox* List1;
    ListBox* List2;
    PushButton* PushButton5;
    PushButton* PushButton6;
    PushButton* PushButton7;
    PushButton* PushButton8;
    PushButton* PushButton2;
    PushButton* PushButton3;

private:
    // ">" and "<": the selected entry of `from` moves to the end of `to`.
    void moveSelected(ListBox& from, ListBox& to);
    void moveAll(ListBox& from, ListBox& to);
    // The button-state rule, with its statement labels from `first` on; without a trap for the
    // double-clicks.
    void applyButtonStates(Trap* trap, int first);
    // The double-clicks: ">" and "<" without the test for a selection.
    void moveSelectedUntrapped(ListBox& from, ListBox& to);
};

}  // namespace app
