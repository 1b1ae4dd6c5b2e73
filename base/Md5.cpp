// Md5: the RFC 1321 compression function, padding and whole-buffer digests.
#include "base/Md5.h"

#include <cstring>

#include "base/DataBuffer.h"
#include "base/LittleEndian.h"
#include "base/StringBuffer.h"

namespace {

// RFC 1321's table T: T[i] = floor(2^32 * |sin(i + 1)|).
const std::uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

// Left-rotation amounts, four per round.
const int kShift[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

std::uint32_t rotl(std::uint32_t x, int n) { return x << n | x >> (32 - n); }

// One step: b += (a + f + add) rotated left, then the words move along (a <- d <- c <- b).
inline void step(std::uint32_t w[4], std::uint32_t f, std::uint32_t add, int shift) {
    std::uint32_t sum = w[0] + f + add;
    w[0] = w[3];
    w[3] = w[2];
    w[2] = w[1];
    w[1] += rotl(sum, shift);
}

}  // namespace

void Md5::reset() {
    m_state[0] = 0x67452301;
    m_state[1] = 0xefcdab89;
    m_state[2] = 0x98badcfe;
    m_state[3] = 0x10325476;
    m_length = 0;
}

// The four rounds run as separate loops so each has one fixed mixing function of b, c, d.
void Md5::transform(const std::uint8_t block[64]) {
    std::uint32_t x[16];
    for (int i = 0; i < 16; ++i) x[i] = loadLe32(block + 4 * i);
    std::uint32_t w[4] = {m_state[0], m_state[1], m_state[2], m_state[3]};  // a, b, c, d
    for (int i = 0; i < 16; ++i) step(w, (w[1] & w[2]) | (~w[1] & w[3]), kSine[i] + x[i], kShift[0][i % 4]);
    for (int i = 16; i < 32; ++i)
        step(w, (w[3] & w[1]) | (~w[3] & w[2]), kSine[i] + x[(5 * i + 1) % 16], kShift[1][i % 4]);
    for (int i = 32; i < 48; ++i) step(w, w[1] ^ w[2] ^ w[3], kSine[i] + x[(3 * i + 5) % 16], kShift[2][i % 4]);
    for (int i = 48; i < 64; ++i) step(w, w[2] ^ (w[1] | ~w[3]), kSine[i] + x[(7 * i) % 16], kShift[3][i % 4]);
    for (int i = 0; i < 4; ++i) m_state[i] += w[i];
}

void Md5::update(const void* bytes, std::size_t n) {
    const auto* in = static_cast<const std::uint8_t*>(bytes);
    if (in == nullptr || n == 0) return;
    std::size_t used = m_length % 64;
    m_length += n;
    if (used > 0) {
        std::size_t take = n < 64 - used ? n : 64 - used;
        std::memcpy(m_block + used, in, take);
        in += take;
        n -= take;
        if (used + take < 64) return;
        transform(m_block);
    }
    for (; n >= 64; in += 64, n -= 64) transform(in);
    if (n > 0) std::memcpy(m_block, in, n);
}

// Pads with 0x80, zeros to 56 mod 64, then the bit length as 64-bit little-endian.
void Md5::finish(std::uint8_t digest[16]) {
    std::uint64_t bits = m_length * 8;
    static const std::uint8_t kPad[64] = {0x80};
    std::size_t used = m_length % 64;
    update(kPad, used < 56 ? 56 - used : 120 - used);
    std::uint8_t length[8];
    storeLe64(length, bits);
    update(length, 8);
    for (int i = 0; i < 4; ++i) storeLe32(digest + 4 * i, m_state[i]);
    reset();
}

void Md5::digestString(const StringBuffer& text, std::uint8_t digest[16]) {
    Md5 md5;
    md5.update(text.text(), static_cast<std::size_t>(text.length()));
    md5.finish(digest);
}

void Md5::digestData(const DataBuffer& data, std::uint8_t digest[16]) {
    Md5 md5;
    md5.update(data.data(), data.size());
    md5.finish(digest);
}
