// DataSink behind the inflate engine's output.
#include "pipeline/InflateSinkAdapter.h"

#include "archive/ProgressMonitor.h"
#include "pipeline/DataSink.h"

bool InflateSinkAdapter::spaceAvailable(std::uint32_t& count) { return m_sink.spaceAvailable(count); }

bool InflateSinkAdapter::write(const std::uint8_t* bytes, std::uint32_t count) { return m_sink.write(bytes, count); }

bool InflateSinkAdapter::isAborted() {
    ProgressMonitor* monitor = m_sink.progressMonitor();
    return monitor && monitor->isAborted();
}
