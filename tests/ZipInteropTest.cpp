// Archives made at test time by the peer tools open with the names, sizes, times, directory flags
// and comments that Python's zipfile reports for them. Names without the UTF-8 flag are expected
// as UTF-8 when made on Unix or macOS and valid UTF-8, else in 437, or in 1252 when a byte of the
// name says it is ANSI text.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "HexText.h"
#include "TempFolder.h"
#include "ZipFixture.h"

using namespace zipfix;
namespace fs = std::filesystem;

namespace {

// The reference listing: one line per entry, then the archive comment; names as hex of UTF-8.
const char* kReferenceScript = R"PY(
import sys, zipfile
def decode(info):
    if info.flag_bits & 0x800:
        return info.filename.encode('utf-8')
    raw = info.orig_filename.encode('cp437')
    if info.create_system in (3, 19):
        try:
            return raw.decode('utf-8').replace('\\', '/').encode('utf-8')
        except UnicodeDecodeError:
            pass
    if any(b >= 239 or 166 <= b <= 223 for b in raw):
        return raw.decode('cp1252').replace('\\', '/').encode('utf-8')
    return info.orig_filename.replace('\\', '/').encode('utf-8')
with zipfile.ZipFile(sys.argv[1]) as z:
    for i in z.infolist():
        print('%s\t%d\t%d\t%04d-%02d-%02d %02d:%02d:%02d\t%d' % ((decode(i).hex(), i.file_size, i.compress_size) + i.date_time + (int(i.filename.endswith('/')),)))
    print('comment\t' + z.comment.hex())
)PY";

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (std::size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
        out.push_back(text.substr(start, nl - start));
    return out;
}

std::vector<std::string> reference(const fs::path& work, const std::string& archive) {
    const std::string script = writeFile(work / "reference.py", kReferenceScript);
    return lines(run("python3 " + script + " '" + archive + "'"));
}

std::vector<std::string> ours(const std::string& archive) {
    Opened z(archive);
    EXPECT_TRUE(z.ok) << z.log();
    std::vector<std::string> out;
    char line[512];
    for (int i = 0; i < z.zip().numEntries(); ++i) {
        const ClsZipEntry2& e = *z.zip().entryAt(i);
        const CentralRecord& c = e.walkEntry()->centralRecord;
        std::snprintf(line, sizeof line, "%s\t%llu\t%llu\t%04d-%02d-%02d %02d:%02d:%02d\t%d", toHex(z.name(i)).c_str(),
                      static_cast<unsigned long long>(e.GetUncompressedSize()),
                      static_cast<unsigned long long>(e.GetCompressedSize()), 1980 + (c.dosDate >> 9),
                      (c.dosDate >> 5) & 15, c.dosDate & 31, c.dosTime >> 11, (c.dosTime >> 5) & 63,
                      (c.dosTime & 31) * 2, e.IsDir() ? 1 : 0);
        out.push_back(line);
    }
    out.push_back("comment\t" + toHex(z.zip().comment().text()));
    return out;
}

// A small tree with a directory, an empty directory, a binary file and non-ASCII names.
fs::path makeTree(const fs::path& work, bool rawLatinName) {
    const fs::path src = work / "src";
    fs::create_directories(src / "dir" / "empty");
    std::string text;
    for (int i = 0; i < 200; ++i) text += "hello, archive " + std::to_string(i) + "\n";
    writeFile(src / "hello.txt", text);
    std::string binary;
    std::uint32_t x = 12345;
    for (int i = 0; i < 30000; ++i) binary += static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
    writeFile(src / "dir" / "nested.bin", binary);
    writeFile(src / "\xC3\xBCmlaut.txt", "u");
    if (rawLatinName) writeFile(src / "caf\xE9.txt", "c");
    return src;
}

struct Maker {
    const char* name;
    bool rawLatinName;
    const char* command;           // run in the source folder; %s is the archive path
    const char* logged = nullptr;  // a line the open must log
};

void PrintTo(const Maker& m, std::ostream* os) { *os << m.name; }

}  // namespace

class ZipInterop : public ::testing::TestWithParam<Maker> {};

TEST_P(ZipInterop, ListingMatchesReference) {
    const Maker& m = GetParam();
    const std::string tool = std::string(m.command).substr(0, std::string(m.command).find(' '));
    if (!haveTool(tool)) GTEST_SKIP() << tool << " not installed";
    TempFolder scratch;
    const fs::path work = scratch.path();
    const fs::path src = makeTree(work, m.rawLatinName);
    const std::string archive = (work / "made.zip").string();
    const std::string command = substitute(m.command, "%s", archive);
    int rc = 0;
    run("cd '" + src.string() + "' && " + command + " >/dev/null 2>&1", &rc);
    ASSERT_EQ(rc, 0) << command;
    const std::vector<std::string> expected = reference(work, archive);
    ASSERT_GE(expected.size(), 4u);
    EXPECT_EQ(ours(archive), expected);
    if (m.logged != nullptr) {
        Opened z(archive);
        EXPECT_NE(z.log().find(m.logged), std::string::npos) << z.log();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Peers, ZipInterop,
    ::testing::Values(
        Maker{"zip", true, "echo 'made by zip' | zip -q -r -z %s ."}, Maker{"zip_fd", true, "zip -q -r -fd %s ."},
        Maker{"zip_fz", true, "zip -q -r -fz %s ."},
        Maker{"zip_sfx", true, "zip -q -r %s.part . && head -c 4099 /bin/sh > %s && cat %s.part >> %s && zip -q -A %s",
              "FirstSigAddr: 4099"},
        Maker{"sevenzip", false, "7z a -tzip -bd %s . "}, Maker{"bsdtar", false, "bsdtar --format zip -cf %s ."},
        Maker{"python", false,
              "python3 -c \"import zipfile,sys;z=zipfile.ZipFile(sys.argv[1],'w',zipfile.ZIP_DEFLATED);"
              "z.comment=b'python comment';z.write('hello.txt');z.writestr('na\\u00efve/\\u65e5\\u672c.txt','utf');"
              "z.writestr(zipfile.ZipInfo('folder/'),'');"
              "f=z.open('forced64.bin','w',force_zip64=True);f.write(b'x'*1000);f.close();z.close()\" %s"}),
    [](const ::testing::TestParamInfo<Maker>& info) { return std::string(info.param.name); });

TEST(ZipInteropExtra, PythonFileCommentsAndUtf8FlagSurvive) {
    TempFolder scratch;
    const fs::path work = scratch.path();
    const std::string archive = (work / "c.zip").string();
    run("python3 -c \"import zipfile,sys;z=zipfile.ZipFile(sys.argv[1],'w');i=zipfile.ZipInfo('\\u00e9t\\u00e9.txt');"
        "i.comment=b'per-file note';z.writestr(i,'summer');z.close()\" " +
        archive);
    Opened z(archive);
    ASSERT_TRUE(z.ok) << z.log();
    ASSERT_NE(z.zip().entryAt(0)->comment(), nullptr);
    EXPECT_STREQ(z.zip().entryAt(0)->comment()->text(), "per-file note");
    EXPECT_EQ(z.name(0), "\xC3\xA9t\xC3\xA9.txt");
    StringBuffer windowsName;
    z.zip().entryAt(0)->GetFileName(windowsName);
    EXPECT_STREQ(windowsName.text(), "\xC3\xA9t\xC3\xA9.txt");
}
