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

bool signatureAt(MemoryData& data, LogNull& quiet, std::uint64_t address, std::uint32_t sig) {
    const std::uint8_t* p = data.getData(address, 4, quiet);
    return p != nullptr && loadLe32(p) == sig;
}

}  // namespace

bool ZipCentralIndex::load(MemoryData& data) {
    Directory dir;
    return locate(data, dir) && readRecords(data, dir) && !m_byAddress.empty();
}

// The end record is the last one in the file whose central directory can be found; a comment
// may itself hold the signature, so every candidate from the back is tried.
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
    for (std::uint64_t i = tail - EndOfCentralDir::kSize + 1; i-- > 0;) {
        if (loadLe32(reinterpret_cast<const std::uint8_t*>(bytes.data()) + i) != ZipSig::kEndOfCentralDir) continue;
        if (fromEndRecord(data, tailStart + i, dir)) return true;
    }
    return false;
}

// Recorded offsets are trusted only as far as the directory's size: the directory ends where
// the end record (or the ZIP64 end record) begins, so its start is known even when the archive
// was moved behind other data without its offsets being adjusted.
bool ZipCentralIndex::fromEndRecord(MemoryData& data, std::uint64_t endAddress, Directory& dir) {
    LogNull quiet;
    const std::uint8_t* p = data.getData(endAddress, EndOfCentralDir::kSize, quiet);
    if (p == nullptr) return false;
    std::uint64_t size = loadLe32(p + 12);
    std::uint64_t recorded = loadLe32(p + 16);
    dir.end = endAddress;
    if (endAddress >= kZip64LocatorSize &&
        signatureAt(data, quiet, endAddress - kZip64LocatorSize, ZipSig::kZip64Locator)) {
        p = data.getData(endAddress - kZip64LocatorSize, kZip64LocatorSize, quiet);
        const std::uint64_t z64Recorded = loadLe64(p + 8);
        for (std::uint64_t at : {z64Recorded, endAddress - kZip64LocatorSize - ZipRecordSize::kZip64EndOfCentralDir}) {
            if (at > endAddress || !signatureAt(data, quiet, at, ZipSig::kZip64EndOfCentralDir)) continue;
            p = data.getData(at, ZipRecordSize::kZip64EndOfCentralDir, quiet);
            if (p == nullptr) continue;
            size = loadLe64(p + 40);
            recorded = loadLe64(p + 48);
            dir.end = at;
            break;
        }
    }
    if (size == 0 || size > dir.end) return false;
    dir.start = dir.end - size;
    dir.shift = std::int64_t(dir.start - recorded);
    if (signatureAt(data, quiet, dir.start, ZipSig::kCentralHeader)) return true;
    dir.start = recorded;
    dir.shift = 0;
    return recorded < dir.end && signatureAt(data, quiet, recorded, ZipSig::kCentralHeader);
}

// The ZIP64 block holds, in this order, only the values whose 32-bit fields are all ones.
bool ZipCentralIndex::readRecords(MemoryData& data, const Directory& dir) {
    LogNull quiet;
    std::uint64_t addr = dir.start;
    while (addr < dir.end && signatureAt(data, quiet, addr, ZipSig::kCentralHeader)) {
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
        m_byAddress.emplace(offset + std::uint64_t(dir.shift), sizes);
        std::string name(reinterpret_cast<const char*>(p), rec.nameLength);
        for (char& c : name) c = c == '\\' ? '/' : c;  // as the walk's raw names
        m_byName.emplace(std::move(name), sizes);
        addr += CentralRecord::kSize + variable + rec.commentLength;
    }
    return true;
}

const ZipCentralIndex::Sizes* ZipCentralIndex::find(std::uint64_t localHeaderAddress, const char* rawName,
                                                    int nameLength) const {
    auto at = m_byAddress.find(localHeaderAddress);
    if (at != m_byAddress.end()) return &at->second;
    auto named = m_byName.find(std::string(rawName, std::size_t(nameLength)));
    return named == m_byName.end() ? nullptr : &named->second;
}
