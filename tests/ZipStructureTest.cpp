// Which archive a file holds and whether its records can be trusted: the end record found from
// the back decides where the archive is; a directory that cannot be read whole, records that
// disagree, partial ZIP64 blocks and control characters in names are reported, never passed.
#include <gtest/gtest.h>

#include "ExtractFixture.h"
#include "TempFolder.h"
#include "ZlibRaw.h"

using namespace zipfix;
namespace fs = std::filesystem;

namespace {

const std::string kTool = std::string(TN_BINARY_DIR) + "/tools/tnzip";

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

Member stored(const std::string& name, const std::string& data) {
    return Member{.name = name, .data = data, .crc = crcOf(data)};
}

Archive threeFiles() {
    Archive a;
    for (const char* name : {"one.txt", "two.txt", "three.txt"}) a.members.push_back(stored(name, name));
    return a;
}

// Overwrites little-endian bytes of the end record (the last 22 bytes, no comment).
std::string patchEnd(std::string zip, std::size_t field, std::uint32_t value, int width) {
    const std::size_t at = zip.size() - 22 + field;
    for (int i = 0; i < width; ++i) zip[at + std::size_t(i)] = char((value >> (8 * i)) & 0xFF);
    return zip;
}

std::string tnzip(const std::string& args, int& rc) { return run(kTool + " " + args + " 2>&1", &rc); }

std::vector<std::string> namesIn(const fs::path& root) {
    std::vector<std::string> out;
    for (auto& [name, path] : extractfix::listTree(root)) out.push_back(name);
    return out;
}

}  // namespace

