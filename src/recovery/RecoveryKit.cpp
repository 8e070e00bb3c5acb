#include "recovery/RecoveryKit.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "base/FileProblem.h"
#include "base/PrintableText.h"
#include "base/Product.h"
#include "base/UniqueFd.h"
#include "recovery/BootImages.h"
#include "recovery/KitConfig.h"
#include "recovery/MemorySource.h"
#include "recovery/RecoveryService.h"
#include "recovery/RememberedKitFolder.h"
#include "recovery/UbootImageCheck.h"

namespace vantor {
namespace {

constexpr std::string_view kBuiltIn = "built in";
constexpr std::array<std::string_view, 2> kSystemKitFolders{"/usr/local/share/vantor/images",
                                                            "/usr/share/vantor/images"};
constexpr std::string_view kUserKitFolder = "vantor/images";
constexpr std::int64_t kNanosecondsPerSecond = 1'000'000'000;

bool isFolder(const std::string& path) {
    struct stat status {};
    return !path.empty() && ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

FileStamp stampOf(const struct stat& status) {
    return FileStamp{status.st_dev, status.st_ino, status.st_size,
                     status.st_mtim.tv_sec * kNanosecondsPerSecond + status.st_mtim.tv_nsec};
}

// The header's image name, or why the bytes may not be served.
struct Verdict {
    std::string headerName;
    std::string problem;
};

Verdict inspect(std::string_view name, std::span<const std::uint8_t> bytes) {
    const auto expected = UbootImageCheck::ExpectedType(name);
    if (!expected) {
        return {{}, "it is no boot image name"};
    }
    const UbootImageCheck::Result result = UbootImageCheck::Check(bytes, *expected);
    if (const auto* problem = std::get_if<UbootImageProblem>(&result)) {
        return {{}, problem->text};
    }
    return {std::get<UbootImageInfo>(result).name, {}};
}

// Reads a whole regular file of at most `limit` bytes from an open descriptor.
std::optional<std::vector<std::uint8_t>> readAll(int fd, std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::read(fd, bytes.data() + done, size - done);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return std::nullopt;
        }
        done += static_cast<std::size_t>(got);
    }
    return bytes;
}

}  // namespace

KitSearch KitSearch::ForThisUser(const std::string& commandLine) {
    KitSearch search;
    search.commandLine = commandLine;
    search.remembered = RememberedKitFolder::Load();
    // $XDG_DATA_HOME, or ~/.local/share when it is unset or not absolute (XDG Base Directory).
    const char* data = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    if (data != nullptr && data[0] == '/') {
        search.standard.push_back(std::string(data) + "/" + std::string(kUserKitFolder));
    } else if (home != nullptr && home[0] == '/') {
        search.standard.push_back(std::string(home) + "/.local/share/" +
                                  std::string(kUserKitFolder));
    }
    for (const std::string_view folder : kSystemKitFolders) {
        search.standard.emplace_back(folder);
    }
    std::error_code error;
    search.workingFolder = std::filesystem::current_path(error).string();
    return search;
}

std::string KitSearch::KitFolder() const {
    if (isFolder(commandLine)) {
        return commandLine;
    }
    if (isFolder(remembered)) {
        return remembered;
    }
    for (const std::string& folder : standard) {
        if (isFolder(folder)) {
            return folder;
        }
    }
    return {};
}

std::shared_ptr<RecoveryKit> RecoveryKit::Load(const KitSearch& search) {
    auto kit = std::make_shared<RecoveryKit>();
    kit->folder_ = search.KitFolder();
    // The operator named these two; the standard places may well not exist.
    for (const std::string& named : {search.commandLine, search.remembered}) {
        if (!named.empty() && !isFolder(named)) {
            kit->notes_.push_back("> Warning: The recovery kit folder " + printableText(named) +
                                  " is not there.\r\n");
        }
        if (named == kit->folder_ && !named.empty()) {
            break;  // the kit: what comes after it was not looked at
        }
    }

    kit->ouis_ = {kDeviceOui};
    if (!kit->folder_.empty()) {
        kit->readKitConf();
    }

    for (const std::string_view name : kBootImageNames) {
        Image image;
        image.name = std::string(name);
        bool chosen = false;
        if (!search.workingFolder.empty()) {
            const std::string path = search.workingFolder + "/" + image.name;
            struct stat status {};
            if (::lstat(path.c_str(), &status) == 0) {
                const std::string refusal = WorkingFolderRefusal(status, ::geteuid());
                if (refusal.empty()) {
                    image.path = path;
                    image.origin = "the working folder " + printableText(search.workingFolder);
                    image.fromWorkingFolder = true;
                    readChecked(image, true);
                    chosen = true;
                } else {
                    kit->notes_.push_back("> Warning: " + printableText(path) +
                                          " is ignored: " + refusal + ".\r\n");
                }
            }
        }
        if (!chosen && !kit->folder_.empty()) {
            const std::string path = kit->folder_ + "/" + image.name;
            if (::access(path.c_str(), F_OK) == 0) {
                image.path = path;
                image.origin = printableText(kit->folder_);
                readChecked(image, false);
                chosen = true;
            } else {
                kit->notes_.push_back("> Warning: " + image.name + " is not in " +
                                      printableText(kit->folder_) +
                                      "; the built-in image is served.\r\n");
            }
        }
        if (!chosen) {
            image.view = BootImages::Find(name).value_or(std::span<const std::uint8_t>());
            image.origin = std::string(kBuiltIn);
            Verdict verdict = inspect(name, image.view);
            image.headerName = std::move(verdict.headerName);
            image.problem = std::move(verdict.problem);
        }
        kit->images_.push_back(std::move(image));
    }
    return kit;
}

