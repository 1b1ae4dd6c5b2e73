// The structure walk's local headers: name decoding, the local extra field and the search for a
// data descriptor behind data of unknown length.
#include <cstring>

#include "base/DataBuffer.h"
#include "base/StringBuffer.h"
#include "log/LogBase.h"
#include "base/LittleEndian.h"
#include "codecs/ZipCRC.h"
#include "zip/MemoryData.h"
#include "zip/ZipExtraField.h"
#include "zip/ZipWalk.h"

namespace {

constexpr std::uint32_t kMarkerValue = 0xAB39F277;  // first word of the library's encryption marker

// Names that use the 437/850 box-drawing range or the top of the table were almost surely
// written in the Windows ANSI page. Both ranges lie at or above 166, so most names are settled
// by their largest byte, a loop the compiler vectorises.
bool looksLikeAnsi(const std::uint8_t* bytes, std::uint32_t n) {
    std::uint8_t largest = 0;
    for (std::uint32_t i = 0; i < n; ++i) largest = bytes[i] > largest ? bytes[i] : largest;
    if (largest < 166) return false;
    for (std::uint32_t i = 0; i < n; ++i) {
        if (bytes[i] >= 239 || (bytes[i] >= 166 && bytes[i] <= 223)) return true;
    }
    return false;
}

// 1252 leaves five bytes without a character; a name holding one is not 1252 text, and
// decoding it so would drop them.
bool hasBytesUndefinedIn1252(const std::uint8_t* bytes, std::uint32_t n) {
    for (std::uint32_t i = 0; i < n; ++i) {
        const std::uint8_t b = bytes[i];
        if (b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D) return true;
    }
    return false;
}

void setSlashed(StringBuffer& out, const std::uint8_t* bytes, std::uint32_t n) {
    out.clear();
    out.appendBytes(bytes, static_cast<int>(n));
    if (std::memchr(bytes, '\\', n) != nullptr) out.replaceChar('\\', '/');
}

std::uint32_t aesKeyLength(std::uint8_t strength) {
    switch (strength) {
        case 2: return 192;
        case 3: return 256;
        default: return 128;
    }
}

}  // namespace

bool ZipWalk::readLocalHeader(std::uint64_t& addr, ZipWalkEntry& entry) {
    LogContext context(*m_log, "FileHeader", m_verbose);
    if (m_verbose) m_log->logDataInt64("offset", static_cast<std::int64_t>(addr));
    entry.localHeaderAddress = addr;
    const std::uint8_t* p = readRecordPart(addr, LocalHeaderRecord::kSize, "Failed to get file header", addr);
    if (p == nullptr) return false;
    entry.localHeader.decode(p);
    if (m_verbose) logLocalHeader(entry.localHeader);
    addr = advance(addr, LocalHeaderRecord::kSize);
    if (!readLocalName(addr, entry) || !readLocalExtra(addr, entry)) return false;
    entry.dataOffset = addr;
    if (entry.isTraditionallyEncrypted()) {
        const std::uint8_t* header = m_data->getData(addr, 12, *m_log);
        if (header != nullptr) entry.setEncryptionHeader(header);
    }
    if ((entry.localHeader.flags & ZipFlag::kDataDescriptor) != 0) return stepOverDeferredSizes(addr, entry);
    if (m_verbose) {
        m_log->logDataInt64("compressedSize64", static_cast<std::int64_t>(entry.localHeader.compressedSize));
        m_log->logDataInt64("curAddr64_1", static_cast<std::int64_t>(addr));
    }
    addr = advance(addr, steppedSize(entry));
    if (m_verbose) m_log->logDataInt64("curAddr64_2", static_cast<std::int64_t>(addr));
    return true;
}

bool ZipWalk::readLocalName(std::uint64_t& addr, ZipWalkEntry& entry) {
    const std::uint32_t n = entry.localHeader.nameLength;
    if (n == 0) return true;
    const std::uint8_t* p = readRecordPart(addr, n, "Failed to get filename after file header", addr);
    if (p == nullptr) return false;
    decodeName(p, n, entry.localHeader.flags, entry);
    addr = advance(addr, n);
    return true;
}

