// The decode stages of one entry: decryption steps that leave temporary files, then the final
// transfer into the destination Output.
#include "extract/ZipPipeline.h"

#include "base/FileInfo.h"
#include "base/FileOpen.h"
#include "base/LogReject.h"
#include "base/FileSystem.h"
#include "base/TempFileName.h"
#include "crypto/PwdProtect.h"
#include "crypto/WholeDataCrypt.h"
#include "extract/CrcOutput.h"
#include "log/LogBase.h"
#include "pipeline/DataSource.h"
#include "pipeline/OutputFile.h"
#include "pipeline/PipelineHelp.h"

namespace {
constexpr const char* kTempBase = "tnZ.dat";
constexpr std::uint32_t kEncryptionHeaderSize = 12;
constexpr int kMethodDeflated = 8;
constexpr int kMethodDeflate64 = 9;

// Context lines only in verbose mode; the matching leave happens on every exit.
class VerboseContext {
public:
    VerboseContext(LogBase& log, const char* tag, bool on) : m_log(log), m_on(on) {
        if (m_on) m_log.enterContext(tag);
    }
    ~VerboseContext() {
        if (m_on) m_log.leaveContext();
    }
    VerboseContext(const VerboseContext&) = delete;
    VerboseContext& operator=(const VerboseContext&) = delete;
private:
    LogBase& m_log;
    bool m_on;
};
}  // namespace

bool ZipPipeline::setSourceMemory(const std::uint8_t* bytes, std::uint32_t count) {
    m_srcBytes.clear();
    m_srcIsFile = false;
    if (!m_srcBytes.ensureCapacity(count + 4)) return false;
    return m_srcBytes.append(bytes, count);
}

void ZipPipeline::setSourceFile(const char* utf8Path) {
    m_srcFile.setString(utf8Path);
    m_srcIsFile = true;
    m_srcFileIsOurs = false;
}

void ZipPipeline::setWholeDataParams(int type, int keyLengthBits) {
    m_wholeDataType = type;
    m_wholeDataKeyLength = keyLengthBits;
}

void ZipPipeline::setTraditionalEncryption(bool on, std::uint32_t crc, std::uint16_t dosTime,
                                           bool dataDescriptor) {
    m_traditional = on;
    m_checkCrc = crc;
    m_checkTime = dosTime;
    m_dataDescriptor = dataDescriptor;
}

bool ZipPipeline::run(std::uint32_t& crc, LogBase& log, bool verbose) {
    m_verbose = verbose;
    if (m_verbose) {
        log.logDataLong("m_srcAes", m_wholeDataEncrypted ? 1 : 0);
        log.logDataLong("m_srcAesAlgorithm", m_wholeDataType);
    }
    bool ok = true;
    if (m_wholeDataEncrypted && !decryptWholeData(log)) {
        log.logError("AES decryption failed.");
        ok = false;
    }
    if (ok && !passwordDecode(log)) {
        log.logError("Password decode failed (Zip 2.0 legacy encryption).");
        ok = false;
    }
    if (ok) {
        if (m_verbose) {
            log.logDataLong("srcIsCompressed", m_srcCompressed ? 1 : 0);
            log.logDataLong("destIsCompressed", m_destCompressed ? 1 : 0);
        }
        if (m_srcCompressed) {
            VerboseContext ctx(log, "c2u", m_verbose);
            ok = inflateToDest(crc, log);
            if (!ok) log.logError("Compressed to uncompressed failed.");
        } else {
            VerboseContext ctx(log, "u2u", m_verbose);
            ok = streamToDest(crc, log);
            if (!ok) log.logError("Uncompressed to uncompressed failed.");
        }
    }
    if (m_srcFileIsOurs && m_verbose) log.logData("deletingTempFile", m_srcFile.text());
    deleteOwnSourceFile(log);
    return ok;
}

void ZipPipeline::preparePipelineHelp(PipelineHelp& help) {
    help.setProgressMonitor(m_monitor);
    help.setDeflate64(m_method == kMethodDeflate64);
}

