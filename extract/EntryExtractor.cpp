// One entry to one file or directory: path, directories, source, decode, CRC, time, attributes.
#include "extract/EntryExtractor.h"

#include <vector>

#include "archive/ProgressMonitor.h"
#include "base/DataBuffer.h"
#include "base/FileAttributes.h"
#include "base/FilePaths.h"
#include "log/LogReject.h"
#include "base/FileSystem.h"
#include "base/PlatformFiles.h"
#include "base/TarnelDir.h"
#include "base/XString.h"
#include "codecs/ZipMethod.h"
#include "crypto/PwdProtect.h"
#include "crypto/WinZipAes.h"
#include "crypto/WinZipAesContext.h"
#include "extract/CheckedOutput.h"
#include "extract/EntryMetadata.h"
#include "extract/ZipPipeline.h"
#include "log/LogBase.h"
#include "pipeline/MethodDecoders.h"
#include "pipeline/Output.h"
#include "pipeline/OutputDataBuffer.h"
#include "zip/MemDataObjSource.h"
#include "pipeline/OutputFile.h"
#include "zip/ClsZip2.h"
#include "zip/ClsZipEntry2.h"
#include "zip/MemoryData.h"
#include "zip/MemoryDataPool.h"
#include "zip/ZipWalkEntry.h"

namespace {
constexpr std::uint64_t kStreamAbove = 4000000;      // larger stored/deflated entries are windowed
constexpr std::uint64_t kAesInMemoryUpTo = 8000000;  // larger AES entries decrypt as they stream
constexpr std::uint64_t kLinkTargetMax = 4096;       // the longest symbolic-link target accepted

constexpr const char* kThumbnailCache = "Thumbs.db";  // compared byte for byte at the path's end

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

// A link's target, read from the folder holding the link (parentDepth levels below the
// extraction folder), must stay inside: relative, ".." only in front and no more of them than
// there are levels above the link. Keeping ".." in front means that no component followed
// before it can be a link that moves the walk elsewhere.
bool linkStaysInside(const std::string& target, std::size_t parentDepth) {
    if (target.empty() || target[0] == '/' || target.find('\\') != std::string::npos) return false;
    std::size_t ups = 0, downs = 0;
    for (std::size_t start = 0; start <= target.size();) {
        std::size_t end = target.find('/', start);
        if (end == std::string::npos) end = target.size();
        const std::string part = target.substr(start, end - start);
        if (part == "..") {
            if (downs > 0 || ++ups > parentDepth) return false;
        } else if (!part.empty() && part != ".") {
            ++downs;
        }
        start = end + 1;
    }
    return true;
}
// A path below the folder as messages for the caller show it: the platform's separator.
std::string shownPath(std::string path) {
#ifndef _WIN32
    for (char& c : path)
        if (c == '\\') c = '/';
#endif
    return path;
}
}  // namespace

struct EntryExtractor::Job {
    ClsZipEntry2& entry;
    const ZipWalkEntry& record;
    ClsZip2& zip;
    MemoryData* data = nullptr;
    std::string outPath;                // '\' form below the base folder, for messages
    std::vector<std::string> parts;     // the components of the name below the base folder
    bool namesFolder = false;           // the name ends with a separator: no file can be made
    const TarnelDir* folder = nullptr;  // the folder holding the output, while it is written
    EntryMetadata meta;
    int method = 0;  // ZipMethod::kAes resolved to the AES field's actual method
    bool verbose = false;
    // Small WinZip AES entries are decrypted and authenticated into aesPlain before anything
    // else; large ones are decrypted by the pipeline as they stream to the output.
    bool aes = false;
    bool aesLarge = false;
    DataBuffer aesPlain;
    bool privateName = false;  // the output was created owner-only under a private name
};

EntryExtractor::EntryExtractor(const char* baseFolder, bool ignoreDirectories, LogBase& log, ProgressMonitor* monitor,
                               const char* tempDir, MemoryDataPool& pool)
    : m_base(baseFolder ? baseFolder : "."),
      m_ignoreDirectories(ignoreDirectories),
      m_log(log),
      m_monitor(monitor),
      m_pool(pool),
      m_target(m_base) {
    if (tempDir) m_tempDir.setString(tempDir);
}

void EntryExtractor::finish() { m_target.finish(); }

