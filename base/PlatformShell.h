// The shell and process services the launcher needs: its own executable, the user's folders,
// private creation of its temporary archive and folder below an open folder handle, deleting a
// tree, starting a program from a held folder, passing interrupts on, and the system's random
// source. Paths are '/' (or '\') UTF-8 paths; failures return false or -1.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A folder held open: what is created, started or deleted through it stays in that folder
// whatever later happens to the folder's name. -1 is no folder.
using PlatformFolder = std::intptr_t;
constexpr PlatformFolder kNoFolder = -1;

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
// True when this user may create entries in the directory.
bool platformIsWritableFolder(const char* path);
// True when other users may rename or replace what this user creates in the directory: it is
// writable by everyone, not sticky, and belongs to someone else.
bool platformIsOpenToOthers(const char* path);

// Fills the buffer from the operating system's random source; false when it cannot.
bool platformRandomBytes(void* buffer, std::size_t count);

// An existing folder opened as a handle (links in the path are followed), or kNoFolder.
PlatformFolder platformOpenFolder(const char* path);
void platformCloseFolder(PlatformFolder folder);

// A new file named name inside folder, exclusive (an existing name fails, a symbolic link
// too), open for reading and writing by the owner only. Returns the descriptor, or -1 with
// exists telling whether the name was already taken.
int platformCreatePrivateFileIn(PlatformFolder folder, const char* name, bool& exists);
// A new folder named name inside folder, mode 0700, held open. Returns kNoFolder, with exists
// telling whether the name was already taken, also when what got opened is not the folder just
// made (another user replaced it in between).
PlatformFolder platformCreatePrivateFolderIn(PlatformFolder folder, const char* name, bool& exists);
// True while name inside folder is still the very file or folder that handle holds.
bool platformIsSameEntry(PlatformFolder folder, const char* name, std::intptr_t handle);
// Removes name from folder, only while it is still what handle holds (a folder must be empty).
bool platformRemoveEntryIfSame(PlatformFolder folder, const char* name, std::intptr_t handle);
// A path through which any program of this process reaches exactly what the handle holds,
// even after its name has been moved; name is the entry's path as created.
std::string platformHandlePath(std::intptr_t handle, const std::string& name);

// Deletes everything inside the held folder. Symbolic links are removed, never followed.
// True when nothing is left in it.
bool platformDeleteFolderContent(PlatformFolder folder);

// Adds the owner's execute permission to the regular file name inside folder (never through a
// symbolic link).
bool platformMakeOwnerExecutableIn(PlatformFolder folder, const char* name);
// Starts the program name found in folder, with shownPath as its first argument and then
// arguments, working in that folder, with this process's environment and the default reaction
// to every signal. Returns the process id, or -1 when it could not start.
long platformStartProgramIn(PlatformFolder folder, const char* name, const char* shownPath,
                            const std::vector<std::string>& arguments = {});
// How a started program ended: its exit status, or the signal that ended it.
struct ProgramEnd {
    std::uint32_t status = 0;
    int signal = 0;  // 0 when it exited by itself
};
// Waits until the started program has ended; a negative id returns at once. The id stays
// reserved for the ended program until platformReleaseProgram, which tells how it ended.
void platformWaitProgram(long pid);
ProgramEnd platformReleaseProgram(long pid);

// The interrupts a user or the system sends to end a program (Ctrl+C, termination, hang-up).
// Must be called before any other thread starts: from then on they no longer end the process
// but call handler on a thread of its own, with fromTerminal true when the terminal sent it to
// every program in the foreground (so a program started from here got it already).
bool platformWatchInterrupts(void (*handler)(int signal, bool fromTerminal));
// Passes an interrupt on to a started program.
bool platformSignalProgram(long pid, int signal);
// Ends this process as the interrupt would have ended it.
[[noreturn]] void platformEndByInterrupt(int signal);
// Ends this process by the signal that ended a started program, without a core dump of its own.
[[noreturn]] void platformEndBySignal(int signal);
// Tests only: when $QUILLET_TEST_STOP_AT is name, stops this process until it is continued, so
// that a test can act at that exact step. Does nothing otherwise.
void platformTestStop(const char* name);
