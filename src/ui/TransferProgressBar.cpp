#include "ui/TransferProgressBar.h"

#include "base/PrintableText.h"
#include "ui/TextConversion.h"

namespace vantor::ui {
namespace {

// The bar counts in tenths of a percent: byte counts may exceed an int.
constexpr int kBarSteps = 1000;

}  // namespace

TransferProgressBar::TransferProgressBar(QWidget* parent) : QProgressBar(parent) {
    setRange(0, kBarSteps);
    setTextVisible(true);
    setAlignment(Qt::AlignCenter);
    hide();
}

void TransferProgressBar::showProgress(const TransferProgress& progress) {
    if (progress.complete()) {
        if (progress.device == device_ && progress.name == name_) {
            hide();
        }
        return;
    }
    device_ = progress.device;
    name_ = progress.name;
    QString label = toQString(printableText(progress.name));
    if (!progress.device.empty()) {
        label = toQString("[Device " + printableText(progress.device) + "] ") + label;
    }
    // The bar fills in its own "%p" (the percentage); a '%' of the name stays as it is.
    label.replace(QLatin1Char('%'), QStringLiteral("%%"));
    setFormat(label + QStringLiteral("  %p%"));
    setValue(static_cast<int>(progress.done * kBarSteps / progress.total));
    show();
}

}  // namespace vantor::ui
