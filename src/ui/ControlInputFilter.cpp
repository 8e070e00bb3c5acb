#include "ui/ControlInputFilter.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>

#include "console/AddressFields.h"

namespace vantor::ui {

namespace {

bool typesACharacter(const QKeyEvent& key) {
    const Qt::KeyboardModifiers commands = Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
    return (key.modifiers() & commands) == 0 && !key.text().isEmpty() && key.text().at(0).isPrint();
}

// The field would refuse the character: it is editable, full, and no selection would be
// replaced by it.
bool refuses(const QLineEdit& field) {
    return field.isEnabled() && !field.isReadOnly() && !field.hasSelectedText() &&
           field.text().size() >= field.maxLength();
}

}  // namespace

ControlInputFilter::ControlInputFilter(QObject* parent) : QObject(parent) {}

void ControlInputFilter::watch(QWidget* control, ControlId id) {
    controls_[control] = id;
    control->installEventFilter(this);
}

bool ControlInputFilter::eventFilter(QObject* watched, QEvent* event) {
    const auto found = controls_.find(watched);
    if (found == controls_.end()) {
        return false;
    }
    const ControlId id = found->second;
    switch (event->type()) {
        case QEvent::KeyPress: {
            const auto* field = qobject_cast<const QLineEdit*>(watched);
            if (field != nullptr && AddressFields::isAddressField(id) &&
                typesACharacter(*static_cast<QKeyEvent*>(event)) && refuses(*field)) {
                Q_EMIT fieldFull(id);
                return true;
            }
            break;
        }
        case QEvent::FocusIn:
            Q_EMIT focusGained(id);
            break;
        case QEvent::FocusOut: {
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
                Q_EMIT focusLost(id);
            }
            break;
        }
        default:
            break;
    }
    return false;
}

}  // namespace vantor::ui