bool ZipPipeline::makeTempName(StringBuffer& name) {
    name.clear();
    if (m_tempDir.length() == 0) {
        XString base, out;
        base.setUtf8(kTempBase);
        if (!makeTempFileName(base, out)) return false;
        return name.setString(out.getUtf8());
    }
    return makeTempFileName(kTempBase, m_tempDir.text(), name);
}

void ZipPipeline::deleteOwnSourceFile(LogBase& log) {
    if (!m_srcFileIsOurs) return;
    deleteFile(m_srcFile.text(), &log);
    m_srcFileIsOurs = false;
}

void ZipPipeline::adoptTempSource(const StringBuffer& name, LogBase& log) {
    deleteOwnSourceFile(log);
    m_srcFile.setFrom(name);
    m_srcFileIsOurs = true;
    m_srcIsFile = true;
    m_srcBytes.clear();
}

// The library's own scheme: stored as deflate data of the encrypted form of deflate data.
bool ZipPipeline::decryptWholeData(LogBase& log) {
    {
        VerboseContext ctx(log, "InflateToTemp2", m_verbose);
        if (!inflateToTemp(log))
            return rejectWith(&log, "Failed to inflate to temp for AES decryption");
    }
    StringBuffer decrypted;
    if (!makeTempName(decrypted))
        return rejectWith(&log, "Failed to get temp file for source AES decryption");
    if (!WholeDataCrypt::decryptFile(m_wholeDataType, m_wholeDataKeyLength, m_password.text(),
                                     m_srcFile.text(), decrypted.text(), nullptr, log)) {
        log.logError("Failed to AES decrypt file");
        log.logData("encryptedFile", m_srcFile.text());
        deleteFile(decrypted.text(), nullptr);
        return false;
    }
    if (m_srcFileIsOurs && !deleteFile(m_srcFile.text(), nullptr))
        log.logError("Failed to delete zip temp file (C)");
    m_srcFileIsOurs = false;
    adoptTempSource(decrypted, log);
    m_wholeDataEncrypted = false;
    VerboseContext ctx(log, "InflateToTemp3", m_verbose);
    const bool ok = inflateToTemp(log);
    m_srcCompressed = false;
    return ok;
}

bool ZipPipeline::passwordDecode(LogBase& log) {
    VerboseContext ctx(log, "passwordDecode", m_verbose);
    if (m_verbose) log.logDataLong("m_srcPwdProt", m_traditional ? 1 : 0);
    if (!m_traditional) {
        if (m_verbose) log.logInfo("Not password protected.");
        return true;
    }
    if (m_source && !readEncryptionHeader(log)) return false;
    PwdProtect decryptor;
    if (!checkPasswordHeader(decryptor, log)) return false;
    StringBuffer tempName;
    if (!makeTempName(tempName))
        return rejectWith(&log, "Failed to get temp file for password decoding");
    if (!decryptToTemp(decryptor, tempName, log)) return false;
    adoptTempSource(tempName, log);
    m_traditional = false;
    if (m_srcCompressed) {
        VerboseContext inner(log, "InflateToTemp4", m_verbose);
        if (!inflateToTemp(log)) return false;
        m_srcCompressed = false;
    }
    if (m_verbose) log.logInfo("Password decode successful.");
    return true;
}

// Pulls the 12-byte header off the data source into the source bytes.
bool ZipPipeline::readEncryptionHeader(LogBase& log) {
    std::uint8_t header[kEncryptionHeaderSize];
    std::uint32_t got = 0;
    if (!m_source->getNextChunk(header, kEncryptionHeaderSize, got, nullptr) ||
        got < kEncryptionHeaderSize)
        return rejectWith(&log, "Failed to get encryption header for pwd-protect");
    m_srcBytes.clear();
    return m_srcBytes.append(header, kEncryptionHeaderSize);
}

