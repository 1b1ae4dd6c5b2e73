// One entry to one file or directory: path, directories, source, decode, CRC, time, attributes.
#include "extract/EntryExtractor.h"

#include <vector>

#include "archive/ProgressMonitor.h"
#include "base/DataBuffer.h"
#include "base/DateTime.h"
#include "base/FileAttributes.h"
#include "base/FileDirectories.h"
#include "base/FileOpen.h"
#include "base/FilePaths.h"
#include "base/LogReject.h"
#include "base/FileSystem.h"
#include "base/TempFileName.h"
#include "base/XString.h"
#include "codecs/Implode.h"
#include "codecs/Unshrink.h"
#include "codecs/ZipMethod.h"
#include "crypto/PwdProtect.h"
#include "crypto/WinZipAes.h"
#include "extract/ZipPipeline.h"
#include "log/LogBase.h"
#include "pipeline/Output.h"
#include "zip/MemDataObjSource.h"
#include "pipeline/OutputFile.h"
#include "zip/ClsZip2.h"
#include "zip/ClsZipEntry2.h"
#include "zip/MemoryData.h"
#include "zip/MemoryDataPool.h"
#include "zip/ZipWalkEntry.h"

namespace {
constexpr std::uint64_t kStreamAbove = 4000000;  // larger stored/deflated entries are windowed
constexpr int kMethodStored = 0;
constexpr int kMethodShrunk = 1;
constexpr int kMethodImploded = 6;
constexpr int kMethodAes = 99;
constexpr std::uint32_t kEncryptionAes = 4;
constexpr std::uint64_t kAesInMemoryUpTo = 8000000;  // larger AES entries decrypt into "wz.dat"

// Drops "." and ".." components; empty ones stay (they carry UNC roots for stripPathRoot).
std::string dropDotComponents(const std::string& path) {
    std::string out;
    std::size_t start = 0;
    bool first = true;
    while (start <= path.size()) {
        std::size_t end = path.find('\\', start);
        if (end == std::string::npos) end = path.size();
        std::string part = path.substr(start, end - start);
        bool last = end == path.size();
        if (part != "." && part != "..") {
            if (!first) out += '\\';
            out += part;
            first = false;
        } else if (last && !out.empty()) {
            out += '\\';  // "a\.." keeps naming a directory
        }
        start = end + 1;
    }
    return out;
}

std::string withoutTrailingSeparator(std::string path) {
    if (!path.empty() && (path.back() == '\\' || path.back() == '/')) path.pop_back();
    return path;
}

std::string parentOf(const std::string& path) {
    std::size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? std::string() : path.substr(0, cut);
}
}  // namespace

struct EntryExtractor::Job {
    ClsZipEntry2& entry;
    const ZipWalkEntry& record;
    ClsZip2& zip;
    MemoryData* data = nullptr;
    std::string outPath;  // '\' form below the base folder
    int method = 0;       // 99 resolved to the AES field's actual method
    bool verbose = false;
    // WinZip AES entries are decrypted before anything else: small ones into aesPlain, large
    // ones into the temporary file aesTempFile, deleted when the entry is done.
    bool aes = false;
    bool aesLarge = false;
    DataBuffer aesPlain;
    std::string aesTempFile;
};

EntryExtractor::EntryExtractor(const char* baseFolder, bool ignoreDirectories, LogBase& log,
                               ProgressMonitor* monitor, const char* tempDir,
                               MemoryDataPool& pool)
    : m_base(baseFolder ? baseFolder : "."),
      m_ignoreDirectories(ignoreDirectories),
      m_log(log),
      m_monitor(monitor),
      m_pool(pool) {
    if (tempDir) m_tempDir.setString(tempDir);
}

std::string EntryExtractor::safeRelativeName(const char* name) {
    std::string path = stripPathRoot(std::string(name ? name : ""));
    // Removing components can expose a new root ("C:..\x" becomes "..\x", then "x"): repeat.
    for (int round = 0; round < 8; ++round) {
        std::string cleaned = stripPathRoot(dropDotComponents(path));
        if (cleaned == path) break;
        path = cleaned;
    }
    return path;
}

bool EntryExtractor::UnzipEntry(ClsZipEntry2& entry) {
    if (!entry.isValid()) return rejectWith(&m_log, "Zip entry not constructed for inflation.");
    if (entry.kind() != ClsZipEntry2::kMapped) return false;
    ClsZip2* zip = entry.owner();
    bool verbose = zip && zip->verboseLogging();
    if (verbose) m_log.enterContext("InflateFromMapped");
    bool ok = InflateFromMapped(entry);
    if (verbose) m_log.leaveContext();
    return ok;
}

