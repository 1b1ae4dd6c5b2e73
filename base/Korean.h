// ISO-2022-KR (RFC 1557) to and from 949 (EUC-KR). Stateless.
#pragma once
#include <cstdint>

class ConvertOutput;

class Korean {
public:
    // 949 bytes to ISO-2022-KR: the designator ESC $ ) C first, SO/SI around Korean runs,
    // no SI at the end; a lone lead byte at the end is dropped.
    static void encode(const std::uint8_t* in, std::uint32_t n, ConvertOutput& out);
    // ISO-2022-KR to 949. Stray escapes and unpaired bytes are dropped.
    static void decode(const std::uint8_t* in, std::uint32_t n, ConvertOutput& out);
};
