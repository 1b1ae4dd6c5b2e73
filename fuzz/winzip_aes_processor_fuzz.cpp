// WinZipAesProcessor under the property of WinZipAesFuzz.h, as the decode pipeline uses it:
// behind a ProcessorSource, read in chunks of a size taken from the data (1 to 64 bytes) from a
// source that hands out chunks of another such size. The result is a success only when the
// stream ended without a failed read.
#include "base/StringBuffer.h"
#include "fuzz/WinZipAesFuzz.h"
#include "log/LogNull.h"
#include "pipeline/ProcessorSource.h"
#include "pipeline/WinZipAesProcessor.h"
#include "tests/PipelineTestParts.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::uint32_t chunk = size ? 1 + data[size - 1] % 64 : 1;
    const std::uint32_t pull = size > 1 ? 1 + data[size - 2] % 64 : 1;
    fuzzWinZipAes(data, size, false,
                  [chunk, pull](const std::vector<std::uint8_t>& stored, const std::string& password, int strength) {
                      AesFuzzResult r;
                      ChunkySource raw(stored, chunk);
                      LogNull log;
                      WinZipAesProcessor stage(StringBuffer(password.c_str()), strength, log);
                      stage.setSource(&raw);
                      stage.allocateInputBuffer(60000);
                      ProcessorSource source(stage);
                      std::uint8_t buffer[64];
                      bool ok = true;
                      while (ok && !source.endOfStream()) {
                          std::uint32_t got = 0;
                          ok = source.getNextChunk(buffer, pull, got, nullptr);
                          r.plain.insert(r.plain.end(), buffer, buffer + got);
                      }
                      r.ok = ok;
                      r.wrongPassword = stage.wrongPassword();
                      r.authFailed = stage.authFailed();
                      return r;
                  });
    return 0;
}
