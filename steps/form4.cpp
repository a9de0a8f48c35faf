#include "steps/form4.h"

#include <QEvent>
#include <QLabel>
#include <QStyle>
#include <tuple>

#include "app/forms.h"
#include "app/main_module.h"
#include "core/error_trap.h"
#include "core/globals.h"
#include "db/access.h"
#include "db/connection.h"
#include "db/objects.h"
#include "db/recordset.h"

namespace app {
namespace {

// An option button whose long caption wraps, as the designed 615-twip height expects. The
// caption is a label over the button, so the whole area counts as the button for a click.
class WrappingOption final : public QRadioButton {
public:
    using QRadioButton::QRadioButton;

protected:
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};

QRadioButton* optionButton(const char* caption, QWidget* parent) {
    auto* option = new WrappingOption(parent);
    auto* text = new QLabel(caption, option);
    text->setWordWrap(true);
    text->setAttribute(Qt::WA_TransparentForMouseEvents);
    const int indicator = option->style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth) + 6;
    text->setGeometry(indicator, 0, WizardWindow::twips(5175) - indicator,
                      WizardWindow::twips(615));
    text->setAlignment(Qt::AlignVCenter | Qt::AlignLeft);
    option->setAccessibleName(caption);
    return option;
}

}  // namespace

Form4::Form4() {
    setClientSizeTwips(5880, 2880);
    setFont(arialFont(9, true));

    Frame1 = new Frame("Math Options", this);
    placeTwips(Frame1, 120, 120, 5640, 2175);
    Option1 = optionButton(
        "Add, subtract, multiply or divide constant number to previously selected field(s)",
        Frame1);
    placeTwips(Option1, 240, 240, 5175, 615);
    Option2 = optionButton(
        "Add, subtract, multiply or divide 1 field by previously selected field(s)", Frame1);
    placeTwips(Option2, 240, 840, 5175, 615);
    Option3 = optionButton(
        "Add, subtract, multiply or divide previously selected field(s) together and put "
        "results in new field.",
        Frame1);
    placeTwips(Option3, 240, 1440, 5175, 615);
    Option1->setChecked(true);

    std::tie(PushButton2, PushButton5) = addBackAndNext(
        2400, "Next >", [this] { PushButton2_Click(); }, [this] { PushButton5_Click(); });
    pointerAsBackground(Frame1);
    // Option3 has no mouse-move handler of its own: over it the pointer stays as it was.
    for (QRadioButton* option : {Option1, Option2}) {
        option->setMouseTracking(true);
        option->installEventFilter(this);
    }
}

bool Form4::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseMove && (watched == Option1 || watched == Option2)) {
        untrapped([this] { PointerOverBackground(); });
    }
    return WizardWindow::eventFilter(watched, event);
}

void Form4::Form_Load() {
    Trap trap("Form4.Form_Load");
    SetUpWindow(trap, 100);
}

void Form4::PushButton5_Click() {
    Trap trap("Form4.PushButton5_Click");
    Forms& forms = Forms::current();
    if (trap.condition(100, [&] { return Option1->isChecked(); })) {
        trap(102, [&] { forms.window(Step::ConstantOperation).show(); });
    } else if (trap.condition(104, [&] { return Option2->isChecked(); })) {
        trap(106, [&] { forms.window(Step::FieldOperation).show(); });
    } else if (trap.condition(108, [&] { return Option3->isChecked(); })) {
        trap(110, [&] { forms.window(Step::NewField).show(); });
    }
    trap(112, [&] { hide(); });
}

void Form4::PushButton2_Click() {
    Trap trap("Form4.PushButton2_Click");
    const auto& wizard = Globals::wizard();
    std::shared_ptr<db::Connection> cn;
    std::shared_ptr<db::Recordset> rs;
    trap.assign(100, cn, [] { return db::CreateObject<db::Connection>("ADODB.Connection"); });
    trap.assign(102, rs, [] { return db::CreateObject<db::Recordset>("ADODB.RecordSet"); });
    trap(106, [&] { SetMousePointer(kHourglass); });
    trap(108, [&] { cn->SetMode(db::adModeReadWrite); });
    trap(110, [&] { cn->Open(db::BuildConnectionString()); });
    Forms::current().FillFieldStep(trap, 112, cn, rs, wizard.SelectedTable);
    trap(160, [&] { hide(); });
    trap(162, [&] { SetMousePointer(kDefaultPointer); });
}

void Form4::Form_Unload() { Forms::current().EndProgram(); }

}  // namespace app