bool EntryExtractor::InflateFromMapped(ClsZipEntry2& entry) {
    const ZipWalkEntry* record = entry.walkEntry();
    ClsZip2* zip = entry.owner();
    if (entry.kind() != ClsZipEntry2::kMapped || !record || !zip)
        return rejectWith(&m_log, "Not a mapped Zip entry!");
    Job job{entry, *record, *zip, nullptr, std::string(), 0, false,
            false, false, {}, std::string()};
    job.verbose = zip->verboseLogging();
    job.data = m_pool.getOrOpen(zip->fullPath().text(), m_log);
    if (!job.data) return rejectWith(&m_log, "Failed to access Zip contents for inflate");

    StringBuffer name;
    entry.GetFileName(name);
    name.removeWildcardChars();
    if (m_ignoreDirectories) name.keepFileName();
    entry.setDirectory((record->centralRecord.externalAttributes & kAttrDirectory) != 0);

    StringBuffer wzName;
    if (!makeTempFileName("wz.dat", zip->tempDir().text(), wzName))
        return rejectWith(&m_log, "Failed to get temp filename for inflating from zip entry");
    if (record->encryptionKind == kEncryptionAes && !decryptAes(job, wzName)) {
        const auto size = static_cast<std::int64_t>(record->uncompressedSize64());
        if (m_monitor) m_monitor->addProgress(size, nullptr);
        return false;
    }
    job.method = record->localHeader.method == kMethodAes ? record->aesActualMethod
                                                         : record->localHeader.method;
    job.outPath = joinPath(m_base, safeRelativeName(name.text()));
    const bool ok = entry.IsDir() ? extractDirectory(job) : extractFile(job);
    if (job.aesLarge) deleteFile(job.aesTempFile.c_str(), nullptr);
    return ok;
}

// The verifier and the authentication code are checked here; WinZipAes logs what failed.
bool EntryExtractor::decryptAes(Job& job, const StringBuffer& tempName) {
    const ZipWalkEntry& r = job.record;
    const int strength = static_cast<int>(r.keyLength);
    bool wrongPassword = false, authFailed = false;
    job.aes = true;
    if (r.localHeader.compressedSize <= kAesInMemoryUpTo) {
        const std::uint32_t size = r.compressedSize32();
        const std::uint8_t* stored = job.data->getData(r.dataOffset, size, m_log);
        if (!stored && size > 0) return rejectWith(&m_log, "Failed to read the entry's stored bytes");
        return WinZipAes::decryptInMemory(stored, size, job.zip.password(), strength, job.aesPlain,
                                          wrongPassword, authFailed, m_log);
    }
    job.aesLarge = true;
    job.aesTempFile = tempName.text();
    OutputFile temp;
    if (!temp.open(tempName.text(), &m_log)) return false;
    MemDataObjSource window;
    window.initRange(job.data, r.dataOffset, r.compressedSize64());
    const bool ok = WinZipAes::decryptFromSource(window, job.zip.password(), strength, temp,
                                                 wrongPassword, authFailed, m_log);
    temp.handle().close();
    if (!ok) deleteFile(job.aesTempFile.c_str(), nullptr);
    return ok;
}

bool EntryExtractor::extractDirectory(Job& job) {
    if (m_ignoreDirectories || m_testOnly) return true;
    bool ok = ensureDirectory(job.outPath.c_str(), &m_log);
    if (!ok) reportDirectory(withoutTrailingSeparator(job.outPath));
    OutputFile dir;
    int reason = 0;
    if (openForReadDir(job.outPath.c_str(), dir.handle(), reason, nullptr)) restoreTimes(job, dir);
    return ok;
}

bool EntryExtractor::extractFile(Job& job) {
    if (m_testOnly) return testFile(job);
    if (!m_ignoreDirectories && !ensureParentDirectory(job.outPath.c_str(), &m_log)) {
        reportDirectory(parentOf(job.outPath));
        return false;
    }
    OutputFile out;
    bool passedOver = false;
    if (!openOutput(job, out, passedOver)) return passedOver;
    // No stored bytes: the file stays empty, which must agree with the stored CRC as well.
    // A WinZip AES entry that decrypts to nothing skips the pipeline and is not counted.
    const bool emptyAes = job.aes && !job.aesLarge && job.aesPlain.size() == 0;
    bool ok = emptyAes || job.record.compressedSize64() == 0 ? checkCrc(job, 0)
                                                              : decodeInto(job, out);
    if (!ok) {
        out.handle().close();
        deleteFile(job.outPath.c_str(), nullptr);
        m_log.logError("Unzip failed");
        XString path;
        path.setUtf8(job.outPath.c_str());
        m_log.logDataQP("filename", path.getAnsi());
        return false;
    }
    if (!emptyAes) ++m_count;
    restoreTimes(job, out);
    return restoreAttributes(job);
}

