// DataBuffer: growth, ownership moves, byte-level edits and whole-file loading.
#include "base/DataBuffer.h"

#include <cstdlib>
#include <cstring>
#include <random>
#include <utility>

#include "base/FileOpen.h"
#include "base/FilePaths.h"
#include "base/TarnelHandle.h"
#include "base/StringBuffer.h"
#include "log/LogBase.h"
#include "log/LogReject.h"

namespace {

constexpr std::uint8_t kLiveMarker = 0xDB;
constexpr std::uint64_t kMaxCapacity = 0xFFFFFFFFu;

// Extra room that `append` adds beyond what it needs, stepped by the current size.
std::uint32_t growthStep(std::uint32_t size) {
    static const std::uint32_t kSteps[] = {12000000, 8000000, 4000000, 3000000, 2000000, 1000000, 100000, 50000};
    for (std::uint32_t step : kSteps) {
        if (size >= step) return step;
    }
    return 20000;
}

std::uint8_t randomByte() {
    thread_local std::minstd_rand generator{std::random_device{}()};
    return static_cast<std::uint8_t>(generator() & 0xFF);
}

}  // namespace

DataBuffer::DataBuffer() : m_marker(kLiveMarker), m_borrowed(0), m_data(nullptr), m_size(0), m_capacity(0) {}

DataBuffer::DataBuffer(std::uint32_t capacity) : DataBuffer() {
    if (capacity == 0) return;
    m_data = static_cast<std::uint8_t*>(std::calloc(capacity, 1));
    if (m_data != nullptr) m_capacity = capacity;
}

DataBuffer::~DataBuffer() {
    check();
    release();
    // Volatile: a plain store to a dying object may be optimised away.
    *static_cast<volatile std::uint8_t*>(&m_marker) = 0;
}

void DataBuffer::check() const {
    if (m_marker != kLiveMarker) std::abort();
}

void DataBuffer::release() {
    if (m_borrowed == 0) std::free(m_data);
    m_data = nullptr;
    m_size = 0;
    m_capacity = 0;
    m_borrowed = 0;
}

// Moves the content into an owned block of newCapacity bytes and copies n bytes of `extra`
// after it (the size is left to the caller). The old block is freed last, so `extra` may lie
// in it. On failure the buffer is emptied.
bool DataBuffer::reallocate(std::uint64_t newCapacity, const void* extra, std::uint32_t n) {
    auto* block = newCapacity > kMaxCapacity ? nullptr
                                             : static_cast<std::uint8_t*>(std::malloc(newCapacity ? newCapacity : 1));
    if (block == nullptr) {
        release();
        return false;
    }
    if (m_size > 0) std::memcpy(block, m_data, m_size);
    if (n > 0) std::memcpy(block + m_size, extra, n);
    if (m_borrowed == 0) std::free(m_data);
    m_data = block;
    m_capacity = static_cast<std::uint32_t>(newCapacity);
    m_borrowed = 0;
    return true;
}

// Appends n bytes, moving to a block of grownCapacity bytes when they do not fit.
bool DataBuffer::appendGrowing(const void* bytes, std::uint32_t n, std::uint64_t grownCapacity) {
    std::uint64_t needed = static_cast<std::uint64_t>(m_size) + n;
    if (needed > kMaxCapacity) return false;
    if (needed <= m_capacity) {
        std::memmove(m_data + m_size, bytes, n);
    } else if (!reallocate(grownCapacity < kMaxCapacity ? grownCapacity : kMaxCapacity, bytes, n)) {
        return false;
    }
    m_size = static_cast<std::uint32_t>(needed);
    return true;
}

bool DataBuffer::append(const void* bytes, std::uint32_t n) {
    check();
    if (bytes == nullptr || n == 0) return true;
    std::uint32_t step = growthStep(m_size);
    return appendGrowing(bytes, n, static_cast<std::uint64_t>(m_size) + (n > step ? n : step));
}

bool DataBuffer::appendExact(const void* bytes, std::uint32_t n) {
    check();
    if (bytes == nullptr || n == 0) return true;
    return appendGrowing(bytes, n, static_cast<std::uint64_t>(m_size) + n);
}