// The end record promises three entries; the directory is cut short, missing or on another disk.
// What can be recovered is extracted, but the call fails and says why and how many were promised.
TEST(ZipStructure, BrokenCentralDirectoryFailsNamingTheCause) {
    TempFolder scratch;
    const std::string good = threeFiles().build();
    Archive bare = threeFiles();
    bare.omitCentral = true;
    // Two of three records: the third record's bytes are dropped and the size and offset kept right.
    std::string shortDir = good;
    const std::size_t cdStart = 3 * 30 + 7 + 7 + 9 + 7 + 7 + 9;
    const std::size_t thirdRecord = cdStart + 2 * 46 + 7 + 7;
    shortDir.erase(thirdRecord, 46 + 9);
    shortDir = patchEnd(shortDir, 12, std::uint32_t(2 * 46 + 14), 4);
    struct Case {
        const char* label;
        std::string bytes;
        const char* cause;
        std::vector<std::string> extracted;
    };
    const Case cases[] = {
        // The local header the directory lost is still extracted.
        {"fewer records", shortDir, "truncated central directory", {"one.txt", "three.txt", "two.txt"}},
        {"directory past the end",
         patchEnd(patchEnd(patchEnd(bare.build(), 10, 3, 2), 12, 200, 4), 16, 1 << 20, 4),
         "central directory outside the file",
         {"one.txt", "three.txt", "two.txt"}},
        {"disk 1",
         patchEnd(patchEnd(good, 4, 1, 2), 6, 1, 2),
         "split archives are not supported",
         {"one.txt", "three.txt", "two.txt"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string path = scratch.write("broken.zip", c.bytes);
        const fs::path out = fs::path(scratch.path()) / "out";
        fs::remove_all(out);
        extractfix::Extracted r = extractfix::extract(path, out);
        EXPECT_EQ(r.count, -1) << r.log;
        EXPECT_TRUE(contains(r.log, std::string(c.cause) + ": the end record promises 3 entries")) << r.log;
        EXPECT_EQ(namesIn(out), c.extracted);
        int rc = 0;
        const std::string tested = tnzip("t '" + path + "'", rc);
        EXPECT_NE(rc, 0) << tested;
        EXPECT_TRUE(contains(tested, c.cause)) << tested;
        EXPECT_FALSE(contains(tested, "No errors")) << tested;
    }
}

// The archive is the one the end record describes: ZIP bytes in a stub in front, or a whole
// archive in front (with the offsets adjusted or not), are not it.
TEST(ZipStructure, ArchiveBehindOtherZipBytesIsTheOneTheEndRecordNames) {
    TempFolder scratch;
    Archive inner;
    inner.members.push_back(stored("inner.txt", "from the stub"));
    const std::string innerZip = inner.build();
    Archive outer = threeFiles();
    const std::string plain = outer.build();
    Archive adjusted = threeFiles();
    adjusted.prefix = innerZip;
    Archive signatureOnly = threeFiles();
    signatureOnly.prefix = std::string(500, 'x') + "PK\x03\x04" + std::string(500, '\0');
    const std::pair<const char*, std::string> cases[] = {
        {"stub holding an archive, offsets adjusted", adjusted.build()},
        {"archive in front, offsets not adjusted", innerZip + plain},
        {"signature bytes in the stub", signatureOnly.build()},
    };
    for (const auto& [label, bytes] : cases) {
        SCOPED_TRACE(label);
        const std::string path = scratch.write("outer.zip", bytes);
        const fs::path out = fs::path(scratch.path()) / "out";
        fs::remove_all(out);
        extractfix::Extracted r = extractfix::extract(path, out);
        EXPECT_EQ(r.count, 3) << r.log;
        EXPECT_EQ(namesIn(out), (std::vector<std::string>{"one.txt", "three.txt", "two.txt"}));
        EXPECT_EQ(readFile(out / "two.txt"), "two.txt");
    }
}

TEST(ZipStructure, QuilletPackPublicationOpens) {
    TempFolder scratch;
    const fs::path dir = scratch.path();
    fs::create_directories(dir / "pub/data");
    writeFile(dir / "pub/offline.exe", "viewer");
    writeFile(dir / "pub/data/page.html", "<p>page</p>");
    int rc = -1;
    const std::string packed = run(std::string(TN_QUILLET_PACK) + " '" + (dir / "pub").string() + "' -o '" +
                                       (dir / "out").string() + "' --stub " + TN_QUILLET_OFFLINE + " 2>&1",
                                   &rc);
    ASSERT_EQ(rc, 0) << packed;
    const std::string tested = tnzip("t '" + (dir / "out").string() + "'", rc);
    EXPECT_EQ(rc, 0) << tested;
    EXPECT_TRUE(contains(tested, "offline.exe")) << tested;
    EXPECT_TRUE(contains(tested, "data/page.html")) << tested;
}

// The ZIP64 block holds a value only for each field that is all ones, in the fixed order.
TEST(ZipStructure, PartialZip64BlocksFillOnlyTheFieldsTheyStandFor) {
    TempFolder scratch;
    std::string offsetOnly, sizeAndOffset;
    put64(offsetOnly, 0);
    put64(sizeAndOffset, 5);
    put64(sizeAndOffset, 0);
    Archive a;
    Member first = stored("first.txt", "alpha");
    first.centralExtra = block(0x0001, offsetOnly);
    Member second = stored("second.txt", "bravo");
    second.centralUncompressed = 0xFFFFFFFF;
    second.centralExtra = block(0x0001, sizeAndOffset);
    a.members = {first, second};
    std::string bytes = a.build();
    // The first record's local header offset becomes all ones; its block says 0.
    const std::size_t firstRecord = bytes.size() - 22 - 2 * 46 - 9 - 10 - 12 - 20;
    for (int i = 0; i < 4; ++i) bytes[firstRecord + 42 + std::size_t(i)] = '\xFF';
    const std::string path = scratch.write("zip64.zip", bytes);
    Opened z(path);
    ASSERT_TRUE(z.ok) << z.log();
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(z.record(i).centralRecord.uncompressedSize, 5u) << i;
        EXPECT_EQ(z.record(i).centralRecord.compressedSize, 5u) << i;
    }
    EXPECT_EQ(z.record(0).centralRecord.localHeaderOffset, 0u);
    int rc = -1;
    const std::string listed = tnzip("l '" + path + "'", rc);
    EXPECT_EQ(rc, 0) << listed;
    EXPECT_TRUE(contains(listed, "        10          10")) << listed;  // the totals
    const fs::path out = fs::path(scratch.path()) / "out";
    extractfix::Extracted r = extractfix::extract(path, out);
    EXPECT_EQ(r.count, 2) << r.log;
}

// Records that disagree make the entry inconsistent: the call fails. The central record bounds
// the output and its CRC is the one the data must match.
TEST(ZipStructure, DisagreeingRecordsAreReportedAndTheCentralOneHolds) {
    TempFolder scratch;
    const std::string text = "central record's truth";
    std::string zeros(100000, '\0');
    const auto deflated = zlibDeflateRaw(reinterpret_cast<const std::uint8_t*>(zeros.data()), zeros.size(), 9);
    Member bomb{.name = "bomb.bin",
                .data = std::string(deflated.begin(), deflated.end()),
                .method = 8,
                .crc = crcOf(zeros.substr(0, 1000))};
    bomb.localUncompressed = 100000;
    bomb.centralUncompressed = 1000;
    struct Case {
        const char* label;
        Member member;
        bool flipLocalCrc;  // the records are written alike, then the local CRC is changed
        const char* fields;
        bool written;
    };
    Member wrongCentralCrc = stored("entry.txt", text);
    wrongCentralCrc.crc ^= 1;
    Member renamed = stored("entry.txt", text);
    renamed.centralName = "other.txt";
    const Case cases[] = {
        {"local size larger", bomb, false, "fields: sizes", false},
        {"local CRC wrong, data matches the central one", stored("entry.txt", text), true, "fields: CRC", true},
        {"central CRC wrong", wrongCentralCrc, true, "fields: CRC", false},
        {"names differ", renamed, false, "fields: name", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Archive a;
        a.members.push_back(c.member);
        std::string bytes = a.build();
        if (c.flipLocalCrc) bytes[14] ^= 0x01;
        const std::string path = scratch.write("mixed.zip", bytes);
        const fs::path out = fs::path(scratch.path()) / "out";
        fs::remove_all(out);
        extractfix::Extracted r = extractfix::extract(path, out);
        EXPECT_EQ(r.count, -1) << r.log;
        EXPECT_TRUE(contains(r.log, c.fields)) << r.log;
        const std::vector<std::string> names = namesIn(out);
        EXPECT_EQ(!names.empty(), c.written) << r.log;
        for (const std::string& name : names) EXPECT_LE(fs::file_size(out / name), 1000u) << name;
        int rc = 0;
        const std::string tested = tnzip("t -v '" + path + "'", rc);  // -v: the log names the fields
        EXPECT_NE(rc, 0) << tested;
        EXPECT_TRUE(contains(tested, "inconsistent")) << tested;
    }
}

// No C0 control character or DEL reaches a file name; the listing shows them escaped.
TEST(ZipStructure, EveryControlCharacterIsKeptOutOfFileNames) {
    TempFolder scratch;
    Archive a;
    for (int c = 1; c < 0x20; ++c)
        a.members.push_back(stored("n" + std::string(1, char(c)) + "x" + std::to_string(c), "x"));
    a.members.push_back(stored("n\x7Fx127", "x"));
    const std::string path = scratch.write("controls.zip", a.build());
    const fs::path out = fs::path(scratch.path()) / "out";
    extractfix::Extracted r = extractfix::extract(path, out);
    EXPECT_EQ(r.count, 32) << r.log;
    const std::vector<std::string> names = namesIn(out);
    EXPECT_EQ(names.size(), 32u);
    for (const std::string& name : names)
        for (unsigned char ch : name) EXPECT_TRUE(ch >= 0x20 && ch != 0x7F) << name;
    int rc = -1;
    const std::string listed = tnzip("l '" + path + "'", rc);
    EXPECT_TRUE(contains(listed, "n\\x1Bx27")) << listed;
    EXPECT_TRUE(contains(listed, "n\\x7Fx127")) << listed;
}
