// The math option step: three options, and "Next >" to the operation window of the chosen one.
// "< Back" rebuilds the field step from the table as the database now holds it.
#pragma once

#include <QRadioButton>

#include "app/controls/frame.h"
#include "app/controls/push_button.h"
#include "app/wizard_window.h"

namespace app {

class Form4 final : public WizardWindow {
    Q_OBJECT
public:
    Form4();

    void Form_Load();
    void PushButton5_Click();  // "Next >"
    void PushButton2_Click();  // "< Back"
    void Form_Unload() override;

    Frame* Frame1;
    QRadioButton* Option1;
    QRadioButton* Option2;
    QRadioButton* Option3;
    PushButton* PushButton2;
    PushButton* PushButton5;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace app
