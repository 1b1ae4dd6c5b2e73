// Unshrink on hand-built code streams: the first code, the code being defined, width changes,
// partial clearing and corrupt control sequences.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LsbBitWriter.h"
#include "base/DataBuffer.h"
#include "codecs/Unshrink.h"

namespace {
constexpr int kControl = 256;
constexpr int kWider = 1;
constexpr int kPartialClear = 2;

// Codes at 9 bits, following each width increase (256, 1) as a real stream does.
std::vector<std::uint8_t> codeStream(const std::vector<int>& codes) {
    LsbBitWriter w;
    int width = 9;
    bool afterControl = false;
    for (int c : codes) {
        w.field(static_cast<std::uint32_t>(c), width);
        if (afterControl && c == kWider && width < 13) ++width;
        afterControl = !afterControl && c == kControl;
    }
    return w.bytes();
}

std::string unshrink(const std::vector<std::uint8_t>& in, bool* ok = nullptr) {
    DataBuffer out;
    bool result = Unshrink::unshrink(in.data(), static_cast<std::uint32_t>(in.size()), out);
    if (ok) *ok = result;
    return std::string(reinterpret_cast<const char*>(out.data()), out.size());
}
}  // namespace

TEST(Unshrink, DecodesHandBuiltStreams) {
    struct Case {
        const char* name;
        std::vector<int> codes;
        std::string expected;
    } cases[] = {
        {"no input", {}, ""},
        {"a single byte", {'A'}, "A"},
        {"defined code", {'a', 'b', 257, 'c'}, "ababc"},
        // 257 is the code being defined: the previous string plus its own first byte.
        {"code being defined", {'A', 257, 258}, "AAAAAA"},
        {"wider codes", {'x', kControl, kWider, 'y', 257, kControl, kWider, 'z'}, "xyxyz"},
        // The fifth increase would pass 13 bits and is ignored.
        {"width stops at 13 bits",
         {'a', kControl, kWider, kControl, kWider, kControl, kWider, kControl, kWider, kControl, kWider, 'b'},
         "ab"},
        {"unknown subcode", {'a', kControl, 7, 'b', 257}, "abab"},
        // 257 "ab" is the prefix of 259 "abc" and keeps its string; the leaves 258 and 259 are
        // freed and reused lowest first: 258 becomes "cd", 259 "da".
        {"partial clear", {'a', 'b', 257, 'c', kControl, kPartialClear, 'd', 257, 258, 259}, "ababcdabcdda"},
        {"control code at the end", {'a', 'b', kControl}, "ab"},
    };
    for (const Case& c : cases) {
        bool ok = false;
        EXPECT_EQ(unshrink(codeStream(c.codes), &ok), c.expected) << c.name;
        EXPECT_TRUE(ok) << c.name;
    }
    EXPECT_EQ(unshrink({0x41}), "") << "fewer than 9 bits";
    EXPECT_EQ(unshrink(codeStream({300, 'a'})), "") << "a stream must begin with a byte";
}

// Past the last code the table has no room: further codes define nothing, and the stream goes
// on decoding with the codes it has.
TEST(Unshrink, KeepsDecodingWhenTheTableIsFull) {
    std::vector<int> codes = {'a', kControl, kWider, kControl, kWider, kControl, kWider, kControl, kWider};
    for (int i = 0; i < 8200; ++i) codes.push_back(i % 2 ? 'b' : 'a');
    codes.push_back(8191);
    codes.push_back(257);
    std::string out = unshrink(codeStream(codes));
    ASSERT_EQ(out.size(), 1u + 8200u + 2u + 2u);
    EXPECT_EQ(out.substr(out.size() - 4), "baaa");  // 8191 was defined last as "ba", 257 first as "aa"
}

// A code freed by a partial clear can become the next code's prefix and then be reused for that
// very code: its string would loop. Decoding stops there instead of spinning.
TEST(Unshrink, StopsOnAPrefixLoop) {
    bool ok = true;
    std::string out = unshrink(codeStream({'a', 'b', 257, kControl, kPartialClear, 'c', 257}), &ok);
    EXPECT_EQ(out, "ababc");
    EXPECT_FALSE(ok);
}

// Output leaves in 64 KiB blocks; a long run crosses several block edges intact. Each code is
// the one being defined, one byte longer than the previous: 2 + 3 + ... + 645 bytes after 'z'.
TEST(Unshrink, LongOutputCrossesBlockEdges) {
    std::vector<int> codes = {'z', kControl, kWider, kControl, kWider, kControl, kWider, kControl, kWider};
    for (int c = 257; c <= 900; ++c) codes.push_back(c);
    std::string out = unshrink(codeStream(codes));
    EXPECT_EQ(out.size(), 1u + (645u * 646u / 2u - 1u));
    EXPECT_EQ(out.find_first_not_of('z'), std::string::npos);
}
