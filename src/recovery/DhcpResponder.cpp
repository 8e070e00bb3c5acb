#include "recovery/DhcpResponder.h"

#include "base/Product.h"

#include <algorithm>

#include "base/Ipv4.h"
#include "recovery/DhcpMessage.h"

namespace vantor {

DhcpResponder::DhcpResponder(std::uint32_t nicAddress, std::string serverName,
                             std::vector<std::array<std::uint8_t, 3>> deviceOuis)
    : deviceOuiTexts_([&] {
          std::vector<std::string> texts;
          for (const auto& oui : deviceOuis) {
              texts.push_back(DhcpMessage::FormatMacText(oui));
          }
          return texts;
      }()),
      nicAddress_(nicAddress),
      offeredAddress_(Ipv4::fromOctets(kRecoveryAddressOctets[0], kRecoveryAddressOctets[1],
                                       kRecoveryAddressOctets[2], kRecoveryAddressOctets[3])),
      serverName_(std::move(serverName)) {}

std::string DhcpResponder::ServerNameFor(const std::optional<std::string>& hostName) {
    std::string name =
        hostName ? hostName->substr(0, kHostNameMaxSize) : std::string(kFallbackServerName);
    name = name.substr(0, name.find('.'));
    name.resize(std::min(name.size(), kServerNameMaxLength));
    return name;
}

std::string DhcpResponder::DeviceOuiText() {
    return DhcpMessage::FormatMacText(kDeviceOui);
}

bool DhcpResponder::IsDeviceMac(std::string_view macText) const {
    for (const std::string& oui : deviceOuiTexts_) {
        if (macText.substr(0, oui.size()) == oui) {
            return true;
        }
    }
    return false;
}

DhcpDestination DhcpResponder::ChooseDestination(Endpoint sender) {
    const std::uint32_t limitedBroadcast = 0xFFFFFFFFU;
    if (sender.address != 0 && sender.address != limitedBroadcast) {
        return DhcpDestination{false, sender};
    }
    return DhcpDestination{true, Endpoint{limitedBroadcast, sender.port}};
}

DhcpDecision DhcpResponder::Evaluate(std::span<const std::uint8_t> datagram, Endpoint sender) {
    DhcpDecision decision;
    if (datagram.size() < kDhcpMinimumSize) {
        decision.verdict = DhcpVerdict::tooShort;
        return decision;
    }
    // Work on a copy the size of the receive buffer, with the last byte of sname and of file
    // forced to zero, as the receive loop always did; reads stay within the datagram.
    std::array<std::uint8_t, kDhcpReceiveSize> buffer{};
    const std::size_t length = std::min(datagram.size(), buffer.size());
    std::copy_n(datagram.begin(), length, buffer.begin());
    buffer[kDhcpSnameOffset + kDhcpSnameSize - 1] = 0;
    buffer[kDhcpFileOffset + kDhcpFileSize - 1] = 0;
    const std::span<const std::uint8_t> message(buffer.data(), length);

    decision.serverName = DhcpMessage::ServerName(message);
    decision.op = message[kDhcpOpOffset];
    decision.macText = DhcpMessage::ClientMacText(message);
    std::copy_n(message.begin() + kDhcpChaddrOffset, decision.mac.size(), decision.mac.begin());
    decision.clientAddress = DhcpMessage::ReadAddress(message, kDhcpCiaddrOffset);

    if (!decision.serverName.empty() && decision.serverName != serverName_) {
        decision.verdict = DhcpVerdict::otherServer;
        return decision;
    }
    if (decision.op != kBootRequest) {
        decision.verdict = DhcpVerdict::notRequest;
        return decision;
    }
    if (!IsDeviceMac(decision.macText)) {
        decision.verdict = DhcpVerdict::foreignClient;
        return decision;
    }
    decision.destination = ChooseDestination(sender);
    decision.verdict =
        ProcessBootRequest(message, decision) ? DhcpVerdict::reply : DhcpVerdict::noReply;
    return decision;
}

bool DhcpResponder::ProcessBootRequest(std::span<const std::uint8_t> message,
                                       DhcpDecision& decision) {
    decision.messageType = DhcpMessage::MessageType(message);
    if (const auto hostName = DhcpMessage::FindDhcpOption(message, kDhcpOptionHostName)) {
        const bool pxa = hostName->size() >= kPxaBoardTag.size() &&
                         std::equal(kPxaBoardTag.begin(), kPxaBoardTag.end(), hostName->begin());
        decision.board = pxa ? BoardType::pxa : BoardType::other;
    }
    const BoardType board = BoardOf(decision.macText, decision.board);
    switch (decision.messageType) {
        case kDhcpTypeBootp:
        case kDhcpDiscover:
            decision.replyType = kDhcpOffer;
            break;
        case kDhcpRequest:
            decision.replyType = kDhcpAck;
            break;
        default:
            return false;
    }
    decision.reply = DhcpMessage::BuildReply(message, decision.replyType, nicAddress_,
                                             offeredAddress_, KernelOf(board));
    return true;
}

BoardType DhcpResponder::BoardOf(std::string_view macText, BoardType announced) {
    BoardType* remembered = boards_.Touch(macText);
    if (announced == BoardType::unknown) {
        return remembered != nullptr ? *remembered : BoardType::unknown;
    }
    if (remembered != nullptr) {
        *remembered = announced;
    } else {
        boards_.Insert(macText, announced);
    }
    return announced;
}

std::string_view DhcpResponder::KernelOf(BoardType board) {
    return board == BoardType::pxa ? kPxaKernelImage : kKernelImage;
}

std::string_view DhcpResponder::bootFileNameFor(std::string_view macText) const {
    const BoardType* remembered = boards_.Peek(macText);
    return KernelOf(remembered != nullptr ? *remembered : BoardType::unknown);
}

}  // namespace vantor
