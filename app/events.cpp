#include "app/events.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QPointer>
#include <memory>
#include <utility>
#include <vector>

namespace app {
namespace {

struct Yielding {
    int depth = 0;
    std::vector<std::pair<QPointer<QObject>, std::unique_ptr<QEvent>>> held;
};

Yielding& yielding() {
    static Yielding state;
    return state;
}

bool isUserInput(QEvent::Type type) {
    switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
            return true;
        default:
            return false;
    }
}

}  // namespace

void DoEvents() {
    struct Depth {
        Depth() { ++yielding().depth; }
        ~Depth() { --yielding().depth; }
    } depth;
    // Input from the window system stays queued under this flag; input already posted is held
    // by the application's dispatch (holdUserInputWhileYielding).
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

bool holdUserInputWhileYielding(QObject* receiver, QEvent* event) {
    if (yielding().depth == 0 || !isUserInput(event->type())) return false;
    yielding().held.emplace_back(receiver, std::unique_ptr<QEvent>(event->clone()));
    return true;
}

void releaseHeldUserInput() {
    if (yielding().depth > 0 || yielding().held.empty()) return;
    auto held = std::exchange(yielding().held, {});
    for (auto& [receiver, event] : held) {
        if (receiver) QCoreApplication::postEvent(receiver, event.release());
    }
}

}  // namespace app
