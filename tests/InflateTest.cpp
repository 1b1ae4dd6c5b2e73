// Inflate: round trips against zlib's raw deflate, the streaming form under awkward chunking,
// hand-built bitstreams for every failure, window hand-over, abort and the log lines.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <random>
#include <string>
#include <vector>

#include "codecs/InflateAhead.h"
#include "codecs/InflateInput.h"
#include "codecs/InflateOutput.h"
#include "codecs/InflateState2.h"
#include "log/LogNull.h"
#include "log/LogBase.h"
#include "tests/LsbBitWriter.h"
#include "tests/ZlibRaw.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes deflateRaw(const Bytes& data, int level, int strategy = Z_DEFAULT_STRATEGY) {
    return zlibDeflateRaw(data.data(), data.size(), level, strategy);
}

// Text-like and binary stretches with runs, so every block type and match distance shows up.
Bytes sampleData(std::size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    static const char* words[] = {"inflate ", "window ", "the ", "archive ", "entry ", "of ", "data\n", "a "};
    Bytes d;
    while (d.size() < size) {
        unsigned kind = rng() % 8;
        if (kind < 5) {
            for (int i = 0; i < 40; ++i) {
                const char* w = words[rng() % 8];
                d.insert(d.end(), w, w + std::strlen(w));
            }
        } else if (kind == 5) {
            for (int i = 0; i < 300; ++i) d.push_back(std::uint8_t(rng()));
        } else {
            d.insert(d.end(), 1 + rng() % 700, std::uint8_t(rng() % 3));
        }
    }
    d.resize(size);
    return d;
}

class CollectSink : public InflateOutput {
public:
    bool spaceAvailable(std::uint32_t& count) override {
        count = writes.size() >= refuseAfter ? space - 1 : space;
        return true;
    }
    bool write(const std::uint8_t* bytes, std::uint32_t count) override {
        data.insert(data.end(), bytes, bytes + count);
        writes.push_back(count);
        return true;
    }
    bool isAborted() override { return writes.size() >= abortAfter; }

    Bytes data;
    std::vector<std::uint32_t> writes;
    std::uint32_t space = 32768;
    std::size_t refuseAfter = SIZE_MAX;  // windows taken before the sink reports too little room
    std::size_t abortAfter = SIZE_MAX;   // windows taken before the monitor answers abort
};

// Delivers the bytes `chunk` at a time; reports a failed read once `failAt` bytes are out.
class ChunkedInput : public InflateInput {
public:
    ChunkedInput(const Bytes& bytes, std::size_t chunk) : m_bytes(bytes), m_chunk(chunk) {}
    bool read(std::uint8_t* buffer, std::uint32_t capacity, std::uint32_t& count) override {
        if (m_pos >= failAt) return count = 0, false;
        std::size_t n = std::min({std::size_t(capacity), m_chunk, m_bytes.size() - m_pos});
        std::memcpy(buffer, m_bytes.data() + m_pos, n);
        m_pos += n;
        count = std::uint32_t(n);
        return true;
    }
    std::size_t failAt = SIZE_MAX;

private:
    const Bytes& m_bytes;
    std::size_t m_chunk;
    std::size_t m_pos = 0;
};

struct Decoded {
    bool ok;
    Bytes data;
    int location;
};

Decoded inflateMemory(const Bytes& in, CollectSink&& sink = CollectSink()) {
    InflateState2 inflater;
    inflater.setSink(&sink);
    LogNull log;
    inflater.inflateBuffer(in.data(), std::uint32_t(in.size()), log, false);
    return {!inflater.hadError(), sink.data, inflater.location()};
}

Decoded inflateStream(const Bytes& in, std::size_t chunk, CollectSink&& sink = CollectSink()) {
    InflateState2 inflater;
    inflater.setSink(&sink);
    ChunkedInput input(in, chunk);
    LogNull log;
    bool ok = inflater.inflateSource(input, log, false);
    EXPECT_EQ(ok, inflater.location() == InflateState2::kSuccess);
    EXPECT_EQ(inflater.hadError(), !ok && inflater.location() != InflateState2::kAborted);
    return {ok, sink.data, inflater.location()};
}

