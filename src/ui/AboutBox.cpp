#include "ui/AboutBox.h"

#include <QLabel>
#include <QPushButton>

#include "base/Product.h"
#include "ui/CaptionFit.h"
#include "ui/DialogUnits.h"
#include "ui/ProgramIcon.h"
#include "ui/TextConversion.h"
#include "ui/WindowLayout.h"

namespace vantor::ui {

namespace {

constexpr int kIconPixels = 32;
constexpr const char* kKitPrefix = "Recovery kit: ";

}  // namespace

AboutBox::AboutBox(const std::string& recoveryKit, QWidget* parent)
    : QDialog(parent),
      text_(new QLabel(this)),
      kit_(new QLabel(this)),
      ok_(new QPushButton(QStringLiteral("OK"), this)) {
    setWindowTitle(toQString(kAboutTitle));
    setWindowIcon(ProgramIcon::icon());
    setModal(true);
    setFont(DialogUnits::font());
    setFixedSize(DialogUnits::toPixels(layout::kAboutWidth, layout::kAboutHeight));

    auto* icon = new QLabel(this);
    icon->setPixmap(ProgramIcon::pixmap(kIconPixels));
    icon->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    icon->setGeometry(DialogUnits::toPixels(layout::kAboutIcon));

    text_->setText(toQString(kAboutText));
    text_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    text_->setGeometry(DialogUnits::toPixels(layout::kAboutText));
    CaptionFit::fit(*text_);

    // A kit folder can be a long path: its middle gives way, and the tooltip has it whole.
    const QString kit = QString::fromLatin1(kKitPrefix) + toQString(recoveryKit);
    kit_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    kit_->setGeometry(DialogUnits::toPixels(layout::kAboutKit));
    kit_->setText(kit);
    CaptionFit::fit(*kit_);
    if (kit_->sizeHint().width() > kit_->width()) {
        kit_->setText(kit_->fontMetrics().elidedText(kit, Qt::ElideMiddle, kit_->width()));
        kit_->setToolTip(kit);
    }

    ok_->setGeometry(DialogUnits::toPixels(layout::kAboutOk));
    ok_->setDefault(true);
    ok_->setFocus();
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace vantor::ui
