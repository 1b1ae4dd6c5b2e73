// A sink that keeps what it is given in a ring buffer until a reader takes it out.
#pragma once
#include "pipeline/DataSink.h"
#include "pipeline/StreamingBuffer.h"

class MemoryDataSink : public DataSink {
public:
    // The ring starts without storage; initRing gives it a capacity.
    MemoryDataSink() = default;
    ~MemoryDataSink() override = default;

    // Stores what fits; true only when all n bytes were stored.
    bool write(const std::uint8_t* bytes, std::uint32_t n) override;
    std::uint64_t bytesPending() override;
    bool spaceAvailable(std::uint32_t& count) override;

    bool initRing(std::int32_t capacity) { return m_ring.init(capacity); }
    StreamingBuffer& ring() { return m_ring; }

private:
    StreamingBuffer m_ring;
};