bool DataBuffer::appendByte(std::uint8_t b) {
    check();
    if (m_size == kMaxCapacity) return false;
    if (m_size >= m_capacity &&
        !reallocate(static_cast<std::uint64_t>(m_size) + 10000 < kMaxCapacity ? m_size + 10000 : kMaxCapacity)) {
        return false;
    }
    m_data[m_size++] = b;
    return true;
}

bool DataBuffer::appendBuffer(const DataBuffer& other) {
    check();
    other.check();
    return append(other.m_data, other.m_size);
}

bool DataBuffer::appendWide(const char16_t* text) {
    check();
    static const char16_t kTerminator = 0;
    if (text == nullptr) return append(&kTerminator, 2);
    std::uint64_t units = 0;
    while (text[units] != 0) ++units;
    if ((units + 1) * 2 > kMaxCapacity) return false;
    return append(text, static_cast<std::uint32_t>((units + 1) * 2));
}

int DataBuffer::appendUtf8Unit(std::uint16_t unit) {
    check();
    std::uint8_t out[3];
    std::uint32_t n = 0;
    if (unit < 0x80) {
        out[n++] = static_cast<std::uint8_t>(unit);
    } else if (unit < 0x800) {
        out[n++] = static_cast<std::uint8_t>(0xC0 | (unit >> 6));
        out[n++] = static_cast<std::uint8_t>(0x80 | (unit & 0x3F));
    } else {
        out[n++] = static_cast<std::uint8_t>(0xE0 | (unit >> 12));
        out[n++] = static_cast<std::uint8_t>(0x80 | ((unit >> 6) & 0x3F));
        out[n++] = static_cast<std::uint8_t>(0x80 | (unit & 0x3F));
    }
    std::uint64_t needed = static_cast<std::uint64_t>(m_size) + n;
    if (needed > kMaxCapacity) return 0;
    if (needed > m_capacity && !reallocate(m_size + 20000 < kMaxCapacity ? m_size + 20000 : kMaxCapacity)) return 0;
    std::memcpy(m_data + m_size, out, n);
    m_size += n;
    return static_cast<int>(n);
}

bool DataBuffer::ensureCapacity(std::uint32_t n) {
    check();
    if (m_capacity < n) reallocate(n);
    return m_data != nullptr;
}

void DataBuffer::shrink() {
    check();
    if (static_cast<std::uint64_t>(m_size) + 4 < m_capacity) reallocate(m_size + 4);
}

void DataBuffer::clear() {
    check();
    m_size = 0;
}

void DataBuffer::setSize(std::uint32_t n) {
    check();
    m_size = n < m_capacity ? n : m_capacity;
}

void DataBuffer::dropLast(std::uint32_t n) {
    check();
    m_size -= n < m_size ? n : m_size;
}

std::uint8_t* DataBuffer::byteAt(std::uint32_t i) {
    check();
    return i < m_size ? m_data + i : nullptr;
}

void DataBuffer::borrow(void* memory, std::uint32_t n) {
    adopt(memory, n);
    m_borrowed = memory != nullptr ? 1 : 0;
}

void DataBuffer::adopt(void* memory, std::uint32_t n) {
    check();
    if (memory == m_data && memory != nullptr) m_borrowed = 0;  // keep, don't free, our own block
    else release();
    m_data = static_cast<std::uint8_t*>(memory);
    m_size = m_capacity = memory != nullptr ? n : 0;
}

void DataBuffer::takeFrom(DataBuffer* other) {
    check();
    if (other == nullptr) {
        clear();
        return;
    }
    other->check();
    if (other == this) return;
    release();
    m_data = other->m_data;
    m_size = other->m_size;
    m_capacity = other->m_capacity;
    m_borrowed = other->m_borrowed;
    other->detach();
}

void DataBuffer::detach() {
    check();
    m_data = nullptr;
    m_size = 0;
    m_capacity = 0;
    m_borrowed = 0;
}

