// Reading /proc/net/udp for the sockets of a port: the DHCP server's check for another holder.
#include "net/UdpPortHolders.h"

#include <gtest/gtest.h>

#include "base/Ipv4.h"

namespace vantor {
namespace {

const std::string kHeading =
    "   sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout "
    "inode ref pointer drops\n";

std::string row(const std::string& local, const std::string& inode) {
    return "  12: " + local + " 00000000:0000 07 00000000:00000000 00:00000000 00000000     0" +
           "        0 " + inode + " 2 0000000000000000 0\n";
}

struct TableCase {
    const char* name;
    std::string rows;
    std::vector<std::uint64_t> inodes;
};

void PrintTo(const TableCase& c, std::ostream* out) {
    *out << c.name;
}

class UdpTable : public ::testing::TestWithParam<TableCase> {};

// The interface's address 10.77.1.1 as the kernel prints it on this little-endian machine's
// table: the network-order word as a number.
TEST_P(UdpTable, NamesTheSocketsOfPort67OnTheWildcardOrTheInterfaceAddress) {
    const std::uint32_t address = Ipv4::fromOctets(10, 77, 1, 1);
    EXPECT_EQ(udpSocketInodes(kHeading + GetParam().rows, 67, address), GetParam().inodes);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, UdpTable,
    ::testing::Values(
        TableCase{"Wildcard", row("00000000:0043", "505776"), {505776}},
        TableCase{"TheInterfacesAddress", row("01014D0A:0043", "17"), {17}},
        TableCase{"AnotherAddress", row("01024D0A:0043", "17"), {}},
        TableCase{"PortOneOff", row("00000000:0044", "1") + row("00000000:0042", "2"), {}},
        // 0x0043 and 0x4300: the port is printed in host order.
        TableCase{"PortBytesSwapped", row("00000000:4300", "3"), {}},
        TableCase{"Several",
                  row("00000000:0045", "1") + row("00000000:0043", "18446744073709551615") +
                      row("01014D0A:0043", "9"),
                  {18446744073709551615ULL, 9}},
        TableCase{"CutShort", "  12: 00000000:0043 00000000:0000 07\n", {}},
        TableCase{
            "Garbage",
            row("0000000G:0043", "4") + row("00000000:00431", "5") + row("00000000:0043", "6x"),
            {}},
        TableCase{"NoNewlineAtTheEnd", "  1: 00000000:0043 0 0 0 0 0 0 0 77", {77}}),
    [](const ::testing::TestParamInfo<TableCase>& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace vantor
