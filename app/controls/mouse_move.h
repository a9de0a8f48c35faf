// The mouse-move event every control offers the window's pointer rule.
#pragma once

#include <QMouseEvent>
#include <functional>

namespace app {

// Calls `emitMove` with the event's four arguments (the buttons held: 1 left, 2 right, 4 middle;
// the keys held: 1 Shift, 2 Ctrl, 4 Alt; x and y in twips), under `untrapped`. The event is then
// accepted: a move over a control is not also a move over what lies beneath it, or the window
// would take back the pointer the control's handler just set.
void forwardMouseMove(QMouseEvent* event,
                      const std::function<void(int button, int shift, int x, int y)>& emitMove);

}  // namespace app
