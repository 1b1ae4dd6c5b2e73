// Entry point of quillet-offline.exe: a GUI program without a console of its own.
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/PathsWin.h"
#include "launcher/CBorvaneApp.h"
#include "launcher/LauncherInterrupts.h"
#include "launcher/LauncherOptions.h"
#include "launcher/LauncherOutcome.h"
#include "launcher/LauncherSequence.h"

namespace {

// The command line after the program's name, as UTF-8.
std::vector<std::string> commandArguments() {
    int count = 0;
    LPWSTR* words = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int i = 1; words && i < count; ++i) arguments.push_back(wideToUtf8(words[i]));
    if (words) LocalFree(words);
    return arguments;
}

// Started from a console, the options' output and the launcher's sentences go there; a
// redirected standard output or error is kept as it is.
void useParentConsole() {
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
    if (GetFileType(GetStdHandle(STD_OUTPUT_HANDLE)) == FILE_TYPE_UNKNOWN) std::freopen("CONOUT$", "w", stdout);
    if (GetFileType(GetStdHandle(STD_ERROR_HANDLE)) == FILE_TYPE_UNKNOWN) std::freopen("CONOUT$", "w", stderr);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    useParentConsole();
    std::vector<std::string> arguments = commandArguments();
    if (LauncherOptions::isOption(arguments)) return LauncherOptions::run(arguments);
    SetViewerArguments(arguments);
    // Console events (Ctrl+C when started from one) stop the sequence and clean up.
    LauncherInterrupts::watch();
    CBorvaneApp app;
    app.InitInstance();
    LauncherInterrupts::endIfInterrupted();
    return LauncherOutcome::finish();
}
