#include "hostnet/WindowsToolBackend.h"

#include <mutex>
#include <set>

#include <gtest/gtest.h>

#include "hostnet/HostTools.h"
#include "hostnet/RecordingToolRunner.h"

namespace vantor {
namespace {

struct LocateCase {
    const char* name;
    std::optional<std::string> windowsDirectory;
    std::set<std::string> files;
    ToolKind kind;
    std::string expected;  // empty: not found
};

class WindowsLocateTest : public ::testing::TestWithParam<LocateCase> {};

TEST_P(WindowsLocateTest, FindsTheFirstOfTheThreePlaces) {
    const LocateCase& c = GetParam();
    std::vector<std::string> probed;
    WindowsToolBackend backend(c.windowsDirectory, [&](const std::string& path) {
        probed.push_back(path);
        return c.files.contains(path);
    });
    EXPECT_EQ(backend.LocateSystemTool(c.kind).value_or(""), c.expected);
    if (!c.expected.empty()) {
        EXPECT_EQ(probed.back(), c.expected) << "the search goes on after a hit";
    }
}

const std::string kSystemArp = "C:\\WINDOWS\\system32\\arp.exe";
const std::string kSystemRoute = "C:\\WINDOWS\\system32\\route.exe";

INSTANTIATE_TEST_SUITE_P(
    Places, WindowsLocateTest,
    ::testing::Values(
        LocateCase{"System32", "C:\\WINDOWS", {kSystemArp}, ToolKind::Arp, kSystemArp},
        LocateCase{"DirectoryEndingInBackslash",
                   "C:\\WINDOWS\\",
                   {kSystemRoute},
                   ToolKind::Route,
                   kSystemRoute},
        LocateCase{"System32BeforeDirectory",
                   "D:\\WINNT",
                   {"D:\\WINNT\\system32\\route.exe", "D:\\WINNT\\route.exe"},
                   ToolKind::Route,
                   "D:\\WINNT\\system32\\route.exe"},
        LocateCase{"DirectoryItself",
                   "D:\\WINNT",
                   {"D:\\WINNT\\arp.exe"},
                   ToolKind::Arp,
                   "D:\\WINNT\\arp.exe"},
        LocateCase{"FixedFallback", "D:\\WINNT", {kSystemRoute}, ToolKind::Route, kSystemRoute},
        LocateCase{
            "NoWindowsDirectoryNoFallback", std::nullopt, {kSystemRoute}, ToolKind::Route, ""},
        LocateCase{"Missing", "C:\\WINDOWS", {kSystemArp}, ToolKind::Route, ""},
        LocateCase{"UnknownKind",
                   "C:\\WINDOWS",
                   {kSystemArp, kSystemRoute},
                   static_cast<ToolKind>(3),
                   ""}),
    [](const ::testing::TestParamInfo<LocateCase>& param) { return param.param.name; });

TEST(WindowsLocateTest, PathsOfMaximumLengthAreNotTried) {
    // A path must fit MAX_PATH (260) with its terminating zero.
    const std::string longDirectory = "C:\\" + std::string(250, 'w');
    std::vector<std::string> probed;
    WindowsToolBackend backend(longDirectory, [&](const std::string& path) {
        probed.push_back(path);
        return true;
    });
    EXPECT_EQ(backend.LocateSystemTool(ToolKind::Route).value_or(""), kSystemRoute);
    EXPECT_EQ(probed, std::vector<std::string>{kSystemRoute});
}

// The manual assignment of MAC 00-11-22-33-44-55 and IP 192.168.1.50 on the single interface
// 192.168.1.10, as the console drives the tools.
class WindowsCommandLineTest : public ::testing::Test {
  protected:
    WindowsCommandLineTest() {
        auto recording = std::make_unique<RecordingToolRunner>();
        runner = recording.get();
        tools = std::make_unique<HostTools>(
            routeLock,
            std::make_unique<WindowsToolBackend>(
                "C:\\WINDOWS",
                [](const std::string& path) { return path == kSystemArp || path == kSystemRoute; }),
            std::move(recording));
    }

    std::vector<std::string> commandLines() const {
        std::vector<std::string> lines;
        for (const ToolCommand& command : runner->commands()) {
            EXPECT_EQ(command.size(), 1U) << "a Windows command is one command line";
            lines.push_back(command.front());
        }
        return lines;
    }

