// The structure walk: signature-driven, strictly sequential reads through a MemoryData window.
#include "zip/ZipWalk.h"

#include <string>

#include "base/ExtPtrArray.h"
#include "base/StringBuffer.h"
#include "base/FilePaths.h"
#include "log/LogBase.h"
#include "base/LittleEndian.h"
#include "log/LogReject.h"
#include "zip/MemoryData.h"

namespace {

bool isRecordSignature(std::uint32_t sig) {
    return sig == ZipSig::kLocalHeader || sig == ZipSig::kCentralHeader || sig == ZipSig::kEndOfCentralDir;
}

}  // namespace

bool ZipWalk::walkFile(const char* utf8Path, LogBase& log, ExtPtrArray& entries, StringBuffer& comment,
                       EndOfCentralDir& endRecord, int codePage, bool& sizeMismatch, bool verbose) {
    sizeMismatch = false;
    MemoryData data;
    if (!data.openFile(utf8Path, log)) return false;
    m_data = &data;
    m_log = &log;
    m_codePage = codePage;
    m_verbose = verbose;
    m_sizeMismatch = &sizeMismatch;
    m_scanCount = 0;
    m_damage.clear();
    m_central = std::make_unique<ZipCentralIndex>();
    m_central->load(data);
    std::uint64_t addr = 0;
    const bool ok = walkStructure(addr, entries, comment, endRecord);
    // A walk that failed over a directory known to be missing says why it is missing.
    if (!ok && m_central->faultText() != nullptr) judgeDirectory(0, endRecord);
    m_central.reset();
    m_data = nullptr;
    return ok;
}

bool ZipWalk::walkStructure(std::uint64_t& addr, ExtPtrArray& entries, StringBuffer& comment,
                            EndOfCentralDir& endRecord) {
    std::uint32_t firstSig = 0;
    if (m_central->found() ? !startAtFirstLocalHeader(addr, firstSig) : !findFirstSignature(addr, firstSig))
        return false;
    LogContext structure(*m_log, "ZipStructure");
    m_log->logDataHex("FirstSignature", firstSig);
    m_log->logDataInt64("FirstSigAddr", static_cast<std::int64_t>(addr));
    if (!walkLocalHeaders(addr, entries)) return false;
    std::uint32_t centralRecords = 0;
    if (!walkCentralDirectory(addr, entries, centralRecords)) return false;
    std::uint32_t zip64Records = 0;
    std::uint32_t zip64OnDisk = 0;
    if (!walkZip64Records(addr, zip64Records, zip64OnDisk)) return false;
    if (!readEndRecord(addr, endRecord, comment, zip64Records, zip64OnDisk)) return false;
    judgeDirectory(centralRecords, endRecord);
    return true;
}

// The archive the end record describes begins at the lowest local header its directory names
// (moved by the length of whatever precedes it): ZIP bytes inside a stub, or another archive
// in front, are not part of it.
// Bytes inserted into the archive after it was written move the directory but not the first
// header: the recorded offset is tried next, and failing both the first signature from the front.
bool ZipWalk::startAtFirstLocalHeader(std::uint64_t& addr, std::uint32_t& sig) {
    const std::uint64_t directory = m_central->directoryStart();
    for (std::uint64_t at : {m_central->firstLocalHeader(), m_central->firstLocalHeaderAsRecorded()}) {
        addr = at;
        const bool empty = at == directory && m_central->records() == 0;
        if (peekSignature(addr, sig) && (sig == ZipSig::kLocalHeader || (empty && isRecordSignature(sig)))) return true;
    }
    return findFirstSignature(addr, sig);
}

// A directory with fewer records than the end record promises is damage even when every record
// read was fine: entries are missing. A split archive is refused whatever was read. A directory
// the end record could not lead to but that the walk read whole from the front is no damage.
void ZipWalk::judgeDirectory(std::uint32_t centralRecords, const EndOfCentralDir& endRecord) {
    using Fault = ZipCentralIndex::Fault;
    std::uint64_t promised = m_central->promisedRecords();
    if (promised == 0 && endRecord.signature == ZipSig::kEndOfCentralDir) promised = endRecord.totalRecords;
    const char* cause = m_central->faultText();
    if (m_central->fault() != Fault::kSplit && centralRecords >= promised) return;
    if (cause == nullptr) cause = "truncated central directory";
    m_damage = std::string(cause) + ": the end record promises " + std::to_string(promised) +
               (promised == 1 ? " entry" : " entries");
    rejectWith(m_log, m_damage.c_str());
}

