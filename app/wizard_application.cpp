#include "app/wizard_application.h"

#include <cstdio>
#include <string>

#include "app/application_icon.h"
#include "app/controls/events.h"
#include "app/main_module.h"
#include "core/error_trap.h"
#include "core/globals.h"
#include "core/platform.h"
#include "db/busy_yield.h"

namespace app {
namespace {

void showUnhandled(const std::string& description) {
    try {
        const std::string& title = Globals::applicationTitle();
        Globals::platform().messageBox(description, MessageButtons::Ok, MessageIcon::None,
                                       title.empty() ? kProductTitle : title);
    } catch (...) {
        // No box could be shown (no platform yet, or the box itself failed): say it where a
        // developer will see it rather than end the program.
        std::fprintf(stderr, "quillfen: %s\n", description.c_str());
    }
}

}  // namespace

WizardApplication::WizardApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setWindowIcon(applicationIcon());
    // Ties the windows to quillfen.desktop, whose icon the desktop then shows.
    setDesktopFileName(QStringLiteral("quillfen"));
    // The wizard decides when it ends (closing a step window ends it at once). Between two
    // steps, or while a message box shows over hidden windows, no window may be visible, and
    // that must not end the program.
    setQuitOnLastWindowClosed(false);
    // A long statement must not freeze the windows (db/busy_yield.h).
    db::setBusyYield(&RepaintWhileBusy);
}

bool WizardApplication::notify(QObject* receiver, QEvent* event) {
    if (takeAsideUserInput(receiver, event)) return true;
    bool handled = false;
    ++dispatchDepth_;
    try {
        handled = QApplication::notify(receiver, event);
    } catch (...) {
        showUnhandled(currentFailureDescription());
    }
    // The handler that yielded has finished: the input it held back may run now.
    if (--dispatchDepth_ == 0) releaseHeldUserInput();
    return handled;
}

}  // namespace app
