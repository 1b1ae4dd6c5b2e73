// XString: three forms of one text. Invariants: at least one form is current, current forms
// hold the same text, a stale form is empty (a stale UTF-16 form has size 0), and a current
// UTF-16 form ends with a two-byte zero terminator inside its size.
#include "base/XString.h"

#include "base/EncodingConvert.h"
#include "base/LittleEndian.h"
#include "base/SystemCodePage.h"

namespace {

constexpr int kUtf8 = 65001;
constexpr int kUtf16 = 1200;

bool isEmptyText(const char* text) { return text == nullptr || *text == 0; }

// Converts into a fresh block that ends with one zero byte, ready for StringBuffer::takeData.
bool convertToText(int from, int to, const void* bytes, std::uint32_t n, DataBuffer& out) {
    bool ok = EncodingConvert().convert(from, to, bytes, n, out);
    out.appendByte(0);
    return ok;
}

// The UTF-16 content without its terminator (none when the form holds only the terminator).
std::uint32_t utf16ContentSize(const DataBuffer& utf16) { return utf16.size() > 3 ? utf16.size() - 2 : 0; }

}  // namespace

XString::XString() : m_ansiStatus(kAnsiUnknown), m_utf16Valid(1), m_ansiValid(1), m_utf8Valid(1) { setEmpty(); }

XString::~XString() = default;

void XString::setEmpty() {
    m_utf16.clear();
    m_utf16.appendWide(nullptr);
    m_ansi.clear();
    m_ansi.shrinkToFit();
    m_utf8.clear();
    m_utf8.shrinkToFit();
    m_utf16Valid = m_ansiValid = m_utf8Valid = 1;
    m_ansiStatus = kAnsiUnknown;
}

// Leaves only the given form current and empties the others.
void XString::makeOnlyCurrent(std::uint8_t& form) {
    if (&form != &m_utf16Valid) m_utf16.clear();
    if (&form != &m_ansiValid) m_ansi.clear();
    if (&form != &m_utf8Valid) m_utf8.clear();
    m_utf16Valid = m_ansiValid = m_utf8Valid = 0;
    form = 1;
}

void XString::setAnsi(const char* text) {
    if (isEmptyText(text)) return setEmpty();
    m_ansi.setString(text);
    makeOnlyCurrent(m_ansiValid);
    m_ansiStatus = kAnsiLossless;
}

void XString::setUtf8(const char* text) {
    if (isEmptyText(text)) return setEmpty();
    m_utf8.setString(text);
    makeOnlyCurrent(m_utf8Valid);
    m_ansiStatus = kAnsiUnknown;
}

void XString::setUtf16(const char16_t* text) {
    if (text == nullptr || *text == 0) return setEmpty();
    m_utf16.clear();
    m_utf16.appendWide(text);
    makeOnlyCurrent(m_utf16Valid);
    m_ansiStatus = kAnsiUnknown;
}

void XString::setText(const char* text, bool isUtf8) {
    if (isUtf8) setUtf8(text);
    else setAnsi(text);
}

void XString::copyFrom(const XString& other) {
    if (&other == this) return;
    m_ansi.setFrom(other.m_ansi);
    m_utf8.setFrom(other.m_utf8);
    m_utf16.clear();
    m_utf16.appendBuffer(other.m_utf16);
    m_utf16Valid = other.m_utf16Valid;
    m_ansiValid = other.m_ansiValid;
    m_utf8Valid = other.m_utf8Valid;
    m_ansiStatus = other.m_ansiStatus;
}

void XString::clear() { setEmpty(); }

void XString::deriveUtf8() {
    DataBuffer out;
    if (m_ansiValid) {
        std::uint32_t n = static_cast<std::uint32_t>(m_ansi.length());
        out.ensureCapacity(n + n / 16 + 4);
        convertToText(SystemCodePage::ansi(), kUtf8, m_ansi.text(), n, out);
    } else if (m_utf16Valid) {
        convertToText(kUtf16, kUtf8, m_utf16.data(), utf16ContentSize(m_utf16), out);
    } else {
        return setEmpty();  // only a failed allocation leaves no form current
    }
    m_utf8.takeData(out);
    m_utf8.shrinkToFit();
    m_utf8Valid = 1;
}

void XString::deriveUtf16() {
    m_utf16.clear();
    if (m_utf8Valid) {
        EncodingConvert().convert(kUtf8, kUtf16, m_utf8.text(), static_cast<std::uint32_t>(m_utf8.length()), m_utf16);
    } else if (m_ansiValid) {
        EncodingConvert().convert(SystemCodePage::ansi(), kUtf16, m_ansi.text(),
                                  static_cast<std::uint32_t>(m_ansi.length()), m_utf16);
    } else {
        return setEmpty();
    }
    m_utf16.appendWide(nullptr);
    m_utf16Valid = 1;
}

bool XString::ansiFromUtf8(DataBuffer& out) {
    return convertToText(kUtf8, SystemCodePage::ansi(), m_utf8.text(), static_cast<std::uint32_t>(m_utf8.length()),
                         out);
}

