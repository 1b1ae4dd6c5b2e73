// Behaviour of Unzip on hand-made archives: confinement to the folder, the CRC check, methods
// nothing decodes, failed decodes, progress and abort, skips, wildcard matching, the CLI.
#include <gtest/gtest.h>

#include <algorithm>

#include "CrcReference.h"
#include "ExtractFixture.h"
#include "TempFolder.h"
#include "ZlibRaw.h"
#include "extract/EntryExtractor.h"
#include "extract/UnzipController.h"

using namespace extractfix;
using zipfix::Archive;
using zipfix::Member;

namespace {

Member stored(const std::string& name, const std::string& data) {
    Member m{.name = name, .data = data};
    m.crc = bitwiseCrc32(data);
    return m;
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(ExtractSafety, NamesNeverLeaveTheFolder) {
    TempFolder scratch;
    fs::path dir = scratch.path();
    Archive a;
    for (const char* name : {"../escape1.txt", "a/../../escape2.txt", "/abs.txt", "C:..\\c.txt", "..\\..\\w.txt",
                             "./dot.txt", "x/./y/../z.txt"})
        a.members.push_back(stored(name, name));
    std::string archive = zipfix::writeFile(dir / "a.zip", a.build());
    Extracted r = extract(archive, dir / "box" / "inner");
    ASSERT_EQ(r.count, 7) << r.log;
    // Nothing beside the extraction folder, nothing above it.
    EXPECT_EQ(listTree(dir / "box").size(), listTree(dir / "box" / "inner").size() + 1);
    std::string names;
    for (auto& [name, path] : listTree(dir / "box" / "inner")) names += name + " ";
    EXPECT_EQ(names, "a/ a/escape2.txt abs.txt c.txt dot.txt escape1.txt w.txt x/ x/y/ x/y/z.txt ");
}

TEST(ExtractSafety, SafeRelativeName) {
#ifdef _WIN32
    const char* unc = "y.txt";
#else
    const char* unc = "srv\\share\\y.txt";  // no network roots off Windows
#endif
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"a\\b.txt", "a\\b.txt"},
        {"..\\..\\etc\\passwd", "etc\\passwd"},
        {"\\\\srv\\share\\y.txt", unc},
        {"C:\\x\\y.txt", "x\\y.txt"},
        {"C:..\\x", "x"},
        {"d\\..", "d\\"},
        {"..", ""},
        {"a\\.\\b\\", "a\\b\\"},
        {".. \\x", ".. \\x"},  // not a dot component: a name with a blank, below the folder
    };
    for (const Case& c : cases) EXPECT_EQ(EntryExtractor::safeRelativeName(c.in), c.out) << c.in;
}

// Each bad entry fails alone, leaves no file, and fails the whole Unzip.
TEST(ExtractCrc, MismatchDeletesOutputAndFailsEntry) {
    TempFolder scratch;
    fs::path dir = scratch.path();
    Archive a;
    a.members.push_back(stored("good.txt", "fine"));
    Member bad = stored("bad.txt", "flipped");
    bad.crc ^= 1;
    a.members.push_back(bad);
    Member badDescriptor = stored("baddd.txt", "descriptor");
    badDescriptor.descriptor = true;  // local CRC 0: only the descriptor's value can catch it
    badDescriptor.crc ^= 0x100;
    a.members.push_back(badDescriptor);
    Member noBytes = stored("nobytes.txt", "");  // no stored bytes, yet a CRC of content
    noBytes.crc = 0x12345678;
    a.members.push_back(noBytes);
    Member zeroCrc = stored("zero.txt", "a CRC of 0 is checked too");
    zeroCrc.crc = 0;
    a.members.push_back(zeroCrc);
    std::string archive = zipfix::writeFile(dir / "a.zip", a.build());
    Extracted r = extract(archive, dir / "out");
    EXPECT_EQ(r.count, -1);
    EXPECT_TRUE(contains(r.log, "CRC mismatch - Zip file is corrupt.")) << r.log;
    EXPECT_TRUE(contains(r.log, "calculatedCrc") && contains(r.log, "storedCrc"));
    EXPECT_TRUE(contains(r.log, "Not all files extracted successfully."));
    EXPECT_EQ(zipfix::readFile(dir / "out/good.txt"), "fine");
    EXPECT_FALSE(fs::exists(dir / "out/zero.txt"));
    EXPECT_FALSE(fs::exists(dir / "out/bad.txt"));
    EXPECT_FALSE(fs::exists(dir / "out/baddd.txt"));
    EXPECT_FALSE(fs::exists(dir / "out/nobytes.txt"));
}

