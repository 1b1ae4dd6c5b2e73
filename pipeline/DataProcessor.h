// A stage between a source (first stage only) or the stage before it and a sink. Fed through its
// own ring (it is a sink), it pushes what it holds into its sink, never more than the sink's
// spaceAvailable. Neither the source nor the sink is owned; the input buffer is owned only when
// allocated here. A processor serves one pipeline run.
#pragma once
#include <cstdint>

#include "base/StringBuffer.h"
#include "base/TarnelObject.h"
#include "pipeline/MemoryDataSink.h"

class DataSource;

class DataProcessor : public MemoryDataSink, public TarnelObject {
public:
    DataProcessor();
    ~DataProcessor() override;

    // Unforwarded input (when reading a source) plus the ring's content.
    std::uint64_t bytesPending() override;

    // The class's label for logs.
    virtual const char* name() const { return "nothing"; }
    // Bracket one run: begin before the first step, finish after the last successful one.
    virtual void begin() {}
    virtual void finish() {}
    // Moves data one pass; 0, or -1 on failure.
    virtual int step() { return 0; }

    void setSource(DataSource* source) { m_source = source; }
    void setSink(DataSink* sink) { m_sink = sink; }
    // Owned buffer of size bytes (4 spare bytes beyond it, for decoders that read ahead).
    bool allocateInputBuffer(std::uint32_t size);
    // Caller memory, never freed here.
    void useInputBuffer(std::uint8_t* buffer, std::uint32_t size);
    // The source's endOfStream; true without a source.
    bool sourceEnded();

    const char* instanceName() const { return m_instanceName.text(); }
    std::uint64_t bytesOut() const { return m_bytesPassed; }

protected:
    // One pass of a stage that forwards its input unchanged apart from these two hooks.
    int passThroughStep();
    // Bytes just read from the source into the input buffer.
    virtual void inputReceived(std::uint8_t* /*bytes*/, std::uint32_t /*n*/) {}
    // Bytes about to go to the sink; fromRing tells ring content from source input.
    virtual void beforeForward(std::uint8_t* /*bytes*/, std::uint32_t /*n*/, bool /*fromRing*/) {}
    void resetPassThrough();

    DataSource* source() const { return m_source; }
    DataSink* sink() const { return m_sink; }

private:
    int stepFromSource();
    int stepFromRing();
    bool forward(std::uint8_t* bytes, std::uint32_t n, bool fromRing);
    void releaseInputBuffer();

    StringBuffer m_instanceName;  // "processor_N", N from a process-wide counter
    bool m_ownsInputBuffer = false;
    std::uint8_t* m_inputBuffer = nullptr;
    std::uint32_t m_inputBufferSize = 0;
    DataSource* m_source = nullptr;
    DataSink* m_sink = nullptr;

    // Pass-through state, zeroed by resetPassThrough.
    std::uint64_t m_bytesIn = 0;       // read from the source
    std::uint64_t m_bytesPassed = 0;   // handed to the sink
    std::uint8_t* m_cursor = nullptr;  // next unforwarded input byte
    std::uint32_t m_unforwarded = 0;
};
