#pragma once

#include <QColor>
#include <QPixmap>
#include <QString>

#include "ports/BannerState.h"

namespace vantor::ui {

// Draws the banner images at run time: white text centred on a coloured band. The first image
// of a pair is blue; the second carries the same text on red for an instruction and on green
// for a button, so that alternating the two makes the banner blink.
class BannerPainter {
  public:
    struct Design {
        QString text;
        QColor second;  // the colour of the second image
    };

    static Design design(BannerPair pair);
    static QColor firstColour();
    static QPixmap paint(BannerPair pair, bool firstImage);
};

}  // namespace vantor::ui
