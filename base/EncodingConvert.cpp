// Code page conversion: source front ends, target back ends, and the core that strips byte
// order marks and pivots through UTF-16LE.
#include "base/EncodingConvert.h"

#include "base/CodePageTables.h"
#include "base/ConvertOutput.h"
#include "base/DataBuffer.h"
#include "base/Japanese.h"
#include "base/Korean.h"
#include "base/MacArabic.h"
#include "base/TableCodec.h"
#include "base/UnicodeCodec.h"
#include "base/Utf7Codec.h"

namespace {

constexpr int kUtf8 = 65001;
constexpr int kUtf16 = 1200;
constexpr int kUtf16Be = 1201;
constexpr int kUtf7 = 65000;
constexpr int kUtf32 = 65005;
constexpr int kUtf32Be = 65006;
constexpr int kShiftJis = 932;
constexpr int kEucKr = 949;
constexpr int kIso2022Kr = 50225;
constexpr int kMacArabic = 10004;

bool isIso2022Jp(int cp) { return cp >= 50220 && cp <= 50222; }
bool isUtf32(int cp) { return cp == kUtf32 || cp == kUtf32Be; }

bool startsWith(const std::uint8_t* in, std::uint32_t n, const char* mark, std::uint32_t markLength) {
    if (n < markLength) return false;
    for (std::uint32_t i = 0; i < markLength; ++i) {
        if (in[i] != static_cast<std::uint8_t>(mark[i])) return false;
    }
    return true;
}

// Strips the source's byte order mark, if any; returns the mark's length and sets bigEndian.
std::uint32_t byteOrderMark(int from, const std::uint8_t* in, std::uint32_t n, bool& bigEndian) {
    bigEndian = from == kUtf16Be || from == kUtf32Be;
    if (from == kUtf16 || from == kUtf16Be) {
        if (startsWith(in, n, "\xFE\xFF", 2)) return bigEndian = true, 2;
        if (startsWith(in, n, "\xFF\xFE", 2)) return bigEndian = false, 2;
    } else if (from == kUtf8) {
        if (startsWith(in, n, "\xEF\xBB\xBF", 3)) return 3;
    } else if (isUtf32(from)) {
        if (startsWith(in, n, "\x00\x00\xFE\xFF", 4)) return bigEndian = true, 4;
        if (startsWith(in, n, "\xFF\xFE\x00\x00", 4)) return bigEndian = false, 4;
    }
    return 0;
}

// Big-endian UTF-16 to little-endian; an odd last byte is dropped and reported.
bool swapPairs(const std::uint8_t* in, std::uint32_t n, DataBuffer& out) {
    ConvertOutput o(out);
    o.expect(n);
    for (std::uint32_t i = 0; i + 1 < n; i += 2) {
        o.put(in[i + 1]);
        o.put(in[i]);
    }
    return o.finish() && (n & 1) == 0;
}

bool copyBytes(const std::uint8_t* in, std::uint32_t n, DataBuffer& out) { return out.append(in, n); }

bool toUtf16(int from, const std::uint8_t* in, std::uint32_t n, DataBuffer& out) {
    ConvertOutput o(out);
    bool ok = from == kUtf8 ? UnicodeCodec::utf8ToUtf16(in, n, o) : TableCodec::decode(from, in, n, o);
    return o.finish() && ok;
}

bool fromUtf16(int to, const std::uint8_t* in, std::uint32_t n, DataBuffer& out) {
    if (to == kUtf16) return copyBytes(in, n, out);
    ConvertOutput o(out);
    bool ok = to == kUtf8 ? UnicodeCodec::utf16ToUtf8(in, n, o) : TableCodec::encode(to, in, n, o);
    return o.finish() && ok;
}

}  // namespace

bool EncodingConvert::isSupported(int codePage) {
    switch (codePage) {
        case kUtf8:
        case kUtf16:
        case kUtf16Be:
        case kUtf7:
        case kUtf32:
        case kUtf32Be:
        case 50220:
        case 50221:
        case 50222:
        case kIso2022Kr: return true;
        default: return CodePageTables::has(codePage);
    }
}

bool EncodingConvert::convert(int fromCodePage, int toCodePage, const void* bytes, std::uint32_t length,
                              DataBuffer& out) {
    if (toCodePage == 0) toCodePage = fromCodePage;
    m_fromCodePage = fromCodePage;
    m_toCodePage = toCodePage;
    const auto* in = static_cast<const std::uint8_t*>(bytes);
    if (in == nullptr || length == 0) return true;  // nothing to convert, so nothing was lost
    if (fromCodePage == toCodePage) return copyBytes(in, length, out);
    if (!isSupported(fromCodePage) || !isSupported(toCodePage)) return false;
    return fromSource(fromCodePage, toCodePage, in, length, out);
}

