// The system's own millisecond tick counter.
#include "base/TickCount.h"

#include <windows.h>

std::uint32_t tickCountMs() { return GetTickCount(); }
