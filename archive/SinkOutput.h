// An Output that hands every write to an application's TnZipSink. A write the sink refuses is
// a write of nothing, which stops the decode; the sink is not owned.
#pragma once
#include "pipeline/Output.h"
#include "tarnel/TnZipSink.h"

class SinkOutput : public Output {
public:
    explicit SinkOutput(TnZipSink& sink) : m_sink(sink) {}
    ~SinkOutput() override = default;
    std::uint32_t write(const void* bytes, std::uint32_t itemSize, std::uint32_t count, LogBase* log) override;
    std::uint32_t write64(const void* bytes, std::uint64_t itemSize, std::uint32_t count, LogBase* log) override;
    void describe(StringBuffer& text) override;

private:
    TnZipSink& m_sink;
};
