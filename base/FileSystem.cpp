// Operations on named files. The system calls are in PlatformFiles.
#include "base/FileSystem.h"

#include <string>

#include "base/FileOpen.h"
#include "base/FilePaths.h"
#include "log/LogReject.h"
#include "base/PlatformFiles.h"

namespace {

std::string prepared(const char* path) { return toBackslashes(path ? path : ""); }

void logSystemError(LogBase* log, const char* key, int err) {
    if (log) log->logData(key, platformErrorText(err).c_str());
}

}  // namespace

bool getAttributes(const char* path, std::uint32_t& attributes, int& platformError, LogBase* log) {
    attributes = 0xFFFFFFFFu;
    platformError = 0;
    if (path == nullptr || *path == '\0') return rejectWith(log, "GetAttributes: filename is empty");
    if (platformGetAttributes(prepared(path).c_str(), attributes)) return true;
    attributes = 0xFFFFFFFFu;
    platformError = platformErrorFromErrno(platformLastErrno());
    return false;
}

bool setAttributes(const char* path, std::uint32_t attributes, LogBase*) {
    return path != nullptr && platformSetAttributes(prepared(path).c_str(), attributes);
}

bool createDirectory(const char* path, LogBase* log) {
    if (platformCreateDirectory(prepared(path).c_str())) return true;
    logSystemError(log, "errorMsg", platformLastErrno());
    return false;
}

bool copyFile(const char* from, const char* to, bool failIfExists, LogBase*) {
    return from != nullptr && to != nullptr &&
           platformCopyFile(prepared(from).c_str(), prepared(to).c_str(), failIfExists);
}

bool deleteFile(const char* path, LogBase* log) {
    if (path == nullptr || *path == '\0') return false;
    std::string p = prepared(path);
    if (platformDeleteFile(p.c_str())) return true;
    int err = platformLastErrno();
    if (platformErrorFromErrno(err) == kErrorFileNotFound) return true;
    if (log) {
        log->logWindowsError(unsigned(err));
        log->logData("failedToDeleteFilepath", p.c_str());
    }
    platformSetLastErrno(err);
    return false;
}

bool deleteExistingFile(const char* utf8Path, LogBase* log) {
    if (utf8Path == nullptr || *utf8Path == '\0')
        return rejectWith(log, "Cannot delete file, filename is null or empty");
    std::string p = prepared(utf8Path);
    if (!fileExists(p.c_str(), nullptr)) {
        if (log) log->logData("delete_filename_1", p.c_str());
        if (log) log->logInfo("Cannot delete file, file does not exist");
        return false;
    }
    if (platformDeleteFile(p.c_str())) return true;
    int err = platformLastErrno();
    if (log) {
        log->logInfo("Cannot delete file");
        log->logData("delete_filename_2", p.c_str());
        log->logInfo(("DeleteFile: " + platformErrorText(err)).c_str());
    }
    return false;
}

bool fileExists(const char* path, LogBase* log) {
    if (path == nullptr || *path == '\0') return false;
    std::uint32_t attributes = 0;
    int error = 0;
    if (getAttributes(path, attributes, error, nullptr)) return true;
    bool missing = error == kErrorFileNotFound || error == kErrorPathNotFound || error == kErrorNotReady;
    if (missing && log) log->logWindowsError(unsigned(platformLastErrno()));
    return !missing;
}

std::int64_t getFileSizeByName(const char* path, bool& opened) {
    TarnelHandle handle;
    int reason = 0;
    opened = openForRead(path, handle, reason, nullptr);
    if (!opened) return 0;
    std::int64_t size = handle.getSize(nullptr);
    return size < 0 ? 0 : size;
}

bool getLastWriteTimeByName(const char* path, FileTime& lastWrite, LogBase*) {
    std::uint64_t value = 0;
    if (path == nullptr || !platformLastWriteTime(prepared(path).c_str(), value)) return false;
    lastWrite.setValue(value);
    return true;
}

bool writeWholeFile(const char* path, const void* bytes, std::uint64_t count, LogBase* log) {
    if (path == nullptr) return rejectWith(log, "NULL filename");
    if (*path == '\0') return rejectWith(log, "zero-length filename");
    TarnelHandle handle;
    int reason = 0;
    if (!openForWrite(path, handle, reason, log)) {
        if (log) log->logDataBracketed("filenameAnsi", path);
        return rejectWith(log, "Failed to write complete file (7)");
    }
    std::uint64_t written = 0;
    if (bytes == nullptr || count == 0 || handle.write(bytes, count, written, log)) return true;
    if (log) log->logDataBracketed("filenameAnsi", path);
    return rejectWith(log, "Failed to write complete file (1)");
}
