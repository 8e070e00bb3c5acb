#include "ui/RoutingTableDialog.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QVBoxLayout>
#include <algorithm>

namespace vantor::ui {

namespace {

const char* const kTitle = "Routing table detail";
constexpr int kColumnGap = 2;
// The box grows with the listing up to a width that still fits beside other windows; a wider
// listing scrolls.
constexpr int kMinimumTextWidth = 360;
constexpr int kMaximumTextWidth = 900;
constexpr int kTextHeight = 260;
constexpr int kTextFrameAllowance = 40;  // frame, margins and a vertical scroll bar

}  // namespace

QString RoutingTableDialog::alignColumns(const QString& listing) {
    const QStringList lines = listing.split(QLatin1Char('\n'));
    std::vector<qsizetype> widths;
    for (const QString& line : lines) {
        if (!line.contains(QLatin1Char('\t'))) {
            continue;
        }
        const QStringList cells = line.split(QLatin1Char('\t'));
        widths.resize(std::max(widths.size(), static_cast<std::size_t>(cells.size())), 0);
        for (qsizetype i = 0; i < cells.size(); ++i) {
            widths[static_cast<std::size_t>(i)] =
                std::max(widths[static_cast<std::size_t>(i)], cells[i].size());
        }
    }
    QStringList aligned;
    for (const QString& line : lines) {
        if (!line.contains(QLatin1Char('\t'))) {
            aligned << line;
            continue;
        }
        const QStringList cells = line.split(QLatin1Char('\t'));
        QString padded;
        for (qsizetype i = 0; i < cells.size(); ++i) {
            if (i + 1 < cells.size()) {
                padded += cells[i].leftJustified(widths[static_cast<std::size_t>(i)] + kColumnGap);
            } else {
                padded += cells[i];  // no blanks at the end of a line copied elsewhere
            }
        }
        aligned << padded;
    }
    return aligned.join(QLatin1Char('\n'));
}

RoutingTableDialog::RoutingTableDialog(const QString& listing, QWidget* parent)
    : QDialog(parent), text_(new QPlainTextEdit(this)) {
    setWindowTitle(QString::fromLatin1(kTitle));
    setModal(true);

    text_->setReadOnly(true);
    // Read-only text is selectable by mouse only; the keyboard's Ctrl+A and Ctrl+C copy too.
    text_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    text_->setPlainText(alignColumns(listing));
    int widest = 0;
    for (const QString& line : text_->toPlainText().split(QLatin1Char('\n'))) {
        widest = std::max(widest, text_->fontMetrics().horizontalAdvance(line));
    }
    text_->setMinimumSize(
        std::clamp(widest + kTextFrameAllowance, kMinimumTextWidth, kMaximumTextWidth),
        kTextHeight);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text_);
    layout->addWidget(buttons);
}

}  // namespace vantor::ui
