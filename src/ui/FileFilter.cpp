#include "ui/FileFilter.h"

#include <QRegularExpression>
#include <QStringList>

#include "ui/TextConversion.h"

namespace vantor::ui {

QString FileFilter::toQt(const std::string& filter) {
    const QString text = toQString(filter);
    if (!text.contains(QLatin1Char('|'))) {
        return text;
    }
    const QStringList parts = text.split(QLatin1Char('|'));
    QStringList entries;
    static const QRegularExpression trailingPatterns(QStringLiteral("\\s*\\([^()]*\\)\\s*$"));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i];
        const QString patterns = parts[i + 1].trimmed();
        if (description.isEmpty() && patterns.isEmpty()) {
            break;  // the "||" that ends the list
        }
        // The description often shows the patterns already; Qt reads them from the brackets.
        description.remove(trailingPatterns);
        QStringList list = patterns.split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& pattern : list) {
            pattern = pattern.trimmed();
        }
        entries << description + QStringLiteral(" (") + list.join(QLatin1Char(' ')) +
                       QLatin1Char(')');
    }
    return entries.join(QStringLiteral(";;"));
}

}  // namespace vantor::ui
