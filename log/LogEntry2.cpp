// LogEntry2: node kinds and the three renderings of a subtree.
#include "log/LogEntry2.h"

#include <cstring>
#include <new>

#include "base/ExtPtrArray.h"
#include "base/StringBuffer.h"

namespace {

const char* const kCdataOpen = "<![CDATA[";
const char* const kCdataClose = "]]>";

// A text goes into CDATA when it holds a line feed, a tab or markup, unless it already is one.
void appendXmlText(StringBuffer& out, const char* text) {
    bool wrap = std::strpbrk(text, "\n\t&<>") != nullptr;
    if (wrap && std::strstr(text, kCdataOpen) && std::strstr(text, kCdataClose)) wrap = false;
    if (!wrap) {
        out.append(text);
        return;
    }
    // A "]]>" inside would end the section early: split it across two sections.
    StringBuffer body(text);
    body.replaceAll(kCdataClose, "]]]]><![CDATA[>");
    out.append(kCdataOpen);
    out.appendBuffer(body);
    out.append(kCdataClose);
}

void appendEscapedHtml(StringBuffer& out, const char* text) {
    StringBuffer escaped(text);
    escaped.escapeXml();
    out.appendBuffer(escaped);
}

void appendXmlElement(StringBuffer& out, const char* name, const char* text) {
    out.appendChar('<');
    out.append(name);
    out.appendChar('>');
    appendXmlText(out, text);
    out.append("</");
    out.append(name);
    out.append(">\r\n");
}

}  // namespace

LogEntry2::LogEntry2() : m_children(nullptr), m_kind(kInfo), m_tag(nullptr), m_text(nullptr) {}

LogEntry2::~LogEntry2() {
    dropChildren();
    delete m_tag;
    delete m_text;
}

StringBuffer* LogEntry2::copyOf(const char* text) { return text ? new (std::nothrow) StringBuffer(text) : nullptr; }

void LogEntry2::dropChildren() {
    if (!m_children) return;
    m_children->deleteAll();
    delete m_children;
    m_children = nullptr;
}

void LogEntry2::setContext(const char* tag) {
    dropChildren();
    m_children = new (std::nothrow) ExtPtrArray();
    m_kind = kContext;
    delete m_tag;
    m_tag = copyOf(tag);
    delete m_text;
    m_text = nullptr;
}

void LogEntry2::setMessage(char kind, const char* text) {
    m_kind = kind;
    delete m_tag;
    m_tag = nullptr;
    delete m_text;
    m_text = copyOf(text);
}

void LogEntry2::setKeyValue(const char* key, const char* value) {
    m_kind = kKeyValue;
    delete m_tag;
    m_tag = copyOf(key);
    delete m_text;
    m_text = copyOf(value);
}

bool LogEntry2::addChild(LogEntry2* child) {
    if (m_children && m_children->add(child)) return true;
    delete child;
    return false;
}

void LogEntry2::pruneEmptyLastChild() {
    LogEntry2* last = child(childCount() - 1);
    if (!last || last->kind() != kContext || last->childCount() != 0) return;
    m_children->pop();
    delete last;
}

int LogEntry2::childCount() const { return m_children ? m_children->count() : 0; }

LogEntry2* LogEntry2::child(int i) const { return m_children ? static_cast<LogEntry2*>(m_children->get(i)) : nullptr; }

const char* LogEntry2::tag() const { return m_tag ? m_tag->text() : nullptr; }

const char* LogEntry2::text() const { return m_text ? m_text->text() : nullptr; }

void LogEntry2::renderXml(StringBuffer& out) const {
    if (m_kind == kContext) {
        if (!m_tag || !m_children) return;
        out.appendChar('<');
        out.appendBuffer(*m_tag);
        out.append(">\r\n");
        for (int i = 0; i < childCount(); ++i) child(i)->renderXml(out);
        out.append("</");
        out.appendBuffer(*m_tag);
        out.append(">\r\n");
    } else if (m_kind == kKeyValue) {
        if (m_tag && m_text) appendXmlElement(out, m_tag->text(), m_text->text());
    } else if (m_text && m_kind == kRaw) {
        out.appendBuffer(*m_text);
        out.append("\r\n");
    } else if (m_text) {
        appendXmlElement(out, m_kind == kError ? "error" : "info", m_text->text());
    }
}

void LogEntry2::renderHtml(StringBuffer& out) const {
    if (m_kind == kContext) {
        if (!m_tag || !m_children) return;
        out.appendBuffer(*m_tag);
        out.append(":<blockquote>\r\n");
        for (int i = 0; i < childCount(); ++i) child(i)->renderHtml(out);
        out.append("</blockquote>\r\n");
        return;
    }
    if (!m_text || (m_kind == kKeyValue && !m_tag)) return;
    if (m_kind == kKeyValue) {
        out.appendBuffer(*m_tag);
        out.append(": ");
    }
    appendEscapedHtml(out, m_text->text());
    out.append("<br>\r\n");
}

void LogEntry2::renderText(StringBuffer& out, int depth) const {
    if (m_kind == kContext) {
        if (!m_tag || !m_children) return;
        out.appendCharRepeated(' ', 2 * depth);
        out.appendBuffer(*m_tag);
        out.append(":\r\n");
        for (int i = 0; i < childCount(); ++i) child(i)->renderText(out, depth + 1);
        return;
    }
    if (!m_text || (m_kind == kKeyValue && !m_tag)) return;
    out.appendCharRepeated(' ', 2 * depth);
    if (m_kind == kKeyValue) {
        out.appendBuffer(*m_tag);
        out.append(": ");
    }
    out.appendBuffer(*m_text);
    out.append("\r\n");
}
