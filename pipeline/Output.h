// Where decoded bytes finally land. Writes count items of a given size; a result below the item
// count asked for is a failure. The base writes nothing and claims success, like a null device.
#pragma once
#include <cstdint>

class DataBuffer;
class LogBase;
class StringBuffer;

class Output {
public:
    Output() = default;
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    // Items written. Null bytes, a size of 0 or a count of 0 write nothing and return 0.
    virtual std::uint32_t write(const void* bytes, std::uint32_t itemSize, std::uint32_t count, LogBase* log);
    virtual std::uint32_t write64(const void* bytes, std::uint64_t itemSize, std::uint32_t count, LogBase* log);
    virtual ~Output() = default;
    virtual bool seekToEnd(LogBase* /*log*/) { return true; }
    virtual bool seek(std::uint64_t /*position*/, LogBase* /*log*/) { return true; }
    virtual std::uint64_t position() { return 0; }
    virtual bool rewind(LogBase* /*log*/) { return true; }
    // Fills text with what this output is, for logs.
    virtual void describe(StringBuffer& text);
    virtual void copyDataTo(DataBuffer& /*target*/) {}
    // The attached memory, or null for outputs that are not in memory.
    virtual DataBuffer* dataBuffer() { return nullptr; }
    virtual bool hasFailed() { return false; }
    virtual void flushOutput() {}
    virtual bool reserve(std::uint64_t /*bytes*/) { return true; }
};
