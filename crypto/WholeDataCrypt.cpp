// Whole-data decryption in memory and file to file, and the archive check text.
#include "crypto/WholeDataCrypt.h"

#include <algorithm>
#include <cstring>
#include <gcrypt.h>
#include <memory>
#include <new>

#include "archive/ProgressMonitor.h"
#include "base/DataBuffer.h"
#include "base/FileOpen.h"
#include "base/TarnelHandle.h"
#include "crypto/WholeDataCipher.h"
#include "log/LogBase.h"
#include "log/LogNull.h"
#include "log/LogReject.h"

namespace {
constexpr std::uint32_t kOuterBlock = 16;
// One piece plus room for a block or two, as the file format's reader has always allocated.
constexpr std::uint32_t kFileBuffer = WholeDataCrypt::kFilePiece + 64;

bool failDecryption(LogBase& log, int errorCode) {
    log.logError("Decryption failed");
    return log.logDataLong("error_code", errorCode), false;
}

std::unique_ptr<WholeDataCipher> makeCipher(int algorithm, int keyBits, const char* password, LogBase& log) {
    auto cipher = WholeDataCipher::create(algorithm, keyBits, password);
    if (cipher) return cipher;
    if (WholeDataCipher::keyBytesFor(algorithm, keyBits) == 0) {
        log.logError("Unsupported encryption algorithm");
        log.logDataLong("algorithm", algorithm);
    } else {
        log.logError("Failed to initialize decryption");
    }
    return nullptr;
}

// The padding at the end of n bytes: its length, or 0 when the last byte cannot be a padding
// to block (a wrong password, most of the time). Nothing is padded in no bytes.
std::uint32_t paddingLength(const std::uint8_t* data, std::uint32_t n, std::uint32_t block, bool& valid) {
    const std::uint32_t pad = n ? data[n - 1] : 0;
    valid = n == 0 || (pad >= 1 && pad <= block && pad <= n);
    return valid ? pad : 0;
}

// Decrypts the whole blocks of data[0..n) in place; n becomes their length. AES refuses an input
// shorter than one block.
bool decryptBlocks(WholeDataCipher& cipher, int algorithm, std::uint8_t* data, std::uint32_t& n, LogBase& log) {
    if (algorithm == WholeDataCipher::kAes && n < cipher.blockSize()) return failDecryption(log, GPG_ERR_INV_LENGTH);
    n -= n % cipher.blockSize();
    const int error = cipher.decrypt(data, n);
    return error == 0 || failDecryption(log, error);
}

bool stripPadding(DataBuffer& plain, std::uint32_t block, LogBase& log) {
    bool valid = false;
    const std::uint32_t pad = paddingLength(plain.data(), plain.size(), block, valid);
    if (!valid) return failDecryption(log, GPG_ERR_BAD_DATA);
    plain.dropLast(pad);
    return true;
}

bool readFully(TarnelHandle& file, std::uint8_t* buffer, std::uint32_t n, LogBase& log) {
    std::uint32_t got = 0;
    while (got < n) {
        std::uint32_t count = 0;
        bool endOfFile = false;
        if (!file.read(buffer + got, n - got, count, endOfFile, &log)) return false;
        if (count == 0) return rejectWith(log, "Encrypted file is shorter than expected");
        got += count;
    }
    return true;
}

bool writeAll(TarnelHandle& file, const std::uint8_t* bytes, std::uint32_t n, LogBase& log) {
    std::uint64_t written = 0;
    return n == 0 || (file.write(bytes, n, written, &log) && written == n);
}

bool reportPiece(ProgressMonitor* monitor, std::uint32_t n, LogBase& log) {
    if (monitor == nullptr) return true;
    monitor->addProgress(n, nullptr);
    if (!monitor->isAborted()) return true;
    return log.logInfo("Aborted by application"), false;
}

// Decrypts (algorithm 0: copies) one piece of the file in place; the last piece loses the
// cipher's padding. n becomes the count of bytes to write.
bool decryptPiece(WholeDataCipher* cipher, int algorithm, std::uint8_t* data, std::uint32_t& n, bool last,
                  LogBase& log) {
    if (cipher == nullptr) return true;
    if (!decryptBlocks(*cipher, algorithm, data, n, log)) return false;
    if (!last) return true;
    bool valid = false;
    const std::uint32_t pad = paddingLength(data, n, cipher->blockSize(), valid);
    if (!valid) return failDecryption(log, GPG_ERR_BAD_DATA);
    n -= pad;
    return true;
}

bool decryptPieces(TarnelHandle& in, std::uint64_t size, TarnelHandle& out, WholeDataCipher* cipher, int algorithm,
                   ProgressMonitor* monitor, LogBase& log) {
    std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow) std::uint8_t[kFileBuffer]);
    if (!buffer) return rejectWith(log, "Out of memory");
    for (std::uint64_t done = 0; done < size;) {
        std::uint32_t n = static_cast<std::uint32_t>(std::min<std::uint64_t>(WholeDataCrypt::kFilePiece, size - done));
        if (!readFully(in, buffer.get(), n, log) || !reportPiece(monitor, n, log)) return false;
        done += n;
        if (!decryptPiece(cipher, algorithm, buffer.get(), n, done == size, log)) return false;
        if (!writeAll(out, buffer.get(), n, log)) return false;
    }
    return true;
}
}  // namespace

