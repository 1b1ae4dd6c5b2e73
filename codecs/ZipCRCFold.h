// The kernels behind ZipCRC and the tables they share. Each takes and returns the uncomplemented
// register; both give the byte-at-a-time result for every input.
#pragma once
#include <cstddef>
#include <cstdint>

struct ZipCRCTables {
    // slice[k][b]: the register after byte b followed by k zero bytes; slice[0] is the plain table.
    std::uint32_t slice[16][256];
    // Carry-less fold constants, (x^e mod P) bit-reflected into the top half of a 64-bit word:
    // fold128 shifts a 128-bit lane forward by 128 bits, fold512 by 512 bits; [0] applies to
    // the lane's low (earlier) quadword, [1] to its high quadword.
    std::uint64_t fold128[2];
    std::uint64_t fold512[2];
};

// Built once, on first use, under the runtime's static-initialisation lock.
const ZipCRCTables& zipCRCTables();

// Portable: 16 bytes per step.
std::uint32_t zipCRCSlice16(std::uint32_t state, const std::uint8_t* p, std::size_t n);

// x86 carry-less multiplication; call only when the CPU has PCLMULQDQ and SSE4.1.
std::uint32_t zipCRCFoldClmul(std::uint32_t state, const std::uint8_t* p, std::size_t n);
bool zipCRCHasClmul();
