// Base64 and quoted-printable coding of byte blocks into and out of text.
#pragma once
#include <cstdint>

class StringBuffer;

class ContentCoding {
public:
    ContentCoding() = default;

    // RFC 4648 alphabet with '=' padding and no line breaks, appended to `out`.
    bool encodeBase64(const void* bytes, std::uint32_t n, StringBuffer& out) const;
    // A new block (free it with std::free) holding the decoded bytes and a zero byte after
    // them; `length` excludes that zero. Characters outside '+'..'z' or outside the alphabet are
    // skipped; '=' or the terminator ends the input. Null or empty text gives null.
    std::uint8_t* decodeBase64(const char* text, std::uint32_t& length) const;
    // MIME quoted-printable with CRLF as the hard line break and soft breaks that keep every
    // line within the line length, '=' included.
    bool encodeQuotedPrintable(const void* bytes, std::uint32_t n, StringBuffer& out) const;

    int lineLength() const { return m_lineLength; }
    void setLineLength(int n) { m_lineLength = n >= 4 ? n : 4; }

private:
    int m_lineLength = 72;
};
