#include "upgrade/FirmwareArchive.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <limits>

#include "upgrade/FileArchiveSource.h"
#include "upgrade/RawInflater.h"
#include "upgrade/TraditionalCipher.h"
#include "upgrade/ZipFormat.h"

namespace vantor {

namespace {

// The byte that the last byte of a decrypted encryption header must equal. A writer that
// streams (flag bit 3) does not know the CRC-32 when it writes the header, so it uses the
// high byte of the modification time instead.
std::uint8_t passwordCheckByte(const ZipCentralEntry& entry) {
    if ((entry.flags & kZipFlagDataDescriptor) != 0) {
        return static_cast<std::uint8_t>(entry.modTime >> 8);
    }
    return static_cast<std::uint8_t>(entry.crc32 >> 24);
}

std::uint32_t updateCrc(std::uint32_t crc, std::span<const std::uint8_t> bytes) {
    constexpr std::size_t kMaxChunk = std::numeric_limits<uInt>::max();
    while (!bytes.empty()) {
        const std::size_t count = std::min(bytes.size(), kMaxChunk);
        crc = static_cast<std::uint32_t>(crc32(crc, bytes.data(), static_cast<uInt>(count)));
        bytes = bytes.subspan(count);
    }
    return crc;
}

}  // namespace

// The state of the member being read.
struct FirmwareArchive::Member {
    std::uint32_t expectedCrc = 0;
    std::optional<TraditionalCipher> cipher;
    std::optional<RawInflater> inflater;  // deflated members only
    std::uint64_t nextCompressed = 0;     // file offset of the next compressed byte
    std::uint64_t compressedLeft = 0;
    std::uint64_t uncompressedLeft = 0;
    std::uint32_t crc = 0;
    std::vector<std::uint8_t> input = std::vector<std::uint8_t>(kZipReadChunk);
    std::size_t inputPos = 0;
    std::size_t inputEnd = 0;
};

FirmwareArchive::FirmwareArchive() = default;
FirmwareArchive::~FirmwareArchive() = default;

bool FirmwareArchive::fail(ArchiveError error) {
    error_ = error;
    return false;
}

bool FirmwareArchive::Open(const std::string& path) {
    Close();
    error_.reset();
    auto source = FileArchiveSource::open(path);
    if (!source) {
        return fail(ArchiveError::FileError);
    }
    return Open(std::move(source));
}

bool FirmwareArchive::Open(std::unique_ptr<ArchiveSource> source) {
    Close();
    error_.reset();
    if (!source) {
        return fail(ArchiveError::FileError);
    }
    source_ = std::move(source);
    if (!readCentralDirectory()) {
        Close();
        return false;
    }
    return true;
}

std::optional<std::uint64_t> FirmwareArchive::findEndRecord() {
    const std::uint64_t length = source_->size();
    const std::uint64_t searchStart = length - std::min<std::uint64_t>(length, kZipEndSearchSize);
    std::vector<std::uint8_t> chunk(kZipEndSearchChunk);
    std::uint64_t chunkEnd = length;
    while (chunkEnd - searchStart >= kZipSignatureSize) {
        const auto count =
            static_cast<std::size_t>(std::min<std::uint64_t>(chunkEnd - searchStart, chunk.size()));
        const std::uint64_t chunkStart = chunkEnd - count;
        const std::span<std::uint8_t> window(chunk.data(), count);
        const auto got = source_->readAt(chunkStart, window);
        if (!got || *got != count) {
            fail(ArchiveError::FileError);
            return std::nullopt;
        }
        if (const auto at = findLastSignature(window, kZipEndRecordSignature)) {
            return chunkStart + *at;
        }
        if (chunkStart == searchStart) {
            break;
        }
        chunkEnd = chunkStart + kZipEndSearchOverlap;
    }
    fail(ArchiveError::NoEndRecord);
    return std::nullopt;
}

std::optional<std::uint64_t> FirmwareArchive::centralDirectoryEnd(std::uint64_t endPos,
                                                                  const ZipEndRecord& record) {
    std::array<std::uint8_t, kZip64EndRecordSize + kZip64LocatorSize> trailer{};
    if (endPos < trailer.size()) {
        return endPos;
    }
    const std::uint64_t trailerPos = endPos - trailer.size();
    const auto got = source_->readAt(trailerPos, trailer);
    if (!got || *got != trailer.size()) {
        fail(ArchiveError::FileError);
        return std::nullopt;
    }
    if (!isZip64Locator(std::span(trailer).subspan(kZip64EndRecordSize))) {
        return endPos;
    }
    // Only a trailer that repeats the 32-bit values is accepted: an archive that needs the
    // 64-bit values is far larger than any firmware.
    const auto wide = parseZip64EndRecord(trailer);
    if (!wide || wide->recordSize != kZip64EndRecordSizeField || wide->diskNumber != 0 ||
        wide->centralDisk != 0 || wide->entriesOnDisk != record.totalEntries ||
        wide->totalEntries != record.totalEntries || wide->centralSize != record.centralSize ||
        wide->centralOffset != record.centralOffset) {
        fail(ArchiveError::BadArchive);
        return std::nullopt;
    }
    return trailerPos;
}

bool FirmwareArchive::readCentralDirectory() {
    const auto endPos = findEndRecord();
    if (!endPos) {
        return false;
    }
    std::array<std::uint8_t, kZipEndRecordSize> raw{};
    const auto got = source_->readAt(*endPos, raw);
    if (!got) {
        return fail(ArchiveError::FileError);
    }
    const auto record = parseZipEndRecord(std::span(raw.data(), *got));
    if (!record) {
        return fail(ArchiveError::BadArchive);  // the record is cut short by the file's end
    }
    // A single-file archive: one disk, every entry on it.
    if (record->diskNumber != 0 || record->centralDisk != 0 ||
        record->entriesOnDisk != record->totalEntries) {
        return fail(ArchiveError::BadArchive);
    }
    // The central directory ends where the end record (or the 64-bit trailer) begins;
    // whatever lies in front of the offset it names is a stub that the archive's offsets do
    // not count.
    const auto directoryEnd = centralDirectoryEnd(*endPos, *record);
    if (!directoryEnd) {
        return false;
    }
    const std::uint64_t centralEnd =
        static_cast<std::uint64_t>(record->centralOffset) + record->centralSize;
    if (*directoryEnd < centralEnd) {
        return fail(ArchiveError::BadArchive);
    }
    startOffset_ = *directoryEnd - centralEnd;
    centralStart_ = startOffset_ + record->centralOffset;
    if (*endPos + kZipEndRecordSize + record->commentLength > source_->size()) {
        return fail(ArchiveError::BadArchive);  // the comment runs past the end of the file
    }
    if ((record->centralSize == 0) != (record->totalEntries == 0)) {
        return fail(ArchiveError::BadArchive);
    }
    if (record->centralSize == 0) {
        return true;
    }
    // Bounded before anything is allocated: the end record lies inside the file's last bytes,
    // but the sizes it names are the archive writer's word.
    if (record->centralSize > kZipMaxCentralDirectorySize) {
        return fail(ArchiveError::BadArchive);
    }
    std::vector<std::uint8_t> central(record->centralSize);
    const auto read = source_->readAt(centralStart_, central);
    if (!read || *read != central.size()) {
        return fail(ArchiveError::FileError);
    }
    auto entries = parseZipCentralDirectory(central, record->totalEntries);
    if (!entries) {
        return fail(ArchiveError::BadArchive);
    }
    entries_ = std::move(*entries);
    return true;
}

bool FirmwareArchive::SetPassword(std::string_view password) {
    if (member_) {
        return false;
    }
    password_.assign(password.begin(), password.end());
    return true;
}

std::string FirmwareArchive::EntryName(std::size_t index) const {
    return index < entries_.size() ? entries_[index].name : std::string();
}

std::optional<std::uint64_t> FirmwareArchive::memberLimit(std::size_t index) const {
    const std::uint32_t own = entries_[index].localHeaderOffset;
    std::uint64_t limit = centralStart_;
    for (std::size_t other = 0; other < entries_.size(); ++other) {
        if (other == index) {
            continue;
        }
        const std::uint32_t offset = entries_[other].localHeaderOffset;
        if (offset == own) {
            return std::nullopt;  // two entries share one local header
        }
        if (offset > own) {
            limit = std::min<std::uint64_t>(limit, startOffset_ + offset);
        }
    }
    return limit;
}

bool FirmwareArchive::OpenMember(std::size_t index) {
    error_.reset();
    if (!source_ || member_ || index >= entries_.size()) {
        return false;
    }
    const ZipCentralEntry& entry = entries_[index];
    if (entry.method != kZipMethodStored && entry.method != kZipMethodDeflated) {
        return fail(ArchiveError::BadArchive);
    }

    // The local header, name, extra field and data must all lie in front of the next
    // member's local header (or the central directory): a member that reaches into another,
    // into the directory or past the file is damaged, whatever its sizes say. Members that
    // overlap would let one stored stream pass for two members.
    const auto limit = memberLimit(index);
    const std::uint64_t localPos = startOffset_ + entry.localHeaderOffset;
    if (!limit || localPos + kZipLocalHeaderSize > *limit) {
        return fail(ArchiveError::BadArchive);
    }
    std::array<std::uint8_t, kZipLocalHeaderSize> raw{};
    const auto got = source_->readAt(localPos, raw);
    if (!got || *got != raw.size()) {
        return fail(ArchiveError::FileError);
    }
    const auto local = parseZipLocalHeader(raw);
    if (!local || local->flags != entry.flags || local->method != entry.method ||
        local->nameLength != entry.name.size()) {
        return fail(ArchiveError::BadArchive);
    }
    // With a data descriptor the local header may hold zeros for the sizes and CRC-32; the
    // central entry, written after the data, is the one to trust.
    const bool descriptor = (entry.flags & kZipFlagDataDescriptor) != 0;
    if (!descriptor &&
        (local->crc32 != entry.crc32 || local->compressedSize != entry.compressedSize ||
         local->uncompressedSize != entry.uncompressedSize)) {
        return fail(ArchiveError::BadArchive);
    }
    const std::uint64_t dataPos =
        localPos + kZipLocalHeaderSize + local->nameLength + local->extraLength;
    if (dataPos + entry.compressedSize > *limit) {
        return fail(ArchiveError::BadArchive);
    }
    const bool encrypted = (entry.flags & kZipFlagEncrypted) != 0;
    std::uint64_t payload = entry.compressedSize;
    if (encrypted) {
        if (payload < kZipEncryptionHeaderSize) {
            return fail(ArchiveError::BadArchive);  // not even room for the encryption header
        }
        payload -= kZipEncryptionHeaderSize;
    }
    if (entry.method == kZipMethodStored && payload != entry.uncompressedSize) {
        return fail(ArchiveError::BadArchive);
    }
    if (encrypted && password_.empty()) {
        return false;
    }

    auto member = std::make_unique<Member>();
    member->expectedCrc = entry.crc32;
    member->nextCompressed = dataPos;
    member->compressedLeft = payload;
    member->uncompressedLeft = entry.uncompressedSize;
    member->crc = static_cast<std::uint32_t>(crc32(0, nullptr, 0));
    if (encrypted) {
        std::array<std::uint8_t, kZipEncryptionHeaderSize> header{};
        const auto headerGot = source_->readAt(dataPos, header);
        if (!headerGot || *headerGot != header.size()) {
            return fail(ArchiveError::FileError);
        }
        member->cipher.emplace(password_);
        member->cipher->decrypt(header);
        if (header.back() != passwordCheckByte(entry)) {
            return fail(ArchiveError::BadPassword);
        }
        member->nextCompressed += kZipEncryptionHeaderSize;
    }
    if (entry.method == kZipMethodDeflated) {
        member->inflater.emplace();
        if (!member->inflater->ok()) {
            return fail(ArchiveError::DataError);
        }
    }
    member_ = std::move(member);
    return true;
}

bool FirmwareArchive::refill(Member& member) {
    const auto count = static_cast<std::size_t>(
        std::min<std::uint64_t>(member.compressedLeft, member.input.size()));
    const std::span<std::uint8_t> window(member.input.data(), count);
    const auto got = source_->readAt(member.nextCompressed, window);
    if (!got || *got != count) {
        return false;  // checked against the file's length at opening: the file has changed
    }
    if (member.cipher) {
        member.cipher->decrypt(window);
    }
    member.nextCompressed += count;
    member.compressedLeft -= count;
    member.inputPos = 0;
    member.inputEnd = count;
    return true;
}

std::size_t FirmwareArchive::failRead(ArchiveError error) {
    member_.reset();
    fail(error);
    return 0;
}

std::size_t FirmwareArchive::readStored(Member& member, std::span<std::uint8_t> buffer) {
    std::size_t done = 0;
    while (done < buffer.size() && member.uncompressedLeft > 0) {
        if (member.inputPos == member.inputEnd) {
            if (member.compressedLeft == 0) {
                return failRead(ArchiveError::DataError);
            }
            if (!refill(member)) {
                return failRead(ArchiveError::FileError);
            }
        }
        const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(
            {buffer.size() - done, member.inputEnd - member.inputPos, member.uncompressedLeft}));
        std::copy_n(member.input.begin() + static_cast<std::ptrdiff_t>(member.inputPos), count,
                    buffer.begin() + static_cast<std::ptrdiff_t>(done));
        member.inputPos += count;
        member.uncompressedLeft -= count;
        done += count;
    }
    return done;
}

