#pragma once

#include <string>

#include "console/AddressFields.h"
#include "console/ControlBoard.h"

namespace vantor {

// Writes an address field's text as the program does: a full field moves the focus on, as
// typing it would (user-interface thread).
inline void writeAddressField(ControlBoard& board, ControlId id, const std::string& text) {
    board.setText(id, text);
    if (const auto next = AddressFields::moveOnAfterChange(id, text)) {
        board.focus(*next);
    }
}

}  // namespace vantor
