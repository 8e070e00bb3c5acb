#include "helper/NetHelperService.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <cerrno>

#include "base/Ipv4.h"

namespace vantor {
namespace {

using Arguments = std::vector<std::string>;
using K = HelperRequestKind;

std::uint32_t ip(std::string_view dotted) {
    return Ipv4::parse(dotted).value();
}

// lo, eth0 10.0.0.1/24 and eth1 192.168.1.5/24. Records what it is asked to do and does
// nothing; its sockets are /dev/null.
class FakeHost final : public HelperHost {
  public:
    std::vector<InterfaceList::Entry> Interfaces() override {
        const std::uint32_t mask = ip("255.255.255.0");
        return {{"lo", 1, ip("127.0.0.1"), ip("255.0.0.0"), 0, true, true, false},
                {"eth0", 2, ip("10.0.0.1"), mask, ip("10.0.0.255"), true, false, true},
                {"eth1", 3, ip("192.168.1.5"), mask, ip("192.168.1.255"), true, false, true}};
    }
    HostSocket OpenUdp(std::uint32_t address, std::uint16_t port) override {
        return open(Ipv4::format(address) + ":" + std::to_string(port));
    }
    HostSocket OpenUdpOnInterface(const std::string& name, std::uint16_t port) override {
        return open(name + ":" + std::to_string(port));
    }
    int ProbeUdpPort(const std::string& name, std::uint16_t port) override {
        opened.push_back("probe " + name + ":" + std::to_string(port));
        return probeError;
    }
    bool DatagramIcmpAllowed() override { return datagramIcmp; }
    HostSocket OpenRawIcmp() override { return open("raw icmp"); }
    ToolResult RunIp(const Arguments& arguments) override {
        ran.push_back(arguments);
        return ipWords.empty() ? ToolResult{} : ToolResult{ToolStatus::Failed, ipWords};
    }
    std::uint64_t EffectiveCapabilities() override { return 0x3400; }

    HostSocket open(const std::string& what) {
        opened.push_back(what);
        return {UniqueFd(socketError != 0 ? -1 : ::open("/dev/null", O_RDONLY | O_CLOEXEC)),
                socketError};
    }

    std::vector<Arguments> ran;
    std::vector<std::string> opened;
    std::string ipWords;  // the tool fails with these when not empty
    int probeError = 0;
    int socketError = 0;
    bool datagramIcmp = true;
};

constexpr std::string_view kAny = "0.0.0.0";

HelperRequest request(K kind, std::string_view address, std::string_view local = kAny,
                      std::uint16_t port = 0,
                      std::array<std::uint8_t, 6> mac = {2, 0x56, 0x4E, 0, 0, 9}) {
    return {kind, 42, ip(address), ip(local), port, mac};
}

const Arguments kPlantDevice{"neigh", "replace", "10.0.0.9", "lladdr",   "02:56:4e:00:00:09",
                             "dev",   "eth0",    "nud",      "permanent"};
const Arguments kDeleteDevice{"neigh", "del", "10.0.0.9", "dev", "eth0"};

class NetHelperServiceTest : public ::testing::Test {
  protected:
    HelperAnswer ask(const HelperRequest& sent) {
        const HelperReply reply = service.Handle(sent);
        EXPECT_EQ(reply.descriptor.valid(), (reply.answer.flags & kHelperDescriptorSent) != 0);
        return reply.answer;
    }
    HelperStatus status(K kind, std::string_view address, std::string_view local = kAny) {
        return ask(request(kind, address, local)).status;
    }