TEST(Inflate, RoundTripsZlibAtEveryLevelAndStrategy) {
    Bytes original = sampleData(300000, 1);
    for (int strategy : {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED}) {
        for (int level = 0; level <= 9; ++level) {
            SCOPED_TRACE("strategy " + std::to_string(strategy) + " level " + std::to_string(level));
            Bytes packed = deflateRaw(original, level, strategy);
            Decoded memory = inflateMemory(packed);
            ASSERT_TRUE(memory.ok);
            ASSERT_EQ(memory.location, InflateState2::kSuccess);
            ASSERT_EQ(memory.data, original);
            Decoded stream = inflateStream(packed, 1 << 16);
            ASSERT_TRUE(stream.ok);
            ASSERT_EQ(stream.data, original);
        }
    }
}

// Matches whose distance is shorter than their length repeat a period; each period from 1 to 17
// in runs of every length up to the longest, so the match copy meets every overlap.
TEST(Inflate, RoundTripsShortPeriods) {
    std::mt19937 rng(8);
    Bytes original;
    for (unsigned period = 1; period <= 17; ++period)
        for (unsigned run = 3; run <= 300; run += 1 + run / 8) {
            for (unsigned i = 0; i < period; ++i) original.push_back(std::uint8_t(rng()));
            for (unsigned i = 0; i < run; ++i) original.push_back(original[original.size() - period]);
        }
    Bytes packed = deflateRaw(original, 9);
    Decoded memory = inflateMemory(packed);
    ASSERT_TRUE(memory.ok);
    EXPECT_TRUE(memory.data == original);
    Decoded stream = inflateStream(packed, 977);
    ASSERT_TRUE(stream.ok);
    EXPECT_TRUE(stream.data == original);
}

TEST(Inflate, StreamsAwkwardChunksAndHandsOverWholeWindows) {
    Bytes original = sampleData(100000, 2);
    Bytes packed = deflateRaw(original, 6);
    for (std::size_t chunk : {1, 13, 31}) {
        CollectSink sink;
        InflateState2 inflater;
        inflater.setSink(&sink);
        ChunkedInput input(packed, chunk);
        LogNull log;
        ASSERT_TRUE(inflater.inflateSource(input, log, false)) << chunk;
        EXPECT_EQ(sink.data, original);
        EXPECT_EQ(sink.writes, (std::vector<std::uint32_t>{32768, 32768, 32768, 100000 - 3 * 32768}));
    }
}

// More compressed input than one 4,000,000-byte read: the decoder refills mid-block, in the
// middle of its bit buffer, and the output still matches.
TEST(Inflate, StreamsInputLargerThanItsBuffer) {
    std::mt19937 rng(3);
    Bytes original(12000000);
    for (auto& b : original) b = std::uint8_t("abcdefghijklmnop"[rng() % 16] + (rng() % 64 == 0 ? rng() % 7 : 0));
    Bytes packed = deflateRaw(original, 1);
    ASSERT_GT(packed.size(), 4000000u);
    for (std::size_t chunk : {std::size_t(13), std::size_t(1) << 20}) {
        Decoded stream = inflateStream(packed, chunk);
        ASSERT_TRUE(stream.ok) << chunk;
        ASSERT_TRUE(stream.data == original) << chunk;
    }
    Decoded memory = inflateMemory(packed);
    ASSERT_TRUE(memory.ok);
    ASSERT_TRUE(memory.data == original);
}

// Canonical codes of a set of code lengths.
std::vector<std::uint32_t> canonical(const std::vector<unsigned>& lengths) {
    unsigned count[16] = {}, next[16] = {};
    for (unsigned l : lengths) count[l]++;
    count[0] = 0;
    for (unsigned l = 1, c = 0; l < 16; ++l) next[l] = c = (c + count[l - 1]) << 1;
    std::vector<std::uint32_t> codes(lengths.size());
    for (std::size_t s = 0; s < lengths.size(); ++s)
        if (lengths[s]) codes[s] = next[lengths[s]]++;
    return codes;
}

