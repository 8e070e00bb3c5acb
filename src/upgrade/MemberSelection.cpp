#include "upgrade/MemberSelection.h"

#include <string_view>

#include "upgrade/UpgradeLimits.h"

namespace vantor {

MemberSelection selectMembers(const std::vector<std::string>& names) {
    MemberSelection selection;
    for (std::size_t index = 0; index < names.size(); ++index) {
        const std::string& name = names[index];
        if (name.size() < kMemberSuffixSize) {
            continue;
        }
        const std::string_view suffix =
            std::string_view(name).substr(name.size() - kMemberSuffixSize);
        std::optional<std::size_t>* slot = nullptr;
        std::string duplicate;
        if (suffix == kMicrocodeSuffix) {
            slot = &selection.microcode;
            duplicate = "> Zip file has more than one enc file\n";
        } else if (suffix == kBinSuffix) {
            slot = &selection.bin;
            duplicate = "> Zip file has more than one bin file\n";
        } else if (suffix == kLogoSuffix) {
            slot = &selection.logo;
            duplicate = "> Zif file has more than one gif file";
        } else {
            continue;
        }
        if (slot->has_value()) {
            return MemberSelection{{}, {}, {}, duplicate};
        }
        *slot = index;
    }
    if (!selection.microcode && !selection.bin && !selection.logo) {
        selection.refusal = "> Zip file does not have enc or bin file";
    }
    return selection;
}

}  // namespace vantor
