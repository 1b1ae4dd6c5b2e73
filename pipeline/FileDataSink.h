// The sink at the end of a decode: hands every byte to an Output it does not own. After the first
// write the Output does not take in full, the sink forgets it and every later write fails.
#pragma once
#include "pipeline/DataSink.h"

class LogBase;
class Output;

class FileDataSink : public DataSink {
public:
    FileDataSink() = default;
    ~FileDataSink() override = default;

    bool write(const std::uint8_t* bytes, std::uint32_t n) override;
    bool spaceAvailable(std::uint32_t& count) override;

    void setOutput(Output* output) { m_output = output; }
    // Where the Output reports its own failures; may be null.
    void setLog(LogBase* log) { m_log = log; }
    bool writeFailed() const { return m_writeFailed; }
    // CRC-32 of what was written, when CRC computing is on.
    std::uint32_t crcValue() const { return receivedCrc(); }

private:
    Output* m_output = nullptr;
    LogBase* m_log = nullptr;
    bool m_writeFailed = false;
};
