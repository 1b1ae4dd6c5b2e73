// AES and Blowfish through libgcrypt, Twofish through our own Twofish; and the key material.
#include "crypto/WholeDataCipher.h"

#include <algorithm>
#include <cstring>
#include <gcrypt.h>

#include "base/ContentCoding.h"
#include "base/Md5.h"
#include "base/StringBuffer.h"
#include "crypto/GcryptInit.h"
#include "crypto/Twofish.h"

const std::uint8_t WholeDataCipher::kTwofishIv[16] = {'T', 'a', 'r', 'n', 'e', 'l', 'Z', 'i',
                                                      'p', '2', 'f', 'i', 's', 'h', 'I', 'V'};

namespace {
// A libgcrypt cipher handle; Blowfish blocks are turned into the byte order libgcrypt reads.
class GcryptBlockCipher : public WholeDataCipher {
public:
    explicit GcryptBlockCipher(bool littleEndianHalves) : m_swapHalves(littleEndianHalves) {}
    ~GcryptBlockCipher() override {
        if (m_handle) gcry_cipher_close(m_handle);
    }

    bool open(int algo, int mode, const std::uint8_t* key, std::uint32_t keyBytes) {
        static const std::uint8_t zeroIv[16] = {};
        if (!GcryptInit::ready() || gcry_cipher_open(&m_handle, algo, mode, 0) != 0) return false;
        m_block = static_cast<std::uint32_t>(gcry_cipher_get_algo_blklen(algo));
        // A Blowfish key whose S-boxes repeat an entry (about one password in 30,000) is weak
        // only against attacks on reduced rounds; the format must still read it.
        gcry_cipher_ctl(m_handle, GCRYCTL_SET_ALLOW_WEAK_KEY, nullptr, 1);
        const gcry_err_code_t keyed = gcry_err_code(gcry_cipher_setkey(m_handle, key, keyBytes));
        if (keyed != GPG_ERR_NO_ERROR && keyed != GPG_ERR_WEAK_KEY) return false;
        return mode != GCRY_CIPHER_MODE_CBC || gcry_cipher_setiv(m_handle, zeroIv, m_block) == 0;
    }
    std::uint32_t blockSize() const override { return m_block; }
    int decrypt(std::uint8_t* data, std::uint32_t count) override {
        if (m_swapHalves) swapWords(data, count);
        const int error = static_cast<int>(gcry_err_code(gcry_cipher_decrypt(m_handle, data, count, nullptr, 0)));
        if (m_swapHalves) swapWords(data, count);
        return error;
    }

private:
    // Reverses the bytes of every 32-bit word: little-endian halves become the big-endian ones
    // of the reference algorithm, and back.
    static void swapWords(std::uint8_t* data, std::uint32_t count) {
        for (std::uint32_t i = 0; i + 4 <= count; i += 4) {
            std::swap(data[i], data[i + 3]);
            std::swap(data[i + 1], data[i + 2]);
        }
    }

    gcry_cipher_hd_t m_handle = nullptr;
    std::uint32_t m_block = 16;
    bool m_swapHalves;
};

class TwofishCbcCipher : public WholeDataCipher {
public:
    bool open(const std::uint8_t* key, std::uint32_t keyBytes) {
        if (!m_twofish.setKey(key, static_cast<int>(keyBytes))) return false;
        m_twofish.setIv(kTwofishIv);  // after the key: keying clears the chain
        return true;
    }
    std::uint32_t blockSize() const override { return 16; }
    int decrypt(std::uint8_t* data, std::uint32_t count) override {
        return m_twofish.decryptCbc(data, count) ? 0 : GPG_ERR_INV_LENGTH;
    }

private:
    Twofish m_twofish;
};

int gcryptAesAlgo(std::uint32_t keyBytes) {
    return keyBytes == 16 ? GCRY_CIPHER_AES128 : keyBytes == 24 ? GCRY_CIPHER_AES192 : GCRY_CIPHER_AES256;
}
}  // namespace

std::uint32_t WholeDataCipher::keyBytesFor(int algorithm, int keyBits) {
    switch (algorithm) {
        case kAes: return keyBits > 192 ? 32 : keyBits <= 128 ? 16 : 24;
        case kTwofish: return keyBits == 128 ? 16 : keyBits == 192 ? 24 : 32;
        case kBlowfish: return static_cast<std::uint32_t>(std::clamp(keyBits / 8, 5, 56));
        default: return 0;
    }
}

void WholeDataCipher::keyMaterial(const char* password, std::uint8_t material[32]) {
    const char* text = password ? password : "";
    const auto length = static_cast<std::uint32_t>(std::strlen(text));
    Md5 md5;
    md5.update(text, length);
    md5.finish(material);
    StringBuffer encoded;
    ContentCoding().encodeBase64(text, length, encoded);
    md5.update(encoded.text(), static_cast<std::size_t>(encoded.length()));
    md5.finish(material + 16);
    encoded.wipe();
}

std::unique_ptr<WholeDataCipher> WholeDataCipher::create(int algorithm, int keyBits, const char* password) {
    const std::uint32_t keyBytes = keyBytesFor(algorithm, keyBits);
    std::uint8_t key[56] = {};
    keyMaterial(password, key);
    bool ok = false;
    std::unique_ptr<WholeDataCipher> cipher;
    if (algorithm == kAes || algorithm == kBlowfish) {
        auto gcrypt = std::make_unique<GcryptBlockCipher>(algorithm == kBlowfish);
        ok = algorithm == kAes ? gcrypt->open(gcryptAesAlgo(keyBytes), GCRY_CIPHER_MODE_CBC, key, keyBytes)
                               : gcrypt->open(GCRY_CIPHER_BLOWFISH, GCRY_CIPHER_MODE_ECB, key, keyBytes);
        cipher = std::move(gcrypt);
    } else if (algorithm == kTwofish) {
        auto twofish = std::make_unique<TwofishCbcCipher>();
        ok = twofish->open(key, keyBytes);
        cipher = std::move(twofish);
    }
    std::memset(key, 0, sizeof key);
    return ok ? std::move(cipher) : nullptr;
}
