// Conversion between UTF-16LE and the table-driven code pages, through CodePageTables.
#pragma once
#include <cstdint>

class ConvertOutput;

class TableCodec {
public:
    // Code page bytes to UTF-16LE. False when a byte was dropped or the table is unavailable.
    static bool decode(int codePage, const std::uint8_t* in, std::uint32_t n, ConvertOutput& out);
    // UTF-16LE to code page bytes. False when a unit was dropped, on an odd length, or when the
    // table is unavailable.
    static bool encode(int codePage, const std::uint8_t* in, std::uint32_t n, ConvertOutput& out);
};