// Fixed-code symbols.
LsbBitWriter& fixedLitLen(LsbBitWriter& w, unsigned symbol) {
    if (symbol < 144) return w.code(0x30 + symbol, 8);
    if (symbol < 256) return w.code(0x190 + symbol - 144, 9);
    if (symbol < 280) return w.code(symbol - 256, 7);
    return w.code(0xC0 + symbol - 280, 8);
}

// {lit/len symbol, distance symbol} pairs, then `tail` literals 'x' and an end of block when
// `tail` is not 0: enough input behind the symbols for the fast loop to meet them.
Bytes fixedBlock(std::initializer_list<std::pair<unsigned, unsigned>> symbols, unsigned tail = 0) {
    LsbBitWriter w;
    w.field(1, 1).field(1, 2);  // BFINAL, BTYPE fixed
    for (auto [lit, dist] : symbols) {
        fixedLitLen(w, lit);
        if (lit > 256) w.code(dist, 5);  // no extra bits for the symbols used here
    }
    for (unsigned i = 0; i < tail; ++i) fixedLitLen(w, 'x');
    if (tail) fixedLitLen(w, 256);
    return w.bytes();
}

// A dynamic block from literal/length and distance lengths. The code-length code gives symbols
// 0-12 four bits and 13-18 five (complete); the lengths go out as plain symbols 0-15 unless an
// explicit sequence of {code-length symbol, repeat bits} is given.
struct DynamicBlock {
    using Sequence = std::vector<std::pair<unsigned, unsigned>>;
    std::vector<unsigned> lit, dist;
    LsbBitWriter w;
    std::vector<std::uint32_t> litCodes, distCodes;

    DynamicBlock(std::vector<unsigned> litLengths, std::vector<unsigned> distLengths, Sequence sequence = {})
        : lit(std::move(litLengths)), dist(std::move(distLengths)) {
        w.field(1, 1).field(2, 2);  // BFINAL, BTYPE dynamic
        w.field(unsigned(lit.size() - 257), 5)
            .field(unsigned(dist.size() - 1), 5)
            .field(19 - 4, 4);  // HLIT HDIST HCLEN
        const unsigned order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
        std::vector<unsigned> clLengths(19, 4);
        for (unsigned s = 13; s < 19; ++s) clLengths[s] = 5;
        for (unsigned s : order) w.field(clLengths[s], 3);  // code-length code lengths in sending order
        auto cl = canonical(clLengths);
        if (sequence.empty())
            for (auto* set : {&lit, &dist})
                for (unsigned l : *set) sequence.push_back({l, 0});
        const unsigned repeatBits[3] = {2, 3, 7};
        for (auto [symbol, repeat] : sequence) {
            w.code(cl[symbol], clLengths[symbol]);
            if (symbol >= 16) w.field(repeat, repeatBits[symbol - 16]);
        }
        litCodes = canonical(lit);
        distCodes = canonical(dist);
    }
    DynamicBlock& symbol(unsigned s) { return w.code(litCodes[s], lit[s]), *this; }
    DynamicBlock& distance(unsigned s) { return w.code(distCodes[s], dist[s]), *this; }
};

// Literal/length lengths with 1-bit codes for 'A' and end of block only.
std::vector<unsigned> onlyA() {
    std::vector<unsigned> lit(257, 0);
    lit['A'] = 1, lit[256] = 1;
    return lit;
}

// 288 literal/length lengths (0-223: 8 bits, 224-287: 9 bits) and 32 distance lengths of 5:
// both complete, and both longer than the format's 286/30 used symbols.
DynamicBlock fullHeader() {
    std::vector<unsigned> lit(288, 8);
    for (unsigned s = 224; s < 288; ++s) lit[s] = 9;
    return DynamicBlock(lit, std::vector<unsigned>(32, 5));
}

Bytes withoutLastByte(Bytes b) {
    b.pop_back();
    return b;
}

using S = InflateState2;

struct StreamCase {
    const char* name;
    Bytes stream;
    int location;  // S::kSuccess or the check that fails
    Bytes output;
};

