// A growable byte block that may own or merely borrow its storage. Not terminated, not synchronised.
#pragma once
#include <cstdint>

#include "base/TarnelObject.h"

class LogBase;

class DataBuffer : public TarnelObject {
public:
    DataBuffer();
    explicit DataBuffer(std::uint32_t capacity);
    DataBuffer(const DataBuffer&) = delete;
    DataBuffer& operator=(const DataBuffer&) = delete;
    ~DataBuffer() override;

    bool append(const void* bytes, std::uint32_t n);
    bool appendExact(const void* bytes, std::uint32_t n);
    bool appendByte(std::uint8_t b);
    bool appendBuffer(const DataBuffer& other);
    bool appendWide(const char16_t* text);
    int appendUtf8Unit(std::uint16_t unit);

    bool ensureCapacity(std::uint32_t n);
    void shrink();
    void clear();
    void setSize(std::uint32_t n);
    void dropLast(std::uint32_t n);
    std::uint8_t* byteAt(std::uint32_t i);

    // Storage ownership moves only through these.
    void borrow(void* memory, std::uint32_t n);
    void adopt(void* memory, std::uint32_t n);
    void takeFrom(DataBuffer* other);
    void detach();

    void replaceWideChar(std::uint16_t from, std::uint16_t to);
    void swapBytes32();
    bool pad(int scheme, int blockSize);
    void unpad(int scheme);
    bool loadFile(const char* utf8Path, LogBase& log);

    std::uint8_t* data();
    const std::uint8_t* data() const;
    std::uint32_t size() const;
    std::uint32_t capacity() const;
    bool isBorrowed() const;

private:
    void check() const;
    bool reallocate(std::uint32_t newCapacity);
    void release();

    std::uint8_t m_marker;
    std::uint8_t m_borrowed;
    std::uint8_t* m_data;
    std::uint32_t m_size;
    std::uint32_t m_capacity;
};
