// Letting the window's pending events run from inside a handler, without letting the user start
// another handler in the middle of it.
#pragma once

class QEvent;
class QObject;

namespace app {

// Runs the events that are waiting (painting, timers, the grid reading its rows) once. The
// user's clicks and keys that arrive meanwhile wait until the running handler has finished.
void DoEvents();

// For the application's event dispatch: while DoEvents runs, a click, key or wheel event is
// taken aside (true) instead of delivered; once the outermost dispatch has ended, what was
// taken aside is posted again, in order, to the objects that still exist.
bool holdUserInputWhileYielding(QObject* receiver, QEvent* event);
void releaseHeldUserInput();

}  // namespace app
