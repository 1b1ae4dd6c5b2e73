// An Output into a DataBuffer it does not own. Writes go where the index points (appending at
// first), padding with zeros after a seek past the end. With a reroute threshold and path set,
// it moves itself for good into a file once the data would outgrow the threshold.
#pragma once
#include "base/XString.h"
#include "pipeline/Output.h"

class OutputFile;

class OutputDataBuffer : public Output {
public:
    // Writes start after what buffer already holds. buffer may be null (every write fails).
    explicit OutputDataBuffer(DataBuffer* buffer);
    ~OutputDataBuffer() override;

    std::uint32_t write(const void* bytes, std::uint32_t itemSize, std::uint32_t count, LogBase* log) override;
    std::uint32_t write64(const void* bytes, std::uint64_t itemSize, std::uint32_t count, LogBase* log) override;
    bool seekToEnd(LogBase* log) override;
    bool seek(std::uint64_t position, LogBase* log) override;
    std::uint64_t position() override;
    bool rewind(LogBase* log) override;
    void describe(StringBuffer& text) override;
    void copyDataTo(DataBuffer& target) override;
    DataBuffer* dataBuffer() override { return m_buffer; }
    bool hasFailed() override { return m_failed; }
    bool reserve(std::uint64_t bytes) override;

    // threshold 0 (the default) never reroutes.
    void setReroute(std::uint32_t threshold, const char* utf8Path);
    bool isRerouted() const { return m_rerouted; }

private:
    bool startReroute(LogBase& log);
    std::uint32_t writeInMemory(const void* bytes, std::uint32_t n, std::uint32_t count, LogBase& log);
    bool growFor(std::uint64_t needed, std::uint64_t itemSize, std::uint32_t count, LogBase& log);

    DataBuffer* m_buffer;
    std::uint32_t m_index;  // where the next write goes; below 4 GiB like the buffer's size
    bool m_failed = false;
    std::uint32_t m_rerouteThreshold = 0;
    XString m_reroutePath;
    bool m_rerouted = false;
    OutputFile* m_rerouteFile = nullptr;  // owned
    bool m_rerouteRefused = false;        // the reroute file would not open; stay in memory
};
