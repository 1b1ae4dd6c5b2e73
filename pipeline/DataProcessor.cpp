// Buffer ownership and the pass-through step shared by the processors.
#include "pipeline/DataProcessor.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <new>

#include "pipeline/DataSource.h"

namespace {
std::atomic<int> g_processorCount{0};
constexpr std::int32_t kRingCapacity = 50000;
}  // namespace

DataProcessor::DataProcessor() {
    char label[32];
    std::snprintf(label, sizeof label, "processor_%d", g_processorCount.fetch_add(1));
    m_instanceName.setString(label);
    initRing(kRingCapacity);
}

DataProcessor::~DataProcessor() { releaseInputBuffer(); }

void DataProcessor::releaseInputBuffer() {
    if (m_ownsInputBuffer) delete[] m_inputBuffer;
    m_inputBuffer = nullptr;
    m_inputBufferSize = 0;
    m_ownsInputBuffer = false;
}

bool DataProcessor::allocateInputBuffer(std::uint32_t size) {
    releaseInputBuffer();
    m_inputBuffer = new (std::nothrow) std::uint8_t[std::uint64_t(size) + 4];
    if (!m_inputBuffer) return false;
    m_inputBufferSize = size;
    m_ownsInputBuffer = true;
    return true;
}

void DataProcessor::useInputBuffer(std::uint8_t* buffer, std::uint32_t size) {
    releaseInputBuffer();
    m_inputBuffer = buffer;
    m_inputBufferSize = size;
}

bool DataProcessor::sourceEnded() { return !m_source || m_source->endOfStream(); }

std::uint64_t DataProcessor::bytesPending() {
    std::uint64_t held = MemoryDataSink::bytesPending();
    return m_source ? held + m_unforwarded : held;
}

void DataProcessor::resetPassThrough() {
    m_bytesIn = m_bytesPassed = 0;
    m_cursor = nullptr;
    m_unforwarded = 0;
}

int DataProcessor::passThroughStep() {
    if (!m_sink) return -1;
    return m_source ? stepFromSource() : stepFromRing();
}

bool DataProcessor::forward(std::uint8_t* bytes, std::uint32_t n, bool fromRing) {
    m_bytesPassed += n;
    beforeForward(bytes, n, fromRing);
    return m_sink->write(bytes, n);
}

int DataProcessor::stepFromSource() {
    bool ended = m_source->endOfStream();
    if (m_unforwarded == 0 && !ended) {
        if (!m_inputBuffer || m_inputBufferSize == 0) return -1;
        std::uint32_t got = 0;
        if (!m_source->getNextChunk(m_inputBuffer, m_inputBufferSize, got, nullptr)) return -1;
        ended = m_source->endOfStream();
        m_bytesIn += got;
        m_cursor = m_inputBuffer;
        m_unforwarded = got;
        inputReceived(m_inputBuffer, got);
    }
    if (m_unforwarded) {
        std::uint32_t space = 0;
        m_sink->spaceAvailable(space);
        std::uint32_t n = std::min(space, m_unforwarded);
        if (n > 0) {
            if (!forward(m_cursor, n, false)) return -1;
            m_cursor += n;
            m_unforwarded -= n;
        }
    }
    if (m_unforwarded == 0 && ended) m_sink->markEndOfInput();
    return 0;
}

int DataProcessor::stepFromRing() {
    std::uint32_t space = 0;
    m_sink->spaceAvailable(space);
    std::uint8_t* region[2];
    std::int32_t length[2];
    ring().readRegions(region[0], length[0], region[1], length[1]);
    for (int i = 0; i < 2 && space > 0 && length[i] > 0; ++i) {
        std::uint32_t n = std::min(space, static_cast<std::uint32_t>(length[i]));
        if (!forward(region[i], n, true)) return -1;
        ring().consume(static_cast<std::int32_t>(n));
        space -= n;
    }
    // Passed on at once: the pump may stop after this pass, and the next stage must know.
    if (ring().usedBytes() == 0 && endOfInput()) m_sink->markEndOfInput();
    return 0;
}
