// The constant operation: each chosen field of every record plus, minus, times or divided by
// the number the user types.
#pragma once

#include "app/controls/text_box.h"
#include "math/operation_window.h"

namespace app {

class Form5 final : public OperationWindow {
    Q_OBJECT
public:
    Form5();
    void Form_Load();
    void PushButton4_Click() override;  // "Apply"

    TextBox* Text1;

private:
    void applyToItem(Trap& trap, db::Connection& cn, const std::string& item);
};

}  // namespace app
