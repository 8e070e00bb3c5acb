// Text that came from the network or a file, made fit for the status log, the notice line,
// traces and a terminal.
#pragma once

#include <string>
#include <string_view>

namespace vantor {

// Whether a tab passes: a status row lays out its own columns with tabs; a name never needs one.
enum class Tabs { Replaced, Kept };

// `text` read as UTF-8, with every character that could forge a row, drive a terminal or hide
// and reorder what the operator reads replaced by one '?': the C0 controls and DEL, the C1
// controls (U+0080-U+009F; U+009B is a CSI to a terminal that takes it), the Unicode format and
// direction characters (U+061C, U+200B-U+200F, U+2028-U+202E, U+2060-U+2064, U+2066-U+206F,
// U+FEFF). A byte that does not start or continue a well-formed UTF-8 sequence (RFC 3629: a
// stray continuation byte such as a raw 0x9B, an overlong form, a surrogate, a sequence cut
// short) becomes a '?' of its own. Everything else passes unchanged, so UTF-8 names stay
// readable.
std::string printableText(std::string_view text, Tabs tabs = Tabs::Replaced);

}  // namespace vantor
