#include "recovery/KitConfig.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vantor {
namespace {

using Ouis = std::vector<std::array<std::uint8_t, 3>>;

struct Accepted {
    std::string text;
    Ouis ouis;
};

TEST(KitConfig, AcceptsTheseFiles) {
    const std::vector<Accepted> cases{
        {"", {}},
        {"\n  \n# only a comment\n", {}},
        {"device-oui = 00-1A-2b\n", {{0x00, 0x1A, 0x2B}}},
        {"\tdevice-oui=00:1a:2B\r\n", {{0x00, 0x1A, 0x2B}}},
        {"device-oui = 00-1A-2B # the first batch", {{0x00, 0x1A, 0x2B}}},
        {"device-oui = 02-00-00\ndevice-oui = 00-1a-2b\ndevice-oui = 02:00:00",
         {{0x02, 0x00, 0x00}, {0x00, 0x1A, 0x2B}}},
        {"device-oui = 00-00-00\n" + std::string(235, ' ') + "device-oui = FE-FF-FF",
         {{0x00, 0x00, 0x00}, {0xFE, 0xFF, 0xFF}}},  // 256 characters
    };
    for (const Accepted& c : cases) {
        SCOPED_TRACE(c.text);
        const auto result = KitConfig::Parse(c.text);
        ASSERT_TRUE(std::holds_alternative<KitSettings>(result));
        EXPECT_EQ(std::get<KitSettings>(result).deviceOuis, c.ouis);
    }
}

struct Refused {
    std::string text;
    std::vector<std::string> problems;
};

TEST(KitConfig, RefusesTheseFilesLineByLine) {
    const std::vector<Refused> cases{
        {"\n\nfoo = 1", {"kit.conf line 3: unknown key 'foo'"}},
        {"Device-OUI = 00-1A-2B", {"kit.conf line 1: unknown key 'Device-OUI'"}},
        {"bad\x1b[2J = 1", {"kit.conf line 1: unknown key 'bad?[2J'"}},
        {"device-oui 00-1A-2B\n= 00-1A-2B",
         {"kit.conf line 1: expected key = value", "kit.conf line 2: expected key = value"}},
        {"device-oui = 00-1A-2G", {"kit.conf line 1: 'device-oui' needs XX-XX-XX"}},
        {"device-oui = 00-1A:2B", {"kit.conf line 1: 'device-oui' needs XX-XX-XX"}},
        {"device-oui = 001A2B", {"kit.conf line 1: 'device-oui' needs XX-XX-XX"}},
        {"device-oui = 00-1A-2B-3C", {"kit.conf line 1: 'device-oui' needs XX-XX-XX"}},
        {"device-oui =", {"kit.conf line 1: 'device-oui' needs XX-XX-XX"}},
        {"device-oui = 01-00-5E",
         {"kit.conf line 1: 'device-oui' is a multicast OUI, which no device has"}},
        {std::string(236, ' ') + "device-oui = 00-1A-2B",  // 257 characters
         {"kit.conf line 1: the line is longer than 256 characters"}},
    };
    for (const Refused& c : cases) {
        SCOPED_TRACE(c.text);
        const auto result = KitConfig::Parse(c.text);
        ASSERT_TRUE(std::holds_alternative<std::vector<std::string>>(result));
        EXPECT_EQ(std::get<std::vector<std::string>>(result), c.problems);
    }
}

TEST(KitConfig, BoundsTheFileAt65536Bytes) {
    EXPECT_EQ(KitConfig::kMaxFileSize, 65536u);
}

}  // namespace
}  // namespace vantor
