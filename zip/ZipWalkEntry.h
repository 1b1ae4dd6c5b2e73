// One archive member as the structure walk found it, with the fixed ZIP records it was read from.
// Record decoding: a 32-bit size or offset of 0xFFFFFFFF (a ZIP64 placeholder) is kept raw but stored as 0 in the
// 64-bit field until a ZIP64 block supplies the real value; a count of 0xFFFF likewise becomes 0.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "base/DataBuffer.h"
#include "base/StringBuffer.h"
#include "base/TarnelObject.h"
#include "codecs/ZipMethod.h"

namespace ZipSig {
constexpr std::uint32_t kLocalHeader = 0x04034B50;
constexpr std::uint32_t kCentralHeader = 0x02014B50;
constexpr std::uint32_t kEndOfCentralDir = 0x06054B50;
constexpr std::uint32_t kZip64EndOfCentralDir = 0x06064B50;
constexpr std::uint32_t kZip64Locator = 0x07064B50;
constexpr std::uint32_t kDataDescriptor = 0x08074B50;
}  // namespace ZipSig

// General-purpose flag bits of the local and central headers.
namespace ZipFlag {
constexpr std::uint16_t kEncrypted = 0x0001;
constexpr std::uint16_t kDataDescriptor = 0x0008;  // CRC and sizes follow the data
constexpr std::uint16_t kStrongEncryption = 0x0040;
constexpr std::uint16_t kUtf8Name = 0x0800;  // name and comment are UTF-8
}  // namespace ZipFlag

// The host system in the high byte of "version made by".
namespace ZipHost {
constexpr std::uint8_t kUnix = 3;
constexpr std::uint8_t kMacOsX = 19;
inline bool isUnixLike(std::uint16_t versionMadeBy) {
    const unsigned host = versionMadeBy >> 8;
    return host == kUnix || host == kMacOsX;
}
}  // namespace ZipHost

// Compression methods are named in codecs/ZipMethod.h. ZipMethod::kAes stands in the headers of
// WinZip AES entries, whose real method is in their 0x9901 extra block.

// Encryption kinds of an entry: none, WinZip AES, and otherwise the library's own whole-data
// kinds (from its 20-byte marker).
namespace ZipEncryption {
constexpr std::uint32_t kNone = 0;
constexpr std::uint32_t kWinZipAes = 4;
}  // namespace ZipEncryption

// WinZip AES format versions; AE-2 entries carry no CRC.
namespace ZipAesVersion {
constexpr std::uint16_t kAe2 = 2;
}  // namespace ZipAesVersion

// Sizes of fixed parts that are not records of their own below.
namespace ZipRecordSize {
constexpr std::uint32_t kZip64EndOfCentralDir = 56;  // before its extensible data
constexpr std::uint32_t kTraditionalHeader = 12;     // traditional encryption header before the data
constexpr std::uint32_t kEncryptionMarker = 20;      // the library's own marker before the data
}  // namespace ZipRecordSize

// Fields on which an entry's local header and central record disagree. Readers that trust one
// record or the other would see different contents, so such an entry is reported.
namespace ZipDisagreement {
constexpr std::uint8_t kSizes = 0x01;
constexpr std::uint8_t kCrc = 0x02;
constexpr std::uint8_t kMethod = 0x04;
constexpr std::uint8_t kName = 0x08;
}  // namespace ZipDisagreement

struct LocalHeaderRecord {
    static constexpr std::uint32_t kSize = 30;
    void decode(const std::uint8_t* p);

    std::uint32_t signature = 0;
    std::uint16_t versionNeeded = 0;
    std::uint16_t flags = 0;
    std::uint16_t method = 0;
    std::uint16_t dosTime = 0;
    std::uint16_t dosDate = 0;
    std::uint32_t crc32 = 0;
    std::uint16_t nameLength = 0;
    std::uint16_t extraLength = 0;
    std::uint64_t compressedSize = 0;
    std::uint64_t uncompressedSize = 0;
    std::uint32_t rawCompressedSize = 0;
    std::uint32_t rawUncompressedSize = 0;
};

struct CentralRecord {
    static constexpr std::uint32_t kSize = 46;
    void decode(const std::uint8_t* p);

