// A datagram on the TFTP port, and the replies a transfer reads, through their parsers.
#include <cstdint>
#include <span>

#include "recovery/BootImages.h"
#include "recovery/TftpOptions.h"
#include "recovery/TftpPacket.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> datagram(data, size);
    const vantor::TftpRequest request = vantor::TftpPacket::ParseRequest(datagram);
    if (request.kind == vantor::TftpRequestKind::read) {
        if (request.fileName.size() + request.mode.size() + 4 > size) {
            __builtin_trap();
        }
        if (vantor::BootImages::IsPlainFileName(request.fileName) &&
            (request.fileName.find('/') != std::string::npos ||
             request.fileName.find("..") != std::string::npos)) {
            __builtin_trap();
        }
        // Whatever the client asks, the terms stay within what the server can send.
        const vantor::TftpTerms terms =
            vantor::TftpOptions::Negotiate(request.options, vantor::TftpOptionLimits{1468, 4096});
        if (terms.blockSize < vantor::kTftpMinBlockSize || terms.blockSize > 1468 ||
            terms.windowSize < 1 || terms.windowSize > vantor::kTftpMaxWindowSize ||
            terms.acknowledged.size() > request.options.size()) {
            __builtin_trap();
        }
    }
    vantor::TftpPacket::ParseAck(datagram);
    vantor::TftpPacket::ParseOack(datagram);
    vantor::TftpPacket::ParseData(datagram);
    vantor::TftpPacket::ParseError(datagram);
    return 0;
}
