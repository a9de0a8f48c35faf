// Letting the window's pending events run from inside a handler, without letting the user start
// another handler in the middle of it.
//
// The user's input (clicks, keys, the wheel) that arrives while a handler runs is sorted by
// the application's dispatch (takeAsideUserInput):
// - aimed at a button whose action is running (IgnoredWhileRunning): dropped, always;
// - during a yield, aimed at a control the yield lets through (DoEventsReaching): delivered;
// - during any other yield: held, and posted again once the outermost handler has ended.
// Outside yields, and in a modal box opened inside one, input goes where it is aimed.
#pragma once

#include <initializer_list>

class QEvent;
class QObject;
class QWidget;

namespace app {

// Runs the events that are waiting (painting, timers, the grid reading its rows) once. The
// user's clicks and keys wait until the running handler has finished.
void DoEvents();

// The same, and the user's input is taken in too: what is aimed at the `reachable` controls
// (their popups included) reaches them now, input held for them earlier first; the rest is
// held or dropped as above.
void DoEventsReaching(std::initializer_list<QWidget*> reachable);

// While the engine works on a statement (db/busy_yield.h): painting and the window system's own
// messages only. The user's input stays queued, and no grid reads the database meanwhile.
void RepaintWhileBusy();

// Whether RepaintWhileBusy is running: nothing may read a database then.
bool engineAtWork();

// For the application's event dispatch: true when the event was held or dropped instead of
// delivered. The release posts what was held, in order, to the objects that still exist,
// once the outermost dispatch has ended.
bool takeAsideUserInput(QObject* receiver, QEvent* event);
void releaseHeldUserInput();

// While it lives, `button` is disabled and the user's input aimed at it is dropped, so that a
// running action cannot be started a second time, neither by clicks held during a yield nor by
// clicks still queued when the handler ends. Before it enables the button again, it takes in
// what the window system and the event queue still hold, dropping what is aimed at the button
// and holding the rest.
class IgnoredWhileRunning {
public:
    explicit IgnoredWhileRunning(QWidget* button);
    ~IgnoredWhileRunning();
    IgnoredWhileRunning(const IgnoredWhileRunning&) = delete;
    IgnoredWhileRunning& operator=(const IgnoredWhileRunning&) = delete;

private:
    QWidget* button_;
};

}  // namespace app
