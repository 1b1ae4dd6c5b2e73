// ISO-2022-KR: 7-bit KS X 1001 pairs between SO and SI, after one designator.
#include "base/Korean.h"

#include "base/ConvertOutput.h"

namespace {
constexpr std::uint8_t kEsc = 0x1B;
constexpr std::uint8_t kShiftOut = 0x0E;
constexpr std::uint8_t kShiftIn = 0x0F;

bool isDesignator(const std::uint8_t* in, std::uint32_t left) {
    return left >= 4 && in[1] == '$' && in[2] == ')' && in[3] == 'C';
}

bool isControl(std::uint8_t b) { return b == kEsc || b == kShiftOut || b == kShiftIn; }
}  // namespace

void Korean::encode(const std::uint8_t* in, std::uint32_t n, ConvertOutput& out) {
    if (n == 0) return;
    const std::uint8_t designator[4] = {kEsc, '$', ')', 'C'};
    out.putBytes(designator, 4);
    bool shifted = false;
    for (std::uint32_t i = 0; i < n; ++i) {
        if (in[i] < 0x80) {
            if (shifted) out.put(kShiftIn);
            shifted = false;
            out.put(in[i]);
            continue;
        }
        if (i + 1 >= n) break;
        if (!shifted) out.put(kShiftOut);
        shifted = true;
        out.put(in[i] & 0x7F);
        out.put(in[++i] & 0x7F);
    }
}

void Korean::decode(const std::uint8_t* in, std::uint32_t n, ConvertOutput& out) {
    bool twoByte = false;
    std::uint32_t i = 0;
    while (i < n) {
        std::uint8_t b = in[i];
        if (b == kEsc) {
            if (isDesignator(in + i, n - i)) twoByte = false, i += 3;
        } else if (b == kShiftOut || b == kShiftIn) {
            twoByte = b == kShiftOut;
        } else if (!twoByte) {
            out.put(b);
        } else if (i + 1 < n && !isControl(in[i + 1])) {
            out.put(b | 0x80);
            out.put(in[++i] | 0x80);
        }
        ++i;
    }
}
