// Decoding an entry: no plaintext anywhere but the output, even from a read-only current
// directory as an unprivileged user or when the process is killed; output held to the size the
// entry declares, for every method; every CRC checked, 0 included; a wrong password or a failed
// authentication leaves an existing file as it was, and no new one.
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <random>

#include "ExtractFixture.h"
#include "LsbBitWriter.h"
#include "PipelineTestParts.h"
#include "TempFolder.h"
#include "ZlibRaw.h"
#include "base/DataBuffer.h"
#include "codecs/Implode.h"
#include "codecs/Unshrink.h"
#include "log/LogNull.h"
#include "pipeline/MethodDecoders.h"

using namespace extractfix;

namespace {
const std::string kTool = std::string(TN_BINARY_DIR) + "/tools/tnzip";

std::string asString(const std::vector<std::uint8_t>& v) { return std::string(v.begin(), v.end()); }

// A shrunk stream of 'a's: after the first byte every code is the one being defined, one 'a'
// longer than the last (code k spells k - 255 of them), until the table is full at 8,191; then
// that longest code (7,936 bytes) repeats. About 4 bytes of input per 5,000 of output.
std::string shrinkBomb(int repeats) {
    LsbBitWriter w;
    int width = 9;
    w.field('a', 9);
    for (int code = 257; code < 8192; ++code) {
        if (code == (1 << width)) {
            w.field(256, width).field(1, width);
            ++width;
        }
        w.field(static_cast<std::uint32_t>(code), width);
    }
    for (int i = 0; i < repeats; ++i) w.field(8191, 13);
    return asString(w.bytes());
}
std::uint64_t shrinkBombSize(int repeats) { return 1 + (7936ull * 7937 / 2 - 1) + 7936ull * repeats; }

std::uint32_t crcOfAs(std::uint64_t n) {
    const std::string chunk(1 << 16, 'a');
    uLong crc = crc32(0, nullptr, 0);
    for (; n > 0; n -= std::min<std::uint64_t>(n, chunk.size()))
        crc = crc32(crc, reinterpret_cast<const Bytef*>(chunk.data()),
                    static_cast<uInt>(std::min<std::uint64_t>(n, chunk.size())));
    return static_cast<std::uint32_t>(crc);
}

// Imploded, 4 KiB dictionary, no literal table: length and distance tables of 64 six-bit codes,
// then each byte as a literal (flag bit 1, 8 bits).
std::string implodedLiterals(const std::string& text) {
    LsbBitWriter w;
    for (int table = 0; table < 2; ++table) {
        w.field(3, 8);                                        // four description bytes
        for (int i = 0; i < 4; ++i) w.field(15 << 4 | 5, 8);  // 16 symbols of length 6
    }
    for (unsigned char c : text) w.field(1, 1).field(c, 8);
    return asString(w.bytes());
}

std::string rawDeflate(const std::string& text) {
    return asString(zlibDeflateRaw(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), 9));
}

zipfix::Member member(const std::string& name, std::uint16_t method, std::string data, std::uint64_t size,
                      std::uint32_t crc) {
    zipfix::Member m;
    m.name = name;
    m.method = method;
    m.data = std::move(data);
    m.crc = crc;
    m.localUncompressed = m.centralUncompressed = static_cast<std::int64_t>(size);
    return m;
}

std::string randomBytes(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (auto& c : s) c = static_cast<char>(rng());
    return s;
}

bool contains(const std::string& s, const char* part) { return s.find(part) != std::string::npos; }
}  // namespace

// Each method decodes exactly its declared size; one byte declared less fails the entry with a
// clear line and leaves no file, and a bomb stops at its declared size instead of running on.
TEST(DecodeLimits, OutputPastTheDeclaredSizeFailsTheEntry) {
    const std::string text = "held to the declared size\n";
    const std::uint32_t textCrc = static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(text.data()), static_cast<uInt>(text.size())));
    const std::string bomb = shrinkBomb(4000);  // 63 MB of 'a's from 60 KB
    const std::uint64_t bombSize = shrinkBombSize(4000);
    struct Case {
        const char* label;
        zipfix::Member entry;
        std::uint64_t size;
    } cases[] = {
        {"stored", member("x", 0, text, 0, textCrc), text.size()},
        {"deflated", member("x", 8, rawDeflate(text), 0, textCrc), text.size()},
        {"imploded", member("x", 6, implodedLiterals(text), 0, textCrc), text.size()},
        {"shrunk", member("x", 1, bomb, 0, crcOfAs(bombSize)), bombSize},
    };
    TempFolder scratch;
    const fs::path dir = scratch.path();
    for (Case& c : cases) {
        for (std::uint64_t declared : {c.size, c.size - 1, c.size / 2}) {
            SCOPED_TRACE(std::string(c.label) + " declared " + std::to_string(declared));
            c.entry.localUncompressed = c.entry.centralUncompressed = static_cast<std::int64_t>(declared);
            zipfix::Archive a;
            a.members.push_back(c.entry);
            const std::string archive = zipfix::writeFile(dir / (std::string(c.label) + ".zip"), a.build());
            fs::remove_all(dir / "out");
            Extracted r = extract(archive, dir / "out");
            if (declared == c.size) {
                EXPECT_EQ(r.count, 1) << r.log;
                EXPECT_EQ(fs::file_size(dir / "out/x"), c.size);
                continue;
            }
            EXPECT_LT(r.count, 0);
            EXPECT_TRUE(contains(r.log, "Entry data is longer than its declared size")) << r.log;
            EXPECT_FALSE(fs::exists(dir / "out/x"));
        }
    }
}

