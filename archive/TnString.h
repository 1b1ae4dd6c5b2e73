// Tarnel Zip: a text returned by the library. Its pointer stays valid until the string is
// reused; TnZip rotates ten of them, so a result survives the next nine text-returning calls.
#pragma once
#include "TnObject.h"
#include "tarnel/TnZipExport.h"

class StringBuffer;
class XString;

class TARNEL_ZIP_API TnString : public TnObject {
public:
    TnString();
    ~TnString() override;

    // Replaces the text with UTF-8 bytes and returns it in the string's 8-bit form (UTF-8 when
    // the UTF-8 flag is set, else ANSI).
    const char* assignUtf8(const char* utf8);
    const char* getString();
    void setUtf8(bool on) { m_utf8 = on; }

private:
    XString* m_text;
    bool m_utf8 = false;
    StringBuffer* m_buffer;
};
