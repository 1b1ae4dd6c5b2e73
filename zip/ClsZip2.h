// The archive object: the state of one opened archive (names, comment, end record, encryption
// summary, entries) and the settings reading uses. Entries are owned by the ZipSystem registry;
// this object only lists them.
#pragma once
#include <cstdint>
#include <string>

#include "base/ExtPtrArray.h"
#include "base/StringBuffer.h"
#include "codecs/DecoderMemoryLimit.h"
#include "zip/ClsBase.h"
#include "zip/ZipWalkEntry.h"

class ClsZipEntry2;
class XString;
class ZipCallback;
class ZipSystem;

class ClsZip2 : public ClsBase {
public:
    explicit ClsZip2(ZipSystem* system);
    ~ClsZip2() override;

    bool OpenZip(XString& path);

    void ClearZipState();
    bool ReadZipStructure();
    bool LoadWalkResults(ExtPtrArray& records);
    bool CheckEncryptedComment();
    void CreateEntries(ExtPtrArray& records);

    // Settings.
    void setOemCodePage(int codePage) { m_oemCodePage = codePage; }
    int oemCodePage() const { return m_oemCodePage; }
    void setPassword(const char* utf8) { m_password.setString(utf8); }
    void setTempDir(const char* utf8) { m_tempDir.setString(utf8); }
    const StringBuffer& tempDir() const { return m_tempDir; }
    const StringBuffer& password() const { return m_password; }
    void setVerboseLogging(bool on) { m_verboseLogging = on; }
    // Extraction leaves every name that already exists as it is (decided as each file is put in
    // place, so an earlier entry of the same name counts too).
    void setNeverOverwrite(bool on) { m_neverOverwrite = on; }
    bool neverOverwrite() const { return m_neverOverwrite; }
    bool verboseLogging() const { return m_verboseLogging; }
    // The most one entry's decoder may take for a window, dictionary or model its stream asks for.
    void setMaxDecoderMemory(std::uint64_t bytes) { m_maxDecoderMemory = bytes; }
    std::uint64_t maxDecoderMemory() const { return m_maxDecoderMemory; }

    // State of the opened archive.
    int numEntries() const { return m_entries.count(); }
    ClsZipEntry2* entryAt(int i) const;
    const StringBuffer& comment() const { return m_comment; }
    const EndOfCentralDir& endRecord() const { return m_endRecord; }
    const StringBuffer& fileName() const { return m_fileName; }
    const StringBuffer& fullPath() const { return m_fullPath; }
    const StringBuffer& lastOperation() const { return m_lastOperation; }
    bool passwordProtected() const { return m_passwordProtected; }
    std::int32_t encryption() const { return m_encryption; }
    std::int32_t keyLength() const { return m_keyLength; }
    bool sizeMismatch() const { return m_sizeMismatch; }
    // Why the central directory could not be read whole, or empty. The entries that could be
    // recovered are there, but every operation over the whole archive fails.
    const std::string& structureDamage() const { return m_structureDamage; }
    std::uint32_t serialNumber() const { return m_serial; }
    ZipSystem* system() const { return m_system; }
    void detachSystem() { m_system = nullptr; }

    // Prologue of every public operation: clear the log, open its context, remember the name.
    void beginOperation(const char* name);
    bool commentHasMarker() const;
    bool passwordMatchesComment(const DataBuffer& encrypted);

private:
    bool fileOpensForReading(XString& path);
    bool readAndSummarise(std::uint32_t startTick);
    const ZipWalkEntry* chooseSummaryRecord(ExtPtrArray& records) const;
    void discardRecords(ExtPtrArray& records);
    void dropLocalOnlyRecords(ExtPtrArray& records);

    std::uint32_t m_serial;
    int m_oemCodePage;
    StringBuffer m_lastOperation;
    ExtPtrArray m_entries;  // not owning
    EndOfCentralDir m_endRecord;
    StringBuffer m_comment;
    bool m_passwordProtected = false;
    std::int32_t m_encryption = 0;
    std::int32_t m_keyLength = 128;
    StringBuffer m_password;
    StringBuffer m_fileName;
    StringBuffer m_fullPath;
    StringBuffer m_tempDir;
    bool m_verboseLogging = false;
    bool m_neverOverwrite = false;
    std::uint64_t m_maxDecoderMemory = DecoderMemoryLimit::kDefault;
    bool m_sizeMismatch = false;
    std::string m_structureDamage;
    ZipSystem* m_system;
    const ZipWalkEntry* m_summaryRecord = nullptr;  // owned by an entry once entries exist
};
