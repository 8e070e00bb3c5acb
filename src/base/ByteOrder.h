#pragma once

namespace vantor {

// The order of a multi-byte field on the wire or in a file: network protocols (TFTP, DHCP,
// ICMP, the device announcement) put the high byte first; zip records, update files and the
// code update protocol put the low byte first.
enum class ByteOrder { big, little };

}  // namespace vantor
