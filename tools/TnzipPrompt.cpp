#include "TnzipPrompt.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>
#endif

#include <csignal>
#include <cstdio>
#include <string>

namespace tnzip {

#ifdef _WIN32

// The console's own input and output, whatever standard input and output are redirected to.
bool askPassword(const std::string& prompt, std::string& password) {
    HANDLE in = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
    HANDLE out = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
    DWORD mode = 0;
    bool ok = in != INVALID_HANDLE_VALUE && out != INVALID_HANDLE_VALUE && GetConsoleMode(in, &mode);
    if (ok) {
        // The prompt and the answer as UTF-16, so that any name and password survive.
        auto wide = [](const std::string& s) {
            int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), int(s.size()), nullptr, 0);
            std::wstring w(std::size_t(n > 0 ? n : 0), L'\0');
            if (n > 0) MultiByteToWideChar(CP_UTF8, 0, s.data(), int(s.size()), w.data(), n);
            return w;
        };
        const std::wstring text = wide(prompt);
        DWORD written = 0;
        WriteConsoleW(out, text.data(), DWORD(text.size()), &written, nullptr);
        SetConsoleMode(in, (mode | ENABLE_LINE_INPUT | ENABLE_PROCESSED_INPUT) & ~DWORD(ENABLE_ECHO_INPUT));
        std::wstring line;
        wchar_t c = 0;
        DWORD got = 0;
        while ((ok = ReadConsoleW(in, &c, 1, &got, nullptr) && got == 1) && c != L'\n' && line.size() < 1024)
            if (c != L'\r') line += c;
        SetConsoleMode(in, mode);
        WriteConsoleW(out, L"\r\n", 2, &written, nullptr);
        int n = WideCharToMultiByte(CP_UTF8, 0, line.data(), int(line.size()), nullptr, 0, nullptr, nullptr);
        password.assign(std::size_t(n > 0 ? n : 0), '\0');
        if (n > 0) WideCharToMultiByte(CP_UTF8, 0, line.data(), int(line.size()), password.data(), n, nullptr, nullptr);
        SecureZeroMemory(line.data(), line.size() * sizeof(wchar_t));
    }
    if (in != INVALID_HANDLE_VALUE) CloseHandle(in);
    if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
    return ok;
}

#else

namespace {
int g_tty = -1;
struct termios g_saved;

// Ctrl+C at the prompt must not leave the terminal without echo.
extern "C" void restoreAndRaise(int sig) {
    tcsetattr(g_tty, TCSAFLUSH, &g_saved);
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}
}  // namespace

bool askPassword(const std::string& prompt, std::string& password) {
    const int tty = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (tty < 0) return false;
    struct termios saved;
    if (tcgetattr(tty, &saved) != 0) {
        close(tty);
        return false;
    }
    g_tty = tty;
    g_saved = saved;
    auto oldInt = std::signal(SIGINT, restoreAndRaise);
    auto oldTerm = std::signal(SIGTERM, restoreAndRaise);
    struct termios quiet = saved;
    quiet.c_lflag &= ~tcflag_t(ECHO);
    quiet.c_lflag |= ICANON | ECHONL;
    bool ok = tcsetattr(tty, TCSAFLUSH, &quiet) == 0 && write(tty, prompt.data(), prompt.size()) >= 0;
    std::string line;
    char c = 0;
    ssize_t got = 0;
    while (ok && (got = read(tty, &c, 1)) == 1 && c != '\n' && line.size() < 1024)
        if (c != '\r') line += c;
    ok = ok && got == 1;
    tcsetattr(tty, TCSAFLUSH, &saved);
    std::signal(SIGINT, oldInt);
    std::signal(SIGTERM, oldTerm);
    close(tty);
    password = line;
    return ok;
}

#endif

}  // namespace tnzip