// The streamed legacy decoders read and write across every chunk boundary: through a source of
// 1 to 13 bytes at a time and a sink of 4 KB writes, they give what the whole-block forms give.
TEST(DecodeLimits, StreamedLegacyDecodersMatchTheWholeBlockForms) {
    const std::string bomb = shrinkBomb(40);
    DataBuffer unshrunk;
    ASSERT_TRUE(Unshrink::unshrink(reinterpret_cast<const std::uint8_t*>(bomb.data()),
                                   static_cast<std::uint32_t>(bomb.size()), unshrunk));
    ASSERT_EQ(unshrunk.size(), shrinkBombSize(40));
    std::string text;
    for (int i = 0; text.size() < 100000; ++i) text += std::to_string(i * 7919 % 1000) + ",";
    const std::string imploded = implodedLiterals(text);
    struct Case {
        int method;
        const std::string& input;
        std::string expected;
    } cases[] = {
        {1, bomb, std::string(reinterpret_cast<const char*>(unshrunk.data()), unshrunk.size())},
        {6, imploded, text},
    };
    for (const Case& c : cases) {
        for (std::uint32_t chunk : {1u, 13u, 65536u}) {
            SCOPED_TRACE(std::to_string(c.method) + " chunk " + std::to_string(chunk));
            ChunkySource source(std::vector<std::uint8_t>(c.input.begin(), c.input.end()), chunk);
            NarrowSink sink(40000);
            LogNull log;
            ASSERT_TRUE(makeMethodDecoder(c.method, 0)->decode(source, sink, log));
            EXPECT_TRUE(asString(sink.received) == c.expected);
        }
    }
}

// A stored CRC of 0 is compared like any other: content whose CRC is not 0 fails, an empty
// entry (whose CRC is 0) passes.
TEST(DecodeCrc, StoredCrcOfZeroIsChecked) {
    TempFolder scratch;
    const fs::path dir = scratch.path();
    zipfix::Archive a;
    a.members.push_back(member("empty", 0, "", 0, 0));
    a.members.push_back(member("forged", 0, "any content at all", 18, 0));
    const std::string archive = zipfix::writeFile(dir / "a.zip", a.build());
    Extracted r = extract(archive, dir / "out");
    EXPECT_LT(r.count, 0);
    EXPECT_TRUE(contains(r.log, "CRC mismatch")) << r.log;
    EXPECT_TRUE(fs::exists(dir / "out/empty"));
    EXPECT_FALSE(fs::exists(dir / "out/forged"));
}

namespace {
struct Encrypted {
    const char* label;
    const char* tool;
    const char* command;  // run inside the source tree; OUT is the archive path
};
// Large entries stream from the archive (and, for WinZip AES, decrypt as they stream); small
// ones are read into memory first.
const Encrypted kEncrypted[] = {
    {"zipcrypto", "zip", "zip -q -P secret OUT big.bin small.txt"},
    {"winzip_aes", "7z", "7z a -tzip -bd -bso0 -psecret -mem=AES256 OUT big.bin small.txt"},
};

std::string makeEncrypted(const Encrypted& c, const fs::path& dir) {
    fs::create_directories(dir / "src");
    zipfix::writeFile(dir / "src/big.bin", randomBytes(9000000, 3));
    zipfix::writeFile(dir / "src/small.txt", "small plaintext\n");
    const std::string archive = (dir / "a.zip").string();
    std::string command = c.command;
    command.replace(command.find("OUT"), 3, "'" + archive + "'");
    int rc = -1;
    zipfix::run("cd '" + (dir / "src").string() + "' && rm -f '" + archive + "' && " + command + " 2>&1", &rc);
    return rc == 0 ? archive : std::string();
}

class DecodeEncrypted : public ::testing::TestWithParam<Encrypted> {};
}  // namespace

