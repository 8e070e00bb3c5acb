#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace vantor {

// The MTU of a local interface, for senders that size their datagrams to fit it.
struct InterfaceMtu {
    // The MTU of the interface that owns `address` (network order); nothing when no
    // interface owns it or the MTU cannot be read.
    static std::optional<std::size_t> Of(std::uint32_t address);
};

}  // namespace vantor
