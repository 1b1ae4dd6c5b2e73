// The progress dialog as a Win32 dialog built from resource template 102: the text, the
// progress bar (control 1000), icon 128, timers through SetTimer, and a modal loop of its own
// so that Enter and Escape can bypass the dialog's keyboard handling.
#include "launcher/DialogWindow.h"

#include <windows.h>
#include <commctrl.h>

#include <map>
#include <string>
#include <utility>

#include "base/PathsWin.h"
#include "launcher/QuilletResources.h"

struct DialogWindow::State {
    DialogWindowEvents* events = nullptr;
    HWND dialog = nullptr;
    HWND progress = nullptr;
    HICON icon = nullptr;
    bool ended = false;
    int result = 0;
    // Without a window (no desktop to create it on) the timers are the thread's own, under
    // identifiers the system chooses: system identifier -> ours.
    std::map<UINT_PTR, unsigned> threadTimers;
};

namespace {

void paintMinimisedIcon(HWND dialog, HICON icon) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(dialog, &ps);
    SendMessageW(dialog, WM_ICONERASEBKGND, WPARAM(dc), 0);
    int cx = GetSystemMetrics(SM_CXICON), cy = GetSystemMetrics(SM_CYICON);
    RECT rect;
    GetClientRect(dialog, &rect);
    DrawIcon(dc, (rect.right - rect.left - cx + 1) / 2, (rect.bottom - rect.top - cy + 1) / 2, icon);
    EndPaint(dialog, &ps);
}

INT_PTR CALLBACK dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<DialogWindow::State*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG:
            state = reinterpret_cast<DialogWindow::State*>(lParam);
            SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            state->dialog = dialog;
            state->progress = GetDlgItem(dialog, kIdProgressBar);
            SendMessageW(dialog, WM_SETICON, ICON_BIG, LPARAM(state->icon));
            SendMessageW(dialog, WM_SETICON, ICON_SMALL, LPARAM(state->icon));
            return TRUE;
        case WM_TIMER:
            if (state) state->events->onTimer(unsigned(wParam));
            return FALSE;
        case WM_PAINT:
            if (!state || !IsIconic(dialog)) return FALSE;
            paintMinimisedIcon(dialog, state->icon);
            return TRUE;
        case WM_QUERYDRAGICON: return state ? INT_PTR(state->icon) : 0;
        case WM_COMMAND:
            // No button, key or frame command closes the dialog: only the close timer does.
            return LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL;
        case WM_CLOSE: return TRUE;
        default: return FALSE;
    }
}

DWORD WINAPI threadEntry(LPVOID parameter) {
    auto* start = static_cast<std::pair<unsigned (*)(void*), void*>*>(parameter);
    auto [proc, arg] = *start;
    delete start;
    return proc(arg);
}

}  // namespace

DialogWindow::DialogWindow(DialogWindowEvents& events) : m_state(new State) {
    m_state->events = &events;
    m_state->icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kIdIcon));
}

DialogWindow::~DialogWindow() {
    if (m_state->dialog) DestroyWindow(m_state->dialog);
    delete m_state;
}

bool DialogWindow::create(const char*, const char*) {
    // Title, text and layout come from the template. Should the dialog fail to appear, the
    // sequence runs all the same, on thread timers (startTimer).
    CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kIdDialog), nullptr, dialogProc, LPARAM(m_state));
    return m_state->dialog != nullptr;
}

bool DialogWindow::hasWindow() const { return m_state->dialog != nullptr; }

void DialogWindow::setProgressRange(int low, int high) {
    SendMessageW(m_state->progress, PBM_SETRANGE, 0, MAKELPARAM(low, high));
}

void DialogWindow::startTimer(unsigned id, unsigned periodMs) {
    if (m_state->dialog) {
        SetTimer(m_state->dialog, id, periodMs, nullptr);
        return;
    }
    killTimer(id);
    if (UINT_PTR timer = SetTimer(nullptr, 0, periodMs, nullptr)) m_state->threadTimers[timer] = id;
}

void DialogWindow::killTimer(unsigned id) {
    if (m_state->dialog) {
        KillTimer(m_state->dialog, id);
        return;
    }
    for (auto it = m_state->threadTimers.begin(); it != m_state->threadTimers.end(); ++it) {
        if (it->second != id) continue;
        KillTimer(nullptr, it->first);
        m_state->threadTimers.erase(it);
        return;
    }
}

// Enter and Escape skip IsDialogMessageW (the dialog's own keyboard handling, which would
// press the default button or cancel) and go to the focused control, which ignores them.
int DialogWindow::runModal() {
    MSG msg;
    while (!m_state->ended && GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER && !msg.hwnd) {
            auto timer = m_state->threadTimers.find(msg.wParam);
            if (timer != m_state->threadTimers.end()) m_state->events->onTimer(timer->second);
            continue;
        }
        bool swallowed = msg.message == WM_KEYDOWN && m_state->events->onKeyDown(unsigned(msg.wParam));
        if (!swallowed && m_state->dialog && IsDialogMessageW(m_state->dialog, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    if (m_state->dialog) DestroyWindow(m_state->dialog);
    m_state->dialog = nullptr;
    m_state->progress = nullptr;
    return m_state->result;
}

void DialogWindow::endModal(int result) {
    m_state->result = result;
    m_state->ended = true;
    if (m_state->dialog) PostMessageW(m_state->dialog, WM_NULL, 0, 0);
}

// SendMessageW from another thread waits until the interface thread has moved the bar.
void DialogWindow::setProgressPos(int pos) { SendMessageW(m_state->progress, PBM_SETPOS, WPARAM(pos), 0); }

void DialogWindow::hide() { ShowWindow(m_state->dialog, SW_HIDE); }

void DialogWindow::showMessage(const char* title, const char* text) {
    if (!m_state->dialog) return;
    MessageBoxW(m_state->dialog, utf8ToWide(text).c_str(), utf8ToWide(title).c_str(), MB_OK | MB_ICONERROR);
}

bool DialogWindow::startThread(unsigned (*proc)(void*), void* arg) {
    auto* start = new std::pair<unsigned (*)(void*), void*>(proc, arg);
    HANDLE thread = CreateThread(nullptr, 0, threadEntry, start, 0, nullptr);
    if (!thread) {
        delete start;
        return false;
    }
    CloseHandle(thread);
    return true;
}

// The common controls for the progress bar (all eight classes, as the application asks), and
// the application's name; no settings are stored under it.
bool dialogPlatformStart(const char* applicationName) {
    INITCOMMONCONTROLSEX controls = {8, 0xFF};
    InitCommonControlsEx(&controls);
    static std::string name;
    name = applicationName ? applicationName : "";
    return true;
}
