// The MD5 message digest of RFC 1321, fed in pieces or over a whole buffer.
#pragma once
#include <cstddef>
#include <cstdint>

class DataBuffer;
class StringBuffer;

class Md5 {
public:
    Md5() { reset(); }

    void reset();
    void update(const void* bytes, std::size_t n);
    // Writes the digest of everything fed since reset, then resets.
    void finish(std::uint8_t digest[16]);

    static void digestString(const StringBuffer& text, std::uint8_t digest[16]);
    static void digestData(const DataBuffer& data, std::uint8_t digest[16]);

private:
    void transform(const std::uint8_t block[64]);

    std::uint32_t m_state[4];
    std::uint64_t m_length;    // bytes fed so far
    std::uint8_t m_block[64];  // the unfinished block: m_length % 64 bytes
};
