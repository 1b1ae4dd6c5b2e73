// The structure walk's central directory records, their match to local headers, and the ZIP64
// end records.
#include <algorithm>
#include <cstring>

#include "base/DataBuffer.h"
#include "base/ExtPtrArray.h"
#include "base/StringBuffer.h"
#include "log/LogBase.h"
#include "base/LittleEndian.h"
#include "codecs/ZipCRC.h"
#include "log/LogReject.h"
#include "zip/MemoryData.h"
#include "zip/ZipExtraField.h"
#include "zip/ZipWalk.h"

namespace {

// Strict UTF-8: no overlong forms, surrogates or values above U+10FFFF. True for ASCII too.
bool isValidUtf8(const std::uint8_t* p, std::size_t n) {
    for (std::size_t i = 0; i < n;) {
        const std::uint8_t c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        std::size_t len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
        if (len == 0 || c > 0xF4 || i + len > n) return false;
        std::uint32_t cp = c & (0x7F >> len);
        for (std::size_t k = 1; k < len; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) return false;
            cp = cp << 6 | (p[i + k] & 0x3F);
        }
        if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += len;
    }
    return true;
}

}  // namespace

bool ZipWalk::readCentralRecord(std::uint64_t& addr, ExtPtrArray& entries, std::uint32_t& hint) {
    const std::uint64_t start = addr;
    LogContext context(*m_log, "CentralDirRec", m_verbose);
    if (m_verbose) m_log->logDataInt64("offset", static_cast<std::int64_t>(start));
    const std::uint8_t* p = readRecordPart(addr, CentralRecord::kSize, "Failed to get directory entry", start);
    if (p == nullptr) return false;
    CentralRecord rec;
    rec.decode(p);
    if (m_verbose) logCentralRecord(rec, start);
    addr = advance(addr, CentralRecord::kSize);
    if (rec.nameLength == 0) {
        m_log->logError("No filename for directory entry.");
        m_log->logDataInt64("filePosition", static_cast<std::int64_t>(start));
        return false;
    }
    p = readRecordPart(addr, rec.nameLength, "Failed to get directory entry filename", addr);
    if (p == nullptr) return false;
    StringBuffer& name = m_centralName;
    name.clear();
    name.appendBytes(p, rec.nameLength);
    m_centralNameCrc = ZipCRC::crcOfBuffer(p, static_cast<std::int32_t>(rec.nameLength));
    if (std::memchr(p, '\\', rec.nameLength) != nullptr) name.replaceChar('\\', '/');
    addr = advance(addr, rec.nameLength);
    if (m_verbose) {
        m_log->logDataInt64("OffsetAfterFilename", static_cast<std::int64_t>(addr));
        logArchiveText("filename", name);
    }
    ZipWalkEntry* entry = entryAtRecordedOffset(entries, rec, hint);
    if (entry == nullptr) entry = matchLocalEntry(entries, name, hint);
    if (entry == nullptr) return false;
    if (!readCentralTail(addr, start, rec, *entry)) return false;
    compareRecords(*entry, name);
    return true;
}

// A local header that defers to a data descriptor may leave its CRC and sizes 0; any value it
// does give must agree with the central record, as must the descriptor found by searching.
void ZipWalk::compareRecords(ZipWalkEntry& entry, const StringBuffer& centralName) {
    const LocalHeaderRecord& local = entry.localHeader;
    const CentralRecord& central = entry.centralRecord;
    const bool deferred = (local.flags & ZipFlag::kDataDescriptor) != 0;
    auto differs = [deferred](std::uint64_t localValue, std::uint64_t centralValue) {
        return localValue != centralValue && !(deferred && localValue == 0);
    };
    std::uint8_t bits = 0;
    if (differs(local.compressedSize, central.compressedSize) ||
        differs(local.uncompressedSize, central.uncompressedSize) ||
        (entry.hasDescriptor && entry.descriptorCompressedSize != central.compressedSize))
        bits |= ZipDisagreement::kSizes;
    if (differs(local.crc32, central.crc32) || (entry.hasDescriptor && entry.descriptorCrc != central.crc32))
        bits |= ZipDisagreement::kCrc;
    if (local.method != central.method) bits |= ZipDisagreement::kMethod;
    if (!entry.rawName.equalsBuffer(centralName)) bits |= ZipDisagreement::kName;
    entry.disagreement = bits;
    if (bits == 0) return;
    m_log->logInfo("Local and central records disagree");
    logArchiveText("filename", centralName);
    m_log->logData("fields", entry.disagreementText().c_str());
}

