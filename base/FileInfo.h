// What the file system knows about one path: existence, access, attributes, size and times.
#pragma once
#include <cstdint>

#include "base/FileTime.h"
#include "base/StringBuffer.h"
#include "base/TarnelObject.h"
#include "base/XString.h"

class LogBase;

class FileInfo : public TarnelObject {
public:
    FileInfo() = default;
    ~FileInfo() override = default;

    // Resets every field, then fills them from the path (UTF-8). On failure notFound or
    // accessDenied may say why.
    bool loadFileInfo(const char* path, LogBase* log);
    bool loadFileInfo(XString& path, LogBase* log) { return loadFileInfo(path.getUtf8(), log); }
    void reset();

    std::uint8_t notFound = 0;
    std::uint8_t accessDenied = 0;  // exists, but could not be opened for reading
    StringBuffer name;              // the path as UTF-8
    std::uint8_t isDirectory = 0;
    std::uint32_t size32 = 0;  // low 32 bits of size64
    std::int64_t size64 = 0;   // 0 for a directory
    std::uint32_t attributes = 0;
    // Local time, converted from the file system's UTC.
    FileTime lastWriteTime;
    FileTime creationTime;
    FileTime lastAccessTime;

private:
    bool failAttributes(const char* path, LogBase* log);
    bool failWithName(const char* message, const char* path, LogBase* log);
    bool loadTimesAndSize(const char* path, LogBase* log);
};
