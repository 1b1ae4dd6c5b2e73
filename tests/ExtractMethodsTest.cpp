// Entries compressed with bzip2, LZMA, xz, zstd (and the other methods 7-Zip writes): archives
// made now by 7-Zip and Python, entries assembled from the command-line compressors' streams,
// and small archives of other projects. The content must be what 7-Zip extracts, byte for byte;
// a damaged stream fails its entry and leaves no file.
#include <gtest/gtest.h>
#include <zlib.h>

#include "ExtractFixture.h"
#include "TempFolder.h"
#include "ZlibRaw.h"
#include "codecs/ZipMethod.h"

using namespace extractfix;

namespace {

struct MakerCase {
    const char* label;
    const char* tool;
    const char* command;  // run inside the source tree; OUT is the archive path
    int method;           // the method the entries use
};

constexpr const char* kPythonZip =
    "python3 -c 'import os,sys,zipfile\n"
    "m={\"bzip2\":zipfile.ZIP_BZIP2,\"lzma\":zipfile.ZIP_LZMA}[sys.argv[1]]\n"
    "with zipfile.ZipFile(sys.argv[2],\"w\",m) as z:\n"
    "  for d,ds,fs in os.walk(\".\"):\n"
    "    for n in sorted(ds+fs): z.write(os.path.join(d,n)[2:])\n' ";

const MakerCase kMakers[] = {
    {"7z_bzip2", "7z", "7z a -tzip -mm=BZip2 -bd -bso0 OUT .", ZipMethod::kBzip2},
    {"7z_bzip2_aes", "7z", "7z a -tzip -mm=BZip2 -mem=AES256 -ppw -bd -bso0 OUT .", ZipMethod::kBzip2},
    {"7z_lzma", "7z", "7z a -tzip -mm=LZMA -bd -bso0 OUT .", ZipMethod::kLzma},
    {"7z_lzma_aes", "7z", "7z a -tzip -mm=LZMA -mem=AES256 -ppw -bd -bso0 OUT .", ZipMethod::kLzma},
    {"7z_lzma_zipcrypto", "7z", "7z a -tzip -mm=LZMA -mem=ZipCrypto -ppw -bd -bso0 OUT .", ZipMethod::kLzma},
    {"7z_bzip2_zipcrypto", "7z", "7z a -tzip -mm=BZip2 -mem=ZipCrypto -ppw -bd -bso0 OUT .", ZipMethod::kBzip2},
    {"7z_deflate64", "7z", "7z a -tzip -mm=Deflate64 -bd -bso0 OUT .", ZipMethod::kDeflate64},
    {"7z_deflate64_aes", "7z", "7z a -tzip -mm=Deflate64 -mem=AES256 -ppw -bd -bso0 OUT .", ZipMethod::kDeflate64},
    {"7z_deflate64_zipcrypto", "7z", "7z a -tzip -mm=Deflate64 -mem=ZipCrypto -ppw -bd -bso0 OUT .",
     ZipMethod::kDeflate64},
    {"7z_ppmd", "7z", "7z a -tzip -mm=PPMd -bd -bso0 OUT .", ZipMethod::kPpmd},
    // Order 2 in 1 MB: the model fills up and restarts.
    {"7z_ppmd_o2_restart", "7z", "7z a -tzip -mm=PPMd:mem=1m:o=2 -bd -bso0 OUT .", ZipMethod::kPpmd},
    // -mx=9 asks for the cut-off restoration; 1 MB fills up on the random file.
    {"7z_ppmd_o16_cutoff", "7z", "7z a -tzip -mx=9 -mm=PPMd:mem=1m:o=16 -bd -bso0 OUT .", ZipMethod::kPpmd},
    {"7z_ppmd_aes", "7z", "7z a -tzip -mm=PPMd -mem=AES256 -ppw -bd -bso0 OUT .", ZipMethod::kPpmd},
    {"7z_ppmd_zipcrypto", "7z", "7z a -tzip -mm=PPMd:o=4 -mem=ZipCrypto -ppw -bd -bso0 OUT .", ZipMethod::kPpmd},
    {"python_bzip2", "python3", "PY bzip2 OUT", ZipMethod::kBzip2},
    {"python_lzma", "python3", "PY lzma OUT", ZipMethod::kLzma},
};

// 7-Zip's extraction of the archive, the reference for every comparison here.
void extractWith7z(const std::string& archive, const fs::path& folder, const char* password = "pw") {
    int rc = -1;
    zipfix::run("7z x -y -bd -bso0 -p" + std::string(password) + " '-o" + folder.string() + "' '" + archive + "' 2>&1",
                &rc);
    ASSERT_EQ(rc, 0) << archive;
}

std::string sampleContent(std::size_t size = 700000) {
    std::string text;
    for (int i = 0; text.size() < size; ++i) text += "row " + std::to_string(i * 7919 % 10007) + " of the sample\n";
    return text;
}

class ExtractMethodInterop : public ::testing::TestWithParam<MakerCase> {};

TEST_P(ExtractMethodInterop, SameTreeAs7z) {
    const MakerCase& c = GetParam();
    if (!zipfix::haveTool(c.tool) || !zipfix::haveTool("7z")) GTEST_SKIP() << c.tool << " missing";
    if (!ZipMethod::isSupported(c.method)) GTEST_SKIP() << "method left out of this build";
    TempFolder scratch;
    fs::path dir = scratch.path();
    makeSourceTree(dir / "src");
    // The random file is stored by 7-Zip; bzip2 needs a large compressible one to be decoded a
    // block at a time on several threads.
    if (c.method == ZipMethod::kBzip2) zipfix::writeFile(dir / "src/dir/large.txt", sampleContent(3000000));
    std::string archive = (dir / "a.zip").string();
    int rc = -1;
    zipfix::run("cd '" + (dir / "src").string() + "' && LC_ALL=C.UTF-8 " + makerCommand(c.command, kPythonZip, archive),
                &rc);
    ASSERT_EQ(rc, 0) << c.command;
    extractWith7z(archive, dir / "ref");
    Extracted r = extract(archive, dir / "ours", nullptr, "pw");
    ASSERT_GE(r.count, 0) << r.log;
    expectSameTree(dir / "ref", dir / "ours");
}

INSTANTIATE_TEST_SUITE_P(Makers, ExtractMethodInterop, ::testing::ValuesIn(kMakers),
                         [](const auto& info) { return std::string(info.param.label); });

// Deflate64's own codes: matches reaching 32,768 to 65,536 bytes back (distance symbols 30 and
// 31) and longer than 258 bytes (length symbol 285 with 16 extra bits), across window flushes.
TEST(ExtractDeflate64, FarAndLongMatches) {
    if (!zipfix::haveTool("7z")) GTEST_SKIP();
    TempFolder scratch;
    fs::path dir = scratch.path();
    fs::create_directories(dir / "src");
    std::mt19937 rng(64);
    std::string block(50000, '\0');
    for (auto& c : block) c = static_cast<char>(rng());
    std::string content = block + block + std::string(200000, 'z') + block.substr(0, 70000 - 50000) + block;
    zipfix::writeFile(dir / "src/far.bin", content);
    int rc = -1;
    zipfix::run("cd '" + (dir / "src").string() + "' && 7z a -tzip -mm=Deflate64 -mx=9 -bd -bso0 ../a.zip far.bin",
                &rc);
    ASSERT_EQ(rc, 0);
    Extracted r = extract((dir / "a.zip").string(), dir / "out");
    ASSERT_EQ(r.count, 1) << r.log;
    EXPECT_TRUE(zipfix::readFile(dir / "out/far.bin") == content);
}

// ---- entries assembled from a compressor's stream ----

std::uint32_t crcOf(const std::string& s) {
    return static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(s.data()), static_cast<uInt>(s.size())));
}

