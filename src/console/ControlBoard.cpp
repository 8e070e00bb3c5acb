#include "console/ControlBoard.h"

#include "console/ConsoleView.h"

namespace vantor {

ControlBoard::ControlBoard() {
    for (ControlId id : kAllControls) {
        controls_[id] = ControlState{};
    }
}

ControlState& ControlBoard::at(ControlId id) {
    return controls_[id];
}

void ControlBoard::attach(ConsoleView* view) {
    std::map<ControlId, ControlState> snapshot;
    std::optional<ControlId> focused;
    {
        std::lock_guard lock(mutex_);
        view_ = view;
        snapshot = controls_;
        focused = focused_;
    }
    if (view == nullptr) {
        return;
    }
    for (const auto& [id, state] : snapshot) {
        view->setTextLimit(id, state.textLimit);
        view->setText(id, state.text);
        view->setEnabled(id, state.enabled);
        view->setVisible(id, state.visible);
        view->setChecked(id, state.checked);
        view->setReadOnly(id, state.readOnly);
    }
    if (focused) {
        view->focus(*focused);
    }
}

// The view is called outside the board's mutex: a view may report input back (a focus
// change, say) while it carries out a change, and that report lands here again.
template <typename T>
void ControlBoard::change(ControlId id, T ControlState::*member, const T& value,
                          void (ConsoleView::*show)(ControlId, T)) {
    ConsoleView* view = nullptr;
    {
        std::lock_guard lock(mutex_);
        at(id).*member = value;
        view = view_;
    }
    if (view != nullptr) {
        (view->*show)(id, value);
    }
}

void ControlBoard::setEnabled(ControlId id, bool on) {
    change(id, &ControlState::enabled, on, &ConsoleView::setEnabled);
}
void ControlBoard::setVisible(ControlId id, bool on) {
    change(id, &ControlState::visible, on, &ConsoleView::setVisible);
}
void ControlBoard::setChecked(ControlId id, bool on) {
    change(id, &ControlState::checked, on, &ConsoleView::setChecked);
}
void ControlBoard::setReadOnly(ControlId id, bool on) {
    change(id, &ControlState::readOnly, on, &ConsoleView::setReadOnly);
}
void ControlBoard::setTextLimit(ControlId id, int characters) {
    change(id, &ControlState::textLimit, characters, &ConsoleView::setTextLimit);
}
void ControlBoard::setText(ControlId id, const std::string& text) {
    ConsoleView* view = nullptr;
    {
        std::lock_guard lock(mutex_);
        at(id).text = text;
        view = view_;
    }
    if (view != nullptr) {
        view->setText(id, text);
    }
}

void ControlBoard::focus(ControlId id) {
    ConsoleView* view = nullptr;
    {
        std::lock_guard lock(mutex_);
        focused_ = id;
        view = view_;
    }
    if (view != nullptr) {
        view->focus(id);
    }
}

void ControlBoard::noteText(ControlId id, const std::string& text) {
    std::lock_guard lock(mutex_);
    at(id).text = text;
}

void ControlBoard::noteChecked(ControlId id, bool on) {
    std::lock_guard lock(mutex_);
    at(id).checked = on;
}

void ControlBoard::noteFocus(ControlId id) {
    std::lock_guard lock(mutex_);
    focused_ = id;
}

ControlState ControlBoard::state(ControlId id) const {
    std::lock_guard lock(mutex_);
    return controls_.at(id);
}

std::string ControlBoard::text(ControlId id) const {
    return state(id).text;
}
bool ControlBoard::checked(ControlId id) const {
    return state(id).checked;
}

std::optional<ControlId> ControlBoard::focused() const {
    std::lock_guard lock(mutex_);
    return focused_;
}

}  // namespace vantor
