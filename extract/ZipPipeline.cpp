// The decode stages of one entry: decryption steps that leave temporary files, then the final
// transfer into the destination Output.
#include "extract/ZipPipeline.h"

#include "base/FileInfo.h"
#include "base/FileOpen.h"
#include "base/FilePaths.h"
#include "log/LogReject.h"
#include "base/FileSystem.h"
#include "base/PlatformTempFile.h"
#include "base/TarnelHandle.h"
#include "crypto/PwdProtect.h"
#include "crypto/WholeDataCrypt.h"
#include "extract/CrcOutput.h"
#include "zip/ZipWalkEntry.h"
#include "log/LogBase.h"
#include "pipeline/BoundedOutput.h"
#include "pipeline/DataSource.h"
#include "pipeline/FileDataSink.h"
#include "pipeline/FileDataSource.h"
#include "pipeline/MemoryDataSource.h"
#include "pipeline/MethodDecoders.h"
#include "pipeline/OutputFile.h"
#include "pipeline/PipelineHelp.h"
#include "pipeline/ProcessorSource.h"
#include "log/LogRecorder.h"
#include "pipeline/ReadAheadSource.h"
#include "pipeline/WinZipAesProcessor.h"
#include "pipeline/ZipDecodeProcessor.h"

namespace {
constexpr const char* kTempBase = "tnZ.dat";
constexpr std::uint32_t kDecryptChunk = 60000;  // input buffer of a decryption stage
}  // namespace

// The temporary-file and destination transfers log in their own words, and callers' logs rely
// on them; the null keys are lines that transfer does not log.
const ZipPipeline::InflateWording ZipPipeline::kInflateToTemp = {true,
                                                                 "Inflating from source file.",
                                                                 nullptr,
                                                                 "Failed to inflate from file to temp file",
                                                                 "srcFilename",
                                                                 "Inflating from data source.",
                                                                 "Failed to inflate from data source to temp file",
                                                                 nullptr,
                                                                 "Inflating from memory.",
                                                                 "srcDataSize",
                                                                 "Failed to inflate from data buffer to temp file"};
const ZipPipeline::InflateWording ZipPipeline::kInflateToDest = {false,
                                                                 "inflating from a file",
                                                                 "fromFile",
                                                                 "Inflate from file source failed.",
                                                                 nullptr,
                                                                 "inflating from a data source",
                                                                 "Inflate from data source failed.",
                                                                 "compressed source is empty.",
                                                                 "inflating from in-memory compressed data",
                                                                 nullptr,
                                                                 "Inflate from memory source failed."};

ZipPipeline::ZipPipeline() = default;

ZipPipeline::~ZipPipeline() = default;

void ZipPipeline::setSourceMethod(int method, std::uint16_t flags) {
    m_deflate64 = method == ZipMethod::kDeflate64;  // inflated with the larger window and lengths
    // Stored, deflated and deflate64 data are copied and inflated as configured.
    m_method = method == ZipMethod::kStored || method == ZipMethod::kDeflated || m_deflate64 ? -1 : method;
    m_methodFlags = flags;
}

bool ZipPipeline::setSourceMemory(const std::uint8_t* bytes, std::uint32_t count) {
    m_srcBytes.clear();
    m_srcIsFile = false;
    if (!m_srcBytes.ensureCapacity(count + 4)) return false;
    return m_srcBytes.append(bytes, count);
}

void ZipPipeline::setSourceFile(const char* utf8Path) {
    m_srcFile.setString(utf8Path);
    m_srcIsFile = true;
}

void ZipPipeline::setWholeDataParams(int type, int keyLengthBits) {
    m_wholeDataType = type;
    m_wholeDataKeyLength = keyLengthBits;
}

void ZipPipeline::setTraditionalEncryption(bool on, std::uint32_t crc, std::uint16_t dosTime, bool dataDescriptor) {
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
    if (ok && m_aesStrength != 0 && !aesDecode(log)) ok = false;
    if (ok && !passwordDecode(log)) {
        log.logError("Password decode failed (Zip 2.0 legacy encryption).");
        ok = false;
    }
    if (ok) ok = transfer(crc, log);
    if (m_tempFile && m_verbose) log.logInfo("Closing the private temporary file.");
    m_source = nullptr;
    m_readAhead.reset();
    m_tempReader.reset();
    m_tempFile.reset();
    return ok;
}