// Stores the record in its matched entry and reads the record's extra field and comment.
bool ZipWalk::readCentralTail(std::uint64_t& addr, std::uint64_t start, const CentralRecord& rec, ZipWalkEntry& entry) {
    entry.centralRecordAddress = start;
    entry.centralRecord = rec;
    applyHostNameRule(entry);
    if (static_cast<std::uint32_t>(entry.localHeader.compressedSize) !=
            static_cast<std::uint32_t>(rec.compressedSize) ||
        static_cast<std::uint32_t>(entry.localHeader.uncompressedSize) !=
            static_cast<std::uint32_t>(rec.uncompressedSize))
        *m_sizeMismatch = true;
    if (rec.extraLength != 0) {
        if (m_verbose) m_log->logDataLong("extraFieldLen", rec.extraLength);
        const std::uint8_t* p = readRecordPart(addr, rec.extraLength, "Failed to get directory entry extra field",
                                               addr);
        if (p == nullptr) return false;
        addr = advance(addr, rec.extraLength);
        if (m_verbose) m_log->logDataInt64("AddrAfterExtraField", static_cast<std::int64_t>(addr));
        entry.centralExtra = std::make_unique<DataBuffer>();
        // Exact size: the stepped growth would reserve 20,000 bytes for every entry.
        if (!entry.centralExtra->appendExact(p, rec.extraLength)) return false;
        parseCentralExtra(entry.centralExtra->data(), rec.extraLength, entry);
    } else if (m_verbose) {
        m_log->logInfo("No extra field for this central dir entry");
    }
    if (rec.commentLength == 0) return true;
    const std::uint8_t* p = readRecordPart(addr, rec.commentLength, "Failed to get directory entry comment", addr);
    if (p == nullptr) return false;
    entry.comment = std::make_unique<StringBuffer>();
    entry.comment->appendBytes(p, rec.commentLength);
    addr = advance(addr, rec.commentLength);
    return true;
}

void ZipWalk::parseCentralExtra(const std::uint8_t* field, std::uint32_t length, ZipWalkEntry& entry) {
    ZipExtraField blocks(field, length);
    std::uint16_t id = 0;
    std::uint16_t len = 0;
    const std::uint8_t* d = nullptr;
    CentralRecord& rec = entry.centralRecord;
    bool zip64Seen = false;  // only the first ZIP64 block counts, as in the local header
    while (blocks.next(id, d, len)) {
        logBlockHeader(id, len);
        if (id == ZipExtraField::kZip64 && !zip64Seen) {
            // The block holds a value only for each field that is all ones, in this order.
            zip64Seen = true;
            std::uint32_t used = 0;
            auto take = [&](std::uint64_t& field, std::uint32_t raw) {
                if (raw != 0xFFFFFFFFu || used + 8 > len) return;
                field = loadLe64(d + used);
                used += 8;
            };
            take(rec.uncompressedSize, rec.rawUncompressedSize);
            take(rec.compressedSize, rec.rawCompressedSize);
            take(rec.localHeaderOffset, rec.rawLocalHeaderOffset);
        } else if (id == ZipExtraField::kUnicodePath && unicodeFieldFits(d, len, m_centralNameCrc)) {
            entry.decodedName.clear();
            entry.decodedName.appendBytes(d + 5, len - 5);
            if (m_verbose) logArchiveText("unicodeFilename", entry.decodedName);
        } else if (id == ZipExtraField::kStrongEncryption) {
            entry.strongEncryptionHeader = true;
            if (len < 8 || !m_verbose) continue;
            m_log->logInfo("Strong Encryption Header (0x0017)");
            m_log->logDataLong("Format", loadLe16(d));
            m_log->logDataHex("AlgId", loadLe16(d + 2));
            m_log->logDataLong("Bitlen", loadLe16(d + 4));
            m_log->logDataLong("Flags", loadLe16(d + 6));
        }
    }
}

