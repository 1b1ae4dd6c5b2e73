// Test-only WinZip AES encryption, written block by block from the scheme's definition (and
// independently of the library's decrypt loop): salt, verifier, ciphertext, 10-byte code.
#pragma once
#include <gcrypt.h>

#include <cstdint>
#include <string>
#include <vector>

inline std::vector<std::uint8_t> winZipAesEncrypt(const std::string& password, int keyBytes,
                                                  const std::vector<std::uint8_t>& plain, std::uint8_t saltSeed = 7) {
    gcry_check_version(nullptr);
    std::vector<std::uint8_t> out(keyBytes / 2);
    for (std::size_t i = 0; i < out.size(); ++i) out[i] = static_cast<std::uint8_t>(saltSeed + 31 * i);
    std::vector<std::uint8_t> derived(2 * keyBytes + 2);
    gcry_kdf_derive(password.data(), password.size(), GCRY_KDF_PBKDF2, GCRY_MD_SHA1, out.data(), out.size(), 1000,
                    derived.size(), derived.data());
    out.insert(out.end(), derived.end() - 2, derived.end());

    gcry_cipher_hd_t aes;
    gcry_cipher_open(&aes,
                     keyBytes == 16   ? GCRY_CIPHER_AES128
                     : keyBytes == 24 ? GCRY_CIPHER_AES192
                                      : GCRY_CIPHER_AES256,
                     GCRY_CIPHER_MODE_ECB, 0);
    gcry_cipher_setkey(aes, derived.data(), keyBytes);
    std::vector<std::uint8_t> cipher(plain);
    for (std::size_t at = 0; at < cipher.size(); at += 16) {
        std::uint8_t block[16] = {};
        const std::uint64_t counter = at / 16 + 1;  // little-endian in the first 8 bytes
        for (int i = 0; i < 8; ++i) block[i] = static_cast<std::uint8_t>(counter >> (8 * i));
        gcry_cipher_encrypt(aes, block, 16, nullptr, 0);
        for (std::size_t i = 0; i < 16 && at + i < cipher.size(); ++i) cipher[at + i] ^= block[i];
    }
    gcry_cipher_close(aes);

    gcry_md_hd_t hmac;
    gcry_md_open(&hmac, GCRY_MD_SHA1, GCRY_MD_FLAG_HMAC);
    gcry_md_setkey(hmac, derived.data() + keyBytes, keyBytes);
    gcry_md_write(hmac, cipher.data(), cipher.size());
    const std::uint8_t* code = gcry_md_read(hmac, GCRY_MD_SHA1);
    out.insert(out.end(), cipher.begin(), cipher.end());
    out.insert(out.end(), code, code + 10);
    gcry_md_close(hmac);
    return out;
}
