// Counting and CRC bookkeeping shared by every sink.
#include "pipeline/DataSink.h"

#include "archive/ProgressMonitor.h"

DataSink::DataSink() { m_crc.reset(); }

bool DataSink::write(const std::uint8_t*, std::uint32_t) { return false; }

bool DataSink::spaceAvailable(std::uint32_t& count) {
    count = 0;
    return false;
}

void DataSink::feedCrc(const std::uint8_t* bytes, std::uint32_t n) {
    if (m_computeCrc) m_crc.update(bytes, static_cast<std::int32_t>(n));
}

void DataSink::countTaken(std::uint32_t n) {
    m_bytesWritten += n;
    if (m_monitor) m_monitor->addProgress(n, nullptr);
}
