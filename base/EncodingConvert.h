// Converts byte strings between code pages, pivoting through UTF-16LE. Self-contained: its own
// UTF codecs, the table-driven code pages of CodePageTables and the special encodings (UTF-16BE,
// UTF-32, UTF-7, ISO-2022-JP/KR, Mac Arabic). Never logs; the result is its only report.
// Short-lived and cheap: the tables it uses are process-wide.
#pragma once
#include <cstdint>

class DataBuffer;

class EncodingConvert {
public:
    EncodingConvert() = default;

    // Appends the conversion of length bytes to out (never cleared). True when every character
    // converted; false when something was dropped, on malformed UTF-16/UTF-7/UTF-32 input, or
    // when a code page is unsupported (then nothing is appended). toCodePage 0 means
    // fromCodePage; equal code pages copy unchanged.
    bool convert(int fromCodePage, int toCodePage, const void* bytes, std::uint32_t length, DataBuffer& out);

    static bool isSupported(int codePage);

private:
    bool fromSource(int from, int to, const std::uint8_t* in, std::uint32_t n, DataBuffer& out);
    bool toTarget(int from, int to, const std::uint8_t* in, std::uint32_t n, DataBuffer& out);
    bool core(int from, int to, const std::uint8_t* in, std::uint32_t n, DataBuffer& out);
    bool pivot(int from, int to, const std::uint8_t* in, std::uint32_t n, DataBuffer& out);

    int m_fromCodePage = 0;
    int m_toCodePage = 0;
};
