// Input preparation of Mac Arabic (10004) before its table conversion: right-to-left runs of
// neutral and Arabic punctuation bytes are put back in logical order and the bytes that the
// code page duplicates for right-to-left use are folded onto their ASCII forms.
#pragma once
#include <cstdint>

class DataBuffer;

class MacArabic {
public:
    // Appends the rewritten copy of in to copy.
    static bool prepare(const std::uint8_t* in, std::uint32_t n, DataBuffer& copy);
};
