// The block-parallel bzip2 decoder against the one-stream decoder on the same bytes: content,
// end and error agree for whole, multi-stream, damaged and truncated data, for magics claimed
// where there are none (the fallback with its lead block at every bit alignment), and for
// blocks too large to hold or too large for the input window.
#include <gtest/gtest.h>

#include <bzlib.h>

#include <functional>
#include <string>
#include <vector>

#include "codecs/Bzip2Bits.h"
#include "codecs/Bzip2ParallelDecoder.h"
#include "codecs/Bzip2StreamDecoder.h"
#include "tests/ChunkDecodeRun.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Words from a small vocabulary: compresses about 3:1, so a level-1 stream has a block per
// 100,000 bytes of content and a few hundred kilobytes make several blocks.
Bytes words(std::size_t size, std::uint32_t seed) {
    static const char* const kWords[] = {"offline ", "reader ", "viewer ",  "zip ",  "block ",
                                         "the ",     "\n",      "archive ", "2026 ", "publication "};
    Bytes out;
    while (out.size() < size) {
        seed = seed * 1103515245u + 12345u;
        const char* w = kWords[(seed >> 16) % 10];
        out.insert(out.end(), w, w + std::char_traits<char>::length(w));
        if ((seed >> 8) % 7 == 0) out.push_back(std::uint8_t(seed >> 24));
    }
    out.resize(size);
    return out;
}

Bytes compress(const Bytes& content, int level) {
    std::vector<char> stream(content.size() + content.size() / 100 + 600);
    unsigned n = unsigned(stream.size());
    EXPECT_EQ(
        BZ2_bzBuffToBuffCompress(stream.data(), &n, reinterpret_cast<char*>(const_cast<std::uint8_t*>(content.data())),
                                 unsigned(content.size()), level, 0, 0),
        BZ_OK);
    return Bytes(stream.begin(), stream.begin() + n);
}

std::vector<Bzip2Bits::Mark> marksOf(const Bytes& stream) {
    std::vector<Bzip2Bits::Mark> marks;
    Bzip2Bits::findMarks(stream.data(), stream.size(), 0, marks, ~std::size_t(0));
    return marks;
}

using Outcome = ChunkDecodeOutcome;

Outcome reference(const Bytes& in) {
    Bzip2StreamDecoder decoder;
    return runChunkDecoder(decoder, in, 1 << 16, 1 << 16);
}

void expectSame(const Outcome& got, const Outcome& want) {
    EXPECT_EQ(got.error, want.error);
    EXPECT_EQ(got.ended, want.ended);
    EXPECT_EQ(got.content.size(), want.content.size());
    EXPECT_TRUE(got.content == want.content);
}

// Twelve blocks of 100,000 bytes or less, and their places in the stream.
struct Sample {
    Bytes content = words(1150000, 7);
    Bytes stream = compress(content, 1);
    std::vector<Bzip2Bits::Mark> marks = marksOf(stream);
};
const Sample& sample() {
    static const Sample s;
    return s;
}

struct Case {
    const char* name;
    std::function<Bytes()> input;
    std::function<void(Bzip2ParallelDecoder::Options&)> tune;
    std::size_t inChunk, outChunk;
};

Bytes flipped(std::uint64_t bit) {
    Bytes s = sample().stream;
    s[bit / 8] ^= std::uint8_t(0x80 >> (bit % 8));
    return s;
}

Bytes cut(std::size_t size) {
    const Bytes& s = sample().stream;
    return Bytes(s.begin(), s.begin() + std::min(size, s.size()));
}

const auto plain = [] { return sample().stream; };
const auto asIs = [](Bzip2ParallelDecoder::Options&) {};

}  // namespace