std::string EntryExtractor::safeRelativeName(const char* name) {
    std::string path = stripPathRoot(std::string(name ? name : ""));
    // Removing components can expose a new root ("C:..\x" becomes "..\x", then "x"; a chain
    // of "C:" prefixes exposes one per round): repeat until nothing changes. Every round that
    // changes the text shortens it, so this ends.
    for (;;) {
        std::string cleaned = stripPathRoot(dropDotComponents(path));
        if (cleaned == path) return path;
        path = std::move(cleaned);
    }
}

bool EntryExtractor::UnzipEntry(ClsZipEntry2& entry) {
    m_failure.clear();
    if (!entry.isValid()) {
        m_failure.set(TnZipResult::kDamaged, "the entry could not be read");
        return rejectWith(&m_log, "Zip entry not constructed for inflation.");
    }
    if (entry.kind() != ClsZipEntry2::kMapped)
        return m_failure.set(TnZipResult::kDamaged, "the entry could not be read");
    ClsZip2* zip = entry.owner();
    bool verbose = zip && zip->verboseLogging();
    LogContext context(m_log, "InflateFromMapped", verbose);
    const bool extracted = InflateFromMapped(entry);
    return consistent(entry) && extracted;
}

// An entry whose records disagree is written as its central record describes it, but reported
// whether or not that succeeded: other readers may see different contents.
bool EntryExtractor::consistent(ClsZipEntry2& entry) {
    const ZipWalkEntry* record = entry.walkEntry();
    if (record == nullptr || record->disagreement == 0) return true;
    StringBuffer name;
    entry.GetFileName(name);
    m_log.logError("Entry is inconsistent: its local and central records disagree");
    m_log.logDataQP("filename", escapeControlChars(name.text()).c_str());
    m_log.logData("fields", record->disagreementText().c_str());
    return false;
}

bool EntryExtractor::InflateFromMapped(ClsZipEntry2& entry) {
    const ZipWalkEntry* record = entry.walkEntry();
    ClsZip2* zip = entry.owner();
    if (entry.kind() != ClsZipEntry2::kMapped || !record || !zip) return rejectWith(&m_log, "Not a mapped Zip entry!");
    Job job{entry, *record, *zip,  nullptr, std::string(), {}, false, nullptr, EntryMetadata::of(*record), 0,
            false, false,   false, {},      false};
    job.verbose = zip->verboseLogging();
    job.data = m_pool.getOrOpen(zip->fullPath().text(), m_log);
    if (!job.data) {
        m_failure.set(TnZipResult::kCannotRead, "cannot read the archive", platformLastErrno());
        return rejectWith(&m_log, "Failed to access Zip contents for inflate");
    }

    StringBuffer name;
    entry.GetFileName(name);
    name.removeWildcardChars();
    name.removeControlChars();
    if (m_ignoreDirectories) name.keepFileName();
    entry.setDirectory(ClsZipEntry2::isDirectoryRecord(*record));

    const std::string relative = safeRelativeName(name.text());
    job.outPath = joinPath(m_base, relative);
    job.namesFolder = !relative.empty() && (relative.back() == '\\' || relative.back() == '/');
    if (record->isStrongEncrypted()) {
        m_log.logError("Unsupported encryption (PKWARE strong encryption)");
        m_failure.set(TnZipResult::kUnsupportedEncryption, "PKWARE strong encryption is not supported");
        return failEntry(job);
    }
    if (record->encryptionKind == ZipEncryption::kWinZipAes && !decryptAes(job)) {
        const auto size = static_cast<std::int64_t>(record->uncompressedSize64());
        if (m_monitor) m_monitor->addProgress(size, nullptr);
        return failEntry(job);
    }
    job.method = record->localHeader.method == ZipMethod::kAes ? record->aesActualMethod : record->localHeader.method;
    if (!ExtractTarget::splitName(relative, job.parts)) {
        m_failure.set(TnZipResult::kUnsafeEntry, "the name leaves the extraction folder");
        logPath("UnzipFailedFilename", "UnzipFailedFilenameUtf8", job.outPath);
        countFailedEntry(job.record);
        return false;
    }
    return entry.IsDir() ? extractDirectory(job) : extractFile(job);
}

