// The table step: the tables of the chosen database in one list, one to pick. The database
// step fills the list before it shows this window.
#pragma once

#include "app/controls/frame.h"
#include "app/controls/list_box.h"
#include "app/controls/push_button.h"
#include "app/wizard_window.h"

namespace app {

class Form2 final : public WizardWindow {
    Q_OBJECT
public:
    Form2();

    void Form_Load();
    void PushButton2_Click();  // "< Back"
    void PushButton3_Click();  // "Next >"
    void Form_Unload() override;

    Frame* Frame1;
    ListBox* List1;
    PushButton* PushButton2;
    PushButton* PushButton3;
};

}  // namespace app
