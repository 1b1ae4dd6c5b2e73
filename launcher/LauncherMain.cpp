// Entry point of quillet-offline.
#include <string>
#include <vector>

#include "launcher/CBorvaneApp.h"
#include "launcher/LauncherInterrupts.h"
#include "launcher/LauncherOptions.h"
#include "launcher/LauncherOutcome.h"
#include "launcher/LauncherSequence.h"

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    if (LauncherOptions::isOption(arguments)) return LauncherOptions::run(arguments);
    SetViewerArguments(arguments);
    // Before the toolkit or the worker start threads, so that only the watcher sees interrupts.
    LauncherInterrupts::watch();
    CBorvaneApp app;
    app.InitInstance();
    LauncherInterrupts::endIfInterrupted();
    return LauncherOutcome::finish();
}
