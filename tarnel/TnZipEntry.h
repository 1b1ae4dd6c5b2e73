// Tarnel Zip: what the listing tells about one entry of an opened archive (TnZip::GetEntry).
// Texts are UTF-8 whatever TnZip's UTF-8 setting; sizes are 64-bit.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

enum class TnZipEncryption : int {
    kNone = 0,
    kTraditional,  // the traditional PKWARE scheme
    kWinZipAes,    // WinZip AES; keyBits says 128, 192 or 256
    kWholeData,    // the library's own whole-data scheme; keyBits says the key length
    kStrong,       // PKWARE strong encryption, which the library does not read
};

struct TnZipEntry {
    // The path the entry would be created at below the extraction folder, '/' separated on
    // every platform: no root, no "." or ".." components, no wildcard characters.
    std::string name;
    // The name as the archive gives it, decoded to UTF-8 and '/' separated, nothing removed: what
    // a lister shows, and (with the characters * < > ? | left out) what TnZipProgress receives.
    std::string archiveName;
    // The name bytes as the archive stores them, and whether the archive flags them as UTF-8
    // (otherwise they were read in the OEM code page, or as the archive's Unicode path field says).
    std::string rawName;
    bool rawNameUtf8 = false;

    // Sizes and CRC as the central directory records them (as unzip -Z lists them); the local
    // header's when the entry has no central record.
    std::uint64_t uncompressedSize = 0;
    std::uint64_t compressedSize = 0;
    std::uint32_t crc32 = 0;  // 0 for WinZip AES AE-2 entries, which carry none
    int method = 0;           // the compression method (the real one for WinZip AES entries)
    std::string methodName;   // "Stored", "Deflated", ...
    TnZipEncryption encryption = TnZipEncryption::kNone;
    int keyBits = 0;

    bool isDirectory = false;
    bool isSymlink = false;
    std::string linkTarget;      // a link's target as stored, when isSymlink
    std::uint32_t unixMode = 0;  // type and permission bits for entries made on Unix; else 0
    std::uint8_t dosAttributes = 0;
    int hostSystem = 0;             // the "made by" host: 0 FAT, 3 Unix, 10 NTFS, 11 VFAT, 19 OS X, ...
    std::int64_t modifiedTime = 0;  // seconds since 1970-01-01 UTC, from the most precise time stored
    std::string comment;            // the entry's comment, raw bytes
    // The ids of the central record's extra blocks in order, and whether both extra fields are
    // well formed (a malformed one is read past in extraction; a test reports it).
    std::vector<std::uint16_t> extraFieldIds;
    bool extraFieldsWellFormed = true;
};
