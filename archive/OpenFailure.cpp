// Classification of a failed open.
#include "archive/OpenFailure.h"

#include <algorithm>
#include <cerrno>
#include <vector>

#include "base/LittleEndian.h"
#include "base/PlatformFiles.h"
#include "zip/ClsZip2.h"
#include "zip/ZipWalkEntry.h"

namespace {
// The end record (22 bytes) with the longest comment (65,535 bytes) behind it.
constexpr std::size_t kEndSearchSpan = 22 + 65535;

bool missingError(int error) {
#ifdef _WIN32
    return error == kErrorFileNotFound || error == kErrorPathNotFound;
#else
    return error == ENOENT || error == ENOTDIR;
#endif
}

bool tailHasEndRecord(const std::uint8_t* tail, std::size_t size) {
    for (std::size_t i = size < 22 ? 0 : size - 22 + 1; i-- > 0;)
        if (loadLe32(tail + i) == ZipSig::kEndOfCentralDir) return true;
    return false;
}

// True when the file's tail holds an end record signature.
bool hasEndRecord(int fd) {
    std::int64_t size = 0, at = 0;
    if (!platformFileSize(fd, size) || size < 22) return false;
    const auto span = static_cast<std::size_t>(std::min<std::int64_t>(size, kEndSearchSpan));
    std::vector<std::uint8_t> tail(span);
    std::uint32_t got = 0;
    if (!platformSeek(fd, size - static_cast<std::int64_t>(span), PlatformSeek::Begin, at) ||
        !platformRead(fd, tail.data(), static_cast<std::uint32_t>(span), got) || got != span)
        return false;
    return tailHasEndRecord(tail.data(), tail.size());
}

std::string notZip(const std::string& what) {
    return what + ": not a ZIP archive (no end of central directory record)";
}

// Told apart once the archive proved readable and holds an end record.
TnZipResult structureFailure(const std::string& what, const ClsZip2& zip, std::string& reason) {
    if (zip.commentHasMarker()) {
        const bool none = zip.password().length() == 0;
        reason = what + (none ? ": the archive needs a password" : ": the archive's password is wrong");
        return none ? TnZipResult::kPasswordNeeded : TnZipResult::kWrongPassword;
    }
    reason = what + ": the archive's structure is damaged";
    return TnZipResult::kDamaged;
}
}  // namespace

TnZipResult classifyOpenFailure(const char* utf8Path, const ClsZip2& zip, std::string& reason) {
    const std::string path = utf8Path ? utf8Path : "";
    if (path.empty()) return reason = "no archive path given", TnZipResult::kBadArgument;
    const int fd = platformOpenFile(path.c_str(), PlatformOpen::Read);
    if (fd < 0) {
        const int error = platformLastErrno();
        reason = path + ": " + platformErrorText(error);
        return missingError(error) ? TnZipResult::kNotFound : TnZipResult::kCannotRead;
    }
    const bool endRecord = hasEndRecord(fd);
    platformCloseFile(fd);
    if (!endRecord) return reason = notZip(path), TnZipResult::kNotZip;
    return structureFailure(path, zip, reason);
}

TnZipResult classifyMemoryOpenFailure(const std::uint8_t* data, std::size_t size, const ClsZip2& zip,
                                      std::string& reason) {
    const std::size_t span = std::min(size, kEndSearchSpan);
    if (!tailHasEndRecord(data + size - span, span)) return reason = notZip("memory archive"), TnZipResult::kNotZip;
    return structureFailure("memory archive", zip, reason);
}
