// Opening named files: the retry loop, the read-only retry of the writers and their logs.
#include "base/FileOpen.h"

#include <string>

#include "base/FilePaths.h"
#include "base/FileSystem.h"
#include "base/PlatformFiles.h"
#include "log/LogBase.h"
#include "log/LogReject.h"

namespace {

constexpr int kMaxAttempts = 4;
constexpr unsigned kRetryDelayMs = 50;

int reasonFor(int platformError) {
    if (platformError == kErrorAccessDenied) return kReasonAccessDenied;
    if (platformError == kErrorPathNotFound) return kReasonPathNotFound;
    return kReasonOther;
}

void logOpenFailure(const std::string& path, int err, LogBase* log) {
    if (!log) return;
    log->logError("Failed to open file (2)");
    log->logData("filename", path.c_str());
    log->logData("currentWorkingDirectory", getCurrentDir().c_str());
    log->logData("osErrorInfo", platformErrorText(err).c_str());
}

// One open with the retries for a sharing violation, which lasts while another process holds
// the file (here: a running program or a busy device). Returns the platform error, 0 on success.
int createFileRetrying(const std::string& path, PlatformOpen mode, TarnelHandle& handle, LogBase* log) {
    int err = 0;
    for (int attempt = 1;; ++attempt) {
        int fd = platformOpenFile(path.c_str(), mode);
        if (fd >= 0) {
            handle.attach(fd);
            return 0;
        }
        err = platformLastErrno();
        if (platformErrorFromErrno(err) != kErrorSharingViolation || attempt == kMaxAttempts) break;
        platformSleepMs(kRetryDelayMs);
    }
    logOpenFailure(path, err, log);
    platformSetLastErrno(err);
    return platformErrorFromErrno(err);
}

// The open shared by every operation: path preparation, the attempt, and the reason code.
int openNamed(const char* path, PlatformOpen mode, TarnelHandle& handle, int& reasonCode, LogBase* log) {
    handle.close();
    reasonCode = kReasonNone;
    int error = createFileRetrying(toBackslashes(path ? path : ""), mode, handle, log);
    if (error != 0) reasonCode = reasonFor(error);
    return error;
}

// A writer that failed on a read-only file clears that attribute and tries once more.
bool openWriter(const char* path, TarnelHandle& handle, int& reasonCode, LogBase* log, bool logName) {
    if (openNamed(path, PlatformOpen::Write, handle, reasonCode, log) == 0) return true;
    int err = platformLastErrno();
    std::uint32_t attributes = 0;
    int attrError = 0;
    if (getAttributes(path, attributes, attrError, nullptr) && (attributes & kAttrReadOnly) &&
        setAttributes(path, attributes & ~kAttrReadOnly, nullptr)) {
        if (openNamed(path, PlatformOpen::Write, handle, reasonCode, log) == 0) return true;
        err = platformLastErrno();
    }
    if (log && logName) log->logData("Filename", toBackslashes(path).c_str());
    platformSetLastErrno(err);
    return false;
}

}  // namespace

bool openForRead(const char* path, TarnelHandle& handle, int& reasonCode, LogBase* log) {
    if (path == nullptr || *path == '\0') {
        handle.close();
        reasonCode = kReasonOther;
        return rejectWith(log, "Cannot open file, filename is empty.");
    }
    int error = openNamed(path, PlatformOpen::Read, handle, reasonCode, log);
    if (error != 0 && log) log->logDataHex("WindowsError", std::uint32_t(error));
    return error == 0;
}

bool openForReadDir(const char* path, TarnelHandle& handle, int& reasonCode, LogBase* log) {
    int error = openNamed(path, PlatformOpen::ReadDir, handle, reasonCode, log);
    if (error != 0 && log) log->logDataHex("WindowsError", std::uint32_t(error));
    return error == 0;
}

bool openForWrite(const char* path, TarnelHandle& handle, int& reasonCode, LogBase* log) {
    return openWriter(path, handle, reasonCode, log, true);
}

bool openForWriteHidden(const char* path, TarnelHandle& handle, int& reasonCode, LogBase* log) {
    return openWriter(path, handle, reasonCode, log, false);
}

bool openReadWrite(const char* path, TarnelHandle& handle, int& reasonCode, LogBase* log) {
    return openNamed(path, PlatformOpen::ReadWrite, handle, reasonCode, log) == 0;
}