    std::uint32_t signature = 0;
    std::uint16_t versionMadeBy = 0;
    std::uint16_t versionNeeded = 0;
    std::uint16_t flags = 0;
    std::uint16_t method = 0;
    std::uint16_t dosTime = 0;
    std::uint16_t dosDate = 0;
    std::uint32_t crc32 = 0;
    std::uint16_t nameLength = 0;
    std::uint16_t extraLength = 0;
    std::uint16_t commentLength = 0;
    std::uint16_t diskNumberStart = 0;
    std::uint16_t internalAttributes = 0;
    std::uint32_t externalAttributes = 0;
    std::uint64_t compressedSize = 0;
    std::uint64_t uncompressedSize = 0;
    std::uint64_t localHeaderOffset = 0;
    std::uint32_t rawLocalHeaderOffset = 0;
    std::uint32_t rawCompressedSize = 0;
    std::uint32_t rawUncompressedSize = 0;
};

struct EndOfCentralDir {
    static constexpr std::uint32_t kSize = 22;
    void decode(const std::uint8_t* p);

    std::uint32_t signature = 0;
    std::uint16_t diskNumber = 0;
    std::uint16_t centralDirDisk = 0;
    std::uint32_t recordsOnDisk = 0;
    std::uint32_t totalRecords = 0;
    std::uint32_t centralDirSize = 0;
    std::uint16_t commentLength = 0;
    std::uint32_t rawCentralDirOffset = 0;
    std::uint64_t centralDirOffset = 0;
};

class ZipWalkEntry : public TarnelObject {
public:
    ZipWalkEntry() = default;
    ZipWalkEntry(const ZipWalkEntry&) = delete;
    ZipWalkEntry& operator=(const ZipWalkEntry&) = delete;
    ~ZipWalkEntry() override = default;

    // The data is as long as the walk found it: the descriptor's compressed size, else the local
    // header's, or the central record's where the local one ran past the directory. The central
    // record declares the uncompressed size: it is what listings and callers see, so it bounds
    // what is written. A data descriptor placed by the central record's compressed size may
    // correct it when it agrees on CRC and compressed size (writers slip in the central
    // directory, not in the descriptor written after the data). Without a central record, the
    // descriptor's sizes win over the local header's.
    std::uint64_t compressedSize64() const;
    std::uint32_t compressedSize32() const;
    std::uint64_t uncompressedSize64() const;
    bool isTraditionallyEncrypted() const;
    // PKWARE's strong encryption: an encrypted entry with a strong encryption header in its
    // central record or the strong-encryption flag in either header.
    bool isStrongEncrypted() const;
    // The CRC-32 the content must have: the central record's; without one the descriptor's, else
    // the local header's.
    std::uint32_t storedCrc() const;
    // The fields that disagree, as text ("sizes, CRC"); empty when the records agree.
    std::string disagreementText() const;
    void setDescriptor(const std::uint8_t* twelveBytes);
    void setDescriptor(std::uint32_t crc, std::uint64_t compressed, std::uint64_t uncompressed);
    void setEncryptionHeader(const std::uint8_t* twelveBytes);

    std::uint64_t localHeaderAddress = 0;
    LocalHeaderRecord localHeader;
    std::uint64_t centralRecordAddress = 0;  // 0 while no central record matched
    CentralRecord centralRecord;
    StringBuffer rawName;            // local name bytes, '\' turned into '/'; only for matching
    StringBuffer decodedName;        // UTF-8, '/' separators
    std::uint32_t localNameCrc = 0;  // CRC-32 of the local name as stored, for its Unicode path field
    std::unique_ptr<DataBuffer> localExtra;
    std::unique_ptr<DataBuffer> centralExtra;
    std::uint32_t encryptionKind = 0;  // 0, 4 (WinZip AES) or the library marker's kind
    std::uint32_t keyLength = 0;       // bits
    std::uint16_t aesActualMethod = 0;
    std::uint16_t aesVersion = 0;  // 1 (AE-1) or 2 (AE-2: the CRC field is not used)
    std::uint64_t dataOffset = 0;
    bool hasDescriptor = false;
    std::uint32_t descriptorCrc = 0;
    std::uint64_t descriptorCompressedSize = 0;
    std::uint64_t descriptorUncompressedSize = 0;
    bool localZip64 = false;                // the local extra field has a ZIP64 block (8-byte descriptor sizes)
    bool localUnicodeName = false;          // the local Unicode path field gave the decoded name
    bool strongEncryptionHeader = false;    // the central extra field has a 0x0017 block
    std::unique_ptr<StringBuffer> comment;  // central file comment, raw bytes
    bool hasEncryptionHeader = false;
    std::uint8_t encryptionHeader[12] = {};
    std::uint8_t disagreement = 0;    // ZipDisagreement bits, set when the central record is matched
    bool dataSizedByCentral = false;  // the local compressed size ran past the directory
};
