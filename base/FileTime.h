// A point in time as the platform's file times count it: 100-nanosecond intervals since
// 1601-01-01 00:00:00. Whether a value is UTC or local wall time is the caller's convention.
#pragma once
#include <cstdint>

struct FileTime {
    std::uint32_t lowDateTime = 0;
    std::uint32_t highDateTime = 0;

    void clear() { lowDateTime = highDateTime = 0; }
    std::uint64_t value() const { return (std::uint64_t(highDateTime) << 32) | lowDateTime; }
    void setValue(std::uint64_t v) {
        lowDateTime = std::uint32_t(v);
        highDateTime = std::uint32_t(v >> 32);
    }
};
