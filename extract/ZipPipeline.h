// Turns the stored bytes of one entry into its content in an Output, returning the CRC-32 of
// what was written. Stages, in this fixed order: the library's whole-data decryption, WinZip AES
// or traditional zip decryption, then inflate, another method's stream decoder, or a plain copy.
// Decryption streams: its processor stands between the source and the decoder, so no plaintext
// is ever written anywhere but the destination. Only the whole-data scheme materialises
// intermediate results, in temporary files ("tnZ.dat" base) that are private to this process and
// deleted before run returns, whatever the outcome.
//
// When the expected uncompressed size is set, the destination takes no more than that many
// bytes: a stream that decodes to more fails the run.
//
// One pipeline serves one run: configure, run, destroy. Nothing handed in (source, Output,
// monitor, caller's source file) is owned.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include "base/DataBuffer.h"
#include "base/StringBuffer.h"
#include "codecs/DecoderMemoryLimit.h"
#include "zip/ZipCryptParams.h"
class DataProcessor;
class DataSource;
class FileDataSource;
class LogBase;
class LogRecorder;
class MemoryDataSource;
class Output;
class PipelineHelp;
class ProcessorSource;
class ProgressMonitor;
class ReadAheadSource;
class PwdProtect;
class TarnelHandle;

class ZipPipeline : public ZipCryptParams {
public:
    ZipPipeline();
    ~ZipPipeline() override;

    void setTempDir(const char* utf8Dir) { m_tempDir.setString(utf8Dir); }
    void setProgressMonitor(ProgressMonitor* monitor) { m_monitor = monitor; }
    void setOutput(Output* output) { m_dest = output; }
    // Copies the bytes (the caller's memory may go away); the source is no longer a file.
    bool setSourceMemory(const std::uint8_t* bytes, std::uint32_t count);
    // A file of the caller's: never deleted here.
    void setSourceFile(const char* utf8Path);
    void setSourceData(DataSource* source) { m_source = source; }
    void setSourceCompressed(bool compressed) { m_srcCompressed = compressed; }
    void setDestCompressed(bool compressed) { m_destCompressed = compressed; }
    void setWholeDataEncrypted(bool encrypted) { m_wholeDataEncrypted = encrypted; }
    void setWholeDataParams(int type, int keyLengthBits);
    void setPassword(const char* password) { m_password.setString(password); }
    // dosTime and crc are the entry's check values; dataDescriptor picks which one is checked.
    void setTraditionalEncryption(bool on, std::uint32_t crc, std::uint16_t dosTime, bool dataDescriptor);
    // WinZip AES decryption of the source with the password; strength as WinZipAes takes it.
    void setWinZipAes(int strength) { m_aesStrength = strength; }
    // Decode with the stream decoder of this compression method; flags are the entry's
    // general-purpose bits. Methods 0, 8 and 9 (deflate64) keep the plain copy or inflate that
    // setSourceCompressed chooses.
    void setSourceMethod(int method, std::uint16_t flags);
    // The uncompressed size bounds what reaches the destination; all ones is no bound.
    std::uint64_t expectedUncompressedSize = ~std::uint64_t(0);
    // The most a method decoder may take for the window, dictionary or model its stream asks for.
    std::uint64_t decoderMemoryLimit = DecoderMemoryLimit::kDefault;

    // crc receives the CRC-32 of the bytes written to the Output.
    bool run(std::uint32_t& crc, LogBase& log, bool verbose);

    // Stages, public for the tests that drive them one by one.
    bool decryptWholeData(LogBase& log);
    bool passwordDecode(LogBase& log);
    bool aesDecode(LogBase& log);
    bool inflateToTemp(LogBase& log);
    bool inflateToDest(std::uint32_t& crc, LogBase& log);
    bool streamToDest(std::uint32_t& crc, LogBase& log);
    bool decodeToDest(std::uint32_t& crc, LogBase& log);

