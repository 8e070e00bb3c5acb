#pragma once

#include <cstddef>
#include <string>

namespace vantor {

// The recovery kit folder the operator chose in the window, remembered for that user across
// runs in one small file under the XDG configuration folder.
struct RememberedKitFolder {
    // $XDG_CONFIG_HOME/vantor/recovery-kit, or under $HOME/.config when XDG_CONFIG_HOME is
    // unset, empty or relative (the XDG Base Directory rules); empty when neither is usable.
    static std::string File();
    // The remembered folder, or empty when there is none or the file holds no absolute path.
    static std::string Load();
    // Remembers `folder` (an absolute path), or forgets the choice when it is empty.
    static bool Save(const std::string& folder);

    // A path is far shorter: a longer file is not ours, and is not read whole.
    static constexpr std::size_t kMaxFileBytes = 4096;
};

}  // namespace vantor
