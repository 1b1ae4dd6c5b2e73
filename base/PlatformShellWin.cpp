// Win32 shell and process services of the launcher.
#include "base/PlatformShell.h"

#include <aclapi.h>
#include <shlobj.h>

#include <vector>

#include "base/PathsWin.h"
#include "base/PlatformFiles.h"

namespace {

// A security descriptor whose DACL admits the current user alone (full control, inherited by
// everything created below), so that no other account can read, plant or swap files in it.
class OwnerOnlySecurity {
public:
    OwnerOnlySecurity() {
        HANDLE token = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return;
        DWORD size = 0;
        GetTokenInformation(token, TokenUser, nullptr, 0, &size);
        m_user.resize(size);
        bool ok = size && GetTokenInformation(token, TokenUser, m_user.data(), size, &size);
        CloseHandle(token);
        if (!ok) return;
        PSID sid = reinterpret_cast<TOKEN_USER*>(m_user.data())->User.Sid;
        EXPLICIT_ACCESSW access = {};
        access.grfAccessPermissions = GENERIC_ALL;
        access.grfAccessMode = SET_ACCESS;
        access.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
        access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
        access.Trustee.TrusteeType = TRUSTEE_IS_USER;
        access.Trustee.ptstrName = static_cast<LPWSTR>(sid);
        if (SetEntriesInAclW(1, &access, nullptr, &m_acl) != ERROR_SUCCESS) return;
        InitializeSecurityDescriptor(&m_descriptor, SECURITY_DESCRIPTOR_REVISION);
        // Protected: nothing is inherited from the parent folder.
        SetSecurityDescriptorDacl(&m_descriptor, TRUE, m_acl, FALSE);
        SetSecurityDescriptorControl(&m_descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
        m_attributes = {sizeof m_attributes, &m_descriptor, FALSE};
        m_ready = true;
    }
    ~OwnerOnlySecurity() {
        if (m_acl) LocalFree(m_acl);
    }
    SECURITY_ATTRIBUTES* attributes() { return m_ready ? &m_attributes : nullptr; }
    bool ready() const { return m_ready; }

private:
    std::vector<char> m_user;
    PACL m_acl = nullptr;
    SECURITY_DESCRIPTOR m_descriptor{};
    SECURITY_ATTRIBUTES m_attributes{};
    bool m_ready = false;
};

bool deleteTreeW(const std::wstring& path);

// Removes what lies below dir. A reparse point (junction, symbolic link) is removed itself and
// never entered, so the walk cannot leave the tree.
bool deleteChildren(const std::wstring& dir) {
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((dir + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
    bool ok = true;
    do {
        std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        ok = deleteTreeW(dir + L"\\" + name) && ok;
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return ok;
}

bool deleteTreeW(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return GetLastError() == ERROR_FILE_NOT_FOUND;
    // Read-only entries would refuse deletion; the tree is ours to remove.
    if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    bool isDir = attributes & FILE_ATTRIBUTE_DIRECTORY;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return isDir ? RemoveDirectoryW(path.c_str()) != 0 : DeleteFileW(path.c_str()) != 0;
    if (!isDir) return DeleteFileW(path.c_str()) != 0;
    bool ok = deleteChildren(path);
    return RemoveDirectoryW(path.c_str()) != 0 && ok;
}

}  // namespace

// GetModuleFileNameW of this process's module, opened for reading and shared for reading.
int platformOpenSelfExe() {
    wchar_t path[MAX_PATH] = {};
    if (GetModuleFileNameW(GetModuleHandleW(nullptr), path, MAX_PATH) == 0) return -1;
    HANDLE h = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    return handleToFd(h);
}

std::string platformLocalAppDataDir() {
    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path))) return std::string();
    return wideToUtf8(path);
}

// FindFirstFileW on the path itself: a folder is one whose entry carries the directory bit.
bool platformIsDirectory(const char* path) {
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(winPath(path).c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return false;
    FindClose(find);
    return (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Windows has no mount option that keeps programs from starting.
bool platformIsNoexecMount(const char*) { return false; }

int platformCreatePrivateFile(const char* path) {
    OwnerOnlySecurity security;
    if (!security.ready()) return -1;
    HANDLE h = CreateFileW(winPath(path).c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, security.attributes(), CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    return handleToFd(h);
}

bool platformCreatePrivateDirectory(const char* path) {
    OwnerOnlySecurity security;
    return security.ready() && CreateDirectoryW(winPath(path).c_str(), security.attributes()) != 0;
}

bool platformDeleteTree(const char* path) {
    std::wstring p = winPath(path);
    while (p.size() > 3 && p.back() == L'\\') p.pop_back();
    return deleteTreeW(p);
}

// Windows decides by the name: a ".exe" needs no permission bit to start.
bool platformMakeOwnerExecutable(const char* path) { return GetFileAttributesW(winPath(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

// CreateProcessW with the program's path as its whole command line, this process's working
// directory and environment; the process handle travels as the id.
long platformStartProgram(const char* path) {
    std::wstring program = winPath(path);
    std::wstring commandLine = L"\"" + program + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOW;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return -1;
    CloseHandle(process.hThread);
    return long(HandleToLong(process.hProcess));
}

void platformWaitProgram(long pid) {
    if (pid <= 0) return;
    HANDLE process = LongToHandle(pid);
    WaitForSingleObject(process, INFINITE);
    CloseHandle(process);
}
