// The start-up window and the wizard's first step: which database, with which password. Its two
// boxes are the only place the path and the password are kept for the whole run, so the window
// stays loaded, hidden, while the later steps are on screen.
#pragma once

#include <QLabel>

#include "app/controls/frame.h"
#include "app/controls/push_button.h"
#include "app/controls/text_box.h"
#include "app/wizard_window.h"

namespace app {

class Form1 final : public WizardWindow {
    Q_OBJECT
public:
    Form1();

    // The start-up sequence. The program shows the window afterwards unless the automatic
    // "Next >" moved on to the table step (showAfterLoad()).
    void Form_Load();
    bool showAfterLoad() const { return !movedOnDuringLoad_; }

    void PushButton1_Click();  // "Load Sample/Example Database"
    void PushButton3_Click();  // "Next >"
    void PushButton5_Click();  // "..." browse
    void Text1_Change();
    void Text2_Change();
    void Text1_GotFocus();
    void Text2_GotFocus();
    void Form_Unload() override;

    Frame* Frame1;
    QLabel* Label5;
    TextBox* Text1;
    PushButton* PushButton5;
    QLabel* lblPassword;
    TextBox* Text2;
    PushButton* PushButton1;
    PushButton* PushButton3;

private:
    bool loading_ = false;
    bool movedOnDuringLoad_ = false;
};

}  // namespace app
