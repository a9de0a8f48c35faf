// The field step: the available fields on the left, the chosen ones on the right, and a preview
// of the whole table above them. The table step and the math option step have the window fill
// its available list and bind its grid (FillFromTable, through Forms); otherwise it only moves
// entries and keeps its buttons in step.
#pragma once

#include <memory>
#include <string>

#include "app/controls/data_grid.h"
#include "app/controls/frame.h"
#include "app/controls/list_box.h"
#include "app/controls/push_button.h"
#include "app/wizard_window.h"
#include "db/connection.h"
#include "db/recordset.h"

namespace app {

class Trap;

class Form3 final : public WizardWindow {
    Q_OBJECT
public:
    Form3();

    void Form_Load();

    // What the table step's "Next >" and the math option step's "< Back" both do here: show
    // the window, refill the available list from the table, bind the grid to the whole table,
    // set the buttons, and take out of the available list the fields already chosen. Both
    // handlers label these statements alike, from `first` (showing the window) in steps of 2,
    // with the same gaps.
    void FillFromTable(Trap& trap, int first, const std::shared_ptr<db::Connection>& cn,
                       const std::shared_ptr<db::Recordset>& rs, const std::string& table);

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
