// Entry model to public listing.
#include "archive/EntryListing.h"

#include "base/DataBuffer.h"
#include "base/StringBuffer.h"
#include "codecs/ZipMethod.h"
#include "extract/EntryExtractor.h"
#include "extract/EntryMetadata.h"
#include "zip/ClsZipEntry2.h"
#include "zip/ZipExtraField.h"
#include "zip/ZipWalkEntry.h"

namespace {
constexpr std::int64_t kUnixEpochAsFileTime = 116444736000000000;  // 1970-01-01 in 100 ns since 1601
constexpr std::int64_t kFileTimeTicksPerSecond = 10000000;

std::int64_t unixSeconds(const FileTime& time) {
    const std::int64_t ticks = static_cast<std::int64_t>(time.value()) - kUnixEpochAsFileTime;
    // Rounds toward minus infinity, so times before 1970 keep their second.
    return ticks >= 0 ? ticks / kFileTimeTicksPerSecond
                      : -((-ticks + kFileTimeTicksPerSecond - 1) / kFileTimeTicksPerSecond);
}

void describeEncryption(const ZipWalkEntry& r, TnZipEntry& out) {
    if (r.isStrongEncrypted()) out.encryption = TnZipEncryption::kStrong;
    else if (r.encryptionKind == ZipEncryption::kWinZipAes) out.encryption = TnZipEncryption::kWinZipAes;
    else if (r.encryptionKind != ZipEncryption::kNone) out.encryption = TnZipEncryption::kWholeData;
    else if (r.isTraditionallyEncrypted()) out.encryption = TnZipEncryption::kTraditional;
    const bool keyed = out.encryption == TnZipEncryption::kWinZipAes || out.encryption == TnZipEncryption::kWholeData;
    out.keyBits = keyed ? static_cast<int>(r.keyLength) : 0;
}
bool wellFormed(const DataBuffer* extra) { return !extra || ZipExtraField::isWellFormed(extra->data(), extra->size()); }

void describeExtraFields(const ZipWalkEntry& r, TnZipEntry& out) {
    out.extraFieldsWellFormed = wellFormed(r.localExtra.get()) && wellFormed(r.centralExtra.get());
    if (!r.centralExtra || r.centralExtra->size() == 0) return;
    ZipExtraField field(r.centralExtra->data(), r.centralExtra->size());
    std::uint16_t id = 0, size = 0;
    const std::uint8_t* data = nullptr;
    while (field.next(id, data, size)) out.extraFieldIds.push_back(id);
}
}  // namespace

std::string createdName(const char* name) {
    StringBuffer text(name ? name : "");
    text.replaceChar('/', '\\');
    text.removeWildcardChars();
    std::string path = EntryExtractor::safeRelativeName(text.text());
    for (char& c : path)
        if (c == '\\') c = '/';
    return path;
}

bool describeEntry(const ClsZipEntry2& entry, TnZipEntry& out) {
    out = TnZipEntry();
    const ZipWalkEntry* record = entry.walkEntry();
    if (!record) return false;
    const ZipWalkEntry& r = *record;
    const bool central = r.centralRecordAddress != 0;
    out.name = createdName(r.decodedName.text());
    out.archiveName = r.decodedName.text();
    for (char& c : out.archiveName)
        if (c == '\\') c = '/';
    out.rawName = r.rawName.text();
    out.rawNameUtf8 = ((central ? r.centralRecord.flags : r.localHeader.flags) & ZipFlag::kUtf8Name) != 0;
    out.uncompressedSize = central ? r.centralRecord.uncompressedSize : r.uncompressedSize64();
    out.compressedSize = central ? r.centralRecord.compressedSize : r.compressedSize64();
    out.crc32 = central ? r.centralRecord.crc32 : r.storedCrc();
    const std::uint16_t method = central ? r.centralRecord.method : r.localHeader.method;
    out.method = method == ZipMethod::kAes ? r.aesActualMethod : method;
    out.methodName = ZipMethod::name(out.method);
    describeEncryption(r, out);
    const EntryMetadata meta = EntryMetadata::of(r);
    out.isDirectory = ClsZipEntry2::isDirectoryRecord(r);
    out.isSymlink = !out.isDirectory && meta.isSymlink();
    out.unixMode = meta.unixMode;
    out.dosAttributes = static_cast<std::uint8_t>(r.centralRecord.externalAttributes & 0xFF);
    out.hostSystem = r.centralRecord.versionMadeBy >> 8;
    describeExtraFields(r, out);
    out.modifiedTime = unixSeconds(meta.modified);
    if (r.comment) out.comment.assign(r.comment->text(), r.comment->length());
    if (r.encryptionKind == ZipEncryption::kWinZipAes && r.aesVersion == ZipAesVersion::kAe2) out.crc32 = 0;
    return true;
}
