#pragma once

#include <cstdint>
#include <string>

namespace vantor {

// How far one transfer has come: a TFTP image being served, or a region of a firmware
// upgrade. Progress is shown beside the status log, never as rows in it.
struct TransferProgress {
    // The device's address when several devices are upgraded at once; empty otherwise.
    std::string device;
    // The image's file name ("kernel.img") or the upgrade region ("microcode", "tail", "bin",
    // "logo"). Text from the network: filtered before it is shown.
    std::string name;
    std::uint64_t done = 0;   // bytes sent and acknowledged
    std::uint64_t total = 0;  // bytes the transfer holds

    // The last report of a transfer: everything was sent.
    bool complete() const { return done >= total; }
};

}  // namespace vantor
