// The shell and process services the launcher needs: its own executable, the user's folders,
// private creation of its temporary archive and folder, deleting a tree, starting a program
// and waiting for it. Paths are '/' (or '\') UTF-8 paths; failures return false or -1.
#pragma once
#include <cstdint>
#include <string>

// The running executable's own file opened for reading (the file itself, whatever its name),
// or -1.
int platformOpenSelfExe();
// $XDG_CACHE_HOME when set and not empty, else $HOME/.cache (no trailing '/'); empty
// when neither can be formed.
std::string platformLocalAppDataDir();
// True when the path is a directory (symbolic links followed).
bool platformIsDirectory(const char* path);
// True when the path lies on a file system mounted noexec: programs there cannot start.
bool platformIsNoexecMount(const char* path);

// A new file, exclusive (an existing name fails, a symbolic link too) and readable and
// writable by the owner only. Returns the descriptor or -1.
int platformCreatePrivateFile(const char* path);
// A new directory with mode 0700; fails when anything exists at the path.
bool platformCreatePrivateDirectory(const char* path);
// Deletes the path and, for a directory, everything below it. Symbolic links are removed,
// never followed. True when nothing is left.
bool platformDeleteTree(const char* path);

// Adds the owner's execute permission to a regular file (never through a symbolic link).
bool platformMakeOwnerExecutable(const char* path);
// Starts the program with only its path as argument, in this process's working directory and
// environment. Returns the process id, or -1 when it could not start.
long platformStartProgram(const char* path);
// Waits until the started program has ended; a negative id returns at once.
void platformWaitProgram(long pid);
