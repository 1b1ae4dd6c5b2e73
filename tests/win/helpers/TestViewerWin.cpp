// A stand-in for a publication's offline.exe on Windows. It records, in the file named by
// %QUILLET_TEST_RECORD%, that it ran, its own path and working directory, what the launcher's
// dialog looks like at that moment (found, visible, styles, title, text, progress position and
// range) and every file below its own folder with its size. It stays
// %QUILLET_TEST_SLEEP_MS% milliseconds.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string utf8(const std::wstring& text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(std::size_t(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring windowText(HWND w) {
    wchar_t text[512] = {};
    GetWindowTextW(w, text, 512);
    return text;
}

void listFiles(FILE* out, const std::wstring& root, const std::wstring& relative) {
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((root + L"\\" + relative + L"*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            listFiles(out, root, relative + name + L"\\");
        } else {
            unsigned long long size = (unsigned long long)(found.nFileSizeHigh) << 32 | found.nFileSizeLow;
            std::fprintf(out, "file=%s %llu\n", utf8(relative + name).c_str(), size);
        }
    } while (FindNextFileW(find, &found));
    FindClose(find);
}

void recordDialog(FILE* out) {
    HWND dialog = FindWindowW(nullptr, L"Quillet Offline Publication");
    std::fprintf(out, "dialog.found=%d\n", dialog != nullptr);
    if (!dialog) return;
    std::fprintf(out, "dialog.visible=%d\n", IsWindowVisible(dialog) ? 1 : 0);
    std::fprintf(out, "dialog.style=0x%08lx\n", (unsigned long)GetWindowLongW(dialog, GWL_STYLE));
    std::fprintf(out, "dialog.exstyle=0x%08lx\n", (unsigned long)GetWindowLongW(dialog, GWL_EXSTYLE));
    wchar_t cls[64] = {};
    GetClassNameW(dialog, cls, 64);
    std::fprintf(out, "dialog.class=%s\n", utf8(cls).c_str());
    HWND bar = GetDlgItem(dialog, 1000);
    std::fprintf(out, "progress.pos=%d\n", bar ? int(SendMessageW(bar, PBM_GETPOS, 0, 0)) : -1);
    std::fprintf(out, "progress.high=%d\n", bar ? int(SendMessageW(bar, PBM_GETRANGE, FALSE, 0)) : -1);
    std::fprintf(out, "progress.style=0x%08lx\n", bar ? (unsigned long)GetWindowLongW(bar, GWL_STYLE) : 0ul);
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        GetClassNameW(child, cls, 64);
        if (lstrcmpiW(cls, L"Static") == 0) std::fprintf(out, "dialog.text=%s\n", utf8(windowText(child)).c_str());
    }
    // The keys as the keyboard delivers them, to the focused control and to the dialog. The
    // launcher keeps its dialog until this program has ended, so only the keys could close it.
    for (HWND target : {bar, dialog}) {
        for (UINT key : {VK_RETURN, VK_ESCAPE}) {
            PostMessageW(target, WM_KEYDOWN, key, 1);
            PostMessageW(target, WM_KEYUP, key, 0xC0000001);
        }
    }
    Sleep(300);
    std::fprintf(out, "dialog.afterkeys=%d\n", IsWindow(dialog) ? 1 : 0);
}

}  // namespace

int main(int argc, char** argv) {
    const wchar_t* recordPath = _wgetenv(L"QUILLET_TEST_RECORD");
    if (!recordPath) return 2;
    FILE* out = _wfopen(recordPath, L"w");
    if (!out) return 2;
    wchar_t self[MAX_PATH] = {}, cwd[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    GetCurrentDirectoryW(MAX_PATH, cwd);
    std::fprintf(out, "ran=1\nself=%s\ncwd=%s\n", utf8(self).c_str(), utf8(cwd).c_str());
    for (int i = 1; i < argc; ++i) std::fprintf(out, "arg%d=%s\n", i, argv[i]);
    recordDialog(out);
    std::wstring folder = self;
    folder = folder.substr(0, folder.find_last_of(L'\\'));
    listFiles(out, folder, L"");
    std::fclose(out);
    const wchar_t* sleep = _wgetenv(L"QUILLET_TEST_SLEEP_MS");
    if (sleep) Sleep(DWORD(_wtoi(sleep)));
    const wchar_t* status = _wgetenv(L"QUILLET_TEST_EXIT");
    return status ? _wtoi(status) : 0;
}