void DataBuffer::replaceWideChar(std::uint16_t from, std::uint16_t to) {
    check();
    if (from == 0 || to == 0) return;
    for (std::uint32_t i = 0; i + 1 < m_size; i += 2) {
        std::uint16_t unit;
        std::memcpy(&unit, m_data + i, 2);
        if (unit == from) std::memcpy(m_data + i, &to, 2);
    }
}

void DataBuffer::swapBytes32() {
    check();
    std::uint32_t i = 0;
    for (; i + 4 <= m_size; i += 4) {
        std::swap(m_data[i], m_data[i + 3]);
        std::swap(m_data[i + 1], m_data[i + 2]);
    }
    std::uint32_t tail = m_size - i;
    if (tail == 2) std::swap(m_data[i], m_data[i + 1]);
    if (tail == 3) std::swap(m_data[i], m_data[i + 2]);
}

bool DataBuffer::pad(int scheme, int blockSize) {
    check();
    std::uint32_t block = blockSize == 8 ? 8 : 16;
    std::uint32_t n = block - m_size % block;
    bool aligned = n == block;
    std::uint8_t bytes[16];
    switch (scheme) {
        case 0: std::memset(bytes, static_cast<int>(n), n); break;
        case 1:
            for (std::uint32_t i = 0; i + 1 < n; ++i) bytes[i] = randomByte();
            bytes[n - 1] = static_cast<std::uint8_t>(n);
            break;
        case 2:
            for (std::uint32_t i = 0; i < n; ++i) bytes[i] = randomByte();
            break;
        case 3: std::memset(bytes, 0, n); break;
        case 4: std::memset(bytes, ' ', n); break;
        default: return false;
    }
    if (aligned && scheme >= 2) return true;
    return append(bytes, n);
}

void DataBuffer::unpad(int scheme) {
    check();
    if ((scheme != 0 && scheme != 1) || m_size == 0) return;
    dropLast(m_data[m_size - 1]);
}

bool DataBuffer::loadFile(const char* utf8Path, LogBase& log) {
    check();
    release();
    TarnelHandle file;
    int reason = 0;
    if (!openForRead(utf8Path, file, reason, &log)) return false;
    const std::int64_t size = file.getSize(&log);
    if (size < 0) return false;
    // The content is followed by four zero bytes, so the whole must fit a 32-bit capacity.
    if (static_cast<std::uint64_t>(size) > kMaxCapacity - 4)
        return rejectWith(log, "Out of memory for data buffer", "fileSize", size);
    if (size == 0) return true;
    m_data = static_cast<std::uint8_t*>(std::calloc(static_cast<std::size_t>(size) + 4, 1));
    if (m_data == nullptr) return rejectWith(log, "Out of memory", "fileSize", size);
    m_capacity = static_cast<std::uint32_t>(size + 4);
    return readWhole(file, utf8Path, static_cast<std::uint32_t>(size), log);
}

// Fills the freshly allocated storage with exactly `size` bytes of the open file.
bool DataBuffer::readWhole(TarnelHandle& file, const char* utf8Path, std::uint32_t size, LogBase& log) {
    std::uint32_t got = 0;
    bool endOfFile = false;
    while (got < size) {
        std::uint32_t n = 0;
        if (!file.read(m_data + got, size - got, n, endOfFile, nullptr)) {
            log.logData("filename", utf8Path);
            log.logData("current_dir", getCurrentDir().c_str());
            release();
            return false;
        }
        if (n == 0) break;
        got += n;
    }
    if (got != size) {
        release();
        return rejectWith(log, "Failed to read the entire file");
    }
    m_size = size;
    return true;
}

std::uint8_t* DataBuffer::data() {
    check();
    return m_data;
}

const std::uint8_t* DataBuffer::data() const {
    check();
    return m_data;
}

std::uint32_t DataBuffer::size() const {
    check();
    return m_size;
}

std::uint32_t DataBuffer::capacity() const {
    check();
    return m_capacity;
}

bool DataBuffer::isBorrowed() const {
    check();
    return m_borrowed != 0;
}