    std::mutex routeLock;
    RecordingToolRunner* runner = nullptr;
    std::unique_ptr<HostTools> tools;
};

TEST_F(WindowsCommandLineTest, AssignmentThatSucceeds) {
    EXPECT_TRUE(tools->ArpDelete("192.168.1.50"));
    EXPECT_TRUE(tools->ArpDelete("192.168.1.50"));
    EXPECT_TRUE(tools->ArpAdd("192.168.1.50", "00-11-22-33-44-55", "192.168.1.10").succeeded());
    EXPECT_TRUE(tools->RouteAdd("192.168.1.50", "192.168.1.10").succeeded());
    EXPECT_TRUE(tools->ArpDeleteOn("192.168.1.50", "192.168.1.10"));
    EXPECT_EQ(commandLines(),
              (std::vector<std::string>{
                  "C:\\WINDOWS\\system32\\arp.exe -d 192.168.1.50",
                  "C:\\WINDOWS\\system32\\arp.exe -d 192.168.1.50",
                  "C:\\WINDOWS\\system32\\arp.exe -s 192.168.1.50 00-11-22-33-44-55 192.168.1.10",
                  "C:\\WINDOWS\\system32\\route.exe ADD 192.168.1.50 192.168.1.10",
                  "C:\\WINDOWS\\system32\\arp.exe -d 192.168.1.50 192.168.1.10",
              }));
}

TEST_F(WindowsCommandLineTest, AssignmentThatFailsCleansUp) {
    EXPECT_TRUE(tools->RouteDelete("192.168.1.50").succeeded());
    EXPECT_TRUE(tools->ArpDelete("192.168.1.50"));
    std::string routingTable = tools->LoadRoutingTable();
    EXPECT_EQ(commandLines(), (std::vector<std::string>{
                                  "C:\\WINDOWS\\system32\\route.exe delete 192.168.1.50",
                                  "C:\\WINDOWS\\system32\\arp.exe -d 192.168.1.50",
                                  "C:\\WINDOWS\\system32\\route.exe PRINT",
                              }));
    EXPECT_EQ(routingTable, "") << "the tool printed nothing";
}

// A listing in the layout of route.exe: a rule of 75 "=", the interface list, the table under
// "Network Destination", "Default Gateway:" and the persistent routes. One row holds a tab.
const char* const kRoutePrint =
    "===========================================================================\r\n"
    "Interface List\r\n"
    "0x1 ........................... Software Loopback Interface\r\n"
    "0x10003 ...00 11 22 33 44 55 ...... Ethernet Adapter\r\n"
    "===========================================================================\r\n"
    "===========================================================================\r\n"
    "Active Routes:\r\n"
    "Network Destination        Netmask          Gateway       Interface  Metric\r\n"
    "          0.0.0.0          0.0.0.0      192.168.1.1    192.168.1.10\t  20\r\n"
    "        127.0.0.0        255.0.0.0        127.0.0.1       127.0.0.1       1\r\n"
    "      192.168.1.0    255.255.255.0     192.168.1.10    192.168.1.10       20\r\n"
    "     192.168.1.10  255.255.255.255        127.0.0.1       127.0.0.1       20\r\n"
    "     192.168.1.50  255.255.255.255     192.168.1.10    192.168.1.10       1\r\n"
    "  255.255.255.255  255.255.255.255     192.168.1.10    192.168.1.10       1\r\n"
    "Default Gateway:       192.168.1.1\r\n"
    "===========================================================================\r\n"
    "Persistent Routes:\r\n"
    "  Network Address          Netmask  Gateway Address  Metric\r\n"
    "         10.0.0.0        255.0.0.0      192.168.1.1       1\r\n";

TEST(WindowsRoutePrintTest, RouteTableBecomesTabSeparatedColumns) {
    const std::string rule(52, '=');
    EXPECT_EQ(WindowsToolBackend::ReformatRoutePrint(kRoutePrint),
              rule +
                  "\n"
                  "Interface List\n"
                  "0x1 ........................... Software Loopback Interface\n"
                  "0x10003 ...00 11 22 33 44 55 ...... Ethernet Adapter\n" +
                  rule + "\n" + rule +
                  "\n"
                  "Active Routes:\n"
                  "Destination\tNetmask\tGateway\tInterface\tMetric\n"
                  "0.0.0.0\t0.0.0.0\t192.168.1.1\t192.168.1.10\t20\n"
                  "127.0.0.0\t255.0.0.0\t127.0.0.1\t127.0.0.1\t1\n"
                  "192.168.1.0\t255.255.255.0\t192.168.1.10\t192.168.1.10\t20\n"
                  "192.168.1.10\t255.255.255.255\t127.0.0.1\t127.0.0.1\t20\n"
                  "192.168.1.50\t255.255.255.255\t192.168.1.10\t192.168.1.10\t1\n"
                  "255.255.255.255\t255.255.255.255\t192.168.1.10\t192.168.1.10\t1\n"
                  "Default Gateway:\t192.168.1.1\n" +
                  rule + "\n");
}

TEST(WindowsRoutePrintTest, TextThatIsNoListingIsOnlyCleaned) {
    // An error message of the tool: no table, no persistent routes.
    EXPECT_EQ(WindowsToolBackend::ReformatRoutePrint("The route  command failed.\r\n"),
              "The route  command failed.\n");
    EXPECT_EQ(WindowsToolBackend::ReformatRoutePrint(""), "");
}

}  // namespace
}  // namespace vantor
