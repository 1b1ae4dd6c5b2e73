// The log tree and the stack of open contexts. No locking: Logger serialises every call.
#pragma once

#include "base/ExtPtrArray.h"

class LogEntry2;
class StringBuffer;

class ErrorLog {
public:
    ErrorLog();
    ErrorLog(const ErrorLog&) = delete;
    ErrorLog& operator=(const ErrorLog&) = delete;
    ~ErrorLog();

    // Back to a lone root context "TarnelLog".
    void clear();
    void addMessage(char kind, const char* text);
    void addKeyValue(const char* key, const char* value);
    void enterContext(const char* tag);
    // Closes the innermost context; a nested context left empty disappears.
    void leaveContext();

    void renderXml(StringBuffer& out) const;
    void renderHtml(StringBuffer& out) const;
    void renderText(StringBuffer& out) const;

private:
    LogEntry2* innermost() const;
    LogEntry2* root() const;
    void appendEntry(LogEntry2* entry);
    void destroyTree();

    // Non-owning references; element 0 is the root (owned here), the last the innermost context.
    // Empty only while clear() rebuilds it, or when the root could not be allocated.
    ExtPtrArray m_stack;
};
