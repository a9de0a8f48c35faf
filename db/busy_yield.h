// Keeping the windows alive while the engine works. An UPDATE of ten million rows takes seconds;
// a window that does not repaint for that long looks hung, and the desktop offers to kill the
// program in the middle of a write. The program installs a yield here (app/events.h: painting
// and the window system's own messages, no user input), and Execute has the engine call it
// about every tenth of a second while a statement runs.
#pragma once

#include <chrono>
#include <functional>

namespace jet {
class Database;
}

namespace db {

// REQUIRES: `yield` uses no database: it runs in the middle of a statement. An empty function
// removes it.
void setBusyYield(std::function<void()> yield);

// Runs the installed yield now, as the engine's progress would (tests).
void yieldWhileBusy();

// For the life of the object, the engine calls the installed yield during its work on
// `database`, at most once per `interval`.
class BusyYielding {
public:
    explicit BusyYielding(jet::Database& database,
                          std::chrono::milliseconds interval = std::chrono::milliseconds(100));
    ~BusyYielding();
    BusyYielding(const BusyYielding&) = delete;
    BusyYielding& operator=(const BusyYielding&) = delete;

private:
    jet::Database& database_;
};

}  // namespace db
