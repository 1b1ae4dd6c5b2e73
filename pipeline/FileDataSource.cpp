// Reading, seeking and scanning through a borrowed file handle.
#include "pipeline/FileDataSource.h"

#include <cstring>
#include <memory>
#include <new>

#include "base/LittleEndian.h"
#include "base/TarnelHandle.h"
#include "log/LogBase.h"
#include "log/LogReject.h"

namespace {
constexpr std::uint32_t kScanBlock = 20000;
}

bool FileDataSource::rejectBuffer(const std::uint8_t* buffer, std::uint32_t capacity, LogBase* log) const {
    const char* problem = capacity == 0 ? "zero-size buffer passed to get-next-chunk."
                          : !buffer     ? "NULL buffer passed to get-next-chunk."
                                        : nullptr;
    if (problem && log) log->logError(problem);
    return problem != nullptr;
}

bool FileDataSource::readBlock(std::uint8_t* buffer, std::uint32_t capacity, std::uint32_t& count, LogBase* log) {
    bool endOfFile = false;
    return m_handle->read(buffer, capacity, count, endOfFile, log);
}

bool FileDataSource::getNextChunk(std::uint8_t* buffer, std::uint32_t capacity, std::uint32_t& count, LogBase* log) {
    count = 0;
    if (rejectBuffer(buffer, capacity, log)) return false;
    if (!m_handle) return true;
    bool ok = readBlock(buffer, capacity, count, log);
    if (count > 0) return countDelivered(count, log);
    m_handle = nullptr;
    return ok;
}

bool FileDataSource::peekNextChunk(std::uint8_t* buffer, std::uint32_t capacity, std::uint32_t& count, LogBase* log) {
    count = 0;
    if (capacity == 0 || !buffer) return false;
    if (!m_handle) return true;
    std::int64_t start = m_handle->getPosition(log);
    if (start < 0) return false;
    bool ok = readBlock(buffer, capacity, count, log);
    bool back = m_handle->seekAbsolute(start, log);
    if (count == 0) m_handle = nullptr;
    return ok && back && count > 0;
}

bool FileDataSource::seekAbsolute(std::uint64_t position, LogBase* log) {
    return !m_handle || m_handle->seekAbsolute(static_cast<std::int64_t>(position), log);
}

bool FileDataSource::seekRelative(std::int64_t delta, LogBase* log) {
    if (delta < 0) return rejectWith(log, "Cannot seek relative on non-owned file handle");
    if (!m_handle) return rejectWith(log, "Cannot fseek relative, file already closed.");
    if (!m_handle->seekRelative(delta, log)) return rejectWith(log, "Failed to seek to relative offset in file");
    return m_handle->getPosition(log) >= 0;
}

bool FileDataSource::skipBytes(std::uint64_t count, LogBase* log) {
    return seekRelative(static_cast<std::int64_t>(count), log);
}

// Blocks overlap by the 3 bytes that could start a signature cut at a block's end.
bool FileDataSource::scanForSignature(std::uint32_t signature, std::uint64_t& skipped, LogBase* log) {
    skipped = 0;
    if (!m_handle) return false;
    std::unique_ptr<std::uint8_t[]> block(new (std::nothrow) std::uint8_t[kScanBlock]);
    if (!block) return false;
    std::uint32_t have = 0;
    if (!readBlock(block.get(), kScanBlock, have, log) || have < 4) return false;
    for (;;) {
        std::uint32_t i = 0;
        for (; have - i >= 4; ++i, ++skipped) {
            if (loadLe32(block.get() + i) != signature) continue;
            std::int64_t beyond = static_cast<std::int64_t>(have - i - 4);
            return m_handle->seekRelative(-beyond, log);
        }
        std::uint32_t rest = have - i;
        std::memmove(block.get(), block.get() + i, rest);
        std::uint32_t got = 0;
        if (!readBlock(block.get() + rest, kScanBlock - rest, got, log) || got == 0) return false;
        have = rest + got;
    }
}
