// Where inflate hands its decoded bytes, one window (32,768 bytes) at a time. Codecs sit below
// the pipeline, so the pipeline plugs its DataSink in through a small adapter implementing this.
#pragma once
#include <cstdint>

class InflateOutput {
public:
    virtual ~InflateOutput() = default;

    // How many bytes the next `write` takes in full. Asked before every hand-over; false, or
    // less room than the bytes waiting, fails the decode.
    virtual bool spaceAvailable(std::uint32_t& count) = 0;

    // Takes `count` (1 to 32,768) bytes valid only for the call. Inflate ignores the result:
    // the sink remembers its own write failure (a DataSink adapter forwards to DataSink::write).
    virtual bool write(const std::uint8_t* bytes, std::uint32_t count) = 0;

    // Asked by the streaming form after every hand-over; true ends the decode as aborted.
    // A DataSink adapter answers its progress monitor's isAborted (false without a monitor).
    virtual bool isAborted() { return false; }
};