// Up to 12 bytes of anything may precede the first record; beyond that only a local header
// found by searching (a self-extractor stub in front) is accepted.
bool ZipWalk::findFirstSignature(std::uint64_t& addr, std::uint32_t& sig) {
    addr = 0;
    const std::uint8_t* head = m_data->getData(0, 16, *m_log);
    if (head == nullptr) return rejectWith(m_log, "Failed to read Zip (11)");
    for (std::uint32_t off = 0; off <= 12; off += 4) {
        sig = loadLe32(head + off);
        if (isRecordSignature(sig)) return addr = off, true;
    }
    ++m_scanCount;
    addr = 12;
    sig = ZipSig::kLocalHeader;
    if (m_data->findSignature(addr, sig) != nullptr) return true;
    m_log->logError("Zip file is corrupt (1)");
    m_data->reset();
    return false;
}

bool ZipWalk::walkLocalHeaders(std::uint64_t& addr, ExtPtrArray& entries) {
    LogContext context(*m_log, "LocalFileHeaders", m_verbose);
    std::int32_t count = 0;
    for (;;) {
        std::uint32_t sig = 0;
        if (!peekSignature(addr, sig) || !isRecordSignature(sig)) {
            ++m_scanCount;
            if (m_data->findEitherSignature(addr, ZipSig::kLocalHeader, ZipSig::kCentralHeader) == nullptr)
                return rejectWith(m_log, "Zip file is corrupt (2)");
            peekSignature(addr, sig);
        }
        if (sig != ZipSig::kLocalHeader) break;
        ZipWalkEntry* entry = new ZipWalkEntry;
        if (!readLocalHeader(addr, *entry) || !entries.add(entry)) {
            delete entry;
            return rejectWith(m_log, "Failed to read Zip (9)");
        }
        // Names are read into roomy buffers; a million entries must not keep that room.
        entry->rawName.shrinkToFit();
        entry->decodedName.shrinkToFit();
        ++count;
        if (m_data->getData(addr, 4, *m_log) == nullptr) {
            m_log->logDataInt64("curAddr64", static_cast<std::int64_t>(addr));
            return rejectWith(m_log, "Failed to read Zip (10)");
        }
    }
    context.close();
    // The directory found from the end is the archive's, wherever the local headers stop.
    if (m_central->found()) addr = m_central->directoryStart();
    m_log->logDataLong("NumFileHeaders", count);
    m_log->logDataInt64("CentralDirAddr", static_cast<std::int64_t>(addr));
    return true;
}

bool ZipWalk::walkCentralDirectory(std::uint64_t& addr, ExtPtrArray& entries, std::uint32_t& count) {
    const std::uint64_t start = addr;
    std::uint32_t sig = 0;
    if (!peekSignature(addr, sig)) return rejectWith(m_log, "Failed to read Zip (12)");
    LogContext context(*m_log, "CentralDirectory", m_verbose);
    std::uint32_t hint = 0;
    count = 0;
    indexLocalNames(entries);
    while (sig == ZipSig::kCentralHeader) {
        if (!readCentralRecord(addr, entries, hint)) return false;
        ++count;
        if (!peekSignature(addr, sig)) return rejectWith(m_log, "Failed to read Zip (13)");
        ++hint;
    }
    m_localsByName.clear();
    m_localsByAddress.clear();
    context.close();
    m_log->logDataLong("NumCentralDirRecords", static_cast<std::int32_t>(count));
    m_log->logDataInt64("CentralDirSize", static_cast<std::int64_t>(addr - start));
    return true;
}

bool ZipWalk::walkZip64Records(std::uint64_t& addr, std::uint32_t& zip64Records, std::uint32_t& zip64OnDisk) {
    std::uint32_t sig = 0;
    peekSignature(addr, sig);  // readable: the central directory walk just read it
    m_log->logDataHex("PeekSig1", sig);
    if (sig == ZipSig::kZip64EndOfCentralDir) {
        m_log->logInfo("Processing Zip64 End-of-Central-Dir Record");
        if (!readZip64EndOfCentralDir(addr, zip64Records, zip64OnDisk)) return false;
        if (!peekSignature(addr, sig))
            return rejectWith(m_log, "Zip64 end-of-central-directory record is not followed by a record");
        m_log->logDataHex("PeekSig2", sig);
    }
    if (sig == ZipSig::kZip64Locator) {
        m_log->logInfo("Processing Zip64 End-of-Central-Dir Locator");
        if (!readZip64Locator(addr)) return false;
    }
    return true;
}

