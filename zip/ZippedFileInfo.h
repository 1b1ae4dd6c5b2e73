// One entry's name and sizes as handed to a progress callback.
#pragma once
#include <cstdint>

#include "base/StringBuffer.h"

class ZippedFileInfo {
public:
    ZippedFileInfo() = default;
    ZippedFileInfo(const ZippedFileInfo&) = delete;
    ZippedFileInfo& operator=(const ZippedFileInfo&) = delete;
    virtual ~ZippedFileInfo() = default;

    // -1 when the size does not fit into 32 bits; 0xFFFFFFFF also reads as -1.
    std::int32_t uncompressedSize32() const { return narrow(uncompressedSize); }
    std::int32_t compressedSize32() const { return narrow(compressedSize); }

    StringBuffer name;
    std::uint64_t uncompressedSize = 0;
    std::uint64_t compressedSize = 0;
    bool skipOrAbort = false;
    bool isDirectory = false;

private:
    static std::int32_t narrow(std::uint64_t size) {
        return (size >> 32) != 0 ? -1 : static_cast<std::int32_t>(static_cast<std::uint32_t>(size));
    }
};
