// Modification time and Unix mode of an entry, from its extra fields and central record.
#include "extract/EntryMetadata.h"

#include "base/DataBuffer.h"
#include "base/DateTime.h"
#include "base/LittleEndian.h"
#include "zip/ZipExtraField.h"
#include "zip/ZipWalkEntry.h"

namespace {

constexpr std::uint16_t kExtendedTimestamp = 0x5455;
constexpr std::uint16_t kNtfsTimes = 0x000A;
constexpr std::uint16_t kNtfsTimesTag = 0x0001;
constexpr std::uint16_t kPkwareUnix = 0x000D;
constexpr std::uint16_t kInfoZipUnixOld = 0x5855;
constexpr std::int64_t kSecondsFrom1601To1970 = 11644473600LL;
constexpr std::int64_t kTicksPerSecond = 10000000;

void setUnixSeconds(std::uint32_t seconds, FileTime& utc) {
    utc.setValue(static_cast<std::uint64_t>((seconds + kSecondsFrom1601To1970) * kTicksPerSecond));
}

// The block's data, or false when the field holds none.
bool findBlock(const DataBuffer* extra, std::uint16_t wanted, const std::uint8_t*& data, std::uint16_t& length) {
    if (!extra || extra->size() == 0) return false;
    ZipExtraField field(extra->data(), extra->size());
    std::uint16_t id = 0;
    while (field.next(id, data, length))
        if (id == wanted) return true;
    return false;
}

// Flags byte, then the modification time first when bit 0 says it is there: seconds since 1970
// UTC, read unsigned as unzip, 7-Zip and bsdtar read them (writers store times past 2038 so).
bool extendedTime(const DataBuffer* extra, FileTime& utc) {
    const std::uint8_t* p = nullptr;
    std::uint16_t n = 0;
    if (!findBlock(extra, kExtendedTimestamp, p, n) || n < 5 || !(p[0] & 1)) return false;
    setUnixSeconds(loadLe32(p + 1), utc);
    return true;
}

// PKWARE's Unix field and Info-ZIP's old one share their start: access time, then modification
// time, in seconds since 1970 UTC.
bool unixFieldTime(const DataBuffer* extra, std::uint16_t id, FileTime& utc) {
    const std::uint8_t* p = nullptr;
    std::uint16_t n = 0;
    if (!findBlock(extra, id, p, n) || n < 8) return false;
    setUnixSeconds(loadLe32(p + 4), utc);
    return true;
}

// Four reserved bytes, then tagged attributes; tag 1 holds modification, access and creation
// times as UTC FileTimes.
bool ntfsTime(const DataBuffer* extra, FileTime& utc) {
    const std::uint8_t* p = nullptr;
    std::uint16_t n = 0;
    if (!findBlock(extra, kNtfsTimes, p, n)) return false;
    for (std::uint32_t at = 4; at + 4 <= n;) {
        const std::uint16_t tag = loadLe16(p + at);
        const std::uint16_t size = loadLe16(p + at + 2);
        at += 4;
        if (at + size > n) return false;
        if (tag == kNtfsTimesTag && size >= 8) {
            const std::uint64_t value = loadLe64(p + at);
            if (value == 0 || value > 0x7FFFFFFFFFFFFFFFull) return false;
            utc.setValue(value);
            return true;
        }
        at += size;
    }
    return false;
}

}  // namespace

EntryMetadata EntryMetadata::of(const ZipWalkEntry& record) {
    EntryMetadata meta;
    const CentralRecord& central = record.centralRecord;
    const DataBuffer* centralExtra = record.centralExtra.get();
    const DataBuffer* localExtra = record.localExtra.get();
    if (!extendedTime(centralExtra, meta.modified) && !extendedTime(localExtra, meta.modified) &&
        !ntfsTime(centralExtra, meta.modified) && !ntfsTime(localExtra, meta.modified) &&
        !unixFieldTime(centralExtra, kInfoZipUnixOld, meta.modified) &&
        !unixFieldTime(localExtra, kInfoZipUnixOld, meta.modified) &&
        !unixFieldTime(centralExtra, kPkwareUnix, meta.modified) &&
        !unixFieldTime(localExtra, kPkwareUnix, meta.modified)) {
        FileTime local;
        dosToFileTime(central.dosDate, central.dosTime, local);
        if (!localToUtcAtDate(local, meta.modified)) meta.modified = local;
    }
    const std::uint32_t mode = central.externalAttributes >> 16;
    if (ZipHost::isUnixLike(central.versionMadeBy) && (mode & kTypeMask) != 0) meta.unixMode = mode;
    return meta;
}
