#pragma once

#include <functional>
#include <optional>
#include <string>

#include "upgrade/FirmwareArchive.h"
#include "upgrade/MemberSelection.h"

namespace vantor {

// Opens the firmware archive at `path` with the product's archive password and picks the
// members an upgrade sends. On failure nothing, after the rows that say why have gone to `log`:
// the program's own line, and for a file that cannot be read at all its reason ("no such
// file"), so that the operator looks at the path rather than at the archive.
std::optional<MemberSelection> openFirmwareArchive(
    FirmwareArchive& archive, const std::string& path,
    const std::function<void(const std::string&)>& log);

}  // namespace vantor
