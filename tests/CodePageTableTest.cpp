// Every table code page against an independent reference read at test time (Python's codecs,
// glibc iconv, Perl's Encode, ICU, a glibc charmap or a file of tools/mappings, through
// tools/codepage_reference.py): single bytes 1-255 and every mapped double-byte code decode as
// the reference says, and every UTF-16 code unit encodes as the reference says. The only
// differences allowed are listed per page below. Pages made from one reference are checked
// against a second one as well where the machine has one, be it only a near relative.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "HexText.h"
#include "base/DataBuffer.h"
#include "base/EncodingConvert.h"

namespace {

struct Reference {
    const char* kind;  // py, iconv, perl, icu or charmap
    const char* name;
};

struct Page {
    int codePage;
    Reference decode;
    Reference encode;
    bool multiByte = false;
    // Allowed differences, each with its reason in `why`.
    std::set<unsigned> units = {};        // code units whose encoding may differ
    unsigned byteLow = 1, byteHigh = 0;   // single bytes whose decoding may differ, and units
                                          // encoded to (or by the reference to) such a byte
    bool longCodesAbsent = false;         // reference codes longer than the table format holds
    std::set<unsigned> decodeBytes = {};  // single bytes whose decoding may differ
    const char* why = "";
    bool second = false;  // a second check of a page already checked against its own reference
};

Page same(int cp, const char* kind, const char* name) { return Page{cp, {kind, name}, {kind, name}}; }

Page multi(int cp, const char* kind, const char* name) {
    Page p = same(cp, kind, name);
    p.multiByte = true;
    return p;
}

Page withUnits(Page p, std::set<unsigned> units, const char* why) {
    p.units = std::move(units);
    p.why = why;
    return p;
}

Page withLongCodes(Page p, const char* why) {
    p.longCodesAbsent = true;
    p.why = why;
    return p;
}

// A second reference, a near relative of the page: the bytes and units where the two differ
// are allowed.
Page relative(int cp, const char* kind, const char* name, std::set<unsigned> bytes, std::set<unsigned> units,
              const char* why) {
    Page p = same(cp, kind, name);
    p.decodeBytes = std::move(bytes);
    p.units = std::move(units);
    p.why = why;
    p.second = true;
    return p;
}

// Mac Arabic input is prepared before its table: 0x81 and the digits 0xB0-0xB9 are folded.
Page macArabic() {
    Page p = same(10004, "py", "mac_arabic");
    p.decodeBytes = {0x81, 0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6, 0xB7, 0xB8, 0xB9};
    p.why = "Mac Arabic preparation folds 0x81 and 0xB0-0xB9 before the table";
    return p;
}

// 28596 and 1256 write Arabic-Indic digits as ASCII digits.
Page arabicDigits(int cp, const char* name) {
    std::set<unsigned> digits;
    for (unsigned d = 0; d < 10; ++d) digits.insert({0x0660 + d, 0x06F0 + d});
    return withUnits(same(cp, "py", name), digits, "Arabic-Indic digits are written as ASCII digits");
}

const char kOneWay[] = "one-way mappings of the reference: a table holds round-trip mappings only";

std::vector<Page> pages() {
    // clang-format off
    std::vector<Page> list = {
        same(1250, "py", "cp1250"), same(1251, "py", "cp1251"), same(1252, "py", "cp1252"),
        same(1253, "py", "cp1253"), same(1254, "py", "cp1254"), same(1255, "py", "cp1255"),
        arabicDigits(1256, "cp1256"), same(1257, "py", "cp1257"), same(1258, "py", "cp1258"),
        same(874, "py", "cp874"), same(20127, "py", "ascii"), same(20866, "py", "koi8_r"),
        same(21866, "py", "koi8_u"), same(28592, "py", "iso8859_2"), same(28593, "py", "iso8859_3"),
        same(28594, "py", "iso8859_4"), same(28595, "py", "iso8859_5"), arabicDigits(28596, "iso8859_6"),
        same(28597, "py", "iso8859_7"), same(28598, "py", "iso8859_8"), same(28599, "py", "iso8859_9"),
        same(28603, "py", "iso8859_13"), same(28605, "py", "iso8859_15"), same(38598, "py", "iso8859_8"),
        same(437, "py", "cp437"), same(708, "iconv", "ASMO-708"), same(720, "py", "cp720"),
        same(737, "py", "cp737"), same(775, "py", "cp775"), same(850, "py", "cp850"),
        same(852, "py", "cp852"), same(855, "py", "cp855"), same(857, "py", "cp857"),
        same(858, "py", "cp858"), same(860, "py", "cp860"), same(861, "py", "cp861"),
        same(862, "py", "cp862"), same(863, "py", "cp863"), same(864, "py", "cp864"),
        same(865, "py", "cp865"), same(866, "py", "cp866"), same(869, "py", "cp869"),
        same(37, "py", "cp037"), same(500, "py", "cp500"), same(870, "iconv", "IBM870"),
        same(875, "py", "cp875"), same(1026, "py", "cp1026"), same(1047, "iconv", "IBM1047"),
        same(1140, "py", "cp1140"), same(20273, "py", "cp273"), same(20277, "iconv", "IBM277"),
        same(20278, "iconv", "IBM278"), same(20280, "iconv", "IBM280"), same(20284, "iconv", "IBM284"),
        same(20285, "iconv", "IBM285"), same(20290, "iconv", "IBM290"), same(20297, "iconv", "IBM297"),
        same(20420, "iconv", "IBM420"), same(20423, "iconv", "IBM423"), same(20424, "py", "cp424"),
        same(20871, "iconv", "IBM871"), same(20880, "iconv", "IBM880"), same(20905, "iconv", "IBM905"),
        same(21025, "iconv", "IBM1025"), same(20838, "icu", "ibm-838"), same(20924, "mapping", "ibm924"),
        relative(20838, "iconv", "IBM1160", {0xFE}, {0x20AC}, "IBM 1160 is IBM 838 with the euro at 0xFE"),
        same(10000, "py", "mac_roman"), macArabic(), same(10005, "perl", "MacHebrew"),
        same(10006, "py", "mac_greek"), same(10007, "py", "mac_cyrillic"), same(10010, "py", "mac_romanian"),
        same(10017, "iconv", "MAC-UK"), same(10021, "perl", "MacThai"), same(10029, "py", "mac_latin2"),
        same(10079, "py", "mac_iceland"), same(10081, "py", "mac_turkish"), same(10082, "py", "mac_croatian"),
        same(20106, "iconv", "DIN_66003"), same(20107, "iconv", "SEN_850200_B"),
        same(20108, "iconv", "NS_4551-1"), same(20105, "charmap", "ISO_646.IRV"),
        relative(20105, "py", "ascii", {0x24, 0x7E}, {0x24, 0x7E, 0xA4, 0x203E},
                 "the 1983 IRV has the currency sign at 0x24 and the overline at 0x7E where ASCII has $ and ~"),
        withLongCodes(same(20261, "iconv", "T.61-8BIT"), "accent + letter pairs: a single-byte table holds 1-byte codes"),
        withLongCodes(same(20269, "iconv", "ISO_6937"), "accent + letter pairs: a single-byte table holds 1-byte codes"),
        multi(936, "iconv", "CP936"), multi(949, "py", "cp949"), multi(1361, "py", "johab"),
        multi(51936, "py", "gb2312"),
        withUnits(multi(932, "py", "cp932"), {0x00A2, 0x00A3, 0x00AC, 0x2016, 0x2212, 0x301C}, kOneWay),
        withUnits(multi(950, "py", "cp950"), {0x00A2, 0x00A3, 0x00A5, 0x2022, 0x203E, 0x223C, 0x2609, 0x2641, 0xFF64},
                  kOneWay),
    };
    // clang-format on
    const std::pair<int, const char*> euroEbcdic[] = {{1141, "IBM1141"}, {1142, "IBM1142"}, {1143, "IBM1143"},
                                                      {1144, "IBM1144"}, {1145, "IBM1145"}, {1146, "IBM1146"},
                                                      {1147, "IBM1147"}, {1148, "IBM1148"}, {1149, "IBM1149"}};
    for (const auto& [cp, name] : euroEbcdic) list.push_back(withUnits(same(cp, "iconv", name), {0x203E}, kOneWay));
    Page eucJp = withLongCodes(multi(51932, "py", "euc_jp"),
                               "3-byte JIS X 0212 codes: a table holds 1- and 2-byte codes");
    eucJp.units = {0x00A5, 0x203E};  // and two one-way mappings of the reference
    list.push_back(eucJp);
    Page eucKr = withLongCodes(multi(51949, "py", "euc_kr"),
                               "8-byte hangul compositions: a table holds 1- and 2-byte codes");
    eucKr.units = {0x3164};  // and one one-way mapping of the reference
    list.push_back(eucKr);
    // Choice of the design: 28591 is the 1252 table, so 0x80-0x9F decode as in Windows-1252.
    Page latin1 = same(28591, "py", "latin_1");
    latin1.byteLow = 0x80;
    latin1.byteHigh = 0x9F;
    latin1.why = "28591 uses the 1252 table for 0x80-0x9F";
    list.push_back(latin1);
    // Choice of the design: 10001 decodes with the 932 table and encodes with it patched to Mac
    // Japanese; ASCII units stay ASCII because the 932 table is ASCII-compatible.
    Page macJapanese{10001, {"py", "cp932"}, {"perl", "MacJapanese"}, true};
    macJapanese.units = {0x005C, 0x007F};
    macJapanese.why = "10001 is the 932 table with a patch for encoding; U+005C and U+007F stay ASCII";
    list.push_back(macJapanese);
    return list;
}

struct Mappings {
    std::map<std::string, unsigned> decode;  // bytes -> unit
    std::map<unsigned, std::string> encode;  // unit -> bytes
};

std::string bytesOf(const std::string& hex) {
    std::vector<std::uint8_t> bytes = fromHex(hex);
    return std::string(bytes.begin(), bytes.end());
}

std::optional<Mappings> readReference(const Reference& ref, bool multiByte) {
    std::string command = std::string("python3 \"") + TN_SOURCE_DIR + "/tools/codepage_reference.py\" dump " +
                          ref.kind + " '" + ref.name + "' " + (multiByte ? "multi" : "single");
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return std::nullopt;
    Mappings m;
    char kind = 0;
    char a[32], b[32];
    while (std::fscanf(pipe, " %c %31s %31s", &kind, a, b) == 3) {
        if (kind == 'D') m.decode[bytesOf(a)] = static_cast<unsigned>(std::stoul(b, nullptr, 16));
        if (kind == 'E') m.encode[static_cast<unsigned>(std::stoul(a, nullptr, 16))] = bytesOf(b);
    }
    if (pclose(pipe) != 0 || m.decode.empty()) return std::nullopt;
    return m;
}

std::string run(int from, int to, const std::string& in) {
    DataBuffer out;
    EncodingConvert().convert(from, to, in.data(), static_cast<std::uint32_t>(in.size()), out);
    return std::string(reinterpret_cast<const char*>(out.data()), out.size());
}

std::string unitBytes(unsigned unit) {
    return std::string{static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
}

std::string show(const std::string& bytes) { return bytes.empty() ? "(none)" : toHex(bytes); }

bool inByteRange(const Page& p, const std::string& bytes) {
    return bytes.size() == 1 && static_cast<unsigned char>(bytes[0]) >= p.byteLow &&
           static_cast<unsigned char>(bytes[0]) <= p.byteHigh;
}

class CodePageTable : public testing::TestWithParam<Page> {};

}  // namespace

TEST_P(CodePageTable, MatchesReference) {
    const Page& page = GetParam();
    std::optional<Mappings> dec = readReference(page.decode, page.multiByte);
    bool oneReference = std::string(page.decode.kind) == page.encode.kind &&
                        std::string(page.decode.name) == page.encode.name;
    std::optional<Mappings> enc = oneReference ? dec : readReference(page.encode, page.multiByte);
    ASSERT_TRUE(dec && enc) << "reference " << page.decode.kind << " " << page.decode.name << " unavailable";
    std::vector<std::string> faults;
    // Decoding: every single byte, then every mapped code of the reference.
    std::set<std::string> keys;
    for (int b = 1; b < 256; ++b) keys.insert(std::string(1, static_cast<char>(b)));
    for (const auto& [bytes, unit] : dec->decode) keys.insert(bytes);
    for (const std::string& key : keys) {
        auto it = dec->decode.find(key);
        std::string want = it == dec->decode.end() ? "" : unitBytes(it->second);
        std::string got = run(page.codePage, 1200, key);
        bool allowed = inByteRange(page, key) ||
                       (key.size() == 1 && page.decodeBytes.count(static_cast<unsigned char>(key[0])));
        if (got != want && !allowed) faults.push_back("decode " + show(key) + ": " + show(got) + " != " + show(want));
    }
    // Encoding: every code unit that stands for a character on its own.
    size_t maxLength = page.multiByte ? 2 : 1;
    for (unsigned unit = 1; unit < 0x10000; ++unit) {
        if (unit >= 0xD800 && unit <= 0xDFFF) continue;
        auto it = enc->encode.find(unit);
        std::string want = it == enc->encode.end() ? "" : it->second;
        if (want.size() > maxLength && page.longCodesAbsent) want.clear();
        std::string got = run(1200, page.codePage, unitBytes(unit));
        if (got == want || page.units.count(unit) || inByteRange(page, got) || inByteRange(page, want)) continue;
        char name[8];
        std::snprintf(name, sizeof name, "U+%04X", unit);
        faults.push_back(std::string("encode ") + name + ": " + show(got) + " != " + show(want));
    }
    for (size_t i = 0; i < faults.size() && i < 20; ++i) ADD_FAILURE() << page.codePage << " " << faults[i];
    EXPECT_TRUE(faults.empty()) << faults.size() << " differences; allowed: " << page.why;
}

INSTANTIATE_TEST_SUITE_P(AllPages, CodePageTable, testing::ValuesIn(pages()),
                         [](const testing::TestParamInfo<Page>& info) {
                             const Page& p = info.param;
                             return "cp" + std::to_string(p.codePage) +
                                    (p.second ? std::string("_") + p.decode.kind : "");
                         });
