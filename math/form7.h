// The new computed field: the chosen fields combined by one operation into a new integer field
// of the name the user types.
#pragma once

#include "app/controls/text_box.h"
#include "math/operation_window.h"

namespace app {

class Form7 final : public OperationWindow {
    Q_OBJECT
public:
    Form7();
    void Form_Load();
    void PushButton4_Click();  // "Apply"

    TextBox* Text1;
};

}  // namespace app
