// In-memory Output with its optional move to a file.
#include "pipeline/OutputDataBuffer.h"

#include <algorithm>
#include <cstring>

#include "base/DataBuffer.h"
#include "base/StringBuffer.h"
#include "log/LogNull.h"
#include "pipeline/OutputFile.h"

namespace {
constexpr std::uint64_t kMaxIndex = 0xFFFFFFFFull;
}

OutputDataBuffer::OutputDataBuffer(DataBuffer* buffer) : m_buffer(buffer), m_index(buffer ? buffer->size() : 0) {}

OutputDataBuffer::~OutputDataBuffer() { delete m_rerouteFile; }

void OutputDataBuffer::setReroute(std::uint32_t threshold, const char* utf8Path) {
    m_rerouteThreshold = threshold;
    m_reroutePath.setUtf8(utf8Path);
}

std::uint32_t OutputDataBuffer::write(const void* bytes, std::uint32_t itemSize, std::uint32_t count, LogBase* log) {
    if (m_rerouted) return m_rerouteFile->write64(bytes, itemSize, count, log);
    if (!bytes || itemSize == 0 || count == 0 || m_failed || !m_buffer) return 0;
    LogNull nullLog;
    LogBase& out = log ? *log : nullLog;
    std::uint64_t n = std::uint64_t(itemSize) * count;
    std::uint64_t needed = m_index + n + 8;
    if (m_rerouteThreshold && !m_rerouteRefused && needed > m_rerouteThreshold && m_reroutePath.getUtf8()[0] &&
        startReroute(out))
        return m_rerouted ? m_rerouteFile->write64(bytes, itemSize, count, log) : 0;
    if (!growFor(needed, itemSize, count, out)) return 0;
    return writeInMemory(bytes, static_cast<std::uint32_t>(n), count, out);
}

std::uint32_t OutputDataBuffer::write64(const void* bytes, std::uint64_t itemSize, std::uint32_t count, LogBase* log) {
    return write(bytes, static_cast<std::uint32_t>(itemSize), count, log);
}

// Grows to half as much again as needed, so that a run of small writes grows rarely.
bool OutputDataBuffer::growFor(std::uint64_t needed, std::uint64_t itemSize, std::uint32_t count, LogBase& log) {
    if (needed <= m_buffer->capacity()) return true;
    std::uint64_t grown = std::min(needed + needed / 2, kMaxIndex);
    if (needed <= kMaxIndex && m_buffer->ensureCapacity(static_cast<std::uint32_t>(grown))) return true;
    log.logError("Failed to allocate memory for output data buffer.");
    log.logDataInt64("ensureSz0", static_cast<std::int64_t>(needed));
    log.logDataInt64("ensureSz", static_cast<std::int64_t>(grown));
    log.logDataInt64("m_idx", m_index);
    log.logDataInt64("size", static_cast<std::int64_t>(itemSize));
    log.logDataInt64("count", count);
    m_failed = true;
    return false;
}

// Capacity for index + n is in place: overwrite, extend, or pad with zeros up to the index first.
std::uint32_t OutputDataBuffer::writeInMemory(const void* bytes, std::uint32_t n, std::uint32_t count, LogBase&) {
    std::uint32_t size = m_buffer->size();
    if (m_index > size) std::memset(m_buffer->data() + size, 0, m_index - size);
    std::memcpy(m_buffer->data() + m_index, bytes, n);
    m_index += n;
    if (size < m_index) m_buffer->setSize(m_index);
    return count;
}

// True when the write is settled by the attempt: rerouted (m_rerouted) or failed copying.
// False sends the write on in memory.
bool OutputDataBuffer::startReroute(LogBase& log) {
    log.logInfo("Rerouting in-memory output to file because of size.");
    log.logDataLong("rerouteSize", static_cast<std::int32_t>(m_rerouteThreshold));
    OutputFile* file = new OutputFile;
    if (!file->open(m_reroutePath.getUtf8(), &log)) {
        delete file;
        m_rerouteRefused = true;
        return false;
    }
    m_rerouteFile = file;
    std::uint32_t held = m_buffer->size();
    if (held && file->write(m_buffer->data(), held, 1, &log) != 1) return true;
    if (m_index != held) file->seek(m_index, &log);
    m_buffer->clear();
    m_buffer->shrink();
    m_rerouted = true;
    return true;
}

bool OutputDataBuffer::seekToEnd(LogBase* log) {
    if (m_rerouted) return m_rerouteFile->seekToEnd(log);
    if (!m_buffer) return false;
    m_index = m_buffer->size();
    return true;
}

bool OutputDataBuffer::seek(std::uint64_t position, LogBase* log) {
    if (m_rerouted) return m_rerouteFile->seek(position, log);
    if (m_failed || position >= kMaxIndex || !m_buffer) return false;
    if (position >= m_buffer->size() && !m_buffer->ensureCapacity(static_cast<std::uint32_t>(position) + 1))
        return false;
    m_index = static_cast<std::uint32_t>(position);
    return true;
}

std::uint64_t OutputDataBuffer::position() {
    if (m_rerouted) return m_rerouteFile->position();
    return m_buffer ? m_index : 0;
}

bool OutputDataBuffer::rewind(LogBase* log) {
    if (m_rerouted) return m_rerouteFile->rewind(log);
    m_index = 0;
    if (m_buffer) m_buffer->clear();
    return true;
}

void OutputDataBuffer::describe(StringBuffer& text) { text.append("memory"); }

void OutputDataBuffer::copyDataTo(DataBuffer& target) {
    if (m_buffer) target.append(m_buffer->data(), m_buffer->size());
}

bool OutputDataBuffer::reserve(std::uint64_t bytes) {
    if (!m_buffer) return true;
    return bytes <= kMaxIndex && m_buffer->ensureCapacity(static_cast<std::uint32_t>(bytes));
}
