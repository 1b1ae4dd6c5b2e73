// The whole-block forms of the streaming legacy decoders: output collected in a DataBuffer.
#pragma once
#include <cstdint>

#include "base/DataBuffer.h"
#include "codecs/InflateOutput.h"

class DataBufferOutput : public InflateOutput {
public:
    explicit DataBufferOutput(DataBuffer& out) : m_out(out) {}
    bool spaceAvailable(std::uint32_t& count) override {
        count = 0xFFFFFFFFu;
        return true;
    }
    bool write(const std::uint8_t* bytes, std::uint32_t count) override { return m_out.append(bytes, count); }

private:
    DataBuffer& m_out;
};
