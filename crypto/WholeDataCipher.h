// The block ciphers of the library's own whole-data encryption, keyed from a password:
//   1 AES      CBC, 16 zero bytes as IV, key 128/192/256 bits by the requested length
//   2 Twofish  CBC, IV kTwofishIv, key 128/192/256 bits (256 unless 128 or 192 is asked for)
//   3 Blowfish ECB, key 40 to 448 bits; each 8-byte block is two little-endian 32-bit halves
// Key material: MD5 of the password bytes, then MD5 of their base64 text; a cipher takes the
// first key-length bytes (zeros beyond 32 for long Blowfish keys).
#pragma once
#include <cstdint>
#include <memory>

class WholeDataCipher {
public:
    enum Algorithm { kNone = 0, kAes = 1, kTwofish = 2, kBlowfish = 3 };

    // Our choice, fixed by the format: the 16 ASCII bytes "TarnelZip2fishIV".
    static const std::uint8_t kTwofishIv[16];

    virtual ~WholeDataCipher() = default;

    // The cipher for algorithm 1, 2 or 3, keyed and at the start of its chain; null for any other
    // algorithm or when the cipher library fails.
    static std::unique_ptr<WholeDataCipher> create(int algorithm, int keyBits, const char* password);
    // Key bytes the algorithm uses for a requested key length in bits; 0 for unknown algorithms.
    static std::uint32_t keyBytesFor(int algorithm, int keyBits);
    static void keyMaterial(const char* password, std::uint8_t material[32]);

    virtual std::uint32_t blockSize() const = 0;
    // Decrypts count bytes (a multiple of blockSize) in place; the CBC chain carries over from
    // call to call. Returns 0 or the cipher library's error code.
    virtual int decrypt(std::uint8_t* data, std::uint32_t count) = 0;
};
