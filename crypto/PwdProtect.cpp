// Traditional ZIP decryption: key schedule, header check and the byte-serial decrypt loop.
#include "crypto/PwdProtect.h"

#include <cstring>

#include "codecs/ZipCRC.h"
#include "log/LogBase.h"

namespace {
constexpr int kHeaderSize = 12;

// Feeds one plaintext byte into the three keys. key0 and key2 take a step of the CRC-32 register
// (no pre- or post-inversion); key1 is a linear congruential step.
inline void advanceKeys(const std::uint32_t* crcTable, std::uint32_t& k0, std::uint32_t& k1, std::uint32_t& k2,
                        std::uint8_t plain) {
    k0 = (k0 >> 8) ^ crcTable[(k0 ^ plain) & 0xFF];
    k1 = (k1 + (k0 & 0xFF)) * 134775813u + 1;
    k2 = (k2 >> 8) ^ crcTable[(k2 ^ (k1 >> 24)) & 0xFF];
}
}  // namespace

PwdProtect::PwdProtect() = default;

PwdProtect::~PwdProtect() {
    m_password.wipe();
    m_key0 = m_key1 = m_key2 = 0;
}

void PwdProtect::setPassword(const char* text) {
    m_password.wipe();
    m_password.setString(text ? text : "");
}

void PwdProtect::initKeys() {
    m_key0 = 0x12345678;
    m_key1 = 0x23456789;
    m_key2 = 0x34567890;
    const std::uint32_t* table = ZipCRC::table();
    const char* p = m_password.text();
    for (int i = 0; i < m_password.length(); ++i)
        advanceKeys(table, m_key0, m_key1, m_key2, static_cast<std::uint8_t>(p[i]));
}

bool PwdProtect::checkHeader(const std::uint8_t header[12], std::uint16_t dosTime, std::uint32_t crc32,
                             bool dataDescriptor, LogBase& log) {
    std::uint8_t copy[kHeaderSize];
    std::memcpy(copy, header, kHeaderSize);
    decryptBytes(copy, kHeaderSize);
    std::uint8_t check = dataDescriptor ? static_cast<std::uint8_t>(dosTime >> 8)
                                        : static_cast<std::uint8_t>(crc32 >> 24);
    if (copy[kHeaderSize - 1] == check) return true;
    log.logDataLong("isDataDescriptor", dataDescriptor ? 1 : 0);
    log.logDataHex("crc32", crc32);
    log.logDataBytes("PwdProtectData", header, kHeaderSize);
    return false;
}

// Each keystream byte depends on the previous plaintext byte, so the bytes are strictly serial;
// what can be done is to keep that chain short. The step is rewritten so that everything not
// waiting on the keystream is computed beside it:
//   - the keystream byte is byte 1 of s * (s - 1) with s = key2 | 3, the same product as
//     t * (t ^ 1) with t = (key2 & 0xFFFF) | 2, and the low 16 bits of a product need no mask;
//   - key0's table index (key0 ^ plain) & 0xFF is ((key0 ^ cipher) ^ keystream) & 0xFF;
//   - key1 * C + 1 is ready before key0's low byte, so only that byte's product is added;
//   - key2's index takes key2's low byte, known a step early.
// The compiler would fold the regrouped parts back into the serial order, so an empty asm
// statement pins each. Loads and stores are off the chain: wider ones gain nothing here.
namespace {
struct Keys {
    std::uint32_t k0, k1, k2;
};

template <typename T>
inline T pinned(T v) {
#if defined(__GNUC__)
    asm("" : "+r"(v));
#endif
    return v;
}

inline std::uint32_t decryptOne(const std::uint32_t* table, Keys& k, std::uint32_t cipher) {
    constexpr std::uint32_t kMul = 134775813u;
    std::uint32_t s = k.k2 | 3;
    std::uint32_t stream = (s * (s - 1)) >> 8;
    std::uint32_t k1Part = pinned(k.k1 * kMul + 1);
    std::uint32_t k0Cipher = pinned(k.k0 ^ cipher);
    std::uint32_t k2Low = k.k2 & 0xFF, k2High = k.k2 >> 8;
    std::uint32_t k0 = (k.k0 >> 8) ^ table[(k0Cipher ^ stream) & 0xFF];
    std::uint32_t k1 = k1Part + (k0 & 0xFF) * kMul;
    k.k0 = k0;
    k.k1 = k1;
    k.k2 = k2High ^ table[k2Low ^ (k1 >> 24)];
    return (cipher ^ stream) & 0xFF;
}
}  // namespace

void PwdProtect::decryptBytes(std::uint8_t* bytes, std::uint32_t count) {
    if (!bytes) return;
    const std::uint32_t* table = ZipCRC::table();
    Keys k{m_key0, m_key1, m_key2};
    for (std::uint32_t i = 0; i < count; ++i) bytes[i] = std::uint8_t(decryptOne(table, k, bytes[i]));
    m_key0 = k.k0;
    m_key1 = k.k1;
    m_key2 = k.k2;
}