// The final transfer into the destination, held to the expected size.
bool ZipPipeline::transfer(std::uint32_t& crc, LogBase& log) {
    if (m_verbose) {
        log.logDataLong("srcIsCompressed", m_srcCompressed ? 1 : 0);
        log.logDataLong("destIsCompressed", m_destCompressed ? 1 : 0);
    }
    Output* destination = m_dest;
    Output none;
    BoundedOutput bounded(m_dest ? *m_dest : none, expectedUncompressedSize);
    if (m_dest) m_dest = &bounded;
    bool ok;
    if (m_method >= 0) {
        LogContext ctx(log, "d2u", m_verbose);
        ok = decodeToDest(crc, log);
        if (!ok) log.logError("Decoding to uncompressed failed.");
    } else if (m_srcCompressed) {
        LogContext ctx(log, "c2u", m_verbose);
        ok = inflateToDest(crc, log);
        if (!ok) log.logError("Compressed to uncompressed failed.");
    } else {
        LogContext ctx(log, "u2u", m_verbose);
        ok = streamToDest(crc, log);
        if (!ok) log.logError("Uncompressed to uncompressed failed.");
    }
    m_dest = destination;
    m_sizeExceeded = !ok && bounded.exceeded();
    if (m_sizeExceeded) {
        log.logError("Entry data is longer than its declared size - Zip file is corrupt.");
        log.logDataInt64("declaredSize", static_cast<std::int64_t>(expectedUncompressedSize));
    }
    return ok;
}

void ZipPipeline::preparePipelineHelp(PipelineHelp& help) {
    help.setProgressMonitor(m_monitor);
    help.setDeflate64(m_deflate64);
}

std::unique_ptr<TarnelHandle> ZipPipeline::openTemp(LogBase& log) {
    auto temp = std::make_unique<TarnelHandle>();
    if (!openPrivateTempFile(m_tempDir.text(), kTempBase, *temp, &log)) return nullptr;
    return temp;
}

// A private temporary file has no name of its own to show: messages name its directory and base.
std::string ZipPipeline::tempFileName() const {
    std::string dir = m_tempDir.length() > 0 ? m_tempDir.text() : getTempDir();
    if (dir.back() != '/' && dir.back() != '\\') dir += '/';
    return dir + kTempBase;
}

bool ZipPipeline::adoptTempSource(std::unique_ptr<TarnelHandle> temp, LogBase& log) {
    m_source = nullptr;
    m_tempReader.reset();
    m_tempFile = std::move(temp);
    m_srcIsFile = false;
    m_srcBytes.clear();
    if (!m_tempFile->seekAbsolute(0, &log)) return false;
    m_tempReader = std::make_unique<FileDataSource>();
    m_tempReader->attachHandle(m_tempFile.get());
    m_source = m_tempReader.get();
    return true;
}

// The library's own scheme: stored as deflate data of the encrypted form of deflate data. The
// encrypted form and the decrypted deflate data pass through private temporary files; the final
// transfer inflates the latter into the destination.
bool ZipPipeline::decryptWholeData(LogBase& log) {
    {
        LogContext ctx(log, "InflateToTemp2", m_verbose);
        if (!inflateToTemp(log)) return rejectWith(&log, "Failed to inflate to temp for AES decryption");
    }
    std::unique_ptr<TarnelHandle> decrypted = openTemp(log);
    if (!decrypted) return rejectWith(&log, "Failed to get temp file for source AES decryption");
    if (!WholeDataCrypt::decryptHandle(m_wholeDataType, m_wholeDataKeyLength, m_password.text(), *m_tempFile,
                                       *decrypted, nullptr, log)) {
        log.logError("Failed to AES decrypt file");
        log.logData("encryptedFile", "(private temporary file)");
        return false;
    }
    m_wholeDataEncrypted = false;
    m_srcCompressed = true;
    m_method = -1;
    m_deflate64 = false;
    return adoptTempSource(std::move(decrypted), log);
}