std::string RecoveryKit::WorkingFolderRefusal(const struct stat& status, uid_t user) {
    // Another user could have put it there for a root run (or another user's) to send to the
    // segment: only the runner's own files, or root's, that no one else may change.
    if (S_ISLNK(status.st_mode)) {
        return "it is a symbolic link";
    }
    if (!S_ISREG(status.st_mode)) {
        return "it is not a regular file";
    }
    if (status.st_uid != user && status.st_uid != 0) {
        return "it belongs to user " + std::to_string(status.st_uid);
    }
    if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        return "others may write it";
    }
    return {};
}

bool RecoveryKit::readChecked(Image& image, bool noSymlinks) {
    image.bytes.reset();
    image.view = {};
    image.headerName.clear();
    const int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | (noSymlinks ? O_NOFOLLOW : 0);
    const UniqueFd fd(::open(image.path.c_str(), flags));
    struct stat status {};
    if (!fd || ::fstat(fd.get(), &status) != 0) {
        image.problem = "it cannot be read (" + fileErrorText(errno) + ")";
        return false;
    }
    image.stamp = stampOf(status);
    if (!S_ISREG(status.st_mode)) {
        image.problem = "it is not a regular file";
        return false;
    }
    if (!UbootImageCheck::FitsSizeBound(static_cast<std::uint64_t>(status.st_size))) {
        image.problem =
            "it is too large for a boot image (" + std::to_string(status.st_size) + " bytes)";
        return false;
    }
    auto bytes = readAll(fd.get(), static_cast<std::size_t>(status.st_size));
    if (!bytes) {
        image.problem = "it cannot be read";
        return false;
    }
    Verdict verdict = inspect(image.name, *bytes);
    if (!verdict.problem.empty()) {
        image.problem = std::move(verdict.problem);
        return false;
    }
    image.headerName = std::move(verdict.headerName);
    image.problem.clear();
    image.bytes = std::make_shared<const std::vector<std::uint8_t>>(std::move(*bytes));
    image.view = *image.bytes;
    return true;
}

void RecoveryKit::readKitConf() {
    const std::string path = folder_ + "/" + std::string(KitConfig::kFileName);
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat status {};
    if (!fd) {
        if (errno != ENOENT) {
            notes_.push_back("> Error: " + printableText(path) + " cannot be read (" +
                             fileErrorText(errno) + "); the built-in device OUI is used.\r\n");
        }
        return;
    }
    std::optional<std::vector<std::uint8_t>> text;
    if (::fstat(fd.get(), &status) == 0 && S_ISREG(status.st_mode) &&
        static_cast<std::uint64_t>(status.st_size) <= KitConfig::kMaxFileSize) {
        text = readAll(fd.get(), static_cast<std::size_t>(status.st_size));
    }
    if (!text) {
        notes_.push_back("> Error: " + printableText(path) + " is no readable file of at most " +
                         std::to_string(KitConfig::kMaxFileSize) +
                         " bytes; the built-in device OUI is used.\r\n");
        return;
    }
    const KitConfig::Result parsed = KitConfig::Parse(
        std::string_view(reinterpret_cast<const char*>(text->data()), text->size()));
    if (const auto* problems = std::get_if<std::vector<std::string>>(&parsed)) {
        for (const std::string& problem : *problems) {
            notes_.push_back("> Error: " + problem + " (" + printableText(folder_) +
                             "); the built-in device OUI is used.\r\n");
        }
        return;
    }
    if (const auto& ouis = std::get<KitSettings>(parsed).deviceOuis; !ouis.empty()) {
        ouis_ = ouis;
    }
}

std::string RecoveryKit::row(const Image& image) {
    if (!image.problem.empty()) {
        return "> Error: Boot image " + image.name + " from " + image.origin +
               " is damaged: " + printableText(image.problem) +
               "; a device that asks for it gets an error.\r\n";
    }
    return "> Boot image " + image.name + ": " + std::to_string(image.view.size()) + " bytes, \"" +
           printableText(image.headerName) + "\", " +
           (image.path.empty() ? std::string(kBuiltIn) : "from " + image.origin) + "\r\n";
}

std::vector<std::string> RecoveryKit::Rows() const {
    const std::lock_guard lock(mutex_);
    std::vector<std::string> rows;
    for (const Image& image : images_) {
        rows.push_back(row(image));
    }
    rows.insert(rows.end(), notes_.begin(), notes_.end());
    return rows;
}

std::string RecoveryKit::Description() const {
    return folder_.empty() ? std::string(kBuiltIn) : folder_;
}

bool RecoveryKit::ServesPlaceholders() const {
    const std::lock_guard lock(mutex_);
    for (const Image& image : images_) {
        if (image.path.empty() && BootImages::ArePlaceholders()) {
            return true;
        }
    }
    return false;
}

KitServing RecoveryKit::Open(std::string_view name) {
    const std::lock_guard lock(mutex_);
    for (Image& image : images_) {
        if (image.name != name) {
            continue;
        }
        if (!image.path.empty()) {
            // Checked again when the file is not the one checked: a copy that was still being
            // written when the mode began, or an image replaced since.
            struct stat status {};
            const bool noSymlinks = image.fromWorkingFolder;
            const int found = noSymlinks ? ::lstat(image.path.c_str(), &status)
                                         : ::stat(image.path.c_str(), &status);
            if (found != 0 || stampOf(status) != image.stamp) {
                readChecked(image, noSymlinks);
            }
        }
        if (!image.problem.empty()) {
            return {nullptr, image.problem};
        }
        return {std::make_unique<MemorySource>(image.view, image.bytes), {}};
    }
    return {};
}

}  // namespace vantor
