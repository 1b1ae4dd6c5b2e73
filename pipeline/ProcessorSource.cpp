// Pulling a processor's output on demand.
#include "pipeline/ProcessorSource.h"

#include <cstring>

#include "pipeline/DataProcessor.h"

namespace {
// Steps that move nothing before the processor is given up on (see DataPipeline's idle passes).
constexpr int kMaxIdleSteps = 64;
}  // namespace

void ProcessorSource::Handoff::aim(std::uint8_t* target, std::uint32_t capacity) {
    m_target = target;
    m_capacity = capacity;
    m_filled = 0;
}

bool ProcessorSource::Handoff::write(const std::uint8_t* bytes, std::uint32_t n) {
    if (n == 0 || !bytes) return true;
    if (n > m_capacity - m_filled) return false;
    std::memcpy(m_target + m_filled, bytes, n);
    m_filled += n;
    countTaken(n);
    return true;
}

bool ProcessorSource::Handoff::spaceAvailable(std::uint32_t& count) {
    count = m_capacity - m_filled;
    return count > 0;
}

ProcessorSource::ProcessorSource(DataProcessor& processor) : m_processor(processor) { m_processor.setSink(&m_handoff); }

bool ProcessorSource::getNextChunk(std::uint8_t* buffer, std::uint32_t capacity, std::uint32_t& count, LogBase* log) {
    count = 0;
    if (!buffer || capacity == 0) return false;
    if (!m_begun) {
        m_processor.begin();
        m_begun = true;
    }
    m_handoff.aim(buffer, capacity);
    int idle = 0;
    while (m_handoff.filled() == 0 && !m_handoff.endOfInput()) {
        const std::uint64_t pendingBefore = m_processor.bytesPending();
        if (m_processor.step() < 0) return false;
        const bool moved = m_handoff.filled() > 0 || m_processor.bytesPending() != pendingBefore;
        idle = moved ? 0 : idle + 1;
        if (idle > kMaxIdleSteps) return false;
    }
    if (m_handoff.endOfInput() && !m_finished) {
        m_processor.finish();
        m_finished = true;
    }
    count = m_handoff.filled();
    return count == 0 || countDelivered(count, log);
}
