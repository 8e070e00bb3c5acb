#pragma once

#include <QObject>

#include "base/TerminationSignalFd.h"

class QSocketNotifier;

namespace vantor::ui {

// SIGINT and SIGTERM as a Qt signal, so that Ctrl+C in the terminal or a kill closes the
// window the ordinary way, stopping every worker first, instead of ending the process in the
// middle of whatever the workers were doing. block() must run before any thread starts
// (before the QApplication, which starts threads of its own), so that no thread takes the
// signals with their default action.
class TerminationSignals final : public QObject {
    Q_OBJECT

  public:
    static void block();

    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    // Whether the signals can be watched (the descriptor could be made).
    bool watching() const { return signals_.fd() >= 0; }
    // The signal descriptor, for watching it while this thread is busy (see CloseRequestWatch).
    int fd() const { return signals_.fd(); }

  Q_SIGNALS:
    void received();

  private:
    void readPending();

    TerminationSignalFd signals_;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace vantor::ui