std::vector<StreamCase> handBuiltCases() {
    std::vector<StreamCase> cases;
    // BFINAL 1, BTYPE stored, LEN 0, NLEN 0xFFFF.
    cases.push_back({"empty stored block",
                     LsbBitWriter().field(1, 1).field(0, 2).align().field(0, 16).field(0xFFFF, 16).bytes(),
                     S::kSuccess,
                     {}});
    // LEN 3 with NLEN not its complement.
    cases.push_back(
        {"stored NLEN mismatch",
         LsbBitWriter().field(1, 1).field(0, 2).align().field(3, 16).field(0xFFFF, 16).byte(1).byte(2).byte(3).bytes(),
         S::kStoredLengthMismatch,
         {}});
    // LEN 3 but only two bytes follow.
    cases.push_back(
        {"stored block cut short",
         LsbBitWriter().field(1, 1).field(0, 2).align().field(3, 16).field(0xFFFC, 16).byte(1).byte(2).bytes(),
         S::kTruncatedStored,
         {}});
    // A non-final stored block "ab", then a final fixed block "c".
    {
        LsbBitWriter w;
        w.field(0, 1).field(0, 2).align().field(2, 16).field(0xFFFD, 16).byte('a').byte('b');
        w.field(1, 1).field(1, 2);
        fixedLitLen(w, 'c');
        fixedLitLen(w, 256);
        cases.push_back({"stored then fixed", w.bytes(), S::kSuccess, {'a', 'b', 'c'}});
    }
    cases.push_back({"block type 3", LsbBitWriter().field(1, 1).field(3, 2).field(0, 13).bytes(), S::kBlockType3, {}});
    cases.push_back(
        {"stored header without its length", LsbBitWriter().field(1, 1).bytes(), S::kTruncatedStoredLength, {}});
    cases.push_back({"no block after a non-final one",
                     LsbBitWriter().field(0, 1).field(0, 2).align().field(0, 16).field(0xFFFF, 16).bytes(),
                     S::kTruncatedHeader,
                     {}});
    // 'a', then length 3 (257) from distance 5 (symbol 4, 1 extra bit 0): reaches before the start.
    {
        LsbBitWriter w;
        w.field(1, 1).field(1, 2);
        fixedLitLen(w, 'a');
        fixedLitLen(w, 257);
        w.code(4, 5).field(0, 1);
        fixedLitLen(w, 256);
        cases.push_back({"distance before the start copies zeros", w.bytes(), S::kSuccess, {'a', 0, 0, 0}});
    }
    cases.push_back({"fixed symbol 286", fixedBlock({{'a', 0}, {286, 0}, {256, 0}}), S::kBadLitLen, {}});
    cases.push_back({"fixed symbol 287", fixedBlock({{287, 0}, {256, 0}}), S::kBadLitLen, {}});
    cases.push_back({"fixed distance 30", fixedBlock({{'a', 0}, {257, 30}, {256, 0}}), S::kBadDistance, {}});
    cases.push_back({"fixed distance 31", fixedBlock({{'a', 0}, {257, 31}, {256, 0}}), S::kBadDistance, {}});
    cases.push_back({"fixed block without end", fixedBlock({{'a', 0}, {'b', 0}}), S::kTruncatedLitLen, {}});
    Bytes aaaa = {'a', 'a', 'a', 'a'};
    aaaa.insert(aaaa.end(), 100, 'x');
    cases.push_back({"fixed match in the fast loop", fixedBlock({{'a', 0}, {257, 0}}, 100), S::kSuccess, aaaa});
    cases.push_back({"fixed symbol 286 in the fast loop", fixedBlock({{'a', 0}, {286, 0}}, 100), S::kBadLitLen, {}});
    cases.push_back(
        {"fixed distance 30 in the fast loop", fixedBlock({{'a', 0}, {257, 30}}, 100), S::kBadDistance, {}});
    {
        DynamicBlock b = fullHeader();
        b.symbol('A').symbol(257).distance(0).symbol(256);
        cases.push_back({"288/32 lengths accepted", b.w.bytes(), S::kSuccess, {'A', 'A', 'A', 'A'}});
        cases.push_back({"dynamic block cut short", withoutLastByte(b.w.bytes()), S::kTruncatedLitLen, {}});
    }
    {
        DynamicBlock b = fullHeader();
        b.symbol('A').symbol(286).symbol(256);
        cases.push_back({"dynamic symbol 286", b.w.bytes(), S::kBadLitLen, {}});
    }
    {
        DynamicBlock b = fullHeader();
        b.symbol('A').symbol(257).distance(30).symbol(256);
        cases.push_back({"dynamic distance 30", b.w.bytes(), S::kBadDistance, {}});
    }
    {
        // The same failures with input behind them, so the fast loop meets them.
        DynamicBlock bad286 = fullHeader(), bad30 = fullHeader();
        bad286.symbol('A').symbol(286);
        bad30.symbol('A').symbol(257).distance(30);
        for (DynamicBlock* b : {&bad286, &bad30}) {
            for (int i = 0; i < 100; ++i) b->symbol('A');
            b->symbol(256);
        }
        cases.push_back({"dynamic symbol 286 in the fast loop", bad286.w.bytes(), S::kBadLitLen, {}});
        cases.push_back({"dynamic distance 30 in the fast loop", bad30.w.bytes(), S::kBadDistance, {}});
    }
    {
        // Distance lengths all 0: literals decode, a length symbol fails.
        std::vector<unsigned> lit(258, 0);
        lit['A'] = 1, lit[256] = 2, lit[257] = 2;
        DynamicBlock ok(lit, {0});
        ok.symbol('A').symbol('A').symbol(256);
        cases.push_back({"no distance codes, literals only", ok.w.bytes(), S::kSuccess, {'A', 'A'}});
        DynamicBlock bad(lit, {0});
        bad.symbol('A').symbol(257).symbol(256);
        cases.push_back({"no distance codes, a length", bad.w.bytes(), S::kNoDistanceCodes, {}});
        DynamicBlock badFast(lit, {0});
        badFast.symbol('A').symbol(257);
        for (int i = 0; i < 1000; ++i) badFast.symbol('A');
        cases.push_back({"no distance codes, a length in the fast loop", badFast.w.bytes(), S::kNoDistanceCodes, {}});
        // An incomplete distance code (one code of 1 bit) is accepted.
        DynamicBlock oneDist(lit, {5});
        oneDist.symbol('A').symbol(257).distance(0).symbol(256);
        cases.push_back({"incomplete distance code", oneDist.w.bytes(), S::kSuccess, {'A', 'A', 'A', 'A'}});
        DynamicBlock over(lit, {1, 1, 1});
        over.symbol('A').symbol(256);
        cases.push_back({"over-subscribed distance code", over.w.bytes(), S::kDistCodeOverSubscribed, {}});
        std::vector<unsigned> incomplete = lit;
        incomplete[257] = 0;
        DynamicBlock partial(incomplete, {5});
        partial.symbol('A').symbol(256);
        cases.push_back({"incomplete literal/length code", partial.w.bytes(), S::kLitLenCodeNotComplete, {}});
    }
    {
        // 'A' (65) gets length 1; 17 writes zeros for 66-68 and the 16 after it repeats that 0
        // (repeating the 1 would over-subscribe the code). zlib reads it the same way.
        DynamicBlock b(onlyA(), {0},
                       {{18, 65 - 11}, {1, 0}, {17, 0}, {16, 0}, {18, 138 - 11}, {18, 46 - 11}, {1, 0}, {0, 0}});
        b.symbol('A').symbol(256);
        Bytes fromZlib;
        Bytes stream = b.w.bytes();
        EXPECT_TRUE(zlibInflateRaw(stream.data(), stream.size(), fromZlib));
        EXPECT_EQ(fromZlib, Bytes{'A'});
        cases.push_back({"16 after 17 repeats zero", b.w.bytes(), S::kSuccess, {'A'}});
        // 16 before any length repeats 0 (zlib refuses this one).
        DynamicBlock first(onlyA(), {0},
                           {{16, 0}, {18, 62 - 11}, {1, 0}, {18, 138 - 11}, {18, 52 - 11}, {1, 0}, {0, 0}});
        first.symbol('A').symbol(256);
        cases.push_back({"16 first repeats zero", first.w.bytes(), S::kSuccess, {'A'}});
        // 18 asking for 138 zeros where only 100 lengths are left.
        DynamicBlock past(onlyA(), {0}, {{18, 127}, {18, 127}, {18, 127}});
        cases.push_back({"repeat past the end", past.w.bytes(), S::kRepeatPastEnd, {}});
    }
    {
        // Code-length code of a single 1-bit code (symbol 8): incomplete.
        LsbBitWriter w;
        w.field(1, 1).field(2, 2).field(0, 5).field(0, 5).field(1, 4);  // HCLEN 5 reaches symbol 8
        w.field(0, 3).field(0, 3).field(0, 3).field(0, 3).field(1, 3);
        w.field(0, 32).field(0, 32);
        cases.push_back({"incomplete code-length code", w.bytes(), S::kCodeLenCodeNotComplete, {}});
    }
    return cases;
}

