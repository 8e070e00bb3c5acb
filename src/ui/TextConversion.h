// Texts between the console (UTF-8 std::string) and Qt.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace vantor::ui {

inline QString toQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string toStdString(const QString& text) {
    return text.toStdString();
}

}  // namespace vantor::ui
