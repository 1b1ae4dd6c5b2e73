// SHA-256 through the system's BCrypt.
#include <windows.h>

#include <bcrypt.h>

#include "crypto/Sha256.h"

namespace {

struct Digest {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
};

bool ok(NTSTATUS status) { return status >= 0; }

void release(Digest* d) {
    if (d->hash) BCryptDestroyHash(d->hash);
    if (d->algorithm) BCryptCloseAlgorithmProvider(d->algorithm, 0);
    delete d;
}

}  // namespace

Sha256::Sha256() {
    auto* d = new Digest;
    if (ok(BCryptOpenAlgorithmProvider(&d->algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) &&
        ok(BCryptCreateHash(d->algorithm, &d->hash, nullptr, 0, nullptr, 0, 0)))
        m_state = d;
    else release(d);
}

Sha256::~Sha256() {
    if (m_state) release(static_cast<Digest*>(m_state));
}

void Sha256::update(const void* data, std::size_t size) {
    auto* d = static_cast<Digest*>(m_state);
    auto* bytes = static_cast<PUCHAR>(const_cast<void*>(data));
    // BCryptHashData takes 32-bit lengths.
    while (d && size > 0) {
        ULONG chunk = size > 0x40000000 ? 0x40000000 : ULONG(size);
        BCryptHashData(d->hash, bytes, chunk, 0);
        bytes += chunk;
        size -= chunk;
    }
}

bool Sha256::finish(std::uint8_t digest[kSize]) {
    auto* d = static_cast<Digest*>(m_state);
    if (!d) return false;
    bool done = ok(BCryptFinishHash(d->hash, digest, ULONG(kSize), 0));
    release(d);
    m_state = nullptr;
    return done;
}
