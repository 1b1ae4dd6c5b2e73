// Gathers converter output in a 512-byte local block and appends it to a DataBuffer a block at
// a time. The destructor flushes; the DataBuffer is never cleared.
#pragma once
#include <cstdint>

class DataBuffer;

class ConvertOutput {
public:
    explicit ConvertOutput(DataBuffer& out);
    ConvertOutput(const ConvertOutput&) = delete;
    ConvertOutput& operator=(const ConvertOutput&) = delete;
    ~ConvertOutput();

    void put(std::uint8_t b) {
        if (m_fill == sizeof m_block) flush();
        m_block[m_fill++] = b;
    }
    void putBytes(const std::uint8_t* bytes, int n) {
        for (int i = 0; i < n; ++i) put(bytes[i]);
    }
    void putUnit(std::uint16_t unit) {  // little-endian UTF-16
        put(static_cast<std::uint8_t>(unit));
        put(static_cast<std::uint8_t>(unit >> 8));
    }
    // A value below 0x200000 (a lone surrogate included) as 1 to 4 bytes of UTF-8.
    void putUtf8(std::uint32_t point);

    // Gives the DataBuffer room for this many more bytes beyond what it holds.
    void expect(std::uint64_t n);
    void flush();
    // Flushes and tells whether every byte reached the DataBuffer (false after a failed append).
    bool finish();

private:
    DataBuffer& m_out;
    unsigned m_fill = 0;
    bool m_failed = false;
    std::uint8_t m_block[512];
};
