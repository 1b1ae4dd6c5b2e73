// Extra-field block iteration.
#include "zip/ZipExtraField.h"

#include "base/LittleEndian.h"

bool ZipExtraField::next(std::uint16_t& id, const std::uint8_t*& data, std::uint16_t& dataLength) {
    if (m_field == nullptr || m_used >= m_length || m_length - m_used < 4) return false;
    const std::uint8_t* block = m_field + m_used;
    const std::uint16_t len = loadLe16(block + 2);
    if (len > m_length - m_used - 4) return false;
    id = loadLe16(block);
    data = block + 4;
    dataLength = len;
    m_used += 4u + len;
    return true;
}

bool ZipExtraField::isWellFormed(const std::uint8_t* field, std::uint32_t length) {
    ZipExtraField blocks(field, length);
    std::uint16_t id = 0, dataLength = 0;
    const std::uint8_t* data = nullptr;
    while (blocks.next(id, data, dataLength)) {
    }
    return length - blocks.m_used < 4;
}