TEST(ExtractMethods, UndecodableEntriesFailWithoutOutput) {
    TempFolder scratch;
    fs::path dir = scratch.path();
    Archive a;
    Member wavpack = stored("wavpack.bin", "wvpk not decoded here");
    wavpack.method = 97;
    a.members.push_back(wavpack);
    Member corrupt = stored("corrupt.bin", "\xff\xff\xff\xff");
    corrupt.method = 8;  // block type 3
    a.members.push_back(corrupt);
    a.members.push_back(stored("ok.txt", "ok"));
    std::string archive = zipfix::writeFile(dir / "a.zip", a.build());
    Extracted r = extract(archive, dir / "out");
    EXPECT_EQ(r.count, -1);
    EXPECT_TRUE(contains(r.log, "Unsupported compression method")) << r.log;
    EXPECT_TRUE(contains(r.log, "compressionMethod"));
    EXPECT_TRUE(contains(r.log, "Compressed to uncompressed failed."));
    EXPECT_TRUE(contains(r.log, "Unzip failed"));
    EXPECT_FALSE(fs::exists(dir / "out/wavpack.bin"));
    EXPECT_FALSE(fs::exists(dir / "out/corrupt.bin"));
    EXPECT_EQ(zipfix::readFile(dir / "out/ok.txt"), "ok");
}

std::string threeFiles(const fs::path& dir) {
    Archive a;
    a.members.push_back(stored("a.txt", std::string(100, 'a')));
    a.members.push_back(stored("b.txt", std::string(100, 'b')));
    a.members.push_back(stored("c.txt", std::string(50, 'c')));
    return zipfix::writeFile(dir / "a.zip", a.build());
}

TEST(ExtractProgress, PercentagesAndEventOrder) {
    TempFolder scratch;
    fs::path dir = scratch.path();
    RecordingProgress p;
    Extracted r = extract(threeFiles(dir), dir / "out", &p);
    EXPECT_EQ(r.count, 3) << r.log;
    EXPECT_EQ(p.percents, (std::vector<int>{40, 80, 100}));
    // begin, the check before the entries, the check at entry 0, three to-be-unzipped, then a
    // percent and a file-unzipped per entry, end.
    EXPECT_EQ(p.events, "Baattt%f%f%fE");
}

TEST(ExtractProgress, AbortFromPercentFailsTheEntry) {
    TempFolder scratch;
    fs::path dir = scratch.path();
    RecordingProgress p;
    p.abortAtPercent = 1;
    Extracted r = extract(threeFiles(dir), dir / "out", &p);
    EXPECT_EQ(r.count, -1) << r.log;
    EXPECT_EQ(p.percents, (std::vector<int>{40}));
    EXPECT_FALSE(fs::exists(dir / "out/a.txt"));
    EXPECT_FALSE(fs::exists(dir / "out/b.txt"));
    EXPECT_EQ(p.events.back(), 'E');
}

