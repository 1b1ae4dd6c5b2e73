// Text and path conversions of the Win32 platform files.
#include "base/PathsWin.h"

#include <vector>

std::wstring utf8ToWide(const std::string& text) {
    if (text.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring out(std::size_t(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), out.data(), n);
    return out;
}

std::string wideToUtf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(std::size_t(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

namespace {

std::wstring fullPathName(const std::wstring& path) {
    DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (n == 0) return path;
    std::vector<wchar_t> buffer(n + 1);
    n = GetFullPathNameW(path.c_str(), DWORD(buffer.size()), buffer.data(), nullptr);
    return n == 0 || n >= buffer.size() ? path : std::wstring(buffer.data(), n);
}

}  // namespace

std::wstring winPath(const char* libraryPath) {
    std::wstring path = utf8ToWide(libraryPath ? libraryPath : "");
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    if (path.size() < MAX_PATH || path.rfind(L"\\\\?\\", 0) == 0) return path;
    std::wstring full = fullPathName(path);
    if (full.rfind(L"\\\\?\\", 0) == 0) return full;
    if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC" + full.substr(1);
    return L"\\\\?\\" + full;
}
