// The encryption settings that travel with an archive: kind, key length, password and whether
// traditional zip encryption is in use.
#pragma once
#include <cstdint>

#include "base/StringBuffer.h"

class ZipCryptParams {
public:
    ZipCryptParams() = default;
    ZipCryptParams(const ZipCryptParams&) = delete;
    ZipCryptParams& operator=(const ZipCryptParams&) = delete;
    virtual ~ZipCryptParams() = default;

    void copyFrom(const ZipCryptParams& other);

    std::int32_t encryption = 0;  // 0 none, 4 WinZip AES, other values the library's own kinds
    std::int32_t keyLength = 0;   // bits
    StringBuffer password;
    std::int32_t passwordProtected = 0;
    void* reserved = nullptr;  // not used when reading
};
