// The process-wide mapping tables of the table-driven code pages. Each table (one per code page
// and direction) is built from its compiled-in text on first use, under one process-wide lock,
// published once and never changed or freed afterwards; readers of a published table take no
// lock.
#pragma once
#include <cstdint>

#include "base/HashConvert.h"

// Byte-to-Unicode array of a single-byte code page: 0 means unmapped (byte 0 aside).
struct UnicodeLookup {
    std::uint16_t units[256];
};

// Bytes-to-Unicode direction. Single-byte pages fill lookup; multi-byte pages fill map (keys of
// 1 or 2 bytes, values one little-endian code unit) and mark the lead bytes of 2-byte keys.
struct CodePageDecoder {
    bool ascii = false;  // bytes 0x01-0x7F are themselves and are not stored
    UnicodeLookup* lookup = nullptr;
    HashConvert* map = nullptr;
    std::uint8_t leads[32] = {};

    bool isLead(std::uint8_t b) const { return (leads[b >> 3] >> (b & 7)) & 1; }
};

// Unicode-to-bytes direction: keys are little-endian code units, values 1 or 2 bytes.
struct CodePageEncoder {
    bool ascii = false;  // units U+0001-U+007F are their own low byte and are not stored
    HashConvert* map = nullptr;
};

class CodePageTables {
public:
    // True for the code pages that convert through a table (28591 and 10001 included).
    static bool has(int codePage);
    static bool isMultiByte(int codePage);

    // Null when the code page has no table or the table cannot be built.
    static const CodePageDecoder* decoder(int codePage);
    static const CodePageEncoder* encoder(int codePage);
};