// The content goes to a null Output; only the decode and the CRC count.
bool EntryExtractor::testFile(Job& job) {
    Output discard;
    const bool emptyAes = job.aes && !job.aesLarge && job.aesPlain.size() == 0;
    bool ok = emptyAes || job.record.compressedSize64() == 0 ? checkCrc(job, 0)
                                                              : decodeInto(job, discard);
    if (!ok) {
        m_log.logError("Test failed");
        m_log.logDataQP("filename", job.outPath.c_str());
        return false;
    }
    if (!emptyAes) ++m_count;
    return true;
}

// passedOver: the output could not be created but the entry counts as handled.
bool EntryExtractor::openOutput(Job& job, OutputFile& out, bool& passedOver) {
    std::uint8_t attributes = job.record.centralRecord.externalAttributes & 0xFF;
    int reason = 0;
    const char* path = job.outPath.c_str();
    if (attributes & kAttrHidden) openForWriteHidden(path, out.handle(), reason, &m_log);
    if (!out.handle().isOpen()) openForWrite(path, out.handle(), reason, &m_log);
    if (out.handle().isOpen()) return true;
    if (job.record.centralRecord.uncompressedSize == 0) {
        m_log.logInfo("Ignoring error because file size is zero.");
        passedOver = true;
    } else if (job.outPath.ends_with("Thumbs.db")) {
        passedOver = true;
    } else {
        logPath("UnzipFailedFilename", "UnzipFailedFilenameUtf8", job.outPath);
        countFailedEntry(job.record);
    }
    return false;
}

bool EntryExtractor::decodeInto(Job& job, Output& out) {
    ZipPipeline pipeline;
    pipeline.setProgressMonitor(m_monitor);
    if (m_tempDir.length() > 0) pipeline.setTempDir(m_tempDir.text());
    const StringBuffer& password = job.zip.password();
    std::uint32_t kind = job.record.encryptionKind;
    if (kind != 0 && kind != kEncryptionAes) {
        pipeline.setWholeDataEncrypted(true);
        pipeline.setWholeDataParams(static_cast<int>(kind), static_cast<int>(job.record.keyLength));
        pipeline.setPassword(password.text());
    }
    if (job.record.isTraditionallyEncrypted()) {
        pipeline.setPassword(password.text());
        pipeline.setTraditionalEncryption(true, job.record.localHeader.crc32,
                                          job.record.localHeader.dosTime,
                                          (job.record.localHeader.flags & 0x08) != 0);
    }
    pipeline.setOutput(&out);
    pipeline.setDestCompressed(false);
    MemDataObjSource window;
    if (!configureSource(job, pipeline, window)) return false;
    pipeline.expectedUncompressedSize = job.record.uncompressedSize64();
    std::uint32_t crc = 0;
    if (!pipeline.run(crc, m_log, job.verbose)) return false;
    return checkCrc(job, crc);
}

bool EntryExtractor::configureSource(Job& job, ZipPipeline& pipeline, MemDataObjSource& window) {
    int method = job.method;
    if (!ZipMethod::isSupported(method)) {
        m_log.logError("Unsupported compression method");
        m_log.logDataLong("compressionMethod", method);
        m_log.logData("methodName", ZipMethod::name(method));
        return false;
    }
    bool legacy = method == kMethodShrunk || method == kMethodImploded;
    pipeline.setSourceCompressed(method != kMethodStored && !legacy);
    pipeline.setSourceMethod(method, job.record.localHeader.flags);
    if (job.aes) return configureAesSource(job, pipeline, legacy);
    if (!legacy && job.record.compressedSize64() > kStreamAbove) {
        window.initRange(job.data, job.record.dataOffset, job.record.compressedSize64());
        pipeline.setSourceData(&window);
        return true;
    }
    std::uint32_t size = job.record.compressedSize32();
    const std::uint8_t* stored = job.data->getData(job.record.dataOffset, size, m_log);
    if (!stored && size > 0) return rejectWith(&m_log, "Failed to read the entry's stored bytes");
    if (legacy) return decodeLegacy(job, pipeline, stored, size);
    return pipeline.setSourceMemory(stored, size);
}

