// One open file of the operating system, owned by this object: destruction closes it.
// Ownership moves only through takeOver. Every operation on an invalid handle fails at once
// without a platform call.
#pragma once
#include <cstdint>

#include "base/FileTime.h"

class LogBase;

class TarnelHandle {
public:
    // Writes are split into calls of at most this many bytes.
    static constexpr std::uint32_t kWriteChunk = 10000000;

    TarnelHandle() = default;
    TarnelHandle(const TarnelHandle&) = delete;
    TarnelHandle& operator=(const TarnelHandle&) = delete;
    virtual ~TarnelHandle();

    bool isOpen() const { return m_fd != -1; }
    void close();
    void takeOver(TarnelHandle& other);
    // Takes ownership of a descriptor from the open operations, closing any held before.
    void attach(int fd);
    int descriptor() const { return m_fd; }

    // A short count is a success; endOfFile is set when nothing was left to read.
    bool read(void* buffer, std::uint32_t count, std::uint32_t& bytesRead, bool& endOfFile, LogBase* log);
    bool write(const void* bytes, std::uint64_t count, std::uint64_t& written, LogBase* log);

    bool seekAbsolute(std::int64_t position, LogBase* log);
    bool seekRelative(std::int64_t distance, LogBase* log);
    bool seekToEnd(LogBase* log);
    std::int64_t getPosition(LogBase* log);  // -1 on failure
    std::int64_t getSize(LogBase* log);      // -1 on failure

    // File times are UTC.
    bool getLastWriteTime(FileTime& lastWrite, LogBase* log);
    bool getFileTimes(FileTime& creation, FileTime& lastAccess, FileTime& lastWrite);
    // Sets last access and last write; the system keeps its own creation time.
    void setFileTimes(const FileTime& time);
    // The attribute word applied to the open file (only the read-only bit has an effect here).
    bool setAttributes(std::uint32_t attributes);
    // POSIX permission bits applied to the open file; setuid, setgid and sticky are dropped.
    bool setPermissions(std::uint32_t mode);

private:
    bool seek(std::int64_t offset, int from, const char* failure, LogBase* log);

    int m_fd = -1;
};