TEST(Inflate, HandBuiltStreams) {
    for (const StreamCase& c : handBuiltCases()) {
        SCOPED_TRACE(c.name);
        Decoded memory = inflateMemory(c.stream);
        EXPECT_EQ(memory.location, c.location);
        EXPECT_EQ(memory.ok, c.location == S::kSuccess);
        EXPECT_EQ(memory.data, c.output);
        for (std::size_t chunk : {1, 4096}) {
            Decoded stream = inflateStream(c.stream, chunk);
            EXPECT_EQ(stream.location, c.location);
            EXPECT_EQ(stream.data, c.output);
        }
    }
}

// A match reaching back before the first byte copies zeros, from deflate's 32 KiB of history and
// from deflate64's 64 KiB, also in a decoder whose memory held other bytes just before.
TEST(Inflate, HistoryBeforeTheStartReadsAsZeros) {
#ifdef __GLIBC__
    // Buffers from the heap rather than fresh zeroed mappings, so that the next decoder's buffer
    // is likely the one just freed.
    mallopt(M_MMAP_THRESHOLD, 16 << 20);
#endif
    for (bool deflate64 : {false, true}) {
        SCOPED_TRACE(deflate64);
        inflateMemory(deflateRaw(Bytes(200000, 0xFF), 6));  // its freed buffer is full of 0xFF
        LsbBitWriter w;
        w.field(1, 1).field(1, 2);
        fixedLitLen(w, 'a');
        fixedLitLen(w, 257);  // length 3
        // Deflate64's distance 32,769 reads the 32 KiB of history beyond deflate's.
        if (deflate64) w.code(30, 5).field(0, 14);  // distance 32,769
        else w.code(29, 5).field(8191, 13);         // distance 32,768
        fixedLitLen(w, 256);
        const Bytes stream = w.bytes();
        CollectSink sink;
        InflateState2 inflater;
        inflater.setDeflate64(deflate64);
        inflater.setSink(&sink);
        LogNull log;
        inflater.inflateBuffer(stream.data(), std::uint32_t(stream.size()), log, false);
        EXPECT_FALSE(inflater.hadError());
        EXPECT_EQ(sink.data, (Bytes{'a', 0, 0, 0}));
    }
#ifdef __GLIBC__
    mallopt(M_MMAP_THRESHOLD, 128 << 10);
#endif
}

