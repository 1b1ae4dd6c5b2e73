// Entry objects: creation from walk records, names, sizes and the directory rule.
#include "zip/ClsZipEntry2.h"

#include <atomic>

#include "base/DateTime.h"
#include "base/FilePaths.h"
#include "base/FileSystem.h"
#include "zip/ZipWalkEntry.h"

namespace {
std::atomic<std::uint32_t> g_nextEntrySerial{1};
constexpr std::uint32_t kUnixTypeMask = 0170000;  // S_IFMT of the mode in the high 16 bits
constexpr std::uint32_t kUnixDirectory = 0040000;
}  // namespace

ClsZipEntry2::ClsZipEntry2() : m_serial(g_nextEntrySerial.fetch_add(1, std::memory_order_relaxed)) {}

ClsZipEntry2::~ClsZipEntry2() {
    m_comment.reset();
    m_nameOverride.reset();
    m_source.reset();
    m_kind = kEmpty;
    m_marker = 0;
}

ClsZipEntry2* ClsZipEntry2::createMapped(ClsZip2* owner, ZipWalkEntry* record) {
    auto* entry = new ClsZipEntry2;
    entry->m_kind = kMapped;
    entry->m_owner = owner;
    entry->m_crc = record->centralRecord.crc32;
    entry->setDirectory(isDirectoryRecord(*record));
    entry->m_source.reset(record);
    if (record->comment) entry->m_comment = std::make_unique<StringBuffer>(*record->comment);
    entry->m_method = static_cast<std::uint8_t>(record->localHeader.method);
    return entry;
}

// A name ending in '/' is a directory whatever its size (some writers store one). A Unix mode
// written on Unix tells the type; the DOS directory bit counts only where there is none, because
// writers fill the DOS byte of Unix entries with anything.
bool ClsZipEntry2::isDirectoryRecord(const ZipWalkEntry& record) {
    if (record.decodedName.lastChar() == '/') return true;
    const CentralRecord& central = record.centralRecord;
    const std::uint32_t unixType = (central.externalAttributes >> 16) & kUnixTypeMask;
    if (ZipHost::isUnixLike(central.versionMadeBy) && unixType != 0) return unixType == kUnixDirectory;
    return (central.externalAttributes & 0x10) != 0;
}

bool ClsZipEntry2::GetFileName(StringBuffer& out) const {
    out.clear();
    if (!isValid()) return false;
    if (m_nameOverride) out.setFrom(*m_nameOverride);
    else if (m_source) out.setFrom(m_source->decodedName);
    else return false;
    out.replaceChar('/', '\\');
    return true;
}

bool ClsZipEntry2::IsDir() const {
    if (!isValid()) return false;
    return m_kind == kNewDirectory || (m_flags & kDirectoryFlag) != 0;
}

void ClsZipEntry2::setDirectory(bool isDirectory) {
    if (!isValid()) return;
    m_flags = isDirectory ? (m_flags | kDirectoryFlag) : (m_flags & ~kDirectoryFlag);
}

void ClsZipEntry2::SetSkip(bool skip) {
    if (!isValid()) return;
    m_flags = skip ? (m_flags | kSkipFlag) : (m_flags & ~kSkipFlag);
}

bool ClsZipEntry2::IsSkipped() const { return !isValid() || (m_flags & kSkipFlag) != 0; }

bool ClsZipEntry2::IsEmptyKind() const { return isValid() && m_kind == kEmpty; }

// Only mapped entries carry sizes on the reading road; file and data entries belong to writing.
std::uint64_t ClsZipEntry2::GetCompressedSize() const {
    if (!isValid() || m_kind != kMapped || !m_source) return 0;
    return m_source->compressedSize64();
}

std::uint64_t ClsZipEntry2::GetUncompressedSize() const {
    if (!isValid() || m_kind != kMapped || !m_source) return 0;
    return m_source->uncompressedSize64();
}

const ZipWalkEntry* ClsZipEntry2::walkEntry() const { return isValid() ? m_source.get() : nullptr; }

bool ClsZipEntry2::comparisonFileTime(FileTime& local) const {
    if (!isValid() || m_kind != kMapped || !m_source) return false;
    dosToFileTime(m_source->localHeader.dosDate, m_source->localHeader.dosTime, local);
    return true;
}

bool ClsZipEntry2::GetComparisonTime(SystemTime& out) const {
    FileTime local;
    return comparisonFileTime(local) && fileTimeToSystemTime(local, out);
}

std::string ClsZipEntry2::targetPath(const char* baseFolder) const {
    StringBuffer name;
    GetFileName(name);
    return joinPath(std::string(baseFolder != nullptr ? baseFolder : ""), trimBlanks(name.text()));
}

// Equal times are not newer; an unreadable target time counts as older.
bool ClsZipEntry2::IsNewerThanTarget(const char* baseFolder) const {
    FileTime entryTime;
    if (!comparisonFileTime(entryTime)) return false;
    FileTime utc;
    FileTime local;
    if (!getLastWriteTimeByName(targetPath(baseFolder).c_str(), utc, nullptr) || !utcToLocal(utc, local)) return true;
    return compareFileTimes(entryTime, local) == 1;
}

bool ClsZipEntry2::TargetExists(const char* baseFolder) const {
    return isValid() && fileExists(targetPath(baseFolder).c_str(), nullptr);
}
