// Wording of the decoder memory limit's refusals.
#include "codecs/DecoderMemoryLimit.h"

#include <cmath>
#include <cstdio>

std::string DecoderMemoryLimit::sizeText(std::uint64_t bytes) {
    static const char* const kUnits[] = {"KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
    if (bytes < 1024) return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
    int unit = 0;
    std::uint64_t scale = 1024;
    while (unit < 5 && bytes / scale >= 1024) {
        scale <<= 10;
        ++unit;
    }
    char text[32];
    if (bytes % scale == 0) {
        std::snprintf(text, sizeof text, "%llu %s", static_cast<unsigned long long>(bytes / scale), kUnits[unit]);
    } else {
        // One decimal, rounded up, so that a need just above the limit never reads as equal.
        const auto tenths = static_cast<unsigned long long>(std::ceil(static_cast<long double>(bytes) * 10 / scale));
        std::snprintf(text, sizeof text, "%llu.%llu %s", tenths / 10, tenths % 10, kUnits[unit]);
    }
    return text;
}

std::string DecoderMemoryLimit::refusal(const char* what, std::uint64_t need, std::uint64_t limit) {
    return std::string(what) + " of " + sizeText(need) + " exceeds the memory limit of " + sizeText(limit);
}
