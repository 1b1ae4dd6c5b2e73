// Test doubles for the pipeline: an awkward source and a sink with little room.
#pragma once
#include <algorithm>
#include <cstring>
#include <vector>

#include "pipeline/DataSink.h"
#include "pipeline/DataSource.h"

// Delivers at most chunk bytes per call; fails the read that would pass failAt.
class ChunkySource : public DataSource {
public:
    ChunkySource(std::vector<std::uint8_t> data, std::uint32_t chunk, size_t failAt = SIZE_MAX)
        : m_data(std::move(data)), m_chunk(chunk), m_failAt(failAt) {}
    bool getNextChunk(std::uint8_t* buffer, std::uint32_t capacity, std::uint32_t& count, LogBase* log) override {
        count = static_cast<std::uint32_t>(std::min<size_t>({capacity, m_chunk, m_data.size() - m_pos}));
        if (m_pos + count > m_failAt) return count = 0, false;
        if (count) std::memcpy(buffer, m_data.data() + m_pos, count);
        m_pos += count;
        return countDelivered(count, log);
    }
    bool endOfStream() override { return m_pos >= m_data.size(); }

private:
    std::vector<std::uint8_t> m_data;
    size_t m_pos = 0;
    std::uint32_t m_chunk;
    size_t m_failAt;
};

// Keeps everything, but offers only room bytes per write (0: never any room).
class NarrowSink : public DataSink {
public:
    explicit NarrowSink(std::uint32_t room) : m_room(room) {}
    bool write(const std::uint8_t* bytes, std::uint32_t n) override {
        if (n > m_room) return false;
        received.insert(received.end(), bytes, bytes + n);
        ++writes;
        return true;
    }
    bool spaceAvailable(std::uint32_t& count) override {
        count = m_room;
        return m_room > 0;
    }
    std::vector<std::uint8_t> received;
    int writes = 0;

private:
    std::uint32_t m_room;
};

// Deterministic bytes that are not periodic in any small chunk size.
inline std::vector<std::uint8_t> patternBytes(size_t n) {
    std::vector<std::uint8_t> v(n);
    std::uint32_t x = 2463534242u;
    for (auto& b : v) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<std::uint8_t>(x);
    }
    return v;
}

#include "pipeline/Output.h"

// An Output in a vector that takes at most `limit` more bytes, then fails.
class VectorOutput : public Output {
public:
    explicit VectorOutput(size_t limit = SIZE_MAX) : m_limit(limit) {}
    std::uint32_t write(const void* bytes, std::uint32_t itemSize, std::uint32_t count, LogBase*) override {
        size_t n = size_t(itemSize) * count;
        if (!bytes || n == 0 || data.size() + n > m_limit) return 0;
        auto p = static_cast<const std::uint8_t*>(bytes);
        data.insert(data.end(), p, p + n);
        return count;
    }
    std::vector<std::uint8_t> data;

private:
    size_t m_limit;
};

#include <zlib.h>

inline std::uint32_t zlibCrc(const std::vector<std::uint8_t>& v) {
    return static_cast<std::uint32_t>(crc32(0, v.data(), static_cast<uInt>(v.size())));
}

// Raw deflate (no wrapper) of data, as zip entries hold it.
inline std::vector<std::uint8_t> rawDeflate(const std::vector<std::uint8_t>& data, int level = 6) {
    z_stream z{};
    deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::vector<std::uint8_t> out(deflateBound(&z, data.size()));
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}
