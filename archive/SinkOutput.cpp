// The application's sink as the end of a decode.
#include "archive/SinkOutput.h"

#include "base/StringBuffer.h"

std::uint32_t SinkOutput::write(const void* bytes, std::uint32_t itemSize, std::uint32_t count, LogBase* log) {
    return write64(bytes, itemSize, count, log);
}

std::uint32_t SinkOutput::write64(const void* bytes, std::uint64_t itemSize, std::uint32_t count, LogBase*) {
    if (!bytes || itemSize == 0 || count == 0) return 0;
    return m_sink.Write(bytes, static_cast<std::size_t>(itemSize * count)) ? count : 0;
}

void SinkOutput::describe(StringBuffer& text) { text.setString("application sink"); }
