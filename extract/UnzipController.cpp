// The unzip loop over the archive object's entries.
#include "extract/UnzipController.h"

#include <cstdint>

#include <cctype>
#include <cstring>
#include <memory>

#include "archive/ProgressMonitor.h"
#include "archive/ZipCallback.h"
#include "base/ContentCoding.h"
#include "base/DataBuffer.h"
#include "base/FilePaths.h"
#include "log/LogReject.h"
#include "base/StringBuffer.h"
#include "base/XString.h"
#include "extract/EntryExtractor.h"
#include "zip/ClsZip2.h"
#include "zip/ClsZipEntry2.h"
#include "zip/MemoryDataPool.h"
#include "zip/ZipWalkEntry.h"
#include "zip/ZippedFileInfo.h"

namespace {
constexpr int kAbortCheckEvery = 50;

bool sameChar(char a, char b, bool caseSensitive) {
    if (caseSensitive) return a == b;
    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
}

bool matchesAt(const char* text, const char* part, std::size_t n, bool caseSensitive) {
    for (std::size_t i = 0; i < n; ++i)
        if (!sameChar(text[i], part[i], caseSensitive)) return false;
    return true;
}

// First position of part (n chars) in text, or null.
const char* findPart(const char* text, const char* part, std::size_t n, bool caseSensitive) {
    for (std::size_t len = std::strlen(text); len >= n; ++text, --len)
        if (matchesAt(text, part, n, caseSensitive)) return text;
    return nullptr;
}

bool onlyStars(const char* pattern) {
    while (*pattern == '*') ++pattern;
    return *pattern == 0;
}

// Sizes come from the archive and may be absurd: the progress total stops at the largest value
// instead of overflowing.
std::int64_t addSizeSaturated(std::int64_t total, std::uint64_t size) {
    const std::uint64_t room = static_cast<std::uint64_t>(INT64_MAX - total);
    return size >= room ? INT64_MAX : total + static_cast<std::int64_t>(size);
}

void describeEntry(ClsZipEntry2& entry, const StringBuffer& name, ZippedFileInfo& info) {
    info.name.setFrom(name);
    info.compressedSize = entry.GetCompressedSize();
    info.uncompressedSize = entry.GetUncompressedSize();
    info.isDirectory = entry.IsDir();
}
}  // namespace

bool UnzipController::Unzip(XString& folder, ZipCallback* callback, int& count) {
    m_zip.log().clearLog();
    clearResult();
    if (callback) callback->unzipBegin();
    bool ok = UnzipCommon(folder, nullptr, false, false, callback, "Unzip", count);
    if (callback) callback->unzipEnd();
    return ok;
}

bool UnzipController::UnzipCommon(XString& folder, XString* pattern, bool onlyNewer, bool ignoreDirectories,
                                  ZipCallback* callback, const char* operation, int& count) {
    const std::string trimmed = trimBlanks(folder.getUtf8());
    const std::string base = trimmed.empty() ? std::string(".") : trimmed;
    count = 0;
    LogBase& log = m_zip.log();
    m_zip.beginOperation(operation);
    log.logDataLong("VerboseLogging", m_zip.verboseLogging() ? 1 : 0);
    log.logData("UnzipDir", folder.getUtf8());
    if (pattern) log.logData("MatchPattern", pattern->getUtf8());
    log.logDataLong("onlyNewer", onlyNewer ? 1 : 0);
    log.logDataLong("ignoreZipDirs", ignoreDirectories ? 1 : 0);
    if (!CheckUnzipPassword()) {
        log.leaveContext();
        return passwordFailure();
    }
    auto pool = std::make_unique<MemoryDataPool>();
    bool ok = UnzipEntries(base.c_str(), ignoreDirectories, pattern ? pattern->getUtf8() : nullptr, onlyNewer, callback,
                           count, *pool);
    log.logDataLong("NumUnzipped", count);
    if (!m_zip.structureDamage().empty()) ok = rejectWith(log, m_zip.structureDamage().c_str());
    if (!ok) log.logError("Not all files extracted successfully.");
    if (!ok && m_result == TnZipResult::kOk) fail(TnZipResult::kDamaged, "the extraction failed");
    if (m_moreFailures > 0) m_message += " (and " + std::to_string(m_moreFailures) + " more failed entries)";
    log.leaveContext();
    pool.reset();
    return ok;
}

void UnzipController::clearResult() {
    m_result = TnZipResult::kOk;
    m_message.clear();
    m_moreFailures = 0;
}

bool UnzipController::passwordFailure() {
    if (m_zip.password().length() == 0) return fail(TnZipResult::kPasswordNeeded, "the archive needs a password");
    return fail(TnZipResult::kWrongPassword, "the archive's password is wrong or its comment is damaged");
}

