// ErrorLog: the tree's root, the context stack and the rule that prunes empty nested contexts.
#include "log/ErrorLog.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "base/StringBuffer.h"
#include "log/LogEntry2.h"

namespace {
const char* const kRootTag = "TarnelLog";

// A line's share of the budget: its text and a little for its layout.
std::size_t lineBytes(const char* a, const char* b = nullptr) {
    return 4 + (a ? std::strlen(a) : 0) + (b ? std::strlen(b) : 0);
}
}  // namespace

ErrorLog::ErrorLog() { clear(); }

ErrorLog::~ErrorLog() { destroyTree(); }

LogEntry2* ErrorLog::root() const { return static_cast<LogEntry2*>(m_stack.get(0)); }

LogEntry2* ErrorLog::innermost() const { return static_cast<LogEntry2*>(m_stack.last()); }

void ErrorLog::destroyTree() {
    delete root();
    m_stack.clear();
}

void ErrorLog::clear() {
    destroyTree();
    m_headBytes = m_tailBytes = m_omittedLines = m_omittedBytes = 0;
    m_headFull = false;
    m_tailContexts = 0;
    m_tail.clear();
    LogEntry2* fresh = new (std::nothrow) LogEntry2();
    if (!fresh) return;
    fresh->setContext(kRootTag);
    if (!m_stack.add(fresh)) delete fresh;
}

// Entries that cannot be stored are dropped: the log never fails its caller.
void ErrorLog::appendEntry(LogEntry2* entry) {
    LogEntry2* parent = innermost();
    if (parent) parent->addChild(entry);
    else delete entry;
}

bool ErrorLog::fitsHead(std::size_t bytes) {
    if (!m_headFull && m_headBytes + bytes <= kHeadBytes) {
        m_headBytes += bytes;
        return true;
    }
    m_headFull = true;
    return false;
}

int ErrorLog::depth() const { return m_stack.count() + m_tailContexts; }

// The oldest tail lines make room for the newest.
void ErrorLog::addToTail(LogEntry2* entry, std::size_t bytes) {
    m_tail.push_back({depth(), std::unique_ptr<LogEntry2>(entry)});
    m_tailBytes += bytes;
    while (m_tailBytes > kTailBytes && m_tail.size() > 1) {
        const LogEntry2& old = *m_tail.front().entry;
        const std::size_t oldBytes = lineBytes(old.tag(), old.text());
        m_tailBytes -= oldBytes;
        m_omittedBytes += oldBytes;
        ++m_omittedLines;
        m_tail.pop_front();
    }
}

void ErrorLog::addMessage(char kind, const char* text) {
    LogEntry2* entry = new (std::nothrow) LogEntry2();
    if (!entry) return;
    entry->setMessage(kind, text);
    const std::size_t bytes = lineBytes(text);
    if (fitsHead(bytes)) appendEntry(entry);
    else addToTail(entry, bytes);
}

void ErrorLog::addKeyValue(const char* key, const char* value) {
    LogEntry2* entry = new (std::nothrow) LogEntry2();
    if (!entry) return;
    entry->setKeyValue(key, value);
    const std::size_t bytes = lineBytes(key, value);
    if (fitsHead(bytes)) appendEntry(entry);
    else addToTail(entry, bytes);
}

void ErrorLog::enterContext(const char* tag) {
    LogEntry2* parent = innermost();
    LogEntry2* entry = new (std::nothrow) LogEntry2();
    if (!entry || !parent) {
        delete entry;
        return;
    }
    entry->setContext(tag);
    const std::size_t bytes = lineBytes(tag);
    if (!fitsHead(bytes)) {
        addToTail(entry, bytes);
        ++m_tailContexts;
        return;
    }
    if (parent->addChild(entry) && !m_stack.add(entry)) parent->pruneEmptyLastChild();
}

void ErrorLog::leaveContext() {
    if (m_tailContexts > 0) {
        --m_tailContexts;
        // A context left empty disappears here as it does in the tree.
        const bool empty = !m_tail.empty() && m_tail.back().entry->kind() == LogEntry2::kContext &&
                           m_tail.back().depth == depth();
        if (empty) {
            m_tailBytes -= lineBytes(m_tail.back().entry->tag());
            m_tail.pop_back();
        }
        return;
    }
    if (m_stack.count() <= 1) return;
    m_stack.pop();
    // The closed context is its parent's last child; under the root an empty one stays.
    if (m_stack.count() > 1) innermost()->pruneEmptyLastChild();
}

std::unique_ptr<LogEntry2> ErrorLog::omissionLine() const {
    if (m_omittedLines == 0) return nullptr;
    std::unique_ptr<LogEntry2> line(new (std::nothrow) LogEntry2());
    if (!line) return nullptr;
    char text[160];
    std::snprintf(text, sizeof text, "Log limit reached: %zu lines (%zu bytes) left out here; the last ones follow",
                  m_omittedLines, m_omittedBytes);
    line->setMessage(LogEntry2::kInfo, text);
    return line;
}

// The tail stands inside the root, after the tree; contexts in it are single lines.
void ErrorLog::renderXml(StringBuffer& out) const {
    LogEntry2* top = root();
    if (!top) return;
    if (m_tail.empty()) return top->renderXml(out);
    out.append("<");
    out.append(top->tag());
    out.append(">\r\n");
    for (int i = 0; i < top->childCount(); ++i) top->child(i)->renderXml(out);
    if (auto line = omissionLine()) line->renderXml(out);
    for (const TailLine& t : m_tail) t.entry->renderXml(out);
    out.append("</");
    out.append(top->tag());
    out.append(">\r\n");
}

void ErrorLog::renderHtml(StringBuffer& out) const {
    LogEntry2* top = root();
    if (!top) return;
    if (m_tail.empty()) return top->renderHtml(out);
    out.append(top->tag());
    out.append(":<blockquote>\r\n");
    for (int i = 0; i < top->childCount(); ++i) top->child(i)->renderHtml(out);
    if (auto line = omissionLine()) line->renderHtml(out);
    for (const TailLine& t : m_tail) t.entry->renderHtml(out);
    out.append("</blockquote>\r\n");
}

void ErrorLog::renderText(StringBuffer& out) const {
    LogEntry2* top = root();
    if (!top) return;
    top->renderText(out, 0);
    if (auto line = omissionLine()) line->renderText(out, 1);
    for (const TailLine& t : m_tail) t.entry->renderText(out, t.depth);
}
