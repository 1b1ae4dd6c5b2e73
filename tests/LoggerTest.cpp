// Logger, ErrorLog and LogEntry2 through the LogBase interface: renderings byte for byte,
// key handling, context pruning, the LogBase helpers and saving.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "base/StringBuffer.h"
#include "base/TickCount.h"
#include "log/LogNull.h"
#include "log/ErrorLog.h"
#include "log/Logger.h"

namespace {

enum class Form { Xml, Html, Text };

std::string render(LogBase& log, Form form = Form::Text) {
    StringBuffer out("stale text is replaced");
    if (form == Form::Xml) log.getLogXml(out);
    if (form == Form::Html) log.getLogHtml(out);
    if (form == Form::Text) log.getLogText(out);
    return std::string(out.text(), static_cast<std::size_t>(out.length()));
}

// The text rendering of a log holding one key/value entry at the root.
std::string valueLine(const char* key, const char* value) {
    return std::string("TarnelLog:\r\n  ") + key + ": " + value + "\r\n";
}

// A small record with every node kind, a pruned empty context and text needing escapes.
void fillSample(LogBase& log) {
    log.enterContext("OpenZip");
    log.logData("zipFilename", "a<b.zip");
    log.logInfo("Opened & read");
    log.enterContext("Unused");
    log.leaveContext();
    log.enterContext("CentralDir");
    log.logDataLong("NumEntries", 3);
    log.logError("Failed to read Zip (9)");
    log.logRaw("<raw/>");
    log.leaveContext();
    log.leaveContext();
}

}  // namespace

TEST(Logger, RendersSmallTreeByteForByte) {
    Logger log;
    fillSample(log);
    EXPECT_EQ(render(log, Form::Xml),
              "<TarnelLog>\r\n"
              "<OpenZip>\r\n"
              "<zipFilename><![CDATA[a<b.zip]]></zipFilename>\r\n"
              "<info><![CDATA[Opened & read]]></info>\r\n"
              "<CentralDir>\r\n"
              "<NumEntries>3</NumEntries>\r\n"
              "<error>Failed to read Zip (9)</error>\r\n"
              "<raw/>\r\n"
              "</CentralDir>\r\n"
              "</OpenZip>\r\n"
              "</TarnelLog>\r\n");
    EXPECT_EQ(render(log, Form::Html),
              "TarnelLog:<blockquote>\r\n"
              "OpenZip:<blockquote>\r\n"
              "zipFilename: a&lt;b.zip<br>\r\n"
              "Opened &amp; read<br>\r\n"
              "CentralDir:<blockquote>\r\n"
              "NumEntries: 3<br>\r\n"
              "Failed to read Zip (9)<br>\r\n"
              "&lt;raw/&gt;<br>\r\n"
              "</blockquote>\r\n"
              "</blockquote>\r\n"
              "</blockquote>\r\n");
    EXPECT_EQ(render(log, Form::Text),
              "TarnelLog:\r\n"
              "  OpenZip:\r\n"
              "    zipFilename: a<b.zip\r\n"
              "    Opened & read\r\n"
              "    CentralDir:\r\n"
              "      NumEntries: 3\r\n"
              "      Failed to read Zip (9)\r\n"
              "      <raw/>\r\n");
}

TEST(Logger, FreshAndClearedLogRenderRootOnly) {
    Logger log;
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(render(log, Form::Xml), "<TarnelLog>\r\n</TarnelLog>\r\n");
        EXPECT_EQ(render(log, Form::Text), "TarnelLog:\r\n");
        EXPECT_EQ(render(log, Form::Html), "TarnelLog:<blockquote>\r\n</blockquote>\r\n");
        fillSample(log);
        log.enterContext("LeftOpen");
        EXPECT_TRUE(log.clearLog());
    }
    // The stack went back to the root as well.
    log.logInfo("x");
    EXPECT_EQ(render(log), "TarnelLog:\r\n  x\r\n");
}

