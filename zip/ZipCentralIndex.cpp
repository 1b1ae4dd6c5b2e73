// Locating the central directory from the end of the file and indexing its sizes.
#include "zip/ZipCentralIndex.h"

#include <cstring>

#include "log/LogNull.h"
#include "base/LittleEndian.h"
#include "zip/MemoryData.h"
#include "zip/ZipExtraField.h"
#include "zip/ZipWalkEntry.h"

namespace {

constexpr std::uint32_t kMaxComment = 0xFFFF;
constexpr std::uint32_t kZip64LocatorSize = 20;
constexpr std::uint32_t kUnset32 = 0xFFFFFFFF;
constexpr std::uint16_t kUnset16 = 0xFFFF;

bool signatureAt(MemoryData& data, LogNull& quiet, std::uint64_t address, std::uint32_t sig) {
    const std::uint8_t* p = data.getData(address, 4, quiet);
    return p != nullptr && loadLe32(p) == sig;
}

}  // namespace

bool ZipCentralIndex::load(MemoryData& data) {
    if (!locate(data, m_dir)) return false;
    m_found = true;
    m_promised = m_dir.promised;
    const std::uint64_t records = forEachRecord(
        data, [&](const CentralRecord& rec, const std::uint8_t*, const Sizes&, std::uint64_t offset) {
            if (offset == kUnset32 && rec.rawLocalHeaderOffset == kUnset32) return;  // no ZIP64 value for it
            const std::uint64_t at = offset + std::uint64_t(m_dir.shift);
            if (at < m_firstLocal) m_firstLocal = at;
        });
    m_records = records;
    if (records < m_promised) m_fault = Fault::kTruncated;
    return true;
}

const char* ZipCentralIndex::faultText() const {
    switch (m_fault) {
        case Fault::kSplit: return "split archives are not supported";
        case Fault::kOutside: return "central directory outside the file";
        case Fault::kTruncated: return "truncated central directory";
        default: return nullptr;
    }
}

std::uint64_t ZipCentralIndex::firstLocalHeader() const {
    return m_firstLocal < m_dir.start ? m_firstLocal : m_dir.start;
}

std::uint64_t ZipCentralIndex::firstLocalHeaderAsRecorded() const {
    if (m_firstLocal == UINT64_MAX) return m_dir.start;
    const std::uint64_t recorded = m_firstLocal - std::uint64_t(m_dir.shift);
    return recorded < m_dir.start ? recorded : m_dir.start;
}

// The end record is the last one in the file whose central directory can be found; a comment
// may itself hold the signature, so every candidate from the back is tried. When none leads to
// a directory, the last one in the file says what is missing. An end record that promises no
// entries names no directory: the walk then reads the file from the front.
bool ZipCentralIndex::locate(MemoryData& data, Directory& dir) {
    const std::int64_t size = data.size();
    if (size < EndOfCentralDir::kSize) return false;
    const std::uint64_t tail = std::uint64_t(size) < EndOfCentralDir::kSize + kMaxComment
                                   ? std::uint64_t(size)
                                   : EndOfCentralDir::kSize + kMaxComment;
    const std::uint64_t tailStart = std::uint64_t(size) - tail;
    LogNull quiet;
    const std::uint8_t* p = data.getData(tailStart, std::uint32_t(tail), quiet);
    if (p == nullptr) return false;
    const std::string bytes(reinterpret_cast<const char*>(p), tail);
    bool haveLast = false;
    Directory last;
    for (std::uint64_t i = tail - EndOfCentralDir::kSize + 1; i-- > 0;) {
        if (loadLe32(reinterpret_cast<const std::uint8_t*>(bytes.data()) + i) != ZipSig::kEndOfCentralDir) continue;
        Directory candidate;
        readEndRecord(data, tailStart + i, candidate);
        if (candidate.promised == 0 && candidate.size == 0) return false;  // an empty archive
        if (!candidate.split && directoryAt(data, candidate)) return dir = candidate, true;
        if (!haveLast) last = candidate, haveLast = true;
    }
    if (haveLast && last.promised != 0) classifyMissing(data, last);
    return false;
}

// The end record's values, the ZIP64 end record's where the 16- and 32-bit fields are full.
void ZipCentralIndex::readEndRecord(MemoryData& data, std::uint64_t endAddress, Directory& dir) {
    LogNull quiet;
    const std::uint8_t* p = data.getData(endAddress, EndOfCentralDir::kSize, quiet);
    if (p == nullptr) return;
    std::uint32_t disk = loadLe16(p + 4), dirDisk = loadLe16(p + 6);
    dir.promised = loadLe16(p + 10);
    dir.size = loadLe32(p + 12);
    dir.recorded = loadLe32(p + 16);
    dir.end = endAddress;
    if (endAddress >= kZip64LocatorSize &&
        signatureAt(data, quiet, endAddress - kZip64LocatorSize, ZipSig::kZip64Locator)) {
        p = data.getData(endAddress - kZip64LocatorSize, kZip64LocatorSize, quiet);
        const std::uint64_t z64Recorded = loadLe64(p + 8);
        const bool manyDisks = loadLe32(p + 16) > 1;
        for (std::uint64_t at : {z64Recorded, endAddress - kZip64LocatorSize - ZipRecordSize::kZip64EndOfCentralDir}) {
            if (at > endAddress || !signatureAt(data, quiet, at, ZipSig::kZip64EndOfCentralDir)) continue;
            p = data.getData(at, ZipRecordSize::kZip64EndOfCentralDir, quiet);
            if (p == nullptr) continue;
            if (disk == kUnset16) disk = loadLe32(p + 16);
            if (dirDisk == kUnset16) dirDisk = loadLe32(p + 20);
            if (dir.promised == kUnset16) dir.promised = loadLe64(p + 32);
            dir.size = loadLe64(p + 40);
            dir.recorded = loadLe64(p + 48);
            dir.end = at;
            break;
        }
        dir.split = manyDisks;
    }
    dir.split = dir.split || (disk != 0 && disk != kUnset16) || (dirDisk != 0 && dirDisk != kUnset16);
}

