#include "app/controls/events.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QPointer>
#include <QThread>
#include <QWidget>
#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

namespace app {
namespace {

struct Yielding {
    int depth = 0;
    // The event loop level the innermost yield runs in; a modal box opened inside it runs a
    // loop of its own, whose input is the box's.
    int loopLevel = 0;
    bool engineAtWork = false;
    std::vector<QPointer<QWidget>> reachable;
    std::vector<QPointer<QWidget>> ignored;
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

// Whether `target` is one of `widgets` or lies inside one, across window boundaries (a list's
// popup is a window of its own, owned by the list).
bool aimedAt(const std::vector<QPointer<QWidget>>& widgets, const QObject* target) {
    for (const QObject* o = target; o != nullptr; o = o->parent()) {
        if (std::any_of(widgets.begin(), widgets.end(),
                        [o](const QPointer<QWidget>& w) { return w.data() == o; })) {
            return true;
        }
    }
    return false;
}

// One yield: nests, and puts back what it changed.
class Yield {
public:
    Yield()
        : outerLevel_(yielding().loopLevel),
          outerReachable_(std::move(yielding().reachable)),
          outerEngine_(yielding().engineAtWork) {
        ++yielding().depth;
        yielding().loopLevel = QThread::currentThread()->loopLevel();
        yielding().reachable.clear();
        yielding().engineAtWork = false;
    }
    ~Yield() {
        --yielding().depth;
        yielding().loopLevel = outerLevel_;
        yielding().reachable = std::move(outerReachable_);
        yielding().engineAtWork = outerEngine_;
    }
    Yield(const Yield&) = delete;
    Yield& operator=(const Yield&) = delete;

private:
    int outerLevel_;
    std::vector<QPointer<QWidget>> outerReachable_;
    bool outerEngine_;
};

}  // namespace

void DoEvents() {
    const Yield yield;
    // Input from the window system stays queued under this flag; input already posted is held
    // by the application's dispatch.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void DoEventsReaching(std::initializer_list<QWidget*> reachable) {
    const Yield yield;
    for (QWidget* w : reachable) yielding().reachable.emplace_back(w);
    // What was held for these controls during an earlier yield (the engine's, say) is theirs
    // now, before what arrives later.
    auto& held = yielding().held;
    for (auto it = held.begin(); it != held.end();) {
        if (it->first && aimedAt(yielding().reachable, it->first)) {
            QCoreApplication::postEvent(it->first, it->second.release());
            it = held.erase(it);
        } else {
            ++it;
        }
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void RepaintWhileBusy() {
    const Yield yield;
    yielding().engineAtWork = true;
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

bool engineAtWork() { return yielding().engineAtWork; }

bool takeAsideUserInput(QObject* receiver, QEvent* event) {
    if (!isUserInput(event->type())) return false;
    // The window system's input reaches a window first, which sends it on to the widget it is
    // for: judged there.
    if (!receiver->isWidgetType()) return false;
    Yielding& state = yielding();
    if (aimedAt(state.ignored, receiver)) return true;
    if (state.depth == 0 || QThread::currentThread()->loopLevel() > state.loopLevel) return false;
    if (aimedAt(state.reachable, receiver)) return false;
    state.held.emplace_back(receiver, std::unique_ptr<QEvent>(event->clone()));
    return true;
}

void releaseHeldUserInput() {
    if (yielding().depth > 0 || yielding().held.empty()) return;
    auto held = std::exchange(yielding().held, {});
    for (auto& [receiver, event] : held) {
        if (receiver) QCoreApplication::postEvent(receiver, event.release());
    }
}

IgnoredWhileRunning::IgnoredWhileRunning(QWidget* button) : button_(button) {
    button_->setEnabled(false);
    yielding().ignored.emplace_back(button_);
}

IgnoredWhileRunning::~IgnoredWhileRunning() {
    {
        // Clicks made while the handler ran without yielding are still in the queues; taken in
        // here, they meet the button while it is ignored.
        const Yield yield;
        QGuiApplication::sync();
    }
    auto& ignored = yielding().ignored;
    ignored.erase(std::remove(ignored.begin(), ignored.end(), button_), ignored.end());
    button_->setEnabled(true);
}

}  // namespace app
