// Output gathering of the code page converters.
#include "base/ConvertOutput.h"

#include "base/DataBuffer.h"

ConvertOutput::ConvertOutput(DataBuffer& out) : m_out(out) {}

ConvertOutput::~ConvertOutput() { flush(); }

void ConvertOutput::flush() {
    if (m_fill != 0 && !m_out.append(m_block, m_fill)) m_failed = true;
    m_fill = 0;
}

bool ConvertOutput::finish() {
    flush();
    return !m_failed;
}

// A hint only: a size beyond 32 bits is left to the appends themselves.
void ConvertOutput::expect(std::uint64_t n) {
    std::uint64_t want = std::uint64_t{m_out.size()} + m_fill + n;
    if (want > m_out.capacity() && want < 0xFFFFFFFFu) m_out.ensureCapacity(static_cast<std::uint32_t>(want));
}

void ConvertOutput::putUtf8(std::uint32_t point) {
    if (point < 0x80) {
        put(static_cast<std::uint8_t>(point));
    } else if (point < 0x800) {
        put(static_cast<std::uint8_t>(0xC0 | (point >> 6)));
        put(static_cast<std::uint8_t>(0x80 | (point & 0x3F)));
    } else if (point < 0x10000) {
        put(static_cast<std::uint8_t>(0xE0 | (point >> 12)));
        put(static_cast<std::uint8_t>(0x80 | ((point >> 6) & 0x3F)));
        put(static_cast<std::uint8_t>(0x80 | (point & 0x3F)));
    } else {
        put(static_cast<std::uint8_t>(0xF0 | ((point >> 18) & 0x07)));
        put(static_cast<std::uint8_t>(0x80 | ((point >> 12) & 0x3F)));
        put(static_cast<std::uint8_t>(0x80 | ((point >> 6) & 0x3F)));
        put(static_cast<std::uint8_t>(0x80 | (point & 0x3F)));
    }
}
