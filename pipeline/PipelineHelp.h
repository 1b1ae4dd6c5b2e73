// Ready-made one-stage pipelines for the entry decode: copy with CRC, traditional decryption,
// and the inflate drivers. Each call builds its stages on the stack, runs them and returns;
// nothing is owned. The progress monitor, when set, sees the bytes the stages count.
#pragma once
#include <cstdint>

class DataProcessor;
class DataSource;
class LogBase;
class Output;
class ProgressMonitor;
class PwdProtect;
class TarnelHandle;

class PipelineHelp {
public:
    PipelineHelp() = default;
    PipelineHelp(const PipelineHelp&) = delete;
    PipelineHelp& operator=(const PipelineHelp&) = delete;
    virtual ~PipelineHelp() = default;

    void setProgressMonitor(ProgressMonitor* monitor) { m_monitor = monitor; }
    // The inflate drivers read deflate64 (zip method 9) instead of deflate.
    void setDeflate64(bool on) { m_deflate64 = on; }

    // Copies the rest of an open file into output; crc and byteCount are 0 on failure.
    bool streamFileToOutput(TarnelHandle& handle, Output& output, std::uint32_t& crc, std::uint64_t& byteCount);
    bool streamMemoryToOutput(const std::uint8_t* bytes, std::uint32_t size, Output* output, std::uint32_t& crc);
    // source stands just after the 12-byte encryption header that decryptor has checked.
    bool decryptSourceToOutput(DataSource& source, Output& output, PwdProtect& decryptor);
    bool decryptMemoryToOutput(const std::uint8_t* bytes, std::uint32_t size, Output& output, PwdProtect& decryptor);

    // Raw deflate data to output; crc is the CRC-32 of what was written.
    bool inflateFileToOutput(const char* utf8Path, Output& output, std::uint32_t& crc, LogBase& log, bool verbose);
    bool inflateSourceToOutput(DataSource& source, Output& output, LogBase& log, std::uint32_t& crc, bool verbose);
    bool inflateMemoryToOutput(const std::uint8_t* bytes, std::uint32_t count, Output& output, std::uint32_t& crc,
                               LogBase& log, bool verbose);

private:
    // Runs source -> processor -> output; false when the run fails or the output refused bytes.
    bool runOneStage(DataSource& source, DataProcessor& processor, Output& output);

    ProgressMonitor* m_monitor = nullptr;
    bool m_deflate64 = false;
};
