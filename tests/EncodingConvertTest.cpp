// Code page conversion: byte order marks, the UTF codecs, table pages, the special encodings
// and malformed input. Whole tables are checked against references in CodePageTableTest.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "HexText.h"
#include "base/ConvertOutput.h"
#include "base/DataBuffer.h"
#include "base/EncodingConvert.h"
#include "base/Japanese.h"
#include "base/StringBuffer.h"

namespace {

struct Converted {
    bool ok;
    std::string bytes;
};

Converted convert(int from, int to, const std::string& in) {
    DataBuffer out;
    bool ok = EncodingConvert().convert(from, to, in.data(), static_cast<std::uint32_t>(in.size()), out);
    return {ok, std::string(reinterpret_cast<const char*>(out.data()), out.size())};
}

std::string hex(const std::string& s) { return toHex(s, " "); }

struct Case {
    const char* what;
    int from;
    int to;
    std::string in;
    std::string out;
    bool ok;
};

std::string operator""_b(const char* s, std::size_t n) { return std::string(s, n); }

const std::string kEsc = "\x1B";

const Case kCases[] = {
    // Core conversion and byte order marks.
    {"437 umlauts", 437, 65001, "\x81\x9A"_b, "\xC3\xBC\xC3\x9C"_b, true},
    {"UTF-8 mark alone", 65001, 1200, "\xEF\xBB\xBF"_b, ""_b, true},
    {"UTF-8 mark removed", 65001, 1200,
     "\xEF\xBB\xBF"
     "A"_b,
     "A\0"_b, true},
    {"4-byte UTF-8 skipped without loss", 65001, 1200, "\xF0\x9F\x98\x80"_b, ""_b, true},
    {"cut UTF-8 sequence skipped", 65001, 1200, "a\xE2\x82"_b, "a\0"_b, true},
    {"E0 needs A0 or more", 65001, 1200, "\xE0\x80\x80"_b, ""_b, true},
    {"encoded surrogate accepted", 65001, 1200, "\xED\xA0\x80"_b, "\x00\xD8"_b, true},
    {"surrogate pair as two 3-byte sequences", 1200, 65001, "\x3D\xD8\x00\xDE"_b, "\xED\xA0\xBD\xED\xB8\x80"_b, true},
    {"unit 0 skipped by the UTF-8 encoder", 1200, 65001, "\0\0A\0"_b, "A"_b, true},
    {"odd UTF-16 length", 1200, 65001, "A\0B"_b, "A"_b, false},
    {"1-byte UTF-16", 1200, 65001, "A"_b, ""_b, false},
    {"1200 with a big-endian mark", 1200, 65001, "\xFE\xFF\0A"_b, "A"_b, true},
    {"1201 with a little-endian mark", 1201, 65001,
     "\xFF\xFE"
     "A\0"_b,
     "A"_b, true},
    {"1201 without a mark", 1201, 65001, "\0A\0B"_b, "AB"_b, true},
    {"1201 odd length reported", 1201, 65001, "\0A\0"_b, "A"_b, false},
    {"UTF-16 mark alone", 1200, 1252, "\xFF\xFE"_b, ""_b, true},
    {"euro, missing character, x", 1200, 1252,
     "\xAC\x20\x00\x4E"
     "x\0"_b,
     "\x80"
     "x"_b,
     false},
    {"28591 decodes 0x80 as in 1252", 28591, 1200, "\x80"_b, "\xAC\x20"_b, true},
    {"28591 gap stays unmapped", 28591, 1200, "\x81"_b, ""_b, false},
    {"byte 0 of a table page", 1252, 1200, "\0"_b, "\0\0"_b, true},
    {"unsupported target", 1252, 99999, "abc"_b, ""_b, false},
    {"unsupported source", 99999, 65001, "abc"_b, ""_b, false},
    {"empty input, unsupported target", 1252, 99999, ""_b, ""_b, true},
    {"empty input, unsupported source", 99999, 65001, ""_b, ""_b, true},
    {"equal pages copy", 1252, 0, "\x81\xFF"_b, "\x81\xFF"_b, true},
    {"two stages both reported", 1252, 437,
     "\x80"
     "a"_b,
     "a"_b, false},
    {"two-stage table to table", 1252, 850, "\xE9"_b, "\x82"_b, true},
    {"Arabic-Indic digits to 1256", 1200, 1256, "\x61\x06\xF5\x06"_b, "15"_b, true},
    {"Shift-JIS double byte", 932, 65001, "\x82\xA0"_b, "\xE3\x81\x82"_b, true},
    {"Shift-JIS cut lead byte", 932, 1200, "a\x82"_b, "a\0"_b, false},
    {"Shift-JIS lead before a space", 932, 1200, "\x82 "_b, " \0"_b, false},
    {"10001 decodes as 932", 10001, 65001, "\x82\xA0"_b, "\xE3\x81\x82"_b, true},
    // UTF-16BE, UTF-32.
    {"to 1201", 65001, 1201, "A\xC3\xA9"_b, "\0A\0\xE9"_b, true},
    {"UTF-8 to UTF-32BE", 65001, 65006, "A"_b, "\0\0\0A"_b, true},
    {"UTF-8 to UTF-32LE", 65001, 65005, "\xF0\x9F\x98\x80"_b, "\x00\xF6\x01\x00"_b, true},
    {"UTF-32 mark alone", 65005, 65001, "\xFF\xFE\0\0"_b, ""_b, true},
    {"UTF-32BE mark selects big-endian", 65005, 65001, "\0\0\xFE\xFF\0\0\0A"_b, "A"_b, true},
    {"UTF-32 above 0x1FFFFF", 65005, 65001, "\0\0\x20\0"_b, "\xEF\xBF\xBD"_b, true},
    {"UTF-32 incomplete group ignored", 65005, 65001, "A\0\0\0B\0"_b, "A"_b, true},
    {"illegal UTF-8 ends UTF-32 output", 65001, 65005,
     "A\xC0"
     "B"_b,
     "A\0\0\0"_b, false},
    {"F4 90 is beyond U+10FFFF", 65001, 65006, "\xF4\x90\x80\x80"_b, ""_b, false},
    // UTF-7.
    {"UTF-7 a+b", 1200, 65000, "a\0+\0b\0"_b, "a+-b"_b, true},
    {"UTF-7 e-acute", 1200, 65000, "\xE9\0"_b, "+AOk-"_b, true},
    {"UTF-7 drops a leading mark", 1200, 65000,
     "\xFF\xFE\xFF\xFE"
     "a\0"_b,
     "a"_b, true},
    {"UTF-7 tilde is shifted", 1200, 65000, "~\0"_b, "+AH4-"_b, true},
    {"UTF-7 decode e-acute", 65000, 1200, "+AOk"_b, "\xE9\0"_b, true},
    {"UTF-7 decode +-", 65000, 1200, "+-"_b, "+\0"_b, true},
    {"UTF-7 empty run", 65000, 1200, "+!"_b, "!\0"_b, false},
    {"UTF-7 non-zero leftover bits", 65000, 1200, "+AOl-"_b, "\xE9\0"_b, false},
    {"UTF-7 8-bit byte", 65000, 1200, "\xE9"_b, "\xE9\0"_b, false},
    // ISO-2022-KR.
    {"949 to 2022-KR", 949, 50225, "\xB0\xA1"_b, kEsc + "$)C\x0E\x30\x21"_b, true},
    {"949 to 2022-KR shift in", 949, 50225,
     "\xB0\xA1"
     "a"_b,
     kEsc + "$)C\x0E\x30\x21\x0F"
            "a",
     true},
    {"949 to 2022-KR lone lead dropped", 949, 50225, "a\xB0"_b, kEsc + "$)Ca"_b, false},
    {"2022-KR to 949", 50225, 949,
     kEsc + "$)C\x0E\x30\x21\x0F"
            "a",
     "\xB0\xA1"
     "a"_b,
     true},
    {"2022-KR stray escape, unpaired byte", 50225, 949, kEsc + "x\x0E\x30"_b, "x"_b, true},
    // ISO-2022-JP.
    {"half-width ka + voiced mark", 932, 50220, "\xB6\xDE"_b, kEsc + "$B\x25\x2C"_b + kEsc + "(B"_b, true},
    {"half-width u + voiced mark is vu", 932, 50220, "\xB3\xDE"_b, kEsc + "$B\x25\x74"_b + kEsc + "(B"_b, true},
    {"half-width ha + semi-voiced mark", 932, 50221, "\xCA\xDF"_b, kEsc + "$B\x25\x51"_b + kEsc + "(B"_b, true},
    {"voiced mark on its own", 932, 50222, "\xDE"_b, kEsc + "$B\x21\x2B"_b + kEsc + "(B"_b, true},
    {"IBM extension to NEC row", 932, 50220, "\xFA\x40"_b, kEsc + "$B\x7C\x71"_b + kEsc + "(B"_b, true},
    {"NEC row to IBM extension", 50220, 932, kEsc + "$B\x7C\x71"_b + kEsc + "(B"_b, "\xFA\x40"_b, true},
    {"escape before ASCII and LF", 932, 50220, "\x82\xA0\n"_b, kEsc + "$B\x24\x22"_b + kEsc + "(B\n"_b, true},
    {"2022-JP katakana mode", 50220, 932, kEsc + "(I\x36"_b, "\xB6"_b, true},
    {"2022-JP LF ends two-byte mode", 50220, 932, kEsc + "$B\x24\x22\nA"_b, "\x82\xA0\nA"_b, true},
    {"2022-JP unknown escape skipped", 50220, 932, kEsc + "$(DA"_b, "A"_b, true},
    {"2022-JP unpaired byte dropped", 50220, 932, kEsc + "$B\x24"_b, ""_b, true},
    {"2022-JP to UTF-8", 50220, 65001, kEsc + "$B\x24\x22"_b + kEsc + "(B"_b, "\xE3\x81\x82"_b, true},
    // Mac Arabic preparation: a run of two set bytes is reversed, then folded.
    {"Mac Arabic run reversed and folded", 10004, 65001, "\xA8\xA9"_b, ")("_b, true},
    {"Mac Arabic digits", 10004, 65001, "\xB1\xB2"_b, "21"_b, true},
};

}  // namespace

