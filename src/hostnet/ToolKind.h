#pragma once

namespace vantor {

// The two system tools the program changes the ARP cache and the routing table with. The
// values are fixed; any other value names no tool.
enum class ToolKind : int { Route = 1, Arp = 2 };

}  // namespace vantor
