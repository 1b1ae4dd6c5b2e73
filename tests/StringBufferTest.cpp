// StringBuffer: growth numbers, storage hand-over, editing operations and queries.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <new>
#include <string>

#include "base/DataBuffer.h"
#include "base/StringBuffer.h"

namespace {

std::string str(const StringBuffer& s) { return std::string(s.text(), static_cast<std::size_t>(s.length())); }

}  // namespace

TEST(StringBuffer, CharByCharGrowthReallocatesOnceAt202) {
    StringBuffer s;
    EXPECT_EQ(s.capacity(), 202);
    EXPECT_EQ(s.growth(), 202);
    int reallocations = 0;
    for (int i = 1; i <= 202; ++i) {
        const char* before = s.text();
        ASSERT_TRUE(s.appendChar('x'));
        if (s.text() != before) {
            ++reallocations;
            EXPECT_EQ(i, 202);
        }
    }
    EXPECT_EQ(reallocations, 1);
    EXPECT_EQ(s.capacity(), 404);
    EXPECT_EQ(s.growth(), 202);
    EXPECT_EQ(s.length(), 202);
    EXPECT_EQ(s.text()[202], 0);
}

TEST(StringBuffer, ConstructorsSizeTheirStorage) {
    StringBuffer fromText("hello");
    EXPECT_EQ(fromText.capacity(), 6);
    EXPECT_EQ(fromText.growth(), 200);
    StringBuffer fromNull(static_cast<const char*>(nullptr));
    EXPECT_EQ(fromNull.capacity(), 4);
    EXPECT_EQ(fromNull.length(), 0);
    StringBuffer big;
    big.append("tagged text");
    big.setTag(2);
    StringBuffer copy(big);
    EXPECT_EQ(copy.capacity(), 12);
    EXPECT_EQ(copy.growth(), 200);
    EXPECT_EQ(copy.tag(), 2);
    EXPECT_TRUE(copy.equalsBuffer(big));
    big.setTag(7);
    EXPECT_EQ(big.tag(), 0);
    StringBuffer sized(50, true);
    EXPECT_EQ(sized.capacity(), 50);
    EXPECT_EQ(sized.growth(), 50);
    StringBuffer defaulted(0, true);
    EXPECT_EQ(defaulted.capacity(), 200);
}

TEST(StringBuffer, GrowthFollowsSizeUpToItsCapAndRoomKeepsIt) {
    std::string block(2000000, 'b');
    StringBuffer s("ab");
    ASSERT_TRUE(s.appendBytes(block.data(), 1000));  // 2 + 1000 + 200, no terminator slot
    EXPECT_EQ(s.capacity(), 1202);
    EXPECT_EQ(s.growth(), 601);
    ASSERT_TRUE(s.append(block.c_str()));  // text appends add one for the terminator
    EXPECT_EQ(s.capacity(), 1002 + 2000000 + 601 + 1);
    EXPECT_EQ(s.growth(), 500000);
    int capacity = s.capacity();
    ASSERT_TRUE(s.ensureRoom(capacity));
    EXPECT_EQ(s.capacity(), s.length() + capacity + 500000 + 1);
    StringBuffer p("xy");
    ASSERT_TRUE(p.prepend(block.c_str() + 1999000));
    EXPECT_EQ(p.capacity(), 1002 + 200 + 1);
    EXPECT_EQ(p.growth(), 200);
    EXPECT_EQ(str(p), std::string(1000, 'b') + "xy");
}

TEST(StringBuffer, EmptyAppendsChangeNothing) {
    StringBuffer s("abc");
    const char* data = s.text();
    EXPECT_TRUE(s.appendBytes(nullptr, 5));
    EXPECT_TRUE(s.appendBytes("zz", 0));
    EXPECT_TRUE(s.append(""));
    EXPECT_TRUE(s.append(nullptr));
    EXPECT_TRUE(s.prepend(""));
    EXPECT_EQ(s.text(), data);
    EXPECT_EQ(s.capacity(), 4);
    EXPECT_EQ(str(s), "abc");
}

