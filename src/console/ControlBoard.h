#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "ports/ControlId.h"

namespace vantor {

class ConsoleView;

struct ControlState {
    std::string text;
    bool enabled = true;
    bool visible = true;
    bool checked = false;
    bool readOnly = false;
    int textLimit = 0;  // 0: no limit
};

// The state of every control of the main window. The console changes controls only here;
// the board keeps the state and mirrors each change to the attached view. Input that the
// operator made in the view is noted without being echoed back.
class ControlBoard {
  public:
    ControlBoard();

    // Attaches a view (or none) and shows it the whole current state.
    void attach(ConsoleView* view);

    void setEnabled(ControlId id, bool on);
    void setVisible(ControlId id, bool on);
    void setChecked(ControlId id, bool on);
    void setText(ControlId id, const std::string& text);
    void setReadOnly(ControlId id, bool on);
    void setTextLimit(ControlId id, int characters);
    void focus(ControlId id);

    // What the operator did in the view.
    void noteText(ControlId id, const std::string& text);
    void noteChecked(ControlId id, bool on);
    void noteFocus(ControlId id);

    ControlState state(ControlId id) const;
    std::string text(ControlId id) const;
    bool checked(ControlId id) const;
    std::optional<ControlId> focused() const;

  private:
    ControlState& at(ControlId id);
    template <typename T>
    void change(ControlId id, T ControlState::*member, const T& value,
                void (ConsoleView::*show)(ControlId, T));

    mutable std::mutex mutex_;
    std::map<ControlId, ControlState> controls_;
    std::optional<ControlId> focused_;
    ConsoleView* view_ = nullptr;
};

}  // namespace vantor
