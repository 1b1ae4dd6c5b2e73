// Unnamed temporary files: O_TMPFILE, or an exclusive random name unlinked at once.
#include "base/PlatformTempFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>

#include "base/PlatformFiles.h"
#include "base/TarnelHandle.h"
#include "log/LogBase.h"

namespace {
constexpr int kAttempts = 100;

std::string randomSuffix() {
    std::random_device device;  // the kernel's generator: unpredictable to other users
    char text[17];
    std::snprintf(text, sizeof text, "%08x%08x", device(), device());
    return text;
}

// stem_<random>.ext in dir, or -1.
int createExclusive(const std::string& dir, const std::string& base) {
    const std::size_t dot = base.rfind('.');
    const std::string stem = dot == std::string::npos ? base : base.substr(0, dot);
    const std::string extension = dot == std::string::npos ? ".tmp" : base.substr(dot);
    for (int i = 0; i < kAttempts; ++i) {
        const std::string path = dir + stem + "_" + randomSuffix() + extension;
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::unlink(path.c_str());
            return fd;
        }
        if (errno != EEXIST) return -1;
    }
    return -1;
}
}  // namespace

bool openPrivateTempFile(const std::string& dirText, const char* base, TarnelHandle& handle, LogBase* log) {
    std::string dir = dirText.empty() ? platformTempDir() : platformPath(dirText.c_str());
    if (dir.empty()) dir = "/tmp/";
    if (dir.back() != '/') dir += '/';
    int fd = -1;
#ifdef O_TMPFILE
    fd = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_EXCL | O_CLOEXEC, 0600);
#endif
    if (fd < 0) fd = createExclusive(dir, base && *base ? base : "x.tmp");
    if (fd >= 0) {
        handle.attach(fd);
        return true;
    }
    if (log) {
        log->logError("Failed to create a private temporary file");
        log->logData("tempDir", dir.c_str());
        log->logData("reason", platformErrorText(errno).c_str());
    }
    return false;
}
