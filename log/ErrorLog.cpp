// ErrorLog: the tree's root, the context stack and the rule that prunes empty nested contexts.
#include "log/ErrorLog.h"

#include <new>

#include "base/StringBuffer.h"
#include "log/LogEntry2.h"

namespace {
const char* const kRootTag = "TarnelLog";
}

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

void ErrorLog::addMessage(char kind, const char* text) {
    LogEntry2* entry = new (std::nothrow) LogEntry2();
    if (!entry) return;
    entry->setMessage(kind, text);
    appendEntry(entry);
}

void ErrorLog::addKeyValue(const char* key, const char* value) {
    LogEntry2* entry = new (std::nothrow) LogEntry2();
    if (!entry) return;
    entry->setKeyValue(key, value);
    appendEntry(entry);
}

void ErrorLog::enterContext(const char* tag) {
    LogEntry2* parent = innermost();
    LogEntry2* entry = new (std::nothrow) LogEntry2();
    if (!entry || !parent) {
        delete entry;
        return;
    }
    entry->setContext(tag);
    if (parent->addChild(entry) && !m_stack.add(entry)) parent->pruneEmptyLastChild();
}

void ErrorLog::leaveContext() {
    if (m_stack.count() <= 1) return;
    m_stack.pop();
    // The closed context is its parent's last child; under the root an empty one stays.
    if (m_stack.count() > 1) innermost()->pruneEmptyLastChild();
}

void ErrorLog::renderXml(StringBuffer& out) const {
    if (root()) root()->renderXml(out);
}

void ErrorLog::renderHtml(StringBuffer& out) const {
    if (root()) root()->renderHtml(out);
}

void ErrorLog::renderText(StringBuffer& out) const {
    if (root()) root()->renderText(out, 0);
}