// Small entries are decrypted and authenticated here, before an output exists; WinZipAes logs
// what failed. Large ones only have their password checked here (passwordFits). The size is the
// record's full 64-bit one, never the local header's alone: behind a data descriptor that says 0.
bool EntryExtractor::decryptAes(Job& job) {
    const ZipWalkEntry& r = job.record;
    job.aes = true;
    if (r.compressedSize64() > kAesInMemoryUpTo) return job.aesLarge = true, true;
    bool wrongPassword = false, authFailed = false;
    const std::uint32_t size = r.compressedSize32();
    const std::uint8_t* stored = job.data->getData(r.dataOffset, size, m_log);
    if (!stored && size > 0) return storedBytesMissing();
    if (WinZipAes::decryptInMemory(stored, size, job.zip.password(), static_cast<int>(r.keyLength), job.aesPlain,
                                   wrongPassword, authFailed, m_log))
        return true;
    if (wrongPassword) return passwordRefused(job);
    if (authFailed)
        return m_failure.set(TnZipResult::kCrcMismatch, "the WinZip AES authentication code does not match");
    return m_failure.set(TnZipResult::kDamaged, "the encrypted data is damaged");
}

// A wrong password is found before the output is created, so that an existing file of the same
// name is left as it is: the traditional header's check byte, or the WinZip AES verifier.
bool EntryExtractor::passwordFits(Job& job) {
    const ZipWalkEntry& r = job.record;
    if (job.aesLarge) {
        MemDataObjSource window;
        window.initRange(job.data, r.dataOffset, r.compressedSize64());
        bool wrongPassword = false;
        if (WinZipAes::startFromSource(window, job.zip.password(), static_cast<int>(r.keyLength), wrongPassword,
                                       m_log) != nullptr)
            return true;
        return wrongPassword ? passwordRefused(job)
                             : m_failure.set(TnZipResult::kDamaged, "the encrypted data is damaged");
    }
    if (!r.isTraditionallyEncrypted()) return true;
    const std::uint8_t* header = r.compressedSize64() >= ZipRecordSize::kTraditionalHeader
                                     ? job.data->getData(r.dataOffset, ZipRecordSize::kTraditionalHeader, m_log)
                                     : nullptr;
    PwdProtect check;
    check.setPassword(job.zip.password().text());
    check.initKeys();
    const LocalHeaderRecord& local = r.localHeader;
    const bool deferred = (local.flags & ZipFlag::kDataDescriptor) != 0;
    if (header && check.checkHeader(header, local.dosTime, local.crc32, deferred, m_log)) return true;
    m_log.logError("Password incorrect for password-protected Zip");
    if (!header) m_failure.set(TnZipResult::kDamaged, "the encryption header is missing");
    passwordRefused(job);
    return rejectWith(&m_log, "Password decode failed (Zip 2.0 legacy encryption).");
}

bool EntryExtractor::passwordRefused(Job& job) {
    if (job.zip.password().length() == 0) return m_failure.set(TnZipResult::kPasswordNeeded, "a password is needed");
    return m_failure.set(TnZipResult::kWrongPassword, "the password is wrong");
}

bool EntryExtractor::storedBytesMissing() {
    m_failure.set(TnZipResult::kDamaged, "the entry's data lies beyond the end of the archive");
    return rejectWith(&m_log, "Failed to read the entry's stored bytes");
}

// Its time and permissions are set when the extraction ends, after its content.
bool EntryExtractor::extractDirectory(Job& job) {
    if (m_ignoreDirectories || m_testOnly) return true;
    if (!openFolder(job, job.parts.size())) return false;
    if (!job.parts.empty())
        m_target.deferDirectory(job.parts, job.meta.modified, job.meta.hasUnixMode(), job.meta.permissions());
    return true;
}

// The folder of the first depth components, created where missing; a failure is reported.
bool EntryExtractor::openFolder(Job& job, std::size_t depth) {
    std::string failed;
    bool link = false;
    job.folder = m_target.openFolder(job.parts, depth, true, failed, link);
    if (job.folder) return true;
    const int error = platformLastErrno();
    if (link) m_failure.set(TnZipResult::kUnsafeEntry, "a symbolic link stands where a folder is needed");
    else m_failure.setSystem(("cannot create the folder " + shownPath(failed)).c_str(), error);
    if (link && m_failedDirs.count(failed) == 0) m_log.logError("A symbolic link stands where a folder is needed");
    reportDirectory(failed);
    return false;
}

