#pragma once

namespace vantor {

// The icon of a modal message box.
enum class MessageIcon { None, Information, Exclamation };

}  // namespace vantor
