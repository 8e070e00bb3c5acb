#pragma once

#include <QString>
#include <string>

namespace vantor::ui {

// The console names file types the way the platform's open-file dialog of its origin does:
// "Description|pattern;pattern|...||". Qt wants "Description (pattern pattern);;...". A filter
// without a "|" is taken to be in Qt's form already.
class FileFilter {
  public:
    static QString toQt(const std::string& filter);
};

}  // namespace vantor::ui
