// How a launch ends: the exit status of the process and, when the launcher itself failed, the
// one sentence the reader is told.
//
// Exit statuses (README.md lists them for publishers):
//   the viewer's own status     the viewer ran; a viewer ended by a signal ends the launcher
//                               by the same signal
//   0                           a bare stub (nothing attached), or a launcher option that
//                               succeeded
//   2                           an unknown --quillet- option
//   65                          the publication is damaged; the viewer never ran
//   66                          the launcher cannot read its own file
//   73                          no usable temporary folder
//   74                          unpacking failed for want of space or a writable folder
//   126                         the viewer could not be started
// The numbers are the BSD sysexits and the shell's "cannot execute", so that a script can tell
// them from the usual viewer statuses.
#pragma once
#include "base/PlatformShell.h"

enum class LaunchFailure { kNone, kDamaged, kSelfUnreadable, kNoTempFolder, kWriteFailed, kViewerNotStarted };

class LauncherOutcome {
public:
    static constexpr int kUsage = 2;

    static int statusOf(LaunchFailure failure);
    // The sentence for the reader; empty for kNone.
    static const char* sentence(LaunchFailure failure);

    // What the process exits with: recorded once by the worker, read by main at the end.
    static void recordFailure(LaunchFailure failure);
    static void recordViewerEnd(const ProgramEnd& end);
    // Exits the process as the launch ended; returns the status when no signal is to be raised.
    static int finish();
};