TEST(StringBuffer, ShrinkToFitOnlyWhenWorthIt) {
    StringBuffer s;
    s.append("abc");
    s.shrinkToFit();
    EXPECT_EQ(s.capacity(), 4);
    EXPECT_EQ(str(s), "abc");
    StringBuffer near("abcdef");
    near.dropLast(3);  // length 3, capacity 7: 3 + 4 is not below 7
    near.shrinkToFit();
    EXPECT_EQ(near.capacity(), 7);
}

TEST(StringBuffer, TakeDataAdoptsATerminatedBlockWithoutCopying) {
    DataBuffer d;
    d.append("hello", 6);
    const std::uint8_t* block = d.data();
    std::uint32_t blockCapacity = d.capacity();
    StringBuffer s("old");
    ASSERT_TRUE(s.takeData(d));
    EXPECT_EQ(reinterpret_cast<const std::uint8_t*>(s.text()), block);
    EXPECT_EQ(s.capacity(), static_cast<int>(blockCapacity));
    EXPECT_EQ(s.growth(), 1024);
    EXPECT_EQ(str(s), "hello");
    EXPECT_EQ(d.data(), nullptr);
    EXPECT_EQ(d.size(), 0u);
    EXPECT_EQ(d.capacity(), 0u);
}

TEST(StringBuffer, TakeDataOfOneByteOnlyClears) {
    DataBuffer d;
    d.appendByte(0);
    StringBuffer s("old");
    EXPECT_TRUE(s.takeData(d));
    EXPECT_EQ(s.length(), 0);
    EXPECT_EQ(d.size(), 1u);
}

// A string must never free a block it was only lent, nor lose its terminator.
TEST(StringBuffer, TakeDataCopiesBorrowedAndTerminatesOpenBlocks) {
    char lent[] = "lent";
    DataBuffer borrowed;
    borrowed.borrow(lent, 5);
    StringBuffer a;
    ASSERT_TRUE(a.takeData(borrowed));
    EXPECT_EQ(str(a), "lent");
    EXPECT_NE(a.text(), lent);
    EXPECT_EQ(borrowed.data(), nullptr);

    DataBuffer open;
    open.append("open", 4);
    StringBuffer b;
    ASSERT_TRUE(b.takeData(open));
    EXPECT_EQ(str(b), "open");
    EXPECT_EQ(b.text()[4], 0);
}

TEST(StringBuffer, ReplaceAllNeverRescansInsertedText) {
    struct Case {
        const char* text;
        const char* pattern;
        const char* replacement;
        int count;
        const char* result;
    };
    const Case cases[] = {
        {"aaa", "a", "aa", 3, "aaaaaa"}, {"a.b.c", ".", nullptr, 2, "abc"}, {"abcabc", "bc", "x", 2, "axax"},
        {"abc", "", "x", 0, "abc"},      {"abc", "zz", "x", 0, "abc"},      {"abab", "ab", "ba", 2, "baba"},
        {"", "a", "b", 0, ""},
    };
    for (const Case& c : cases) {
        StringBuffer s(c.text);
        EXPECT_EQ(s.replaceAll(c.pattern, c.replacement), c.count) << c.text << " / " << c.pattern;
        EXPECT_EQ(str(s), c.result) << c.text << " / " << c.pattern;
    }
}

TEST(StringBuffer, EditsMayTakeTheirArgumentsFromTheBufferItself) {
    StringBuffer s("abcabc");
    EXPECT_EQ(s.replaceAll(s.text() + 4, s.text()), 2);  // "bc" -> "abcabc"
    EXPECT_EQ(str(s), "aabcabcaabcabc");
    StringBuffer p("xyz");
    ASSERT_TRUE(p.prepend(p.text() + 1));
    EXPECT_EQ(str(p), "yzxyz");
    StringBuffer t("path/name");
    ASSERT_TRUE(t.setString(t.text() + 5));
    EXPECT_EQ(str(t), "name");
    StringBuffer a("ab");
    for (int i = 0; i < 8; ++i) ASSERT_TRUE(a.append(a.text()));
    EXPECT_EQ(a.length(), 512);
    EXPECT_EQ(a.text()[511], 'b');
}

