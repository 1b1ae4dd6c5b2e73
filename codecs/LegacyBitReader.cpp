// Byte-wise refill of the legacy decoders' bit reader.
#include "codecs/LegacyBitReader.h"

LegacyBitReader::LegacyBitReader(const std::uint8_t* data, std::uint32_t size)
    : m_data(data), m_size(data ? size : 0)
{
}

// Tops the buffer up to at least 56 bits, or with whatever input remains.
void LegacyBitReader::refill()
{
    while (m_count <= 56 && m_pos < m_size) {
        m_buffer |= static_cast<std::uint64_t>(m_data[m_pos++]) << m_count;
        m_count += 8;
    }
}
