// Turns the stored bytes of one entry into its content in an Output, returning the CRC-32 of
// what was written. Stages, in this fixed order: the library's whole-data decryption, traditional
// zip decryption, then inflate or a plain copy. A stage that must materialise its result writes
// a temporary file ("tnZ.dat" base) that becomes the next stage's source; every temporary file of
// ours is deleted before run returns, whatever the outcome.
//
// One pipeline serves one run: configure, run, destroy. Nothing handed in (source, Output,
// monitor, caller's source file) is owned.
#pragma once
#include <cstdint>
#include "base/DataBuffer.h"
#include "base/StringBuffer.h"
#include "zip/ZipCryptParams.h"
class DataSource;
class LogBase;
class Output;
class PipelineHelp;
class ProgressMonitor;
class PwdProtect;

class ZipPipeline : public ZipCryptParams {
public:
    ZipPipeline() = default;
    ~ZipPipeline() override = default;

    void setTempDir(const char* utf8Dir) { m_tempDir.setString(utf8Dir); }
    void setProgressMonitor(ProgressMonitor* monitor) { m_monitor = monitor; }
    void setOutput(Output* output) { m_dest = output; }
    // Copies the bytes (the caller's memory may go away); the source is no longer a file.
    bool setSourceMemory(const std::uint8_t* bytes, std::uint32_t count);
    // A file of the caller's: never deleted here.
    void setSourceFile(const char* utf8Path);
    void setSourceData(DataSource* source) { m_source = source; }
    void setSourceCompressed(bool compressed) { m_srcCompressed = compressed; }
    // The compression method of a compressed source (deflate unless set) and the entry's
    // general-purpose flags, which some methods read.
    void setSourceMethod(int method, std::uint16_t flags) {
        m_method = method;
        m_methodFlags = flags;
    }
    void setDestCompressed(bool compressed) { m_destCompressed = compressed; }
    void setWholeDataEncrypted(bool encrypted) { m_wholeDataEncrypted = encrypted; }
    void setWholeDataParams(int type, int keyLengthBits);
    void setPassword(const char* password) { m_password.setString(password); }
    // dosTime and crc are the entry's check values; dataDescriptor picks which one is checked.
    void setTraditionalEncryption(bool on, std::uint32_t crc, std::uint16_t dosTime, bool dataDescriptor);
    // For diagnostics only.
    std::uint64_t expectedUncompressedSize = ~std::uint64_t(0);

    // crc receives the CRC-32 of the bytes written to the Output.
    bool run(std::uint32_t& crc, LogBase& log, bool verbose);

    // Stages, public for the tests that drive them one by one.
    bool decryptWholeData(LogBase& log);
    bool passwordDecode(LogBase& log);
    bool inflateToTemp(LogBase& log);
    bool inflateToDest(std::uint32_t& crc, LogBase& log);
    bool streamToDest(std::uint32_t& crc, LogBase& log);

    bool sourceIsFile() const { return m_srcIsFile; }
    const char* sourceFileName() const { return m_srcFile.text(); }

private:
    void preparePipelineHelp(PipelineHelp& help);
    bool makeTempName(StringBuffer& name);
    // The temporary file becomes the source, ours; the previous one of ours is deleted.
    void adoptTempSource(const StringBuffer& name, LogBase& log);
    void deleteOwnSourceFile(LogBase& log);
    bool readEncryptionHeader(LogBase& log);
    bool checkPasswordHeader(PwdProtect& decryptor, LogBase& log);
    bool decryptToTemp(PwdProtect& decryptor, const StringBuffer& tempName, LogBase& log);
    bool inflateInto(Output& out, LogBase& log);
    // Methods other than deflate: the current source through the method's decoder into out.
    bool decodeMethodInto(Output& out, std::uint32_t& crc, LogBase& log);
    bool inflateToDestFrom(std::uint32_t& crc, LogBase& log);
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
    bool m_srcFileIsOurs = false;
    StringBuffer m_srcFile;
    Output* m_dest = nullptr;
    DataSource* m_source = nullptr;
    DataBuffer m_srcBytes;
    std::uint32_t m_checkCrc = 0;
    std::uint16_t m_checkTime = 0;
    bool m_dataDescriptor = false;
    ProgressMonitor* m_monitor = nullptr;
    StringBuffer m_tempDir;
    int m_method = 8;
    std::uint16_t m_methodFlags = 0;
};