// Recorded offsets are trusted only as far as the directory's size: the directory ends where
// the end record (or the ZIP64 end record) begins, so its start is known even when the archive
// was moved behind other data without its offsets being adjusted. This is the distance unzip
// and bsdtar take as the length of what precedes the archive.
bool ZipCentralIndex::directoryAt(MemoryData& data, Directory& dir) {
    LogNull quiet;
    if (dir.size == 0 || dir.size > dir.end) return false;
    dir.start = dir.end - dir.size;
    dir.shift = std::int64_t(dir.start - dir.recorded);
    if (signatureAt(data, quiet, dir.start, ZipSig::kCentralHeader)) return true;
    dir.start = dir.recorded;
    dir.shift = 0;
    return dir.recorded < dir.end && signatureAt(data, quiet, dir.recorded, ZipSig::kCentralHeader);
}

void ZipCentralIndex::classifyMissing(MemoryData& data, const Directory& dir) {
    m_promised = dir.promised;
    const std::uint64_t fileSize = std::uint64_t(data.size());
    if (dir.split) m_fault = Fault::kSplit;
    else if (dir.recorded >= fileSize || dir.size > fileSize - dir.recorded) m_fault = Fault::kOutside;
    else m_fault = Fault::kTruncated;
}

// The ZIP64 block holds, in this order, only the values whose 32-bit fields are all ones.
template <class Visit>
std::uint64_t ZipCentralIndex::forEachRecord(MemoryData& data, Visit visit) {
    LogNull quiet;
    std::uint64_t addr = m_dir.start;
    std::uint64_t count = 0;
    while (addr < m_dir.end && signatureAt(data, quiet, addr, ZipSig::kCentralHeader)) {
        const std::uint8_t* p = data.getData(addr, CentralRecord::kSize, quiet);
        if (p == nullptr) break;
        CentralRecord rec;
        rec.decode(p);
        const std::uint32_t variable = std::uint32_t(rec.nameLength) + rec.extraLength;
        p = data.getData(addr + CentralRecord::kSize, variable, quiet);
        if (p == nullptr) break;
        Sizes sizes{rec.rawCompressedSize, rec.rawUncompressedSize, rec.crc32, false};
        std::uint64_t offset = rec.rawLocalHeaderOffset;
        ZipExtraField blocks(p + rec.nameLength, rec.extraLength);
        std::uint16_t id = 0, len = 0;
        const std::uint8_t* d = nullptr;
        while (blocks.next(id, d, len)) {
            if (id != ZipExtraField::kZip64) continue;
            std::uint32_t used = 0;
            auto take = [&](std::uint64_t& field, std::uint32_t raw) {
                if (raw != kUnset32 || used + 8 > len) return;
                field = loadLe64(d + used);
                used += 8;
                sizes.zip64 = true;
            };
            take(sizes.uncompressed, rec.rawUncompressedSize);
            take(sizes.compressed, rec.rawCompressedSize);
            take(offset, rec.rawLocalHeaderOffset);
            break;
        }
        visit(rec, p, sizes, offset);
        ++count;
        addr += CentralRecord::kSize + variable + rec.commentLength;
    }
    return count;
}

void ZipCentralIndex::index(MemoryData& data) {
    m_indexed = true;
    if (!m_found) return;
    forEachRecord(data, [&](const CentralRecord&, const std::uint8_t*, const Sizes& sizes, std::uint64_t offset) {
        m_byAddress.emplace(offset + std::uint64_t(m_dir.shift), sizes);
    });
}

// Names are indexed only when a record is first looked up by name: most archives never need it.
void ZipCentralIndex::indexNames(MemoryData& data) {
    m_namesIndexed = true;
    if (!m_found) return;
    forEachRecord(data, [&](const CentralRecord& rec, const std::uint8_t* variable, const Sizes& sizes, std::uint64_t) {
        std::string name(reinterpret_cast<const char*>(variable), rec.nameLength);
        for (char& c : name) c = c == '\\' ? '/' : c;  // as the walk's raw names
        m_byName.emplace(std::move(name), sizes);
    });
}

const ZipCentralIndex::Sizes* ZipCentralIndex::atAddress(MemoryData& data, std::uint64_t localHeaderAddress) {
    if (!m_indexed) index(data);
    auto at = m_byAddress.find(localHeaderAddress);
    return at == m_byAddress.end() ? nullptr : &at->second;
}

const ZipCentralIndex::Sizes* ZipCentralIndex::find(MemoryData& data, std::uint64_t localHeaderAddress,
                                                    const char* rawName, int nameLength) {
    if (const Sizes* at = atAddress(data, localHeaderAddress)) return at;
    if (!m_namesIndexed) indexNames(data);
    auto named = m_byName.find(std::string(rawName, std::size_t(nameLength)));
    return named == m_byName.end() ? nullptr : &named->second;
}
