#include "hostnet/NetHelperRecord.h"

#include <arpa/inet.h>

#include <algorithm>

#include "base/ByteReader.h"
#include "base/ByteWriter.h"

namespace vantor {
namespace {

constexpr std::size_t kRequestPaddingSize = 8;
constexpr std::uint8_t kHighestKind = static_cast<std::uint8_t>(HelperRequestKind::keep);
constexpr std::uint8_t kHighestStatus = static_cast<std::uint8_t>(HelperStatus::failed);

bool isKnownKind(std::uint8_t kind) {
    return kind >= static_cast<std::uint8_t>(HelperRequestKind::hello) && kind <= kHighestKind;
}

bool allZero(std::span<const std::uint8_t> bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t byte) { return byte == 0; });
}

void writeHeader(ByteWriter& writer, HelperRequestKind kind, std::uint32_t sequence) {
    writer.u16(kHelperMagic).u8(kHelperVersion).u8(static_cast<std::uint8_t>(kind)).u32(sequence);
}

// The kind after a valid magic and version, or nothing.
std::optional<HelperRequestKind> readHeader(ByteReader& reader) {
    const std::uint16_t magic = reader.u16();
    const std::uint8_t version = reader.u8();
    const std::uint8_t kind = reader.u8();
    if (!reader.ok() || magic != kHelperMagic || version != kHelperVersion || !isKnownKind(kind)) {
        return std::nullopt;
    }
    return static_cast<HelperRequestKind>(kind);
}

}  // namespace

std::vector<std::uint8_t> HelperRecord::BuildRequest(const HelperRequest& request) {
    std::vector<std::uint8_t> record(kHelperRequestSize);
    ByteWriter writer(std::span<std::uint8_t>(record), ByteOrder::big);
    writeHeader(writer, request.kind, request.sequence);
    writer.u32(ntohl(request.address)).u32(ntohl(request.localAddress)).u16(request.port);
    writer.bytes(request.mac);  // the zero padding is already there
    return record;
}

std::optional<HelperRequest> HelperRecord::ParseRequest(std::span<const std::uint8_t> bytes) {
    if (bytes.size() != kHelperRequestSize) {
        return std::nullopt;
    }
    ByteReader reader(bytes, ByteOrder::big);
    const auto kind = readHeader(reader);
    if (!kind) {
        return std::nullopt;
    }
    HelperRequest request;
    request.kind = *kind;
    request.sequence = reader.u32();
    request.address = htonl(reader.u32());
    request.localAddress = htonl(reader.u32());
    request.port = reader.u16();
    const auto mac = reader.bytes(request.mac.size());
    const auto padding = reader.bytes(kRequestPaddingSize);
    if (!reader.ok() || !allZero(padding)) {
        return std::nullopt;
    }
    std::copy(mac.begin(), mac.end(), request.mac.begin());
    return request;
}

std::vector<std::uint8_t> HelperRecord::BuildAnswer(const HelperAnswer& answer) {
    const std::string_view text =
        std::string_view(answer.text).substr(0, std::min(answer.text.size(), kHelperTextCapacity));
    std::vector<std::uint8_t> record(kHelperAnswerSize);
    ByteWriter writer(std::span<std::uint8_t>(record), ByteOrder::big);
    writeHeader(writer, answer.kind, answer.sequence);
    writer.u8(static_cast<std::uint8_t>(answer.status)).u8(answer.flags);
    writer.u16(static_cast<std::uint16_t>(text.size())).u32(answer.error).u64(answer.capabilities);
    writer.text(text);  // zeros after it are already there
    return record;
}

std::optional<HelperAnswer> HelperRecord::ParseAnswer(std::span<const std::uint8_t> bytes) {
    if (bytes.size() != kHelperAnswerSize) {
        return std::nullopt;
    }
    ByteReader reader(bytes, ByteOrder::big);
    const auto kind = readHeader(reader);
    if (!kind) {
        return std::nullopt;
    }
    HelperAnswer answer;
    answer.kind = *kind;
    answer.sequence = reader.u32();
    const std::uint8_t status = reader.u8();
    answer.flags = reader.u8();
    const std::uint16_t textLength = reader.u16();
    answer.error = reader.u32();
    answer.capabilities = reader.u64();
    if (!reader.ok() || status > kHighestStatus || textLength > kHelperTextCapacity) {
        return std::nullopt;
    }
    const auto text = reader.bytes(textLength);
    const auto rest = reader.bytes(reader.remaining());
    if (!reader.ok() || !allZero(rest)) {
        return std::nullopt;
    }
    answer.status = static_cast<HelperStatus>(status);
    answer.text.assign(text.begin(), text.end());
    return answer;
}

}  // namespace vantor
