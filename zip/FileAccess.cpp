// Windowed reads and chunked signature searches on an archive file.
#include "zip/FileAccess.h"

#include <cstring>

#include "base/DataBuffer.h"
#include "base/LittleEndian.h"
#include "base/FileOpen.h"
#include "log/LogReject.h"

// Candidates are found with memchr on the signatures' common first byte (every zip signature
// starts with 'P'), which keeps the scan at memory speed; others fall back to a byte walk.
std::int64_t FileAccess::scanForSignature(const std::uint8_t* bytes, std::uint64_t length, std::uint32_t first,
                                          std::uint32_t second) {
    const std::uint8_t lead = std::uint8_t(first);
    const bool commonLead = lead == std::uint8_t(second);
    for (std::uint64_t i = 0; i + 4 <= length; ++i) {
        if (commonLead) {
            const void* hit = std::memchr(bytes + i, lead, std::size_t(length - 3 - i));
            if (hit == nullptr) return -1;
            i = std::uint64_t(static_cast<const std::uint8_t*>(hit) - bytes);
        }
        const std::uint8_t* p = bytes + i;
        const std::uint32_t value = loadLe32(p);
        if (value == first || value == second) return std::int64_t(i);
    }
    return -1;
}

bool FileAccess::open(const char* utf8Path, LogBase& log) {
    if (utf8Path == nullptr || *utf8Path == '\0') return false;
    close();
    m_position = 0;
    int reason = 0;
    return openForRead(utf8Path, m_handle, reason, &log);
}

void FileAccess::close() {
    m_handle.close();
    m_position = 0;
}

bool FileAccess::seekTo(std::uint64_t address, LogBase* log) {
    if (address == m_position && m_position != kUnknown) return true;
    if (address > std::uint64_t(INT64_MAX) || !m_handle.seekAbsolute(std::int64_t(address), log)) return false;
    m_position = address;
    return true;
}

bool FileAccess::readChunk(std::uint8_t* into, std::uint32_t n, std::uint32_t& got) {
    bool endOfFile = false;
    if (!m_handle.read(into, n, got, endOfFile, nullptr)) {
        m_position = kUnknown;
        return false;
    }
    m_position += got;
    return true;
}

bool FileAccess::readInto(std::uint64_t address, std::uint8_t* into, std::uint32_t n, std::uint32_t& got,
                          LogBase* log) {
    got = 0;
    return isOpen() && seekTo(address, log) && readChunk(into, n, got);
}

// Shared by both window reads: seek, make room, read whatever is there.
bool FileAccess::read(std::uint64_t address, std::uint32_t n, DataBuffer& buffer, std::uint32_t& got, LogBase* log) {
    buffer.clear();
    if (!readMore(address, n, buffer, log)) return false;
    got = buffer.size();
    return true;
}

bool FileAccess::readMore(std::uint64_t address, std::uint32_t n, DataBuffer& buffer, LogBase* log) {
    if (!isOpen() || !seekTo(address, log)) return false;
    const std::uint32_t held = buffer.size();
    if (n > UINT32_MAX - held || !buffer.ensureCapacity(held + (n ? n : 1)))
        return rejectWith(log, "File access error: no data available.");
    std::uint32_t got = 0;
    bool endOfFile = false;
    if (!m_handle.read(buffer.data() + held, n, got, endOfFile, log)) {
        m_position = kUnknown;
        return false;
    }
    m_position += got;
    buffer.setSize(held + got);
    return true;
}

bool FileAccess::readExact(std::uint64_t address, std::uint32_t n, DataBuffer& buffer, LogBase& log) {
    std::uint32_t got = 0;
    if (!read(address, n, buffer, got, &log)) return false;
    if (got < n) return rejectWith(&log, "File access error: did not read full requested amount of data.");
    return true;
}

bool FileAccess::readUpTo(std::uint64_t address, std::uint32_t n, DataBuffer& buffer) {
    std::uint32_t got = 0;
    return read(address, n, buffer, got, nullptr);
}

bool FileAccess::findSignature(std::uint64_t& address, std::uint32_t signature, std::uint8_t found[4]) {
    return search(address, signature, signature, found);
}

bool FileAccess::findEitherSignature(std::uint64_t& address, std::uint32_t first, std::uint32_t second,
                                     std::uint8_t found[4]) {
    return search(address, first, second, found);
}

// The scratch chunk keeps at most 3 bytes across a refill: the bytes after the last position
// tested, which may begin a signature that the next chunk completes.
bool FileAccess::search(std::uint64_t& address, std::uint32_t first, std::uint32_t second, std::uint8_t found[4]) {
    if (!isOpen() || !seekTo(address, nullptr)) return false;
    std::uint8_t chunk[kSearchChunk];
    std::uint32_t length = 0;
    if (!readChunk(chunk, kSearchChunk, length) || length < 4) return false;
    std::uint64_t chunkAddress = address;
    for (;;) {
        std::int64_t match = scanForSignature(chunk, length, first, second);
        if (match >= 0) {
            address = chunkAddress + std::uint64_t(match);
            std::memcpy(found, chunk + match, 4);
            return true;
        }
        std::uint32_t keep = length < 3 ? length : 3;
        std::memmove(chunk, chunk + length - keep, keep);
        chunkAddress += length - keep;
        std::uint32_t got = 0;
        if (!readChunk(chunk + keep, kSearchChunk - keep, got) || got == 0) return false;
        length = keep + got;
    }
}
