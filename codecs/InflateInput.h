// Where the streaming inflate pulls compressed bytes from. Codecs sit below the pipeline, so the
// pipeline plugs its DataSource in through a small adapter implementing this interface.
#pragma once
#include <cstdint>

class InflateInput {
public:
    virtual ~InflateInput() = default;

    // Copies up to `capacity` bytes (never 0) into `buffer`, which stays valid only for the call,
    // and sets `count` to how many arrived. Returning false (a failed read, an abort answered
    // by a progress monitor) or true with 0 bytes means the input has ended: inflate asks no
    // more, and needing bits beyond what arrived fails the decode. Fewer bytes than asked is
    // not an end; inflate asks again. A DataSource adapter calls getNextChunk without a log
    // and answers true with 0 bytes once endOfStream is true.
    virtual bool read(std::uint8_t* buffer, std::uint32_t capacity, std::uint32_t& count) = 0;
};
