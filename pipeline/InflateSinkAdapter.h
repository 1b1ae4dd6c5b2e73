// Lets the inflate engine hand its windows to a DataSink (not owned), and see the abort state of
// the sink's progress monitor.
#pragma once
#include "codecs/InflateOutput.h"

class DataSink;

class InflateSinkAdapter : public InflateOutput {
public:
    explicit InflateSinkAdapter(DataSink& sink) : m_sink(sink) {}

    bool spaceAvailable(std::uint32_t& count) override;
    bool write(const std::uint8_t* bytes, std::uint32_t count) override;
    // The sink's monitor's isAborted; false without a monitor.
    bool isAborted() override;

private:
    DataSink& m_sink;
};
