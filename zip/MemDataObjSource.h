// A source over a byte range of the archive, read through its MemoryData (not owned), which must
// outlive the source. Each chunk is copied out at once, because the window changes at its next
// request; large chunks are read straight into the caller's buffer. The source has ended when
// the range is used up.
#pragma once
#include "pipeline/DataSource.h"

class MemoryData;

class MemDataObjSource : public DataSource {
public:
    MemDataObjSource() = default;
    ~MemDataObjSource() override = default;

    void initRange(MemoryData* data, std::uint64_t start, std::uint64_t count);

    // False when the window yields nothing (a read error or the end of the file) or on abort.
    bool getNextChunk(std::uint8_t* buffer, std::uint32_t capacity, std::uint32_t& count, LogBase* log) override;
    bool endOfStream() override { return m_remaining == 0; }

private:
    MemoryData* m_data = nullptr;
    std::uint64_t m_start = 0;
    std::uint64_t m_remaining = 0;
    std::uint64_t m_offset = 0;  // archive address of the next byte
};
