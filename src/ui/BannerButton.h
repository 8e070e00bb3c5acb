#pragma once

#include <QAbstractButton>
#include <QPixmap>

namespace vantor::ui {

// The banner as a button: the whole face is the banner image, pressed in while held down.
// A push button's own frame and padding would shrink a 432-pixel image in a 435-pixel
// rectangle, so the image is drawn here instead.
class BannerButton final : public QAbstractButton {
    Q_OBJECT

  public:
    explicit BannerButton(QWidget* parent = nullptr);
    void setPixmap(const QPixmap& pixmap);
    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QPixmap pixmap_;
};

}  // namespace vantor::ui
