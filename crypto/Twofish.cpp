// Twofish: fixed permutations, key schedule and the 16-round Feistel network.
#include "crypto/Twofish.h"

#include <array>
#include <cstring>

#include "base/LittleEndian.h"

namespace {
using Perm = std::array<std::uint8_t, 256>;

// The permutations q0 and q1 are built from four 4-bit boxes each, as the cipher defines them.
constexpr std::uint8_t kQ0Boxes[4][16] = {
    {0x8, 0x1, 0x7, 0xD, 0x6, 0xF, 0x3, 0x2, 0x0, 0xB, 0x5, 0x9, 0xE, 0xC, 0xA, 0x4},
    {0xE, 0xC, 0xB, 0x8, 0x1, 0x2, 0x3, 0x5, 0xF, 0x4, 0xA, 0x6, 0x7, 0x0, 0x9, 0xD},
    {0xB, 0xA, 0x5, 0xE, 0x6, 0xD, 0x9, 0x0, 0xC, 0x8, 0xF, 0x3, 0x2, 0x4, 0x7, 0x1},
    {0xD, 0x7, 0xF, 0x4, 0x1, 0x2, 0x6, 0xE, 0x9, 0xB, 0x3, 0x0, 0x8, 0x5, 0xC, 0xA}};
constexpr std::uint8_t kQ1Boxes[4][16] = {
    {0x2, 0x8, 0xB, 0xD, 0xF, 0x7, 0x6, 0xE, 0x3, 0x1, 0x9, 0x4, 0x0, 0xA, 0xC, 0x5},
    {0x1, 0xE, 0x2, 0xB, 0x4, 0xC, 0x3, 0x7, 0x6, 0xD, 0xA, 0x5, 0xF, 0x9, 0x0, 0x8},
    {0x4, 0xC, 0x7, 0x5, 0x1, 0x6, 0x9, 0xA, 0x0, 0xE, 0xD, 0x8, 0x2, 0xB, 0x3, 0xF},
    {0xB, 0x9, 0x5, 0x1, 0xC, 0x3, 0xD, 0xE, 0x6, 0x4, 0x7, 0xF, 0x2, 0x0, 0x8, 0xA}};

constexpr std::uint8_t ror4(std::uint8_t x) { return static_cast<std::uint8_t>(((x >> 1) | (x << 3)) & 0xF); }

constexpr Perm makePerm(const std::uint8_t (&t)[4][16]) {
    Perm q{};
    for (int x = 0; x < 256; ++x) {
        std::uint8_t a = static_cast<std::uint8_t>(x >> 4), b = static_cast<std::uint8_t>(x & 0xF);
        for (int half = 0; half < 2; ++half) {
            std::uint8_t a1 = a ^ b;
            std::uint8_t b1 = static_cast<std::uint8_t>((a ^ ror4(b) ^ (a << 3)) & 0xF);
            a = t[2 * half][a1];
            b = t[2 * half + 1][b1];
        }
        q[x] = static_cast<std::uint8_t>((b << 4) | a);
    }
    return q;
}

constexpr Perm kQ0 = makePerm(kQ0Boxes);
constexpr Perm kQ1 = makePerm(kQ1Boxes);

// Multiplication in GF(2^8) modulo the given degree-8 polynomial.
constexpr std::uint8_t gfMul(std::uint8_t a, std::uint8_t b, unsigned poly) {
    unsigned r = 0, x = a;
    for (; b; b >>= 1) {
        if (b & 1) r ^= x;
        x <<= 1;
        if (x & 0x100) x ^= poly;
    }
    return static_cast<std::uint8_t>(r);
}

constexpr unsigned kMdsPoly = 0x169;  // x^8 + x^6 + x^5 + x^3 + 1
constexpr unsigned kRsPoly = 0x14D;   // x^8 + x^6 + x^3 + x^2 + 1
constexpr std::uint8_t kMds[4][4] = {
    {0x01, 0xEF, 0x5B, 0x5B}, {0x5B, 0xEF, 0xEF, 0x01}, {0xEF, 0x5B, 0x01, 0xEF}, {0xEF, 0x01, 0xEF, 0x5B}};
constexpr std::uint8_t kRs[4][8] = {{0x01, 0xA4, 0x55, 0x87, 0x5A, 0x58, 0xDB, 0x9E},
                                    {0xA4, 0x56, 0x82, 0xF3, 0x1E, 0xC6, 0x68, 0xE5},
                                    {0x02, 0xA1, 0xFC, 0xC1, 0x47, 0xAE, 0x3D, 0x19},
                                    {0xA4, 0x55, 0x87, 0x5A, 0x58, 0xDB, 0x9E, 0x03}};

std::uint32_t rol(std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }
std::uint32_t ror(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }
std::uint8_t byteOf(std::uint32_t x, int i) { return static_cast<std::uint8_t>(x >> (8 * i)); }

// Byte j of the input through the chain of q permutations and key bytes that h applies to it:
// with keys[3] (256-bit keys only), keys[2] (192 and 256), keys[1], keys[0], then a last q.
std::uint8_t sboxByte(int j, std::uint8_t y, const std::uint32_t* keys, int k) {
    static constexpr const Perm* kChain[4][5] = {{&kQ1, &kQ1, &kQ0, &kQ0, &kQ1},
                                                 {&kQ0, &kQ1, &kQ1, &kQ0, &kQ0},
                                                 {&kQ0, &kQ0, &kQ0, &kQ1, &kQ1},
                                                 {&kQ1, &kQ0, &kQ1, &kQ1, &kQ0}};
    const Perm* const* q = kChain[j];
    if (k == 4) y = (*q[0])[y] ^ byteOf(keys[3], j);
    if (k >= 3) y = (*q[1])[y] ^ byteOf(keys[2], j);
    y = (*q[2])[y] ^ byteOf(keys[1], j);
    y = (*q[3])[y] ^ byteOf(keys[0], j);
    return (*q[4])[y];
}

std::uint32_t mdsColumn(int j, std::uint8_t y) {
    std::uint32_t z = 0;
    for (int i = 0; i < 4; ++i) z |= static_cast<std::uint32_t>(gfMul(kMds[i][j], y, kMdsPoly)) << (8 * i);
    return z;
}

// h(X, L): the S-box chain on each byte, then the MDS matrix.
std::uint32_t h(std::uint32_t x, const std::uint32_t* keys, int k) {
    std::uint32_t z = 0;
    for (int j = 0; j < 4; ++j) z ^= mdsColumn(j, sboxByte(j, byteOf(x, j), keys, k));
    return z;
}

// One S-box key word: the Reed-Solomon matrix times 8 key bytes.
std::uint32_t rsWord(const std::uint8_t* m) {
    std::uint32_t s = 0;
    for (int i = 0; i < 4; ++i) {
        std::uint8_t v = 0;
        for (int j = 0; j < 8; ++j) v ^= gfMul(kRs[i][j], m[j], kRsPoly);
        s |= static_cast<std::uint32_t>(v) << (8 * i);
    }
    return s;
}
}  // namespace

