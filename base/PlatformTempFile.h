// Temporary files that no one else can reach: created in a directory (the system temporary
// directory when the text is empty), readable and writable by the owner alone, and never
// reachable by name. Where the file system allows it the file is created without a name;
// otherwise it is created exclusively under an unpredictable name, without following links, and
// that name is removed at once. Either way the file's space is given back when the handle closes,
// however the process ends, and nothing is left to delete.
#pragma once
#include <string>

class LogBase;
class TarnelHandle;

// base names the file when a name is needed ("tnZ.dat" gives tnZ_<random>.dat). False, logged,
// when the directory does not take a file.
bool openPrivateTempFile(const std::string& dir, const char* base, TarnelHandle& handle, LogBase* log);