std::size_t FirmwareArchive::readDeflated(Member& member, std::span<std::uint8_t> buffer) {
    std::size_t done = 0;
    while (done < buffer.size() && member.uncompressedLeft > 0) {
        if (member.inputPos == member.inputEnd && member.compressedLeft > 0 && !refill(member)) {
            return failRead(ArchiveError::FileError);
        }
        const auto room = static_cast<std::size_t>(
            std::min<std::uint64_t>(buffer.size() - done, member.uncompressedLeft));
        const auto step = member.inflater->inflate(
            std::span(member.input).subspan(member.inputPos, member.inputEnd - member.inputPos),
            buffer.subspan(done, room));
        member.inputPos += step.consumed;
        member.uncompressedLeft -= step.produced;
        done += step.produced;
        if (step.status == RawInflater::Status::Damaged) {
            return failRead(ArchiveError::DataError);
        }
        if (step.status == RawInflater::Status::StreamEnd) {
            if (member.uncompressedLeft > 0) {
                return failRead(ArchiveError::DataError);  // shorter than its entry says
            }
            break;
        }
        // Input is only ever empty here once the compressed data is used up, so a step
        // without progress means the stream is cut short.
        if (step.consumed == 0 && step.produced == 0) {
            return failRead(ArchiveError::DataError);
        }
    }
    return done;
}

std::size_t FirmwareArchive::ReadMember(std::span<std::uint8_t> buffer) {
    error_.reset();
    if (!member_) {
        return 0;
    }
    Member& member = *member_;
    const std::size_t done =
        member.inflater ? readDeflated(member, buffer) : readStored(member, buffer);
    if (!member_) {
        return 0;  // failed and closed
    }
    member.crc = updateCrc(member.crc, buffer.first(done));
    return done;
}

int FirmwareArchive::CloseMember() {
    error_.reset();
    if (!member_) {
        return kMemberFailed;
    }
    const auto member = std::move(member_);
    if (member->uncompressedLeft > 0) {
        return kMemberUnfinished;
    }
    if (member->crc != member->expectedCrc) {
        fail(ArchiveError::BadCrc);
        return kMemberFailed;
    }
    return kMemberComplete;
}

void FirmwareArchive::Close() {
    member_.reset();
    source_.reset();
    entries_.clear();
    password_.clear();
    startOffset_ = 0;
    centralStart_ = 0;
}

}  // namespace vantor
