// The public listing and single-entry extraction: the listing of archives the common makers
// write against Python's reading of them, every method and encryption into memory, a sink that
// stops, one entry to a folder, and two objects in two threads.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <sstream>
#include <thread>

#include "ExtractFixture.h"
#include "TempFolder.h"
#include "codecs/ZipMethod.h"

using namespace extractfix;

namespace {

std::vector<unsigned char> bytesOf(const std::string& s) { return {s.begin(), s.end()}; }

// The tree every maker archives: a nested file, an empty folder, a UTF-8 name, a link.
void makeListingTree(const fs::path& root) {
    fs::create_directories(root / "dir/sub");
    fs::create_directories(root / "empty");
    zipfix::writeFile(root / "dir/sub/text.txt", std::string(20000, 'q') + "end\n");
    zipfix::writeFile(root / "\xC3\xA9t\xC3\xA9.txt", "utf-8 name\n");
    fs::create_symlink("dir/sub/text.txt", root / "link");
    std::system(("find '" + root.string() + "' -exec touch -h -d '2021-06-15 12:34:56' {} +").c_str());
}

struct Maker {
    const char* label;
    const char* tool;
    const char* command;  // run in the tree; OUT is the archive
    bool links;           // stores the link as a link
};

const Maker kMakers[] = {
    {"zip", "zip", "zip -q -r -y OUT .", true},
    {"7z", "7z", "7z a -tzip -snl -bd -bso0 OUT .", true},
    {"bsdtar", "bsdtar", "bsdtar --format zip -cf OUT *", true},
    {"python", "python3",
     "python3 -c 'import os,sys,zipfile\n"
     "with zipfile.ZipFile(sys.argv[1],\"w\",zipfile.ZIP_DEFLATED) as z:\n"
     "  for d,ds,fs in os.walk(\".\"):\n"
     "    for n in sorted(ds+fs): z.write(os.path.join(d,n)[2:])\n' OUT",
     false},
};

// Python's reading of every entry: name, sizes, CRC, method and the Unix mode, one line each.
// Names without the UTF-8 flag are read as UTF-8 too: Python passes over Info-ZIP's Unicode
// path field, which says they are.
std::string pythonListing(const std::string& archive) {
    return zipfix::run(
        "python3 -c 'import sys,zipfile\n"
        "for i in zipfile.ZipFile(sys.argv[1]).infolist():\n"
        "  n=i.filename if i.flag_bits&0x800 else i.orig_filename.encode(\"cp437\").decode(\"utf-8\",\"replace\")\n"
        "  print(n.rstrip(\"/\"), i.file_size, i.compress_size, i.CRC, i.compress_type, i.external_attr>>16)\n' '" +
        archive + "'");
}

std::string ourListing(TnZip& zip) {
    std::ostringstream out;
    TnZipEntry e;
    for (int i = 0; i < zip.NumEntries(); ++i) {
        EXPECT_TRUE(zip.GetEntry(i, e));
        std::string name = e.name;
        if (!name.empty() && name.back() == '/') name.pop_back();
        out << name << ' ' << e.uncompressedSize << ' ' << e.compressedSize << ' ' << e.crc32 << ' ' << e.method << ' '
            << e.unixMode << '\n';
    }
    return out.str();
}

TEST(TnZipListing, AgreesWithPythonOnTheMakersArchives) {
    TempFolder scratch;
    makeListingTree(scratch / "src");
    struct stat st {};
    ASSERT_EQ(lstat((scratch / "src/dir/sub/text.txt").c_str(), &st), 0);
    for (const Maker& m : kMakers) {
        if (!zipfix::haveTool(m.tool)) continue;
        SCOPED_TRACE(m.label);
        const std::string archive = scratch / (std::string(m.label) + ".zip");
        int rc = -1;
        zipfix::run("cd '" + (scratch / "src") + "' && LC_ALL=C.UTF-8 " + zipfix::substitute(m.command, "OUT", archive),
                    &rc);
        ASSERT_EQ(rc, 0);
        TnZip zip;
        ASSERT_TRUE(zip.OpenZip(archive.c_str())) << zip.LastMessage();
        EXPECT_EQ(ourListing(zip), pythonListing(archive));

        TnZipEntry e;
        const int text = zip.FindEntry("dir/sub/text.txt");
        ASSERT_GE(text, 0);
        ASSERT_TRUE(zip.GetEntry(text, e));
        EXPECT_EQ(e.modifiedTime, static_cast<std::int64_t>(st.st_mtime));
        EXPECT_FALSE(e.isDirectory);
        EXPECT_EQ(e.encryption, TnZipEncryption::kNone);
        EXPECT_EQ(zip.FindEntry("dir\\sub\\text.txt"), text);
        const int folder = zip.FindEntry("empty");
        ASSERT_GE(folder, 0);
        ASSERT_TRUE(zip.GetEntry(folder, e));
        EXPECT_TRUE(e.isDirectory);
        const int utf8 = zip.FindEntry("\xC3\xA9t\xC3\xA9.txt");
        ASSERT_GE(utf8, 0);
        ASSERT_TRUE(zip.GetEntry(utf8, e));
        EXPECT_EQ(e.rawName, "\xC3\xA9t\xC3\xA9.txt");
        EXPECT_EQ(zip.FindEntry("missing"), -1);
        EXPECT_EQ(zip.LastResult(), TnZipResult::kNotFound);

        // The same archive from memory: the same listing and the same bytes.
        std::vector<unsigned char> fromFile, fromMemory;
        ASSERT_TRUE(zip.ExtractEntryToMemory(text, fromFile)) << zip.LastMessage();
        const std::string bytes = zipfix::readFile(archive);
        TnZip memory;
        ASSERT_TRUE(memory.OpenZipFromMemory(bytes.data(), bytes.size())) << memory.LastMessage();
        EXPECT_EQ(ourListing(memory), ourListing(zip));
        ASSERT_TRUE(memory.ExtractEntryToMemory(text, fromMemory)) << memory.LastMessage();
        EXPECT_TRUE(fromMemory == fromFile);
        memory.CloseZip();
        EXPECT_EQ(memory.NumEntries(), 0);
        if (!m.links) continue;
        ASSERT_TRUE(zip.GetEntry(zip.FindEntry("link"), e));
        EXPECT_TRUE(e.isSymlink);
        EXPECT_EQ(e.linkTarget, "dir/sub/text.txt");
    }
}

// A name in the OEM code page (no UTF-8 flag), and an entry with a ZIP64 local header.
TEST(TnZipListing, CodePageNameAndZip64LocalHeader) {
    TempFolder scratch;
    zipfix::Archive a;
    a.members.push_back({.name = "\x81"
                                 "ber.txt",
                         .data = "cp437",
                         .crc = zipfix::crcOf("cp437")});
    TnZip zip;
    ASSERT_TRUE(zip.OpenZip(zipfix::writeFile(scratch / "cp.zip", a.build()).c_str()));
    TnZipEntry e;
    ASSERT_TRUE(zip.GetEntry(0, e));
    EXPECT_EQ(e.name,
              "\xC3\xBC"
              "ber.txt");  // u-umlaut, 0x81 in code page 437
    EXPECT_EQ(e.rawName,
              "\x81"
              "ber.txt");
    EXPECT_FALSE(e.rawNameUtf8);

    const std::string archive = scratch / "zip64.zip";
    int rc = -1;
    zipfix::run(
        "python3 -c 'import sys,zipfile\n"
        "with zipfile.ZipFile(sys.argv[1],\"w\",zipfile.ZIP_DEFLATED) as z:\n"
        "  with z.open(\"big.txt\",\"w\",force_zip64=True) as f: f.write(b\"zip64 \"*50000)\n' '" +
            archive + "'",
        &rc);
    ASSERT_EQ(rc, 0);
    ASSERT_TRUE(zip.OpenZip(archive.c_str())) << zip.LastMessage();
    ASSERT_TRUE(zip.GetEntry(0, e));
    EXPECT_EQ(e.uncompressedSize, 300000u);
    std::vector<unsigned char> out;
    ASSERT_TRUE(zip.ExtractEntryToMemory(0, out)) << zip.LastMessage();
    EXPECT_EQ(out.size(), 300000u);
}

struct MethodCase {
    const char* label;
    const char* options;  // 7-Zip's method and encryption options
    int method;
    TnZipEncryption encryption;
};

const MethodCase kMethods[] = {
    {"stored", "-mm=Copy", ZipMethod::kStored, TnZipEncryption::kNone},
    {"deflate", "-mm=Deflate", ZipMethod::kDeflated, TnZipEncryption::kNone},
    {"deflate64", "-mm=Deflate64", ZipMethod::kDeflate64, TnZipEncryption::kNone},
    {"bzip2", "-mm=BZip2", ZipMethod::kBzip2, TnZipEncryption::kNone},
    {"lzma", "-mm=LZMA", ZipMethod::kLzma, TnZipEncryption::kNone},
    {"ppmd", "-mm=PPMd", ZipMethod::kPpmd, TnZipEncryption::kNone},
    {"zipcrypto", "-mm=Deflate -mem=ZipCrypto -ppw", ZipMethod::kDeflated, TnZipEncryption::kTraditional},
    {"aes", "-mm=LZMA -mem=AES256 -ppw", ZipMethod::kLzma, TnZipEncryption::kWinZipAes},
};

TEST(TnZipExtractEntry, EveryMethodAndEncryptionIntoMemory) {
    if (!zipfix::haveTool("7z")) GTEST_SKIP();
    TempFolder scratch;
    std::string content;
    for (int i = 0; content.size() < 300000; ++i) content += "entry line " + std::to_string(i * 31 % 977) + "\n";
    zipfix::writeFile(scratch / "content.txt", content);
    for (const MethodCase& c : kMethods) {
        if (!ZipMethod::isSupported(c.method)) continue;
        SCOPED_TRACE(c.label);
        const std::string archive = scratch / (std::string(c.label) + ".zip");
        int rc = -1;
        zipfix::run(
            "cd '" + scratch.path() + "' && 7z a -tzip " + c.options + " -bd -bso0 '" + archive + "' content.txt", &rc);
        ASSERT_EQ(rc, 0);
        TnZip zip;
        ASSERT_TRUE(zip.OpenZip(archive.c_str()));
        TnZipEntry e;
        ASSERT_TRUE(zip.GetEntry(0, e));
        EXPECT_EQ(e.method, c.method);
        EXPECT_EQ(e.encryption, c.encryption);
        EXPECT_EQ(e.uncompressedSize, content.size());
        std::vector<unsigned char> out;
        if (c.encryption != TnZipEncryption::kNone) {
            EXPECT_FALSE(zip.ExtractEntryToMemory(0, out));
            EXPECT_EQ(zip.LastResult(), TnZipResult::kPasswordNeeded);
            zip.SetPassword("wrong");
            EXPECT_FALSE(zip.ExtractEntryToMemory(0, out));
            // The traditional header checks one byte: one wrong password in 256 passes it, and
            // the content's check fails instead.
            const TnZipResult wrong = zip.LastResult();
            EXPECT_TRUE(wrong == TnZipResult::kWrongPassword ||
                        (c.encryption == TnZipEncryption::kTraditional &&
                         (wrong == TnZipResult::kCrcMismatch || wrong == TnZipResult::kDamaged)))
                << TnZipResultName(wrong);
            EXPECT_TRUE(out.empty());
            zip.SetPassword("pw");
        }
        ASSERT_TRUE(zip.ExtractEntryToMemory(0, out)) << zip.LastMessage();
        EXPECT_TRUE(out == bytesOf(content));
    }
}

// Answers stop after the first block; counts what it took.
class StoppingSink : public TnZipSink {
public:
    bool Write(const void*, std::size_t size) override {
        taken += size;
        return ++calls < 2;
    }
    std::size_t taken = 0;
    int calls = 0;
};

TEST(TnZipExtractEntry, SinkThatStopsEndsTheEntry) {
    TempFolder scratch;
    zipfix::Archive a;
    std::string big(3000000, 'b');
    a.members.push_back({.name = "big.bin", .data = big, .crc = zipfix::crcOf(big)});
    TnZip zip;
    ASSERT_TRUE(zip.OpenZip(zipfix::writeFile(scratch / "a.zip", a.build()).c_str()));
    StoppingSink sink;
    RecordingProgress p;
    EXPECT_FALSE(zip.ExtractEntry(0, sink, &p));
    EXPECT_EQ(zip.LastResult(), TnZipResult::kAborted);
    EXPECT_EQ(sink.calls, 2);
    EXPECT_LT(sink.taken, big.size());
    EXPECT_EQ(p.events.front(), 'B');
    EXPECT_EQ(p.events.back(), 'E');
    std::vector<unsigned char> out;
    EXPECT_FALSE(zip.ExtractEntryToMemory(5, out));
    EXPECT_EQ(zip.LastResult(), TnZipResult::kBadArgument);
}

// One entry only, made as Unzip makes it: below the folder whatever its name says, '/' in the
// names the progress interface receives.
TEST(TnZipExtractEntry, UnzipEntryMakesOneEntryBelowTheFolder) {
    TempFolder scratch;
    zipfix::Archive a;
    a.members.push_back({.name = "a.txt", .data = "a", .crc = zipfix::crcOf("a")});
    a.members.push_back({.name = "../up/b.txt", .data = "b", .crc = zipfix::crcOf("b")});
    TnZip zip;
    ASSERT_TRUE(zip.OpenZip(zipfix::writeFile(scratch / "a.zip", a.build()).c_str()));
    class Names : public TnZipProgress {
    public:
        void ToBeUnzipped(const char* name, int, int, bool*) override { seen += std::string(name) + ";"; }
        void FileUnzipped(const char* name, int, int, bool*) override { seen += std::string(name) + ";"; }
        std::string seen;
    } names;
    ASSERT_TRUE(zip.UnzipEntry(1, (scratch / "out").c_str(), &names)) << zip.LastMessage();
    EXPECT_EQ(listTree(scratch / "out").size(), 2u);  // up/ and up/b.txt
    EXPECT_EQ(zipfix::readFile(scratch / "out/up/b.txt"), "b");
    EXPECT_EQ(names.seen, "../up/b.txt;../up/b.txt;");  // the name as stored, with the separator
    EXPECT_FALSE(fs::exists(scratch / "up"));
}

TEST(TnZipExtractEntry, TwoObjectsInTwoThreads) {
    TempFolder scratch;
    std::string paths[2], contents[2];
    for (int k = 0; k < 2; ++k) {
        contents[k] = std::string(2000000 + k, static_cast<char>('x' + k));
        zipfix::Archive a;
        a.members.push_back({.name = "f", .data = contents[k], .crc = zipfix::crcOf(contents[k])});
        paths[k] = zipfix::writeFile(scratch / (std::to_string(k) + ".zip"), a.build());
    }
    bool same[2] = {false, false};
    auto work = [&](int k) {
        TnZip zip;
        std::vector<unsigned char> out;
        for (int round = 0; round < 5; ++round)
            same[k] = zip.OpenZip(paths[k].c_str()) && zip.ExtractEntryToMemory(0, out) && out == bytesOf(contents[k]);
    };
    std::thread first(work, 0), second(work, 1);
    first.join();
    second.join();
    EXPECT_TRUE(same[0]);
    EXPECT_TRUE(same[1]);
}

}  // namespace
