// What the program sends its network helper, as consecutive 32-byte request records, through
// the parser and, while they parse, the helper's decisions over a host that does nothing.
#include <cstdint>
#include <span>

#include "base/Ipv4.h"
#include "helper/NetHelperService.h"

namespace {

using namespace vantor;

class InertHost final : public HelperHost {
  public:
    std::vector<InterfaceList::Entry> Interfaces() override {
        const std::uint32_t mask = Ipv4::fromOctets(255, 255, 255, 0);
        return {{"lo", 1, Ipv4::fromOctets(127, 0, 0, 1), Ipv4::fromOctets(255, 0, 0, 0), 0, true,
                 true, false},
                {"eth0", 2, Ipv4::fromOctets(10, 0, 0, 1), mask, Ipv4::fromOctets(10, 0, 0, 255),
                 true, false, true}};
    }
    HostSocket OpenUdp(std::uint32_t, std::uint16_t) override { return {UniqueFd(), 1}; }
    HostSocket OpenUdpOnInterface(const std::string&, std::uint16_t) override {
        return {UniqueFd(), 1};
    }
    int ProbeUdpPort(const std::string&, std::uint16_t) override { return 0; }
    bool DatagramIcmpAllowed() override { return false; }
    HostSocket OpenRawIcmp() override { return {UniqueFd(), 1}; }
    ToolResult RunIp(const std::vector<std::string>&) override {
        ++runs;
        return {};
    }
    std::uint64_t EffectiveCapabilities() override { return 0; }

    std::size_t runs = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    HelperRecord::ParseAnswer(bytes);
    InertHost host;
    NetHelperService service(host);
    for (std::size_t at = 0; at + kHelperRequestSize <= size; at += kHelperRequestSize) {
        const auto request = HelperRecord::ParseRequest(bytes.subspan(at, kHelperRequestSize));
        if (!request) {
            break;
        }
        const std::size_t runsBefore = host.runs;
        const HelperReply reply = service.Handle(*request);
        const auto answer = HelperRecord::ParseAnswer(HelperRecord::BuildAnswer(reply.answer));
        // A refusal changes nothing; every answer is a well-formed record of its request.
        if ((reply.answer.status == HelperStatus::refused && host.runs != runsBefore) || !answer ||
            answer->kind != request->kind || answer->sequence != request->sequence) {
            __builtin_trap();
        }
    }
    service.RemoveAll();
    return 0;
}