bool ZipWalk::readEndRecord(std::uint64_t& addr, EndOfCentralDir& endRecord, StringBuffer& comment,
                            std::uint32_t zip64Records, std::uint32_t zip64OnDisk) {
    if (m_verbose) m_log->logDataInt64("EndOfDirAddr", static_cast<std::int64_t>(addr));
    const std::uint8_t* p = m_data->getData(addr, EndOfCentralDir::kSize, *m_log);
    if (p == nullptr) return rejectWith(m_log, "Failed to get end-of-directory record.");
    addr = ZipWalk::advance(addr, EndOfCentralDir::kSize);
    endRecord.decode(p);
    if (zip64Records != 0) endRecord.totalRecords = zip64Records;
    if (zip64OnDisk != 0) endRecord.recordsOnDisk = zip64OnDisk;
    if (endRecord.signature != ZipSig::kEndOfCentralDir) {
        m_log->logInfo("End of Dir signature is unexpected.");
        m_log->logDataHex("signature", endRecord.signature);
        return true;
    }
    if (m_verbose) {
        LogContext context(*m_log, "EndOfDir");
        m_log->logDataHex("signature", endRecord.signature);
        m_log->logDataHex("diskNum", endRecord.diskNumber);
        m_log->logDataHex("dirDiskNum", endRecord.centralDirDisk);
        m_log->logDataHex("numDirEntriesOnDisk", endRecord.recordsOnDisk);
        m_log->logDataHex("numDirEntries", endRecord.totalRecords);
        m_log->logDataHex("dirSize", endRecord.centralDirSize);
        m_log->logDataHex("dirOffset", endRecord.rawCentralDirOffset);
        m_log->logDataHex("commentLen", endRecord.commentLength);
    }
    if (endRecord.commentLength != 0) readArchiveComment(addr, endRecord, comment);
    m_log->logDataLong("scanCount", m_scanCount);
    return true;
}

// A comment that cannot be read is skipped. Code page 437 converts every byte, so it is the
// fallback when the chosen page yields nothing.
void ZipWalk::readArchiveComment(std::uint64_t addr, const EndOfCentralDir& endRecord, StringBuffer& comment) {
    const std::uint8_t* p = m_data->getData(addr, endRecord.commentLength, *m_log);
    if (p == nullptr) return;
    StringBuffer raw;
    raw.appendBytes(p, endRecord.commentLength);
    comment.setFrom(raw);
    logArchiveText("zipFileComment", raw);
    const int codePage = m_codePage == 437 ? 1252 : m_codePage;
    m_log->logDataLong("commentCodePage", codePage);
    comment.convertCodePage(codePage, 65001);
    if (comment.length() != 0) return;
    comment.setFrom(raw);
    comment.convertCodePage(437, 65001);
}

bool ZipWalk::peekSignature(std::uint64_t addr, std::uint32_t& sig) {
    const std::uint8_t* p = m_data->getData(addr, 4, *m_log);
    if (p == nullptr) return false;
    sig = loadLe32(p);
    return true;
}

const std::uint8_t* ZipWalk::readRecordPart(std::uint64_t addr, std::uint32_t n, const char* failure,
                                            std::uint64_t position) {
    const std::uint8_t* p = m_data->getData(addr, n, *m_log);
    if (p != nullptr) return p;
    m_log->logError(failure);
    m_log->logDataInt64("filePosition", static_cast<std::int64_t>(position));
    return nullptr;
}

void ZipWalk::logBlockHeader(std::uint16_t id, std::uint16_t length) {
    if (!m_verbose) return;
    m_log->logDataHex("ExtraHeaderId", id);
    m_log->logDataLong("ExtraHeaderLen", length);
}

void ZipWalk::logArchiveText(const char* key, const StringBuffer& text) {
    const std::string raw(text.text(), std::size_t(text.length()));
    m_log->logDataQP(key, escapeControlChars(raw).c_str());
}

bool ZipWalk::unicodeFieldFits(const std::uint8_t* data, std::uint16_t length, std::uint32_t nameCrc) {
    if (length < 5) return false;
    if (data[0] == 1 && loadLe32(data + 1) == nameCrc) return true;
    if (m_verbose) m_log->logInfo("Unicode path field ignored: it does not belong to the stored name");
    return false;
}