// A failure leaves in the sink exactly the windows completed before it.
TEST(Inflate, FailureKeepsTheWindowsAlreadyCompleted) {
    Bytes original = sampleData(200000, 4);
    Bytes packed = deflateRaw(original, 6);
    packed.resize(packed.size() * 3 / 4);
    Decoded memory = inflateMemory(packed);
    Decoded stream = inflateStream(packed, 13);
    EXPECT_FALSE(memory.ok);
    EXPECT_FALSE(stream.ok);
    EXPECT_EQ(memory.data, stream.data);
    EXPECT_GE(memory.data.size(), 2u * 32768);
    EXPECT_EQ(memory.data.size() % 32768, 0u);
    EXPECT_TRUE(std::equal(memory.data.begin(), memory.data.end(), original.begin()));

    // A source whose read fails ends the input there: the same truncation.
    Bytes whole = deflateRaw(original, 6);
    CollectSink sink;
    InflateState2 inflater;
    inflater.setSink(&sink);
    ChunkedInput input(whole, 13);
    input.failAt = packed.size();
    LogNull log;
    EXPECT_FALSE(inflater.inflateSource(input, log, false));
    EXPECT_EQ(sink.data, memory.data);
}

TEST(Inflate, SinkWithTooLittleRoomFailsTheDecode) {
    Bytes original = sampleData(100000, 5);
    Bytes packed = deflateRaw(original, 6);
    CollectSink sink;
    sink.refuseAfter = 2;
    Decoded memory = inflateMemory(packed, std::move(sink));
    EXPECT_FALSE(memory.ok);
    EXPECT_EQ(memory.data, Bytes(original.begin(), original.begin() + 2 * 32768));
    CollectSink streamSink;
    streamSink.refuseAfter = 2;
    Decoded stream = inflateStream(packed, 4096, std::move(streamSink));
    EXPECT_FALSE(stream.ok);
    EXPECT_EQ(stream.data, memory.data);

    InflateState2 noSink;
    LogNull log;
    noSink.inflateBuffer(packed.data(), std::uint32_t(packed.size()), log, false);
    EXPECT_TRUE(noSink.hadError());
}

