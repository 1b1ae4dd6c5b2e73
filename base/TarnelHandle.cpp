// File handle operations; the system calls themselves are in PlatformFiles.
#include "base/TarnelHandle.h"

#include "base/PlatformFiles.h"
#include "log/LogBase.h"
#include "log/LogReject.h"

TarnelHandle::~TarnelHandle() { close(); }

void TarnelHandle::close() {
    if (m_fd != -1) platformCloseFile(m_fd);
    m_fd = -1;
}

void TarnelHandle::takeOver(TarnelHandle& other) {
    if (&other == this) return;
    attach(other.m_fd);
    other.m_fd = -1;
}

void TarnelHandle::attach(int fd) {
    close();
    m_fd = fd;
}

bool TarnelHandle::read(void* buffer, std::uint32_t count, std::uint32_t& bytesRead, bool& endOfFile, LogBase* log) {
    bytesRead = 0;
    endOfFile = false;
    if (!isOpen()) return false;
    if (!platformRead(m_fd, buffer, count, bytesRead)) {
        if (log) log->logWindowsError(unsigned(platformLastErrno()));
        return false;
    }
    endOfFile = count > 0 && bytesRead == 0;
    return true;
}

bool TarnelHandle::write(const void* bytes, std::uint64_t count, std::uint64_t& written, LogBase* log) {
    if (!isOpen()) return rejectWith(log, "Failed to write because file is not open.");
    written = 0;
    const char* next = static_cast<const char*>(bytes);
    while (written < count) {
        std::uint32_t chunk = count - written < kWriteChunk ? std::uint32_t(count - written) : kWriteChunk;
        std::uint32_t put = 0;
        bool ok = platformWrite(m_fd, next, chunk, put);
        if (!ok || put != chunk) break;
        written += put;
        next += put;
    }
    if (written == count) return true;
    if (log) log->logData("WriteFileError", platformErrorText(platformLastErrno()).c_str());
    return false;
}

bool TarnelHandle::seek(std::int64_t offset, int from, const char* failure, LogBase* log) {
    if (!isOpen()) return false;
    std::int64_t position = 0;
    if (platformSeek(m_fd, offset, PlatformSeek(from), position)) return true;
    if (log) {
        int err = platformLastErrno();
        log->logError(failure);
        log->logWindowsError(unsigned(err));
        if (from != int(PlatformSeek::End)) log->logDataInt64("position", offset);
    }
    return false;
}

bool TarnelHandle::seekAbsolute(std::int64_t position, LogBase* log) {
    return seek(position, int(PlatformSeek::Begin), "Failed to SetFilePointer to absolute file position", log);
}

bool TarnelHandle::seekRelative(std::int64_t distance, LogBase* log) {
    return seek(distance, int(PlatformSeek::Current), "Failed to SetFilePointer to relative file position", log);
}

bool TarnelHandle::seekToEnd(LogBase* log) {
    return seek(0, int(PlatformSeek::End), "Failed to SetFilePointer to end of file.", log);
}

std::int64_t TarnelHandle::getPosition(LogBase* log) {
    if (!isOpen()) return -1;
    std::int64_t position = 0;
    if (platformSeek(m_fd, 0, PlatformSeek::Current, position)) return position;
    if (log) {
        int err = platformLastErrno();
        log->logError("Failed to get file position (2)");
        log->logWindowsError(unsigned(err));
    }
    return -1;
}

std::int64_t TarnelHandle::getSize(LogBase* log) {
    if (!isOpen()) return -1;
    std::int64_t size = 0;
    if (platformFileSize(m_fd, size)) return size;
    if (log) {
        log->logError(platformErrorText(platformLastErrno()).c_str());
        log->logError("Failed to get file size (64)");
    }
    return -1;
}

bool TarnelHandle::getLastWriteTime(FileTime& lastWrite, LogBase* log) {
    FileTime creation, access;
    if (!isOpen()) return false;
    if (getFileTimes(creation, access, lastWrite)) return true;
    if (log) {
        int err = platformLastErrno();
        log->logError("Failed to get file last modification time.");
        log->logWindowsError(unsigned(err));
    }
    return false;
}

bool TarnelHandle::getFileTimes(FileTime& creation, FileTime& lastAccess, FileTime& lastWrite) {
    std::uint64_t c = 0, a = 0, w = 0;
    if (!isOpen() || !platformFileTimes(m_fd, c, a, w)) return false;
    creation.setValue(c);
    lastAccess.setValue(a);
    lastWrite.setValue(w);
    return true;
}

void TarnelHandle::setFileTimes(const FileTime& time) {
    if (isOpen()) platformSetFileTimes(m_fd, time.value(), time.value());
}

bool TarnelHandle::setAttributes(std::uint32_t attributes) {
    return isOpen() && platformSetHandleAttributes(m_fd, attributes);
}

bool TarnelHandle::setPermissions(std::uint32_t mode) { return isOpen() && platformSetHandleMode(m_fd, mode & 0777); }
