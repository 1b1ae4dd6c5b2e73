// SHA-256 over a stream of blocks: the publication's payload is hashed while it is copied, so
// checking it costs no second read. libgcrypt on Linux, the system's BCrypt on Windows.
#pragma once
#include <cstddef>
#include <cstdint>

class Sha256 {
public:
    static constexpr std::size_t kSize = 32;

    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    // False when the digest could not be set up; update and finish then do nothing.
    bool ready() const { return m_state != nullptr; }
    void update(const void* data, std::size_t size);
    // Writes the digest; false when it could not be computed. The object is spent afterwards.
    bool finish(std::uint8_t digest[kSize]);

private:
    void* m_state = nullptr;
};