// Both forms stop after the window whose hand-over brought the abort; an abort is no error.
TEST(Inflate, AbortStopsBothFormsAfterAHandOver) {
    Bytes original = sampleData(150000, 6);
    Bytes packed = deflateRaw(original, 6);
    const Bytes twoWindows(original.begin(), original.begin() + 2 * 32768);
    CollectSink sink;
    sink.abortAfter = 2;
    Decoded stream = inflateStream(packed, 4096, std::move(sink));
    EXPECT_FALSE(stream.ok);
    EXPECT_EQ(stream.location, InflateState2::kAborted);
    EXPECT_EQ(stream.data, twoWindows);
    CollectSink memorySink;
    memorySink.abortAfter = 2;
    Decoded memory = inflateMemory(packed, std::move(memorySink));
    EXPECT_TRUE(memory.ok);  // hadError stays clear
    EXPECT_EQ(memory.location, InflateState2::kAborted);
    EXPECT_EQ(memory.data, twoWindows);
}

// Records log calls as "kind:key=value" lines.
class LineLog : public LogBase {
public:
    bool logError(const char* text) override { return add("error:" + std::string(text)); }
    bool logInfo(const char* text) override { return add("info:" + std::string(text)); }
    bool enterContext(const char* tag) override { return add("enter:" + std::string(tag)); }
    bool leaveContext() override { return add("leave"); }
    bool logDataLong(const char* key, std::int32_t value) override {
        return add(std::string(key) + "=" + std::to_string(value));
    }
    bool add(const std::string& line) {
        lines.push_back(line);
        return true;
    }
    std::vector<std::string> lines;
};

