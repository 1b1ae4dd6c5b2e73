// The log tree and the stack of open contexts. No locking: Logger serialises every call.
//
// The log is bounded whatever an archive makes it say: the first kHeadBytes of text stay in
// the tree; after that only the last kTailBytes are kept, as a flat list behind the tree, with
// an information line before it saying how many lines and bytes were left out in between.
#pragma once

#include <cstddef>
#include <deque>
#include <memory>

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

    // Text bytes (keys, values, messages, context names) kept from the start and from the end.
    static constexpr std::size_t kHeadBytes = 2 * 1024 * 1024;
    static constexpr std::size_t kTailBytes = 2 * 1024 * 1024;
    // Lines left out between the two parts so far.
    std::size_t omittedLines() const { return m_omittedLines; }

private:
    struct TailLine {
        int depth;
        std::unique_ptr<LogEntry2> entry;
    };
    // False once the head is full: the entry then goes to the tail (depth below the root).
    bool fitsHead(std::size_t bytes);
    void addToTail(LogEntry2* entry, std::size_t bytes);
    int depth() const;
    // The line that stands for what was left out; null when nothing was.
    std::unique_ptr<LogEntry2> omissionLine() const;

    LogEntry2* innermost() const;
    LogEntry2* root() const;
    void appendEntry(LogEntry2* entry);
    void destroyTree();

    // Non-owning references; element 0 is the root (owned here), the last the innermost context.
    // Empty only while clear() rebuilds it, or when the root could not be allocated.
    ExtPtrArray m_stack;
    std::size_t m_headBytes = 0;
    std::size_t m_tailBytes = 0;
    bool m_headFull = false;
    int m_tailContexts = 0;  // contexts entered since the head filled, still open
    std::deque<TailLine> m_tail;
    std::size_t m_omittedLines = 0;
    std::size_t m_omittedBytes = 0;
};
