// POSIX side of whole-file reading.
#include "base/RawFileReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "base/StringBuffer.h"

RawFileReader::~RawFileReader() {
    if (m_fd >= 0) ::close(m_fd);
}

bool RawFileReader::open(const char* utf8Path) {
    if (utf8Path == nullptr || m_fd >= 0) return false;
    StringBuffer path(utf8Path);
    path.replaceChar('\\', '/');
    do {
        m_fd = ::open(path.text(), O_RDONLY | O_CLOEXEC);
    } while (m_fd < 0 && errno == EINTR);
    // Only files are loaded: a directory opens on POSIX but is not a file to read.
    struct stat st;
    if (m_fd >= 0 && (::fstat(m_fd, &st) != 0 || S_ISDIR(st.st_mode))) {
        ::close(m_fd);
        m_fd = -1;
        errno = EISDIR;
    }
    return m_fd >= 0;
}

bool RawFileReader::size(std::uint64_t& out) const {
    struct stat st;
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0) return false;
    out = static_cast<std::uint64_t>(st.st_size);
    return true;
}

std::int64_t RawFileReader::read(void* into, std::uint32_t n) {
    auto* at = static_cast<char*>(into);
    std::uint32_t done = 0;
    while (done < n) {
        // One call moves at most about 2 GB on Linux, so large reads take several.
        std::uint32_t chunk = n - done < 0x40000000u ? n - done : 0x40000000u;
        ssize_t got = ::read(m_fd, at + done, chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return -1;
        if (got == 0) break;
        done += static_cast<std::uint32_t>(got);
    }
    return done;
}

void RawFileReader::currentDir(StringBuffer& out) {
    char buf[PATH_MAX];
    if (::getcwd(buf, sizeof buf) != nullptr) out.append(buf);
}
