// The stamped payload's digest, checked on a thread of its own.
#include "launcher/PayloadDigest.h"

#include <cstring>
#include <system_error>
#include <vector>

#include "base/PlatformFiles.h"
#include "crypto/Sha256.h"
#include "launcher/LauncherInterrupts.h"
#include "launcher/StubLength.h"

namespace {

bool digestOf(const std::string& path) {
    int fd = platformOpenFile(path.c_str(), PlatformOpen::Read);
    if (fd < 0) return false;
    Sha256 hash;
    std::vector<char> buffer(1 << 20);
    std::uint64_t total = 0;
    std::uint32_t got = 0;
    while (hash.ready() && !LauncherInterrupts::interrupted() &&
           platformRead(fd, buffer.data(), std::uint32_t(buffer.size()), got) && got > 0) {
        hash.update(buffer.data(), got);
        total += got;
    }
    platformCloseFile(fd);
    std::uint8_t digest[Sha256::kSize], stamped[Sha256::kSize];
    stampedPayloadSha256(stamped);
    return total == stampedPayloadLength() && hash.finish(digest) && std::memcmp(digest, stamped, Sha256::kSize) == 0;
}

}  // namespace

PayloadDigest::~PayloadDigest() {
    if (m_thread.joinable()) m_thread.join();
}

// Without a thread the check runs at once: slower, never skipped.
void PayloadDigest::start(const std::string& path) {
    m_started = true;
    try {
        m_thread = std::thread([this, path] { m_match = digestOf(path); });
    } catch (const std::system_error&) {
        m_match = digestOf(path);
    }
}

bool PayloadDigest::matches() {
    if (m_thread.joinable()) m_thread.join();
    return m_started && m_match;
}
