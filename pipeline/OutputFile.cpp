// File-backed Output.
#include "pipeline/OutputFile.h"

#include "base/FileOpen.h"
#include "base/FileSystem.h"

bool OutputFile::open(const char* utf8Path, LogBase* log) {
    m_handle.close();
    m_end = m_position = 0;
    if (!utf8Path) return false;
    deleteFile(utf8Path, nullptr);
    m_path.setString(utf8Path);
    int reason = 0;
    return openReadWrite(utf8Path, m_handle, reason, log);
}

std::uint32_t OutputFile::write(const void* bytes, std::uint32_t itemSize, std::uint32_t count, LogBase* log) {
    return write64(bytes, itemSize, count, log);
}

// A short platform write is a failure like any other: nothing counts as written.
std::uint32_t OutputFile::write64(const void* bytes, std::uint64_t itemSize, std::uint32_t count, LogBase* log) {
    if (!bytes || itemSize == 0 || count == 0) return 0;
    std::uint64_t total = itemSize * count;
    std::uint64_t written = 0;
    if (!m_handle.write(bytes, total, written, log) || written != total) return 0;
    m_position += total;
    if (m_position > m_end) m_end = m_position;
    return count;
}

bool OutputFile::seekToEnd(LogBase* log) {
    m_position = m_end;
    return m_handle.seekToEnd(log);
}

bool OutputFile::seek(std::uint64_t position, LogBase* log) {
    if (!m_handle.seekAbsolute(static_cast<std::int64_t>(position), log)) return false;
    m_position = position;
    return true;
}

void OutputFile::describe(StringBuffer& text) {
    text.append("file");
    if (m_path.length() == 0) return;
    text.append(": ");
    text.append(m_path.text());
}
