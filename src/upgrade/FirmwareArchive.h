#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "upgrade/ArchiveError.h"
#include "upgrade/ArchiveSource.h"
#include "upgrade/ZipRecords.h"

namespace vantor {

// Read access to a firmware archive: a single-file zip archive of stored or deflated members,
// optionally under traditional PKWARE encryption. One member is read at a time.
//
// Operations answer as their callers need (true/false, a count); when an operation fails for
// a reason the caller must tell apart, error() gives the kind until the next operation.
// After a member error the archive stays open with no member open.
//
// Used by one thread at a time; it has no locks.
class FirmwareArchive {
  public:
    // CloseMember() results.
    static constexpr int kMemberComplete = 1;     // read to its end, CRC-32 good
    static constexpr int kMemberUnfinished = -1;  // data left unread; no CRC-32 test made
    static constexpr int kMemberFailed = 0;       // BadCrc, or no member was open

    FirmwareArchive();
    ~FirmwareArchive();
    FirmwareArchive(const FirmwareArchive&) = delete;
    FirmwareArchive& operator=(const FirmwareArchive&) = delete;

    // Opens the archive file for reading only and reads its central directory. An archive
    // already open is closed first; the password is removed.
    bool Open(const std::string& path);
    bool Open(std::unique_ptr<ArchiveSource> source);

    // Stores the password's bytes; empty removes it. Refused while a member is open.
    bool SetPassword(std::string_view password);

    std::size_t Count() const { return entries_.size(); }
    // The stored name; empty when the index is out of range.
    std::string EntryName(std::size_t index) const;

    // False without an error when the index is out of range, no archive is open, a member is
    // already open, or the member is encrypted and there is no password. False with
    // BadArchive, BadPassword, DataError or FileError otherwise.
    bool OpenMember(std::size_t index);
    // Uncompressed bytes placed at the front of buffer: at most its size and what is left of
    // the member; 0 at the end, with no member open, or on DataError/FileError (which also
    // close the member).
    std::size_t ReadMember(std::span<std::uint8_t> buffer);
    // kMemberComplete, kMemberUnfinished or kMemberFailed; the member is closed in any case.
    int CloseMember();
    // Closes an open member and the file.
    void Close();

    bool isOpen() const { return source_ != nullptr; }
    bool memberOpen() const { return member_ != nullptr; }
    std::optional<ArchiveError> error() const { return error_; }

  private:
    struct Member;

    bool fail(ArchiveError error);
    bool readCentralDirectory();
    std::optional<std::uint64_t> findEndRecord();
    std::optional<std::uint64_t> centralDirectoryEnd(std::uint64_t endPos,
                                                     const ZipEndRecord& record);
    // Where a member's records must end: the next member's local header or the central
    // directory; none when another entry shares its local header.
    std::optional<std::uint64_t> memberLimit(std::size_t index) const;
    bool refill(Member& member);
    std::size_t readStored(Member& member, std::span<std::uint8_t> buffer);
    std::size_t readDeflated(Member& member, std::span<std::uint8_t> buffer);
    std::size_t failRead(ArchiveError error);

    std::unique_ptr<ArchiveSource> source_;
    std::uint64_t startOffset_ = 0;   // bytes in front of the archive (a stub)
    std::uint64_t centralStart_ = 0;  // file offset of the central directory
    std::vector<ZipCentralEntry> entries_;
    std::vector<std::uint8_t> password_;
    std::unique_ptr<Member> member_;
    std::optional<ArchiveError> error_;
};

}  // namespace vantor
