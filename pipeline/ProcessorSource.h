// A DataSource that delivers what one processor makes of its own source: each getNextChunk steps
// the processor until it has handed bytes to the caller's buffer or has nothing more to give.
// This puts a pass-through stage (a decryption) in front of a decoder that pulls its input, with
// no copy of the stream anywhere but the processor's buffers.
//
// The processor is wired to its source and given an input buffer by the caller, and is not owned;
// its sink is set here. begin is called before the first step, finish once it has ended.
// No progress is reported here: the bytes are counted where they leave the decode.
#pragma once
#include <cstdint>

#include "pipeline/DataSink.h"
#include "pipeline/DataSource.h"

class DataProcessor;

class ProcessorSource : public DataSource {
public:
    explicit ProcessorSource(DataProcessor& processor);
    ~ProcessorSource() override = default;

    // False when a step fails or the processor stops moving before its end.
    bool getNextChunk(std::uint8_t* buffer, std::uint32_t capacity, std::uint32_t& count, LogBase* log) override;
    bool endOfStream() override { return m_handoff.endOfInput(); }

private:
    // The processor's sink: the caller's buffer of the current getNextChunk.
    class Handoff : public DataSink {
    public:
        void aim(std::uint8_t* target, std::uint32_t capacity);
        bool write(const std::uint8_t* bytes, std::uint32_t n) override;
        bool spaceAvailable(std::uint32_t& count) override;
        std::uint32_t filled() const { return m_filled; }

    private:
        std::uint8_t* m_target = nullptr;
        std::uint32_t m_capacity = 0;
        std::uint32_t m_filled = 0;
    };

    DataProcessor& m_processor;
    Handoff m_handoff;
    bool m_begun = false;
    bool m_finished = false;
};
