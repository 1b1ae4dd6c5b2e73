// Entry point of quillet-offline.exe: a GUI program without a console.
#include <windows.h>

#include "launcher/CBorvaneApp.h"
#include "launcher/LauncherInterrupts.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // Console events (Ctrl+C when started from one) stop the sequence and clean up.
    LauncherInterrupts::watch();
    CBorvaneApp app;
    app.InitInstance();
    LauncherInterrupts::endIfInterrupted();
    return 0;
}
