// POSIX tick counter on the monotonic clock, so wall-clock changes never move it.
#include "base/TickCount.h"

#include <ctime>

std::uint32_t tickCountMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const std::uint64_t ms = static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
                             static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(ms);
}
