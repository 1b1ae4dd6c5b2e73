#include "TnzipSpool.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <random>

#ifdef _WIN32

StdinSpool::~StdinSpool() = default;
bool StdinSpool::fill(std::string& error) {
    error = "reading the archive from standard input is not supported on Windows";
    return false;
}

#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string tempFolder() {
    const char* dir = std::getenv("TMPDIR");
    return dir && *dir ? dir : "/tmp";
}

// A name nobody can guess: 96 bits from the system's random source.
std::string randomName() {
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device source;
    std::string name = "tnzip-stdin-";
    for (int i = 0; i < 20; ++i) name += kLetters[source() % 36];
    return name + ".zip";
}

bool copyAll(int from, int to) {
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = read(from, buffer, sizeof buffer);
        if (n == 0) return true;
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = write(to, buffer + done, std::size_t(n - done));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) return false;
            done += w;
        }
    }
}

}  // namespace

StdinSpool::~StdinSpool() {
    if (!m_name.empty()) unlink(m_name.c_str());
    if (m_fd >= 0) close(m_fd);
}

bool StdinSpool::fill(std::string& error) {
    const std::string folder = tempFolder();
#ifdef O_TMPFILE
    // Unnamed from the start; opened again through its descriptor's path. TN_UNNAMED_FILES
    // (no-tmpfile, no-proc) takes the other way, as the library's own unnamed files do.
    const char* how = std::getenv("TN_UNNAMED_FILES");
    if (!how || !*how) m_fd = open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (m_fd >= 0) {
        m_path = "/dev/fd/" + std::to_string(m_fd);
        if (access(m_path.c_str(), R_OK) != 0) {
            close(m_fd);
            m_fd = -1;
        }
    }
#endif
    for (int attempt = 0; m_fd < 0 && attempt < 10; ++attempt) {
        m_name = folder + "/" + randomName();
        m_fd = open(m_name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (m_fd < 0 && errno != EEXIST) break;
    }
    if (m_fd < 0) {
        error = folder + ": cannot create a temporary file: " + std::strerror(errno);
        m_name.clear();
        return false;
    }
    // The library opens the archive again by path for the extraction: a descriptor's path when
    // the system has one, else the random name until the end.
    const std::string byDescriptor = "/dev/fd/" + std::to_string(m_fd);
    if (!m_name.empty() && access(byDescriptor.c_str(), R_OK) == 0) {
        unlink(m_name.c_str());
        m_name.clear();
        m_path = byDescriptor;
    } else if (!m_name.empty()) {
        m_path = m_name;
    }
    if (!copyAll(STDIN_FILENO, m_fd)) {
        error = std::string("-: cannot copy standard input: ") + std::strerror(errno);
        return false;
    }
    return true;
}

#endif
