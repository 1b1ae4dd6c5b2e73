// Implode on hand-built streams: literals, matches near the start of the output, long lengths,
// both dictionary sizes, the end of input and malformed code tables.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LsbBitWriter.h"
#include "base/DataBuffer.h"
#include "codecs/Implode.h"

namespace {
// A token of the stream: a literal byte, or a match with its distance field (distance - 1) and
// its length.
struct Token {
    int literal;  // -1 for a match
    int distance;
    int length;
};
Token lit(char c) { return {static_cast<unsigned char>(c), 0, 0}; }
Token match(int distance, int length) { return {-1, distance, length}; }

// Every table gives all its symbols one length (8 bits for literals, 6 for lengths and
// distances), so symbol s of an n-symbol table has the code n - 1 - s.
std::vector<std::uint8_t> implodeStream(bool literalTable, bool dict8k, const std::vector<Token>& tokens) {
    LsbBitWriter w;
    if (literalTable) {
        w.field(15, 8);                                 // 16 description bytes follow
        for (int i = 0; i < 16; ++i) w.field(0xF7, 8);  // 16 symbols of length 8
    }
    for (int t = 0; t < 2; ++t) {
        w.field(3, 8);                                 // 4 description bytes follow
        for (int i = 0; i < 4; ++i) w.field(0xF5, 8);  // 16 symbols of length 6
    }
    int lowBits = dict8k ? 7 : 6;
    int minMatch = literalTable ? 3 : 2;
    for (const Token& t : tokens) {
        if (t.literal >= 0) {
            w.field(1, 1);
            if (literalTable) w.code(255 - t.literal, 8);
            else w.field(t.literal, 8);
            continue;
        }
        w.field(0, 1).field(t.distance & ((1 << lowBits) - 1), lowBits).code(63 - (t.distance >> lowBits), 6);
        int symbol = t.length - minMatch;
        if (symbol >= 63) w.code(0, 6).field(symbol - 63, 8);
        else w.code(63 - symbol, 6);
    }
    return w.bytes();
}

std::string explode(const std::vector<std::uint8_t>& in, bool literalTable, bool dict8k, bool* ok = nullptr) {
    DataBuffer out;
    Implode decoder;
    decoder.load(in.data(), static_cast<std::uint32_t>(in.size()));
    bool result = decoder.explode(dict8k, literalTable, out);
    if (ok) *ok = result;
    return std::string(reinterpret_cast<const char*>(out.data()), out.size());
}

std::string repeat(char c, int n) { return std::string(static_cast<std::size_t>(n), c); }
}  // namespace

TEST(Implode, DecodesHandBuiltStreams) {
    std::string ramp;
    std::vector<Token> rampTokens;
    for (int i = 0; i < 101; ++i) {
        ramp += static_cast<char>(i + 100);
        rampTokens.push_back(lit(static_cast<char>(i + 100)));
    }
    std::vector<Token> far = rampTokens;
    far.push_back(match(100, 4));  // 7 low bits with the 8 KiB dictionary: distance 101 back

    struct Case {
        const char* name;
        bool literalTable;
        bool dict8k;
        std::vector<Token> tokens;
        std::string expected;
    } cases[] = {
        {"overlapping match repeats", false, false, {lit('a'), lit('b'), lit('c'), match(2, 7)}, "abcabcabca"},
        {"high literals", false, false, {lit('\xff'), lit('\x80'), match(1, 2)}, "\xff\x80\xff\x80"},
        // Positions before the start read as zeros, also when the match runs on past them;
        // unzip and 7z give the same bytes.
        {"match reaches before start", false, false, {lit('a'), lit('b'), match(3, 6)}, std::string("ab\0\0ab\0\0", 8)},
        {"match at the very start", false, false, {match(0, 5), lit('x')}, std::string("\0\0\0\0\0x", 6)},
        {"literal table, minimum match 3", true, false, {lit('x'), lit('y'), match(1, 3)}, "xyxyx"},
        {"length symbol 63 without literal table", false, false, {lit('q'), match(0, 65)}, repeat('q', 66)},
        {"longest match without literal table", false, false, {lit('q'), match(0, 320)}, repeat('q', 321)},
        {"longest match with literal table", true, false, {lit('q'), match(0, 321)}, repeat('q', 322)},
        {"8 KiB dictionary", false, true, far, ramp + ramp.substr(0, 4)},
        {"8 KiB dictionary with literal table", true, true, far, ramp + ramp.substr(0, 4)},
    };
    for (const Case& c : cases) {
        bool ok = false;
        EXPECT_EQ(explode(implodeStream(c.literalTable, c.dict8k, c.tokens), c.literalTable, c.dict8k, &ok), c.expected)
            << c.name;
        EXPECT_TRUE(ok) << c.name;
    }
}

// Decoding stops with the last symbol whose bits are all present; cutting a stream anywhere
// gives a prefix of the full output, never bytes invented from missing bits.
TEST(Implode, EndsWithTheLastCompleteSymbol) {
    std::vector<Token> tokens = {lit('h'), lit('e'), lit('l'), match(0, 2), lit('o'), match(5, 5)};
    std::vector<std::uint8_t> full = implodeStream(false, false, tokens);
    std::string whole = explode(full, false, false);
    ASSERT_EQ(whole, "helllohelll");
    for (std::size_t n = 0; n < full.size(); ++n) {
        std::vector<std::uint8_t> cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n));
        std::string part = explode(cut, false, false);
        EXPECT_LT(part.size(), whole.size()) << n;
        EXPECT_EQ(part, whole.substr(0, part.size())) << n;
    }
}

TEST(Implode, RejectsTablesThatDoNotCoverTheirSymbols) {
    auto withLengthTable = [](std::vector<std::uint8_t> table) {
        std::vector<std::uint8_t> s = std::move(table);
        s.insert(s.end(), {3, 0xF5, 0xF5, 0xF5, 0xF5, 0xFF, 0xFF});  // distance table, then data
        return s;
    };
    const std::vector<std::uint8_t> malformed[] = {
        withLengthTable({3, 0xF5, 0xF5, 0xF5, 0xE5}),        // 63 symbols
        withLengthTable({4, 0xF5, 0xF5, 0xF5, 0xF5, 0x05}),  // 65 symbols
        withLengthTable({15, 0xF5, 0xF5, 0xF5, 0xF5}),       // 4 description bytes of 16
        {3, 0xF5},                                           // cut inside the first table
    };
    for (const auto& in : malformed) {
        bool ok = true;
        EXPECT_EQ(explode(in, false, false, &ok), "");
        EXPECT_FALSE(ok);
    }
}

// Bytes already in the output buffer belong to someone else: matches never copy them.
TEST(Implode, AppendsWithoutReachingIntoEarlierOutput) {
    std::vector<std::uint8_t> in = implodeStream(false, false, {match(1, 3), lit('z'), match(0, 2)});
    DataBuffer out;
    ASSERT_TRUE(out.append("XYZ", 3));
    Implode decoder;
    decoder.load(in.data(), static_cast<std::uint32_t>(in.size()));
    EXPECT_TRUE(decoder.explode(false, false, out));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(out.data()), out.size()), std::string("XYZ\0\0\0zzz", 9));
}
