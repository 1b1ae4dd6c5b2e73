// Fuzzes base64 decoding: whatever text comes in, the decoded bytes survive an encode/decode
// round trip, stay within the allocation and are zero-terminated; arbitrary bytes round-trip too.
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/ContentCoding.h"
#include "base/StringBuffer.h"

namespace {

std::string decode(const ContentCoding& coding, const char* text) {
    std::uint32_t n = 0;
    std::uint8_t* block = coding.decodeBase64(text, n);
    if (block == nullptr) return std::string();
    if (n > std::strlen(text) * 3 / 4 + 7 || block[n] != 0) std::abort();
    std::string out(reinterpret_cast<char*>(block), n);
    std::free(block);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ContentCoding coding;
    std::string text(reinterpret_cast<const char*>(data), size);
    std::string decoded = decode(coding, text.c_str());
    StringBuffer encoded;
    if (!coding.encodeBase64(decoded.data(), static_cast<std::uint32_t>(decoded.size()), encoded)) std::abort();
    if (decode(coding, encoded.text()) != decoded) std::abort();

    StringBuffer raw;
    if (!coding.encodeBase64(data, static_cast<std::uint32_t>(size), raw)) std::abort();
    if (decode(coding, raw.text()) != text) std::abort();
    return 0;
}
