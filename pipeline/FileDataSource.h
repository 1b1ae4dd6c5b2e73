// A source over an open file handle it does not own (its owner closes it). Reading the end of the
// file drops the handle: the source has then ended, and that last read delivered 0 bytes.
#pragma once
#include "pipeline/DataSource.h"

class TarnelHandle;

class FileDataSource : public DataSource {
public:
    FileDataSource() = default;
    ~FileDataSource() override = default;

    void attachHandle(TarnelHandle* handle) { m_handle = handle; }

    bool getNextChunk(std::uint8_t* buffer, std::uint32_t capacity, std::uint32_t& count, LogBase* log) override;
    bool peekNextChunk(std::uint8_t* buffer, std::uint32_t capacity, std::uint32_t& count, LogBase* log) override;
    bool endOfStream() override { return m_handle == nullptr; }
    bool seekAbsolute(std::uint64_t position, LogBase* log) override;
    // Forward only: the handle belongs to someone else, who may rely on where it stands.
    bool seekRelative(std::int64_t delta, LogBase* log) override;
    // Leaves the file just after the signature; works in 20,000-byte blocks.
    bool scanForSignature(std::uint32_t signature, std::uint64_t& skipped, LogBase* log) override;
    bool skipBytes(std::uint64_t count, LogBase* log) override;

private:
    bool readBlock(std::uint8_t* buffer, std::uint32_t capacity, std::uint32_t& count, LogBase* log);
    bool rejectBuffer(const std::uint8_t* buffer, std::uint32_t capacity, LogBase* log) const;

    TarnelHandle* m_handle = nullptr;
};
