#include "console/HeardDevicesCsv.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "upgrade/TempDir.h"

namespace vantor {
namespace {

TEST(HeardDevicesCsv, CellsAreQuotedAndFormulasDisarmed) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"camera-7", "camera-7"},
        {"", ""},
        {"lobby, east", "\"lobby, east\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"a\nb", "\"a\nb\""},
        {"a\rb", "\"a\rb\""},
        {"=1+1", "'=1+1"},
        {"+cmd", "'+cmd"},
        {"-2", "'-2"},
        {"@SUM(A1)", "'@SUM(A1)"},
        {"\tx", "'\tx"},
        {"\r=x", "\"'\r=x\""},
        {"=HYPERLINK(\"x\",\"y\")", "\"'=HYPERLINK(\"\"x\"\",\"\"y\"\")\""},
        {"a=b", "a=b"},
    };
    for (const auto& [text, cell] : cases) {
        EXPECT_EQ(HeardDevicesCsv::cell(text), cell) << text;
    }
}

TEST(HeardDevicesCsv, HeaderThenOneCrlfLinePerDevice) {
    ::setenv("TZ", "UTC0", 1);
    ::tzset();
    HeardDevice device;
    device.mac = {0x00, 0x40, 0x8C, 0x12, 0x34, 0x56};
    device.address = {192, 168, 1, 90};
    device.name = "=cam, 1";
    device.interfaceAddress = "10.0.0.1";
    device.state = HeardState::NotAnswering;
    device.firstHeard = std::chrono::system_clock::from_time_t(1'765'198'800);
    device.lastHeard = device.firstHeard + std::chrono::milliseconds(1500);
    EXPECT_EQ(HeardDevicesCsv::text({device}),
              "MAC,Address,Name,Interface,State,First heard,Last heard\r\n"
              "00-40-8C-12-34-56,192.168.1.90,\"'=cam, 1\",10.0.0.1,not answering,"
              "2025-12-08T13:00:00.000+00:00,2025-12-08T13:00:01.500+00:00\r\n");
    ::unsetenv("TZ");
    ::tzset();
}

TEST(HeardDevicesCsv, SavesOverAFileButNotOverADirectory) {
    test::TempDir dir;
    const std::string path = dir.file("devices.csv");
    std::ofstream(path) << "old";
    ASSERT_EQ(HeardDevicesCsv::save(path, "new\r\n"), std::nullopt);
    std::stringstream saved;
    saved << std::ifstream(path).rdbuf();
    EXPECT_EQ(saved.str(), "new\r\n");
    EXPECT_EQ(HeardDevicesCsv::save(dir.path().string(), "x"), "is a directory");
    EXPECT_EQ(HeardDevicesCsv::targetProblem("/dev/null"), "not a regular file");
    EXPECT_EQ(HeardDevicesCsv::save(dir.file("missing/devices.csv"), "x"), "no such file");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1)
        << "a temporary file was left behind";
}

}  // namespace
}  // namespace vantor