TEST(Logger, KeysAreTrimmedAndBlanksBecomeUnderscores) {
    struct Case {
        const char* key;
        const char* stored;
    } cases[] = {
        {" \tzip file  name\r\n", "zip_file__name"},
        {"CentralDirAddr", "CentralDirAddr"},
        {"a\tb", "a\tb"},  // only 0x20 inside is replaced
    };
    for (const auto& c : cases) {
        Logger log;
        EXPECT_TRUE(log.logData(c.key, "v"));
        EXPECT_EQ(render(log), valueLine(c.stored, "v")) << c.key;
    }
    Logger log;
    EXPECT_FALSE(log.logData(" \t\r\n ", "v"));
    EXPECT_FALSE(log.logData(nullptr, "v"));
    EXPECT_FALSE(log.logDataLong("  ", 1));
    log.logDataTick(" ");
    EXPECT_EQ(render(log), "TarnelLog:\r\n");
}

TEST(Logger, ValueForms) {
    Logger a, b, c, d, e, f, g;
    EXPECT_TRUE(a.logData("k", nullptr));
    EXPECT_TRUE(b.logDataHex("k", 255));
    EXPECT_TRUE(c.logDataHex("k", 0));
    EXPECT_TRUE(d.logDataLong("k", -1));
    EXPECT_TRUE(e.logDataLong("k", INT32_MIN));
    EXPECT_TRUE(f.logDataInt64("k", std::int64_t{1} << 32));
    EXPECT_TRUE(g.logDataInt64("k", INT64_MIN));
    const std::pair<Logger*, const char*> expected[] = {{&a, "(NULL)"},
                                                        {&b, "0xff"},
                                                        {&c, "0x0"},
                                                        {&d, "-1"},
                                                        {&e, "-2147483648"},
                                                        {&f, "4294967296"},
                                                        {&g, "-9223372036854775808"}};
    for (const auto& [log, value] : expected) EXPECT_EQ(render(*log), valueLine("k", value));
}

TEST(Logger, TickIsLowerCaseHexOfTheCounter) {
    Logger log;
    const std::uint32_t before = tickCountMs();
    log.logDataTick("tick");
    const std::uint32_t after = tickCountMs();
    const std::string text = render(log);
    const std::string prefix = "TarnelLog:\r\n  tick: ";
    ASSERT_EQ(text.compare(0, prefix.size(), prefix), 0) << text;
    const std::string hex = text.substr(prefix.size(), text.size() - prefix.size() - 2);
    EXPECT_EQ(hex.find_first_not_of("0123456789abcdef"), std::string::npos) << hex;
    const auto tick = static_cast<std::uint32_t>(std::stoul(hex, nullptr, 16));
    EXPECT_LE(tick - before, after - before);
}

TEST(Logger, XmlWrapping) {
    struct Case {
        const char* value;
        const char* xml;
    } cases[] = {
        {"a<b", "<![CDATA[a<b]]>"},
        {"a>b", "<![CDATA[a>b]]>"},
        {"a&b", "<![CDATA[a&b]]>"},
        {"a\nb", "<![CDATA[a\nb]]>"},
        {"a\tb", "<![CDATA[a\tb]]>"},
        {"a\rb", "a\rb"},
        {"\"q\"", "\"q\""},
        {"<![CDATA[x<y]]>", "<![CDATA[x<y]]>"},
        // A lone section end would close the section early; it is split across two.
        {"a]]>b", "<![CDATA[a]]]]><![CDATA[>b]]>"},
    };
    for (const auto& c : cases) {
        Logger log;
        log.logData("k", c.value);
        EXPECT_EQ(render(log, Form::Xml), std::string("<TarnelLog>\r\n<k>") + c.xml + "</k>\r\n</TarnelLog>\r\n")
            << c.value;
    }
}

TEST(Logger, HtmlEscapesValuesButNotKeysOrTags) {
    Logger log;
    log.enterContext("<T>");
    log.logData("<k>", "\"&<>\"");
    log.logError("a & b");
    EXPECT_EQ(render(log, Form::Html),
              "TarnelLog:<blockquote>\r\n<T>:<blockquote>\r\n<k>: &quot;&amp;&lt;&gt;&quot;<br>\r\n"
              "a &amp; b<br>\r\n</blockquote>\r\n</blockquote>\r\n");
}

