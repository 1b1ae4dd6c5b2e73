// Recording of percent events for a watcher on another thread.
#include "archive/AsyncProgressEvent.h"

void AsyncProgressEvent::percentDone(int percent, bool* abort) {
    m_lastPercent.store(percent, std::memory_order_relaxed);
    answer(abort);
}
