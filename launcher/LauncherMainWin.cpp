// Entry point of quillet-offline.exe: a GUI program without a console.
#include <windows.h>

#include "launcher/CBorvaneApp.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    CBorvaneApp app;
    app.InitInstance();
    return 0;
}