TEST(Logger, EmptyNestedContextsArePruned) {
    Logger log;
    log.enterContext("A");
    log.enterContext("B");
    log.leaveContext();
    log.leaveContext();
    EXPECT_EQ(render(log), "TarnelLog:\r\n  A:\r\n") << "B pruned, A under the root stays";

    log.clearLog();
    log.enterContext("A");
    log.enterContext("B");
    log.enterContext("C");
    log.leaveContext();
    log.leaveContext();
    log.logInfo("after");
    log.leaveContext();
    EXPECT_EQ(render(log), "TarnelLog:\r\n  A:\r\n    after\r\n") << "B empties once C goes";

    EXPECT_TRUE(log.leaveContext());
    EXPECT_TRUE(log.leaveContext());
    log.logInfo("root");
    EXPECT_EQ(render(log), "TarnelLog:\r\n  A:\r\n    after\r\n  root\r\n") << "leaving at the root does nothing";
}

TEST(Logger, NullMessagesAddNothing) {
    Logger log;
    EXPECT_TRUE(log.logError(nullptr));
    EXPECT_TRUE(log.logInfo(nullptr));
    EXPECT_TRUE(log.logRaw(nullptr));
    EXPECT_EQ(render(log), "TarnelLog:\r\n");
}

TEST(Logger, Helpers) {
    static const unsigned char sig[] = {0x50, 0x4B, 0x06, 0x06};
    static const unsigned char seventeen[] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88,
                                              0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF, 0x10};
    struct Case {
        void (*call)(LogBase&);
        const char* value;
    } cases[] = {
        {[](LogBase& l) { l.logDataBytes("k", sig, 4); }, "504B 0606 "},
        {[](LogBase& l) { l.logDataBytes("k", sig, 3); }, "504B 06"},
        {[](LogBase& l) { l.logDataBytes("k", seventeen, 17); }, "0011 2233 4455 6677 8899 AABB CCDD EEFF \n10"},
        {[](LogBase& l) { l.logDataBytes("k", sig, 0); }, ""},
        {[](LogBase& l) { l.logDataBytes("k", nullptr, 4); }, ""},
        {[](LogBase& l) { l.logDataBracketed("k", "C:\\x y"); }, "[C:\\x y]"},
        {[](LogBase& l) { l.logDataBracketed("k", nullptr); }, "[]"},
        {[](LogBase& l) { l.logDataQP("k", "a=b"); }, "a=3Db"},
        {[](LogBase& l) { l.logDataQP("k", nullptr); }, ""},
    };
    for (const auto& c : cases) {
        Logger log;
        c.call(log);
        EXPECT_EQ(render(log), valueLine("k", c.value));
    }
}

TEST(Logger, ElapsedTime) {
    Logger log;
    const std::uint32_t now = tickCountMs();
    log.logElapsedMs("future", now + 60000u);
    log.logElapsedMs("huge", now - 900000000u);
    EXPECT_EQ(render(log), "TarnelLog:\r\n") << "a wrapped counter or a huge span logs nothing";

    log.logElapsedMs("k", now - 5000u);
    const std::uint32_t later = tickCountMs();
    unsigned ms = 0;
    ASSERT_EQ(std::sscanf(render(log).c_str(), "TarnelLog:\r\n  k: Elapsed time: %u millisec\r\n", &ms), 1);
    EXPECT_GE(ms, 5000u);
    EXPECT_LE(ms, 5000u + (later - now));
}

TEST(Logger, SystemErrorText) {
    Logger log;
    log.logWindowsError(0);
    EXPECT_EQ(render(log), "TarnelLog:\r\n");
    log.logWindowsError(2);
    EXPECT_EQ(render(log), valueLine("WindowsError", std::strerror(2)));
}