// Sources with a front end of their own: ISO-2022 decodes to 932 or 949 and converts from
// there; Mac Arabic is rewritten in a copy and then converted with its table.
bool EncodingConvert::fromSource(int from, int to, const std::uint8_t* in, std::uint32_t n, DataBuffer& out) {
    if (isIso2022Jp(from) || from == kIso2022Kr) {
        DataBuffer decoded;
        ConvertOutput o(decoded);
        if (from == kIso2022Kr) Korean::decode(in, n, o);
        else Japanese::decode(in, n, o);
        if (!o.finish()) return false;
        int pivotPage = from == kIso2022Kr ? kEucKr : kShiftJis;
        return EncodingConvert().convert(pivotPage, to, decoded.data(), decoded.size(), out);
    }
    if (from == kMacArabic) {
        DataBuffer copy;
        if (!MacArabic::prepare(in, n, copy)) return false;
        return toTarget(from, to, copy.data(), copy.size(), out);
    }
    return toTarget(from, to, in, n, out);
}

// Targets with a back end of their own are reached in two stages; the second is the encoder.
bool EncodingConvert::toTarget(int from, int to, const std::uint8_t* in, std::uint32_t n, DataBuffer& out) {
    bool special = to == kUtf16Be || to == kUtf7 || isUtf32(to) || isIso2022Jp(to) || to == kIso2022Kr;
    if (!special) return core(from, to, in, n, out);
    int stage = to == kUtf16Be || to == kUtf7 ? kUtf16 : isUtf32(to) ? kUtf8 : to == kIso2022Kr ? kEucKr : kShiftJis;
    DataBuffer mid;
    bool ok = core(from, stage, in, n, mid);
    if (to == kUtf16Be) return swapPairs(mid.data(), mid.size(), out) && ok;
    ConvertOutput o(out);
    if (to == kUtf7) Utf7Codec::encode(mid.data(), mid.size(), o);
    if (isUtf32(to)) ok = UnicodeCodec::utf8ToUtf32(mid.data(), mid.size(), to == kUtf32Be, o) && ok;
    if (to == kIso2022Kr) Korean::encode(mid.data(), mid.size(), o);
    if (isIso2022Jp(to)) Japanese::encode(mid.data(), mid.size(), o);
    return o.finish() && ok;
}

// Strips byte order marks and brings UTF-16BE, UTF-32 and UTF-7 sources to UTF-16LE or UTF-8.
bool EncodingConvert::core(int from, int to, const std::uint8_t* in, std::uint32_t n, DataBuffer& out) {
    bool bigEndian = false;
    std::uint32_t mark = byteOrderMark(from, in, n, bigEndian);
    in += mark;
    n -= mark;
    if (n == 0) return true;
    DataBuffer source;  // the rewritten input, when the source needs rewriting
    bool rewritten = true;
    bool ok = true;
    if ((from == kUtf16 || from == kUtf16Be) && bigEndian) {
        ok = swapPairs(in, n, source);
        from = kUtf16;
    } else if (isUtf32(from)) {
        ConvertOutput o(source);
        ok = UnicodeCodec::utf32ToUtf8(in, n, bigEndian, o) && o.finish();
        from = kUtf8;
    } else if (from == kUtf7) {
        ConvertOutput o(source);
        ok = Utf7Codec::decode(in, n, o) && o.finish();
        from = kUtf16;
    } else {
        rewritten = false;
        if (from == kUtf16Be) from = kUtf16;  // a little-endian mark
    }
    if (!rewritten) return pivot(from, to, in, n, out);
    return pivot(from, to, source.data(), source.size(), out) && ok;
}

bool EncodingConvert::pivot(int from, int to, const std::uint8_t* in, std::uint32_t n, DataBuffer& out) {
    if (n == 0) return true;
    if (from == kUtf16) return fromUtf16(to, in, n, out);
    if (to == kUtf16) return toUtf16(from, in, n, out);
    if (from == kUtf8 && to == kUtf8) return copyBytes(in, n, out);
    DataBuffer mid;
    bool first = toUtf16(from, in, n, mid);
    return fromUtf16(to, mid.data(), mid.size(), out) && first;
}
