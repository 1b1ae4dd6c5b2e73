// Mac Arabic input preparation: run reversal, then byte folding.
#include "base/MacArabic.h"

#include <algorithm>

#include "base/DataBuffer.h"

namespace {

bool inReversedSet(std::uint8_t b) {
    return b == 0x81 || b == 0x8C || b == 0x93 || b == 0x98 || b == 0x9B || (b >= 0xA0 && b <= 0xA4) ||
           (b >= 0xA6 && b <= 0xAB) || (b >= 0xAD && b <= 0xBA) || (b >= 0xBC && b <= 0xBE) || b == 0xC0 ||
           (b >= 0xDB && b <= 0xDF) || (b >= 0xFB && b <= 0xFD);
}

std::uint8_t fold(std::uint8_t b) {
    if (b >= 0xB0 && b <= 0xB9) return static_cast<std::uint8_t>(b - 0x80);  // digits
    if (b >= 0xA0 && b <= 0xAF && b != 0xA5 && b != 0xAC) return static_cast<std::uint8_t>(b - 0x80);
    switch (b) {
        case 0xBA:
        case 0xBC:
        case 0xBD:
        case 0xBE:
        case 0xDB:
        case 0xDC:
        case 0xDD:
        case 0xDE:
        case 0xDF:
        case 0xFB:
        case 0xFC:
        case 0xFD: return static_cast<std::uint8_t>(b - 0x80);
        case 0x81: return 0xA0;
        default: return b;
    }
}

}  // namespace

bool MacArabic::prepare(const std::uint8_t* in, std::uint32_t n, DataBuffer& copy) {
    std::uint32_t start = copy.size();
    if (!copy.append(in, n)) return false;
    std::uint8_t* p = copy.data() + start;
    std::uint32_t i = 0;
    while (i < n) {
        std::uint32_t end = i;
        while (end < n && inReversedSet(p[end])) ++end;  // every set member is >= 0x20
        if (end - i >= 2) std::reverse(p + i, p + end);
        i = end > i ? end : i + 1;
    }
    for (i = 0; i < n; ++i) p[i] = fold(p[i]);
    return true;
}