TEST(Logger, SaveLogXmlWritesTheXmlRendering) {
    Logger log;
    fillSample(log);
    const std::string path = ::testing::TempDir() + "logger_save.xml";
    ASSERT_TRUE(log.saveLogXml(path.c_str()));
    std::ifstream in(path, std::ios::binary);
    std::stringstream saved;
    saved << in.rdbuf();
    EXPECT_EQ(saved.str(), render(log, Form::Xml));
    std::remove(path.c_str());
    EXPECT_FALSE(log.saveLogXml((::testing::TempDir() + "no/such/dir/log.xml").c_str()));
    EXPECT_FALSE(log.saveLogXml(nullptr));
}

TEST(Logger, ThreadsInterleaveWholeEntries) {
    Logger log;
    auto writer = [&log](const char* key) {
        for (int i = 0; i < 2000; ++i) log.logDataLong(key, i);
    };
    std::thread t1(writer, "one"), t2(writer, "two");
    t1.join();
    t2.join();
    const std::string text = render(log);
    std::size_t lines = 0, ones = 0;
    for (std::size_t p = 0; (p = text.find("\r\n", p)) != std::string::npos; p += 2) ++lines;
    for (std::size_t p = 0; (p = text.find("  one: ", p)) != std::string::npos; ++p) ++ones;
    EXPECT_EQ(lines, 4001u);
    EXPECT_EQ(ones, 2000u);
}

TEST(Logger, LogNullAcceptsEverything) {
    LogNull log;
    EXPECT_TRUE(log.logError("e"));
    EXPECT_TRUE(log.enterContext("c"));
    EXPECT_TRUE(log.logData("k", "v"));
    EXPECT_TRUE(log.saveLogXml("/nonexistent/dir/x.xml"));
    log.logDataBytes("k", reinterpret_cast<const unsigned char*>("ab"), 2);
    EXPECT_EQ(render(log), "stale text is replaced");
}

// However much is logged, the first and the last lines stay, with a line in between saying how
// many were left out; every rendering stays bounded and XML stays one element. A context
// entered once the log is full and left empty disappears as it does in the tree.
TEST(Logger, LongLogsKeepTheirStartAndEnd) {
    Logger log;
    log.enterContext("Unzip");
    const std::string filler(90, 'x');
    const int total = 3 * static_cast<int>((ErrorLog::kHeadBytes + ErrorLog::kTailBytes) / 100);
    for (int i = 0; i < total; ++i) {
        log.logData("line", (std::to_string(i) + filler).c_str());
        log.enterContext("Empty");
        log.leaveContext();
    }
    log.logError("the end");
    log.leaveContext();
    const std::string text = render(log);
    EXPECT_EQ(text.rfind("TarnelLog:\r\n  Unzip:\r\n    line: 0x", 0), 0u);
    EXPECT_NE(text.find("\r\n    the end\r\n"), std::string::npos);
    EXPECT_NE(text.find(std::to_string(total - 1) + filler), std::string::npos);
    EXPECT_EQ(text.find("Empty"), std::string::npos);
    const std::size_t at = text.find("Log limit reached: ");
    ASSERT_NE(at, std::string::npos);
    const std::size_t omitted = std::stoul(text.substr(at + 19));
    std::size_t shown = 0;
    for (std::size_t p = 0; (p = text.find("line: ", p)) != std::string::npos; ++p) ++shown;
    EXPECT_EQ(shown + omitted, static_cast<std::size_t>(total));
    for (Form form : {Form::Xml, Form::Html, Form::Text})
        EXPECT_LT(render(log, form).size(), 2 * (ErrorLog::kHeadBytes + ErrorLog::kTailBytes));
    const std::string xml = render(log, Form::Xml);
    EXPECT_EQ(xml.rfind("<TarnelLog>", 0), 0u);
    EXPECT_EQ(xml.substr(xml.size() - 14), "</TarnelLog>\r\n");
    log.clearLog();
    EXPECT_EQ(render(log), "TarnelLog:\r\n");
}