bool XString::ansiFromUtf16(DataBuffer& out) {
    return convertToText(kUtf16, SystemCodePage::ansi(), m_utf16.data(), utf16ContentSize(m_utf16), out);
}

// Makes the converted text the current ANSI form and records whether it was lossless.
void XString::keepAnsi(DataBuffer& converted, bool lossless) {
    m_ansi.takeData(converted);
    m_ansiValid = 1;
    m_ansiStatus = lossless ? kAnsiLossless : kAnsiLossy;
}

void XString::deriveAnsi() {
    DataBuffer out;
    if (m_utf8Valid) {
        bool ok = ansiFromUtf8(out);
        return keepAnsi(out, ok);
    }
    if (m_utf16Valid) {
        bool ok = ansiFromUtf16(out);
        return keepAnsi(out, ok);
    }
    setEmpty();
}

const char* XString::getUtf8() {
    if (!m_utf8Valid) deriveUtf8();
    return m_utf8.text();
}

const char16_t* XString::getUtf16() {
    if (!m_utf16Valid) deriveUtf16();
    return reinterpret_cast<const char16_t*>(m_utf16.data());
}

const char* XString::getAnsi() {
    if (!m_ansiValid) deriveAnsi();
    return m_ansi.text();
}

StringBuffer& XString::utf8Buffer() { return m_utf8; }

// A current ANSI form that was set (not derived) is lossless by definition; a derived one has
// already recorded its status.
bool XString::isAnsiLossless() {
    if (m_ansiStatus != kAnsiUnknown) return m_ansiStatus == kAnsiLossless;
    if (m_ansiValid) return true;
    DataBuffer out;
    bool ok = m_utf16Valid ? ansiFromUtf16(out) : ansiFromUtf8(out);
    if (ok) {
        keepAnsi(out, true);
    } else {
        m_ansi.clear();
        m_ansiValid = 0;
        m_ansiStatus = kAnsiLossy;
    }
    return ok;
}

int XString::length() {
    if (m_ansiValid) return m_ansi.length();
    getUtf16();
    return static_cast<int>(utf16ContentSize(m_utf16) / 2);
}

bool XString::appendAnsi(const char* text) {
    if (isEmptyText(text)) return true;
    getAnsi();
    bool ok = m_ansi.append(text);
    makeOnlyCurrent(m_ansiValid);
    m_ansiStatus = kAnsiUnknown;
    return ok;
}

bool XString::appendUtf8(const char* text) {
    if (isEmptyText(text)) return true;
    getUtf8();
    bool ok = m_utf8.append(text);
    makeOnlyCurrent(m_utf8Valid);
    m_ansiStatus = kAnsiUnknown;
    return ok;
}

bool XString::appendUtf16(const char16_t* text) {
    if (text == nullptr || *text == 0) return true;
    getUtf16();
    m_utf16.dropLast(2);
    bool ok = m_utf16.appendWide(text);
    if (!ok) m_utf16.appendWide(nullptr);
    makeOnlyCurrent(m_utf16Valid);
    m_ansiStatus = kAnsiUnknown;
    return ok;
}

bool XString::appendString(XString& other) {
    if (&other == this) {
        StringBuffer copy(getUtf8());
        return appendUtf8(copy.text());
    }
    if (other.m_utf8Valid) return appendUtf8(other.m_utf8.text());
    if (other.m_utf16Valid) return appendUtf16(reinterpret_cast<const char16_t*>(other.m_utf16.data()));
    return appendAnsi(other.m_ansi.text());
}

bool XString::beginsWith(const char* utf8) {
    getUtf8();
    return m_utf8.beginsWith(utf8);
}

bool XString::endsWith(const char* utf8) {
    getUtf8();
    return m_utf8.endsWith(utf8);
}

void XString::trim() {
    getUtf8();
    m_utf8.trim();
    makeOnlyCurrent(m_utf8Valid);
    m_ansiStatus = kAnsiUnknown;
}

bool XString::replaceFirst(const char* utf8From, const char* utf8To) {
    getUtf8();
    if (!m_utf8.replaceFirst(utf8From, utf8To)) return false;
    makeOnlyCurrent(m_utf8Valid);
    m_ansiStatus = kAnsiUnknown;
    return true;
}

// Both characters are ANSI; they are matched as UTF-16 code units in the UTF-16 form.
void XString::replaceChar(char ansiFrom, char ansiTo) {
    std::uint16_t units[2] = {0, 0};
    char chars[2] = {ansiFrom, ansiTo};
    for (int i = 0; i < 2; ++i) {
        DataBuffer unit;
        EncodingConvert().convert(SystemCodePage::ansi(), kUtf16, &chars[i], 1, unit);
        if (unit.size() == 2) units[i] = loadLe16(unit.data());
    }
    getUtf16();
    m_utf16.replaceWideChar(units[0], units[1]);
    makeOnlyCurrent(m_utf16Valid);
    m_ansiStatus = kAnsiUnknown;
}