// Zip on Unix and macOS writes names as the file system holds them, UTF-8 these days, often
// without setting the UTF-8 flag. Such names decode as UTF-8 when their bytes are valid UTF-8;
// anything else keeps the OEM page. A local Unicode path field has already named the entry.
void ZipWalk::applyHostNameRule(ZipWalkEntry& entry) {
    if ((entry.localHeader.flags & ZipFlag::kUtf8Name) != 0 || entry.localUnicodeName) return;
    if (!ZipHost::isUnixLike(entry.centralRecord.versionMadeBy)) return;
    const StringBuffer& raw = entry.rawName;
    if (!isValidUtf8(reinterpret_cast<const std::uint8_t*>(raw.text()), std::size_t(raw.length()))) return;
    entry.decodedName.setFrom(raw);
    if (m_verbose) logArchiveText("utf8FilenameQP_fromRaw", entry.decodedName);
}

void ZipWalk::indexLocalNames(ExtPtrArray& entries) {
    m_localsByName.clear();
    m_localsByName.reserve(std::size_t(entries.count()));
    m_localsByAddress.clear();
    for (int i = 0; i < entries.count(); ++i) {
        const auto* entry = static_cast<ZipWalkEntry*>(entries.get(i));
        const StringBuffer& raw = entry->rawName;
        m_localsByName[std::string_view(raw.text(), std::size_t(raw.length()))].push_back(i);
        if (m_central->found()) m_localsByAddress.emplace(entry->localHeaderAddress, i);
    }
}

// With the directory located from the end, a record names its local header by offset (moved by
// whatever precedes the archive), whatever name that header carries. An offset left to the
// ZIP64 block, or one that leads to no header read, falls back to the match by name.
ZipWalkEntry* ZipWalk::entryAtRecordedOffset(ExtPtrArray& entries, const CentralRecord& rec, std::uint32_t& hint) {
    if (!m_central->found() || rec.rawLocalHeaderOffset == 0xFFFFFFFFu) return nullptr;
    auto at = m_localsByAddress.find(rec.rawLocalHeaderOffset + std::uint64_t(m_central->shift()));
    if (at == m_localsByAddress.end()) return nullptr;
    hint = std::uint32_t(at->second);
    return static_cast<ZipWalkEntry*>(entries.get(at->second));
}

// Position of the first local entry at or after `from` with this raw name, or -1.
int ZipWalk::firstWithName(std::string_view name, std::uint32_t from) const {
    auto it = m_localsByName.find(name);
    if (it == m_localsByName.end()) return -1;
    auto at = std::lower_bound(it->second.begin(), it->second.end(), int(from));
    return at == it->second.end() ? -1 : *at;
}

// The first local entry from the hint on with the central name, else with its last component;
// failing both, the same from the first entry. Central records in the local headers' order
// therefore match the next entry, and any order costs one lookup per name.
ZipWalkEntry* ZipWalk::matchLocalEntry(ExtPtrArray& entries, const StringBuffer& name, std::uint32_t& hint) {
    if (entries.count() == 0) {
        m_log->logError("Failed to match directory entry with file header (2)");
        logArchiveText("filename", name);
        return nullptr;
    }
    const std::string_view full(name.text(), std::size_t(name.length()));
    const std::size_t slash = full.rfind('/');
    const std::string_view last = slash == std::string_view::npos ? full : full.substr(slash + 1);
    if (hint >= std::uint32_t(entries.count())) hint = 0;
    for (;;) {
        int found = firstWithName(full, hint);
        if (found < 0 && last.size() != full.size()) found = firstWithName(last, hint);
        if (found >= 0) {
            hint = std::uint32_t(found);
            return static_cast<ZipWalkEntry*>(entries.get(found));
        }
        if (hint != 0) {
            hint = 0;
            continue;
        }
        m_log->logError("Failed to match directory entry with file header (1)");
        logArchiveText("filename", name);
        return nullptr;
    }
}