bool UnzipController::ExtractOne(int index, const char* folder, Output* destination, ZipCallback* callback,
                                 const char* operation) {
    clearResult();
    ClsZipEntry2* entry = index >= 0 && index < m_zip.numEntries() ? m_zip.entryAt(index) : nullptr;
    if (!entry || entry->IsEmptyKind())
        return fail(TnZipResult::kBadArgument, "there is no entry " + std::to_string(index));
    m_zip.beginOperation(operation);
    m_zip.log().logDataLong("entryIndex", index);
    if (callback) callback->unzipBegin();
    const bool ok = CheckUnzipPassword() ? extractOneEntry(*entry, folder, destination, callback) : passwordFailure();
    m_zip.log().leaveContext();
    if (callback) callback->unzipEnd();
    return ok;
}

bool UnzipController::extractOneEntry(ClsZipEntry2& entry, const char* folder, Output* destination,
                                      ZipCallback* callback) {
    StringBuffer name;
    cleanName(entry, name);
    ZippedFileInfo info;
    describeEntry(entry, name, info);
    const std::string shown = shownName(name.text());
    if (askAbort(callback)) return false;
    bool skip = false;
    if (callback) {
        callback->setWritePercentMode(false);
        callback->toBeUnzipped(shown.c_str(), info.compressedSize32(), info.uncompressedSize32(), info.isDirectory,
                               &skip);
    }
    if (skip) return true;
    const std::string trimmed = trimBlanks(folder ? folder : "");
    ProgressMonitor monitor(callback, entry.IsDir() ? 0 : addSizeSaturated(0, entry.GetUncompressedSize()));
    MemoryDataPool pool;
    const char* tempDir = m_zip.tempDir().length() > 0 ? m_zip.tempDir().text() : nullptr;
    EntryExtractor extractor(trimmed.empty() ? "." : trimmed.c_str(), false, m_zip.log(), &monitor, tempDir, pool);
    extractor.setTestOnly(destination != nullptr);
    extractor.setDestination(destination);
    if (!extractor.UnzipEntry(entry)) return entryFailed(extractor, name.text(), callback), false;
    extractor.finish();
    monitor.finishProgress();
    bool ignored = false;
    if (callback)
        callback->fileUnzipped(shown.c_str(), info.compressedSize32(), info.uncompressedSize32(), entry.IsDir(),
                               &ignored);
    return true;
}

bool UnzipController::CheckUnzipPassword() {
    LogBase& log = m_zip.log();
    if (!m_zip.commentHasMarker()) return true;
    if (m_zip.password().length() == 0) return rejectWith(&log, "This Zip is encrypted and requires a password.");
    const char* open = std::strchr(m_zip.comment().text(), '[');
    if (!open) return true;
    const char* close = std::strchr(open + 1, ']');
    StringBuffer encoded;
    encoded.appendBytes(open + 1, static_cast<int>(close ? close - open - 1 : std::strlen(open + 1)));
    std::uint32_t length = 0;
    std::unique_ptr<std::uint8_t, void (*)(void*)> decoded(ContentCoding().decodeBase64(encoded.text(), length),
                                                           std::free);
    if (!decoded || length == 0) return rejectWith(&log, "Invalid Zip file comment.");
    DataBuffer encrypted;
    encrypted.append(decoded.get(), length);
    if (!m_zip.passwordMatchesComment(encrypted)) return rejectWith(&log, "Invalid password (5)");
    return true;
}

bool UnzipController::askAbort(ZipCallback* callback) {
    if (!callback) return false;
    bool abort = false;
    callback->abortCheck(&abort);
    if (abort) m_zip.log().logError("Unzip aborted by application");
    if (abort) fail(TnZipResult::kAborted, "aborted by the application");
    return abort;
}

void UnzipController::cleanName(const ClsZipEntry2& entry, StringBuffer& name) {
    entry.GetFileName(name);
    name.removeWildcardChars();
    name.removeControlChars();
}

bool UnzipController::chooseEntries(const char* baseFolder, const char* pattern, bool onlyNewer, ZipCallback* callback,
                                    std::int64_t& total) {
    total = 0;
    StringBuffer name;
    for (int i = 0; i < m_zip.numEntries(); ++i) {
        ClsZipEntry2* entry = m_zip.entryAt(i);
        if (!entry || entry->IsEmptyKind()) continue;
        cleanName(*entry, name);
        if (i % kAbortCheckEvery == 0 && askAbort(callback)) return false;
        entry->SetSkip(false);
        if (onlyNewer && !entry->IsNewerThanTarget(baseFolder)) {
            entry->SetSkip(true);
            continue;
        }
        if (pattern && !MatchWildcard(name.text(), pattern, false)) continue;
        if (callback) {
            ZippedFileInfo info;
            describeEntry(*entry, name, info);
            callback->setWritePercentMode(false);
            bool skip = false;
            callback->toBeUnzipped(shownName(name.text()).c_str(), info.compressedSize32(), info.uncompressedSize32(),
                                   info.isDirectory, &skip);
            if (skip) entry->SetSkip(true);
        }
        if (!entry->IsDir() && !entry->IsSkipped()) total = addSizeSaturated(total, entry->GetUncompressedSize());
    }
    return true;
}