Twofish::Twofish() { wipe(); }

Twofish::~Twofish() { wipe(); }

void Twofish::wipe() {
    m_keyed = false;
    std::memset(m_subkeys, 0, sizeof m_subkeys);
    std::memset(m_sbox, 0, sizeof m_sbox);
    std::memset(m_chain, 0, sizeof m_chain);
}

bool Twofish::setKey(const std::uint8_t* key, int keyBytes) {
    wipe();
    if (!key || (keyBytes != 16 && keyBytes != 24 && keyBytes != 32)) return false;
    int k = keyBytes / 8;
    std::uint32_t even[4], odd[4], sboxKeys[4];
    for (int i = 0; i < k; ++i) {
        even[i] = loadLe32(key + 8 * i);
        odd[i] = loadLe32(key + 8 * i + 4);
        sboxKeys[k - 1 - i] = rsWord(key + 8 * i);  // the S-box key list runs backwards
    }
    constexpr std::uint32_t rho = 0x01010101;
    for (std::uint32_t i = 0; i < 20; ++i) {
        std::uint32_t a = h(2 * i * rho, even, k);
        std::uint32_t b = rol(h((2 * i + 1) * rho, odd, k), 8);
        m_subkeys[2 * i] = a + b;
        m_subkeys[2 * i + 1] = rol(a + 2 * b, 9);
    }
    for (int j = 0; j < 4; ++j)
        for (int x = 0; x < 256; ++x)
            m_sbox[j][x] = mdsColumn(j, sboxByte(j, static_cast<std::uint8_t>(x), sboxKeys, k));
    m_keyed = true;
    return true;
}