DataSource* ZipPipeline::rawSource(std::uint32_t offset) {
    if (m_source) return m_source;
    if (m_srcIsFile || m_srcBytes.data() == nullptr || m_srcBytes.size() < offset) return nullptr;
    m_memorySource = std::make_unique<MemoryDataSource>();
    m_memorySource->initMemory(m_srcBytes.data() + offset, m_srcBytes.size() - offset);
    return m_memorySource.get();
}

void ZipPipeline::decryptThrough(std::unique_ptr<DataProcessor> processor, DataSource& raw) {
    m_decryptStage = std::move(processor);
    m_decryptStage->setSource(&raw);
    m_decryptStage->allocateInputBuffer(kDecryptChunk);
    m_decrypted = std::make_unique<ProcessorSource>(*m_decryptStage);
    m_source = m_decrypted.get();
    m_srcIsFile = false;
}

// WinZip AES: the verifier is checked at the first read; the authentication code when the
// stored data ends, which fails the transfer reading it.
bool ZipPipeline::aesDecode(LogBase& log) {
    DataSource* raw = rawSource(0);
    if (!raw) return rejectWith(&log, "Source is WinZip AES encrypted, but not in memory or a data source");
    m_upstreamLog = std::make_unique<LogRecorder>();
    decryptThrough(std::make_unique<WinZipAesProcessor>(m_password, m_aesStrength, *m_upstreamLog), *raw);
    m_aesStrength = 0;
    // Decryption and authentication overlap with the decoding; what the stage logs reaches the
    // log when the decoding reaches the data it concerns.
    readAhead(m_upstreamLog.get(), log);
    return true;
}

void ZipPipeline::readAhead(LogRecorder* upstreamLog, LogBase& log) {
    m_readAhead = std::make_unique<ReadAheadSource>(*m_decrypted, upstreamLog, &log);
    m_source = m_readAhead.get();
}

bool ZipPipeline::passwordDecode(LogBase& log) {
    LogContext ctx(log, "passwordDecode", m_verbose);
    if (m_verbose) log.logDataLong("m_srcPwdProt", m_traditional ? 1 : 0);
    if (!m_traditional) {
        if (m_verbose) log.logInfo("Not password protected.");
        return true;
    }
    if (m_source && !readEncryptionHeader(log)) return false;
    m_pwdProtect = std::make_unique<PwdProtect>();
    if (!checkPasswordHeader(*m_pwdProtect, log)) return false;
    DataSource* raw = rawSource(ZipRecordSize::kTraditionalHeader);
    if (!raw) return rejectWith(&log, "Failed to password-decode data");
    auto stage = std::make_unique<ZipDecodeProcessor>();
    stage->setDecryptor(m_pwdProtect.get());
    decryptThrough(std::move(stage), *raw);
    // The key chain runs a byte at a time, slower than inflating: on its own thread it overlaps
    // with the decoding. This stage logs nothing, so it may run beside the caller.
    readAhead(nullptr, log);
    m_traditional = false;
    if (m_verbose) log.logInfo("Password decode successful.");
    return true;
}

// Pulls the 12-byte header off the data source into the source bytes.
bool ZipPipeline::readEncryptionHeader(LogBase& log) {
    std::uint8_t header[ZipRecordSize::kTraditionalHeader];
    std::uint32_t got = 0;
    if (!m_source->getNextChunk(header, ZipRecordSize::kTraditionalHeader, got, nullptr) ||
        got < ZipRecordSize::kTraditionalHeader)
        return rejectWith(&log, "Failed to get encryption header for pwd-protect");
    m_srcBytes.clear();
    return m_srcBytes.append(header, ZipRecordSize::kTraditionalHeader);
}