TEST(Inflate, LogLines) {
    Bytes stored = LsbBitWriter().field(1, 1).field(0, 2).align().field(1, 16).field(0xFFFE, 16).byte('x').bytes();
    using Lines = std::vector<std::string>;
    {
        LineLog log;
        CollectSink sink;
        InflateState2 inflater;
        inflater.setSink(&sink);
        inflater.inflateBuffer(stored.data(), 0, log, true);
        inflater.inflateBuffer(stored.data(), std::uint32_t(stored.size()), log, true);
        EXPECT_EQ(log.lines, (Lines{"enter:inflateDataB", "info:No data to inflate.", "leave", "enter:inflateDataB",
                                    "m_state=-1", "m_state=0", "m_state=10", "leave"}));
    }
    {
        LineLog log;
        CollectSink sink;
        InflateState2 inflater;
        inflater.setSink(&sink);
        ChunkedInput input(stored, 100);
        EXPECT_TRUE(inflater.inflateSource(input, log, true));
        EXPECT_EQ(log.lines, (Lines{"enter:inflator", "returnedFromLoc=50", "progressMarker=4", "leave"}));
    }
    {
        LineLog log;
        CollectSink sink;
        InflateState2 inflater;
        inflater.setSink(&sink);
        Bytes cut(stored.begin(), stored.end() - 1);
        ChunkedInput input(cut, 100);
        EXPECT_FALSE(inflater.inflateSource(input, log, false));
        ASSERT_EQ(log.lines.size(), 2u);
        EXPECT_EQ(log.lines[0], "error:Inflate from data source failed.");
        EXPECT_EQ(log.lines[1], "InflateErrorCode=" + std::to_string(inflater.location()));
    }
    {
        LineLog log;
        CollectSink sink;
        sink.abortAfter = 1;
        InflateState2 inflater;
        inflater.setSink(&sink);
        ChunkedInput input(stored, 100);
        EXPECT_FALSE(inflater.inflateSource(input, log, false));
        EXPECT_FALSE(inflater.hadError());
        EXPECT_EQ(log.lines, (Lines{"error:Inflate from data source failed.", "InflateErrorCode=67812",
                                    "error:Inflate aborted by application event callback."}));
    }
}

// Decoding on a second thread shows the caller exactly what decoding in its own thread does: the
// same blocks, results and log lines, in success, failure, abort and refusal alike.
TEST(Inflate, DecodingAheadOnASecondThreadChangesNothingTheCallerSees) {
    Bytes original = sampleData(600000, 7);
    Bytes packed = deflateRaw(original, 6);
    Bytes cut(packed.begin(), packed.begin() + packed.size() / 2);
    struct Case {
        const char* name;
        const Bytes* input;
        std::size_t abortAfter, refuseAfter, failAt;
        bool verbose;
    } cases[] = {
        {"whole", &packed, SIZE_MAX, SIZE_MAX, SIZE_MAX, true},
        {"truncated", &cut, SIZE_MAX, SIZE_MAX, SIZE_MAX, true},
        {"read fails", &packed, SIZE_MAX, SIZE_MAX, packed.size() / 3, false},
        {"abort after 3 blocks", &packed, 3, SIZE_MAX, SIZE_MAX, true},
        {"abort after the last block", &packed, (original.size() + 32767) / 32768, SIZE_MAX, SIZE_MAX, false},
        {"room for 2 blocks", &packed, SIZE_MAX, 2, SIZE_MAX, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        struct Run {
            bool ok;
            int location;
            bool error;
            CollectSink sink;
            LineLog log;
        } runs[2];
        for (int ahead = 0; ahead < 2; ++ahead) {
            Run& r = runs[ahead];
            r.sink.abortAfter = c.abortAfter;
            r.sink.refuseAfter = c.refuseAfter;
            ChunkedInput input(*c.input, 70000);
            input.failAt = c.failAt;
            InflateState2 inflater;
            if (ahead) {
                r.ok = InflateAhead::inflateSource(inflater, input, r.sink, r.log, c.verbose);
            } else {
                inflater.setSink(&r.sink);
                r.ok = inflater.inflateSource(input, r.log, c.verbose);
            }
            r.location = inflater.location();
            r.error = inflater.hadError();
        }
        EXPECT_EQ(runs[1].ok, runs[0].ok);
        EXPECT_EQ(runs[1].location, runs[0].location);
        EXPECT_EQ(runs[1].error, runs[0].error);
        EXPECT_EQ(runs[1].sink.writes, runs[0].sink.writes);
        EXPECT_TRUE(runs[1].sink.data == runs[0].sink.data);
        EXPECT_EQ(runs[1].log.lines, runs[0].log.lines);
        EXPECT_TRUE(std::equal(runs[0].sink.data.begin(), runs[0].sink.data.end(), original.begin()));
    }
}

}  // namespace