// An abort answer fails the entry being extracted and ends the extraction: no file is finished
// and no event but the end is raised after it, whichever entry it comes on.
TEST(ExtractProgress, AbortAnswerEndsTheExtractionAtOnce) {
    TempFolder scratch;
    Archive a;
    for (int i = 0; i < 100; ++i) {
        std::string content(1000, static_cast<char>('a' + i % 26));
        Member m = stored("f" + std::to_string(100 + i) + ".txt", content);
        if (i % 2) {  // every other entry deflated
            auto packed = zlibDeflateRaw(reinterpret_cast<const std::uint8_t*>(content.data()), content.size(), 6);
            m.data.assign(packed.begin(), packed.end());
            m.method = 8;
            m.localUncompressed = m.centralUncompressed = 1000;
        }
        a.members.push_back(m);
    }
    const std::string archive = zipfix::writeFile(scratch / "a.zip", a.build());
    for (int at : {10, 50, 100}) {
        SCOPED_TRACE(at);
        RecordingProgress p;
        p.abortAtPercent = at;
        const fs::path out = scratch / std::to_string(at);
        Extracted r = extract(archive, out, &p);
        EXPECT_EQ(r.count, -1) << r.log;
        const std::size_t answer = p.events.find('!');
        ASSERT_NE(answer, std::string::npos);
        EXPECT_EQ(p.events.substr(answer), "!E");
        EXPECT_EQ(p.percents.back(), at);
        const auto finished = static_cast<std::size_t>(std::count(p.events.begin(), p.events.end(), 'f'));
        EXPECT_EQ(finished, static_cast<std::size_t>(at - 1));
        EXPECT_EQ(listTree(out).size(), finished);
    }
}

TEST(ExtractProgress, SkippedEntryIsNotWrittenNorCounted) {
    TempFolder scratch;
    fs::path dir = scratch.path();
    RecordingProgress p;
    p.skipName = "b.txt";
    Extracted r = extract(threeFiles(dir), dir / "out", &p);
    EXPECT_EQ(r.count, 2) << r.log;
    EXPECT_FALSE(fs::exists(dir / "out/b.txt"));
    EXPECT_EQ(p.percents, (std::vector<int>{66, 100}));
}

TEST(ExtractEntries, DirectoriesAndZeroSizes) {
    TempFolder scratch;
    fs::path dir = scratch.path();
    Archive a;
    a.members.push_back(stored("plain/", ""));  // no directory attribute: the name makes a directory
    Member attr = stored("attr", "");
    attr.externalAttributes = 0x10;  // the attribute alone makes a directory
    a.members.push_back(attr);
    a.members.push_back(stored("deep/er/empty.txt", ""));
    Member readOnly = stored("ro.txt", "read only");
    readOnly.externalAttributes = 0x21;
    a.members.push_back(readOnly);
    std::string archive = zipfix::writeFile(dir / "a.zip", a.build());
    Extracted r = extract(archive, dir / "out");
    EXPECT_EQ(r.count, 2) << r.log;  // empty.txt and ro.txt; directories are not counted
    EXPECT_TRUE(fs::is_directory(dir / "out/plain"));
    EXPECT_TRUE(fs::is_directory(dir / "out/attr"));
    EXPECT_EQ(fs::file_size(dir / "out/deep/er/empty.txt"), 0u);
    auto perms = fs::status(dir / "out/ro.txt").permissions();
    EXPECT_EQ(perms & fs::perms::owner_write, fs::perms::none);
}

TEST(ExtractEntries, FolderThatCannotBeCreatedIsReportedOnce) {
    TempFolder scratch;
    fs::path dir = scratch.path();
    zipfix::writeFile(dir / "blocker", "a file where a directory should go");
    Archive a;
    a.members.push_back(stored("blocker/x/1.txt", "1"));
    a.members.push_back(stored("blocker/x/2.txt", "2"));
    a.members.push_back(stored("free.txt", "3"));
    std::string archive = zipfix::writeFile(dir / "a.zip", a.build());
    Extracted r = extract(archive, dir);
    EXPECT_EQ(r.count, -1);
    std::size_t first = r.log.find("UnzipFailedDir");
    ASSERT_NE(first, std::string::npos) << r.log;
    EXPECT_EQ(r.log.find("UnzipFailedDir", first + 1), std::string::npos) << r.log;
    EXPECT_EQ(zipfix::readFile(dir / "free.txt"), "3");
}

TEST(ExtractEntries, EmptyArchiveAndNoArchive) {
    TempFolder scratch;
    fs::path dir = scratch.path();
    std::string archive = zipfix::writeFile(dir / "a.zip", Archive{}.build());
    EXPECT_EQ(extract(archive, dir / "out").count, 0);
    TnZip never;
    EXPECT_EQ(never.Unzip((dir / "out").string().c_str()), 0);
}

