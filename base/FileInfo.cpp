// Loading a FileInfo: attributes first, then an open handle for times and size.
#include "base/FileInfo.h"

#include "base/DateTime.h"
#include "base/FileOpen.h"
#include "base/FilePaths.h"
#include "base/FileSystem.h"
#include "log/LogReject.h"
#include "base/PlatformFiles.h"

void FileInfo::reset() {
    notFound = accessDenied = isDirectory = 0;
    name.clear();
    size32 = 0;
    size64 = 0;
    attributes = 0;
    lastWriteTime.clear();
    creationTime.clear();
    lastAccessTime.clear();
}

bool FileInfo::failWithName(const char* message, const char* path, LogBase* log) {
    rejectWith(log, message);
    if (log) log->logData("filename", path);
    return false;
}

bool FileInfo::failAttributes(const char* path, LogBase* log) {
    if (log) log->logData("curDir", getCurrentDir().c_str());
    rejectWith(log, "loadFileInfoAnsi failed: cannot get attributes");
    if (!fileExists(path, nullptr)) {
        notFound = 1;
        rejectWith(log, "File does not exist.");
    }
    if (log) log->logData("filename", path);
    return false;
}

bool FileInfo::loadFileInfo(const char* path, LogBase* log) {
    reset();
    if (path == nullptr) return rejectWith(log, "loadFileInfoAnsi failed: no filename");
    int error = 0;
    if (!getAttributes(path, attributes, error, nullptr)) return failAttributes(path, log);
    isDirectory = (attributes & kAttrDirectory) ? 1 : 0;
    name.setString(path);
    return loadTimesAndSize(path, log);
}

bool FileInfo::loadTimesAndSize(const char* path, LogBase* log) {
    TarnelHandle handle;
    int reason = 0;
    bool opened = isDirectory ? openForReadDir(path, handle, reason, log) : openForRead(path, handle, reason, log);
    if (!opened) {
        accessDenied = reason == kReasonAccessDenied ? 1 : 0;
        return failWithName("loadFileInfoAnsi failed: cannot open for reading", path, log);
    }
    FileTime creation, access, write;
    if (!handle.getFileTimes(creation, access, write))
        return failWithName("loadFileInfoAnsi failed: cannot get file time", path, log);
    utcToLocal(write, lastWriteTime);
    utcToLocal(creation, creationTime);
    utcToLocal(access, lastAccessTime);
    size64 = isDirectory ? 0 : handle.getSize(log);
    size32 = std::uint32_t(size64);
    return true;
}