// Without the UTF-8 flag the name is in the archive's OEM page (or 1252 by the byte rule);
// 437 converts every byte, so it is the fallback when the chosen page yields nothing. '\' becomes
// a separator only in the decoded text: in the East Asian double-byte pages 0x5C is also the
// second byte of many characters.
void ZipWalk::decodeName(const std::uint8_t* bytes, std::uint32_t n, std::uint16_t flags, ZipWalkEntry& entry) {
    const bool utf8 = (flags & ZipFlag::kUtf8Name) != 0;
    int codePage = m_codePage;
    if (!utf8 && (codePage == 437 || codePage == 850) && looksLikeAnsi(bytes, n) && !hasBytesUndefinedIn1252(bytes, n))
        codePage = 1252;
    setSlashed(entry.rawName, bytes, n);
    entry.localNameCrc = ZipCRC::crcOfBuffer(bytes, static_cast<std::int32_t>(n));
    if (m_verbose) logArchiveText("rawFilenameQP", entry.rawName);
    if (utf8) {
        entry.decodedName.setFrom(entry.rawName);
        return;
    }
    entry.decodedName.clear();
    entry.decodedName.appendBytes(bytes, static_cast<int>(n));
    entry.decodedName.convertCodePage(codePage, 65001);
    if (entry.decodedName.length() == 0) {
        entry.decodedName.appendBytes(bytes, static_cast<int>(n));
        entry.decodedName.convertCodePage(437, 65001);
    }
    entry.decodedName.replaceChar('\\', '/');
    if (m_verbose) logArchiveText("utf8FilenameQP_fromRaw", entry.decodedName);
}

bool ZipWalk::readLocalExtra(std::uint64_t& addr, ZipWalkEntry& entry) {
    const std::uint32_t m = entry.localHeader.extraLength;
    if (m == 0) return true;
    const std::uint8_t* p = readRecordPart(addr, m, "Failed to get extra field after file header", addr);
    if (p == nullptr) return false;
    entry.localExtra = std::make_unique<DataBuffer>();
    // Exact size: the stepped growth would reserve 20,000 bytes for every entry.
    if (!entry.localExtra->appendExact(p, m)) return false;
    if (m == ZipRecordSize::kEncryptionMarker && loadLe32(p) == kMarkerValue) {
        entry.encryptionKind = loadLe32(p + 8);
        entry.keyLength = loadLe32(p + 12);
        if (m_verbose) {
            m_log->logInfo("Tarnel Encrypted.");
            m_log->logDataLong("encryption", static_cast<std::int32_t>(entry.encryptionKind));
            m_log->logDataLong("keylen", static_cast<std::int32_t>(entry.keyLength));
        }
    } else {
        parseLocalExtra(entry.localExtra->data(), m, entry);
    }
    addr = advance(addr, m);
    return true;
}

void ZipWalk::parseLocalExtra(const std::uint8_t* field, std::uint32_t length, ZipWalkEntry& entry) {
    ZipExtraField blocks(field, length);
    std::uint16_t id = 0;
    std::uint16_t len = 0;
    const std::uint8_t* d = nullptr;
    while (blocks.next(id, d, len)) {
        logBlockHeader(id, len);
        // Only the first ZIP64 block counts; the peers ignore a repeated one too.
        if (id == ZipExtraField::kZip64 && !entry.localZip64) {
            entry.localZip64 = true;
            if (m_verbose) m_log->logInfo("ZIP64 extra header.");
            // A local block holds both sizes; a shorter one only those whose fields are all ones.
            LocalHeaderRecord& h = entry.localHeader;
            const bool both = len >= 16;
            std::uint32_t used = 0;
            auto take = [&](std::uint64_t& field, std::uint32_t raw, const char* key) {
                if ((!both && raw != 0xFFFFFFFFu) || used + 8 > len) return;
                field = loadLe64(d + used);
                used += 8;
                if (m_verbose) m_log->logDataInt64(key, static_cast<std::int64_t>(field));
            };
            take(h.uncompressedSize, h.rawUncompressedSize, "uncompressedSize64");
            take(h.compressedSize, h.rawCompressedSize, "compressedSize64");
        } else if (id == ZipExtraField::kUnicodePath && unicodeFieldFits(d, len, entry.localNameCrc)) {
            setSlashed(entry.decodedName, d + 5, len - 5u);
            entry.localUnicodeName = true;
            if (m_verbose) logArchiveText("unicodeFilenameQP", entry.decodedName);
        } else if (id == ZipExtraField::kWinZipAes) {
            entry.encryptionKind = ZipEncryption::kWinZipAes;
            entry.keyLength = len >= 5 ? aesKeyLength(d[4]) : 128;
            if (len >= 2) entry.aesVersion = loadLe16(d);
            if (len >= 7) entry.aesActualMethod = loadLe16(d + 5);
        }
    }
}

// Data whose sizes follow it: the central record (read ahead once) says where the data ends.
// Without a central record that fits, the descriptor is searched for by its signature.
bool ZipWalk::stepOverDeferredSizes(std::uint64_t& addr, ZipWalkEntry& entry) {
    const ZipCentralIndex::Sizes* sizes = centralSizes(entry);
    if (sizes != nullptr && placeDescriptor(addr, entry, *sizes)) return true;
    return findDataDescriptor(addr, entry);
}

