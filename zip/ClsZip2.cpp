// The archive object's state and its open operation.
#include "zip/ClsZip2.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "archive/ZipSystem.h"
#include "base/ContentCoding.h"
#include "base/DataBuffer.h"
#include "base/FileOpen.h"
#include "base/FilePaths.h"
#include "base/SystemCodePage.h"
#include "base/TarnelHandle.h"
#include "base/TickCount.h"
#include "base/XString.h"
#include "crypto/WholeDataCrypt.h"
#include "log/LogReject.h"
#include "zip/ClsZipEntry2.h"
#include "zip/MemoryArchives.h"
#include "zip/ZipWalk.h"

namespace {

std::atomic<std::uint32_t> g_nextArchiveSerial{1};

}  // namespace

ClsZip2::ClsZip2(ZipSystem* system)
    : m_serial(g_nextArchiveSerial.fetch_add(1, std::memory_order_relaxed)),
      m_oemCodePage(SystemCodePage::oem()),
      m_fileName("unnamed.zip"),
      m_tempDir(""),
      m_system(system) {}

ClsZip2::~ClsZip2() {
    ClearZipState();
    m_system = nullptr;
}

void ClsZip2::beginOperation(const char* name) {
    m_log.clearLog();
    m_log.enterContext(name);
    m_lastOperation.setString(name);
}

ClsZipEntry2* ClsZip2::entryAt(int i) const { return static_cast<ClsZipEntry2*>(m_entries.get(i)); }

bool ClsZip2::OpenZip(XString& path) {
    beginOperation("OpenZip");
    m_log.logData("zipFilename", path.getUtf8());
    m_log.logDataLong("OemCodePage", m_oemCodePage);
    const std::uint32_t startTick = tickCountMs();
    ClearZipState();
    m_comment.clear();
    m_encryption = 0;
    m_keyLength = 128;
    m_passwordProtected = false;
    m_fileName.setString(path.getUtf8());
    const bool ok = fileOpensForReading(path) ? readAndSummarise(startTick)
                                              : rejectWith(m_log, "Failed to open Zip file.");
    if (ok) m_log.logInfo("Success.");
    else m_log.logError("Failed.");
    m_log.leaveContext();
    return ok;
}

// The handle closes again at once: the walk opens the file on its own.
bool ClsZip2::fileOpensForReading(XString& path) {
    const std::uint8_t* block = nullptr;
    std::uint32_t length = 0;
    if (MemoryArchives::find(path.getUtf8(), block, length)) return true;
    TarnelHandle handle;
    int reasonCode = 0;
    return openForRead(path, handle, reasonCode, &m_log);
}

// Steps of an open after the file proved readable.
bool ClsZip2::readAndSummarise(std::uint32_t startTick) {
    const bool ok = ReadZipStructure();
    m_log.logElapsedMs("timeToOpenMillisec", startTick);
    if (m_encryption != 0) {
        m_log.logDataLong("encryption", m_encryption);
        m_log.logDataLong("passwordProtected", m_passwordProtected ? 1 : 0);
        m_log.logDataLong("keyLength", m_keyLength);
    }
    return ok;
}

void ClsZip2::ClearZipState() {
    m_sizeMismatch = false;
    m_structureDamage.clear();
    m_entries.clear();
    m_endRecord = EndOfCentralDir();
    m_fullPath.clear();
    if (m_system != nullptr) m_system->clearEntries();
}

bool ClsZip2::ReadZipStructure() {
    ClearZipState();
    ExtPtrArray records;
    ZipWalk walk;
    bool ok = walk.walkFile(m_fileName.text(), m_log, records, m_comment, m_endRecord, m_oemCodePage, m_sizeMismatch,
                            m_verboseLogging);
    // A damaged directory names too few entries: local headers it does not name are kept.
    if (ok && walk.damage().empty()) dropLocalOnlyRecords(records);
    if (ok) ok = LoadWalkResults(records);
    if (!ok) {
        discardRecords(records);
        ClearZipState();
        return false;
    }
    m_structureDamage = walk.damage();
    XString name;
    name.setUtf8(m_fileName.text());
    XString full;
    const std::uint8_t* block = nullptr;
    std::uint32_t length = 0;
    if (MemoryArchives::find(m_fileName.text(), block, length)) full.setUtf8(m_fileName.text());
    else getFullPath(name, full);
    m_fullPath.setString(full.getUtf8());
    return true;
}

// Records not yet handed to an entry are still owned by the array.
void ClsZip2::discardRecords(ExtPtrArray& records) { records.deleteAll(); }

