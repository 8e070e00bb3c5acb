// The recovery kit as the operator brings it: found in its folder, checked, served from the
// bytes that were checked, and refused with a row when damaged.
#include "recovery/RecoveryKit.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "base/Product.h"
#include "recovery/BootImages.h"
#include "upgrade/TempDir.h"

namespace vantor {
namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> builtIn(const char* name) {
    const auto image = BootImages::Find(name);
    return {image->begin(), image->end()};
}

void write(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> served(RecoveryKit& kit, const char* name) {
    KitServing serving = kit.Open(name);
    std::vector<std::uint8_t> bytes;
    if (!serving.source) {
        return bytes;
    }
    std::vector<std::uint8_t> block(4096);
    while (const auto length = serving.source->read(block)) {
        bytes.insert(bytes.end(), block.begin(), block.begin() + static_cast<long>(*length));
        if (*length < block.size()) {
            break;
        }
    }
    return bytes;
}

bool hasRow(const RecoveryKit& kit, const std::string& text) {
    const auto rows = kit.Rows();
    return std::any_of(rows.begin(), rows.end(),
                       [&](const std::string& row) { return row.find(text) != std::string::npos; });
}

class RecoveryKitTest : public ::testing::Test {
  protected:
    fs::path folder(const std::string& name) {
        const fs::path path = root_.path() / name;
        fs::create_directories(path);
        return path;
    }
    test::TempDir root_;
};

TEST_F(RecoveryKitTest, TheFirstFolderThatExistsIsTheKitAndItsImagesAndOuisAreServed) {
    const fs::path remembered = folder("remembered");
    const fs::path standard = folder("standard");
    write(remembered / "kernel.img", builtIn("kernel.img"));
    std::ofstream(remembered / "kit.conf") << "# the maker's devices\ndevice-oui = 00-1A-2B\n"
                                           << "device-oui = 00:1a:2c\n";
    KitSearch search{
        (root_.path() / "missing").string(), remembered.string(), {standard.string()}, {}};
    const auto kit = RecoveryKit::Load(search);
    EXPECT_EQ(kit->Description(), remembered.string());
    EXPECT_TRUE(hasRow(*kit, "folder " + search.commandLine + " is not there"));
    EXPECT_EQ(served(*kit, "kernel.img"), builtIn("kernel.img"));
    EXPECT_TRUE(hasRow(*kit, "> Boot image kernel.img: 754016 bytes, "));
    EXPECT_TRUE(hasRow(
        *kit, "initrds.img is not in " + remembered.string() + "; the built-in image is served"));
    EXPECT_EQ(kit->DeviceOuis(),
              (std::vector<std::array<std::uint8_t, 3>>{{0x00, 0x1A, 0x2B}, {0x00, 0x1A, 0x2C}}));

    search.remembered.clear();
    EXPECT_EQ(RecoveryKit::Load(search)->Description(), standard.string());
    EXPECT_EQ(RecoveryKit::Load(KitSearch{})->Description(), "built in");
}

TEST_F(RecoveryKitTest, ADamagedImageIsNeverServedAndAChangedFileIsCheckedAgain) {
    using Damage = std::function<void(std::vector<std::uint8_t>&)>;
    const std::vector<std::pair<const char*, Damage>> damages{
        {"header byte", [](auto& b) { b[40] ^= 1; }},
        {"data byte", [](auto& b) { b[1000] ^= 1; }},
        {"cut by one", [](auto& b) { b.pop_back(); }},
        {"a RAM disk as kernel", [](auto& b) { b = builtIn("initrds.img"); }},
        {"empty", [](auto& b) { b.clear(); }},
    };
    const fs::path kitFolder = folder("kit");
    const std::string config = (kitFolder / "kit.conf").string();
    for (const auto& [what, damage] : damages) {
        SCOPED_TRACE(what);
        std::vector<std::uint8_t> bytes = builtIn("kernel.img");
        damage(bytes);
        write(kitFolder / "kernel.img", bytes);
        const auto kit = RecoveryKit::Load(KitSearch{kitFolder.string(), {}, {}, {}});
        const KitServing serving = kit->Open("kernel.img");
        EXPECT_EQ(serving.source, nullptr);
        EXPECT_FALSE(serving.problem.empty());
        EXPECT_TRUE(hasRow(
            *kit, "> Error: Boot image kernel.img from " + kitFolder.string() + " is damaged: "));
    }
    // Mended after the mode began: checked again, and served.
    const auto kit = RecoveryKit::Load(KitSearch{kitFolder.string(), {}, {}, {}});
    write(kitFolder / "kernel.img", builtIn("kernel.img"));
    EXPECT_EQ(served(*kit, "kernel.img"), builtIn("kernel.img"));
    std::vector<std::uint8_t> damaged = builtIn("kernel.img");
    damaged[2000] ^= 1;
    write(kitFolder / "kernel.img", damaged);
    EXPECT_TRUE(served(*kit, "kernel.img").empty());
}

TEST_F(RecoveryKitTest, AKitConfWithAnyBadLineKeepsTheBuiltInOui) {
    const fs::path kitFolder = folder("kit");
    std::ofstream(kitFolder / "kit.conf") << "device-oui = 00-1A-2B\ncolour = blue\n";
    const auto kit = RecoveryKit::Load(KitSearch{kitFolder.string(), {}, {}, {}});
    EXPECT_EQ(kit->DeviceOuis(), (std::vector<std::array<std::uint8_t, 3>>{kDeviceOui}));
    EXPECT_TRUE(hasRow(*kit, "kit.conf line 2"));
}

TEST_F(RecoveryKitTest, AWorkingFolderFileReplacesAnImageOnlyWhenItIsTheRunnersAlone) {
    struct Case {
        const char* what;
        mode_t mode;
        uid_t owner;
        std::string refusal;
    };
    const uid_t me = 1000;
    const std::vector<Case> cases{
        {"mine", S_IFREG | 0644, me, ""},
        {"root's", S_IFREG | 0644, 0, ""},
        {"another user's", S_IFREG | 0644, 1001, "it belongs to user 1001"},
        {"group-writable", S_IFREG | 0664, me, "others may write it"},
        {"world-writable", S_IFREG | 0646, me, "others may write it"},
        {"a link", S_IFLNK | 0777, me, "it is a symbolic link"},
        {"a fifo", S_IFIFO | 0644, me, "it is not a regular file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        struct stat status {};
        status.st_mode = c.mode;
        status.st_uid = c.owner;
        EXPECT_EQ(RecoveryKit::WorkingFolderRefusal(status, me), c.refusal);
    }
    // A link in the working folder is never followed, whatever it points at.
    const fs::path work = folder("work");
    write(root_.path() / "elsewhere.img", builtIn("kernel.img"));
    fs::create_symlink(root_.path() / "elsewhere.img", work / "kernel.img");
    const auto kit = RecoveryKit::Load(KitSearch{{}, {}, {}, work.string()});
    EXPECT_TRUE(
        hasRow(*kit, (work / "kernel.img").string() + " is ignored: it is a symbolic link."));
    EXPECT_TRUE(hasRow(*kit, "> Boot image kernel.img: 754016 bytes, "));
    EXPECT_TRUE(hasRow(*kit, ", built in"));
}

}  // namespace
}  // namespace vantor