bool ZipPipeline::checkPasswordHeader(PwdProtect& decryptor, LogBase& log) {
    bool ok = false;
    if (m_srcBytes.size() >= kEncryptionHeaderSize) {
        decryptor.setPassword(m_password.text());
        decryptor.initKeys();
        ok = decryptor.checkHeader(m_srcBytes.data(), m_checkTime, m_checkCrc, m_dataDescriptor, log);
    } else if (m_srcIsFile) {
        log.logError("Source is password-protected, but not in memory");
    } else {
        log.logError("Source is password-protected, but less than 12 bytes");
    }
    if (!ok) log.logError("Password incorrect for password-protected Zip");
    return ok;
}

bool ZipPipeline::decryptToTemp(PwdProtect& decryptor, const StringBuffer& tempName, LogBase& log) {
    OutputFile temp;
    if (!temp.open(tempName.text(), &log)) {
        log.logError("Failed to open temp file (1)");
        log.logData("tempFilename", tempName.text());
        return false;
    }
    PipelineHelp help;
    preparePipelineHelp(help);
    bool ok = false;
    bool attempted = true;
    const char* deleteFailure = nullptr;
    if (m_source) {
        ok = help.decryptSourceToOutput(*m_source, temp, decryptor);
        m_source = nullptr;
        deleteFailure = "Failed to delete temp file for password decoding (3)";
    } else if (m_srcBytes.data() == nullptr) {
        attempted = false;
        deleteFailure = "Failed to delete temp file for password decoding (1)";
    } else {
        ok = help.decryptMemoryToOutput(m_srcBytes.data() + kEncryptionHeaderSize,
                                        m_srcBytes.size() - kEncryptionHeaderSize, temp, decryptor);
        deleteFailure = "Failed to delete temp file for password decoding (2)";
    }
    temp.handle().close();
    if (ok) return true;
    if (!deleteFile(tempName.text(), &log)) log.logError(deleteFailure);
    if (attempted) log.logError("Failed to password-decode data");
    return false;
}

bool ZipPipeline::inflateToTemp(LogBase& log) {
    StringBuffer tempName;
    if (!makeTempName(tempName)) return rejectWith(&log, "Failed to get temp file for inflating");
    if (m_verbose) {
        log.logData("inflateToTempFilename", tempName.text());
        log.logDataInt64("expectedTempSize", static_cast<std::int64_t>(expectedUncompressedSize));
    }
    OutputFile temp;
    if (!temp.open(tempName.text(), &log)) {
        log.logError("Failed to create temporary output file");
        log.logData("filename", tempName.text());
        return false;
    }
    bool ok = inflateInto(temp, log);
    temp.handle().close();
    if (m_srcFileIsOurs && m_verbose) log.logData("deletingFile", m_srcFile.text());
    adoptTempSource(tempName, log);
    m_source = nullptr;
    if (m_verbose) {
        bool opened = false;
        log.logData("newSrcFilename", m_srcFile.text());
        log.logDataInt64("newSrcFileSize", getFileSizeByName(m_srcFile.text(), opened));
    }
    return ok;
}

// Inflates the current source, whichever kind it is, into out.
bool ZipPipeline::inflateInto(Output& out, LogBase& log) {
    PipelineHelp help;
    preparePipelineHelp(help);
    std::uint32_t crc = 0;
    if (m_method != kMethodDeflated && m_method != kMethodDeflate64) return decodeMethodInto(out, crc, log);
    if (m_srcIsFile) {
        if (m_verbose) log.logInfo("Inflating from source file.");
        if (help.inflateFileToOutput(m_srcFile.text(), out, crc, log, m_verbose)) return true;
        log.logError("Failed to inflate from file to temp file");
        log.logData("srcFilename", m_srcFile.text());
        return false;
    }
    if (m_source) {
        if (m_verbose) log.logInfo("Inflating from data source.");
        if (help.inflateSourceToOutput(*m_source, out, log, crc, m_verbose)) return true;
        log.logError("Failed to inflate from data source to temp file");
        return false;
    }
    if (m_verbose) {
        log.logInfo("Inflating from memory.");
        log.logDataLong("srcDataSize", static_cast<std::int32_t>(m_srcBytes.size()));
    }
    if (help.inflateMemoryToOutput(m_srcBytes.data(), m_srcBytes.size(), out, crc, log, m_verbose))
        return true;
    log.logError("Failed to inflate from data buffer to temp file");
    return false;
}