bool EntryExtractor::extractFile(Job& job) {
    if (m_testOnly) return testFile(job);
    // A name ending in a separator still gets its folders, the last one included.
    const bool hasLeaf = !job.parts.empty() && !job.namesFolder;
    if (!job.parts.empty() && !openFolder(job, job.parts.size() - (hasLeaf ? 1 : 0))) return false;
    if (!passwordFits(job)) {
        countFailedEntry(job.record);
        return failEntry(job);
    }
    // A name already taken is passed over without decoding; publishing decides in the end.
    if (hasLeaf && m_neverOverwrite) {
        const TarnelDir::Kind there = job.folder->kindOf(job.parts.back().c_str());
        if (there != TarnelDir::Kind::Missing && there != TarnelDir::Kind::Unknown) {
            countFailedEntry(job.record);
            return true;
        }
    }
    if (hasLeaf && job.meta.isSymlink()) return extractLink(job);
    // The content is written to a file without a name, which takes the entry's name only once
    // it is complete: a failed entry leaves an existing file as it was and nothing partial.
    OutputFile out;
    std::string pending;
    if (!hasLeaf) {
        m_failure.set(TnZipResult::kCannotCreate, "the name ends in a separator but the entry is a file");
        return notCreated(job, true);
    }
    if (!job.folder->createUnnamedFile(out.handle(), pending)) {
        m_failure.setSystem("cannot create the file", platformLastErrno());
        return notCreated(job, true);
    }
    job.privateName = !pending.empty();
    // No stored bytes: the file stays empty, which must agree with the stored CRC as well.
    // A WinZip AES entry that decrypts to nothing skips the pipeline and is not counted.
    const bool emptyAes = job.aes && !job.aesLarge && job.aesPlain.size() == 0;
    bool ok = emptyAes || job.record.compressedSize64() == 0 ? checkCrc(job, 0) : decodeInto(job, out);
    if (!ok) {
        job.folder->discardFile(out.handle(), pending);
        return failEntry(job);
    }
    out.handle().setFileTimes(job.meta.modified);
    const bool attributesSet = restoreAttributes(job, out);
    if (!job.folder->publishFile(out.handle(), pending, job.parts.back().c_str(), !m_neverOverwrite)) {
        const bool taken = m_neverOverwrite && TarnelDir::isNameTaken(platformLastErrno());
        if (!taken) m_failure.setSystem("cannot give the file its name", platformLastErrno());
        job.folder->discardFile(out.handle(), pending);
        return taken || notCreated(job, false);
    }
    out.handle().close();
    if (!emptyAes) ++m_count;
    return attributesSet;
}

// The content goes to the destination, or to a null Output; the decode and the CRC decide.
bool EntryExtractor::testFile(Job& job) {
    Output discard;
    Output& out = m_destination ? *m_destination : discard;
    const bool emptyAes = job.aes && !job.aesLarge && job.aesPlain.size() == 0;
    bool ok = passwordFits(job) &&
              (emptyAes || job.record.compressedSize64() == 0 ? checkCrc(job, 0) : decodeInto(job, out));
    if (!ok) {
        m_log.logError("Test failed");
        m_log.logDataQP("filename", escapeControlChars(job.outPath).c_str());
        return false;
    }
    if (!emptyAes) ++m_count;
    return true;
}

bool EntryExtractor::failEntry(Job& job) {
    m_log.logError("Unzip failed");
    XString path;
    path.setUtf8(escapeControlChars(job.outPath).c_str());
    m_log.logDataQP("filename", path.getAnsi());
    return false;
}

// A symbolic link is made only when its target stays inside the extraction folder; its
// content (the target) is decoded in memory.
bool EntryExtractor::extractLink(Job& job) {
    if (job.record.uncompressedSize64() > kLinkTargetMax || job.record.compressedSize64() > 2 * kLinkTargetMax) {
        m_log.logError("Symbolic link target is too long");
        m_failure.set(TnZipResult::kUnsafeEntry, "the symbolic link's target is too long");
        return failEntry(job);
    }
    DataBuffer target;
    OutputDataBuffer out(&target);
    const bool emptyAes = job.aes && !job.aesLarge && job.aesPlain.size() == 0;
    if (emptyAes || job.record.compressedSize64() == 0 || !decodeInto(job, out)) return failEntry(job);
    const std::string text(reinterpret_cast<const char*>(target.data()), target.size());
    if (text.size() > kLinkTargetMax || text.find('\0') != std::string::npos ||
        !linkStaysInside(text, job.parts.size() - 1)) {
        m_log.logError("Symbolic link not created: its target must stay inside the extraction folder");
        m_failure.set(TnZipResult::kUnsafeEntry, "the symbolic link's target leaves the extraction folder");
        m_log.logDataQP("linkTarget", escapeControlChars(text).c_str());
        return failEntry(job);
    }
    const char* leaf = job.parts.back().c_str();
    if (!job.folder->createLink(leaf, text.c_str(), !m_neverOverwrite)) {
        if (m_neverOverwrite && TarnelDir::isNameTaken(platformLastErrno())) return true;
        m_failure.setSystem("cannot create the symbolic link", platformLastErrno());
        logPath("UnzipFailedFilename", "UnzipFailedFilenameUtf8", job.outPath);
        return false;
    }
    job.folder->setTimesOf(leaf, job.meta.modified);
    ++m_count;
    return true;
}