// When the archive has a central directory, it alone says what the archive holds: a local header
// that no central record names is data of some other kind (or planted to be extracted unseen),
// and no lister shows it. Without central records every local header stays an entry.
void ClsZip2::dropLocalOnlyRecords(ExtPtrArray& records) {
    ExtPtrArray kept;
    int dropped = 0;
    for (int i = 0; i < records.count(); ++i) {
        auto* record = static_cast<ZipWalkEntry*>(records.get(i));
        if (record->centralRecordAddress != 0) kept.add(record);
    }
    if (kept.count() == 0) return;
    for (int i = 0; i < records.count(); ++i) {
        auto* record = static_cast<ZipWalkEntry*>(records.get(i));
        if (record->centralRecordAddress == 0) delete record, ++dropped;
    }
    records.clear();
    for (int i = 0; i < kept.count(); ++i) records.add(kept.get(i));
    kept.clear();
    if (dropped != 0) m_log.logDataLong("LocalHeadersWithoutCentralRecord", dropped);
}

bool ClsZip2::LoadWalkResults(ExtPtrArray& records) {
    m_log.logDataLong("NumEntries", records.count());
    m_summaryRecord = chooseSummaryRecord(records);
    if (m_summaryRecord != nullptr) {
        m_encryption = static_cast<std::int32_t>(m_summaryRecord->encryptionKind);
        m_keyLength = static_cast<std::int32_t>(m_summaryRecord->keyLength);
        if (m_summaryRecord->isTraditionallyEncrypted()) {
            m_log.logInfo("This zip is password protected..");
            m_passwordProtected = true;
        }
    }
    const bool commentOk = CheckEncryptedComment();
    m_summaryRecord = nullptr;
    if (!commentOk) return ClearZipState(), false;
    if (m_system == nullptr) return rejectWith(m_log, "Internal error: Zip not contained.");
    CreateEntries(records);
    return true;
}

// The first encrypted record speaks for the archive; without one, the first record.
const ZipWalkEntry* ClsZip2::chooseSummaryRecord(ExtPtrArray& records) const {
    for (int i = 0; i < records.count(); ++i) {
        const auto* record = static_cast<const ZipWalkEntry*>(records.get(i));
        if (record->encryptionKind != 0) return record;
    }
    return static_cast<const ZipWalkEntry*>(records.get(0));
}

// The library's whole-archive encryption announces itself at the start of the comment.
bool ClsZip2::commentHasMarker() const {
    return m_comment.beginsWith(WholeDataCrypt::kMarkerSentence) || m_comment.beginsWith(WholeDataCrypt::kShortMarker);
}

bool ClsZip2::CheckEncryptedComment() {
    if (!commentHasMarker()) return true;
    const char* open = std::strchr(m_comment.text(), '[');
    if (open == nullptr) return true;
    StringBuffer encoded;
    const char* close = std::strchr(open + 1, ']');
    if (close != nullptr) encoded.appendBytes(open + 1, static_cast<int>(close - open - 1));
    std::uint32_t length = 0;
    std::uint8_t* decoded = ContentCoding().decodeBase64(encoded.text(), length);
    if (decoded == nullptr || length == 0) {
        std::free(decoded);
        return rejectWith(m_log, "Invalid Zip file comment.");
    }
    DataBuffer encrypted;
    encrypted.adopt(decoded, length);
    const bool matched = passwordMatchesComment(encrypted);
    m_log.logInfo("This zip is encrypted.");
    if (!matched) return rejectWith(m_log, "Invalid password (6)");
    if (m_summaryRecord != nullptr) {
        m_log.logInfo("Password is correct.");
        m_encryption = static_cast<std::int32_t>(m_summaryRecord->encryptionKind);
        m_keyLength = static_cast<std::int32_t>(m_summaryRecord->keyLength);
        m_log.logDataLong("Encryption", m_encryption);
        m_log.logDataLong("KeyLength", m_keyLength);
    }
    return true;
}

// Key lengths in the order the writer's settings make most likely; every one is tried, so the
// order never changes the answer.
bool ClsZip2::passwordMatchesComment(const DataBuffer& encrypted) {
    for (int bits : {128, 256, 192, static_cast<int>(m_keyLength)})
        if (WholeDataCrypt::checkTextMatches(m_password.text(), encrypted.data(), encrypted.size(), bits)) return true;
    return false;
}

void ClsZip2::CreateEntries(ExtPtrArray& records) {
    for (int i = 0; i < records.count(); ++i) {
        auto* record = static_cast<ZipWalkEntry*>(records.get(i));
        ClsZipEntry2* entry = ClsZipEntry2::createMapped(this, record);
        m_entries.add(entry);
        m_system->registerEntry(entry);
    }
    records.clear();
}
