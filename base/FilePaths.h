// Path texts of the file system layer. Paths inside the library use '\'; results that come
// from the system (full path, current and temporary directory) use its '/' form. Both forms
// are accepted everywhere, since the layer turns '\' into '/' at the system boundary.
#pragma once
#include <string>

#include "base/XString.h"

std::string toBackslashes(std::string path);
// Removes spaces, tabs, CR and LF at both ends.
std::string trimBlanks(const std::string& text);

// Absolute form of a path, "." and ".." resolved by text alone (nothing need exist).
std::string getFullPath(const std::string& path);
// Last component of the absolute path; empty when the path ends in a separator.
std::string getFileNamePart(const std::string& path);
// Empty when the current directory cannot be read.
std::string getCurrentDir();
// $TMPDIR when set and not empty, else /tmp; always ends in '/'.
std::string getTempDir();

// The directory, one '\', then the file name part of the path.
std::string joinDirAndFileName(const std::string& dir, const std::string& path);
// The path without drive letter, "\\?\" prefix or leading '\' (on Windows also without a UNC
// server and share; elsewhere "\\host\x" keeps "host\x").
std::string stripPathRoot(const std::string& path);
// The base, one '\', then the path without its root; just the path when the base is empty.
std::string joinPath(const std::string& base, const std::string& path);

// The same on XString values (UTF-8).
inline void getFullPath(XString& path, XString& out) { out.setUtf8(getFullPath(std::string(path.getUtf8())).c_str()); }
inline void getFileNamePart(XString& path, XString& out) {
    out.setUtf8(getFileNamePart(std::string(path.getUtf8())).c_str());
}
inline void getCurrentDir(XString& out) { out.setUtf8(getCurrentDir().c_str()); }
inline void getTempDir(XString& out) { out.setUtf8(getTempDir().c_str()); }
inline void stripPathRoot(XString& path) { path.setUtf8(stripPathRoot(std::string(path.getUtf8())).c_str()); }
inline void joinPath(XString& base, XString& path, XString& out) {
    out.setUtf8(joinPath(std::string(base.getUtf8()), std::string(path.getUtf8())).c_str());
}
inline void joinDirAndFileName(XString& dir, XString& path, XString& out) {
    out.setUtf8(joinDirAndFileName(std::string(dir.getUtf8()), std::string(path.getUtf8())).c_str());
}

// The text with every control character (C0, DEL and the C1 range as UTF-8) written as \xNN,
// for showing names from an archive in logs and on a terminal.
std::string escapeControlChars(const std::string& text);
