// Names and places of the launcher's temporary archive and extraction folder.
#pragma once
#include <string>

#include "base/SystemTime.h"

// The six time fields run together, all but the first zero-padded to two digits: years since
// 1900, month, day, hour, minute, second. 3 February 2012 04:05:06 gives "1120203040506".
// Padding keeps different times apart (unpadded, 12:25:01 and 12:02:51 would read alike).
std::string launcherStamp(const SystemTime& localTime);

// stamp + '-' + a random suffix from the system's random source, so that nobody can tell the
// name in advance; empty when the random source fails.
std::string launcherUniqueName(const std::string& stamp);

// The temporary directory with one trailing separator removed; empty means none.
std::string launcherTempDirectory(std::string reported);

// True when the path names an existing directory.
bool FolderExists(const char* path);

// A folder the launcher can extract into and start a program from: it exists, this user may
// create in it, no other user may move what is created there, and its file system allows
// programs to run.
bool launcherUsableFolder(const std::string& path);

// The temporary directory, or the local application-data folder when that is not usable;
// empty when neither is.
std::string launcherWorkDirectory();

// base + '/' + name, with no separator doubled.
std::string launcherJoin(const std::string& base, const std::string& name);