// Shrunk and imploded data is decoded here, in memory, and reaches the pipeline as plain bytes.
// Encrypted legacy data is decrypted first, since the codecs need the plain stream.
bool EntryExtractor::decodeLegacy(Job& job, ZipPipeline& pipeline, const std::uint8_t* stored,
                                  std::uint32_t size) {
    DataBuffer raw;
    if (!raw.append(stored, size)) return false;
    std::uint32_t skip = 0;
    if (job.record.isTraditionallyEncrypted()) {
        if (!decryptLegacy(job, raw)) return false;
        skip = 12;
        pipeline.setTraditionalEncryption(false, 0, 0, false);
    }
    DataBuffer plain;
    bool ok;
    if (job.method == kMethodShrunk) {
        ok = Unshrink::unshrink(raw.data() + skip, raw.size() - skip, plain);
    } else {
        Implode implode;
        implode.load(raw.data() + skip, raw.size() - skip);
        std::uint16_t flags = job.record.localHeader.flags;
        ok = implode.explode((flags & 0x02) != 0, (flags & 0x04) != 0, plain);
    }
    if (!ok) {
        m_log.logError(job.method == kMethodShrunk ? "Failed to unshrink data." : "Failed to explode data.");
        return false;
    }
    pipeline.setSourceCompressed(false);
    return pipeline.setSourceMemory(plain.data(), plain.size());
}

// The decrypted bytes of a WinZip AES entry: in memory, or the temporary file of a large one.
bool EntryExtractor::configureAesSource(Job& job, ZipPipeline& pipeline, bool legacy) {
    if (!job.aesLarge) {
        if (legacy) return decodeLegacy(job, pipeline, job.aesPlain.data(), job.aesPlain.size());
        return pipeline.setSourceMemory(job.aesPlain.data(), job.aesPlain.size());
    }
    if (job.method == kMethodImploded)
        return rejectWith(&m_log, "Cannot extract Imploded data. (6)");
    pipeline.setSourceFile(job.aesTempFile.c_str());
    pipeline.setSourceCompressed(job.method != kMethodStored);
    return true;
}

bool EntryExtractor::decryptLegacy(Job& job, DataBuffer& raw) {
    const LocalHeaderRecord& local = job.record.localHeader;
    PwdProtect decryptor;
    decryptor.setPassword(job.zip.password().text());
    decryptor.initKeys();
    if (raw.size() < 12 ||
        !decryptor.checkHeader(raw.data(), local.dosTime, local.crc32, (local.flags & 0x08) != 0, m_log))
        return rejectWith(&m_log, "Password incorrect for password-protected Zip");
    decryptor.decryptBytes(raw.data() + 12, raw.size() - 12);
    return true;
}

// Entries of the library's own whole-data scheme carry no usable CRC; 0 means "not stored"
// (a local header whose CRC lives in the data descriptor, or an AE-2 entry).
bool EntryExtractor::checkCrc(Job& job, std::uint32_t crc) {
    std::uint32_t kind = job.record.encryptionKind;
    if (kind != 0 && kind != kEncryptionAes) return true;
    std::uint32_t stored = job.record.hasDescriptor ? job.record.descriptorCrc : job.record.localHeader.crc32;
    if (stored == 0 || stored == crc) return true;
    m_log.logError("CRC mismatch - Zip file is corrupt.");
    m_log.logDataHex("calculatedCrc", crc);
    m_log.logDataHex("storedCrc", stored);
    return false;
}

void EntryExtractor::restoreTimes(Job& job, OutputFile& out) {
    FileTime local, utc;
    dosToFileTime(job.record.centralRecord.dosDate, job.record.centralRecord.dosTime, local);
    localToUtc(local, utc);
    out.handle().setFileTimes(utc);
    out.handle().close();
}

bool EntryExtractor::restoreAttributes(Job& job) {
    std::uint8_t attributes = job.record.centralRecord.externalAttributes & 0xFF;
    if (attributes == kAttrArchive) return true;
    if (setAttributes(job.outPath.c_str(), attributes, &m_log)) return true;
    m_log.logError("Failed to set file attributes");
    StringBuffer message("SetFileAttributes: ");
    message.appendLastError();
    m_log.logError(message.text());
    m_log.logDataQP("filename", job.outPath.c_str());
    return false;
}

// A directory is reported once per extraction.
void EntryExtractor::reportDirectory(const std::string& dir) {
    if (m_failedDirs.contains(dir.c_str())) return;
    m_failedDirs.putText(dir.c_str(), ".");
    logPath("UnzipFailedDir", "UnzipFailedDirUtf8", dir);
}

void EntryExtractor::logPath(const char* ansiKey, const char* utf8Key, const std::string& path) {
    XString text;
    text.setUtf8(path.c_str());
    if (text.isAnsiLossless()) m_log.logData(ansiKey, text.getAnsi());
    else m_log.logDataQP(utf8Key, path.c_str());
}

// An entry that fails before writing still moves the progress on by its size.
void EntryExtractor::countFailedEntry(const ZipWalkEntry& record) {
    if (!m_monitor) return;
    bool abort = false;
    m_monitor->addProgress(static_cast<std::int64_t>(record.uncompressedSize64()), &abort);
}