TEST(EncodingConvert, Cases) {
    for (const Case& c : kCases) {
        Converted r = convert(c.from, c.to, c.in);
        EXPECT_EQ(hex(r.bytes), hex(c.out)) << c.what;
        EXPECT_EQ(r.ok, c.ok) << c.what;
    }
}

// Reachable only through Japanese itself: the core never hands it an invalid Shift-JIS pair.
TEST(EncodingConvert, JapaneseKeepsInvalidPairs) {
    DataBuffer out;
    {
        ConvertOutput o(out);
        Japanese::encode(reinterpret_cast<const std::uint8_t*>("\x82\x20\x82\xA0\x81"), 5, o);
    }
    EXPECT_EQ(hex(std::string(reinterpret_cast<const char*>(out.data()), out.size())),
              hex("\x82\x20"_b + kEsc + "$B\x24\x22" + kEsc + "(B\x81"));
}

TEST(EncodingConvert, AppendsAndKeepsOutput) {
    DataBuffer out;
    out.append("x", 1);
    EXPECT_TRUE(EncodingConvert().convert(1252, 65001, "\xE9", 1, out));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(out.data()), out.size()), "x\xC3\xA9");
    EXPECT_TRUE(EncodingConvert().convert(1252, 65001, "", 0, out));
    EXPECT_EQ(out.size(), 3u);
}

