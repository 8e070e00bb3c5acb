#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "recovery/BlockSource.h"

namespace vantor {

// Where a recovery kit may be, in the order they are tried; the first folder that exists is
// the kit. A kit is the device maker's boot images (kernel.img, initrds.img, kernel-pxa.img,
// initrd-pxa.img; any may be missing) and optionally kit.conf.
struct KitSearch {
    std::string commandLine;  // --boot-images, or empty
    std::string remembered;   // the folder chosen in the window, or empty
    // $XDG_DATA_HOME/vantor/images, /usr/local/share/vantor/images, /usr/share/vantor/images.
    std::vector<std::string> standard;
    // Where a file of an image's name replaces that image (the working folder); empty: none.
    std::string workingFolder;

    // This user's: the window's remembered choice, the XDG data folder and the system's, and
    // the process's working folder.
    static KitSearch ForThisUser(const std::string& commandLine);
    // The kit: the first of the folders that exists, or empty (the built-in images).
    std::string KitFolder() const;
};

// The identity of a file as served, to tell when it has changed since.
struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    std::int64_t modifiedNanoseconds = 0;
    bool operator==(const FileStamp&) const = default;
};

// What a read request of an image name gets.
struct KitServing {
    std::unique_ptr<BlockSource> source;  // none: not an image name, or a damaged image
    std::string problem;                  // why a damaged image is not sent ("" otherwise)
};

// The recovery kit in use: every image checked (the U-Boot legacy header, its CRCs, its size,
// type and architecture) before a device may get it, and the device OUIs of its kit.conf.
// Files are read with the operator's rights, each at most 64 MiB, and served from the bytes
// that were checked; a file that changes afterwards is read and checked again before it is
// served. May be used from several threads.
class RecoveryKit {
  public:
    static std::shared_ptr<RecoveryKit> Load(const KitSearch& search);

    // One row an image (name, size, the name in its header, where from), then what is wrong,
    // each ending in "\r\n".
    std::vector<std::string> Rows() const;
    // The kit folder, or "built in".
    std::string Description() const;
    // The OUIs a device's MAC begins with: kit.conf's, else the built-in one.
    const std::vector<std::array<std::uint8_t, 3>>& DeviceOuis() const { return ouis_; }
    // Whether a built-in stand-in is served for any image.
    bool ServesPlaceholders() const;
    KitServing Open(std::string_view name);

    // Why a file of the working folder (as lstat saw it) may not replace an image for a run
    // of `user`: empty when it may.
    static std::string WorkingFolderRefusal(const struct stat& status, uid_t user);

  private:
    struct Image {
        std::string name;
        std::string path;  // empty: built in
        // The checked file (none when built in); a transfer keeps the bytes it started with.
        std::shared_ptr<const std::vector<std::uint8_t>> bytes;
        std::span<const std::uint8_t> view;  // what is served
        FileStamp stamp;
        std::string headerName;
        std::string problem;
        std::string origin;  // for its row: "FOLDER", "built in", "the working folder FOLDER"
        bool fromWorkingFolder = false;  // never read through a symbolic link
    };

    // Reads and checks `path` into image; false (and problem set) when it cannot be served.
    static bool readChecked(Image& image, bool noSymlinks);
    // The device OUIs of the folder's kit.conf, if it has one; problems go to notes_.
    void readKitConf();
    static std::string row(const Image& image);

    mutable std::mutex mutex_;
    std::vector<Image> images_;
    std::string folder_;
    std::vector<std::array<std::uint8_t, 3>> ouis_;
    std::vector<std::string> notes_;
};

}  // namespace vantor
