// Making sure a directory, or the directory a file goes into, exists: every missing level of
// the path is created in turn. Paths are UTF-8 in either separator form.
#pragma once

class LogBase;
class StringBuffer;

// An empty path succeeds. Logs the first prefix that could not be made.
bool ensureDirectory(const char* path, LogBase* log);
// Ensures everything before the last separator; a path without one (or only a leading one)
// succeeds at once. parentDir, when given, receives the directory tried ('\' form), so that a
// caller can report it.
bool ensureParentDirectory(const char* filePath, LogBase* log, StringBuffer* parentDir = nullptr);
