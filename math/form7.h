// The new computed field: the chosen fields combined by one operation into a new integer field
// of the name the user types.
#pragma once

#include <string>
#include <vector>

#include "app/controls/text_box.h"
#include "math/operation_window.h"

namespace app {

class Form7 final : public OperationWindow {
    Q_OBJECT
public:
    Form7();
    void Form_Load();
    void PushButton4_Click() override;  // "Apply"

    TextBox* Text1;

private:
    // Whether the field is one an earlier Apply of this run added.
    bool createdEarlier(const std::string& table, const std::string& field) const;

    // Database path, table and name of every field this window added.
    struct Created {
        std::string path, table, field;
    };
    std::vector<Created> created_;
};

}  // namespace app
