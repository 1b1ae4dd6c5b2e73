// One member of an opened archive as the extraction sees it: a mapped entry wraps the walk
// record it was made from. Every operation first checks the validity marker, so a destroyed
// entry answers with empty values instead of touching freed state.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "base/StringBuffer.h"
#include "base/TarnelObject.h"

class ClsZip2;
struct FileTime;
struct SystemTime;
class ZipWalkEntry;

class ClsZipEntry2 : public TarnelObject {
public:
    enum Kind : std::uint8_t { kMapped = 0, kFile = 1, kData = 2, kEmpty = 3, kNewDirectory = 4 };

    ClsZipEntry2();
    ClsZipEntry2(const ClsZipEntry2&) = delete;
    ClsZipEntry2& operator=(const ClsZipEntry2&) = delete;
    ~ClsZipEntry2() override;

    // A mapped entry that takes over the walk record.
    static ClsZipEntry2* createMapped(ClsZip2* owner, ZipWalkEntry* record);

    // The name with '\' separators (the override if there is one).
    bool GetFileName(StringBuffer& out) const;
    bool IsDir() const;
    void SetSkip(bool skip);
    bool IsSkipped() const;
    bool IsEmptyKind() const;
    std::uint64_t GetCompressedSize() const;
    std::uint64_t GetUncompressedSize() const;
    // The local header's DOS date and time (a mapped entry's only-newer time); false otherwise.
    bool GetComparisonTime(SystemTime& out) const;
    // True when the target below the folder is missing or its time unreadable, or older.
    bool IsNewerThanTarget(const char* baseFolder) const;
    bool TargetExists(const char* baseFolder) const;

    // For the extraction.
    const ZipWalkEntry* walkEntry() const;
    ClsZip2* owner() const { return isValid() ? m_owner : nullptr; }
    std::uint8_t kind() const { return m_kind; }
    std::uint8_t compressionMethod() const { return m_method; }
    std::uint8_t compressionLevel() const { return m_level; }
    std::uint32_t crc() const { return m_crc; }
    const StringBuffer* comment() const { return isValid() ? m_comment.get() : nullptr; }
    std::uint32_t serialNumber() const { return m_serial; }
    void setDirectory(bool isDirectory);

    // Directory rule: a name ending with '/', else the Unix mode's type for entries made on Unix
    // or macOS, else the DOS attribute bit 0x10.
    static bool isDirectoryRecord(const ZipWalkEntry& record);
    // False once the entry has been destroyed.
    bool isValid() const { return m_marker == kAlive; }

private:
    static constexpr std::uint8_t kAlive = 0xCF;
    static constexpr std::uint8_t kSkipFlag = 0x01;
    static constexpr std::uint8_t kDirectoryFlag = 0x04;
    bool comparisonFileTime(FileTime& local) const;
    std::string targetPath(const char* baseFolder) const;

    std::uint8_t m_marker = kAlive;
    std::uint8_t m_kind = kEmpty;
    std::uint8_t m_method = 8;
    std::uint8_t m_level = 6;
    std::uint8_t m_flags = 0;
    std::unique_ptr<StringBuffer> m_comment;
    std::unique_ptr<StringBuffer> m_nameOverride;  // never set for mapped entries
    std::uint32_t m_serial;
    ClsZip2* m_owner = nullptr;
    std::unique_ptr<ZipWalkEntry> m_source;
    std::uint32_t m_crc = 0;
};
