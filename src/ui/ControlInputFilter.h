#pragma once

#include <QObject>
#include <map>

#include "ports/ControlId.h"

class QWidget;

namespace vantor::ui {

// Watches the window's controls for the input the console needs to hear of beyond clicks and
// edits: a focus arriving or leaving, and a printable key typed into a full address field.
// Such a key is swallowed and reported, so the refused character never reaches a field.
class ControlInputFilter final : public QObject {
    Q_OBJECT

  public:
    explicit ControlInputFilter(QObject* parent = nullptr);

    void watch(QWidget* control, ControlId id);

  Q_SIGNALS:
    void fieldFull(vantor::ControlId id);
    void focusGained(vantor::ControlId id);
    // Only for a focus the operator moved: not when the window merely lost its activation or a
    // menu popped up, after which the focus comes back to the same control.
    void focusLost(vantor::ControlId id);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    std::map<const QObject*, ControlId> controls_;
};

}  // namespace vantor::ui
