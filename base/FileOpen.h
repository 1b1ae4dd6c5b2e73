// The ways the library opens a named file. Each open retries a sharing violation three times
// 50 ms apart, logs a final failure and gives a reason code: 0 no failure, 1 access denied,
// 2 path not found, 3 anything else. On failure the handle is left closed.
#pragma once
#include "base/TarnelHandle.h"
#include "base/XString.h"

class LogBase;

constexpr int kReasonNone = 0;
constexpr int kReasonAccessDenied = 1;
constexpr int kReasonPathNotFound = 2;
constexpr int kReasonOther = 3;

// An existing file for reading; a directory is refused.
bool openForRead(const char* path, TarnelHandle& handle, int& reasonCode, LogBase* log);
// An existing file or directory for reading (a directory handle serves to set its times).
bool openForReadDir(const char* path, TarnelHandle& handle, int& reasonCode, LogBase* log);
// Create or truncate for writing. A read-only file loses that attribute and is opened again.
bool openForWrite(const char* path, TarnelHandle& handle, int& reasonCode, LogBase* log);
// As openForWrite; the hidden attribute has no counterpart on disk here.
bool openForWriteHidden(const char* path, TarnelHandle& handle, int& reasonCode, LogBase* log);
// Open or create for reading and writing.
bool openReadWrite(const char* path, TarnelHandle& handle, int& reasonCode, LogBase* log);

inline bool openForRead(XString& path, TarnelHandle& handle, int& reasonCode, LogBase* log) {
    return openForRead(path.getUtf8(), handle, reasonCode, log);
}
inline bool openForReadDir(XString& path, TarnelHandle& handle, int& reasonCode, LogBase* log) {
    return openForReadDir(path.getUtf8(), handle, reasonCode, log);
}
inline bool openForWrite(XString& path, TarnelHandle& handle, int& reasonCode, LogBase* log) {
    return openForWrite(path.getUtf8(), handle, reasonCode, log);
}
inline bool openForWriteHidden(XString& path, TarnelHandle& handle, int& reasonCode, LogBase* log) {
    return openForWriteHidden(path.getUtf8(), handle, reasonCode, log);
}
inline bool openReadWrite(XString& path, TarnelHandle& handle, int& reasonCode, LogBase* log) {
    return openReadWrite(path.getUtf8(), handle, reasonCode, log);
}
