// An Output into a file. Owns its handle; the owner may also open the handle itself (to choose
// attributes) and close it through handle(). Tracks the position and the highest one written.
#pragma once
#include "base/StringBuffer.h"
#include "base/TarnelHandle.h"
#include "pipeline/Output.h"

class OutputFile : public Output {
public:
    OutputFile() = default;
    ~OutputFile() override = default;

    // Deletes whatever exists at utf8Path, then creates the file anew for reading and writing.
    bool open(const char* utf8Path, LogBase* log);

    std::uint32_t write(const void* bytes, std::uint32_t itemSize, std::uint32_t count, LogBase* log) override;
    std::uint32_t write64(const void* bytes, std::uint64_t itemSize, std::uint32_t count, LogBase* log) override;
    bool seekToEnd(LogBase* log) override;
    bool seek(std::uint64_t position, LogBase* log) override;
    std::uint64_t position() override { return m_position; }
    bool rewind(LogBase* log) override { return seek(0, log); }
    void describe(StringBuffer& text) override;

    TarnelHandle& handle() { return m_handle; }
    std::uint64_t endPosition() const { return m_end; }

private:
    std::uint64_t m_end = 0;  // highest position written so far
    std::uint64_t m_position = 0;
    StringBuffer m_path;
    TarnelHandle m_handle;
};
