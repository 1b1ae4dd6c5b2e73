// The push side of the data pipeline. A producer asks spaceAvailable and never hands a sink more
// than that; write copies or consumes the bytes before it returns, so the caller keeps ownership.
// The end-of-input flag is set once, by the stage feeding this sink, when it has nothing more.
// A sink never owns its progress monitor.
#pragma once
#include <cstdint>

#include "codecs/ZipCRC.h"

class ProgressMonitor;

class DataSink {
public:
    DataSink();
    DataSink(const DataSink&) = delete;
    DataSink& operator=(const DataSink&) = delete;
    virtual ~DataSink() = default;

    // True when all n bytes were taken. Null bytes or n == 0 succeed without effect in every
    // concrete sink; the base takes nothing.
    virtual bool write(const std::uint8_t* bytes, std::uint32_t n);
    virtual std::uint64_t bytesWritten() { return m_bytesWritten; }
    // Bytes held and not yet passed on.
    virtual std::uint64_t bytesPending() { return 0; }
    // count = how many bytes the next write takes in full; false when it can take none now.
    virtual bool spaceAvailable(std::uint32_t& count);

    void markEndOfInput() { m_endOfInput = true; }
    bool endOfInput() const { return m_endOfInput; }
    void setComputeCrc(bool on) { m_computeCrc = on; }
    void setProgressMonitor(ProgressMonitor* monitor) { m_monitor = monitor; }
    ProgressMonitor* progressMonitor() const { return m_monitor; }
    // CRC-32 of every byte given to write since construction, when computing was on.
    std::uint32_t receivedCrc() const { return m_crc.finalValue(); }

protected:
    void feedCrc(const std::uint8_t* bytes, std::uint32_t n);
    // Counts n taken bytes and reports them; the monitor's abort answer is left to the pump.
    void countTaken(std::uint32_t n);

private:
    std::uint64_t m_bytesWritten = 0;
    bool m_endOfInput = false;
    ProgressMonitor* m_monitor = nullptr;
    bool m_computeCrc = false;
    ZipCRC m_crc;
};