// Traditional encryption through the whole road, with the temporary files checked.
TEST(ExtractPassword, TraditionalEncryption) {
    if (!zipfix::haveTool("zip")) GTEST_SKIP();
    TempFolder scratch;
    fs::path dir = scratch.path();
    fs::create_directories(dir / "src");
    fs::create_directories(dir / "tmp");
    std::string text;
    for (int i = 0; i < 2000; ++i) text += "secret line " + std::to_string(i) + "\n";
    zipfix::writeFile(dir / "src/s.txt", text);
    zipfix::writeFile(dir / "src/stored.bin", "tiny");
    int rc = -1;
    zipfix::run("cd '" + (dir / "src").string() +
                    "' && zip -q -P hunter2 ../p.zip s.txt && zip -q -0 -P hunter2 ../p.zip stored.bin",
                &rc);
    ASSERT_EQ(rc, 0);
    for (const char* password : {"hunter2", "wrong"}) {
        TnZip zip;
        zip.SetPassword(password);
        zip.SetTempDir((dir / "tmp").string().c_str());
        ASSERT_TRUE(zip.OpenZip((dir / "p.zip").string().c_str()));
        int count = zip.Unzip((dir / password).string().c_str());
        std::string log = zip.LastErrorText();
        if (std::string(password) == "hunter2") {
            EXPECT_EQ(count, 2) << log;
            EXPECT_EQ(zipfix::readFile(dir / password / "s.txt"), text);
            EXPECT_EQ(zipfix::readFile(dir / password / "stored.bin"), "tiny");
        } else {
            EXPECT_EQ(count, -1);
            EXPECT_TRUE(contains(log, "Password incorrect for password-protected Zip")) << log;
            EXPECT_TRUE(contains(log, "Password decode failed (Zip 2.0 legacy encryption)."));
            EXPECT_FALSE(fs::exists(dir / password / "s.txt"));
        }
        EXPECT_TRUE(fs::is_empty(dir / "tmp")) << "temporary files left behind";
    }
}

TEST(MatchWildcard, Cases) {
    struct Case {
        const char* text;
        const char* pattern;
        bool match;
    } cases[] = {
        {"docs\\readme.txt", "*.TXT", true},
        {"axxbyyc", "a*b*c", true},
        {"axxc", "a*b*c", false},
        {"anything", "*", true},
        {"", "*", true},
        {"", "", true},
        {"", "a", false},
        {"abc", "", false},
        {"ABC", "abc", true},
        {"abcd", "abc", false},
        {"abc", "a**c", true},
        {"ab", "a*b*", true},
        {"xabc", "abc*", false},
        {"abcabc", "*abc", true},
        {"ac", "a*bc", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(UnzipController::MatchWildcard(c.text, c.pattern, false), c.match) << c.text << " / " << c.pattern;
    EXPECT_FALSE(UnzipController::MatchWildcard("ABC", "abc", true));
    EXPECT_TRUE(UnzipController::MatchWildcard(nullptr, nullptr, false));
}

TEST(TnzipTool, ExitCodesAndLog) {
    TempFolder scratch;
    fs::path dir = scratch.path();
    std::string tool = std::string(TN_BINARY_DIR) + "/tools/tnzip";
    std::string good = threeFiles(dir);
    int rc = -1;
    zipfix::run(tool + " x '" + good + "' -d '" + (dir / "out").string() + "'", &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(zipfix::readFile(dir / "out/c.txt"), std::string(50, 'c'));
    Archive a;
    Member bad = stored("bad.txt", "x");
    bad.crc ^= 1;
    a.members.push_back(bad);
    std::string badArchive = zipfix::writeFile(dir / "bad.zip", a.build());
    std::string out = zipfix::run(tool + " x '" + badArchive + "' -d '" + (dir / "out2").string() + "' 2>&1", &rc);
    EXPECT_EQ(rc, 2);  // damaged entry data
    EXPECT_TRUE(contains(out, "tnzip: bad.txt: the content's CRC-32 does not match")) << out;
    zipfix::run(tool + " x 2>/dev/null", &rc);
    EXPECT_EQ(rc, 10);
}

}  // namespace