// An entry that is not created fails, even an empty one: the caller must learn that it is
// missing. The entry's size moves the progress on unless the decoding did that already. The
// one exception is Explorer's thumbnail cache, which Explorer may hold open while a folder is
// shown: a "Thumbs.db" that cannot be written is passed over silently and not counted.
bool EntryExtractor::notCreated(Job& job, bool countProgress) {
    if (job.outPath.ends_with(kThumbnailCache)) return true;
    logPath("UnzipFailedFilename", "UnzipFailedFilenameUtf8", job.outPath);
    if (countProgress) countFailedEntry(job.record);
    return false;
}

bool EntryExtractor::decodeInto(Job& job, Output& out) {
    ZipPipeline pipeline;
    pipeline.setProgressMonitor(m_monitor);
    if (m_tempDir.length() > 0) pipeline.setTempDir(m_tempDir.text());
    const StringBuffer& password = job.zip.password();
    std::uint32_t kind = job.record.encryptionKind;
    if (kind != ZipEncryption::kNone && kind != ZipEncryption::kWinZipAes) {
        pipeline.setWholeDataEncrypted(true);
        pipeline.setWholeDataParams(static_cast<int>(kind), static_cast<int>(job.record.keyLength));
        pipeline.setPassword(password.text());
    }
    if (job.record.isTraditionallyEncrypted()) {
        pipeline.setPassword(password.text());
        pipeline.setTraditionalEncryption(true, job.record.localHeader.crc32, job.record.localHeader.dosTime,
                                          (job.record.localHeader.flags & ZipFlag::kDataDescriptor) != 0);
    }
    CheckedOutput checked(out);
    pipeline.setOutput(&checked);
    pipeline.setDestCompressed(false);
    MemDataObjSource window;
    if (!configureSource(job, pipeline, window)) return false;
    // Held to the declared size: no local record lets the output grow past what callers were told.
    pipeline.expectedUncompressedSize = job.record.uncompressedSize64();
    pipeline.decoderMemoryLimit = job.zip.maxDecoderMemory();
    std::uint32_t crc = 0;
    const bool ran = pipeline.run(crc, m_log, job.verbose);
    // An abort answered while this entry's bytes were counted fails the entry, even when its
    // last block was already written: nothing is finished after the answer.
    if (m_monitor && m_monitor->isAborted()) {
        m_failure.set(TnZipResult::kAborted, "aborted by the application");
        return rejectWith(&m_log, "Unzip aborted by application");
    }
    if (ran) return checkCrc(job, crc);
    return decodeFailed(pipeline, checked);
}

// Names the cause of a failed decode: the destination, the declared size, or the data.
bool EntryExtractor::decodeFailed(const ZipPipeline& pipeline, const CheckedOutput& out) {
    // A caller's destination refuses bytes only to stop; a file refuses them with the system's reason.
    if (out.writeFailed() && m_destination)
        return m_failure.set(TnZipResult::kAborted, "the destination asked to stop");
    if (out.writeFailed()) return m_failure.setSystem("cannot write the file", out.systemError());
    if (pipeline.sizeExceeded())
        return m_failure.set(TnZipResult::kSizeMismatch, "the content is longer than the archive declares");
    return m_failure.set(TnZipResult::kDamaged, "the compressed data is damaged");
}

