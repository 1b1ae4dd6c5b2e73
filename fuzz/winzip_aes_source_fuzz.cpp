// WinZipAes::decryptFromSource under the property of WinZipAesFuzz.h, read through a source that
// hands out chunks of a size taken from the data (1 to 64 bytes), so the streaming buffer meets
// every kind of partial read.
#include "base/StringBuffer.h"
#include "crypto/WinZipAes.h"
#include "fuzz/WinZipAesFuzz.h"
#include "log/LogNull.h"
#include "tests/PipelineTestParts.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::uint32_t chunk = size ? 1 + data[size - 1] % 64 : 1;
    fuzzWinZipAes(data, size, false,
                  [chunk](const std::vector<std::uint8_t>& stored, const std::string& password, int strength) {
                      AesFuzzResult r;
                      ChunkySource source(stored, chunk);
                      VectorOutput output;
                      LogNull log;
                      r.ok = WinZipAes::decryptFromSource(source, StringBuffer(password.c_str()), strength, output,
                                                          r.wrongPassword, r.authFailed, log);
                      r.plain = output.data;
                      return r;
                  });
    return 0;
}