TEST(StringBuffer, EditingOperations) {
    struct Case {
        const char* name;
        const char* input;
        std::function<void(StringBuffer&)> edit;
        std::string expected;
    };
    const Case cases[] = {
        {"trim", " \t\r\nab c\n \t", [](StringBuffer& s) { s.trim(); }, "ab c"},
        {"trim all", " \t ", [](StringBuffer& s) { s.trim(); }, ""},
        {"dropLast", "abcdef", [](StringBuffer& s) { s.dropLast(2); }, "abcd"},
        {"dropLast more", "abc", [](StringBuffer& s) { s.dropLast(10); }, ""},
        {"truncateAtChar", "a/b/c", [](StringBuffer& s) { s.truncateAtChar('/'); }, "a"},
        {"truncateAtChar absent", "abc", [](StringBuffer& s) { s.truncateAtChar('/'); }, "abc"},
        {"removeChar", "a-b-c-", [](StringBuffer& s) { s.removeChar('-'); }, "abc"},
        {"replaceChar", "a\\b\\c", [](StringBuffer& s) { s.replaceChar('\\', '/'); }, "a/b/c"},
        {"replaceFirst", "one two two", [](StringBuffer& s) { EXPECT_TRUE(s.replaceFirst("two", "2")); }, "one 2 two"},
        {"replaceFirst absent", "abc", [](StringBuffer& s) { EXPECT_FALSE(s.replaceFirst("x", "y")); }, "abc"},
        {"replaceFirst delete", "abc", [](StringBuffer& s) { EXPECT_TRUE(s.replaceFirst("b", nullptr)); }, "ac"},
        {"removeWildcardChars", "<a>*b?|c", [](StringBuffer& s) { s.removeWildcardChars(); }, "abc"},
        {"removeControlChars",
         "\x01"
         "a\tb\x1B\x7F\x1F"
         "c \x80",
         [](StringBuffer& s) { s.removeControlChars(); }, "abc \x80"},
        {"keepFileName slash", "dir\\sub/file.txt", [](StringBuffer& s) { s.keepFileName(); }, "file.txt"},
        {"keepFileName backslash", "dir/sub\\file.txt", [](StringBuffer& s) { s.keepFileName(); }, "file.txt"},
        {"keepFileName none", "file.txt", [](StringBuffer& s) { s.keepFileName(); }, "file.txt"},
        {"keepFileName trailing", "dir/", [](StringBuffer& s) { s.keepFileName(); }, ""},
        {"toLowerLatin", "AbZ\xC0\xDF\xE0\xBF@[", [](StringBuffer& s) { s.toLowerLatin(); }, "abz\xE0\xFF\xE0\xBF@["},
        {"escapeXml", "<a href=\"x&amp;\">", [](StringBuffer& s) { s.escapeXml(); },
         "&lt;a href=&quot;x&amp;amp;&quot;&gt;"},
        {"prepend", "world", [](StringBuffer& s) { s.prepend("hello "); }, "hello world"},
        {"appendCharRepeated", "x", [](StringBuffer& s) { s.appendCharRepeated('-', 3); }, "x---"},
        {"setString null keeps", "keep", [](StringBuffer& s) { s.setString(nullptr); }, "keep"},
        {"appendBytes zeros", "a", [](StringBuffer& s) { s.appendBytes("\0b", 2); }, std::string("a\0b", 3)},
    };
    for (const Case& c : cases) {
        StringBuffer s(c.input);
        c.edit(s);
        EXPECT_EQ(str(s), c.expected) << c.name;
        EXPECT_EQ(s.text()[s.length()], 0) << c.name;
    }
}

