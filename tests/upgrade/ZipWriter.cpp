#include "upgrade/ZipWriter.h"

#include <zlib.h>

#include <stdexcept>

namespace vantor::test {

namespace {

constexpr std::uint32_t kLocalSignature = 0x04034b50;
constexpr std::uint32_t kCentralSignature = 0x02014b50;
constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint32_t kDescriptorSignature = 0x08074b50;
constexpr std::uint16_t kVersion = 20;
constexpr std::size_t kCipherHeaderSize = 12;

void add16(std::vector<std::uint8_t>& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void add32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    add16(out, static_cast<std::uint16_t>(value));
    add16(out, static_cast<std::uint16_t>(value >> 16));
}

void addBytes(std::vector<std::uint8_t>& out, std::span<const std::uint8_t> bytes) {
    out.insert(out.end(), bytes.begin(), bytes.end());
}

std::uint32_t crcOf(std::span<const std::uint8_t> bytes) {
    return static_cast<std::uint32_t>(
        crc32(crc32(0, nullptr, 0), bytes.data(), static_cast<uInt>(bytes.size())));
}

std::vector<std::uint8_t> deflateRaw(std::span<const std::uint8_t> data) {
    z_stream stream{};
    if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        throw std::runtime_error("deflateInit2");
    }
    std::vector<std::uint8_t> out(deflateBound(&stream, static_cast<uLong>(data.size())));
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    if (result != Z_STREAM_END) {
        throw std::runtime_error("deflate");
    }
    return out;
}

// The traditional PKWARE cipher as the application note describes it. The key update uses
// the plain CRC-32 register step, obtained from zlib's crc32() by undoing its inversions.
class Encrypter {
  public:
    explicit Encrypter(const std::string& password) {
        for (const char c : password) {
            update(static_cast<std::uint8_t>(c));
        }
    }
    std::uint8_t encrypt(std::uint8_t plain) {
        const std::uint32_t temp = (key2_ | 2) & 0xFFFF;
        const auto stream = static_cast<std::uint8_t>((temp * (temp ^ 1)) >> 8);
        update(plain);
        return static_cast<std::uint8_t>(plain ^ stream);
    }

  private:
    static std::uint32_t step(std::uint32_t crc, std::uint8_t byte) {
        return ~static_cast<std::uint32_t>(crc32(~crc, &byte, 1));
    }
    void update(std::uint8_t plain) {
        key0_ = step(key0_, plain);
        key1_ = (key1_ + (key0_ & 0xFF)) * 134775813u + 1;
        key2_ = step(key2_, static_cast<std::uint8_t>(key1_ >> 24));
    }
    std::uint32_t key0_ = 0x12345678;
    std::uint32_t key1_ = 0x23456789;
    std::uint32_t key2_ = 0x34567890;
};

}  // namespace

std::vector<std::uint8_t> patternBytes(std::size_t count, std::uint32_t seed) {
    std::vector<std::uint8_t> out(count);
    std::uint32_t state = seed * 2654435761u + 1;
    for (auto& byte : out) {
        state = state * 1103515245u + 12345u;
        // Letters and digits only: never 'P' followed by 'K' and a control byte.
        byte = static_cast<std::uint8_t>('a' + (state >> 16) % 20);
    }
    return out;
}