bool WholeDataCrypt::decryptData(int algorithm, int keyBits, const char* password, const std::uint8_t* bytes,
                                 std::uint32_t length, DataBuffer& plain, LogBase& log) {
    plain.clear();
    if (length == 0) return true;
    if (bytes == nullptr) return failDecryption(log, GPG_ERR_INV_ARG);
    if (algorithm == WholeDataCipher::kNone) return plain.append(bytes, length) || rejectWith(log, "Out of memory");
    auto cipher = makeCipher(algorithm, keyBits, password, log);
    if (!cipher) return false;
    if (!plain.append(bytes, length)) return rejectWith(log, "Out of memory");
    std::uint32_t n = length;
    bool ok = decryptBlocks(*cipher, algorithm, plain.data(), n, log);
    if (ok) plain.setSize(n);
    ok = ok && stripPadding(plain, cipher->blockSize(), log) && stripPadding(plain, kOuterBlock, log);
    if (!ok) plain.clear();
    return ok;
}

bool WholeDataCrypt::decryptFile(int algorithm, int keyBits, const char* password, const char* encryptedPath,
                                 const char* plainPath, ProgressMonitor* monitor, LogBase& log) {
    TarnelHandle in;
    TarnelHandle out;
    int reason = 0;
    if (!openForRead(encryptedPath, in, reason, &log)) return false;
    if (!openForWrite(plainPath, out, reason, &log)) return false;
    return decryptHandle(algorithm, keyBits, password, in, out, monitor, log);
}

bool WholeDataCrypt::decryptHandle(int algorithm, int keyBits, const char* password, TarnelHandle& in,
                                   TarnelHandle& out, ProgressMonitor* monitor, LogBase& log) {
    std::unique_ptr<WholeDataCipher> cipher;
    if (algorithm != WholeDataCipher::kNone && !(cipher = makeCipher(algorithm, keyBits, password, log))) return false;
    const std::int64_t size = in.getSize(&log);
    if (size < 0 || !in.seekAbsolute(0, &log)) return false;
    return decryptPieces(in, static_cast<std::uint64_t>(size), out, cipher.get(), algorithm, monitor, log);
}

bool WholeDataCrypt::checkTextMatches(const char* password, const std::uint8_t* encrypted, std::uint32_t length,
                                      int keyBits) {
    LogNull quiet;
    DataBuffer plain;
    const auto textLength = static_cast<std::uint32_t>(std::strlen(kCheckText));
    return decryptData(WholeDataCipher::kBlowfish, keyBits, password, encrypted, length, plain, quiet) &&
           plain.size() == textLength && std::memcmp(plain.data(), kCheckText, textLength) == 0;
}
