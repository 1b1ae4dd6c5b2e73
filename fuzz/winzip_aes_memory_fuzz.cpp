// WinZipAes::decryptInMemory under the property of WinZipAesFuzz.h.
#include "base/DataBuffer.h"
#include "base/StringBuffer.h"
#include "crypto/WinZipAes.h"
#include "fuzz/WinZipAesFuzz.h"
#include "log/LogNull.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzWinZipAes(data, size, true,
                  [](const std::vector<std::uint8_t>& stored, const std::string& password, int strength) {
                      AesFuzzResult r;
                      DataBuffer plain;
                      LogNull log;
                      r.ok = WinZipAes::decryptInMemory(stored.data(), static_cast<std::uint32_t>(stored.size()),
                                                        StringBuffer(password.c_str()), strength, plain,
                                                        r.wrongPassword, r.authFailed, log);
                      r.plain.assign(plain.data(), plain.data() + plain.size());
                      return r;
                  });
    return 0;
}
