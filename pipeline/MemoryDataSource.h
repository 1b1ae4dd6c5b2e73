// A source over a memory block it does not own; the block must outlive the source. It has ended
// when the position reaches the size; a read at the end delivers nothing and returns false.
#pragma once
#include "pipeline/DataSource.h"

class MemoryDataSource : public DataSource {
public:
    MemoryDataSource() = default;
    ~MemoryDataSource() override = default;

    void initMemory(const std::uint8_t* data, std::uint32_t size);

    bool getNextChunk(std::uint8_t* buffer, std::uint32_t capacity, std::uint32_t& count, LogBase* log) override;
    bool peekNextChunk(std::uint8_t* buffer, std::uint32_t capacity, std::uint32_t& count, LogBase* log) override;
    bool endOfStream() override { return m_position >= m_size; }
    // Both clamp the position to 0..size and always succeed.
    bool seekAbsolute(std::uint64_t position, LogBase* log) override;
    bool seekRelative(std::int64_t delta, LogBase* log) override;
    // Without a match the position stops 3 bytes before the end.
    bool scanForSignature(std::uint32_t signature, std::uint64_t& skipped, LogBase* log) override;
    bool skipBytes(std::uint64_t count, LogBase* log) override;

    std::uint64_t position() const { return m_position; }

private:
    std::uint32_t copyOut(std::uint8_t* buffer, std::uint32_t capacity) const;

    const std::uint8_t* m_data = nullptr;
    std::uint64_t m_size = 0;
    std::uint64_t m_position = 0;  // never above m_size
};
