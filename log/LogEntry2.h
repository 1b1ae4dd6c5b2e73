// One node of the log tree: a context with children, a key/value pair, or a message line.
#pragma once

#include "base/TarnelObject.h"

class ExtPtrArray;
class StringBuffer;

class LogEntry2 : public TarnelObject {
public:
    static constexpr char kContext = 'C';
    static constexpr char kKeyValue = 'T';
    static constexpr char kError = 'E';
    static constexpr char kInfo = 'I';
    static constexpr char kRaw = 'X';

    LogEntry2();
    LogEntry2(const LogEntry2&) = delete;
    LogEntry2& operator=(const LogEntry2&) = delete;
    ~LogEntry2() override;

    // A context drops former children and text and gets an empty children list.
    void setContext(const char* tag);
    // Error, information or raw: drops tag and text, keeps the new text.
    void setMessage(char kind, const char* text);
    // Key/value: replaces tag and text, leaves any children alone.
    void setKeyValue(const char* key, const char* value);

    // Takes ownership of child; when it cannot be stored the child is destroyed and false returned.
    bool addChild(LogEntry2* child);
    // Removes and destroys the last child when it is a context without children.
    void pruneEmptyLastChild();

    char kind() const { return m_kind; }
    int childCount() const;
    LogEntry2* child(int i) const;
    const char* tag() const;
    const char* text() const;

    void renderXml(StringBuffer& out) const;
    void renderHtml(StringBuffer& out) const;
    void renderText(StringBuffer& out, int depth) const;

private:
    void dropChildren();
    static StringBuffer* copyOf(const char* text);

    ExtPtrArray* m_children;  // owning; only context nodes have one
    char m_kind;
    StringBuffer* m_tag;   // context name or key
    StringBuffer* m_text;  // message or value
};
