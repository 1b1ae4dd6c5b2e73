// Helpers of the Win32 platform files: UTF-8 <-> UTF-16 text, the system form of a path
// (with the "\\?\" prefix once it is too long for the plain form) and the handle <-> int
// mapping that lets the platform interface keep its int descriptors.
#pragma once
#include <windows.h>

#include <string>

std::wstring utf8ToWide(const std::string& text);
std::string wideToUtf8(const std::wstring& text);

// '/' turned into '\'; a path of MAX_PATH characters or more goes through GetFullPathNameW
// and gets "\\?\" (or "\\?\UNC\" for a network path) so that it is not cut short.
std::wstring winPath(const char* libraryPath);

// Win32 keeps only the low 32 bits of a kernel handle meaningful (HandleToLong), so the
// handle travels as an int; INVALID_HANDLE_VALUE is -1 on both sides.
inline int handleToFd(HANDLE h) { return h == INVALID_HANDLE_VALUE ? -1 : int(HandleToLong(h)); }
inline HANDLE fdToHandle(int fd) { return fd < 0 ? INVALID_HANDLE_VALUE : LongToHandle(fd); }
