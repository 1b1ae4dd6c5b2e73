// The millisecond tick counter: a monotonic clock that wraps every 49.7 days.
#pragma once
#include <cstdint>

std::uint32_t tickCountMs();
