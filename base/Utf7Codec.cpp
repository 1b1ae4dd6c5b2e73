// UTF-7: directly written characters pass as bytes, everything else travels as base64 of
// 16-bit units between '+' and '-'.
#include "base/Utf7Codec.h"

#include <cstring>

#include "base/ConvertOutput.h"
#include "base/LittleEndian.h"

namespace {

const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int base64Value(std::uint8_t c) {
    const char* p = c != 0 ? std::strchr(kBase64, c) : nullptr;
    return p != nullptr ? static_cast<int>(p - kBase64) : -1;
}

// RFC 2152's directly encoded and optional direct characters.
bool isDirect(std::uint16_t unit) {
    if (unit >= 0x80 || unit == 0) return false;
    if ((unit >= 'A' && unit <= 'Z') || (unit >= 'a' && unit <= 'z') || (unit >= '0' && unit <= '9')) return true;
    return std::strchr("'(),-./:? \t\r\n!#$%*;<=>@[]^`{|}\"", unit) != nullptr;
}

// Writes a shifted run of units; the last base64 character is padded with zero bits.
void writeRun(const std::uint8_t* in, std::uint32_t begin, std::uint32_t end, ConvertOutput& out) {
    out.put('+');
    std::uint32_t bits = 0;
    int count = 0;
    for (std::uint32_t i = begin; i < end; i += 2) {
        bits = (bits << 16) | loadLe16(in + i);
        count += 16;
        while (count >= 6) {
            count -= 6;
            out.put(static_cast<std::uint8_t>(kBase64[(bits >> count) & 0x3F]));
        }
    }
    if (count > 0) out.put(static_cast<std::uint8_t>(kBase64[(bits << (6 - count)) & 0x3F]));
    out.put('-');
}

// Decodes the run after a '+' at in[i]; returns the index after the run and its terminator.
std::uint32_t readRun(const std::uint8_t* in, std::uint32_t n, std::uint32_t i, ConvertOutput& out, bool& ok) {
    std::uint32_t bits = 0;
    int count = 0;
    int units = 0;
    for (; i < n && base64Value(in[i]) >= 0; ++i) {
        bits = (bits << 6) | static_cast<std::uint32_t>(base64Value(in[i]));
        count += 6;
        if (count >= 16) {
            count -= 16;
            out.putUnit(static_cast<std::uint16_t>(bits >> count));
            ++units;
        }
    }
    if (units == 0 || (bits & ((1u << count) - 1)) != 0) ok = false;
    if (i < n && (in[i] == '-' || in[i] == '+')) ++i;
    return i;
}

}  // namespace

bool Utf7Codec::encode(const std::uint8_t* in, std::uint32_t n, ConvertOutput& out) {
    n &= ~1u;
    std::uint32_t i = n >= 2 && loadLe16(in) == 0xFEFF ? 2 : 0;
    out.expect(n);
    while (i < n) {
        std::uint16_t unit = loadLe16(in + i);
        if (unit == '+') {
            out.put('+');
            out.put('-');
            i += 2;
        } else if (isDirect(unit)) {
            out.put(static_cast<std::uint8_t>(unit));
            i += 2;
        } else {
            std::uint32_t end = i;
            while (end < n && loadLe16(in + end) != '+' && !isDirect(loadLe16(in + end))) end += 2;
            writeRun(in, i, end, out);
            i = end;
        }
    }
    return true;
}

bool Utf7Codec::decode(const std::uint8_t* in, std::uint32_t n, ConvertOutput& out) {
    bool ok = true;
    out.expect(2ull * n);
    std::uint32_t i = 0;
    while (i < n) {
        std::uint8_t b = in[i];
        if (b == '+' && i + 1 < n && in[i + 1] == '-') {
            out.putUnit('+');
            i += 2;
        } else if (b == '+') {
            i = readRun(in, n, i + 1, out, ok);
        } else {
            if (b >= 0x80) ok = false;
            if (b != 0) out.putUnit(b);
            ++i;
        }
    }
    return ok;
}
