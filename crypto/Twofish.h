// The Twofish block cipher (128-bit blocks; 128, 192 and 256-bit keys) and CBC decryption.
// Key-dependent S-boxes are folded with the MDS matrix into four 256-word tables at keying time.
#pragma once
#include <cstdint>

class Twofish {
public:
    Twofish();
    ~Twofish();
    Twofish(const Twofish&) = delete;
    Twofish& operator=(const Twofish&) = delete;

    // keyBytes must be 16, 24 or 32; anything else leaves the cipher unkeyed and returns false.
    bool setKey(const std::uint8_t* key, int keyBytes);

    void encryptBlock(const std::uint8_t in[16], std::uint8_t out[16]) const;
    void decryptBlock(const std::uint8_t in[16], std::uint8_t out[16]) const;

    // CBC decryption in place. The chaining block starts as iv and carries over from call to
    // call, so a long message may be decrypted piece by piece. count must be a multiple of 16.
    void setIv(const std::uint8_t iv[16]);
    bool decryptCbc(std::uint8_t* data, std::uint32_t count);

private:
    std::uint32_t g(std::uint32_t x) const;
    void wipe();

    bool m_keyed = false;
    std::uint32_t m_subkeys[40];
    std::uint32_t m_sbox[4][256];  // key-dependent S-box j times MDS column j
    std::uint8_t m_chain[16];
};
