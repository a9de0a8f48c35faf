#include "app/controls/push_button.h"

#include "app/controls/mouse_move.h"

namespace app {

PushButton::PushButton(const QString& caption, QWidget* parent) : QPushButton(caption, parent) {
    setMouseTracking(true);
    setAutoDefault(false);
}

void PushButton::mouseMoveEvent(QMouseEvent* event) {
    QPushButton::mouseMoveEvent(event);
    forwardMouseMove(event, [this](int b, int s, int x, int y) { emit MouseMove(b, s, x, y); });
}

}  // namespace app
