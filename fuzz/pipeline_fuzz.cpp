// Pumps the input through two chained CRC stages with fuzzer-chosen chunk sizes, sink room and
// ring capacity. Property: the sink receives exactly the input, and both CRCs are its CRC-32.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "codecs/ZipCRC.h"
#include "pipeline/CrcProcessor.h"
#include "pipeline/DataPipeline.h"
#include "pipeline/DataSink.h"
#include "pipeline/DataSource.h"

namespace {

class SmallChunkSource : public DataSource {
public:
    SmallChunkSource(const std::uint8_t* data, size_t size, std::uint32_t chunk)
        : m_data(data), m_size(size), m_chunk(chunk) {}
    bool getNextChunk(std::uint8_t* buffer, std::uint32_t capacity, std::uint32_t& count, LogBase* log) override {
        count = static_cast<std::uint32_t>(std::min<size_t>({capacity, m_chunk, m_size - m_pos}));
        std::memcpy(buffer, m_data + m_pos, count);
        m_pos += count;
        return countDelivered(count, log);
    }
    bool endOfStream() override { return m_pos >= m_size; }

private:
    const std::uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
    std::uint32_t m_chunk;
};

class RoomSink : public DataSink {
public:
    explicit RoomSink(std::uint32_t room) : m_room(room) {}
    bool write(const std::uint8_t* bytes, std::uint32_t n) override {
        if (n > m_room) abort();  // a producer exceeded spaceAvailable
        received.insert(received.end(), bytes, bytes + n);
        return true;
    }
    bool spaceAvailable(std::uint32_t& count) override {
        count = m_room;
        return true;
    }
    std::vector<std::uint8_t> received;

private:
    std::uint32_t m_room;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    if (size < 4) return 0;
    std::uint32_t chunk = data[0] % 64 + 1;
    std::uint32_t room = data[1] % 97 + 1;
    std::int32_t ring = data[2] % 61 + 1;
    std::uint32_t input = data[3] % 50 + 1;
    data += 4;
    size -= 4;

    SmallChunkSource src(data, size, chunk);
    CrcProcessor first, second;
    second.initRing(ring);
    RoomSink sink(room);
    first.setSource(&src);
    first.setSink(&second);
    first.allocateInputBuffer(input);
    second.setSink(&sink);
    DataPipeline pipe;
    pipe.addProcessor(&first);
    pipe.addProcessor(&second);
    if (!pipe.run(nullptr)) abort();
    std::uint32_t crc = ZipCRC::crcOfBuffer(data, static_cast<std::int32_t>(size));
    if (sink.received.size() != size || !std::equal(sink.received.begin(), sink.received.end(), data)) abort();
    if (first.crcValue() != crc || second.crcValue() != crc || !sink.endOfInput()) abort();
    return 0;
}
