// The library's text type: one text held in up to three forms (ANSI, UTF-8, UTF-16LE), each
// derived lazily from a current one when first asked for. Not synchronised: getters cache forms.
#pragma once
#include <cstdint>

#include "base/DataBuffer.h"
#include "base/StringBuffer.h"
#include "base/TarnelObject.h"

class XString : public TarnelObject {
public:
    // ansiStatus values.
    static constexpr std::int32_t kAnsiUnknown = 0;
    static constexpr std::int32_t kAnsiLossless = 1;
    static constexpr std::int32_t kAnsiLossy = 2;

    XString();
    XString(const XString&) = delete;
    XString& operator=(const XString&) = delete;
    ~XString() override;

    // Setters replace the whole text and leave exactly one form current.
    // A null or empty argument gives the empty state of a new XString.
    void setAnsi(const char* text);
    void setUtf8(const char* text);
    void setUtf16(const char16_t* text);  // zero-terminated
    void setText(const char* text, bool isUtf8);
    void copyFrom(const XString& other);
    void clear();

    // Getters derive a stale form on demand. The pointer stays valid until the next change.
    const char* getUtf8();
    const char16_t* getUtf16();  // zero-terminated
    const char* getAnsi();

    // The UTF-8 form's buffer itself; call getUtf8 first to make it current.
    StringBuffer& utf8Buffer();

    // True when the text survives conversion to the current ANSI code page.
    bool isAnsiLossless();

    // ANSI byte count when that form is current, else the number of UTF-16 code units.
    int length();

    // Appends keep one form current and reset ansiStatus to unknown.
    bool appendAnsi(const char* text);
    bool appendUtf8(const char* text);
    bool appendUtf16(const char16_t* text);
    bool appendString(XString& other);

    // Byte-exact tests on the UTF-8 form.
    bool beginsWith(const char* utf8);
    bool endsWith(const char* utf8);

    // Edits; each leaves one form current and resets ansiStatus.
    void trim();
    bool replaceFirst(const char* utf8From, const char* utf8To);
    void replaceChar(char ansiFrom, char ansiTo);

    // State, for tests and for the file system layer's narrow/wide choice.
    std::int32_t ansiStatus() const { return m_ansiStatus; }
    bool isUtf16Current() const { return m_utf16Valid != 0; }
    bool isAnsiCurrent() const { return m_ansiValid != 0; }
    bool isUtf8Current() const { return m_utf8Valid != 0; }

private:
    void setEmpty();
    void makeOnlyCurrent(std::uint8_t& form);
    void deriveUtf8();
    void deriveUtf16();
    void deriveAnsi();
    bool ansiFromUtf16(DataBuffer& out);
    bool ansiFromUtf8(DataBuffer& out);
    void keepAnsi(DataBuffer& converted, bool lossless);

    std::int32_t m_ansiStatus;
    std::uint8_t m_utf16Valid;
    std::uint8_t m_ansiValid;
    std::uint8_t m_utf8Valid;
    DataBuffer m_utf16;
    StringBuffer m_ansi;
    StringBuffer m_utf8;
};
