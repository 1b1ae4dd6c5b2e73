// Archives as real writers make them, extracted as the established tools extract them: data
// descriptors without signature, local headers no listing shows, directory marks from every
// host, names from Unix and from East Asian code pages, and entries that cannot be extracted
// reported as failures.
#include <gtest/gtest.h>

#include "ExtractFixture.h"
#include "TempFolder.h"
#include "TestData.h"

using namespace extractfix;
using zipfix::Archive;
using zipfix::crcOf;
using zipfix::Member;

namespace {

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string save(const TempFolder& dir, const Archive& a) { return dir.write("a.zip", a.build()); }

// A descriptor without its signature: the central sizes find it, and the central CRC is checked.
TEST(ExtractCompat, DescriptorWithoutSignature) {
    TempFolder scratch;
    const fs::path dir = scratch.path();
    Extracted r = extract(testdata::path("commons-compress/bla-stored-dd-nosig.zip"), dir / "corpus");
    EXPECT_EQ(r.count, 2) << r.log;
    EXPECT_EQ(fs::file_size(dir / "corpus/test1.xml"), 610u);
    EXPECT_EQ(fs::file_size(dir / "corpus/test2.xml"), 82u);

    for (bool damaged : {false, true}) {
        Archive a;
        const std::string text = "stored behind an unsigned descriptor";
        a.members.push_back({.name = "dd.txt",
                             .data = text,
                             .crc = crcOf(text) ^ (damaged ? 1u : 0u),
                             .descriptor = true,
                             .descriptorSigned = false});
        const fs::path out = dir / (damaged ? "damaged" : "good");
        Extracted made = extract(save(scratch, a), out);
        if (damaged) {
            EXPECT_EQ(made.count, -1) << made.log;
            EXPECT_TRUE(contains(made.log, "CRC mismatch")) << made.log;
            EXPECT_FALSE(fs::exists(out / "dd.txt"));
        } else {
            EXPECT_EQ(made.count, 1) << made.log;
            EXPECT_EQ(zipfix::readFile(out / "dd.txt"), text);
        }
    }
}

// What listings show is what gets written: a local header that the central directory does not
// name is never extracted.
TEST(ExtractCompat, LocalHeaderWithoutCentralRecordIsNotWritten) {
    TempFolder scratch;
    const fs::path dir = scratch.path();
    Archive a;
    a.members.push_back({.name = "listed.txt", .data = "seen", .crc = crcOf("seen")});
    a.members.push_back({.name = "unlisted.txt", .data = "hidden", .crc = crcOf("hidden"), .omitFromCentral = true});
    Extracted r = extract(save(scratch, a), dir / "out");
    EXPECT_EQ(r.count, 1) << r.log;
    EXPECT_TRUE(fs::exists(dir / "out/listed.txt"));
    EXPECT_FALSE(fs::exists(dir / "out/unlisted.txt"));
}

// A trailing '/', the Unix mode's type (made on Unix), or else the DOS directory bit.
TEST(ExtractCompat, DirectoryRule) {
    constexpr std::uint16_t kDos = 0x0014, kUnix = 0x031E;
    struct Case {
        const char* name;
        std::uint16_t madeBy;
        std::uint32_t attributes;
        std::uint32_t size;
        bool directory;
    };
    const Case cases[] = {
        {"slash/", kDos, 0, 0, true},
        {"slash-sized/", kUnix, 0x81A40000, 3, true},  // the trailing '/' beats a file mode
        {"dosbit", kDos, 0x10, 0, true},
        {"unixdir", kUnix, 0x41ED0000, 0, true},
        {"unixfile", kUnix, 0x81FDFFFF, 3, false},  // a regular-file mode beats a DOS byte of 0xFF
        {"nomode", kUnix, 0x10, 0, true},           // no Unix type: the DOS bit decides
        {"dosfile", kDos, 0x41ED0020, 3, false},    // a mode from a DOS host means nothing
    };
    Archive a;
    for (const Case& c : cases) {
        const std::string data(c.size, 'f');
        a.members.push_back(
            {.name = c.name, .data = data, .crc = crcOf(data), .externalAttributes = c.attributes, .madeBy = c.madeBy});
    }
    TempFolder scratch;
    const fs::path dir = scratch.path();
    Extracted r = extract(save(scratch, a), dir / "out");
    EXPECT_EQ(r.count, 2) << r.log;
    for (const Case& c : cases) EXPECT_EQ(fs::is_directory(dir / "out" / c.name), c.directory) << c.name;

    Extracted ef = extract(testdata::path("libzip/testfile-ef.zip"), dir / "ef");
    EXPECT_EQ(ef.count, 1) << ef.log;
    EXPECT_TRUE(fs::is_regular_file(dir / "ef/testfile.txt"));

    // Central uncompressed sizes that are wrong, and a directory known by its mode. The
    // descriptors correct the files' sizes; the directory's records disagree on its size, which
    // fails the call once everything is written.
    Extracted ws = extract(testdata::path("yauzl/wrong-entry-sizes.zip"), dir / "ws");
    EXPECT_EQ(ws.count, -1) << ws.log;
    EXPECT_NE(ws.log.find("fields: sizes"), std::string::npos) << ws.log;
    EXPECT_EQ(fs::file_size(dir / "ws/a.txt"), 39u);
    EXPECT_EQ(fs::file_size(dir / "ws/b.txt"), 76u);
    EXPECT_TRUE(fs::is_directory(dir / "ws/c"));
}

TEST(ExtractCompat, NamesFromEastAsianCodePagesAndUnixRoots) {
    TempFolder scratch;
    const fs::path dir = scratch.path();
    Extracted r = extract(testdata::path("libarchive/test_read_format_zip_filename_cp932.zip"), dir / "cp932", nullptr,
                          nullptr, 932);
    EXPECT_EQ(r.count, 2) << r.log;
    const std::string folder = "\xE8\xA1\xA8\xE3\x81\xA0\xE3\x82\x88";  // the 0x5C of its first character stays
    EXPECT_TRUE(fs::exists(dir / "cp932" / folder / "\xE4\xB8\x80\xE8\xA6\xA7\xE8\xA1\xA8.txt")) << r.log;
    EXPECT_TRUE(fs::exists(dir / "cp932" / folder / "\xE6\xBC\xA2\xE5\xAD\x97.txt")) << r.log;

    Archive a;
    a.members.push_back({.name = "//host/share/x.txt", .data = "x", .crc = crcOf("x")});
    Extracted unc = extract(save(scratch, a), dir / "unc");
    EXPECT_EQ(unc.count, 1) << unc.log;
    EXPECT_TRUE(fs::exists(dir / "unc/host/share/x.txt"));
}

// An entry that is not written fails the extraction, whatever its size; the rest still comes out.
TEST(ExtractCompat, EntriesNotCreatedAreFailures) {
    TempFolder scratch;
    const fs::path dir = scratch.path();
    Archive a;
    a.members.push_back({.name = std::string(300, 'n') + ".txt", .data = ""});  // longer than any file name may be
    a.members.push_back({.name = "after.txt", .data = "a", .crc = crcOf("a")});
    const std::string archive = save(scratch, a);
    Extracted r = extract(archive, dir / "out");
    EXPECT_EQ(r.count, -1) << r.log;
    EXPECT_TRUE(contains(r.log, "UnzipFailedFilename")) << r.log;
    EXPECT_TRUE(contains(r.log, "Not all files extracted successfully.")) << r.log;
    EXPECT_EQ(zipfix::readFile(dir / "out/after.txt"), "a");

    int rc = -1;
    zipfix::run(
        std::string(TN_BINARY_DIR) + "/tools/tnzip x '" + archive + "' -d '" + (dir / "cli").string() + "' 2>&1", &rc);
    EXPECT_EQ(rc, 1);
}

// The one exception: Explorer may hold its thumbnail cache open, so a path ending in
// "Thumbs.db" (byte for byte) that cannot be written is passed over without failing or counting.
TEST(ExtractCompat, ThumbnailCacheThatCannotBeWrittenIsPassedOver) {
    TempFolder scratch;
    struct Case {
        const char* name;
        bool passedOver;
    };
    const Case cases[] = {
        {"pics/Thumbs.db", true}, {"pics/OldThumbs.db", true}, {"pics/thumbs.db", false}, {"pics/Thumbs.db.x", false}};
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Archive a;
        a.members.push_back({.name = c.name, .data = "cache", .crc = crcOf("cache")});
        a.members.push_back({.name = "pics/a.jpg", .data = "a", .crc = crcOf("a")});
        const fs::path out = fs::path(scratch.path()) / std::to_string(++n);
        fs::create_directories(out / c.name);  // a folder in its place: no file can be written there
        Extracted r = extract(save(scratch, a), out);
        EXPECT_EQ(r.count, c.passedOver ? 1 : -1) << r.log;
        EXPECT_EQ(contains(r.log, "UnzipFailedFilename"), !c.passedOver) << r.log;
        EXPECT_TRUE(fs::is_directory(out / c.name));
        EXPECT_EQ(zipfix::readFile(out / "pics/a.jpg"), "a");
    }
}

