// What the launcher does when the user or the system asks it to end (Ctrl+C, termination,
// hang-up): while the viewer runs, the request is passed on to it and the launcher goes on
// waiting; otherwise the running step stops at its next check. Either way the worker then
// deletes the temporary archive and folder, and the process ends as the request asked.
#pragma once
#include <string>
#include <vector>

#include "base/PlatformShell.h"

class LauncherWorkspace;

class LauncherInterrupts {
public:
    // Takes over the requests. Call before any other thread starts.
    static bool watch();
    // The first request received, or 0.
    static int received();
    static bool interrupted() { return received() != 0; }

    // Starts the workspace's viewer with the arguments unless a request has come in, and waits
    // until it has ended; while it runs, requests are passed on to it. False when nothing was
    // started; otherwise end tells how the viewer ended.
    static bool runViewer(const LauncherWorkspace& workspace, const std::vector<std::string>& arguments,
                          ProgramEnd& end);
    // Ends the process as the first request would have, when there was one.
    static void endIfInterrupted();

    // The watcher's handler; reachable for tests.
    static void onInterrupt(int signal, bool fromTerminal);
};
