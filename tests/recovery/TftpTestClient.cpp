#include "recovery/TftpTestClient.h"

#include <map>

#include "recovery/TftpPacket.h"
#include "recovery/TftpWire.h"

namespace vantor::test {

TftpTestClient::TftpTestClient(RecoveryLab& lab, const RecoveryLab::Device& device,
                               std::uint32_t from)
    : socket_(lab.socket(device, 0, from != 0 ? from : device.address)),
      server_{device.pcAddress, kTftpPort} {}

void TftpTestClient::request(std::uint16_t opcode, const std::string& name,
                             const std::vector<TftpOption>& options) {
    requestRaw(TftpPacket::BuildRequest(opcode, name, "octet", options));
}

void TftpTestClient::requestRaw(const std::vector<std::uint8_t>& bytes) {
    transfer_ = {};
    socket_->SendTo(bytes, server_);
}

std::optional<TftpTestClient::Packet> TftpTestClient::next(std::chrono::milliseconds limit) {
    Endpoint from;
    const auto bytes = receiveWithin(*socket_, limit, &from);
    if (!bytes) {
        return std::nullopt;
    }
    Packet packet;
    packet.from = from;
    packet.opcode = TftpPacket::Opcode(*bytes).value_or(0);
    if (const auto data = TftpPacket::ParseData(*bytes)) {
        packet.number = data->block;
        packet.payload.assign(data->payload.begin(), data->payload.end());
    } else if (const auto error = TftpPacket::ParseError(*bytes)) {
        packet.number = error->code;
        packet.text = error->message;
    } else if (auto options = TftpPacket::ParseOack(*bytes)) {
        packet.options = std::move(*options);
    }
    if (transfer_.port == 0) {
        transfer_ = from;
    }
    return packet;
}

void TftpTestClient::ack(std::uint16_t block) {
    send(TftpPacket::BuildAck(block));
}

void TftpTestClient::send(const std::vector<std::uint8_t>& bytes) {
    socket_->SendTo(bytes, transfer_);
}

TftpTestClient::Fetch TftpTestClient::fetch(const std::string& name,
                                            const std::function<bool(std::uint16_t, int)>& drop,
                                            std::chrono::milliseconds limit) {
    Fetch result;
    std::map<std::uint16_t, int> times;
    request(kTftpRrq, name);
    std::uint16_t expected = 1;
    while (const auto packet = next(limit)) {
        if (packet->opcode != kTftpData) {
            break;
        }
        result.seen.push_back(packet->number);
        const int count = ++times[packet->number];
        if (drop && drop(packet->number, count)) {
            continue;
        }
        if (packet->number == expected) {
            result.content.insert(result.content.end(), packet->payload.begin(),
                                  packet->payload.end());
            ++expected;
        }
        ack(packet->number);
        if (packet->payload.size() < kTftpBlockSize) {
            result.complete = true;
            break;
        }
    }
    return result;
}

TftpTestClient::OptionFetch TftpTestClient::fetchWithOptions(
    const std::string& name, const std::vector<TftpOption>& options, std::size_t blockSize,
    std::size_t window, const std::function<bool(std::uint16_t, int)>& drop) {
    OptionFetch result;
    std::map<std::uint16_t, int> times;
    request(kTftpRrq, name, options);
    std::uint16_t expected = 1;
    std::size_t inWindow = 0;
    bool gapAnswered = false;
    while (const auto packet = next()) {
        if (packet->opcode == kTftpOack && !result.oack) {
            result.oack = packet->options;
            ack(0);
            continue;
        }
        if (packet->opcode != kTftpData) {
            break;
        }
        result.fetch.seen.push_back(packet->number);
        const int count = ++times[packet->number];
        if (drop && drop(packet->number, count)) {
            continue;
        }
        if (packet->number != expected) {
            // RFC 7440: out of order; the sender goes on from the block after this ACK.
            if (!gapAnswered) {
                ack(static_cast<std::uint16_t>(expected - 1));
                gapAnswered = true;
            }
            inWindow = 0;
            continue;
        }
        gapAnswered = false;
        result.fetch.content.insert(result.fetch.content.end(), packet->payload.begin(),
                                    packet->payload.end());
        ++expected;
        const bool last = packet->payload.size() < blockSize;
        if (++inWindow == window || last) {
            ack(packet->number);
            inWindow = 0;
        }
        if (last) {
            result.fetch.complete = true;
            break;
        }
    }
    return result;
}

}  // namespace vantor::test
