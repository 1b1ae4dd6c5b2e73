// Entry point of quillet-offline.
#include "launcher/CBorvaneApp.h"
#include "launcher/LauncherInterrupts.h"

int main() {
    // Before the toolkit or the worker start threads, so that only the watcher sees interrupts.
    LauncherInterrupts::watch();
    CBorvaneApp app;
    app.InitInstance();
    LauncherInterrupts::endIfInterrupted();
    return 0;
}