    FakeHost host;
    NetHelperService service{host};
};

class ForbiddenRequest : public NetHelperServiceTest,
                         public ::testing::WithParamInterface<HelperRequest> {};

TEST_P(ForbiddenRequest, IsRefusedAndNothingIsDone) {
    EXPECT_EQ(ask(GetParam()).status, HelperStatus::refused);
    EXPECT_TRUE(host.ran.empty());
    EXPECT_TRUE(host.opened.empty());
}

// Each differs from a request that is carried out in one field.
INSTANTIATE_TEST_SUITE_P(
    Cases, ForbiddenRequest,
    ::testing::Values(request(K::openUdp, "10.0.0.1", kAny, 68),
                      request(K::probeUdpPort, kAny, "10.0.0.1", 66),
                      request(K::openUdp, "127.0.0.1", kAny, 67),
                      request(K::openUdp, "10.0.0.11", kAny, 67),
                      request(K::openUdpOnInterface, kAny, "10.0.0.11", 69),
                      request(K::plantNeighbour, "192.168.1.5", "10.0.0.1"),
                      request(K::plantNeighbour, "10.0.0.255", "10.0.0.1"),
                      request(K::plantNeighbour, "0.255.255.255", "10.0.0.1"),
                      request(K::plantNeighbour, "127.0.0.2", "10.0.0.1"),
                      request(K::plantNeighbour, "10.0.0.9", "10.0.0.1", 0, {3, 0, 0, 0, 0, 1}),
                      request(K::plantNeighbour, "10.0.0.9", "10.0.0.1", 0, {}),
                      request(K::plantNeighbour, "10.0.0.9", "127.0.0.1"),
                      request(K::addHostRoute, "224.0.0.0", "10.0.0.1"),
                      request(K::addHostRoute, "239.255.255.255", "10.0.0.1"),
                      request(K::addHostRoute, "240.0.0.0", "10.0.0.1"),
                      request(K::addHostRoute, "10.0.0.9", "10.0.0.10"),
                      request(K::removeNeighbour, "255.255.255.255"),
                      request(K::removeNeighbourOn, "10.0.0.9", "10.0.0.1"),
                      request(K::removeHostRoute, "10.0.0.9"), request(K::openRawIcmp, kAny)));

TEST_F(NetHelperServiceTest, ChangesGoToTheInterfaceThatOwnsTheLocalAddress) {
    EXPECT_EQ(status(K::plantNeighbour, "10.0.0.9", "10.0.0.1"), HelperStatus::done);
    EXPECT_EQ(status(K::addHostRoute, "10.0.0.254", "192.168.1.5"), HelperStatus::done);
    EXPECT_EQ(status(K::removeNeighbour, "10.0.0.9"), HelperStatus::done);
    EXPECT_EQ(status(K::removeHostRoute, "10.0.0.254"), HelperStatus::done);
    EXPECT_EQ(host.ran, (std::vector<Arguments>{kPlantDevice,
                                                {"route", "replace", "10.0.0.254/32", "dev", "eth1",
                                                 "src", "192.168.1.5"},
                                                kDeleteDevice,
                                                {"-4", "neigh", "flush", "to", "10.0.0.9"},
                                                {"route", "del", "10.0.0.254/32"}}));
}

TEST_F(NetHelperServiceTest, RemovesOnAnInterfaceOnlyWhatItPlantedThere) {
    status(K::plantNeighbour, "10.0.0.9", "10.0.0.1");
    EXPECT_EQ(ask(request(K::removeNeighbourOn, "10.0.0.9", "192.168.1.5")).text,
              "no neighbour entry for 10.0.0.9 on eth1 was made here");
    EXPECT_EQ(status(K::removeNeighbourOn, "10.0.0.90", "10.0.0.1"), HelperStatus::refused);
    EXPECT_EQ(status(K::removeNeighbourOn, "10.0.0.9", "10.0.0.1"), HelperStatus::done);
    EXPECT_EQ(status(K::removeNeighbourOn, "10.0.0.9", "10.0.0.1"), HelperStatus::refused);
    EXPECT_EQ(host.ran, (std::vector<Arguments>{kPlantDevice, kDeleteDevice}));
}

TEST_F(NetHelperServiceTest, TheEndRemovesWhatIsNotKept) {
    for (const std::string_view address : {"10.0.0.9", "10.0.0.8"}) {
        status(K::plantNeighbour, address, "10.0.0.1");
        status(K::addHostRoute, address, "10.0.0.1");
    }
    EXPECT_EQ(status(K::keep, "10.0.0.9"), HelperStatus::done);
    host.ran.clear();
    service.RemoveAll();
    EXPECT_EQ(host.ran, (std::vector<Arguments>{{"neigh", "del", "10.0.0.8", "dev", "eth0"},
                                                {"route", "del", "10.0.0.8/32"}}));
}

// A device that announces another address takes its route along.
TEST_F(NetHelperServiceTest, AKeptRouteMayStillBeRemovedOnce) {
    status(K::addHostRoute, "10.0.0.9", "10.0.0.1");
    status(K::keep, "10.0.0.9");
    EXPECT_EQ(status(K::removeHostRoute, "10.0.0.9"), HelperStatus::done);
    EXPECT_EQ(status(K::removeHostRoute, "10.0.0.9"), HelperStatus::refused);
}

TEST_F(NetHelperServiceTest, AFailedToolAnswersInItsOwnWordsAndLeavesNothingToRemove) {
    host.ipWords = "ip: RTNETLINK answers: Operation not permitted";
    const HelperAnswer answer = ask(request(K::plantNeighbour, "10.0.0.9", "10.0.0.1"));
    EXPECT_EQ(answer.status, HelperStatus::failed);
    EXPECT_EQ(answer.text, host.ipWords);
    service.RemoveAll();
    EXPECT_EQ(host.ran, std::vector<Arguments>{kPlantDevice});
}

TEST_F(NetHelperServiceTest, SocketsAreHandedOverOrTheirErrnoIs) {
    host.datagramIcmp = false;
    EXPECT_EQ(ask(request(K::openUdpOnInterface, kAny, "192.168.1.5", 69)).flags,
              kHelperDescriptorSent);
    EXPECT_EQ(ask(request(K::openRawIcmp, kAny)).flags, kHelperDescriptorSent);
    host.probeError = EADDRINUSE;
    EXPECT_EQ(ask(request(K::probeUdpPort, kAny, "10.0.0.1", 67)).flags, kHelperPortTaken);
    host.socketError = host.probeError = EACCES;
    EXPECT_EQ(ask(request(K::openUdp, "10.0.0.1", kAny, 67)).error, std::uint32_t{EACCES});
    EXPECT_EQ(ask(request(K::probeUdpPort, kAny, "10.0.0.1", 67)).error, std::uint32_t{EACCES});
    EXPECT_EQ(host.opened, (std::vector<std::string>{"eth1:69", "raw icmp", "probe eth0:67",
                                                     "10.0.0.1:67", "probe eth0:67"}));
    EXPECT_EQ(ask(request(K::hello, kAny)).capabilities, 0x3400U);
}

}  // namespace
}  // namespace vantor
