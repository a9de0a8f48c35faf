#include "math/form5.h"

#include "app/controls/events.h"
#include "core/failure.h"
#include "core/globals.h"
#include "db/access.h"
#include "math/constant_number.h"
#include "math/math_operation.h"

namespace app {
namespace {

constexpr const char* kNotANumber = "The text you entered does not appear to be a number.";
constexpr const char* kZeroDivisor = "Cannot divide by zero. Please enter a number other than 0.";

// The constant as the loop reads it, afresh for each field item: the text may have changed
// while the loop yielded.
double constantOf(const TextBox& text) {
    const auto value = readConstant(QString::fromStdString(text.Text()));
    if (!value) throw Failure(13, "Type mismatch");
    return *value;
}

// Why Apply goes no further, or nullptr: the text is no number, or a zero to divide by.
const char* refusalOf(const std::string& text, int operation) {
    const auto number = readConstant(QString::fromStdString(text));
    if (!number) return kNotANumber;
    if (*number == 0 && operation == static_cast<int>(MathOperation::Divide)) return kZeroDivisor;
    return nullptr;
}

std::string constantStatement(const std::string& item, MathOperation operation, double number) {
    return "UPDATE [" + Globals::wizard().SelectedTable + "] SET " + item + " = " + item +
           constantOperatorText(operation) + sqlNumber(number);
}

}  // namespace

Form5::Form5() : OperationWindow("Form5", {5880, 4200, 5640, 830, 1080, 3240, 3720}) {
    Text1 = new TextBox(Frame1);
    placeInput(Text1);
    pointerAsBackground(Text1);
}

void Form5::Form_Load() {
    Trap trap("Form5.Form_Load");
    auto [cn, rs] = createDatabaseObjects(trap);
    SetUpWindow(trap, 104);
    trap(116, [&] { Text1->SetText("1"); });
    fillOperations(trap, 118);
    showPreview(trap, cn, rs);
}

void Form5::PushButton4_Click() {
    const ApplyRunning running(PushButton4);
    Trap trap("Form5.PushButton4_Click");
    auto [cn, rs] = createDatabaseObjects(trap);

    // A zero divisor is refused here, with the number, rather than skipped field by field.
    const char* refusal = kNotANumber;
    if (trap.condition(106, [&] {
            refusal = refusalOf(Text1->Text(), Combo1->currentIndex());
            return refusal != nullptr;
        })) {
        trap(166, [&] { showMessage(refusal); });
        return;
    }

    trap(108, [&] { SetMousePointer(kHourglass); });
    trap(110, [&] { cn->SetMode(db::adModeReadWrite); });
    trap(112, [&] { cn->Open(db::BuildConnectionString()); });
    trap(114, [&] { cn->SetCursorLocation(db::adUseClient); });
    std::vector<std::string> items;
    trap.assign(116, items, [] { return fieldItems(Globals::wizard().SelectedFieldsList); });
    for (const std::string& item : items) {
        // The number and the operation may change meanwhile: the next field items use them.
        trap(124, [&] { DoEventsReaching({Text1, Combo1}); });
        applyToItem(trap, *cn, item);
    }
    trap(158, [&] { SetMousePointer(kDefaultPointer); });
    showRefreshed(trap, 160, cn, rs);
}

// One statement for the field item, or none; the operation and the number are read afresh.
void Form5::applyToItem(Trap& trap, db::Connection& cn, const std::string& item) {
    // Add, Subtract and Multiply: test at 126, 132, 138; build two labels on, execute four on.
    for (const MathOperation operation :
         {MathOperation::Add, MathOperation::Subtract, MathOperation::Multiply}) {
        const int label = 126 + 6 * static_cast<int>(operation);
        if (trap.condition(label,
                           [&] { return Combo1->currentIndex() == static_cast<int>(operation); })) {
            std::string statement;
            if (trap.assign(label + 2, statement, [&] {
                    return constantStatement(item, operation, constantOf(*Text1));
                })) {
                trap(label + 4, [&] { cn.Execute(statement); });
            }
            return;
        }
    }
    if (trap.condition(144, [&] {
            return Combo1->currentIndex() == static_cast<int>(MathOperation::Divide);
        })) {
        std::optional<double> divisor;
        trap.assign(146, divisor, [&] {
            const double number = constantOf(*Text1);
            if (number == 0) throw Failure(11, "Division by zero");
            return std::optional<double>(number);
        });
        if (!divisor) return;
        std::string statement;
        if (trap.assign(148, statement,
                        [&] { return constantStatement(item, MathOperation::Divide, *divisor); })) {
            trap(150, [&] { cn.Execute(statement); });
        }
    }
}

}  // namespace app
