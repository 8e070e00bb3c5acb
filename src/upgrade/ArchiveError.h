#pragma once

#include <string_view>

namespace vantor {

// Why the firmware archive refused an operation.
enum class ArchiveError {
    NoEndRecord,  // no end-of-central-directory record near the end of the file
    BadArchive,   // inconsistent records, a member outside its bounds, an unknown method
    BadPassword,  // the password check byte of an encrypted member does not match
    BadCrc,       // a member read to its end has another CRC-32 than its entry
    DataError,    // the compressed data of a member is damaged
    FileError,    // the archive file cannot be opened or read
};

std::string_view archiveErrorName(ArchiveError error);

}  // namespace vantor
