// CRC bookkeeping of the pass-through CRC stage.
#include "pipeline/CrcProcessor.h"

void CrcProcessor::begin() {
    resetPassThrough();
    m_crc.reset();
}

void CrcProcessor::inputReceived(std::uint8_t* bytes, std::uint32_t n) {
    m_crc.update(bytes, static_cast<std::int32_t>(n));
}

void CrcProcessor::beforeForward(std::uint8_t* bytes, std::uint32_t n, bool fromRing) {
    if (fromRing) m_crc.update(bytes, static_cast<std::int32_t>(n));
}
