#include "app/controls/mouse_move.h"

#include "app/controls/untrapped.h"

namespace app {

void forwardMouseMove(QMouseEvent* event,
                      const std::function<void(int button, int shift, int x, int y)>& emitMove) {
    const Qt::MouseButtons held = event->buttons();
    const int button = (held & Qt::LeftButton ? 1 : 0) | (held & Qt::RightButton ? 2 : 0) |
                       (held & Qt::MiddleButton ? 4 : 0);
    const Qt::KeyboardModifiers keys = event->modifiers();
    const int shift = (keys & Qt::ShiftModifier ? 1 : 0) | (keys & Qt::ControlModifier ? 2 : 0) |
                      (keys & Qt::AltModifier ? 4 : 0);
    // 15 twips to the pixel: the unit the windows are laid out in.
    const QPoint at = event->position().toPoint() * 15;
    untrapped([&] { emitMove(button, shift, at.x(), at.y()); });
    event->accept();
}

}  // namespace app