// Encryption that cannot be undone fails its entry by name, and only its entry.
TEST(ExtractCompat, UndecryptableEntriesFailByName) {
    TempFolder scratch;
    std::string aesField;
    zipfix::put16(aesField, 2);  // AE-2
    aesField += "AE";
    aesField += '\x03';          // 256 bits
    zipfix::put16(aesField, 0);  // stored
    struct Case {
        const char* what;
        Member member;
        const char* message;
    };
    const Case cases[] = {
        {"WinZip AES without salt, verifier and code",
         {.name = "aes.txt",
          .data = "",
          .flags = 0x01,
          .method = 99,
          .version = 51,
          .localExtra = zipfix::block(0x9901, aesField)},
         "Not enough data for a WinZip AES entry"},
        {"strong encryption",
         {.name = "strong.txt", .data = std::string(40, 's'), .flags = 0x41, .version = 51},
         "Unsupported encryption"},
    };
    for (const Case& c : cases) {
        Archive a;
        a.members.push_back(c.member);
        a.members.push_back({.name = "plain.txt", .data = "p", .crc = crcOf("p")});
        const fs::path out = scratch / c.member.name;
        Extracted r = extract(save(scratch, a), out, nullptr, "password");
        EXPECT_EQ(r.count, -1) << c.what << "\n" << r.log;
        EXPECT_TRUE(contains(r.log, c.message)) << c.what << "\n" << r.log;
        EXPECT_TRUE(contains(r.log, "Unzip failed")) << c.what << "\n" << r.log;
        EXPECT_TRUE(contains(r.log, c.member.name)) << c.what << "\n" << r.log;
        EXPECT_FALSE(fs::exists(out / c.member.name)) << c.what;
        EXPECT_EQ(zipfix::readFile(out / "plain.txt"), "p") << c.what;
    }
}

}  // namespace
