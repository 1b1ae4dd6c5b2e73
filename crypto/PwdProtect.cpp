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
                        std::uint8_t plain)
{
    k0 = (k0 >> 8) ^ crcTable[(k0 ^ plain) & 0xFF];
    k1 = (k1 + (k0 & 0xFF)) * 134775813u + 1;
    k2 = (k2 >> 8) ^ crcTable[(k2 ^ (k1 >> 24)) & 0xFF];
}
}  // namespace

PwdProtect::PwdProtect() = default;

PwdProtect::~PwdProtect()
{
    m_password.wipe();
    m_key0 = m_key1 = m_key2 = 0;
}

void PwdProtect::setPassword(const char* text)
{
    m_password.wipe();
    m_password.setString(text ? text : "");
}

void PwdProtect::initKeys()
{
    m_key0 = 0x12345678;
    m_key1 = 0x23456789;
    m_key2 = 0x34567890;
    const std::uint32_t* table = ZipCRC::table();
    const char* p = m_password.text();
    for (int i = 0; i < m_password.length(); ++i) advanceKeys(table, m_key0, m_key1, m_key2, static_cast<std::uint8_t>(p[i]));
}

bool PwdProtect::checkHeader(const std::uint8_t header[12], std::uint16_t dosTime, std::uint32_t crc32,
                             bool dataDescriptor, LogBase& log)
{
    std::uint8_t copy[kHeaderSize];
    std::memcpy(copy, header, kHeaderSize);
    decryptBytes(copy, kHeaderSize);
    std::uint8_t check = dataDescriptor ? static_cast<std::uint8_t>(dosTime >> 8) : static_cast<std::uint8_t>(crc32 >> 24);
    if (copy[kHeaderSize - 1] == check) return true;
    log.logDataLong("isDataDescriptor", dataDescriptor ? 1 : 0);
    log.logDataHex("crc32", crc32);
    log.logDataBytes("PwdProtectData", header, kHeaderSize);
    return false;
}

// Each keystream byte depends on the previous plaintext byte, so the loop is strictly serial.
void PwdProtect::decryptBytes(std::uint8_t* bytes, std::uint32_t count)
{
    if (!bytes) return;
    const std::uint32_t* table = ZipCRC::table();
    std::uint32_t k0 = m_key0, k1 = m_key1, k2 = m_key2;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint32_t t = (k2 & 0xFFFF) | 2;
        std::uint8_t plain = bytes[i] ^ static_cast<std::uint8_t>((t * (t ^ 1)) >> 8);
        bytes[i] = plain;
        advanceKeys(table, k0, k1, k2, plain);
    }
    m_key0 = k0;
    m_key1 = k1;
    m_key2 = k2;
}
