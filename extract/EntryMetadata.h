// What an entry says about the file it becomes besides its bytes: the modification time and,
// for entries made on a Unix host, the file type and permission bits of the stored mode.
#pragma once
#include <cstdint>

#include "base/FileTime.h"

class ZipWalkEntry;

struct EntryMetadata {
    // The most precise time the entry carries, as UTC: the extended timestamp field, then the
    // NTFS field, then Info-ZIP's old Unix field, then PKWARE's Unix field, then the DOS date and time read as local time of
    // that date.
    FileTime modified;
    // The POSIX mode (type and permission bits) when the entry was made on Unix with one; else 0.
    std::uint32_t unixMode = 0;

    static EntryMetadata of(const ZipWalkEntry& record);

    bool hasUnixMode() const { return unixMode != 0; }
    bool isSymlink() const { return (unixMode & kTypeMask) == kTypeLink; }
    // Read, write and execute bits only: setuid, setgid and sticky are never restored.
    std::uint32_t permissions() const { return unixMode & 0777; }

    static constexpr std::uint32_t kTypeMask = 0170000;
    static constexpr std::uint32_t kTypeLink = 0120000;
};