TEST(Bzip2ParallelDecoder, AgreesWithTheOneStreamDecoder) {
    const Sample& s = sample();
    ASSERT_EQ(s.marks.size(), 13u);  // twelve blocks and the end
    ASSERT_TRUE(s.marks.back().end);
    const std::uint64_t endBit = s.marks.back().bit;
    // clang-format off
    const Case cases[] = {
        {"whole", plain, asIs, 1 << 16, 1 << 16},
        {"byte at a time in, small out", plain, asIs, 1, 777},
        {"one big call", plain, asIs, 1 << 24, 1 << 22},
        {"no workers", plain, [](auto& o) { o.workers = 0; }, 1 << 16, 1 << 16},
        {"one worker", plain, [](auto& o) { o.workers = 1; }, 4096, 1 << 16},
        {"blocks decoded again", plain, [](auto& o) { o.keepLimit = 1 << 16; }, 1 << 16, 5000},
        {"input window smaller than a block", [] { return compress(words(900000, 3), 9); },
         [](auto& o) { o.inputLimit = 1 << 16; }, 1 << 16, 1 << 16},
        {"two streams and trailing data",
         [] {
             Bytes a = sample().stream, b = compress(words(250000, 9), 1);
             a.insert(a.end(), b.begin(), b.end());
             for (const char c : std::string("\0trailer", 8)) a.push_back(std::uint8_t(c));
             return a;
         },
         asIs, 1 << 16, 1 << 16},
        {"second stream header broken",
         [] {
             Bytes a = sample().stream;
             for (const char c : std::string("BZx9junk")) a.push_back(std::uint8_t(c));
             return a;
         },
         asIs, 1 << 16, 1 << 16},
        {"empty input", [] { return Bytes(); }, asIs, 1 << 16, 1 << 16},
        {"not bzip2", [] { return Bytes(100, 'x'); }, asIs, 1 << 16, 1 << 16},
        {"data of block 3 damaged", [] { return flipped(sample().marks[3].bit + 5000 * 8 + 3); }, asIs, 1 << 16, 1 << 16},
        {"CRC of block 4 damaged", [] { return flipped(sample().marks[4].bit + 60); }, asIs, 1 << 16, 1 << 16},
        {"combined CRC damaged", [endBit] { return flipped(endBit + 70); }, asIs, 1 << 16, 1 << 16},
        {"end magic damaged", [endBit] { return flipped(endBit + 10); }, asIs, 1 << 16, 1 << 16},
        {"cut in block 4", [] { return cut(std::size_t(sample().marks[4].bit / 8 + 300)); }, asIs, 1 << 16, 1 << 16},
        {"cut in the end magic", [endBit] { return cut(std::size_t(endBit / 8 + 3)); }, asIs, 1 << 16, 1 << 16},
        {"cut in the header", [] { return cut(3); }, asIs, 1 << 16, 1 << 16},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes in = c.input();
        Bzip2ParallelDecoder::Options options;
        options.workers = 2;
        c.tune(options);
        Bzip2ParallelDecoder decoder(options);
        expectSame(runChunkDecoder(decoder, in, c.inChunk, c.outChunk), reference(in));
    }
}

// A magic claimed inside a block makes its piece fail; the rest of the stream then goes to libbz2
// behind a lead block carrying the combined CRC so far and matching the failed block's bit
// alignment. Falling back from every block of the sample meets all eight alignments.
TEST(Bzip2ParallelDecoder, FallsBackExactlyFromEveryBlock) {
    const Sample& s = sample();
    unsigned alignments = 0;
    for (std::size_t k = 0; k + 1 < s.marks.size(); ++k) {
        for (const bool claimEnd : {false, true}) {
            SCOPED_TRACE("from block " + std::to_string(k) + (claimEnd ? ", end magic claimed" : ""));
            Bzip2ParallelDecoder::Options options;
            options.workers = 2;
            options.falseMarks.push_back({s.marks[k + 1].bit - 999, claimEnd});
            Bzip2ParallelDecoder decoder(options);
            const Outcome got = runChunkDecoder(decoder, s.stream, 1 << 16, 1 << 16);
            EXPECT_TRUE(got.ended) << got.error;
            EXPECT_TRUE(got.content == s.content);
        }
        alignments |= 1u << (s.marks[k].bit % 8);
    }
    EXPECT_EQ(alignments, 0xFFu);
}

// With claimed magics the fallback continues in parallel at the next stream.
TEST(Bzip2ParallelDecoder, NextStreamDecodesAfterAFallback) {
    Bytes two = sample().stream, second = compress(words(300000, 11), 1);
    two.insert(two.end(), second.begin(), second.end());
    Bytes want = sample().content, tail = words(300000, 11);
    want.insert(want.end(), tail.begin(), tail.end());
    Bzip2ParallelDecoder::Options options;
    options.workers = 2;
    options.falseMarks.push_back({sample().marks[2].bit + 1234, false});
    const std::uint64_t secondStart = sample().stream.size() * 8;
    for (const auto& m : marksOf(second))
        if (!m.end && m.bit > 32 + 80) options.falseMarks.push_back({secondStart + m.bit + 1000, false});
    Bzip2ParallelDecoder decoder(options);
    const Outcome got = runChunkDecoder(decoder, two, 1 << 15, 1 << 16);
    EXPECT_TRUE(got.ended) << got.error;
    EXPECT_TRUE(got.content == want);
}
