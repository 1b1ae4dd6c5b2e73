// The pull side of the data pipeline. A source copies its next bytes into the caller's buffer, so
// nothing it returns needs to outlive the call. It has ended (endOfStream) once no byte will ever
// come again; a concrete source says whether its last read delivers 0 bytes or is never needed.
// A source never owns its progress monitor.
#pragma once
#include <cstdint>

class LogBase;
class Output;
class ProgressMonitor;

class DataSource {
public:
    DataSource() = default;
    DataSource(const DataSource&) = delete;
    DataSource& operator=(const DataSource&) = delete;
    virtual ~DataSource() = default;

    // Copies up to capacity bytes, advances, counts them and reports them to the monitor.
    // False on failure or when the monitor answered abort. log may be null.
    virtual bool getNextChunk(std::uint8_t* buffer, std::uint32_t capacity, std::uint32_t& count, LogBase* log);
    // As getNextChunk without moving, counting or reporting.
    virtual bool peekNextChunk(std::uint8_t* buffer, std::uint32_t capacity, std::uint32_t& count, LogBase* log);
    virtual bool endOfStream() { return true; }
    virtual bool seekAbsolute(std::uint64_t /*position*/, LogBase* /*log*/) { return false; }
    virtual bool seekRelative(std::int64_t /*delta*/, LogBase* /*log*/) { return false; }
    // Moves just past the next occurrence of the little-endian 32-bit value.
    virtual bool scanForSignature(std::uint32_t signature, std::uint64_t& skipped, LogBase* log);
    // Reads and discards; seekable sources override with seekRelative.
    virtual bool skipBytes(std::uint64_t count, LogBase* log);

    std::uint64_t bytesRead() const { return m_bytesRead; }
    void setProgressMonitor(ProgressMonitor* monitor) { m_monitor = monitor; }
    ProgressMonitor* progressMonitor() const { return m_monitor; }

    // Copies everything that remains into output; monitor and log may be null.
    bool copyToOutput(Output& output, ProgressMonitor* monitor, LogBase* log);

protected:
    // Counts n delivered bytes and reports them; false (logged) when the monitor answers abort.
    bool countDelivered(std::uint32_t n, LogBase* log);

private:
    std::uint64_t m_bytesRead = 0;
    ProgressMonitor* m_monitor = nullptr;
};
