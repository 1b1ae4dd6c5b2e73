// The sample publication's Windows viewer, shipped as "offline.exe". It reads contents.txt
// beside its own file (the launcher starts it in the launcher's working directory, not in its
// folder): the first line is the title, then one "path<TAB>chapter title" line per page. It
// shows the chapters in a list and the selected page beside it; closing the window ends it.
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int kIdList = 1;
constexpr int kIdPage = 2;

struct Chapter {
    std::wstring path;
    std::wstring title;
};

struct Publication {
    std::wstring folder;
    std::wstring title;
    std::vector<Chapter> chapters;
};

Publication g_pub;
HWND g_list, g_page;

std::wstring widen(const std::string& text) {
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring out(std::size_t(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), out.data(), n);
    return out;
}

std::wstring ownFolder() {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path = self;
    std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? L"." : path.substr(0, slash);
}

std::string readFile(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return in ? text.str() : std::string();
}

bool load(Publication& pub) {
    pub.folder = ownFolder();
    std::istringstream in(readFile(pub.folder + L"\\contents.txt"));
    std::string line;
    if (!std::getline(in, line)) return false;
    pub.title = widen(line);
    while (std::getline(in, line)) {
        std::size_t tab = line.find('\t');
        if (tab != std::string::npos) pub.chapters.push_back({widen(line.substr(0, tab)), widen(line.substr(tab + 1))});
    }
    return true;
}

// The page's text with the line ends an edit control needs.
std::wstring pageText(const Chapter& chapter) {
    std::wstring path = g_pub.folder + L"\\" + chapter.path;
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    std::wstring text = widen(readFile(path)), out;
    if (text.empty()) return L"(this page is missing)";
    for (wchar_t c : text) {
        if (c == L'\n') out += L'\r';
        if (c != L'\r') out += c;
    }
    return out;
}

void showChapter(int index) {
    if (index < 0 || std::size_t(index) >= g_pub.chapters.size()) return;
    SetWindowTextW(g_page, pageText(g_pub.chapters[std::size_t(index)]).c_str());
}

void layout(HWND window) {
    RECT r;
    GetClientRect(window, &r);
    MoveWindow(g_list, 0, 0, 220, r.bottom, TRUE);
    MoveWindow(g_page, 224, 0, r.right - 224, r.bottom, TRUE);
}

void createChildren(HWND window) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    g_list = CreateWindowExW(WS_EX_CLIENTEDGE, L"LISTBOX", nullptr, WS_CHILD | WS_VISIBLE | WS_VSCROLL | LBS_NOTIFY, 0,
                             0, 0, 0, window, HMENU(INT_PTR(kIdList)), instance, nullptr);
    g_page = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", nullptr,
                             WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, 0, 0, 0,
                             0, window, HMENU(INT_PTR(kIdPage)), instance, nullptr);
    HFONT font = HFONT(GetStockObject(DEFAULT_GUI_FONT));
    SendMessageW(g_list, WM_SETFONT, WPARAM(font), TRUE);
    SendMessageW(g_page, WM_SETFONT, WPARAM(font), TRUE);
    for (const Chapter& chapter : g_pub.chapters) SendMessageW(g_list, LB_ADDSTRING, 0, LPARAM(chapter.title.c_str()));
    SendMessageW(g_list, LB_SETCURSEL, 0, 0);
    showChapter(0);
}

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE: createChildren(window); return 0;
        case WM_SIZE: layout(window); return 0;
        case WM_COMMAND:
            if (LOWORD(wParam) == kIdList && HIWORD(wParam) == LBN_SELCHANGE)
                showChapter(int(SendMessageW(g_list, LB_GETCURSEL, 0, 0)));
            return 0;
        case WM_DESTROY: PostQuitMessage(0); return 0;
        default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    if (!load(g_pub)) {
        MessageBoxW(nullptr, L"No contents.txt beside the viewer.", L"offline.exe", MB_ICONERROR);
        return 1;
    }
    WNDCLASSW wc = {};
    wc.lpfnWndProc = windowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    wc.hbrBackground = HBRUSH(COLOR_WINDOW + 1);
    wc.lpszClassName = L"VelmoraOfflineViewer";
    RegisterClassW(&wc);
    HWND window = CreateWindowExW(0, wc.lpszClassName, g_pub.title.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                  CW_USEDEFAULT, 760, 420, nullptr, nullptr, instance, nullptr);
    ShowWindow(window, show);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
