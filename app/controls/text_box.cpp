#include "app/controls/text_box.h"

#include <algorithm>
#include <climits>

#include "app/controls/mouse_move.h"
#include "app/controls/untrapped.h"
#include "core/failure.h"

namespace app {
namespace {

// What the platform's text box raises for a negative selection.
void requireNotNegative(int value) {
    if (value < 0) throw Failure(380, "Invalid property value");
}

}  // namespace

TextBox::TextBox(QWidget* parent) : QLineEdit(parent) {
    setMouseTracking(true);
    // The platform's text box holds far more than QLineEdit's default of 32767 characters.
    setMaxLength(INT_MAX);
    connect(this, &QLineEdit::textChanged, this, [this] { untrapped([this] { emit Change(); }); });
}

std::string TextBox::Text() const { return text().toStdString(); }

void TextBox::SetText(const std::string& text) { setText(QString::fromStdString(text)); }

void TextBox::SetSelStart(int start) {
    requireNotNegative(start);
    setCursorPosition(std::min(start, static_cast<int>(text().size())));
}

void TextBox::SetSelLength(int length) {
    requireNotNegative(length);
    const int start = hasSelectedText() ? selectionStart() : cursorPosition();
    setSelection(start, std::min(length, static_cast<int>(text().size()) - start));
}

void TextBox::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    // The box had the focus all along when its own context menu closes.
    if (event->reason() != Qt::PopupFocusReason) untrapped([this] { emit GotFocus(); });
}

void TextBox::mouseMoveEvent(QMouseEvent* event) {
    QLineEdit::mouseMoveEvent(event);
    forwardMouseMove(event, [this](int b, int s, int x, int y) { emit MouseMove(b, s, x, y); });
}

}  // namespace app