// The stream a command-line compressor makes of `content`.
std::string compressWith(const std::string& command, const std::string& content) {
    TempFolder scratch;
    fs::path dir = scratch.path();
    zipfix::writeFile(dir / "plain", content);
    int rc = -1;
    zipfix::run(command + " < '" + (dir / "plain").string() + "' > '" + (dir / "packed").string() + "'", &rc);
    EXPECT_EQ(rc, 0) << command;
    return zipfix::readFile(dir / "packed");
}

// A method 14 entry: the zip LZMA header (version 9.20, 5 property bytes) before a raw LZMA1
// stream that xz ends with an end marker (lc 3, lp 0, pb 2, 8 MiB dictionary: preset 6).
std::string zipLzma(const std::string& content) {
    std::string raw = compressWith("xz --format=raw --lzma1=preset=6 -c", content);
    return std::string("\x09\x14\x05\x00\x5D\x00\x00\x80\x00", 9) + raw;
}

// The PPMd data 7-Zip writes for `content` (parameter word and coded stream), taken out of the
// one-entry archive it makes.
std::string ppmdStream(const std::string& content) {
    TempFolder scratch;
    fs::path dir = scratch.path();
    zipfix::writeFile(dir / "plain", content);
    int rc = -1;
    zipfix::run("cd '" + dir.string() + "' && 7z a -tzip -mm=PPMd:o=6 -bd -bso0 packed.zip plain", &rc);
    EXPECT_EQ(rc, 0);
    const std::string zip = zipfix::readFile(dir / "packed.zip");
    if (zip.size() < 30) return "";
    auto le = [&](std::size_t at, int n) {
        std::uint32_t v = 0;
        for (int i = n - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(zip[at + i]);
        return v;
    };
    EXPECT_EQ(le(8, 2), 98u);
    const std::size_t start = 30 + le(26, 2) + le(28, 2);
    return zip.substr(start, le(18, 4));
}

struct StreamCase {
    const char* label;
    const char* tool;
    int method;
    std::uint16_t flags;
    std::string (*pack)(const std::string&);
    std::size_t contentSize = 700000;
};

const StreamCase kStreams[] = {
    {"bzip2", "bzip2", ZipMethod::kBzip2, 0, [](const std::string& c) { return compressWith("bzip2 -c", c); }},
    // Large enough to be decoded a block at a time on several threads.
    {"bzip2_blocks", "bzip2", ZipMethod::kBzip2, 0, [](const std::string& c) { return compressWith("bzip2 -1 -c", c); },
     3000000},
    {"lzma_end_marker", "xz", ZipMethod::kLzma, 0x02, zipLzma},
    {"xz", "xz", ZipMethod::kXz, 0, [](const std::string& c) { return compressWith("xz -c", c); }},
    {"zstd", "zstd", ZipMethod::kZstd, 0, [](const std::string& c) { return compressWith("zstd -q -c", c); }},
    {"zstd_early_id", "zstd", ZipMethod::kZstdEarly, 0,
     [](const std::string& c) { return compressWith("zstd -q -c", c); }},
    {"ppmd", "7z", ZipMethod::kPpmd, 0, ppmdStream},
};

struct Damage {
    const char* label;
    // Changes the stored stream or the member; "" content expected means the entry fails.
    void (*apply)(zipfix::Member&);
    bool fails;
};

const Damage kDamages[] = {
    {"intact", [](zipfix::Member&) {}, false},
    {"truncated", [](zipfix::Member& m) { m.data.resize(m.data.size() / 2); }, true},
    {"last_byte_missing", [](zipfix::Member& m) { m.data.pop_back(); }, true},
    {"corrupt_middle",
     [](zipfix::Member& m) {
         for (std::size_t i = m.data.size() / 2; i < m.data.size() / 2 + 16; ++i)
             m.data[i] = static_cast<char>(m.data[i] ^ 0x5A);
     },
     true},
    // Content beyond the declared size is refused, not written.
    {"declared_size_too_small", [](zipfix::Member& m) { m.localUncompressed = m.centralUncompressed = 1000; }, true},
};

TEST(ExtractMethodStreams, DecodeOrFailCleanly) {
    TempFolder scratch;
    for (const StreamCase& s : kStreams) {
        if (!zipfix::haveTool(s.tool) || !ZipMethod::isSupported(s.method)) continue;
        const std::string content = sampleContent(s.contentSize);
        const std::string packed = s.pack(content);
        ASSERT_FALSE(packed.empty()) << s.label;
        for (const Damage& d : kDamages) {
            SCOPED_TRACE(std::string(s.label) + " " + d.label);
            zipfix::Member m;
            m.name = "content.txt";
            m.method = static_cast<std::uint16_t>(s.method);
            m.flags = s.flags;
            m.version = 63;
            m.data = packed;
            m.crc = crcOf(content);
            m.localUncompressed = m.centralUncompressed = static_cast<std::int64_t>(content.size());
            d.apply(m);
            zipfix::Archive archive;
            archive.members.push_back(m);
            fs::path dir = scratch / (std::string(s.label) + "_" + d.label);
            fs::create_directories(dir);
            std::string path = zipfix::writeFile(dir / "a.zip", archive.build());
            Extracted r = extract(path, dir / "out");
            if (d.fails) {
                EXPECT_EQ(r.count, -1);
                EXPECT_FALSE(fs::exists(dir / "out/content.txt"));
                EXPECT_NE(r.log.find("Failed to decode the entry's compressed data"), std::string::npos) << r.log;
            } else {
                ASSERT_EQ(r.count, 1) << r.log;
                EXPECT_TRUE(zipfix::readFile(dir / "out/content.txt") == content);
            }
        }
    }
}

// An abort answered early in a large entry stops its decoder within a block: the entry fails,
// the entry after it is not started, and no percent event follows the answer.
TEST(ExtractMethodStreams, AbortStopsTheDecoder) {
    TempFolder scratch;
    const std::string content = sampleContent(3000000);
    std::vector<StreamCase> cases(std::begin(kStreams), std::end(kStreams));
    cases.push_back({"stored", nullptr, ZipMethod::kStored, 0, [](const std::string& c) { return c; }});
    cases.push_back({"deflate", nullptr, ZipMethod::kDeflated, 0, [](const std::string& c) {
                         auto packed = zlibDeflateRaw(reinterpret_cast<const std::uint8_t*>(c.data()), c.size(), 6);
                         return std::string(packed.begin(), packed.end());
                     }});
    for (const StreamCase& s : cases) {
        if ((s.tool && !zipfix::haveTool(s.tool)) || !ZipMethod::isSupported(s.method)) continue;
        SCOPED_TRACE(s.label);
        zipfix::Member m{.name = "content.txt", .data = s.pack(content)};
        m.method = static_cast<std::uint16_t>(s.method);
        m.flags = s.flags;
        m.version = 63;
        m.crc = crcOf(content);
        m.localUncompressed = m.centralUncompressed = static_cast<std::int64_t>(content.size());
        zipfix::Archive archive;
        archive.members.push_back(m);
        archive.members.push_back({.name = "after.txt", .data = "x", .crc = crcOf("x")});
        fs::path dir = scratch / s.label;
        fs::create_directories(dir);
        RecordingProgress p;
        p.abortAtPercent = 5;
        Extracted r = extract(zipfix::writeFile(dir / "a.zip", archive.build()), dir / "out", &p);
        EXPECT_EQ(r.count, -1) << r.log;
        ASSERT_FALSE(p.percents.empty());
        EXPECT_LT(p.percents.back(), 50);
        EXPECT_EQ(p.events.substr(p.events.find('!')), "!E");
        EXPECT_TRUE(listTree(dir / "out").empty());
    }
}

// ---- archives of other projects ----

struct CorpusCase {
    const char* file;
    bool extracts;
    bool sevenZipReads;  // 7-Zip does not know the early zstd id
};

const CorpusCase kCorpus[] = {
    {"libzip/lzma-no-eos.zip", true, true},
    {"libarchive/test_read_format_zip_lzma_stream_end.zipx", true, true},
    {"libzip/testfile-xz.zip", true, true},
    {"libzip/testfile-zstd.zip", true, true},
    {"minizip-ng/license_zstd.zip", true, false},
    {"libzip/testbzip2.zip", true, true},
    {"commons-compress/bzip2-zip.zip", true, true},
    {"libzip/testbzip2broken.zip", false, false},
    {"commons-compress/COMPRESS-380/COMPRESS-380.zip", true, true},
    {"commons-compress/lorem-ipsum-deflate64.zip", true, true},
    {"libarchive/test_read_format_zip_ppmd8.zipx", true, true},
    {"libarchive/test_read_format_zip_ppmd8_multi.zipx", true, true},
    {"libarchive/test_read_format_zip_ppmd8_crash_1.zipx", false, false},
    {"zip-rs/ppmd.zip", true, true},
};

TEST(ExtractMethodCorpus, AsSevenZipExtracts) {
    TempFolder scratch;
    for (const CorpusCase& c : kCorpus) {
        SCOPED_TRACE(c.file);
        const std::string archive = std::string(TN_SOURCE_DIR) + "/tests/data/" + c.file;
        fs::path dir = scratch / c.file;
        Extracted r = extract(archive, dir / "ours");
        if (!c.extracts) {
            EXPECT_EQ(r.count, -1);
            EXPECT_TRUE(!fs::exists(dir / "ours") || listTree(dir / "ours").empty());
            continue;
        }
        ASSERT_GE(r.count, 1) << r.log;
        if (!c.sevenZipReads || !zipfix::haveTool("7z")) continue;
        extractWith7z(archive, dir / "ref");
        for (auto& [name, path] : listTree(dir / "ref")) {
            if (name.back() == '/') continue;
            EXPECT_TRUE(zipfix::readFile(path) == zipfix::readFile(dir / "ours" / name)) << name;
        }
    }
}

}  // namespace
