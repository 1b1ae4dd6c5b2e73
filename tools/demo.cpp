// Demonstrates the log and the CRC-32: checksums a file (by default this program itself) and
// prints the record of the work as the log's text rendering.
#include <cerrno>
#include <cstdio>
#include <vector>

#include "base/StringBuffer.h"
#include "base/TickCount.h"
#include "codecs/ZipCRC.h"
#include "log/Logger.h"

namespace {

bool checksumFile(const char* path, LogBase& log) {
    LogContext context(log, "ChecksumFile");
    log.logData("path", path);
    std::FILE* f = std::fopen(path, "rb");
    if (!f) {
        log.logWindowsError(static_cast<unsigned>(errno));
        log.logError("Failed to open file");
        return false;
    }
    const std::uint32_t start = tickCountMs();
    ZipCRC crc;
    crc.reset();
    std::vector<unsigned char> chunk(1 << 16);
    std::int64_t total = 0;
    for (std::size_t n; (n = std::fread(chunk.data(), 1, chunk.size(), f)) > 0; total += static_cast<std::int64_t>(n)) {
        if (total == 0) log.logDataBytes("firstBytes", chunk.data(), n < 8 ? static_cast<unsigned>(n) : 8u);
        crc.update(chunk.data(), static_cast<std::int32_t>(n));
    }
    std::fclose(f);
    log.logDataInt64("size", total);
    log.logDataHex("crc32", crc.finalValue());
    log.logElapsedMs("time", start);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Logger log;
    bool ok;
    {
        LogContext context(log, "CrcDemo");
        ok = checksumFile(argc > 1 ? argv[1] : argv[0], log);
        log.logInfo(ok ? "Success." : "Failed.");
    }
    StringBuffer text;
    log.getLogText(text);
    std::fputs(text.text(), stdout);
    return ok ? 0 : 1;
}
