// bzip2 data of a zip entry (method 12) decoded a block at a time on several threads, with
// libbz2 doing the decoding; the content, the result and the error are those of decoding the
// data in one stream (Bzip2StreamDecoder).
//
// bzip2 marks each block with a 48-bit magic and the end of a stream with another, at any bit
// offset. The compressed input is searched for both at every bit offset; the stretch from one
// place found to the next ("piece") goes to a worker as a stream of its own: the header, the
// piece realigned to the byte, the end magic and, as combined CRC, the block CRC stored in the
// piece (a one-block stream's combined CRC is its block CRC). libbz2 checks the block against
// its CRC.
//
// A piece counts only when libbz2 ends that stream having read all of it. Then it is exactly one
// block of the real stream: had the block ended earlier, libbz2 would have read a magic there,
// which lies inside the piece (the search would have found it) or overlaps the end magic we
// appended (the two magics cannot overlap that way); had it run on, it would have had to find an
// end magic and a CRC in the 87 bits or fewer left, which the end magic's shape rules out within
// 7 bits of its place. Those overlap facts are checked when this is compiled.
//
// A piece that does not count (a magic pattern inside a block's data, which only a hostile
// stream has, or damaged data) hands the rest of that stream to libbz2 on the calling thread:
// the stream header, a small block whose CRC is the combined CRC of the blocks already given
// out, then the stream's bytes from the failed block on, in their own byte alignment. libbz2
// then sees exactly the blocks, CRC checks and bytes the one-stream decode would, and reports
// its result; a following stream starts over in parallel.
//
// Content goes out in stream order on the calling thread. A block's content is held for it up
// to a limit; a larger block is only checked by the worker and decoded again on the calling
// thread. Memory is bounded by the input held, the pieces ahead and the workers' decoders.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "codecs/Bzip2Bits.h"
#include "codecs/ChunkDecoder.h"

class Bzip2ParallelDecoder : public ChunkDecoder {
public:
    struct Options {
        unsigned workers = 2;              // decoding threads; 0 decodes on the calling thread
        std::size_t keepLimit = 4 << 20;   // most content a worker holds for one block
        std::size_t inputLimit = 8 << 20;  // most compressed bytes held
        // Places claimed to hold a magic though they do not (for tests), in bit order.
        std::vector<Bzip2Bits::Mark> falseMarks;
    };

    explicit Bzip2ParallelDecoder(Options options);
    ~Bzip2ParallelDecoder() override;

    Result decode(const std::uint8_t* in, std::size_t inSize, std::size_t& inUsed, std::uint8_t* out,
                  std::size_t outSize, std::size_t& outUsed, bool inputEnded) override;
    std::uint64_t bytesHeld() const override;

    // Threads worth using on this machine: the hardware threads up to 4, none on one core.
    static unsigned defaultWorkers();

private:
    struct State;
    std::unique_ptr<State> m_state;
};
