#pragma once

#include <QIcon>
#include <QPixmap>

namespace vantor::ui {

// The program's icon, drawn at run time: a device on a network link, in the banner's blue.
class ProgramIcon {
  public:
    static QIcon icon();
    static QPixmap pixmap(int size);
};

}  // namespace vantor::ui
