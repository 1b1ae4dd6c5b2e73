// Private temporary files on Windows: created new under an unpredictable name, shared with no
// one, readable only by the owner, never through a reparse point, and deleted by the system when
// the handle closes, however the process ends.
#include "base/PlatformTempFile.h"

#include "base/OwnerOnlySecurityWin.h"
#include "base/PathsWin.h"
#include "base/PlatformFiles.h"
#include "base/RandomHex.h"
#include "base/TarnelHandle.h"
#include "log/LogBase.h"

namespace {
constexpr int kAttempts = 100;

// stem_<random>.ext in dir, or INVALID_HANDLE_VALUE with the error set.
HANDLE createExclusive(const std::string& dir, const std::string& base, SECURITY_ATTRIBUTES* security) {
    const std::size_t dot = base.rfind('.');
    const std::string stem = dot == std::string::npos ? base : base.substr(0, dot);
    const std::string extension = dot == std::string::npos ? ".tmp" : base.substr(dot);
    std::string suffix;
    for (int i = 0; i < kAttempts && randomHex(8, suffix); ++i) {
        const std::string path = dir + stem + "_" + suffix + extension;
        HANDLE h = CreateFileW(
            winPath(path.c_str()).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, security, CREATE_NEW,
            FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (h != INVALID_HANDLE_VALUE) return h;
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    return INVALID_HANDLE_VALUE;
}
}  // namespace

bool openPrivateTempFile(const std::string& dirText, const char* base, TarnelHandle& handle, LogBase* log) {
    std::string dir = dirText.empty() ? platformTempDir() : platformPath(dirText.c_str());
    if (!dir.empty() && dir.back() != '\\') dir += '\\';
    OwnerOnlySecurity security;
    HANDLE h = INVALID_HANDLE_VALUE;
    if (!dir.empty() && security.ready())
        h = createExclusive(dir, base && *base ? base : "x.tmp", security.attributes());
    if (h != INVALID_HANDLE_VALUE) {
        handle.attach(handleToFd(h));
        return true;
    }
    const int err = platformLastErrno();
    if (log) {
        log->logError("Failed to create a private temporary file");
        log->logData("tempDir", dir.c_str());
        log->logData("reason", platformErrorText(err).c_str());
    }
    return false;
}
