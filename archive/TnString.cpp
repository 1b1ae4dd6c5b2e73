// Public result strings.
#include "archive/TnString.h"

#include "base/StringBuffer.h"
#include "base/XString.h"

TnString::TnString() : m_text(new XString), m_buffer(new StringBuffer) {}

TnString::~TnString() {
    delete m_text;
    delete m_buffer;
}

const char* TnString::assignUtf8(const char* utf8) {
    m_text->setUtf8(utf8);
    return getString();
}

const char* TnString::getString() { return m_utf8 ? m_text->getUtf8() : m_text->getAnsi(); }
