// UTF-8, UTF-16 and UTF-32 transforms of the code page converter.
#include "base/UnicodeCodec.h"

#include "base/ConvertOutput.h"
#include "base/LittleEndian.h"

namespace {

bool isContinuation(std::uint8_t b) { return (b & 0xC0) == 0x80; }

// Length of the well-formed 1- to 3-byte sequence at in[0..left), or 0.
std::uint32_t shortSequence(const std::uint8_t* in, std::uint32_t left) {
    std::uint8_t b = in[0];
    if (b < 0x80) return 1;
    if (b >= 0xC2 && b <= 0xDF) return left >= 2 && isContinuation(in[1]) ? 2 : 0;
    if (b < 0xE0 || b > 0xEF || left < 3) return 0;
    if (!isContinuation(in[1]) || !isContinuation(in[2]) || (b == 0xE0 && in[1] < 0xA0)) return 0;
    return 3;
}

// Length of the legal 1- to 4-byte sequence at in[0..left), or 0; stores its code point.
std::uint32_t fullSequence(const std::uint8_t* in, std::uint32_t left, std::uint32_t& point) {
    std::uint8_t b = in[0];
    std::uint32_t length = b < 0x80 ? 1 : b < 0xC2 ? 0 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : b < 0xF5 ? 4 : 0;
    if (length == 0 || length > left) return 0;
    if ((b == 0xE0 && in[1] < 0xA0) || (b == 0xF0 && in[1] < 0x90) || (b == 0xF4 && in[1] > 0x8F)) return 0;
    point = length == 1 ? b : b & (0x7F >> length);
    for (std::uint32_t i = 1; i < length; ++i) {
        if (!isContinuation(in[i])) return 0;
        point = (point << 6) | (in[i] & 0x3F);
    }
    return length;
}

}  // namespace

bool UnicodeCodec::utf8ToUtf16(const std::uint8_t* in, std::uint32_t n, ConvertOutput& out) {
    out.expect(2ull * n);
    std::uint32_t i = 0;
    while (i < n) {
        std::uint32_t length = shortSequence(in + i, n - i);
        if (length == 0) {
            ++i;
            continue;
        }
        std::uint32_t unit = length == 1 ? in[i] : in[i] & (0x7F >> length);
        for (std::uint32_t k = 1; k < length; ++k) unit = (unit << 6) | (in[i + k] & 0x3F);
        out.putUnit(static_cast<std::uint16_t>(unit));
        i += length;
    }
    return true;
}

bool UnicodeCodec::utf16ToUtf8(const std::uint8_t* in, std::uint32_t n, ConvertOutput& out) {
    out.expect(n / 2 * 3ull);
    for (std::uint32_t i = 0; i + 1 < n; i += 2) {
        std::uint32_t unit = loadLe16(in + i);
        if (unit != 0) out.putUtf8(unit);
    }
    return (n & 1) == 0;
}

bool UnicodeCodec::utf32ToUtf8(const std::uint8_t* in, std::uint32_t n, bool bigEndian, ConvertOutput& out) {
    out.expect(n);
    for (std::uint32_t i = 0; i + 3 < n; i += 4) {
        const std::uint8_t* p = in + i;
        std::uint32_t value = bigEndian ? (std::uint32_t{p[0]} << 24) | (p[1] << 16) | (p[2] << 8) | p[3]
                                        : (std::uint32_t{p[3]} << 24) | (p[2] << 16) | (p[1] << 8) | p[0];
        out.putUtf8(value < 0x200000 ? value : 0xFFFD);
    }
    return true;
}

bool UnicodeCodec::utf8ToUtf32(const std::uint8_t* in, std::uint32_t n, bool bigEndian, ConvertOutput& out) {
    out.expect(4ull * n);
    std::uint32_t i = 0;
    while (i < n) {
        std::uint32_t point = 0;
        std::uint32_t length = fullSequence(in + i, n - i, point);
        if (length == 0) return false;
        for (int k = 0; k < 4; ++k) out.put(static_cast<std::uint8_t>(point >> (bigEndian ? 24 - 8 * k : 8 * k)));
        i += length;
    }
    return true;
}
