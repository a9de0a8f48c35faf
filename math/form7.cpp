#include "math/form7.h"

#include <algorithm>

#include "core/globals.h"
#include "db/access.h"
#include "jet/base/names.h"
#include "math/math_operation.h"

namespace app {

Form7::Form7() : OperationWindow("Form7", {5880, 4080, 5640, 800, 960, 3120, 3600}) {
    Text1 = new TextBox(Frame1);
    placeInput(Text1);
    Text1->SetText("NewFieldName");
    pointerAsBackground(Text1);
}

void Form7::Form_Load() {
    Trap trap("Form7.Form_Load");
    auto [cn, rs] = createDatabaseObjects(trap);
    SetUpWindow(trap, 104);
    fillOperations(trap, 116);
    trap(126, [&] { SetMousePointer(kHourglass); });
    showPreview(trap, cn, rs);
    trap(140, [&] { SetMousePointer(kDefaultPointer); });
}

namespace {

// The chosen fields' names: the field items with their brackets taken off.
bool namesAChosenField(const std::string& name, const std::string& selectedFieldsList) {
    for (std::string item : fieldItems(selectedFieldsList)) {
        if (item.starts_with('[')) item.erase(0, 1);
        if (item.ends_with(']')) item.pop_back();
        if (jet::namesEqual(item, name)) return true;
    }
    return false;
}

// Every "," of the list becomes the symbol; the blank after it stays.
std::string expressionOf(const std::string& selectedFieldsList, MathOperation operation) {
    std::string expression;
    for (char c : selectedFieldsList) {
        if (c == ',') {
            expression += symbolText(operation);
        } else {
            expression += c;
        }
    }
    return expression;
}

}  // namespace

bool Form7::createdEarlier(const std::string& table, const std::string& field) const {
    const std::string path = Globals::wizard().DatabasePath();
    return std::any_of(created_.begin(), created_.end(), [&](const Created& c) {
        return c.path == path && jet::namesEqual(c.table, table) && jet::namesEqual(c.field, field);
    });
}

void Form7::PushButton4_Click() {
    const ApplyRunning running(PushButton4);
    const auto& wizard = Globals::wizard();
    const std::string table = wizard.SelectedTable;
    const std::string name = Text1->Text();
    const std::string list = wizard.SelectedFieldsList;
    // The drop would remove a field the update is about to read.
    if (namesAChosenField(name, list)) {
        showMessage("The new field must have a name other than the fields being combined.");
        return;
    }

    Trap trap("Form7.PushButton4_Click");
    auto [cn, rs] = createDatabaseObjects(trap);
    trap(106, [&] { SetMousePointer(kHourglass); });
    trap(108, [&] { cn->SetMode(db::adModeReadWrite); });
    trap(110, [&] { cn->Open(db::BuildConnectionString()); });
    trap(112, [&] { cn->SetCursorLocation(db::adUseClient); });
    bool replaced = true;
    if (trap.condition(114, [&] { return db::FieldExists(table, name); })) {
        // A field of the user's own is only replaced when the user says so; the one an earlier
        // Apply made is ours, so repeating Apply gives the same result as applying once.
        auto answer = MessageAnswer::No;
        const bool ours = createdEarlier(table, name);
        if (!ours) {
            trap.assign(114, answer, [&] {
                return Globals::platform().messageBox(
                    "Field [" + name + "] already exists in table " + table +
                        ". Replace it? Its values will be lost.",
                    MessageButtons::YesNo, MessageIcon::None, Globals::applicationTitle(),
                    // Enter must not lose the field's values.
                    MessageAnswer::No);
            });
        }
        if (!ours && answer != MessageAnswer::Yes) {
            trap(136, [&] { SetMousePointer(kDefaultPointer); });
            return;
        }
        replaced =
            trap(116, [&] { cn->Execute("ALTER TABLE [" + table + "] DROP [" + name + "]"); });
    }
    const bool added = trap(
        118, [&] { cn->Execute("ALTER TABLE [" + table + "] ADD COLUMN [" + name + "] INT"); });
    if (added && !createdEarlier(table, name))
        created_.push_back({wizard.DatabasePath(), table, name});
    // Without a fresh field the update would overwrite the values of the one that stayed.
    if (replaced && added) {
        int label = 120;
        for (int index = 0; index < 4; ++index, label += 4) {
            if (!trap.condition(label, [&] { return Combo1->currentIndex() == index; })) continue;
            trap(label + 2, [&] {
                cn->Execute("update [" + table + "] set [" + name +
                            "]=" + expressionOf(list, *mathOperationAt(index)));
            });
            break;
        }
    }
    trap(136, [&] { SetMousePointer(kDefaultPointer); });
    showRefreshed(trap, 138, cn, rs);
}

}  // namespace app
