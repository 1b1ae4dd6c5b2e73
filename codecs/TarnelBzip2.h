// Unpacks the library's bzip2 block: magic E1 A7 94 B3, the unpacked size (4 bytes,
// little-endian), then one complete bzip2 stream. Its only user is the code page table loader,
// so this header includes nothing above base/.
#pragma once
#include <cstdint>

class DataBuffer;

class TarnelBzip2 {
public:
    static constexpr std::uint32_t kMagic = 0xB394A7E1;
    static constexpr std::uint32_t kHeaderSize = 8;

    // Empty input gives empty output and true. A wrong magic gives false and leaves out alone.
    // Otherwise out is emptied and receives the stream's data; false on a stream error (out
    // empty) or when the stream holds more than the stated size + 20 bytes (out full).
    static bool decompress(const DataBuffer& in, DataBuffer& out);
};
