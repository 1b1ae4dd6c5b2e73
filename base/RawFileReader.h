// Whole-file reading on POSIX for DataBuffer::loadFile, kept to the few calls it needs.
#pragma once
#include <cstdint>

class StringBuffer;

class RawFileReader {
public:
    RawFileReader() = default;
    RawFileReader(const RawFileReader&) = delete;
    RawFileReader& operator=(const RawFileReader&) = delete;
    ~RawFileReader();

    // Opens an existing file (not a directory) for reading; '\' in the path counts as '/'.
    bool open(const char* utf8Path);
    bool size(std::uint64_t& out) const;
    // Reads until n bytes arrived or the file ends; returns the count, or -1 on an error.
    std::int64_t read(void* into, std::uint32_t n);
    // The process's current directory, or nothing when it cannot be read.
    static void currentDir(StringBuffer& out);

private:
    int m_fd = -1;
};
