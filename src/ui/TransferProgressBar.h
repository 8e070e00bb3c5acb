#pragma once

#include <QProgressBar>
#include <string>

#include "ports/TransferProgress.h"

namespace vantor::ui {

// The progress of a transfer, in the free band of the window's bottom frame: the name and the
// percentage on a bar. Hidden while no transfer runs; it never moves another control. With
// several transfers at once it follows the one reported last; the end of another transfer
// leaves it alone.
class TransferProgressBar final : public QProgressBar {
    Q_OBJECT

  public:
    explicit TransferProgressBar(QWidget* parent);

    void showProgress(const TransferProgress& progress);

  private:
    std::string device_;  // the transfer shown
    std::string name_;
};

}  // namespace vantor::ui