bool ZipPipeline::checkPasswordHeader(PwdProtect& decryptor, LogBase& log) {
    bool ok = false;
    if (m_srcBytes.size() >= ZipRecordSize::kTraditionalHeader) {
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

bool ZipPipeline::inflateToTemp(LogBase& log) {
    std::unique_ptr<TarnelHandle> temp = openTemp(log);
    if (!temp) return rejectWith(log, "Failed to create temporary output file", "filename", tempFileName().c_str());
    if (m_verbose) log.logDataInt64("expectedTempSize", static_cast<std::int64_t>(expectedUncompressedSize));
    OutputFile out;
    out.handle().takeOver(*temp);
    std::uint32_t crc = 0;
    const bool ok = inflateInto(out, kInflateToTemp, crc, log);
    temp->takeOver(out.handle());
    if (!adoptTempSource(std::move(temp), log)) return false;
    if (m_verbose) log.logDataInt64("newSrcFileSize", m_tempFile->getSize(nullptr));
    return ok;
}

// Inflates the current source, whichever kind it is, into out, with the wording and source
// order of the transfer at hand.
bool ZipPipeline::inflateInto(Output& out, const InflateWording& w, std::uint32_t& crc, LogBase& log) {
    PipelineHelp help;
    preparePipelineHelp(help);
    const bool fromFile = m_srcIsFile && (w.fileFirst || !m_source);
    if (fromFile) {
        if (m_verbose) log.logInfo(w.fromFile);
        if (m_verbose && w.fileKey) log.logData(w.fileKey, m_srcFile.text());
        if (help.inflateFileToOutput(m_srcFile.text(), out, crc, log, m_verbose)) return true;
        return w.failedFileKey ? rejectWith(log, w.fileFailed, w.failedFileKey, m_srcFile.text())
                               : rejectWith(&log, w.fileFailed);
    }
    if (m_source) {
        if (m_verbose) log.logInfo(w.fromSource);
        if (help.inflateSourceToOutput(*m_source, out, log, crc, m_verbose)) return true;
        return rejectWith(&log, w.sourceFailed);
    }
    if (w.emptySource && m_srcBytes.size() == 0) {
        if (m_verbose) log.logInfo(w.emptySource);
        return true;
    }
    if (m_verbose) log.logInfo(w.fromMemory);
    if (m_verbose && w.memorySizeKey) log.logDataLong(w.memorySizeKey, static_cast<std::int32_t>(m_srcBytes.size()));
    if (help.inflateMemoryToOutput(m_srcBytes.data(), m_srcBytes.size(), out, crc, log, m_verbose)) return true;
    return rejectWith(&log, w.memoryFailed);
}

bool ZipPipeline::inflateToDest(std::uint32_t& crc, LogBase& log) {
    if (m_verbose) log.logInfo("Compressed to uncompressed (c_to_u)");
    crc = 0;
    if (!m_dest) return rejectWith(&log, "No dest out for inflate.");
    return inflateInto(*m_dest, kInflateToDest, crc, log);
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

// Another method's stream decoder, from whichever source the entry has, into the destination.
bool ZipPipeline::decodeToDest(std::uint32_t& crc, LogBase& log) {
    crc = 0;
    if (!m_dest) return rejectWith(&log, "No dest output.");
    std::unique_ptr<StreamDecoder> decoder = makeMethodDecoder(m_method, m_methodFlags, expectedUncompressedSize,
                                                               decoderMemoryLimit);
    if (!decoder) {
        log.logError("Unsupported compression method");
        return log.logDataLong("compressionMethod", m_method), false;
    }
    TarnelHandle file;
    FileDataSource fileSource;
    DataSource* source = m_source;
    if (!source && m_srcIsFile) {
        int reason = 0;
        if (!openForRead(m_srcFile.text(), file, reason, &log))
            return rejectWith(&log, "Failed to open file for reading (4)");
        fileSource.attachHandle(&file);
        source = &fileSource;
    }
    if (!source) source = rawSource(0);
    if (!source) return rejectWith(&log, "No source data.");
    FileDataSink sink;
    sink.setOutput(m_dest);
    sink.setComputeCrc(true);
    sink.setProgressMonitor(m_monitor);
    sink.setLog(&log);
    bool ok = decoder->decode(*source, sink, log) && !sink.writeFailed();
    if (ok) crc = sink.crcValue();
    return ok;
}