std::vector<std::uint8_t> textBytes(std::string_view text) {
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

std::optional<std::size_t> findEnd(std::span<const std::uint8_t> bytes) {
    for (std::size_t i = bytes.size() >= 4 ? bytes.size() - 4 + 1 : 0; i-- > 0;) {
        if (getLe32(bytes, i) == kEndSignature) {
            return i;
        }
    }
    return std::nullopt;
}

void putLe16(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint16_t value) {
    bytes.at(offset) = static_cast<std::uint8_t>(value);
    bytes.at(offset + 1) = static_cast<std::uint8_t>(value >> 8);
}

void putLe32(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value) {
    putLe16(bytes, offset, static_cast<std::uint16_t>(value));
    putLe16(bytes, offset + 2, static_cast<std::uint16_t>(value >> 16));
}

std::uint16_t getLe16(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return static_cast<std::uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
}

std::uint32_t getLe32(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return getLe16(bytes, offset) | static_cast<std::uint32_t>(getLe16(bytes, offset + 2)) << 16;
}

ZipLayout buildZip(const std::vector<ZipMember>& members, const ZipOptions& options) {
    ZipLayout layout;
    auto& out = layout.bytes;
    out.assign(options.stubSize, 0xCC);
    const std::size_t base = options.offsetsIncludeStub ? 0 : options.stubSize;

    struct Written {
        std::uint16_t flags;
        std::uint32_t crc, compressed, uncompressed, offset;
    };
    std::vector<Written> written;
    std::uint32_t seed = 7;
    for (const auto& member : members) {
        const std::uint32_t crc = crcOf(member.data);
        std::vector<std::uint8_t> payload =
            member.method == 8 ? deflateRaw(member.data) : member.data;
        std::uint16_t flags = member.dataDescriptor ? 0x0008 : 0;
        if (!member.password.empty()) {
            flags |= 0x0001;
            Encrypter cipher(member.password);
            std::vector<std::uint8_t> sealed;
            for (std::size_t i = 0; i + 1 < kCipherHeaderSize; ++i) {
                seed = seed * 1103515245u + 12345u;
                sealed.push_back(cipher.encrypt(static_cast<std::uint8_t>(seed >> 16)));
            }
            const auto check =
                static_cast<std::uint8_t>(member.dataDescriptor ? member.modTime >> 8 : crc >> 24);
            sealed.push_back(cipher.encrypt(check));
            for (const std::uint8_t byte : payload) {
                sealed.push_back(cipher.encrypt(byte));
            }
            payload = std::move(sealed);
        }
        const Written entry{flags, crc, static_cast<std::uint32_t>(payload.size()),
                            static_cast<std::uint32_t>(member.data.size()),
                            static_cast<std::uint32_t>(out.size() - base)};
        layout.localOffsets.push_back(out.size());
        add32(out, kLocalSignature);
        add16(out, kVersion);
        add16(out, flags);
        add16(out, member.method);
        add16(out, member.modTime);
        add16(out, member.modDate);
        // A streaming writer does not know these yet: they follow the data.
        add32(out, member.dataDescriptor ? 0 : entry.crc);
        add32(out, member.dataDescriptor ? 0 : entry.compressed);
        add32(out, member.dataDescriptor ? 0 : entry.uncompressed);
        add16(out, static_cast<std::uint16_t>(member.name.size()));
        add16(out, 0);
        addBytes(out, textBytes(member.name));
        layout.dataOffsets.push_back(out.size());
        addBytes(out, payload);
        if (member.dataDescriptor) {
            add32(out, kDescriptorSignature);
            add32(out, entry.crc);
            add32(out, entry.compressed);
            add32(out, entry.uncompressed);
        }
        written.push_back(entry);
    }

    layout.centralOffset = out.size();
    for (std::size_t i = 0; i < members.size(); ++i) {
        const auto& member = members[i];
        const auto& entry = written[i];
        layout.centralOffsets.push_back(out.size());
        add32(out, kCentralSignature);
        add16(out, kVersion);
        add16(out, kVersion);
        add16(out, entry.flags);
        add16(out, member.method);
        add16(out, member.modTime);
        add16(out, member.modDate);
        add32(out, entry.crc);
        add32(out, entry.compressed);
        add32(out, entry.uncompressed);
        add16(out, static_cast<std::uint16_t>(member.name.size()));
        add16(out, 0);  // extra
        add16(out, 0);  // comment
        add16(out, 0);  // disk
        add16(out, 0);  // internal attributes
        add32(out, 0);  // external attributes
        add32(out, entry.offset);
        addBytes(out, textBytes(member.name));
    }
    layout.endOffset = out.size();
    add32(out, kEndSignature);
    add16(out, 0);
    add16(out, 0);
    add16(out, static_cast<std::uint16_t>(members.size()));
    add16(out, static_cast<std::uint16_t>(members.size()));
    add32(out, static_cast<std::uint32_t>(layout.endOffset - layout.centralOffset));
    add32(out, static_cast<std::uint32_t>(layout.centralOffset - base));
    add16(out, static_cast<std::uint16_t>(options.comment.size()));
    addBytes(out, textBytes(options.comment));
    return layout;
}

}  // namespace vantor::test
