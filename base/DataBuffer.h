// A growable byte block that may own or merely borrow its storage. Not terminated, not synchronised.
#pragma once
#include <cstdint>

#include "base/TarnelObject.h"

class LogBase;
class TarnelHandle;

class DataBuffer : public TarnelObject {
public:
    DataBuffer();
    // Starts with `capacity` zero-filled bytes of storage and size 0.
    explicit DataBuffer(std::uint32_t capacity);
    DataBuffer(const DataBuffer&) = delete;
    DataBuffer& operator=(const DataBuffer&) = delete;
    ~DataBuffer() override;

    // Appends may take their bytes from this buffer itself. A failed growth empties the buffer.
    bool append(const void* bytes, std::uint32_t n);
    bool appendExact(const void* bytes, std::uint32_t n);
    bool appendByte(std::uint8_t b);
    bool appendBuffer(const DataBuffer& other);
    // The text's code units (native order) and its two-byte terminator; null gives the terminator.
    bool appendWide(const char16_t* text);
    // One UTF-16 code unit as 1 to 3 bytes of UTF-8; returns the byte count, 0 on failure.
    int appendUtf8Unit(std::uint16_t unit);

    bool ensureCapacity(std::uint32_t n);
    void shrink();
    void clear();
    void setSize(std::uint32_t n);
    void dropLast(std::uint32_t n);
    std::uint8_t* byteAt(std::uint32_t i);

    // Storage ownership moves only through these. A borrowed block must outlive the buffer
    // (or its first growth, which copies it); an adopted block must come from malloc.
    void borrow(void* memory, std::uint32_t n);
    void adopt(void* memory, std::uint32_t n);
    void takeFrom(DataBuffer* other);
    void detach();

    void replaceWideChar(std::uint16_t from, std::uint16_t to);
    void swapBytes32();
    // Schemes 0 to 4 (value bytes, random + count, random, zeros, spaces); block size 8 or 16.
    bool pad(int scheme, int blockSize);
    void unpad(int scheme);
    // Replaces the content by the whole file, followed in storage by four zero bytes.
    bool loadFile(const char* utf8Path, LogBase& log);

    std::uint8_t* data();
    const std::uint8_t* data() const;
    std::uint32_t size() const;
    std::uint32_t capacity() const;
    bool isBorrowed() const;

private:
    void check() const;
    bool reallocate(std::uint64_t newCapacity, const void* extra = nullptr, std::uint32_t n = 0);
    void release();
    bool readWhole(TarnelHandle& file, const char* utf8Path, std::uint32_t size, LogBase& log);
    bool appendGrowing(const void* bytes, std::uint32_t n, std::uint64_t grownCapacity);

    std::uint8_t m_marker;
    std::uint8_t m_borrowed;
    std::uint8_t* m_data;
    std::uint32_t m_size;
    std::uint32_t m_capacity;
};
