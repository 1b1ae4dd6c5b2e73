// An Output in front of another one that sums the CRC-32 of every byte the inner Output took.
// Used where a transfer has no CRC stage of its own. The inner Output is not owned.
#pragma once
#include "codecs/ZipCRC.h"
#include "pipeline/Output.h"

class CrcOutput : public Output {
public:
    explicit CrcOutput(Output& inner) : m_inner(inner) {}
    ~CrcOutput() override = default;
    std::uint32_t write(const void* bytes, std::uint32_t itemSize, std::uint32_t count, LogBase* log) override;
    std::uint32_t write64(const void* bytes, std::uint64_t itemSize, std::uint32_t count, LogBase* log) override;
    bool hasFailed() override { return m_inner.hasFailed(); }
    void describe(StringBuffer& text) override { m_inner.describe(text); }
    std::uint32_t crcValue() const { return m_crc.finalValue(); }

private:
    Output& m_inner;
    ZipCRC m_crc;
};
