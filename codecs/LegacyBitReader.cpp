// Byte-wise refill of the legacy decoders' bit reader.
#include "codecs/LegacyBitReader.h"

#include "codecs/InflateInput.h"

LegacyBitReader::LegacyBitReader(const std::uint8_t* data, std::uint32_t size)
    : m_data(data), m_size(data ? size : 0), m_inputEnded(true) {}

LegacyBitReader::LegacyBitReader(InflateInput& input)
    : m_input(&input), m_chunk(kChunk), m_data(m_chunk.data()), m_size(0) {}

// The next chunk of a pulled input; false once the input has ended or failed.
bool LegacyBitReader::fetch() {
    if (m_inputEnded) return false;
    std::uint32_t got = 0;
    if (!m_input->read(m_chunk.data(), kChunk, got)) m_inputFailed = true;
    if (m_inputFailed || got == 0) {
        m_inputEnded = true;
        return false;
    }
    m_pos = 0;
    m_size = got;
    return true;
}

// Tops the buffer up to at least 56 bits, or with whatever input remains.
void LegacyBitReader::refill() {
    while (m_count <= 56) {
        if (m_pos == m_size && !fetch()) return;
        m_buffer |= static_cast<std::uint64_t>(m_data[m_pos++]) << m_count;
        m_count += 8;
    }
}
