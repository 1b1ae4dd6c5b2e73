// Test-only encoder of the library's whole-data encryption, built from the format's definition
// with its own key material, paddings and cipher modes, so that the decoder is checked against
// something it does not share code with (the block ciphers aside).
//   memory form: pad to 16, pad to the cipher block, encrypt   (decryptData; the check text)
//   file form:   pad to the cipher block, encrypt               (decryptFile)
//   entry data:  raw deflate of the file form of the raw deflate of the content
// Padding: n bytes of value n, a whole block when already aligned.
#pragma once
#include <gcrypt.h>

#include <cstdint>
#include <string>
#include <vector>

#include "PipelineTestParts.h"
#include "crypto/Twofish.h"

namespace wholedata {

using Bytes = std::vector<std::uint8_t>;

inline std::string base64(const std::uint8_t* p, std::size_t n) {
    static const char* abc = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < n; i += 3) {
        const std::uint32_t v = p[i] << 16 | (i + 1 < n ? p[i + 1] << 8 : 0) | (i + 2 < n ? p[i + 2] : 0);
        out += abc[v >> 18];
        out += abc[(v >> 12) & 63];
        out += i + 1 < n ? abc[(v >> 6) & 63] : '=';
        out += i + 2 < n ? abc[v & 63] : '=';
    }
    return out;
}

// MD5(password) then MD5(base64(password)), zero bytes beyond 32.
inline Bytes keyMaterial(const std::string& password, std::size_t keyBytes) {
    gcry_check_version(nullptr);
    Bytes key(std::max<std::size_t>(keyBytes, 32));
    gcry_md_hash_buffer(GCRY_MD_MD5, key.data(), password.data(), password.size());
    const std::string encoded = base64(reinterpret_cast<const std::uint8_t*>(password.data()), password.size());
    gcry_md_hash_buffer(GCRY_MD_MD5, key.data() + 16, encoded.data(), encoded.size());
    key.resize(keyBytes);
    return key;
}

inline void pad(Bytes& data, std::size_t block) {
    const std::size_t n = block - data.size() % block;
    data.insert(data.end(), n, static_cast<std::uint8_t>(n));
}

inline std::size_t blockOf(int algorithm) { return algorithm == 3 ? 8 : 16; }

inline void swapWords(Bytes& data) {
    for (std::size_t i = 0; i + 4 <= data.size(); i += 4) {
        std::swap(data[i], data[i + 3]);
        std::swap(data[i + 1], data[i + 2]);
    }
}

// algorithm 1 AES-CBC (zero IV), 2 Twofish-CBC, 3 Blowfish-ECB with little-endian halves.
inline void encryptBlocks(int algorithm, std::size_t keyBytes, const std::string& password, Bytes& data) {
    const Bytes key = keyMaterial(password, keyBytes);
    if (algorithm == 2) {
        Twofish twofish;
        twofish.setKey(key.data(), static_cast<int>(keyBytes));
        std::uint8_t chain[16] = {'T', 'a', 'r', 'n', 'e', 'l', 'Z', 'i', 'p', '2', 'f', 'i', 's', 'h', 'I', 'V'};
        for (std::size_t at = 0; at < data.size(); at += 16) {
            for (int i = 0; i < 16; ++i) chain[i] ^= data[at + i];
            twofish.encryptBlock(chain, chain);
            std::copy(chain, chain + 16, data.begin() + at);
        }
        return;
    }
    const int algo = algorithm == 3   ? GCRY_CIPHER_BLOWFISH
                     : keyBytes == 16 ? GCRY_CIPHER_AES128
                     : keyBytes == 24 ? GCRY_CIPHER_AES192
                                      : GCRY_CIPHER_AES256;
    gcry_cipher_hd_t h;
    gcry_cipher_open(&h, algo, algorithm == 3 ? GCRY_CIPHER_MODE_ECB : GCRY_CIPHER_MODE_CBC, 0);
    gcry_cipher_ctl(h, GCRYCTL_SET_ALLOW_WEAK_KEY, nullptr, 1);
    gcry_cipher_setkey(h, key.data(), keyBytes);
    if (algorithm == 3) swapWords(data);
    gcry_cipher_encrypt(h, data.data(), data.size(), nullptr, 0);
    if (algorithm == 3) swapWords(data);
    gcry_cipher_close(h);
}

inline Bytes memoryForm(int algorithm, std::size_t keyBytes, const std::string& password, Bytes data) {
    if (algorithm == 0) return data;
    pad(data, 16);
    pad(data, blockOf(algorithm));
    encryptBlocks(algorithm, keyBytes, password, data);
    return data;
}

inline Bytes fileForm(int algorithm, std::size_t keyBytes, const std::string& password, Bytes data) {
    if (algorithm == 0) return data;
    pad(data, blockOf(algorithm));
    encryptBlocks(algorithm, keyBytes, password, data);
    return data;
}

inline Bytes entryData(int algorithm, std::size_t keyBytes, const std::string& password, const Bytes& content) {
    return rawDeflate(fileForm(algorithm, keyBytes, password, rawDeflate(content)));
}

// An archive comment: the marker text, then the Blowfish memory form of the check text in base64
// between brackets.
inline std::string checkComment(const std::string& marker, const std::string& password, std::size_t keyBytes) {
    const std::string text = "A3F1C8E2904B6D57A3F1C8E2904B6D57";
    const Bytes sealed = memoryForm(3, keyBytes, password, Bytes(text.begin(), text.end()));
    return marker + "[" + base64(sealed.data(), sealed.size()) + "]";
}

}  // namespace wholedata
