// A growable 8-bit text, always followed by a zero byte. Not synchronised.
#pragma once
#include <cstdint>

#include "base/TarnelObject.h"

class DataBuffer;

class StringBuffer : public TarnelObject {
public:
    StringBuffer();
    explicit StringBuffer(const char* text);
    StringBuffer(const StringBuffer& other);
    // Starts with `capacity` bytes and grows by that much (200 when capacity <= 0).
    explicit StringBuffer(int capacity, bool /*withCapacity*/);
    StringBuffer& operator=(const StringBuffer& other);
    ~StringBuffer() override;

    // Growth and storage.
    bool ensureRoom(int n);
    void shrinkToFit();
    // Moves the other's storage here without copying when it holds a terminated text of at
    // least one character; a borrowed or unterminated block is copied instead.
    bool takeData(DataBuffer& other);

    // Editing. Text arguments are zero-terminated; null text is ignored. Arguments may point
    // into this buffer.
    bool append(const char* text);
    bool appendBytes(const void* bytes, int n);
    bool appendChar(char c);
    bool appendCharRepeated(char c, int n);
    bool appendBuffer(const StringBuffer& other);
    bool prepend(const char* text);
    bool setString(const char* text);
    bool setFrom(const StringBuffer& other);
    void clear();
    void wipe();
    void trim();
    void dropLast(int n);
    void truncateAtChar(char c);
    void removeChar(char c);
    void replaceChar(char from, char to);
    bool replaceFirst(const char* pattern, const char* replacement);
    int replaceAll(const char* pattern, const char* replacement);
    void removeWildcardChars();
    // Drops every C0 control character and DEL, which a terminal would act on in a file name.
    // A NUL stays: it ends the name wherever the text is taken as a C string, as the peers end it.
    void removeControlChars();
    void keepFileName();
    void toLowerLatin();
    void escapeXml();
    bool appendHex(const void* bytes, int n);
    bool appendSystemMessage(int errorCode);
    bool appendLastError();
    // Replaces the content by its conversion; an unsupported page leaves the buffer empty.
    bool convertCodePage(int fromCodePage, int toCodePage);

    // Queries.
    int length() const;
    const char* text() const;
    char lastChar() const;
    char charAt(int i) const;
    bool containsChar(char c) const;
    bool beginsWith(const char* prefix) const;
    bool endsWith(const char* suffix) const;
    bool equals(const char* text) const;
    bool equalsBuffer(const StringBuffer& other) const;
    bool isSevenBit(int n = 0) const;

    int capacity() const;
    int growth() const;
    std::uint8_t tag() const;
    void setTag(std::uint8_t tag);

private:
    // How an append sizes a new block: text appends keep one more byte than byte appends.
    enum class Grow { Text, Bytes };

    void check() const;
    bool isStatic() const;
    void setLength(int n);
    bool allocateInitial(int capacity);
    bool appendRaw(const void* bytes, int n, Grow kind);
    bool reallocate(std::int64_t newCapacity, const void* extra, int n);
    bool replaceSpan(int at, int removed, const char* replacement, int n);
    int find(const char* pattern, int patternLength, int from) const;

    std::uint8_t m_marker;
    std::uint8_t m_tag;
    char* m_data;
    std::int32_t m_capacity;
    std::int32_t m_length;
    std::int32_t m_growth;
};