// Every special encoding and a few table pages survive a trip from UTF-16 and back.
TEST(EncodingConvert, RoundTrips) {
    const std::u16string text = u"Grüße, + ~ \\ 1-2 & ok";
    std::string utf16(reinterpret_cast<const char*>(text.data()), text.size() * 2);
    for (int cp : {65001, 1201, 65005, 65006, 65000, 1252, 850, 20273}) {
        Converted there = convert(1200, cp, utf16);
        ASSERT_TRUE(there.ok) << cp;
        Converted back = convert(cp, 1200, there.bytes);
        EXPECT_TRUE(back.ok) << cp;
        EXPECT_EQ(hex(back.bytes), hex(utf16)) << cp;
    }
    const std::string japanese = "\x82\xA0\x93\xFA\x96\x7B\xFA\x40 ABC\x81\x40";
    for (int cp : {50220, 50221, 50222}) {
        EXPECT_EQ(hex(convert(cp, 932, convert(932, cp, japanese).bytes).bytes), hex(japanese)) << cp;
    }
    const std::string korean = "\xC7\xD1\xB1\xDB abc \xB0\xA1";
    EXPECT_EQ(hex(convert(50225, 949, convert(949, 50225, korean).bytes).bytes), hex(korean));
}

// The tables are built once under a lock while other threads convert through them.
TEST(EncodingConvert, ConcurrentFirstUse) {
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &failures] {
            for (int i = 0; i < 50; ++i) {
                Converted r = convert(936, 65001, "\xD6\xD0\xCE\xC4");
                if (!r.ok || r.bytes != "\xE4\xB8\xAD\xE6\x96\x87") ++failures[t];
            }
        });
    }
    for (auto& th : threads) th.join();
    for (int f : failures) EXPECT_EQ(f, 0);
}

TEST(EncodingConvert, StringBufferConvertCodePage) {
    StringBuffer text("caf\xE9");
    EXPECT_TRUE(text.convertCodePage(1252, 65001));
    EXPECT_STREQ(text.text(), "caf\xC3\xA9");
    StringBuffer lossy(
        "a\xE2\x82\xAC"
        "b");
    EXPECT_FALSE(lossy.convertCodePage(65001, 437));
    EXPECT_STREQ(lossy.text(), "ab");
    StringBuffer unsupported("abc");
    EXPECT_FALSE(unsupported.convertCodePage(1252, 99999));
    EXPECT_EQ(unsupported.length(), 0);
}
