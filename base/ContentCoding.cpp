// ContentCoding: base64 in both directions and quoted-printable encoding.
#include "base/ContentCoding.h"

#include <cstdlib>
#include <cstring>

#include "base/StringBuffer.h"

namespace {

const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
const char kHex[] = "0123456789ABCDEF";

// Value of a base64 character, or -1 for a character to skip.
int base64Value(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

bool isCrlfAt(const std::uint8_t* in, std::uint32_t n, std::uint32_t i) {
    return i + 1 < n && in[i] == '\r' && in[i + 1] == '\n';
}

// Whether byte i must be written as =XX. `lineStart` says nothing precedes it on its line.
bool qpMustEncode(const std::uint8_t* in, std::uint32_t n, std::uint32_t i, bool lineStart) {
    std::uint8_t c = in[i];
    if (c == ' ' || c == '\t') return i + 1 == n || isCrlfAt(in, n, i + 1);  // trailing white space
    if (c < 33 || c > 126 || c == '=') return true;
    if (!lineStart) return false;
    // A leading '.' or "From " is taken for a mail delimiter by some transports.
    return c == '.' || (n - i >= 5 && std::memcmp(in + i, "From ", 5) == 0);
}

}  // namespace

bool ContentCoding::encodeBase64(const void* bytes, std::uint32_t n, StringBuffer& out) const {
    const auto* in = static_cast<const std::uint8_t*>(bytes);
    if (in == nullptr || n == 0) return true;
    if (!out.ensureRoom(static_cast<int>((static_cast<std::uint64_t>(n) + 2) / 3 * 4))) return false;
    char group[4];
    for (std::uint32_t i = 0; i < n; i += 3) {
        std::uint32_t left = n - i;
        std::uint32_t bits = static_cast<std::uint32_t>(in[i]) << 16;
        if (left > 1) bits |= static_cast<std::uint32_t>(in[i + 1]) << 8;
        if (left > 2) bits |= in[i + 2];
        group[0] = kBase64[bits >> 18];
        group[1] = kBase64[(bits >> 12) & 63];
        group[2] = left > 1 ? kBase64[(bits >> 6) & 63] : '=';
        group[3] = left > 2 ? kBase64[bits & 63] : '=';
        if (!out.appendBytes(group, 4)) return false;
    }
    return true;
}

std::uint8_t* ContentCoding::decodeBase64(const char* text, std::uint32_t& length) const {
    length = 0;
    if (text == nullptr || *text == 0) return nullptr;
    std::size_t textLength = std::strlen(text);
    auto* block = static_cast<std::uint8_t*>(std::malloc(textLength * 3 / 4 + 8));
    if (block == nullptr) return nullptr;
    std::uint32_t bits = 0;
    int pending = 0;  // characters of the current 4-character group
    std::size_t n = 0;
    for (const char* p = text; *p != 0 && *p != '='; ++p) {
        int v = base64Value(static_cast<unsigned char>(*p));
        if (v < 0) continue;
        bits = bits << 6 | static_cast<std::uint32_t>(v);
        if (++pending < 4) continue;
        block[n++] = static_cast<std::uint8_t>(bits >> 16);
        block[n++] = static_cast<std::uint8_t>(bits >> 8);
        block[n++] = static_cast<std::uint8_t>(bits);
        pending = 0;
        bits = 0;
    }
    // A partial group of 2 or 3 characters carries 1 or 2 bytes; a lone character none.
    if (pending >= 2) block[n++] = static_cast<std::uint8_t>(bits >> (pending == 2 ? 4 : 10));
    if (pending == 3) block[n++] = static_cast<std::uint8_t>(bits >> 2);
    block[n] = 0;
    length = static_cast<std::uint32_t>(n);
    return block;
}

bool ContentCoding::encodeQuotedPrintable(const void* bytes, std::uint32_t n, StringBuffer& out) const {
    const auto* in = static_cast<const std::uint8_t*>(bytes);
    if (in == nullptr || n == 0) return true;
    int line = 0;  // characters on the current output line
    for (std::uint32_t i = 0; i < n; ++i) {
        if (isCrlfAt(in, n, i)) {
            if (!out.appendBytes("\r\n", 2)) return false;
            line = 0;
            ++i;
            continue;
        }
        bool encode = qpMustEncode(in, n, i, line == 0);
        // Keep room for the '=' of a soft break; after one, the byte starts a line.
        if (line + (encode ? 3 : 1) > m_lineLength - 1) {
            if (!out.appendBytes("=\r\n", 3)) return false;
            line = 0;
            encode = qpMustEncode(in, n, i, true);
        }
        char token[3] = {'=', kHex[in[i] >> 4], kHex[in[i] & 15]};
        bool ok = encode ? out.appendBytes(token, 3) : out.appendChar(static_cast<char>(in[i]));
        if (!ok) return false;
        line += encode ? 3 : 1;
    }
    return true;
}
