#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "upgrade/MemberSelection.h"
#include "upgrade/UpgradeSession.h"

namespace vantor {

// A firmware archive opened, checked and decoded once, for every device of a batch: each
// session is handed the same images, which no session changes.
class DecodedFirmware final : public UpgradeImageSource {
  public:
    // Reads the archive and its members as a single Update does, writing the same rows when
    // it refuses one; message shows a message box ("bad password"). False when refused.
    bool load(const std::string& archivePath, StatusSink& rows,
              const std::function<void(const std::string&)>& message);

    std::optional<MemberSelection> members(UpgradeSessionReport& report) override;
    const UpdateImage* image(std::size_t member, bool hasHeader, std::uint8_t fileType,
                             UpgradeSessionReport& report) override;

  private:
    struct Decoded {
        std::size_t member = 0;
        UpdateImage image;
    };

    MemberSelection members_;
    // Microcode, bin image and logo, as far as the archive holds them.
    std::array<std::optional<Decoded>, 3> images_;
};

}  // namespace vantor