void ZipWalk::logCentralRecord(const CentralRecord& r, std::uint64_t start) {
    m_log->logDataInt64("CentralDirEntryAddr", static_cast<std::int64_t>(start));
    m_log->logDataHex("signature", r.signature);
    m_log->logDataHex("versionMadeBy", r.versionMadeBy);
    m_log->logDataHex("versionNeeded", r.versionNeeded);
    m_log->logDataHex("bitFlags", r.flags);
    m_log->logDataHex("compressionMethod", r.method);
    m_log->logDataHex("fileTime", r.dosTime);
    m_log->logDataHex("fileDate", r.dosDate);
    m_log->logDataHex("crc32", r.crc32);
    m_log->logDataLong("compressedSize", static_cast<std::int32_t>(r.rawCompressedSize));
    m_log->logDataLong("uncompressedSize", static_cast<std::int32_t>(r.rawUncompressedSize));
    m_log->logDataHex("fileNameLen", r.nameLength);
    m_log->logDataHex("extraFieldLen", r.extraLength);
    m_log->logDataHex("commentLen", r.commentLength);
    m_log->logDataHex("diskNumStart", r.diskNumberStart);
    m_log->logDataHex("internalFileAttr", r.internalAttributes);
    m_log->logDataHex("externalFileAttr", r.externalAttributes);
    m_log->logDataHex("relativeOffset", r.rawLocalHeaderOffset);
}

// The record is read whole; a record cut short cannot be stepped over, so the walk fails.
bool ZipWalk::readZip64EndOfCentralDir(std::uint64_t& addr, std::uint32_t& records, std::uint32_t& onDisk) {
    const std::uint8_t* p = m_data->getData(addr, ZipRecordSize::kZip64EndOfCentralDir, *m_log);
    if (p == nullptr) return rejectWith(m_log, "Zip64 end-of-central-directory record is cut off");
    m_log->logDataInt64("Zip64EOCD_Addr", static_cast<std::int64_t>(addr));
    const std::uint64_t size = loadLe64(p + 4);
    m_log->logDataInt64("Zip64EOCD_Size", static_cast<std::int64_t>(size));
    onDisk = static_cast<std::uint32_t>(loadLe64(p + 24));
    records = static_cast<std::uint32_t>(loadLe64(p + 32));
    {
        LogContext context(*m_log, "Zip64EndOfCentralDir");
        static const struct {
            const char* key;
            unsigned offset, size;
        } kFields[] = {
            {"signature", 0, 4},       {"size", 4, 8},           {"versionMadeBy", 12, 2}, {"versionNeeded", 14, 2},
            {"thisDiskNum", 16, 4},    {"diskNumWithCD", 20, 4}, {"numEntries", 24, 8},    {"totalNumEntries", 32, 8},
            {"centralDirSize", 40, 8}, {"offset", 48, 8}};
        for (const auto& f : kFields) m_log->logDataBytes(f.key, p + f.offset, f.size);
    }
    addr = advance(addr, advance(12, size));
    return true;
}

bool ZipWalk::readZip64Locator(std::uint64_t& addr) {
    const std::uint8_t* p = m_data->getData(addr, 20, *m_log);
    if (p == nullptr) return rejectWith(m_log, "Zip64 end-of-central-directory locator is cut off");
    m_log->logDataInt64("Zip64Locator_Addr", static_cast<std::int64_t>(addr));
    {
        LogContext context(*m_log, "Zip64Locator");
        m_log->logDataBytes("signature", p, 4);
        m_log->logDataBytes("diskNum", p + 4, 4);
        m_log->logDataBytes("offset", p + 8, 8);
        m_log->logDataBytes("numDisks", p + 16, 4);
    }
    addr = advance(addr, 20);
    return true;
}
