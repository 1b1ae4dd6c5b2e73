// Window and block requests of MemoryData.
#include "zip/MemoryData.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "log/LogReject.h"
#include "zip/MemoryArchives.h"

MemoryData::~MemoryData() { releaseBlock(); }

void MemoryData::releaseBlock() {
    if (m_ownsBlock) std::free(m_block);
    m_block = nullptr;
    m_blockLength = 0;
}

bool MemoryData::openFile(const char* utf8Path, LogBase& log) {
    const std::uint8_t* block = nullptr;
    std::uint32_t length = 0;
    if (MemoryArchives::find(utf8Path, block, length)) {
        setMemory(const_cast<std::uint8_t*>(block), length, false);  // borrowed, only ever read
        m_path.setString(utf8Path);
        return true;
    }
    if (!m_file.open(utf8Path, log)) return false;
    m_fileBacked = 1;
    m_windowSize = 0;
    m_path.setString(utf8Path);
    return true;
}

void MemoryData::setMemory(std::uint8_t* block, std::uint32_t length, bool owns) {
    releaseBlock();
    m_block = block;
    m_blockLength = length;
    m_ownsBlock = owns ? 1 : 0;
}

void MemoryData::reset() {
    if (m_fileBacked) m_file.close();
    releaseBlock();
    m_ownsBlock = 1;
    m_window.clear();
    m_windowAddress = 0;
    m_windowSize = 0;
}

bool MemoryData::windowCovers(std::uint64_t address, std::uint32_t n) const {
    return address >= m_windowAddress && address - m_windowAddress <= m_windowSize &&
           n <= m_windowSize - (address - m_windowAddress);
}

// Makes the window start at the address with up to max(n, kReadAhead) bytes. Bytes of the old
// window at and after the address are moved to the front and the read continues behind them.
// The window may end up shorter than n at the end of the file; false only when the read fails,
// and then the window is invalid.
bool MemoryData::fillWindow(std::uint64_t address, std::uint32_t n, LogBase* log) {
    const std::uint32_t want = n > kReadAhead ? n : kReadAhead;
    std::uint32_t kept = 0;
    if (m_windowSize != 0 && address >= m_windowAddress && address - m_windowAddress <= m_windowSize) {
        const std::uint32_t skip = std::uint32_t(address - m_windowAddress);
        kept = m_windowSize - skip;
        if (kept != 0 && skip != 0) std::memmove(m_window.data(), m_window.data() + skip, kept);
    }
    m_windowSize = 0;
    m_window.setSize(kept);
    if (!m_file.readMore(address + kept, want - kept, m_window, log)) return false;
    m_windowAddress = address;
    m_windowSize = m_window.size();
    return true;
}

const std::uint8_t* MemoryData::getData(std::uint64_t address, std::uint32_t n, LogBase& log) {
    if (!m_fileBacked) return blockData(address, n, log);
    if (!windowCovers(address, n)) {
        if (!fillWindow(address, n, &log)) return nullptr;
        if (m_windowSize < n) {
            m_windowSize = 0;
            rejectWith(&log, "File access error: did not read full requested amount of data.");
            return nullptr;
        }
    }
    return m_window.data() + (address - m_windowAddress);
}

const std::uint8_t* MemoryData::getDataUpTo(std::uint64_t address, std::uint32_t n, std::uint32_t& available) {
    available = 0;
    if (!m_fileBacked) {
        if (address >= m_blockLength) return nullptr;
        std::uint64_t rest = m_blockLength - address;
        available = rest < n ? std::uint32_t(rest) : n;
        return m_block + address;
    }
    if (!windowCovers(address, n) && !fillWindow(address, n, nullptr)) return nullptr;
    const std::uint32_t rest = m_windowSize - std::uint32_t(address - m_windowAddress);
    available = rest < n ? rest : n;
    return m_window.data() + (address - m_windowAddress);
}

bool MemoryData::copyOut(std::uint64_t address, std::uint8_t* into, std::uint32_t n, std::uint32_t& got) {
    got = 0;
    if (m_fileBacked) {
        const bool inWindow = address >= m_windowAddress && address - m_windowAddress < m_windowSize;
        if (!inWindow && n >= kReadAhead) return m_file.readInto(address, into, n, got, nullptr) && got != 0;
        // What the window holds, without growing it: the rest comes with the next request.
        if (inWindow) n = std::min(n, m_windowSize - std::uint32_t(address - m_windowAddress));
    }
    std::uint32_t available = 0;
    const std::uint8_t* bytes = getDataUpTo(address, n, available);
    if (!bytes || available == 0) return false;
    std::memcpy(into, bytes, available);
    got = available;
    return true;
}

const std::uint8_t* MemoryData::blockData(std::uint64_t address, std::uint32_t n, LogBase& log) {
    if (address >= m_blockLength) {
        log.logError("Address is beyond data length");
        log.logDataInt64("addr64", std::int64_t(address));
        log.logDataInt64("dataLen", std::int64_t(m_blockLength));
        return nullptr;
    }
    if (m_blockLength - address < n) {
        rejectWith(&log, "Not enough bytes remaining to fulfill memory-data request.");
        return nullptr;
    }
    return m_block + address;
}

const std::uint8_t* MemoryData::findSignature(std::uint64_t& address, std::uint32_t signature) {
    return findEitherSignature(address, signature, signature);
}

const std::uint8_t* MemoryData::findEitherSignature(std::uint64_t& address, std::uint32_t first, std::uint32_t second) {
    return m_fileBacked ? fileSearch(address, first, second) : blockSearch(address, first, second);
}

const std::uint8_t* MemoryData::blockSearch(std::uint64_t& address, std::uint32_t first, std::uint32_t second) {
    if (address >= m_blockLength) return nullptr;
    std::int64_t match = FileAccess::scanForSignature(m_block + address, m_blockLength - address, first, second);
    if (match < 0) return nullptr;
    address += std::uint64_t(match);
    return m_block + address;
}

// The window's bytes are searched first; the file search goes on behind them (from the last 3,
// which may begin a signature the file completes). A match found there becomes the window, so
// that reading the record at the match starts from its bytes.
const std::uint8_t* MemoryData::fileSearch(std::uint64_t& address, std::uint32_t first, std::uint32_t second) {
    std::uint64_t at = address;
    if (m_windowSize != 0 && address >= m_windowAddress && address - m_windowAddress < m_windowSize) {
        const std::uint32_t skip = std::uint32_t(address - m_windowAddress);
        const std::uint32_t rest = m_windowSize - skip;
        std::int64_t match = FileAccess::scanForSignature(m_window.data() + skip, rest, first, second);
        if (match >= 0) {
            address += std::uint64_t(match);
            return m_window.data() + skip + match;
        }
        at = m_windowAddress + m_windowSize - (rest < 3 ? rest : 3);
    }
    std::uint8_t found[4];
    if (!m_file.findEitherSignature(at, first, second, found)) return nullptr;
    m_windowSize = 0;
    m_window.clear();
    if (!m_window.append(found, 4)) return nullptr;
    address = at;
    m_windowAddress = at;
    m_windowSize = 4;
    return m_window.data();
}
