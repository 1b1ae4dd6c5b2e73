// Names and places of the launcher's temporary archive and extraction folder.
#pragma once
#include <string>

#include "base/SystemTime.h"

// The six time fields run together without padding: years since 1900, month, day, hour,
// minute, second. 3 February 2012 04:05:06 gives "11223456". Different times can collide
// (11 January and 1 November both give "111"); the exclusive creation of both names copes.
std::string launcherStamp(const SystemTime& localTime);

// The temporary directory with one trailing separator removed; empty means none.
std::string launcherTempDirectory(std::string reported);

// True when the path names an existing directory.
bool FolderExists(const char* path);

// A folder the launcher can extract into and start a program from: it exists, and its file
// system allows programs to run.
bool launcherUsableFolder(const std::string& path);

// The temporary directory, or the local application-data folder when that is not usable;
// empty when neither is.
std::string launcherWorkDirectory();

// base + '/' + name, with no separator doubled.
std::string launcherJoin(const std::string& base, const std::string& name);
