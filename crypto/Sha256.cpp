// SHA-256 through libgcrypt.
#include "crypto/Sha256.h"

#include <gcrypt.h>

#include <cstring>

#include "crypto/GcryptInit.h"

Sha256::Sha256() {
    gcry_md_hd_t md = nullptr;
    if (GcryptInit::ready() && gcry_md_open(&md, GCRY_MD_SHA256, 0) == 0) m_state = md;
}

Sha256::~Sha256() {
    if (m_state) gcry_md_close(static_cast<gcry_md_hd_t>(m_state));
}

void Sha256::update(const void* data, std::size_t size) {
    if (m_state && size) gcry_md_write(static_cast<gcry_md_hd_t>(m_state), data, size);
}

bool Sha256::finish(std::uint8_t digest[kSize]) {
    if (!m_state) return false;
    const unsigned char* result = gcry_md_read(static_cast<gcry_md_hd_t>(m_state), GCRY_MD_SHA256);
    if (!result) return false;
    std::memcpy(digest, result, kSize);
    gcry_md_close(static_cast<gcry_md_hd_t>(m_state));
    m_state = nullptr;
    return true;
}
