// Traditional PKWARE ("Zip 2.0") decryption: three 32-bit keys driven by the password and the
// plaintext, and the 12-byte encryption header in front of each entry's data.
// One object serves one entry: setPassword, initKeys, checkHeader, then decryptBytes in order.
#pragma once
#include <cstdint>

#include "base/StringBuffer.h"
#include "base/TarnelObject.h"

class LogBase;

class PwdProtect : public TarnelObject {
public:
    PwdProtect();
    ~PwdProtect() override;

    // The password's bytes are used as they are, without their terminator.
    void setPassword(const char* text);
    // The initial keys, then updated with each password byte.
    void initKeys();
    // Decrypts a copy of the 12 header bytes and compares the last with the check byte: the high
    // byte of dosTime when the entry has a data descriptor, else of crc32. On a mismatch the key
    // state is spent and the entry must not be decrypted with it.
    bool checkHeader(const std::uint8_t header[12], std::uint16_t dosTime, std::uint32_t crc32, bool dataDescriptor,
                     LogBase& log);
    // Decrypts in place, continuing the key state of the previous call.
    void decryptBytes(std::uint8_t* bytes, std::uint32_t count);

private:
    StringBuffer m_password;
    std::uint32_t m_key0 = 0;
    std::uint32_t m_key1 = 0;
    std::uint32_t m_key2 = 0;
};