bool UnzipController::UnzipEntries(const char* baseFolder, bool ignoreDirectories, const char* pattern, bool onlyNewer,
                                   ZipCallback* callback, int& count, MemoryDataPool& pool) {
    count = 0;
    LogBase& log = m_zip.log();
    if (askAbort(callback)) return false;
    if (m_zip.verboseLogging()) log.logDataLong("numEntries", m_zip.numEntries());
    std::int64_t total = 0;
    if (!chooseEntries(baseFolder, pattern, onlyNewer, callback, total)) return false;

    ProgressMonitor monitor(callback, total);
    const char* tempDir = m_zip.tempDir().length() > 0 ? m_zip.tempDir().text() : nullptr;
    EntryExtractor extractor(baseFolder, ignoreDirectories, log, &monitor, tempDir, pool);
    extractor.setNeverOverwrite(m_zip.neverOverwrite());
    bool ok = true;
    bool stopped = false;
    StringBuffer name;
    for (int i = 0; i < m_zip.numEntries() && !stopped; ++i) {
        ClsZipEntry2* entry = m_zip.entryAt(i);
        if (!entry || entry->IsEmptyKind() || entry->IsSkipped()) continue;
        cleanName(*entry, name);
        if (pattern && !MatchWildcard(name.text(), pattern, false)) continue;
        if (!extractor.UnzipEntry(*entry)) {
            ok = false;
            entryFailed(extractor, name.text(), callback);
        } else if (callback) {
            ZippedFileInfo info;
            describeEntry(*entry, name, info);
            bool abort = false;
            callback->fileUnzipped(shownName(name.text()).c_str(), info.compressedSize32(), info.uncompressedSize32(),
                                   info.isDirectory, &abort);
            stopped = abort;
        }
        stopped = stopped || monitor.isAborted();
        count = extractor.count();
    }
    extractor.finish();
    if (!stopped) monitor.finishProgress();
    if (monitor.isAborted() && m_result != TnZipResult::kAborted) {
        m_result = TnZipResult::kAborted;
        m_message = "aborted by the application";
    }
    return ok;
}

void UnzipController::entryFailed(const EntryExtractor& extractor, const char* name, ZipCallback* callback) {
    EntryFailure failure = extractor.failure();
    if (!failure.failed()) failure.set(TnZipResult::kDamaged, "the entry could not be extracted");
    const std::string shown = shownName(name);
    const std::string message = failure.message(shown);
    if (callback) callback->entryFailed(shown.c_str(), static_cast<int>(failure.result), message.c_str());
    if (m_result != TnZipResult::kOk) ++m_moreFailures;
    // An abort is what the caller most needs to hear, whatever failed before it.
    if (m_result == TnZipResult::kOk || failure.result == TnZipResult::kAborted) {
        m_result = failure.result;
        m_message = message;
    }
}

bool UnzipController::fail(TnZipResult result, const std::string& message) {
    if (m_result != TnZipResult::kOk) return false;
    m_result = result;
    m_message = message;
    return false;
}

std::string UnzipController::shownName(const char* name) {
    std::string shown(name ? name : "");
#ifndef _WIN32
    for (char& c : shown)
        if (c == '\\') c = '/';
#endif
    return shown;
}

bool UnzipController::MatchWildcard(const char* text, const char* pattern, bool caseSensitive) {
    if (!text || !*text) return !pattern || onlyStars(pattern);
    if (!pattern || !*pattern) return false;
    const char* star = std::strchr(pattern, '*');
    if (!star)
        return std::strlen(text) == std::strlen(pattern) && matchesAt(text, pattern, std::strlen(text), caseSensitive);
    std::size_t head = static_cast<std::size_t>(star - pattern);
    if (std::strlen(text) < head || !matchesAt(text, pattern, head, caseSensitive)) return false;
    text += head;
    pattern = star;
    for (;;) {
        while (*pattern == '*') ++pattern;
        if (!*pattern) return true;
        const char* next = std::strchr(pattern, '*');
        std::size_t n = next ? static_cast<std::size_t>(next - pattern) : std::strlen(pattern);
        if (!next) {
            std::size_t rest = std::strlen(text);
            return rest >= n && matchesAt(text + rest - n, pattern, n, caseSensitive);
        }
        const char* found = findPart(text, pattern, n, caseSensitive);
        if (!found) return false;
        text = found + n;
        pattern = next;
    }
}
