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
    // The bar would fill in "%p", "%v" or "%m" of a name and has no escape for them: a '%' of
    // the name is shown as its full-width form.
    label.replace(QLatin1Char('%'), QChar(0xFF05));
    const auto steps = static_cast<int>(progress.done * kBarSteps / progress.total);
    setValue(steps);
    setFormat(label + QStringLiteral("  %1%").arg(steps / (kBarSteps / 100)));
    show();
}

}  // namespace vantor::ui
