#include "upgrade/DecodedFirmware.h"

#include <vector>

#include "ports/ConsoleMode.h"
#include "upgrade/CodeUpdateWire.h"
#include "upgrade/FirmwareArchive.h"
#include "upgrade/FirmwareOpening.h"
#include "upgrade/UpdateFile.h"
#include "upgrade/UpgradeLimits.h"

namespace vantor {

bool DecodedFirmware::load(const std::string& archivePath, StatusSink& rows,
                           const std::function<void(const std::string&)>& message) {
    const auto log = [&](const std::string& text) {
        rows.AppendStatus(tagOf(ConsoleMode::FirmwareFile), text);
    };
    images_ = {};
    FirmwareArchive archive;
    const std::optional<MemberSelection> members = openFirmwareArchive(archive, archivePath, log);
    if (!members) {
        return false;
    }
    members_ = *members;
    // The microcode member carries the update file header; the bin image and the logo are
    // read without one, their type given.
    struct Wanted {
        std::optional<std::size_t> member;
        bool hasHeader;
        std::uint8_t fileType;
    };
    const std::array<Wanted, 3> wanted = {Wanted{members_.microcode, true, 0},
                                          Wanted{members_.bin, false, TYPE_BIN},
                                          Wanted{members_.logo, false, TYPE_LOGO}};
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        if (!wanted[i].member) {
            continue;
        }
        images_[i] = Decoded{};
        Decoded& decoded = *images_[i];
        decoded.member = *wanted[i].member;
        decoded.image.fileType = wanted[i].fileType;
        if (readUpdateFile(archive, decoded.member, wanted[i].hasHeader, archivePath, decoded.image,
                           rows) == 0) {
            if (archive.error() == ArchiveError::BadPassword) {
                message("bad password");
            }
            images_ = {};
            return false;
        }
    }
    return true;
}

std::optional<MemberSelection> DecodedFirmware::members(UpgradeSessionReport&) {
    return members_;
}

const UpdateImage* DecodedFirmware::image(std::size_t member, bool, std::uint8_t,
                                          UpgradeSessionReport&) {
    for (const auto& decoded : images_) {
        if (decoded && decoded->member == member) {
            return &decoded->image;
        }
    }
    return nullptr;
}

}  // namespace vantor
