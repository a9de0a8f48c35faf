#include "app/wizard_application.h"

#include <cstdio>
#include <string>

#include "app/application_icon.h"
#include "app/core/error_trap.h"
#include "app/core/globals.h"
#include "app/core/platform.h"
#include "app/main_module.h"

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
}

bool WizardApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        showUnhandled(currentFailureDescription());
        return false;
    }
}

}  // namespace app
