// Archives made now by the peer tools extract to the same tree as Info-ZIP unzip makes of them:
// same names, same bytes, same file times.
#include <gtest/gtest.h>

#include <iostream>

#include "TempFolder.h"
#include "TestData.h"
#include "ExtractFixture.h"

using namespace extractfix;

namespace {

struct MakerCase {
    const char* label;
    const char* tool;     // must be on the PATH
    const char* command;  // run inside the source tree; OUT is the archive path
    int oemCodePage = 0;  // 0: the default (437)
};

// Python writing to a pipe cannot seek back, so every member gets a data descriptor.
constexpr const char* kPythonZip =
    "python3 -c 'import os,sys,zipfile\n"
    "m=zipfile.ZIP_STORED if sys.argv[1]==\"store\" else zipfile.ZIP_DEFLATED\n"
    "with zipfile.ZipFile(sys.stdout.buffer if sys.argv[2]==\"-\" else sys.argv[2],\"w\",m) as z:\n"
    "  for d,ds,fs in os.walk(\".\"):\n"
    "    for n in sorted(ds+fs): z.write(os.path.join(d,n)[2:])\n' ";

// Info-ZIP zip stores the file system's UTF-8 name bytes without the UTF-8 flag; a Linux user
// reads such archives with the OEM code page set to UTF-8.
constexpr int kRawUtf8 = 65001;

const MakerCase kMakers[] = {
    {"zip_deflate", "zip", "zip -qr -X OUT .", kRawUtf8},
    {"zip_store", "zip", "zip -qr -0 OUT .", kRawUtf8},
    {"zip_zip64", "zip", "zip -qr -fz OUT .", kRawUtf8},
    {"zip_descriptors", "zip", "zip -qr -fd OUT .", kRawUtf8},
    {"zip_stream", "zip", "zip -qr - . > OUT", kRawUtf8},
    {"7z_deflate", "7z", "7z a -tzip -bd -bso0 OUT ."},
    {"7z_store", "7z", "7z a -tzip -mx=0 -bd -bso0 OUT ."},
    {"python_deflate", "python3", "PY deflate OUT"},
    {"python_store_stream", "python3", "PY store - > OUT"},
    {"bsdtar_deflate", "bsdtar", "bsdtar --format zip -cf OUT ."},
    {"bsdtar_store", "bsdtar", "bsdtar --format zip --options zip:compression=store -cf OUT ."},
};

class ExtractInterop : public ::testing::TestWithParam<MakerCase> {};

TEST_P(ExtractInterop, SameTreeAsUnzip) {
    const MakerCase& c = GetParam();
    if (!zipfix::haveTool(c.tool) || !zipfix::haveTool("unzip")) GTEST_SKIP() << c.tool << " missing";
    TempFolder scratch;
    fs::path dir = scratch.path();
    makeSourceTree(dir / "src");
    std::string archive = (dir / "a.zip").string();
    int rc = -1;
    zipfix::run("cd '" + (dir / "src").string() + "' && LC_ALL=C.UTF-8 " + makerCommand(c.command, kPythonZip, archive),
                &rc);
    ASSERT_EQ(rc, 0) << c.command;
    zipfix::run("unzip -qo '" + archive + "' -d '" + (dir / "ref").string() + "' 2>&1", &rc);
    ASSERT_EQ(rc, 0);

    Extracted r = extract(archive, dir / "ours", nullptr, nullptr, c.oemCodePage);
    ASSERT_GE(r.count, 0) << r.log;
    EXPECT_EQ(r.count, 5);  // every file, the empty one included; directories are not counted
    expectSameTree(dir / "ref", dir / "ours");
}

// The scratch folder's random name once came out as "...-4OUTzi": the archive path holds the
// token it replaces, and the command must still come out whole.
TEST(ExtractInteropCommand, ArchivePathMayHoldTheTokens) {
    const std::string out = "/s/x-4OUTzi/PY OUT.zip";
    EXPECT_EQ(makerCommand("zip -qr OUT . && cp OUT OUT.bak", kPythonZip, out),
              "zip -qr " + out + " . && cp " + out + " " + out + ".bak");
    EXPECT_EQ(makerCommand("PY deflate OUT", kPythonZip, out), std::string(kPythonZip) + "deflate " + out);
}

INSTANTIATE_TEST_SUITE_P(Makers, ExtractInterop, ::testing::ValuesIn(kMakers),
                         [](const auto& info) { return std::string(info.param.label); });

// Archives of the outside world, shrunk and imploded ones among them, against unzip.
TEST(ExtractCorpus, SameTreeAsUnzip) {
    if (!zipfix::haveTool("unzip")) GTEST_SKIP();
    const char* archives[] = {
        "defacto2/IMPLODE.ZIP",         "defacto2/PKZ110.ZIP",         "defacto2/hw/HWIMPODE.ZIP",
        "defacto2/hw/HWSHRINK.ZIP",     "commons-compress/SHRUNK.ZIP", "commons-compress/moby-imploded.zip",
        "zip-rs/legacy/implode.zip",    "zip-rs/legacy/shrink.zip",    "sharpcompress/Zip.implode.zip",
        "sharpcompress/Zip.shrink.zip",
    };
    for (const char* name : archives) {
        SCOPED_TRACE(name);
        const std::string archive = testdata::path(name);
        if (archive.empty()) {
            std::cout << "[ SKIPPED  ] " << name << ": only in the external corpus, which is absent\n";
            continue;
        }
        TempFolder scratch;
        fs::path dir = scratch.path();
        int rc = -1;
        zipfix::run("unzip -qo '" + archive + "' -d '" + (dir / "ref").string() + "' 2>&1", &rc);
        ASSERT_EQ(rc, 0);
        // Its text file carries an NTFS time field, an hour off its DOS time: unzip reads only the
        // DOS time, the precise UTC field wins here (as with 7-Zip).
        if (std::string(name) == "sharpcompress/Zip.implode.zip")
            zipfix::run("find '" + (dir / "ref").string() + "' -name '*.txt' -exec touch -m -d @1659378184 {} +");
        Extracted r = extract(archive, dir / "ours");
        int files = 0;
        for (auto& [entry, path] : listTree(dir / "ref")) files += entry.back() != '/';
        EXPECT_EQ(r.count, files) << r.log;
        expectSameTree(dir / "ref", dir / "ours");
    }
}

// Names without the UTF-8 flag are read in the OEM code page: CP437 bytes become UTF-8 names.
TEST(ExtractNames, Cp437NamesBecomeUtf8) {
    TempFolder scratch;
    fs::path dir = scratch.path();
    zipfix::Archive a;
    a.members.push_back({.name = "caf\x82-\x81"
                                 "ber.txt",
                         .data = "x"});  // é and ü in CP437
    a.members.back().crc = 0x8CDC1683;
    std::string archive = zipfix::writeFile(dir / "a.zip", a.build());
    Extracted r = extract(archive, dir / "out");
    ASSERT_EQ(r.count, 1) << r.log;
    EXPECT_EQ(zipfix::readFile(dir / "out" /
                               "caf\xC3\xA9-\xC3\xBC"
                               "ber.txt"),
              "x");
}

// One member of 4 GiB of zeros: ZIP64 sizes, streaming inflate, percentages over 32-bit totals.
TEST(ExtractLong, FourGibOfZeros) {
    if (!zipfix::haveTool("python3")) GTEST_SKIP();
    TempFolder scratch;
    fs::path dir = scratch.path();
    std::string archive = (dir / "z.zip").string();
    int rc = -1;
    zipfix::run(
        "python3 -c 'import zipfile\n"
        "with zipfile.ZipFile(\"" +
            archive +
            "\",\"w\",zipfile.ZIP_DEFLATED) as z:\n"
            "  with z.open(\"zeros.bin\",\"w\",force_zip64=True) as f:\n"
            "    b=bytes(1<<22)\n"
            "    for i in range(1024): f.write(b)\n'",
        &rc);
    ASSERT_EQ(rc, 0);
    RecordingProgress progress;
    Extracted r = extract(archive, dir / "out", &progress);
    ASSERT_EQ(r.count, 1) << r.log;
    fs::path out = dir / "out" / "zeros.bin";
    EXPECT_EQ(fs::file_size(out), 4ull << 30);
    // Only zeros: the stored CRC was checked during extraction, so the size settles it.
    ASSERT_FALSE(progress.percents.empty());
    EXPECT_EQ(progress.percents.back(), 100);
    for (std::size_t i = 1; i < progress.percents.size(); ++i)
        EXPECT_LT(progress.percents[i - 1], progress.percents[i]);
    fs::remove_all(dir);
}

}  // namespace
