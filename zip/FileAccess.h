// Reads byte ranges of one open archive file by 64-bit address. It remembers where the file is
// positioned, so strictly sequential requests cost one read each and no seek.
#pragma once
#include <cstdint>

#include "base/TarnelHandle.h"

class DataBuffer;
class LogBase;

class FileAccess {
public:
    // Searches read the file in chunks of this many bytes.
    static constexpr std::uint32_t kSearchChunk = 20000;

    FileAccess() = default;
    FileAccess(const FileAccess&) = delete;
    FileAccess& operator=(const FileAccess&) = delete;
    virtual ~FileAccess() = default;

    // Opens an existing file for reading (UTF-8 path); closes any file open before.
    bool open(const char* utf8Path, LogBase& log);
    void close();
    bool isOpen() const { return m_handle.isOpen(); }
    // The file's length in bytes, or -1.
    std::int64_t size() { return m_handle.getSize(nullptr); }

    // No platform call when the file is already at the address.
    bool seekTo(std::uint64_t address, LogBase* log);
    // The buffer holds exactly the n bytes at the address, or the call fails with a log line.
    bool readExact(std::uint64_t address, std::uint32_t n, DataBuffer& buffer, LogBase& log);
    // The buffer holds the bytes read, possibly fewer than n (none at the end of the file).
    bool readUpTo(std::uint64_t address, std::uint32_t n, DataBuffer& buffer);
    // Appends up to n bytes at the address to what the buffer already holds (none at the end of
    // the file). Only a failed seek, growth or platform read fails; those go to the log if given.
    bool readMore(std::uint64_t address, std::uint32_t n, DataBuffer& buffer, LogBase* log);
    // Up to n bytes at the address straight into `into`; got says how many (0 at the end of the
    // file). Only a failed seek or platform read fails.
    bool readInto(std::uint64_t address, std::uint8_t* into, std::uint32_t n, std::uint32_t& got, LogBase* log);

    // Finds the next little-endian 32-bit signature at or after the address, moves the address
    // to it and copies its 4 bytes to found. On failure the address is unchanged.
    bool findSignature(std::uint64_t& address, std::uint32_t signature, std::uint8_t found[4]);
    bool findEitherSignature(std::uint64_t& address, std::uint32_t first, std::uint32_t second, std::uint8_t found[4]);

    // Offset of the first position in the bytes where either signature starts, or -1.
    static std::int64_t scanForSignature(const std::uint8_t* bytes, std::uint64_t length, std::uint32_t first,
                                         std::uint32_t second);

private:
    bool read(std::uint64_t address, std::uint32_t n, DataBuffer& buffer, std::uint32_t& got, LogBase* log);
    bool readChunk(std::uint8_t* into, std::uint32_t n, std::uint32_t& got);
    bool search(std::uint64_t& address, std::uint32_t first, std::uint32_t second, std::uint8_t found[4]);

    // Where the next read starts as far as this object knows; kUnknown after a failed read.
    static constexpr std::uint64_t kUnknown = ~std::uint64_t(0);

    TarnelHandle m_handle;
    std::uint64_t m_position = 0;
};