    bool sourceIsFile() const { return m_srcIsFile; }
    // The last run failed because the content went past the expected uncompressed size.
    bool sizeExceeded() const { return m_sizeExceeded; }
    const char* sourceFileName() const { return m_srcFile.text(); }

private:
    void preparePipelineHelp(PipelineHelp& help);
    // A private temporary file (see openPrivateTempFile) in the temporary directory.
    std::unique_ptr<TarnelHandle> openTemp(LogBase& log);
    std::string tempFileName() const;
    // The temporary file becomes the source, read from its start; the previous one is closed
    // (and so gone).
    bool adoptTempSource(std::unique_ptr<TarnelHandle> temp, LogBase& log);
    bool readEncryptionHeader(LogBase& log);
    bool checkPasswordHeader(PwdProtect& decryptor, LogBase& log);
    bool transfer(std::uint32_t& crc, LogBase& log);
    // The raw source of a decryption stage: the data source, or the source bytes from offset on.
    DataSource* rawSource(std::uint32_t offset);
    // Puts processor (owned from now on) between the current source and every later stage.
    void decryptThrough(std::unique_ptr<DataProcessor> processor, DataSource& raw);
    // Puts a ReadAheadSource over the decryption stage as the source; the stage logs into
    // `upstreamLog` (null: it logs nothing).
    void readAhead(LogRecorder* upstreamLog, LogBase& log);
    // The log lines and source order of one inflate transfer.
    struct InflateWording {
        bool fileFirst;  // a source file is taken before a data source
        const char* fromFile;
        const char* fileKey;  // verbose: the source file's name
        const char* fileFailed;
        const char* failedFileKey;  // on failure: the source file's name
        const char* fromSource;
        const char* sourceFailed;
        const char* emptySource;  // null: empty source bytes are inflated like any others
        const char* fromMemory;
        const char* memorySizeKey;  // verbose: the number of source bytes
        const char* memoryFailed;
    };
    static const InflateWording kInflateToTemp;
    static const InflateWording kInflateToDest;
    bool inflateInto(Output& out, const InflateWording& wording, std::uint32_t& crc, LogBase& log);
    bool streamFileToDest(std::uint32_t& crc, LogBase& log);
    bool streamSourceToDest(std::uint32_t& crc, LogBase& log);

    bool m_verbose = false;
    bool m_srcIsFile = false;
    bool m_traditional = false;
    int m_wholeDataType = 0;
    int m_wholeDataKeyLength = 0;
    StringBuffer m_password;
    bool m_srcCompressed = false;
    bool m_destCompressed = false;
    bool m_wholeDataEncrypted = false;
    StringBuffer m_srcFile;
    Output* m_dest = nullptr;
    DataSource* m_source = nullptr;
    DataBuffer m_srcBytes;
    std::uint32_t m_checkCrc = 0;
    std::uint16_t m_checkTime = 0;
    bool m_dataDescriptor = false;
    ProgressMonitor* m_monitor = nullptr;
    StringBuffer m_tempDir;
    int m_aesStrength = 0;  // 0: not WinZip AES
    int m_method = -1;      // -1: inflate or plain copy as m_srcCompressed says
    std::uint16_t m_methodFlags = 0;
    bool m_deflate64 = false;  // the inflate transfers decode Deflate64
    bool m_sizeExceeded = false;

    // Streaming decryption: the stage reads the raw source (the source bytes through
    // m_memorySource when they are in memory) and m_decrypted delivers its output as the source.
    std::unique_ptr<PwdProtect> m_pwdProtect;
    // Where a stage that logs (WinZip AES) logs while it may run on the read-ahead thread.
    std::unique_ptr<LogRecorder> m_upstreamLog;
    std::unique_ptr<MemoryDataSource> m_memorySource;
    std::unique_ptr<DataProcessor> m_decryptStage;
    std::unique_ptr<ProcessorSource> m_decrypted;
    // Reads m_decrypted ahead on a second thread; stopped before the raw source goes away.
    std::unique_ptr<ReadAheadSource> m_readAhead;
    // The whole-data stages' intermediate result, and the source reading it.
    std::unique_ptr<TarnelHandle> m_tempFile;
    std::unique_ptr<FileDataSource> m_tempReader;
};
