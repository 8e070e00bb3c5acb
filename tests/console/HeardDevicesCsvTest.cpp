#include "console/HeardDevicesCsv.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "upgrade/TempDir.h"

namespace vantor {
namespace {

TEST(HeardDevicesCsv, CellsAreQuotedAndFormulasDisarmed) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"camera-7", "camera-7"},
        {"a=b", "a=b"},
        {"lobby, east", "\"lobby, east\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"a\nb", "\"a\nb\""},
        {"=1+1", "'=1+1"},
        {"+x", "'+x"},
        {"-2", "'-2"},
        {"@SUM(A1)", "'@SUM(A1)"},
        {"\tx", "'\tx"},
        {"\r=x", "\"'\r=x\""},
    };
    for (const auto& [text, cell] : cases) {
        EXPECT_EQ(HeardDevicesCsv::cell(text), cell) << text;
    }
}

TEST(HeardDevicesCsv, HeaderThenOneCrlfLinePerDeviceSavedOverTheOldFile) {
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
    const std::string csv = HeardDevicesCsv::text({device});
    EXPECT_EQ(csv,
              "MAC,Address,Name,Interface,State,First heard,Last heard\r\n"
              "00-40-8C-12-34-56,192.168.1.90,\"'=cam, 1\",10.0.0.1,not answering,"
              "2025-12-08T13:00:00.000+00:00,2025-12-08T13:00:01.500+00:00\r\n");
    ::unsetenv("TZ");
    ::tzset();

    test::TempDir dir;
    std::ofstream(dir.file("devices.csv")) << "old";
    ASSERT_EQ(HeardDevicesCsv::save(dir.file("devices.csv"), csv), std::nullopt);
    std::stringstream saved;
    saved << std::ifstream(dir.file("devices.csv")).rdbuf();
    EXPECT_EQ(saved.str(), csv);
    EXPECT_EQ(HeardDevicesCsv::save(dir.path().string(), csv), "is a directory");
    EXPECT_EQ(HeardDevicesCsv::targetProblem("/dev/null"), "not a regular file");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

}  // namespace
}  // namespace vantor
