#include "ui/TerminationSignals.h"

#include <QSocketNotifier>

namespace vantor::ui {

void TerminationSignals::block() {
    TerminationSignalFd::block();
}

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
    if (signals_.fd() < 0) {
        return;
    }
    notifier_ = new QSocketNotifier(signals_.fd(), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::readPending);
}

TerminationSignals::~TerminationSignals() {
    if (notifier_ != nullptr) {
        notifier_->setEnabled(false);
    }
}

void TerminationSignals::readPending() {
    if (signals_.drain()) {
        Q_EMIT received();
    }
}

}  // namespace vantor::ui
