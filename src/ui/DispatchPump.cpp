#include "ui/DispatchPump.h"

#include "console/UiDispatcher.h"

namespace vantor::ui {

DispatchPump::DispatchPump(UiDispatcher& dispatcher, QObject* parent)
    : QObject(parent), dispatcher_(dispatcher) {
    dispatcher_.setWake([this] { wake(); });
}

DispatchPump::~DispatchPump() {
    dispatcher_.setWake({});
}

void DispatchPump::wake() {
    if (pending_.exchange(true)) {
        return;  // a drain is queued and has not begun: it will run this work too
    }
    QMetaObject::invokeMethod(this, &DispatchPump::drain, Qt::QueuedConnection);
}

void DispatchPump::drain() {
    // Cleared before draining: work queued from now on wakes another drain, so nothing is
    // left waiting in the queue once this one has finished.
    pending_.store(false);
    drains_.fetch_add(1);
    dispatcher_.drain();
}

}  // namespace vantor::ui
