// Test helper: CRC-32 (the ZIP polynomial, reflected) one bit at a time, the slowest and
// plainest form, as the reference for the table-driven and folding implementations.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// Runs the register over the bytes without the initial and final inversions.
inline std::uint32_t bitwiseCrcState(std::uint32_t state, const std::uint8_t* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        state ^= p[i];
        for (int k = 0; k < 8; ++k) state = (state & 1) ? (state >> 1) ^ 0xEDB88320u : state >> 1;
    }
    return state;
}

inline std::uint32_t bitwiseCrc32(const std::string& bytes) {
    return ~bitwiseCrcState(0xFFFFFFFFu, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}