TEST(StringBuffer, ToLowerLatinStopsAtTheFirstZeroByte) {
    StringBuffer s;
    s.appendBytes("AB\0CD", 5);
    s.toLowerLatin();
    EXPECT_EQ(str(s), std::string("ab\0CD", 5));
}

TEST(StringBuffer, WipeOverwritesThePassword) {
    StringBuffer s("secret");
    const char* data = s.text();
    s.wipe();
    EXPECT_EQ(s.length(), 0);
    EXPECT_EQ(std::string(data + 1, 5), "     ");
}

TEST(StringBuffer, AppendHexGroupsPairsAndLines) {
    std::uint8_t bytes[17];
    for (int i = 0; i < 17; ++i) bytes[i] = static_cast<std::uint8_t>(i * 17);
    StringBuffer s;
    ASSERT_TRUE(s.appendHex(bytes, 17));
    EXPECT_EQ(str(s), "0011 2233 4455 6677 8899 AABB CCDD EEFF \n10");
    StringBuffer three;
    three.appendHex("\x01\xAB\xFF", 3);
    EXPECT_EQ(str(three), "01AB FF");
}

TEST(StringBuffer, SystemMessageIsTrimmedText) {
    StringBuffer s("  code: ");
    ASSERT_TRUE(s.appendSystemMessage(ENOENT));
    EXPECT_EQ(str(s), std::string("code: ") + std::strerror(ENOENT));
    errno = EACCES;
    StringBuffer last;
    last.appendLastError();
    EXPECT_EQ(str(last), std::strerror(EACCES));
}

TEST(StringBuffer, ConvertCodePageIdentityCasesAndUnsupportedPages) {
    struct Case {
        const char* text;
        int from;
        int to;
        const char* result;
    };
    const Case cases[] = {
        {"plain ASCII", 437, 65001, "plain ASCII"},
        {"plain ASCII", 437, 1252, "plain ASCII"},
        {"plain ASCII", 437, 28591, "plain ASCII"},
        {"caf\xC3\xA9", 65001, 65001, "caf\xC3\xA9"},
        {"plain ASCII", 437, 99999, ""},
    };
    for (const Case& c : cases) {
        StringBuffer s(c.text);
        s.convertCodePage(c.from, c.to);
        EXPECT_EQ(str(s), c.result) << c.from << " -> " << c.to;
    }
}

TEST(StringBuffer, Queries) {
    StringBuffer s("Hello.txt");
    EXPECT_TRUE(s.beginsWith("Hello"));
    EXPECT_FALSE(s.beginsWith("hello"));
    EXPECT_FALSE(s.beginsWith(nullptr));
    EXPECT_FALSE(s.beginsWith("Hello.txt.bak"));
    EXPECT_TRUE(s.endsWith(".txt"));
    EXPECT_TRUE(s.endsWith(""));
    EXPECT_FALSE(s.endsWith("Hello.txt!"));
    EXPECT_TRUE(s.equals("Hello.txt"));
    EXPECT_FALSE(s.equals(nullptr));
    EXPECT_TRUE(StringBuffer().equals(nullptr));
    EXPECT_EQ(s.lastChar(), 't');
    EXPECT_EQ(StringBuffer().lastChar(), 0);
    EXPECT_EQ(s.charAt(0), 'H');
    EXPECT_EQ(s.charAt(-1), 0);
    EXPECT_EQ(s.charAt(9), 0);
    EXPECT_TRUE(s.containsChar('.'));
    EXPECT_FALSE(s.containsChar('/'));
    StringBuffer mixed("ab\xE9");
    EXPECT_TRUE(mixed.isSevenBit(2));
    EXPECT_FALSE(mixed.isSevenBit());
    EXPECT_FALSE(mixed.isSevenBit(50));
}

TEST(StringBufferDeathTest, UseAfterDestructionStopsTheProcess) {
    alignas(StringBuffer) unsigned char storage[sizeof(StringBuffer)];
    auto* s = new (storage) StringBuffer("gone");
    s->~StringBuffer();
    EXPECT_DEATH(s->append("x"), "");
}
