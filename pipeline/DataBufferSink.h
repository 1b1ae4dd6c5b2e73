// A sink that appends everything to a DataBuffer it does not own.
#pragma once
#include "pipeline/DataSink.h"

class DataBuffer;

class DataBufferSink : public DataSink {
public:
    DataBufferSink() = default;
    ~DataBufferSink() override = default;

    void setBuffer(DataBuffer* buffer) { m_buffer = buffer; }
    // False without a buffer or when the buffer cannot grow.
    bool write(const std::uint8_t* bytes, std::uint32_t n) override;
    bool spaceAvailable(std::uint32_t& count) override;

private:
    DataBuffer* m_buffer = nullptr;
};
