// WinZip AES key derivation and the counter-mode decrypt loop.
#include "crypto/WinZipAesContext.h"

#include <algorithm>
#include <cstring>

#include "crypto/GcryptInit.h"

namespace {
constexpr unsigned long kIterations = 1000;

void storeLe64(std::uint8_t* p, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
}  // namespace

WinZipAesContext::~WinZipAesContext() {
    if (m_aes) gcry_cipher_close(m_aes);
    if (m_hmac) gcry_md_close(m_hmac);
    std::memset(m_keystream, 0, sizeof m_keystream);
}

std::uint32_t WinZipAesContext::keyBytesFor(int strength) {
    switch (strength) {
        case 1:
        case 128: return 16;
        case 2:
        case 192: return 24;
        case 3:
        case 256: return 32;
        default: return 0;
    }
}

bool WinZipAesContext::init(const std::uint8_t* password, std::uint32_t passwordLength, std::uint32_t keyBytes,
                            const std::uint8_t* salt) {
    if (passwordLength > kMaxPassword || keyBytesFor(static_cast<int>(keyBytes * 8)) == 0) return false;
    if (!GcryptInit::ready() || m_aes != nullptr) return false;
    // AES key, HMAC key, 2-byte password verifier.
    std::uint8_t derived[2 * 32 + 2];
    const std::size_t derivedSize = 2 * keyBytes + kVerifierSize;
    bool ok = gcry_kdf_derive(password, passwordLength, GCRY_KDF_PBKDF2, GCRY_MD_SHA1, salt, saltSizeFor(keyBytes),
                              kIterations, derivedSize, derived) == 0;
    const int algo = keyBytes == 16 ? GCRY_CIPHER_AES128 : keyBytes == 24 ? GCRY_CIPHER_AES192 : GCRY_CIPHER_AES256;
    ok = ok && gcry_cipher_open(&m_aes, algo, GCRY_CIPHER_MODE_ECB, 0) == 0 &&
         gcry_cipher_setkey(m_aes, derived, keyBytes) == 0 &&
         gcry_md_open(&m_hmac, GCRY_MD_SHA1, GCRY_MD_FLAG_HMAC) == 0 &&
         gcry_md_setkey(m_hmac, derived + keyBytes, keyBytes) == 0;
    std::memcpy(m_verifier, derived + 2 * keyBytes, kVerifierSize);
    std::memset(derived, 0, sizeof derived);
    return ok;
}

bool WinZipAesContext::verifierMatches(const std::uint8_t stored[2]) const {
    return stored[0] == m_verifier[0] && stored[1] == m_verifier[1];
}

void WinZipAesContext::decrypt(std::uint8_t* data, std::size_t n) {
    if (n == 0) return;
    gcry_md_write(m_hmac, data, n);
    while (n > 0) {
        if (m_keyUsed == m_keyAvailable) refill((n + 15) / 16);
        const std::size_t take = std::min(n, m_keyAvailable - m_keyUsed);
        xorKeystream(data, take);
        data += take;
        n -= take;
    }
}

// WinZip increments the counter before each block and stores it little-endian in the first
// 8 bytes, the other 8 staying zero; libgcrypt's own CTR mode counts big-endian over all 16,
// so the counter blocks are laid out here and encrypted with ECB.
void WinZipAesContext::refill(std::size_t blocksWanted) {
    const std::size_t blocks = std::min(blocksWanted, kBatchBlocks);
    for (std::size_t i = 0; i < blocks; ++i) {
        storeLe64(m_keystream + 16 * i, ++m_counter);
        std::memset(m_keystream + 16 * i + 8, 0, 8);
    }
    gcry_cipher_encrypt(m_aes, m_keystream, blocks * 16, nullptr, 0);
    m_keyUsed = 0;
    m_keyAvailable = blocks * 16;
}

void WinZipAesContext::xorKeystream(std::uint8_t* data, std::size_t n) {
    const std::uint8_t* key = m_keystream + m_keyUsed;
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t a, b;
        std::memcpy(&a, data + i, 8);
        std::memcpy(&b, key + i, 8);
        a ^= b;
        std::memcpy(data + i, &a, 8);
    }
    for (; i < n; ++i) data[i] ^= key[i];
    m_keyUsed += n;
}

bool WinZipAesContext::codeMatches(const std::uint8_t stored[10]) {
    const std::uint8_t* mac = gcry_md_read(m_hmac, GCRY_MD_SHA1);
    if (mac == nullptr) return false;
    // Every byte is compared, so the time taken tells nothing about where a forged code differs.
    std::uint8_t difference = 0;
    for (std::uint32_t i = 0; i < kCodeSize; ++i) difference |= static_cast<std::uint8_t>(mac[i] ^ stored[i]);
    return difference == 0;
}
