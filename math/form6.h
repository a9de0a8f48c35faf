// The field-by-field operation: each chosen field of every record plus, minus, times or divided
// by one other field of the same record.
#pragma once

#include "math/operation_window.h"

namespace app {

class Form6 final : public OperationWindow {
    Q_OBJECT
public:
    Form6();
    void Form_Load();
    void PushButton4_Click() override;  // "Apply"

    QComboBox* Combo2;
};

}  // namespace app