// A wrong password is found before an existing file is opened: both files keep their bytes.
// An entry whose data was altered fails (WinZip AES: its authentication) and leaves no file.
TEST_P(DecodeEncrypted, WrongPasswordOrFailedAuthenticationLeavesFilesAlone) {
    const Encrypted& c = GetParam();
    if (!zipfix::haveTool(c.tool)) GTEST_SKIP() << c.tool << " missing";
    TempFolder scratch;
    const fs::path dir = scratch.path();
    const std::string archive = makeEncrypted(c, dir);
    ASSERT_FALSE(archive.empty());
    fs::create_directories(dir / "out");
    for (const char* name : {"big.bin", "small.txt"})
        zipfix::writeFile(dir / "out" / name, std::string("precious ") + name);
    Extracted r = extract(archive, dir / "out", nullptr, "wrong password");
    EXPECT_LT(r.count, 0);
    for (const char* name : {"big.bin", "small.txt"})
        EXPECT_EQ(zipfix::readFile(dir / "out" / name), std::string("precious ") + name) << r.log;

    std::string bytes = zipfix::readFile(archive);
    bytes[bytes.size() / 2] ^= 0x40;  // inside big.bin's ciphertext
    const std::string altered = zipfix::writeFile(dir / "altered.zip", bytes);
    Extracted bad = extract(altered, dir / "altered", nullptr, "secret");
    EXPECT_LT(bad.count, 0);
    // Traditional encryption has no code of its own: the damage shows in the decoding or the CRC.
    if (std::string(c.tool) == "7z") {
        EXPECT_TRUE(contains(bad.log, "authentication code mismatch")) << bad.log;
    }
    EXPECT_FALSE(fs::exists(dir / "altered/big.bin"));
}

// As user nobody, from a current directory nobody may write to, with a private TMPDIR: both
// entries extract, and afterwards nothing exists anywhere but the output.
TEST_P(DecodeEncrypted, UnprivilegedFromAReadOnlyDirectoryLeavesNothingElse) {
    const Encrypted& c = GetParam();
    if (!zipfix::haveTool(c.tool)) GTEST_SKIP() << c.tool << " missing";
    if (geteuid() != 0 || !zipfix::haveTool("setpriv")) GTEST_SKIP() << "needs root and setpriv to become nobody";
    TempFolder scratch;
    const fs::path dir = scratch.path();
    const std::string archive = makeEncrypted(c, dir);
    ASSERT_FALSE(archive.empty());
    for (const char* sub : {"ro", "out", "tmp"}) fs::create_directories(dir / sub);
    const std::string asNobody = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
    int rc = -1;
    zipfix::run("chown 65534:65534 '" + (dir / "out").string() + "' '" + (dir / "tmp").string() + "' && chmod 0555 '" +
                    (dir / "ro").string() + "' && chmod 0644 '" + archive + "'",
                &rc);
    zipfix::run(asNobody + "test -r '" + archive + "' -a -x '" + kTool + "'", &rc);
    if (rc != 0) GTEST_SKIP() << "nobody cannot reach the build tree";
    const std::string out = zipfix::run("cd '" + (dir / "ro").string() + "' && " + asNobody + "env TMPDIR='" +
                                            (dir / "tmp").string() + "' '" + kTool + "' x '" + archive + "' -d '" +
                                            (dir / "out").string() + "' -P secret 2>&1",
                                        &rc);
    EXPECT_EQ(rc, 0) << out;
    EXPECT_EQ(zipfix::readFile(dir / "out/big.bin"), zipfix::readFile(dir / "src/big.bin"));
    EXPECT_EQ(zipfix::readFile(dir / "out/small.txt"), "small plaintext\n");
    EXPECT_TRUE(fs::is_empty(dir / "ro"));
    EXPECT_TRUE(fs::is_empty(dir / "tmp"));
}

// Killed while it writes the large entry, tnzip leaves no file in its current directory or its
// temporary directory: decryption never stages plaintext there.
TEST_P(DecodeEncrypted, KilledExtractionLeavesNoPlaintextBehind) {
    const Encrypted& c = GetParam();
    if (!zipfix::haveTool(c.tool) || !zipfix::haveTool("timeout")) GTEST_SKIP() << c.tool << " missing";
    TempFolder scratch;
    const fs::path dir = scratch.path();
    const std::string archive = makeEncrypted(c, dir);
    ASSERT_FALSE(archive.empty());
    for (const char* sub : {"cwd", "tmp"}) fs::create_directories(dir / sub);
    for (const char* after : {"0.05", "0.2", "0.5"}) {
        fs::remove_all(dir / "out");
        zipfix::run("cd '" + (dir / "cwd").string() + "' && TMPDIR='" + (dir / "tmp").string() + "' timeout -s KILL " +
                    after + " '" + kTool + "' x '" + archive + "' -d '" + (dir / "out").string() +
                    "' -P secret >/dev/null 2>&1");
        EXPECT_TRUE(fs::is_empty(dir / "cwd")) << after;
        EXPECT_TRUE(fs::is_empty(dir / "tmp")) << after;
    }
}

INSTANTIATE_TEST_SUITE_P(Makers, DecodeEncrypted, ::testing::ValuesIn(kEncrypted),
                         [](const auto& info) { return std::string(info.param.label); });
