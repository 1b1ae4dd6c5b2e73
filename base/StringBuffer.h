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
    explicit StringBuffer(int capacity, bool /*withCapacity*/);
    StringBuffer& operator=(const StringBuffer& other);
    ~StringBuffer() override;

    // Growth and storage.
    bool ensureRoom(int n);
    void shrinkToFit();
    void takeData(DataBuffer& other);

    // Editing. Text arguments are zero-terminated; null text is ignored.
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
    void keepFileName();
    void toLowerLatin();
    void escapeXml();
    bool appendHex(const void* bytes, int n);
    bool appendSystemMessage(int errorCode);
    bool appendLastError();
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
    void check() const;
    bool grow(int n, bool forText);

    std::uint8_t m_marker;
    std::uint8_t m_tag;
    char* m_data;
    std::int32_t m_capacity;
    std::int32_t m_length;
    std::int32_t m_growth;
};
