// Byte ranges of an archive by 64-bit address: from a file through a read-ahead window (the way
// the archive object always uses it), or from a memory block.
//
// A returned pointer stays valid only until the next request on the same object. A request that
// lies inside the window costs no platform call. A request the window does not cover reads at
// least kReadAhead bytes; when it starts inside the window, the bytes it shares are kept and the
// read continues where the window ends, so sequential requests cost no seek.
#pragma once
#include <cstdint>

#include "base/DataBuffer.h"
#include "base/StringBuffer.h"
#include "base/TarnelObject.h"
#include "zip/FileAccess.h"

class LogBase;

class MemoryData : public TarnelObject {
public:
    // Smallest platform read a window miss makes; larger requests read exactly their count.
    static constexpr std::uint32_t kReadAhead = 256 * 1024;

    MemoryData() = default;
    MemoryData(const MemoryData&) = delete;
    MemoryData& operator=(const MemoryData&) = delete;
    ~MemoryData() override;

    // Makes the object file-backed for the rest of its life; the path is its key in a pool. The
    // name of a registered memory archive (MemoryArchives) serves that block instead.
    bool openFile(const char* utf8Path, LogBase& log);
    // Serves requests from a block instead; an owned block is released with std::free.
    void setMemory(std::uint8_t* block, std::uint32_t length, bool owns);

    // Exactly n bytes at the address, or null.
    const std::uint8_t* getData(std::uint64_t address, std::uint32_t n, LogBase& log);
    // Up to n bytes at the address, available says how many; null when none.
    const std::uint8_t* getDataUpTo(std::uint64_t address, std::uint32_t n, std::uint32_t& available);
    // Copies up to n bytes at the address into `into`; got says how many. A request starting in
    // the window gets what the window holds; one of kReadAhead bytes or more starting outside it
    // is read straight into `into`, so large sequential reads are not copied twice, and the window
    // stays as it was. False when nothing arrived: a failed read, or the address at or past the end.
    bool copyOut(std::uint64_t address, std::uint8_t* into, std::uint32_t n, std::uint32_t& got);
    // The 4 bytes of the next match at or after the address, which moves to it; null when none,
    // the address then unchanged.
    const std::uint8_t* findSignature(std::uint64_t& address, std::uint32_t signature);
    const std::uint8_t* findEitherSignature(std::uint64_t& address, std::uint32_t first, std::uint32_t second);

    // Bytes of the file or the block; -1 when the file's length cannot be read.
    std::int64_t size() { return m_fileBacked ? m_file.size() : std::int64_t(m_blockLength); }

    // Closes the file, releases an owned block and empties the window.
    void reset();

    bool isFileBacked() const { return m_fileBacked != 0; }
    const StringBuffer& path() const { return m_path; }

private:
    const std::uint8_t* blockData(std::uint64_t address, std::uint32_t n, LogBase& log);
    const std::uint8_t* blockSearch(std::uint64_t& address, std::uint32_t first, std::uint32_t second);
    const std::uint8_t* fileSearch(std::uint64_t& address, std::uint32_t first, std::uint32_t second);
    bool windowCovers(std::uint64_t address, std::uint32_t n) const;
    bool fillWindow(std::uint64_t address, std::uint32_t n, LogBase* log);
    void releaseBlock();

    std::uint8_t m_fileBacked = 0;
    std::uint8_t m_ownsBlock = 1;
    std::uint8_t* m_block = nullptr;
    std::uint32_t m_blockLength = 0;
    // A range of the file held in m_window; size 0 means no valid window.
    std::uint64_t m_windowAddress = 0;
    std::uint32_t m_windowSize = 0;
    DataBuffer m_window;
    StringBuffer m_path;
    FileAccess m_file;
};
