// Names for temporary files: "stem_XXXX.ext" in a directory, XXXX four random characters from
// 'A'-'Z' and '0'-'9', chosen so that no file of that name exists yet. Nothing is created.
#pragma once
#include <string>

#include "base/FilePaths.h"
#include "base/StringBuffer.h"
#include "base/XString.h"

// An empty base gives the stem "x"; a base without '.' gets ".tmp". An empty directory gives
// a name relative to the current directory. False, with out empty, when 201 candidates exist.
bool makeTempFileName(const std::string& base, const std::string& dir, std::string& out);

inline bool makeTempFileName(XString& base, XString& dir, XString& out) {
    std::string name;
    bool ok = makeTempFileName(std::string(base.getUtf8()), std::string(dir.getUtf8()), name);
    out.setUtf8(name.c_str());
    return ok;
}
// In the system's temporary directory.
inline bool makeTempFileName(XString& base, XString& out) {
    std::string name;
    bool ok = makeTempFileName(std::string(base.getUtf8()), getTempDir(), name);
    out.setUtf8(name.c_str());
    return ok;
}
// Appends the name to out in the '\' form.
inline bool makeTempFileName(const char* utf8Base, const char* utf8Dir, StringBuffer& out) {
    std::string name;
    bool ok = makeTempFileName(utf8Base ? utf8Base : "", utf8Dir ? utf8Dir : "", name);
    if (ok) out.append(toBackslashes(name).c_str());
    return ok;
}