std::uint32_t Twofish::g(std::uint32_t x) const {
    return m_sbox[0][byteOf(x, 0)] ^ m_sbox[1][byteOf(x, 1)] ^ m_sbox[2][byteOf(x, 2)] ^ m_sbox[3][byteOf(x, 3)];
}

// Two rounds per iteration, so the halves trade roles without being swapped.
void Twofish::encryptBlock(const std::uint8_t in[16], std::uint8_t out[16]) const {
    const std::uint32_t* K = m_subkeys;
    std::uint32_t a = loadLe32(in) ^ K[0], b = loadLe32(in + 4) ^ K[1];
    std::uint32_t c = loadLe32(in + 8) ^ K[2], d = loadLe32(in + 12) ^ K[3];
    for (int r = 0; r < 16; r += 2) {
        std::uint32_t t0 = g(a), t1 = g(rol(b, 8));
        c = ror(c ^ (t0 + t1 + K[2 * r + 8]), 1);
        d = rol(d, 1) ^ (t0 + 2 * t1 + K[2 * r + 9]);
        t0 = g(c);
        t1 = g(rol(d, 8));
        a = ror(a ^ (t0 + t1 + K[2 * r + 10]), 1);
        b = rol(b, 1) ^ (t0 + 2 * t1 + K[2 * r + 11]);
    }
    storeLe32(out, c ^ K[4]);
    storeLe32(out + 4, d ^ K[5]);
    storeLe32(out + 8, a ^ K[6]);
    storeLe32(out + 12, b ^ K[7]);
}

void Twofish::decryptBlock(const std::uint8_t in[16], std::uint8_t out[16]) const {
    const std::uint32_t* K = m_subkeys;
    std::uint32_t c = loadLe32(in) ^ K[4], d = loadLe32(in + 4) ^ K[5];
    std::uint32_t a = loadLe32(in + 8) ^ K[6], b = loadLe32(in + 12) ^ K[7];
    for (int r = 14; r >= 0; r -= 2) {
        std::uint32_t t0 = g(c), t1 = g(rol(d, 8));
        a = rol(a, 1) ^ (t0 + t1 + K[2 * r + 10]);
        b = ror(b ^ (t0 + 2 * t1 + K[2 * r + 11]), 1);
        t0 = g(a);
        t1 = g(rol(b, 8));
        c = rol(c, 1) ^ (t0 + t1 + K[2 * r + 8]);
        d = ror(d ^ (t0 + 2 * t1 + K[2 * r + 9]), 1);
    }
    storeLe32(out, a ^ K[0]);
    storeLe32(out + 4, b ^ K[1]);
    storeLe32(out + 8, c ^ K[2]);
    storeLe32(out + 12, d ^ K[3]);
}

void Twofish::setIv(const std::uint8_t iv[16]) { std::memcpy(m_chain, iv, sizeof m_chain); }

bool Twofish::decryptCbc(std::uint8_t* data, std::uint32_t count) {
    if (!m_keyed || count % 16 != 0 || (!data && count)) return false;
    std::uint8_t cipher[16];
    for (std::uint32_t off = 0; off < count; off += 16) {
        std::memcpy(cipher, data + off, 16);
        decryptBlock(cipher, data + off);
        for (int i = 0; i < 16; ++i) data[off + i] ^= m_chain[i];
        std::memcpy(m_chain, cipher, 16);
    }
    return true;
}
