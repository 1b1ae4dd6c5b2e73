// ISO-2022-JP (RFC 1468; code pages 50220 to 50222 alike) to and from 932 (Shift-JIS).
// Stateless; its two small tables are process-wide and read-only.
#pragma once
#include <cstdint>

class ConvertOutput;

class Japanese {
public:
    // Shift-JIS to ISO-2022-JP. Half-width katakana become full-width JIS X 0208 characters
    // (voiced marks absorbed); IBM extensions go to their NEC-selected rows 0x79 to 0x7C.
    static void encode(const std::uint8_t* in, std::uint32_t n, ConvertOutput& out);
    // ISO-2022-JP to Shift-JIS. Unknown escapes are skipped, unpaired bytes dropped.
    static void decode(const std::uint8_t* in, std::uint32_t n, ConvertOutput& out);

    // The Shift-JIS code of a JIS X 0208 pair by the standard arithmetic, and back.
    static std::uint16_t sjisFromJis(std::uint8_t row, std::uint8_t cell);
    static std::uint16_t jisFromSjis(std::uint8_t lead, std::uint8_t trail);
};
