// XString: lazy forms, the ANSI loss status, appends and edits. The ANSI code page follows the
// environment's locale, so each test fixes it: "C" gives 1252, "C.UTF-8" gives 65001.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "base/SystemCodePage.h"
#include "base/XString.h"

namespace {

class XStringTest : public testing::Test {
protected:
    void SetUp() override { useLocale("C"); }
    void TearDown() override {
        if (m_saved.empty()) unsetenv("LC_ALL");
        else setenv("LC_ALL", m_saved.c_str(), 1);
    }
    void useLocale(const char* name) {
        if (!m_savedOnce) {
            const char* old = std::getenv("LC_ALL");
            m_saved = old != nullptr ? old : "";
            m_savedOnce = true;
        }
        setenv("LC_ALL", name, 1);
    }

private:
    std::string m_saved;
    bool m_savedOnce = false;
};

const char kHanUtf8[] = "\xE4\xB8\xAD";  // U+4E2D, outside 1252

}  // namespace

TEST_F(XStringTest, AnsiCodePageFollowsLocale) {
    EXPECT_EQ(SystemCodePage::ansi(), 1252);
    useLocale("C.UTF-8");
    EXPECT_EQ(SystemCodePage::ansi(), 65001);
    EXPECT_EQ(SystemCodePage::oem(), 437);
}

TEST_F(XStringTest, NewAndEmptyStates) {
    XString s;
    EXPECT_TRUE(s.isUtf8Current() && s.isAnsiCurrent() && s.isUtf16Current());
    EXPECT_EQ(s.length(), 0);
    EXPECT_STREQ(s.getUtf8(), "");
    s.setUtf8("abc");
    s.setUtf16(u"");  // first unit 0: the empty state
    EXPECT_TRUE(s.isUtf8Current() && s.isAnsiCurrent() && s.isUtf16Current());
    EXPECT_STREQ(s.getAnsi(), "");
    EXPECT_EQ(s.getUtf16()[0], u'\0');
    s.setAnsi(nullptr);
    EXPECT_EQ(s.ansiStatus(), XString::kAnsiUnknown);
}

TEST_F(XStringTest, LossyUtf8NameKeepsFullUtf16) {
    XString s;
    s.setUtf8((std::string("a") + kHanUtf8 + "b\xC3\xA9").c_str());
    EXPECT_FALSE(s.isAnsiLossless());
    EXPECT_EQ(s.ansiStatus(), XString::kAnsiLossy);
    EXPECT_FALSE(s.isAnsiCurrent());
    EXPECT_STREQ(s.getAnsi(), "ab\xE9");
    EXPECT_EQ(std::u16string(s.getUtf16()), u"a\u4E2Db\u00E9");
}

TEST_F(XStringTest, SetAnsiIsLosslessWithoutConverting) {
    XString s;
    s.setAnsi("caf\xE9");
    EXPECT_TRUE(s.isAnsiLossless());
    EXPECT_FALSE(s.isUtf8Current());
    EXPECT_FALSE(s.isUtf16Current());
    EXPECT_STREQ(s.getUtf8(), "caf\xC3\xA9");
}

TEST_F(XStringTest, AppendAfterSetAnsiRecomputesStatus) {
    XString s;
    s.setAnsi("dir\\");
    EXPECT_TRUE(s.appendUtf8(kHanUtf8));
    EXPECT_EQ(s.ansiStatus(), XString::kAnsiUnknown);
    EXPECT_FALSE(s.isAnsiLossless());
    EXPECT_EQ(std::u16string(s.getUtf16()), u"dir\\\u4E2D");
}

TEST_F(XStringTest, LengthCountsUnitsThenAnsiBytes) {
    XString s;
    s.setUtf16(u"\u00E9\U0001F600x");  // 4 code units
    EXPECT_EQ(s.length(), 4);
    EXPECT_STREQ(s.getAnsi(), "\xE9x");  // the surrogates have no 1252 bytes
    EXPECT_EQ(s.length(), 2);
}

TEST_F(XStringTest, SurrogatesAndMarks) {
    XString s;
    s.setUtf16(u"\U0001F600");
    EXPECT_STREQ(s.getUtf8(), "\xED\xA0\xBD\xED\xB8\x80");  // each surrogate on its own
    s.setUtf8(
        "a\xF0\x9F\x98\x80"
        "b");  // 4-byte sequences are skipped
    EXPECT_EQ(std::u16string(s.getUtf16()), u"ab");
    EXPECT_TRUE(s.isAnsiLossless());
    s.setUtf8(
        "\xEF\xBB\xBF"
        "abc");
    EXPECT_EQ(std::u16string(s.getUtf16()), u"abc");
    EXPECT_STREQ(s.getAnsi(), "abc");
    s.setUtf16(u"\uFEFFxyz");
    EXPECT_STREQ(s.getUtf8(), "xyz");
    EXPECT_STREQ(s.getAnsi(), "xyz");
}

TEST_F(XStringTest, Utf8LocaleMakesEveryBmpNameLossless) {
    useLocale("C.UTF-8");
    XString s;
    s.setUtf8(kHanUtf8);
    EXPECT_TRUE(s.isAnsiLossless());
    EXPECT_STREQ(s.getAnsi(), kHanUtf8);
    XString t;
    t.setAnsi(kHanUtf8);
    EXPECT_EQ(std::u16string(t.getUtf16()), u"\u4E2D");
}

TEST_F(XStringTest, AppendsKeepOneFormCurrent) {
    XString s;
    s.setUtf8("a");
    EXPECT_TRUE(s.appendUtf16(u"\u00E9"));
    EXPECT_TRUE(s.isUtf16Current());
    EXPECT_FALSE(s.isUtf8Current());
    EXPECT_TRUE(s.appendAnsi("\xE8"));
    EXPECT_TRUE(s.isAnsiCurrent() && !s.isUtf16Current());
    EXPECT_STREQ(s.getUtf8(), "a\xC3\xA9\xC3\xA8");
    XString other;
    other.setUtf16(u"/\u4E2D");
    EXPECT_TRUE(s.appendString(other));
    EXPECT_TRUE(s.appendString(s));
    EXPECT_EQ(std::u16string(s.getUtf16()), u"a\u00E9\u00E8/\u4E2Da\u00E9\u00E8/\u4E2D");
    XString copy;
    copy.copyFrom(s);
    EXPECT_EQ(copy.length(), s.length());
    EXPECT_STREQ(copy.getUtf8(), s.getUtf8());
}

TEST_F(XStringTest, EditsWorkOnTheirForm) {
    XString s;
    s.setAnsi(" \t dir\\sub\\f\xE9.txt\r\n");
    s.trim();
    EXPECT_TRUE(s.beginsWith("dir"));
    EXPECT_TRUE(s.endsWith(".txt"));
    EXPECT_TRUE(s.endsWith(""));
    EXPECT_FALSE(s.endsWith("dir"));
    EXPECT_TRUE(s.replaceFirst("sub", "SUB"));
    EXPECT_FALSE(s.replaceFirst("absent", "x"));
    s.replaceChar('\\', '/');
    EXPECT_TRUE(s.isUtf16Current() && !s.isUtf8Current() && !s.isAnsiCurrent());
    EXPECT_STREQ(s.getUtf8(), "dir/SUB/f\xC3\xA9.txt");
    EXPECT_STREQ(s.getAnsi(), "dir/SUB/f\xE9.txt");
    EXPECT_TRUE(s.isAnsiLossless());
}
