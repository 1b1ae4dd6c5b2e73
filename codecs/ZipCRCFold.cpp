// CRC-32 by carry-less multiplication: four 128-bit lanes are folded forward over the data and
// reduced to one block, whose CRC the table finishes.
//
// Layout: a 16-byte block loaded little-endian has bit k = coefficient of x^(127-k) (the first
// bit of the stream is the highest power). Multiplying a 64-bit half by a constant whose x^d
// sits at bit 63-d yields the product in that same layout, times x; the constants absorb it.
#include "codecs/ZipCRCFold.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

#define TN_CLMUL __attribute__((target("pclmul,sse4.1")))

namespace {

TN_CLMUL inline __m128i fold(__m128i lane, __m128i k, __m128i next) {
    __m128i lo = _mm_clmulepi64_si128(lane, k, 0x00);
    __m128i hi = _mm_clmulepi64_si128(lane, k, 0x11);
    return _mm_xor_si128(_mm_xor_si128(lo, hi), next);
}

TN_CLMUL inline __m128i load(const std::uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

}  // namespace

bool zipCRCHasClmul() {
    // A CRC taken from a static constructor may run before the runtime has probed the CPU.
    __builtin_cpu_init();
    return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
}

TN_CLMUL std::uint32_t zipCRCFoldClmul(std::uint32_t state, const std::uint8_t* p, std::size_t n) {
    if (n < 128) return zipCRCSlice16(state, p, n);
    const ZipCRCTables& t = zipCRCTables();
    const __m128i k512 = _mm_set_epi64x(static_cast<long long>(t.fold512[1]), static_cast<long long>(t.fold512[0]));
    const __m128i k128 = _mm_set_epi64x(static_cast<long long>(t.fold128[1]), static_cast<long long>(t.fold128[0]));

    // The register enters as the first 32 bits of the message.
    __m128i x0 = _mm_xor_si128(load(p), _mm_cvtsi32_si128(static_cast<int>(state)));
    __m128i x1 = load(p + 16), x2 = load(p + 32), x3 = load(p + 48);
    p += 64;
    n -= 64;
    for (; n >= 64; n -= 64, p += 64) {
        x0 = fold(x0, k512, load(p));
        x1 = fold(x1, k512, load(p + 16));
        x2 = fold(x2, k512, load(p + 32));
        x3 = fold(x3, k512, load(p + 48));
    }
    __m128i x = fold(fold(fold(x0, k128, x1), k128, x2), k128, x3);

    // x is congruent to everything so far; its CRC from a zero register is the register itself.
    alignas(16) std::uint8_t block[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(block), x);
    return zipCRCSlice16(zipCRCSlice16(0, block, 16), p, n);
}

#else

bool zipCRCHasClmul() { return false; }

std::uint32_t zipCRCFoldClmul(std::uint32_t state, const std::uint8_t* p, std::size_t n) {
    return zipCRCSlice16(state, p, n);
}

#endif