bool EntryExtractor::configureSource(Job& job, ZipPipeline& pipeline, MemDataObjSource& window) {
    const int method = job.method;
    const bool inflated = method == ZipMethod::kDeflated || method == ZipMethod::kDeflate64;
    if (method != ZipMethod::kStored && !inflated && !hasMethodDecoder(method)) {
        m_log.logError("Unsupported compression method");
        m_log.logDataLong("compressionMethod", method);
        m_log.logData("methodName", ZipMethod::name(method));
        const std::string why = "compression method " + std::to_string(method) + " (" + ZipMethod::name(method) +
                                ") is not supported";
        return m_failure.set(TnZipResult::kUnsupportedMethod, why.c_str());
    }
    pipeline.setSourceCompressed(inflated);
    pipeline.setSourceMethod(method, job.record.localHeader.flags);
    if (job.aes && !job.aesLarge) return pipeline.setSourceMemory(job.aesPlain.data(), job.aesPlain.size());
    if (job.aesLarge) {
        pipeline.setPassword(job.zip.password().text());
        pipeline.setWinZipAes(static_cast<int>(job.record.keyLength));
    }
    if (job.aesLarge || job.record.compressedSize64() > kStreamAbove) {
        window.initRange(job.data, job.record.dataOffset, job.record.compressedSize64());
        pipeline.setSourceData(&window);
        return true;
    }
    std::uint32_t size = job.record.compressedSize32();
    const std::uint8_t* stored = job.data->getData(job.record.dataOffset, size, m_log);
    if (!stored && size > 0) return storedBytesMissing();
    if (pipeline.setSourceMemory(stored, size)) return true;
    return m_failure.set(TnZipResult::kOutOfMemory, "no memory for the entry's stored bytes");
}

// Entries of the library's own whole-data scheme carry no usable CRC, nor do AE-2 entries; every
// other entry is checked, a stored CRC of 0 included (the CRC of no bytes is 0).
bool EntryExtractor::checkCrc(Job& job, std::uint32_t crc) {
    const ZipWalkEntry& r = job.record;
    if (r.encryptionKind != ZipEncryption::kNone && r.encryptionKind != ZipEncryption::kWinZipAes) return true;
    if (r.encryptionKind == ZipEncryption::kWinZipAes && r.aesVersion == ZipAesVersion::kAe2) return true;
    const std::uint32_t stored = r.storedCrc();
    if (stored == crc) return true;
    m_log.logError("CRC mismatch - Zip file is corrupt.");
    // Without a password the empty one is tried, and one header in 256 lets it through: the
    // entry then fails here, and what it lacked was the password, not sound data.
    if (r.isTraditionallyEncrypted() && job.zip.password().length() == 0) passwordRefused(job);
    else m_failure.set(TnZipResult::kCrcMismatch, "the content's CRC-32 does not match the stored one");
    m_log.logDataHex("calculatedCrc", crc);
    m_log.logDataHex("storedCrc", stored);
    return false;
}

// Entries made on Unix get their permission bits; others the read-only attribute rule.
bool EntryExtractor::restoreAttributes(Job& job, OutputFile& out) {
    std::uint8_t attributes = job.record.centralRecord.externalAttributes & 0xFF;
    if (job.meta.hasUnixMode()) {
        if (out.handle().setPermissions(job.meta.permissions())) return true;
    } else {
        // A file made under a private name is owner-only until now.
        const bool opened = !job.privateName || out.handle().setPermissions(TarnelDir::defaultFileMode());
        if (opened && (attributes == kAttrArchive || out.handle().setAttributes(attributes))) return true;
    }
    m_failure.setSystem("cannot set the file's attributes", platformLastErrno());
    m_log.logError("Failed to set file attributes");
    StringBuffer message("SetFileAttributes: ");
    message.appendLastError();
    m_log.logError(message.text());
    m_log.logDataQP("filename", escapeControlChars(job.outPath).c_str());
    return false;
}

// A directory is reported once per extraction.
void EntryExtractor::reportDirectory(const std::string& dir) {
    if (!m_failedDirs.insert(dir).second) return;
    logPath("UnzipFailedDir", "UnzipFailedDirUtf8", dir);
}

// Names come from the archive: control characters are shown escaped, never passed on raw.
void EntryExtractor::logPath(const char* ansiKey, const char* utf8Key, const std::string& path) {
    const std::string shown = escapeControlChars(path);
    XString text;
    text.setUtf8(shown.c_str());
    if (text.isAnsiLossless()) m_log.logData(ansiKey, text.getAnsi());
    else m_log.logDataQP(utf8Key, shown.c_str());
}

// An entry that fails before writing still moves the progress on by its size.
void EntryExtractor::countFailedEntry(const ZipWalkEntry& record) {
    if (!m_monitor) return;
    bool abort = false;
    m_monitor->addProgress(static_cast<std::int64_t>(record.uncompressedSize64()), &abort);
}
