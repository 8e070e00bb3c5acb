#include "hostnet/HostTools.h"

#include <errno.h>

#include <array>
#include <chrono>
#include <condition_variable>
#include <future>
#include <thread>

#include <gtest/gtest.h>

#include "base/Ipv4.h"
#include "hostnet/LinuxToolBackend.h"
#include "hostnet/RecordingToolRunner.h"

namespace vantor {
namespace {

using namespace std::chrono_literals;

const std::string kIp = "/usr/sbin/ip";

// Whether some thread holds the lock; asked from a thread of its own, since a std::mutex may
// not be probed by its owner.
bool isHeld(std::mutex& lock) {
    return std::async(std::launch::async,
                      [&lock] {
                          if (lock.try_lock()) {
                              lock.unlock();
                              return false;
                          }
                          return true;
                      })
        .get();
}

std::unique_ptr<LinuxToolBackend> backendWithIp(bool present, std::function<void()> onLookup = {}) {
    return std::make_unique<LinuxToolBackend>(
        std::vector<std::string>{kIp}, [present](const std::string&) { return present; },
        [onLookup](std::uint32_t) -> std::optional<std::string> {
            if (onLookup) {
                onLookup();
            }
            return "eth1";
        });
}

TEST(HostToolsTest, MissingToolRunsNothing) {
    std::mutex routeLock;
    auto recording = std::make_unique<RecordingToolRunner>();
    RecordingToolRunner& runner = *recording;
    HostTools tools(routeLock, backendWithIp(false), std::move(recording));

    std::string path = "stale";
    EXPECT_FALSE(tools.LocateSystemTool(ToolKind::Route, path));
    EXPECT_EQ(path, "");
    EXPECT_TRUE(tools.RouteAdd("192.168.1.50", "192.168.1.10").toolNotFound());
    EXPECT_TRUE(tools.RouteDelete("192.168.1.50").toolNotFound());
    EXPECT_TRUE(tools.ArpAdd("192.168.1.50", "00-11-22-33-44-55", "192.168.1.10").toolNotFound());
    EXPECT_FALSE(tools.ArpDelete("192.168.1.50"));
    EXPECT_FALSE(tools.ArpDeleteOn("192.168.1.50", "192.168.1.10"));
    const RoutingTableBox box = tools.ShowRoutingTable();
    EXPECT_EQ(box.text, "Routing table not found on this machine");
    EXPECT_EQ(box.icon, MessageIcon::Exclamation);
    EXPECT_TRUE(runner.commands().empty());
}

// A change the tool refuses, or one that cannot be put to it, is a failure in the tool's own
// words (made printable), never a success and never a missing tool.
TEST(HostToolsTest, ChangesReportTheRunsOutcome) {
    struct Case {
        const char* name;
        std::function<ToolResult(HostTools&)> change;
        bool toolSucceeds;
        std::string toolSays;
        ToolStatus status;
        std::string failure;
        std::size_t runs;
    };
    const std::vector<Case> cases{
        {"route added", [](HostTools& t) { return t.RouteAdd("192.168.1.50", "192.168.1.10"); },
         true, "", ToolStatus::Succeeded, "", 1},
        {"route refused", [](HostTools& t) { return t.RouteAdd("192.168.1.50", "192.168.1.10"); },
         false, "Error: Nexthop has invalid gateway.\n", ToolStatus::Failed,
         "ip: Error: Nexthop has invalid gateway.", 1},
        {"delete of no route", [](HostTools& t) { return t.RouteDelete("192.168.1.50"); }, false,
         "RTNETLINK answers: No such process\r\n\r\n", ToolStatus::Failed,
         "ip: RTNETLINK answers: No such process", 1},
        {"two lines, escape",
         [](HostTools& t) { return t.ArpAdd("192.168.1.50", "00-11-22-33-44-55", "192.168.1.10"); },
         false, "first  \nsecond\x1b[2J", ToolStatus::Failed, "ip: first second?[2J", 1},
        {"silent failure",
         [](HostTools& t) { return t.ArpAdd("192.168.1.50", "00-11-22-33-44-55", "192.168.1.10"); },
         false, "", ToolStatus::Failed, "ip: failed without a message", 1},
        {"no address", [](HostTools& t) { return t.RouteAdd("192.168.1.500", "192.168.1.10"); },
         true, "", ToolStatus::Failed,
         "no interface holds the local address, or an argument is no address", 0},
        {"incomplete MAC",
         [](HostTools& t) { return t.ArpAdd("192.168.1.50", "02-56-4E-12- - ", "192.168.1.10"); },
         true, "", ToolStatus::Failed,
         "no interface holds the local address, or an argument is no address", 0},
    };
    for (const Case& c : cases) {
        std::mutex routeLock;
        auto recording =
            RecordingToolRunner::withOutcome([&c](const ToolCommand&, std::string& output) {
                output += c.toolSays;
                return c.toolSucceeds;
            });
        RecordingToolRunner& runner = *recording;
        HostTools tools(routeLock, backendWithIp(true), std::move(recording));
        const ToolResult result = c.change(tools);
        EXPECT_EQ(result.status, c.status) << c.name;
        EXPECT_EQ(result.failure, c.failure) << c.name;
        EXPECT_EQ(runner.commands().size(), c.runs) << c.name;
    }
}

TEST(HostToolsTest, RoutingTableBoxShowsTheListingOrSaysThereIsNone) {
    std::mutex routeLock;
    std::string listing = "10.0.0.0/24 dev eth0 proto kernel scope link src 10.0.0.5 \n";
    HostTools tools(
        routeLock, backendWithIp(true),
        std::make_unique<RecordingToolRunner>(
            [&listing](const ToolCommand&, std::string& output) { output += listing; }));
    RoutingTableBox box = tools.ShowRoutingTable();
    EXPECT_EQ(box.icon, MessageIcon::Information);
    EXPECT_EQ(box.text,
              "Destination\tGateway\tInterface\tSource\tMetric\n"
              "10.0.0.0/24\tOn-link\teth0\t10.0.0.5\t0\n");
    listing.clear();
    box = tools.ShowRoutingTable();
    EXPECT_EQ(box.icon, MessageIcon::Exclamation);
    EXPECT_EQ(box.text, "Routing table not found on this machine");
}

TEST(HostToolsTest, RouteLockIsHeldForRouteRunsOnly) {
    std::mutex routeLock;
    std::vector<bool> heldInLookups;
    std::vector<std::pair<std::string, bool>> heldInRuns;
    std::mutex record;
    auto backend = backendWithIp(true, [&] {
        const bool held = isHeld(routeLock);
        const std::lock_guard<std::mutex> lock(record);
        heldInLookups.push_back(held);
    });
    HostTools tools(
        routeLock, std::move(backend),
        std::make_unique<RecordingToolRunner>([&](const ToolCommand& command, std::string&) {
            const bool held = isHeld(routeLock);
            const std::lock_guard<std::mutex> lock(record);
            heldInRuns.emplace_back(command.at(1) == "-4" ? "route" : command.at(1), held);
        }));
    tools.RouteAdd("192.168.1.50", "192.168.1.10");
    tools.RouteDelete("192.168.1.50");
    tools.ArpAdd("192.168.1.50", "00-11-22-33-44-55", "192.168.1.10");
    tools.ArpDelete("192.168.1.50");
    tools.LoadRoutingTable();
    EXPECT_EQ(heldInRuns, (std::vector<std::pair<std::string, bool>>{{"route", true},
                                                                     {"route", true},
                                                                     {"neigh", false},
                                                                     {"neigh", false},
                                                                     {"route", true}}));
    EXPECT_EQ(heldInLookups, (std::vector<bool>{false, false})) << "composing takes no lock";
    EXPECT_FALSE(isHeld(routeLock));
}

TEST(HostToolsTest, RouteRunsAreOneAtATimeWhileArpRunsOverlapThem) {
    std::mutex routeLock;
    std::mutex stateMutex;
    std::condition_variable changed;
    int routeRuns = 0;
    int mostRouteRuns = 0;
    bool arpStarted = false;
    bool arpOverlappedRoute = false;
    auto recording =
        std::make_unique<RecordingToolRunner>([&](const ToolCommand& command, std::string&) {
            std::unique_lock<std::mutex> state(stateMutex);
            if (command.at(1) == "route") {
                mostRouteRuns = std::max(mostRouteRuns, ++routeRuns);
                changed.notify_all();
                // Stay in the run until the ARP run has begun (it must not wait for us), and a
                // little longer so that a second route run, if let in, would be seen.
                changed.wait_for(state, 2s, [&] { return arpStarted; });
                state.unlock();
                std::this_thread::sleep_for(50ms);
                state.lock();
                --routeRuns;
            } else {
                changed.wait_for(state, 2s, [&] { return routeRuns > 0; });
                arpStarted = true;
                arpOverlappedRoute = routeRuns > 0;
                changed.notify_all();
            }
        });
    RecordingToolRunner& runner = *recording;
    HostTools tools(routeLock, backendWithIp(true), std::move(recording));
    {
        std::jthread first([&] { tools.RouteAdd("192.168.1.50", "192.168.1.10"); });
        std::jthread second([&] { tools.RouteAdd("192.168.1.51", "192.168.1.10"); });
        std::jthread arp(
            [&] { tools.ArpAdd("192.168.1.50", "00-11-22-33-44-55", "192.168.1.10"); });
    }
    EXPECT_EQ(runner.commands().size(), 3U);
    EXPECT_EQ(mostRouteRuns, 1);
    EXPECT_TRUE(arpOverlappedRoute);
}

// The helper's answers as the modes see them, and the request each change becomes.
class ScriptedHelper final : public NetHelperPort {
  public:
    std::optional<HelperAnswer> answer;
    std::vector<HelperRequest> asked;
    std::optional<HelperAnswer> Ask(HelperRequest request, UniqueFd*) override {
        asked.push_back(request);
        return answer;
    }
};

TEST(HostToolsTest, ThroughTheHelperAnswersBecomeToolResultsAndNothingRunsHere) {
    struct Case {
        const char* what;
        std::optional<HelperAnswer> answer;
        ToolStatus status;
        std::string failure;
    };
    const auto answer = [](HelperStatus status, std::uint32_t error, std::string text) {
        HelperAnswer a;
        a.status = status;
        a.error = error;
        a.text = std::move(text);
        return a;
    };
    const std::vector<Case> cases{
        {"done", answer(HelperStatus::done, 0, ""), ToolStatus::Succeeded, ""},
        {"refused", answer(HelperStatus::refused, 0, "10.0.0.1 is this PC's own address"),
         ToolStatus::Failed, "vantor-net-helper: 10.0.0.1 is this PC's own address"},
        {"tool's words", answer(HelperStatus::failed, 0, "ip: RTNETLINK answers: File exists"),
         ToolStatus::Failed, "ip: RTNETLINK answers: File exists"},
        {"no ip", answer(HelperStatus::failed, ENOENT, ""), ToolStatus::ToolNotFound, ""},
        {"gone", std::nullopt, ToolStatus::Failed, "vantor-net-helper: not running"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::mutex routeLock;
        auto recording = std::make_unique<RecordingToolRunner>();
        const RecordingToolRunner& runner = *recording;
        ScriptedHelper helper;
        helper.answer = c.answer;
        HostTools tools(routeLock, backendWithIp(true), std::move(recording), &helper);
        const ToolResult planted = tools.ArpAdd("10.0.0.9", "00-1A-2B-3C-4D-FE", "10.0.0.1");
        EXPECT_EQ(planted.status, c.status);
        EXPECT_EQ(planted.failure, c.failure);
        EXPECT_EQ(tools.RouteAdd("10.0.0.9", "10.0.0.1").status, c.status);
        EXPECT_TRUE(runner.commands().empty());
        ASSERT_EQ(helper.asked.size(), 2U);
        EXPECT_EQ(helper.asked[0].kind, HelperRequestKind::plantNeighbour);
        EXPECT_EQ(helper.asked[0].address, Ipv4::parse("10.0.0.9"));
        EXPECT_EQ(helper.asked[0].localAddress, Ipv4::parse("10.0.0.1"));
        EXPECT_EQ(helper.asked[0].mac,
                  (std::array<std::uint8_t, 6>{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0xFE}));
        EXPECT_EQ(helper.asked[1].kind, HelperRequestKind::addHostRoute);
    }
}

}  // namespace
}  // namespace vantor