// A local compressed size that would carry the walk past the directory is wrong where the
// central record's is not: the data is then as long as the central record says.
std::uint64_t ZipWalk::steppedSize(ZipWalkEntry& entry) {
    const std::uint64_t local = entry.localHeader.compressedSize;
    if (!m_central || !m_central->found()) return local;
    const std::uint64_t limit = m_central->directoryStart();
    if (advance(entry.dataOffset, local) <= limit) return local;
    const ZipCentralIndex::Sizes* sizes = m_central->atAddress(*m_data, entry.localHeaderAddress);
    if (sizes == nullptr || advance(entry.dataOffset, sizes->compressed) > limit) return local;
    entry.dataSizedByCentral = true;
    return sizes->compressed;
}

const ZipCentralIndex::Sizes* ZipWalk::centralSizes(const ZipWalkEntry& entry) {
    if (!m_central || !m_central->found()) return nullptr;
    return m_central->find(*m_data, entry.localHeaderAddress, entry.rawName.text(), entry.rawName.length());
}

// The descriptor starts where the central compressed size ends the data. Its form is not
// announced: with or without signature, with 4- or 8-byte sizes. The form after which the next
// record begins is the one; when none fits, the central size is wrong and false sends the walk
// to the search. The central sizes and CRC are the entry's; only a descriptor that agrees with
// them on CRC and compressed size may correct the uncompressed size (some writers put a wrong
// one in the central directory, never in the descriptor written after the data).
bool ZipWalk::placeDescriptor(std::uint64_t& addr, ZipWalkEntry& entry, const ZipCentralIndex::Sizes& sizes) {
    const std::uint64_t at = advance(entry.dataOffset, sizes.compressed);
    std::uint32_t sig = 0;
    const bool signed4 = peekSignature(at, sig) && sig == ZipSig::kDataDescriptor;
    const bool wide = entry.localZip64 || sizes.zip64;
    const std::uint32_t body[2] = {wide ? 20u : 12u, wide ? 12u : 20u};
    for (std::uint32_t length : {body[0] + (signed4 ? 4 : 0), body[1] + (signed4 ? 4 : 0), 0u}) {
        std::uint32_t next = 0;
        if (!peekSignature(advance(at, length), next) ||
            (next != ZipSig::kLocalHeader && next != ZipSig::kCentralHeader && next != ZipSig::kEndOfCentralDir))
            continue;
        std::uint64_t uncompressed = sizes.uncompressed;
        const std::uint8_t* d = length >= 12
                                    ? m_data->getData(advance(at, signed4 ? 4 : 0), length - (signed4 ? 4 : 0), *m_log)
                                    : nullptr;
        if (d != nullptr) {
            const bool eight = length - (signed4 ? 4 : 0) == 20;
            const std::uint64_t c = eight ? loadLe64(d + 4) : loadLe32(d + 4);
            if (loadLe32(d) == sizes.crc && c == sizes.compressed)
                uncompressed = eight ? loadLe64(d + 12) : loadLe32(d + 8);
        }
        entry.setDescriptor(sizes.crc, sizes.compressed, uncompressed);
        addr = advance(at, length);
        return true;
    }
    return false;
}

// Data of unknown length ends at a descriptor whose compressed size equals its distance from
// the data start; a signature that merely occurs inside the data fails that test and the search
// goes on. No signature at all is no failure: the address stays where the search began. A
// search that found nothing is remembered, so that later ones past its start cost nothing.
bool ZipWalk::findDataDescriptor(std::uint64_t& addr, ZipWalkEntry& entry) {
    addr = advance(entry.dataOffset, entry.localHeader.compressedSize);
    for (;;) {
        if (addr >= m_noDescriptorFrom) return true;
        ++m_scanCount;
        std::uint64_t found = addr;
        if (m_data->findSignature(found, ZipSig::kDataDescriptor) == nullptr) {
            m_noDescriptorFrom = addr;
            return true;
        }
        const std::uint64_t distance = found - entry.dataOffset;
        addr = advance(found, 4);
        const std::uint8_t* p = readRecordPart(addr, 12, "Failed to get data descriptor after file header", addr);
        if (p == nullptr) return false;
        entry.setDescriptor(p);
        addr = advance(addr, 12);
        if (distance < 0x100000000ull && entry.descriptorCompressedSize == distance) return true;
    }
}

void ZipWalk::logLocalHeader(const LocalHeaderRecord& h) {
    m_log->logDataHex("signature", h.signature);
    m_log->logDataHex("requiredVersion", h.versionNeeded);
    m_log->logDataHex("bitFlags", h.flags);
    m_log->logDataHex("compressionMethod", h.method);
    m_log->logDataHex("fileTime", h.dosTime);
    m_log->logDataHex("fileDate", h.dosDate);
    m_log->logDataHex("crc", h.crc32);
    m_log->logDataLong("compressedSize", static_cast<std::int32_t>(h.rawCompressedSize));
    m_log->logDataLong("uncompressedSize", static_cast<std::int32_t>(h.rawUncompressedSize));
    m_log->logDataHex("filenameLen", h.nameLength);
    m_log->logDataHex("extraFieldLen", h.extraLength);
}
