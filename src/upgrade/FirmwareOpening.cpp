#include "upgrade/FirmwareOpening.h"

#include <vector>

#include "base/FileProblem.h"
#include "base/PrintableText.h"
#include "upgrade/UpgradeLimits.h"

namespace vantor {

std::optional<MemberSelection> openFirmwareArchive(
    FirmwareArchive& archive, const std::string& path,
    const std::function<void(const std::string&)>& log) {
    if (!archive.Open(path)) {
        log(archive.error() == ArchiveError::NoEndRecord
                ? "> File format is not correct."
                : "> Error! Unrecognized firmware file: You may selected a wrong zip file.\n");
        if (archive.error() == ArchiveError::FileError) {
            if (const auto problem = readableFileProblem(path)) {
                log("> " + printableText(path) + ": " + *problem + "\n");
            }
        }
        return std::nullopt;
    }
    archive.SetPassword(kArchivePassword);
    std::vector<std::string> names;
    for (std::size_t index = 0; index < archive.Count(); ++index) {
        names.push_back(archive.EntryName(index));
    }
    MemberSelection members = selectMembers(names);
    if (!members.refusal.empty()) {
        log(members.refusal);
        return std::nullopt;
    }
    return members;
}

}  // namespace vantor
