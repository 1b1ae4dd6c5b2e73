// The compiled-in code page tables as text ('c' + base64 of a bzip2 block, or 'x' + base64),
// and the two small ISO-2022-JP tables. The data lives in a generated source file.
#pragma once
#include <cstdint>

class CodePageTableText {
public:
    struct Entry {
        int codePage;
        const char* text;
    };

    // Every code page that has a table text of its own, in ascending order.
    static const Entry* entries(int& count);

    // Base64 of 376 little-endian Shift-JIS codes for JIS rows 0x79-0x7C, cells 0x21-0x7E
    // (0 where the row holds no character).
    static const char* jisIbmRows();

    // Full-width Shift-JIS codes of the half-width katakana 0xA1-0xDF.
    static const std::uint16_t kHalfWidthKana[63];
};
