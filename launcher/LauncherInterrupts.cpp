// Interrupt requests shared between the watcher thread and the worker.
#include "launcher/LauncherInterrupts.h"

#include <mutex>

#include "launcher/LauncherWorkspace.h"

namespace {

// One lock orders a request against the viewer's start: a request either stops the start or
// finds the started viewer to pass itself on to.
std::mutex g_lock;
int g_received = 0;
long g_viewer = -1;

}  // namespace

bool LauncherInterrupts::watch() { return platformWatchInterrupts(onInterrupt); }

int LauncherInterrupts::received() {
    std::lock_guard<std::mutex> hold(g_lock);
    return g_received;
}

void LauncherInterrupts::onInterrupt(int signal, bool fromTerminal) {
    std::lock_guard<std::mutex> hold(g_lock);
    if (g_received == 0) g_received = signal;
    // The terminal sends its signals to every program of the foreground, the viewer included:
    // passing them on would deliver them twice.
    if (g_viewer > 0 && !fromTerminal) platformSignalProgram(g_viewer, signal);
}

bool LauncherInterrupts::runViewer(const LauncherWorkspace& workspace, const std::vector<std::string>& arguments,
                                   ProgramEnd& end) {
    long viewer;
    {
        std::lock_guard<std::mutex> hold(g_lock);
        if (g_received != 0) return false;
        viewer = g_viewer = workspace.startViewer(arguments);
    }
    if (viewer <= 0) return false;
    // Its id stays reserved until it is released, so a request never reaches another program
    // that happens to get the same id.
    platformWaitProgram(viewer);
    {
        std::lock_guard<std::mutex> hold(g_lock);
        g_viewer = -1;
    }
    end = platformReleaseProgram(viewer);
    return true;
}

void LauncherInterrupts::endIfInterrupted() {
    if (int signal = received()) platformEndByInterrupt(signal);
}
