#include "app/controls/untrapped.h"

#include <QtGlobal>

#include "core/error_trap.h"
#include "core/globals.h"

namespace app {

void untrapped(const std::function<void()>& handler) noexcept {
    try {
        handler();
    } catch (...) {
        showPlainMessage(currentFailureDescription());
    }
}

void showPlainMessage(const std::string& text) noexcept {
    try {
        Globals::platform().messageBox(text, MessageButtons::Ok, MessageIcon::None,
                                       Globals::applicationTitle());
    } catch (...) {
        qWarning("%s", text.c_str());
    }
}

}  // namespace app
