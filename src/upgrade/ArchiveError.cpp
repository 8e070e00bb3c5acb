#include "upgrade/ArchiveError.h"

namespace vantor {

std::string_view archiveErrorName(ArchiveError error) {
    switch (error) {
        case ArchiveError::NoEndRecord:
            return "NoEndRecord";
        case ArchiveError::BadArchive:
            return "BadArchive";
        case ArchiveError::BadPassword:
            return "BadPassword";
        case ArchiveError::BadCrc:
            return "BadCrc";
        case ArchiveError::DataError:
            return "DataError";
        case ArchiveError::FileError:
            return "FileError";
    }
    return "unknown";
}

}  // namespace vantor
