// A pass-through stage that computes the CRC-32 of everything that flows through it.
#pragma once
#include "codecs/ZipCRC.h"
#include "pipeline/DataProcessor.h"

class CrcProcessor : public DataProcessor {
public:
    CrcProcessor() = default;
    ~CrcProcessor() override = default;

    const char* name() const override { return "CrcProcessor"; }
    void begin() override;
    void finish() override { m_finalCrc = m_crc.finalValue(); }
    int step() override { return passThroughStep(); }

    // Valid after a successful run.
    std::uint32_t crcValue() const { return m_finalCrc; }

protected:
    // Source input is summed as it arrives, ring content as it leaves: each byte once.
    void inputReceived(std::uint8_t* bytes, std::uint32_t n) override;
    void beforeForward(std::uint8_t* bytes, std::uint32_t n, bool fromRing) override;

private:
    std::uint32_t m_finalCrc = 0;
    ZipCRC m_crc;
};
