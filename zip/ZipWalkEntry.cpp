// Record decoding (callers guarantee the full fixed size is readable) and the walk record's queries.
#include "zip/ZipWalkEntry.h"

#include <cstring>

#include "base/LittleEndian.h"

namespace {
std::uint64_t widen32(std::uint32_t v) { return v == 0xFFFFFFFFu ? 0 : v; }
std::uint32_t widen16(std::uint16_t v) { return v == 0xFFFFu ? 0 : v; }
}  // namespace

void LocalHeaderRecord::decode(const std::uint8_t* p) {
    signature = loadLe32(p);
    versionNeeded = loadLe16(p + 4);
    flags = loadLe16(p + 6);
    method = loadLe16(p + 8);
    dosTime = loadLe16(p + 10);
    dosDate = loadLe16(p + 12);
    crc32 = loadLe32(p + 14);
    rawCompressedSize = loadLe32(p + 18);
    rawUncompressedSize = loadLe32(p + 22);
    nameLength = loadLe16(p + 26);
    extraLength = loadLe16(p + 28);
    compressedSize = widen32(rawCompressedSize);
    uncompressedSize = widen32(rawUncompressedSize);
}

void CentralRecord::decode(const std::uint8_t* p) {
    signature = loadLe32(p);
    versionMadeBy = loadLe16(p + 4);
    versionNeeded = loadLe16(p + 6);
    flags = loadLe16(p + 8);
    method = loadLe16(p + 10);
    dosTime = loadLe16(p + 12);
    dosDate = loadLe16(p + 14);
    crc32 = loadLe32(p + 16);
    rawCompressedSize = loadLe32(p + 20);
    rawUncompressedSize = loadLe32(p + 24);
    nameLength = loadLe16(p + 28);
    extraLength = loadLe16(p + 30);
    commentLength = loadLe16(p + 32);
    diskNumberStart = loadLe16(p + 34);
    internalAttributes = loadLe16(p + 36);
    externalAttributes = loadLe32(p + 38);
    rawLocalHeaderOffset = loadLe32(p + 42);
    compressedSize = widen32(rawCompressedSize);
    uncompressedSize = widen32(rawUncompressedSize);
    localHeaderOffset = widen32(rawLocalHeaderOffset);
}

void EndOfCentralDir::decode(const std::uint8_t* p) {
    signature = loadLe32(p);
    diskNumber = loadLe16(p + 4);
    centralDirDisk = loadLe16(p + 6);
    recordsOnDisk = widen16(loadLe16(p + 8));
    totalRecords = widen16(loadLe16(p + 10));
    centralDirSize = loadLe32(p + 12);
    rawCentralDirOffset = loadLe32(p + 16);
    commentLength = loadLe16(p + 20);
    centralDirOffset = widen32(rawCentralDirOffset);
}

std::uint64_t ZipWalkEntry::compressedSize64() const {
    if (hasDescriptor) return descriptorCompressedSize;
    return dataSizedByCentral ? centralRecord.compressedSize : localHeader.compressedSize;
}

std::uint32_t ZipWalkEntry::compressedSize32() const { return static_cast<std::uint32_t>(compressedSize64()); }

std::uint64_t ZipWalkEntry::uncompressedSize64() const {
    if (centralRecordAddress == 0) return hasDescriptor ? descriptorUncompressedSize : localHeader.uncompressedSize;
    const bool descriptorAgrees = hasDescriptor && descriptorCrc == centralRecord.crc32 &&
                                  descriptorCompressedSize == centralRecord.compressedSize;
    return descriptorAgrees ? descriptorUncompressedSize : centralRecord.uncompressedSize;
}

bool ZipWalkEntry::isTraditionallyEncrypted() const {
    if (localHeader.method == ZipMethod::kAes) return false;
    if ((localHeader.flags & ZipFlag::kStrongEncryption) != 0 && localHeader.versionNeeded >= 51) return false;
    return (localHeader.flags & ZipFlag::kEncrypted) != 0;
}

std::uint32_t ZipWalkEntry::storedCrc() const {
    if (centralRecordAddress != 0) return centralRecord.crc32;
    return hasDescriptor ? descriptorCrc : localHeader.crc32;
}

std::string ZipWalkEntry::disagreementText() const {
    static const struct {
        std::uint8_t bit;
        const char* name;
    } kFields[] = {{ZipDisagreement::kSizes, "sizes"},
                   {ZipDisagreement::kCrc, "CRC"},
                   {ZipDisagreement::kMethod, "method"},
                   {ZipDisagreement::kName, "name"}};
    std::string text;
    for (const auto& f : kFields)
        if ((disagreement & f.bit) != 0) text += (text.empty() ? "" : ", ") + std::string(f.name);
    return text;
}

bool ZipWalkEntry::isStrongEncrypted() const {
    if ((localHeader.flags & ZipFlag::kEncrypted) == 0 || localHeader.method == ZipMethod::kAes) return false;
    return strongEncryptionHeader || ((localHeader.flags | centralRecord.flags) & ZipFlag::kStrongEncryption) != 0;
}

void ZipWalkEntry::setDescriptor(const std::uint8_t* p) {
    hasDescriptor = true;
    descriptorCrc = loadLe32(p);
    descriptorCompressedSize = loadLe32(p + 4);
    descriptorUncompressedSize = loadLe32(p + 8);
}

void ZipWalkEntry::setDescriptor(std::uint32_t crc, std::uint64_t compressed, std::uint64_t uncompressed) {
    hasDescriptor = true;
    descriptorCrc = crc;
    descriptorCompressedSize = compressed;
    descriptorUncompressedSize = uncompressed;
}

void ZipWalkEntry::setEncryptionHeader(const std::uint8_t* p) {
    hasEncryptionHeader = true;
    std::memcpy(encryptionHeader, p, sizeof encryptionHeader);
}
