// The launch's recorded end.
#include "launcher/LauncherOutcome.h"

#include <atomic>
#include <cstdint>

namespace {

// Written by the worker before it clears the dialog's busy flag, read after the dialog closed.
std::atomic<std::uint32_t> g_status{0};
std::atomic<int> g_signal{0};

}  // namespace

int LauncherOutcome::statusOf(LaunchFailure failure) {
    switch (failure) {
        case LaunchFailure::kNone: return 0;
        case LaunchFailure::kDamaged: return 65;
        case LaunchFailure::kSelfUnreadable: return 66;
        case LaunchFailure::kNoTempFolder: return 73;
        case LaunchFailure::kWriteFailed: return 74;
        case LaunchFailure::kViewerNotStarted: return 126;
    }
    return 1;
}

const char* LauncherOutcome::sentence(LaunchFailure failure) {
    switch (failure) {
        case LaunchFailure::kNone: return "";
        case LaunchFailure::kDamaged:
            return "This publication is damaged and cannot be opened. Please get a new copy of it.";
        case LaunchFailure::kSelfUnreadable:
            return "This publication cannot read its own file, so it cannot be opened.";
        case LaunchFailure::kNoTempFolder:
            return "The publication cannot be opened because no usable temporary folder was found.";
        case LaunchFailure::kWriteFailed:
            return "The publication cannot be unpacked because its temporary folder cannot be written (is the disk "
                   "full?).";
        case LaunchFailure::kViewerNotStarted: return "The publication's viewer cannot be started.";
    }
    return "";
}

void LauncherOutcome::recordFailure(LaunchFailure failure) { g_status = statusOf(failure); }

void LauncherOutcome::recordViewerEnd(const ProgramEnd& end) {
    g_status = end.status;
    g_signal = end.signal;
}

int LauncherOutcome::finish() {
    if (int signal = g_signal.load()) platformEndBySignal(signal);
    // Windows exit codes use all 32 bits; the platform's exit takes them back as they were.
    return int(g_status.load());
}
