// The decryption state of one WinZip AES entry: keys derived from the password and salt, the AES
// counter-mode keystream (WinZip's little-endian counter) and the HMAC-SHA1 over the ciphertext.
// Created per entry, initialised once, fed the ciphertext in order, finished once.
#pragma once
#include <cstddef>
#include <cstdint>
#include <gcrypt.h>

class WinZipAesContext {
public:
    static constexpr std::uint32_t kMaxPassword = 128;
    static constexpr std::uint32_t kVerifierSize = 2;
    static constexpr std::uint32_t kCodeSize = 10;

    WinZipAesContext() = default;
    ~WinZipAesContext();
    WinZipAesContext(const WinZipAesContext&) = delete;
    WinZipAesContext& operator=(const WinZipAesContext&) = delete;

    // AES key bytes for a strength given as 1, 2, 3 or as 128, 192, 256; 0 for anything else.
    static std::uint32_t keyBytesFor(int strength);
    static std::uint32_t saltSizeFor(std::uint32_t keyBytes) { return keyBytes / 2; }

    // Derives the keys (PBKDF2-HMAC-SHA1, 1,000 iterations) and keys AES and the HMAC.
    // salt holds saltSizeFor(keyBytes) bytes. False for a password over 128 bytes, a bad
    // key size or a libgcrypt failure.
    bool init(const std::uint8_t* password, std::uint32_t passwordLength, std::uint32_t keyBytes,
              const std::uint8_t* salt);
    // Compares with the 2 verifier bytes derived by init.
    bool verifierMatches(const std::uint8_t stored[2]) const;
    // Authenticates and decrypts in place. Pieces may have any size; keystream position and
    // counter carry over.
    void decrypt(std::uint8_t* data, std::size_t n);
    // Compares the first 10 bytes of the HMAC of everything decrypted with the stored code.
    bool codeMatches(const std::uint8_t stored[10]);

private:
    void refill(std::size_t blocksWanted);
    void xorKeystream(std::uint8_t* data, std::size_t n);

    // Keystream is made in batches: counter blocks written side by side, then encrypted in one
    // ECB call, which lets AES-NI work on many blocks at once.
    static constexpr std::size_t kBatchBlocks = 4096;

    gcry_cipher_hd_t m_aes = nullptr;
    gcry_md_hd_t m_hmac = nullptr;
    std::uint64_t m_counter = 0;     // value of the last counter block encrypted
    std::size_t m_keyUsed = 0;       // keystream bytes of the batch already used
    std::size_t m_keyAvailable = 0;  // keystream bytes in the batch
    std::uint8_t m_verifier[2] = {};
    alignas(16) std::uint8_t m_keystream[kBatchBlocks * 16];
};
