// Operations on named files: attributes, directories, deletion, copying, existence, sizes,
// times and whole-file writes. Paths are UTF-8 in either separator form; a null log reports
// nothing. Attribute words use the bits of PlatformFiles.h.
#pragma once
#include <cstdint>

#include "base/FileTime.h"
#include "base/XString.h"

class LogBase;

// On failure the attribute word is all ones and platformError says why.
bool getAttributes(const char* path, std::uint32_t& attributes, int& platformError, LogBase* log);
bool setAttributes(const char* path, std::uint32_t attributes, LogBase* log);
// A directory that exists already is a failure here (see ensureDirectory).
bool createDirectory(const char* path, LogBase* log);
bool copyFile(const char* from, const char* to, bool failIfExists, LogBase* log);

// A file that is not there counts as deleted.
bool deleteFile(const char* path, LogBase* log);
inline bool deleteFileUtf8(const char* path, LogBase* log) { return deleteFile(path, log); }
// Fails, with log lines, when the file is not there.
bool deleteExistingFile(const char* utf8Path, LogBase* log);

// Access errors count as existence; only "not found" answers mean the file is not there.
bool fileExists(const char* path, LogBase* log);

// 0 with opened false when the file cannot be opened.
std::int64_t getFileSizeByName(const char* path, bool& opened);
// The last write time in UTC as the file system stores it.
bool getLastWriteTimeByName(const char* path, FileTime& lastWrite, LogBase* log);

// Creates or truncates the file and writes count bytes; no bytes leave an empty file.
bool writeWholeFile(const char* path, const void* bytes, std::uint64_t count, LogBase* log);

// Text in the process's ANSI code page, as the system takes it.
inline bool fileExistsAnsi(const char* ansiPath, LogBase* log) {
    XString path;
    path.setAnsi(ansiPath);
    return fileExists(path.getUtf8(), log);
}
inline bool deleteFileAnsi(const char* ansiPath, LogBase* log) {
    XString path;
    path.setAnsi(ansiPath);
    return deleteExistingFile(ansiPath ? path.getUtf8() : nullptr, log);
}

inline bool getAttributes(XString& path, std::uint32_t& attributes, int& platformError, LogBase* log) {
    return getAttributes(path.getUtf8(), attributes, platformError, log);
}
inline bool setAttributes(XString& path, std::uint32_t attributes, LogBase* log) {
    return setAttributes(path.getUtf8(), attributes, log);
}
inline bool createDirectory(XString& path, LogBase* log) { return createDirectory(path.getUtf8(), log); }
inline bool copyFile(XString& from, XString& to, bool failIfExists, LogBase* log) {
    return copyFile(from.getUtf8(), to.getUtf8(), failIfExists, log);
}
inline bool deleteFile(XString& path, LogBase* log) { return deleteFile(path.getUtf8(), log); }
inline bool getLastWriteTimeByName(XString& path, FileTime& lastWrite, LogBase* log) {
    return getLastWriteTimeByName(path.getUtf8(), lastWrite, log);
}
