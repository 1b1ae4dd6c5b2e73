// The decoder memory limit: a zstd window, an LZMA or xz dictionary or a PPMd model larger than
// the limit fails the entry before it is allocated, with a message naming both sizes; at the
// limit the same stream decodes. Streams are small real ones whose header is edited to ask for
// more (the content never needs it), fed in awkward chunks so that headers split anywhere.
#include <gtest/gtest.h>

#include "ExtractFixture.h"
#include "PipelineTestParts.h"
#include "TempFolder.h"
#include "codecs/DecoderMemoryLimit.h"
#include "codecs/ZipMethod.h"
#include "pipeline/MethodDecoders.h"

using namespace extractfix;

namespace {
const std::string kTool = std::string(TN_BINARY_DIR) + "/tools/tnzip";
constexpr std::uint64_t kMiB = 1 << 20;
const std::string kText = "a small content that never needs the memory its header asks for\n";

bool contains(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

// A zstd frame holding kText in one raw block, with the given window descriptor byte (exponent
// in the high five bits, eighths in the low three: 0xA0 is 1 GiB) and no content size.
std::string zstdFrame(std::uint8_t windowDescriptor) {
    std::string s;
    zipfix::put32(s, 0xFD2FB528);
    s += '\0';  // frame header descriptor: window descriptor present, nothing else
    s += static_cast<char>(windowDescriptor);
    const std::uint32_t blockHeader = static_cast<std::uint32_t>(kText.size()) << 3 | 1;  // raw, last
    s += std::string(reinterpret_cast<const char*>(&blockHeader), 3);
    return s + kText;
}

std::string skippableFrame() {
    std::string s;
    zipfix::put32(s, 0x184D2A50);
    zipfix::put32(s, 3);
    return s + "abc";
}

// Runs a peer's compressor on kText; its output.
std::string compressWith(const std::string& command) {
    TempFolder scratch;
    const fs::path in = fs::path(scratch.path()) / "in";
    zipfix::writeFile(in, kText);
    return zipfix::run(command + " < '" + in.string() + "'");
}

// xz's dictionary size code: (2 | bit 0) << (code / 2 + 11).
std::string withXzDictionary(std::string xz, std::uint8_t code) {
    // Stream header (12 bytes), then the block header: its size, flags, optional sizes, then the
    // LZMA2 filter: id 0x21, properties size 1, the dictionary code; CRC-32 at its end.
    const std::size_t at = 12, size = (static_cast<unsigned char>(xz[at]) + 1) * 4;
    std::size_t p = at + 2;
    const auto flags = static_cast<unsigned char>(xz[at + 1]);
    for (int field : {0x40, 0x80})
        if (flags & field)
            while (xz[p++] & 0x80) {
            }
    EXPECT_EQ(xz.substr(p, 2), std::string("\x21\x01", 2));
    xz[p + 2] = static_cast<char>(code);
    const std::uint32_t crc = zipfix::crcOf(xz.substr(at, size - 4));
    for (int i = 0; i < 4; ++i) xz[at + size - 4 + i] = static_cast<char>(crc >> (8 * i));
    return xz;
}

// Zip's LZMA form: version, properties size 5, properties (lc/lp/pb, dictionary), raw stream.
std::string zipLzma(const std::string& raw, std::uint32_t dictionary) {
    std::string s("\x09\x14\x05\x00\x5D", 5);
    zipfix::put32(s, dictionary);
    return s + raw;
}

// A PPMd stream of the 7-Zip zip form with its model size field (MB - 1) set.
std::string withPpmdModel(std::string ppmd, unsigned megabytes) {
    const unsigned word = (static_cast<unsigned char>(ppmd[0]) | static_cast<unsigned char>(ppmd[1]) << 8);
    const unsigned edited = (word & 0xF00F) | (megabytes - 1) << 4;
    ppmd[0] = static_cast<char>(edited);
    ppmd[1] = static_cast<char>(edited >> 8);
    return ppmd;
}

// The stored data of the first member of a zip archive.
std::string firstMemberData(const std::string& zip) {
    auto le16 = [&](std::size_t at) {
        return static_cast<unsigned char>(zip[at]) | static_cast<unsigned char>(zip[at + 1]) << 8;
    };
    const std::size_t size = le16(18) | static_cast<std::size_t>(le16(20)) << 16;
    return zip.substr(30 + le16(26) + le16(28), size);
}

struct Decoded {
    bool ok = false;
    std::string content;
    std::string log;
};

Decoded decode(int method, const std::string& stream, std::uint64_t limit, std::uint32_t chunk) {
    ChunkySource source(std::vector<std::uint8_t>(stream.begin(), stream.end()), chunk);
    NarrowSink sink(1 << 16);
    RecordingLog log;
    Decoded d;
    d.ok = makeMethodDecoder(method, 0, ~std::uint64_t(0), limit)->decode(source, sink, log);
    d.content.assign(sink.received.begin(), sink.received.end());
    d.log = log.dump();
    return d;
}

struct Case {
    const char* label;
    int method;
    std::string stream;
    const char* what;    // as the refusal names the need
    std::uint64_t need;  // 0: reported as the decoder computes it (xz)
    std::uint64_t fits;  // the least limit at which it decodes
};
}  // namespace

TEST(DecoderMemoryLimit, SizesReadAsPeopleWriteThem) {
    EXPECT_EQ(DecoderMemoryLimit::sizeText(1 << 30), "1 GiB");
    EXPECT_EQ(DecoderMemoryLimit::sizeText(160 * kMiB), "160 MiB");
    EXPECT_EQ(DecoderMemoryLimit::sizeText(128 * kMiB + 1), "128.1 MiB");  // never reads as the limit
    EXPECT_EQ(DecoderMemoryLimit::sizeText(900 * 1024), "900 KiB");
    EXPECT_EQ(DecoderMemoryLimit::sizeText(1000), "1000 bytes");
    EXPECT_EQ(DecoderMemoryLimit::refusal("zstd window", 1 << 30, 128 * kMiB),
              "zstd window of 1 GiB exceeds the memory limit of 128 MiB");
}

// Each stream is refused one byte below what it needs, decodes at that, and is refused by the
// default limit when it asks for more than that.
TEST(DecoderMemoryLimit, EveryMethodRefusesWhatItsHeaderAsksAboveTheLimit) {
    if (!zipfix::haveTool("xz") || !zipfix::haveTool("7z")) GTEST_SKIP() << "xz or 7z missing";
    const std::string xz = compressWith("xz --format=xz --check=crc32 --lzma2=preset=0,dict=4KiB -c");
    const std::string lzma = compressWith("xz --format=raw --lzma1=preset=0,dict=4KiB -c");
    TempFolder scratch;
    const fs::path dir = scratch.path();
    zipfix::writeFile(dir / "t.txt", kText);
    zipfix::run("cd '" + dir.string() + "' && 7z a -tzip -mm=PPMd -bd -bso0 p.zip t.txt");
    const std::string ppmd = firstMemberData(zipfix::readFile(dir / "p.zip"));
    ASSERT_FALSE(xz.empty() || lzma.empty() || ppmd.empty());

    const Case cases[] = {
        {"zstd 1 GiB window", ZipMethod::kZstd, zstdFrame(0xA0), "zstd window", 1ull << 30, 1ull << 30},
        {"zstd 160 MiB window", ZipMethod::kZstd, zstdFrame(0x8A), "zstd window", 160 * kMiB, 160 * kMiB},
        {"zstd after a skippable frame and a small one", ZipMethod::kZstdEarly,
         skippableFrame() + zstdFrame(0x00) + zstdFrame(0x98), "zstd window", 512 * kMiB, 512 * kMiB},
        {"xz 192 MiB dictionary", ZipMethod::kXz, withXzDictionary(xz, 31), "xz decoder memory", 0, 192 * kMiB},
        {"xz 512 MiB dictionary", ZipMethod::kXz, withXzDictionary(xz, 34), "xz decoder memory", 0, 512 * kMiB},
        {"LZMA 512 MiB dictionary", ZipMethod::kLzma, zipLzma(lzma, 512 * kMiB), "LZMA dictionary", 512 * kMiB,
         512 * kMiB},
        {"PPMd 256 MB model", ZipMethod::kPpmd, withPpmdModel(ppmd, 256), "PPMd model", 256 * kMiB, 256 * kMiB},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string expected = c.method == ZipMethod::kZstdEarly ? kText + kText : kText;
        for (std::uint32_t chunk : {3u, 13u, 65536u}) {
            SCOPED_TRACE("chunk " + std::to_string(chunk));
            Decoded at = decode(c.method, c.stream, c.fits, chunk);
            EXPECT_TRUE(at.ok) << at.log;
            EXPECT_EQ(at.content, expected);
        }
        const std::uint64_t below = c.fits - kMiB;
        Decoded refused = decode(c.method, c.stream, below, 7);
        EXPECT_FALSE(refused.ok);
        const std::string limitText = " exceeds the memory limit of " + DecoderMemoryLimit::sizeText(below);
        const std::string named = c.need ? DecoderMemoryLimit::refusal(c.what, c.need, below)
                                         : c.what + std::string(" of ");
        EXPECT_TRUE(contains(refused.log, named) && contains(refused.log, limitText)) << refused.log;
        EXPECT_LT(refused.content.size(), expected.size());  // the frames before the refused one only
        Decoded byDefault = decode(c.method, c.stream, DecoderMemoryLimit::kDefault, 65536);
        EXPECT_EQ(byDefault.ok, c.fits <= DecoderMemoryLimit::kDefault) << byDefault.log;
    }
}

// End to end: a 1 GiB zstd window in a small archive fails the entry with the message, and the
// archive's other entries still extract; --max-memory raises the limit; bad sizes are usage
// errors.
TEST(DecoderMemoryLimit, TnzipMaxMemoryOption) {
    TempFolder scratch;
    const fs::path dir = scratch.path();
    zipfix::Archive a;
    const std::string frame = zstdFrame(0xA0);
    a.members.push_back({.name = "wide.txt",
                         .data = frame,
                         .method = ZipMethod::kZstd,
                         .crc = zipfix::crcOf(kText),
                         .localUncompressed = static_cast<std::int64_t>(kText.size()),
                         .centralUncompressed = static_cast<std::int64_t>(kText.size())});
    a.members.push_back({.name = "plain.txt", .data = kText, .crc = zipfix::crcOf(kText)});
    const std::string archive = zipfix::writeFile(dir / "w.zip", a.build());
    struct Run {
        const char* options;
        int rc;
        bool wideExtracted;
    } runs[] = {
        {"", 2, false},
        {"--max-memory 1023M", 2, false},
        {"--max-memory 1G", 0, true},
        {"--max-memory 1048576K", 0, true},
        {"--max-memory 2GiB", 0, true},
        {"--max-memory 0", 10, false},
        {"--max-memory 12X", 10, false},
        {"--max-memory -1G", 10, false},
        {"--max-memory 99999999999T", 10, false},
        {"--max-memory 99999999999999999999999", 10, false},
    };
    for (const Run& r : runs) {
        SCOPED_TRACE(r.options);
        fs::remove_all(dir / "out");
        int rc = -1;
        const std::string out = zipfix::run(
            "'" + kTool + "' x '" + archive + "' -d '" + (dir / "out").string() + "' -q -v " + r.options + " 2>&1",
            &rc);
        EXPECT_EQ(rc, r.rc) << out;
        EXPECT_EQ(fs::exists(dir / "out/wide.txt"), r.wideExtracted) << out;
        if (r.rc == 10) continue;
        EXPECT_EQ(zipfix::readFile(dir / "out/plain.txt"), kText);
        EXPECT_EQ(contains(out, "zstd window of 1 GiB exceeds the memory limit of"), !r.wideExtracted) << out;
    }
    int rc = -1;
    const std::string tested = zipfix::run("'" + kTool + "' t '" + archive + "' --max-memory 1G 2>&1", &rc);
    EXPECT_EQ(rc, 0) << tested;
}
