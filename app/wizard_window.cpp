#include "app/wizard_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QFontInfo>
#include <QThread>
#include <algorithm>
#include <cmath>

#include "app/application_icon.h"
#include "app/controls/mouse_move.h"
#include "app/controls/push_button.h"
#include "app/forms.h"
#include "app/main_module.h"
#include "core/error_trap.h"
#include "core/failure.h"
#include "core/files.h"

namespace app {

WizardWindow::WizardWindow(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setAttribute(Qt::WA_DeleteOnClose, false);
    connect(this, &WizardWindow::FormMouseMove, this, [this] { PointerOverBackground(); });
}

WizardWindow::~WizardWindow() = default;

int WizardWindow::twips(int t) { return static_cast<int>(std::lround(t / 15.0)); }

void WizardWindow::setClientSizeTwips(int width, int height) {
    setFixedSize(twips(width), twips(height));
}

void WizardWindow::placeTwips(QWidget* widget, int left, int top, int width, int height) {
    widget->setGeometry(twips(left), twips(top), twips(width), twips(height));
}

QFont WizardWindow::arialFont(double points, bool bold) {
    static const QString family = [] {
        QString arial = QStringLiteral("Arial");
        if (QFontInfo(QFont(arial)).family() == arial) return arial;
        const QString twin = QStringLiteral("Liberation Sans");
        return QFontDatabase::hasFamily(twin) ? twin : arial;
    }();
    QFont font(family);
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(points * 96.0 / 72.0))));
    font.setBold(bold);
    return font;
}

void WizardWindow::SetMousePointer(int value) {
    if (value != kDefaultPointer && value != kHourglass && value != kCustomPointer) {
        throw Failure(380, "Invalid property value");
    }
    if (value == pointer_) return;
    pointer_ = value;
    applyPointer();
}

void WizardWindow::SetMouseIcon(const QCursor& icon) {
    icon_ = icon;
    if (pointer_ == kCustomPointer) applyPointer();
}

void WizardWindow::PointerOverButton() {
    if (pointer_ != kHourglass) SetMousePointer(kCustomPointer);
}

void WizardWindow::PointerOverBackground() {
    if (pointer_ != kHourglass) SetMousePointer(kDefaultPointer);
}

void WizardWindow::applyPointer() {
    if (pointer_ == kDefaultPointer) {
        unsetCursor();
        for (const OwnCursor& own : overridden_) {
            if (!own.widget) continue;
            if (own.cursor) {
                own.widget->setCursor(*own.cursor);
            } else {
                own.widget->unsetCursor();
            }
        }
        overridden_.clear();
        return;
    }
    const QCursor cursor = pointer_ == kHourglass ? QCursor(Qt::WaitCursor)
                                                  : icon_.value_or(QCursor(Qt::PointingHandCursor));
    setCursor(cursor);
    for (QWidget* child : findChildren<QWidget*>()) {
        const bool known = std::any_of(overridden_.begin(), overridden_.end(),
                                       [&](const OwnCursor& own) { return own.widget == child; });
        if (!known) {
            overridden_.push_back({child, child->testAttribute(Qt::WA_SetCursor)
                                              ? std::optional<QCursor>(child->cursor())
                                              : std::nullopt});
        }
        child->setCursor(cursor);
    }
}

void WizardWindow::SetUpWindow(Trap& trap, int first) {
    trap(first, [&] { UseSystemColors(*this); });
    trap(first + 2, [&] { setWindowIcon(applicationIcon()); });
    if (trap.condition(first + 6, [&] { return FileExists(HandCursorFile()); })) {
        trap(first + 8, [&] { SetMouseIcon(LoadCursorFile(HandCursorFile())); });
    }
    trap(first + 10, [&] { setWindowTitle(kProductTitle); });
}

void WizardWindow::ShowInstead(Trap& trap, int first, Step step) {
    trap(first, [&] { Forms::current().window(step).show(); });
    trap(first + 2, [&] { hide(); });
}

PushButton* WizardWindow::addButton(const QString& caption, QWidget* parent, int left, int top,
                                    int width, int height, std::function<void()> onClick) {
    auto* button = new PushButton(caption, parent);
    button->setFont(arialFont(11.25, true));
    placeTwips(button, left, top, width, height);
    connect(button, &PushButton::MouseMove, this, [this] { PointerOverButton(); });
    if (onClick) connect(button, &PushButton::clicked, this, std::move(onClick));
    return button;
}

std::pair<PushButton*, PushButton*> WizardWindow::addBackAndNext(int top,
                                                                 const QString& nextCaption,
                                                                 std::function<void()> onBack,
                                                                 std::function<void()> onNext) {
    PushButton* back = addButton("< Back", this, 120, top, 2775, 405, std::move(onBack));
    PushButton* next = addButton(nextCaption, this, 3000, top, 2760, 405, std::move(onNext));
    return {back, next};
}

void WizardWindow::Form_Unload() { endProgram(); }

void WizardWindow::closeEvent(QCloseEvent* event) {
    untrapped([this] { Form_Unload(); });
    event->accept();
}

void WizardWindow::mouseMoveEvent(QMouseEvent* event) {
    QWidget::mouseMoveEvent(event);
    forwardMouseMove(event, [this](int b, int s, int x, int y) { emit FormMouseMove(b, s, x, y); });
}

void endProgram() {
    // Hidden, not closed: closing would run every window's own unload, which ending at once
    // does not ask.
    for (QWidget* window : QApplication::topLevelWidgets()) window->hide();
    if (QThread::currentThread()->loopLevel() > 0) {
        QCoreApplication::exit(0);
    } else {
        QMetaObject::invokeMethod(
            qApp, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
    }
}

}  // namespace app