bool ZipPipeline::inflateToDest(std::uint32_t& crc, LogBase& log) {
    if (m_verbose) log.logInfo("Compressed to uncompressed (c_to_u)");
    crc = 0;
    if (!m_dest) return rejectWith(&log, "No dest out for inflate.");
    return inflateToDestFrom(crc, log);
}

bool ZipPipeline::inflateToDestFrom(std::uint32_t& crc, LogBase& log) {
    if (m_method != kMethodDeflated && m_method != kMethodDeflate64)
        return decodeMethodInto(*m_dest, crc, log);
    PipelineHelp help;
    preparePipelineHelp(help);
    if (m_source) {
        if (m_verbose) log.logInfo("inflating from a data source");
        if (help.inflateSourceToOutput(*m_source, *m_dest, log, crc, m_verbose)) return true;
        log.logError("Inflate from data source failed.");
        return false;
    }
    if (m_srcIsFile) {
        if (m_verbose) {
            log.logInfo("inflating from a file");
            log.logData("fromFile", m_srcFile.text());
        }
        if (help.inflateFileToOutput(m_srcFile.text(), *m_dest, crc, log, m_verbose)) return true;
        log.logError("Inflate from file source failed.");
        return false;
    }
    if (m_srcBytes.size() == 0) {
        if (m_verbose) log.logInfo("compressed source is empty.");
        return true;
    }
    if (m_verbose) log.logInfo("inflating from in-memory compressed data");
    if (help.inflateMemoryToOutput(m_srcBytes.data(), m_srcBytes.size(), *m_dest, crc, log, m_verbose))
        return true;
    log.logError("Inflate from memory source failed.");
    return false;
}

bool ZipPipeline::streamToDest(std::uint32_t& crc, LogBase& log) {
    if (m_verbose) log.logInfo("Uncompressed to uncompressed (u_to_u)");
    if (!m_dest) return rejectWith(&log, "No dest output.");
    if (m_srcIsFile) return streamFileToDest(crc, log);
    if (m_source) return streamSourceToDest(crc, log);
    if (m_verbose) log.logInfo("streamToDest from memory...");
    if (m_srcBytes.size() == 0) return true;  // nothing to write; the CRC of no bytes is 0
    PipelineHelp help;
    preparePipelineHelp(help);
    return help.streamMemoryToOutput(m_srcBytes.data(), m_srcBytes.size(), m_dest, crc);
}

bool ZipPipeline::streamFileToDest(std::uint32_t& crc, LogBase& log) {
    if (m_verbose) log.logInfo("streamToDest from file...");
    TarnelHandle handle;
    int reason = 0;
    if (!openForRead(m_srcFile.text(), handle, reason, &log))
        return rejectWith(&log, "Failed to open file for reading (4)");
    PipelineHelp help;
    preparePipelineHelp(help);
    std::uint64_t count = 0;
    bool ok = help.streamFileToOutput(handle, *m_dest, crc, count);
    handle.close();
    return ok;
}

// The copy goes through a CRC-summing Output so that stored entries streamed from the archive
// are checked like every other entry.
bool ZipPipeline::streamSourceToDest(std::uint32_t& crc, LogBase& log) {
    if (m_verbose) log.logInfo("streamToDest from data source...");
    CrcOutput summing(*m_dest);
    bool ok = m_source->copyToOutput(summing, m_monitor, &log);
    if (m_verbose) log.logDataInt64("dsByteCount", static_cast<std::int64_t>(m_source->bytesRead()));
    if (ok) crc = summing.crcValue();
    return ok;
}
