// The structure walk on hand-made archives: tolerated oddities, ZIP64, names, descriptors, and
// the log line of every way an archive can be cut or broken.
#include <gtest/gtest.h>

#include "TempFolder.h"
#include "ZipFixture.h"
#include "codecs/ZipCRC.h"
#include "base/PlatformFiles.h"

using namespace zipfix;

namespace {

Archive twoFiles() {
    Archive a;
    a.members.push_back({.name = "a.txt", .data = "alpha"});
    a.members.push_back({.name = "sub/b.txt", .data = "bravo!"});
    return a;
}

bool contains(const std::string& haystack, const std::string& needle) {
    return haystack.find(needle) != std::string::npos;
}

}  // namespace

TEST(ZipWalk, EndRecordOnlyIsAnEmptyArchive) {
    TempFolder scratch;
    Archive a;
    Opened z(scratch.write("empty.zip", a.build()));
    ASSERT_TRUE(z.ok) << z.log();
    EXPECT_EQ(z.zip().numEntries(), 0);
    EXPECT_TRUE(contains(z.log(), "scanCount: 0")) << z.log();
    EXPECT_TRUE(contains(z.log(), "NumEntries: 0"));
    EXPECT_FALSE(contains(z.log(), "encryption"));
}

TEST(ZipWalk, DataInFrontIsSteppedOverWhereTheDirectorySaysTheArchiveBegins) {
    TempFolder scratch;
    struct Case {
        std::size_t prefix;
        const char* scanCount;
        const char* firstAddr;
    };
    for (const Case c :
         {Case{1000, "scanCount: 0", "FirstSigAddr: 1000"}, Case{8, "scanCount: 0", "FirstSigAddr: 8"}}) {
        Archive a = twoFiles();
        a.prefix = std::string(c.prefix, 'x');
        Opened z(scratch.write("prefixed.zip", a.build()));
        ASSERT_TRUE(z.ok) << z.log();
        EXPECT_EQ(z.zip().numEntries(), 2);
        EXPECT_TRUE(contains(z.log(), c.scanCount)) << z.log();
        EXPECT_TRUE(contains(z.log(), c.firstAddr)) << z.log();
        EXPECT_EQ(z.record(1).dataOffset, c.prefix + 30 + 5 + 5 + 30 + 9);
    }
}

// The stored data holds a descriptor signature whose "size" does not match its distance.
TEST(ZipWalk, DescriptorSignatureInsideDataIsSkipped) {
    TempFolder scratch;
    Archive a;
    std::string tricky = "head";
    tricky += std::string("PK\x07\x08", 4) + std::string(12, '\x01') + "tail";
    a.members.push_back({.name = "dd.bin", .data = tricky, .crc = 0x12345678, .descriptor = true});
    a.members.push_back({.name = "next.txt", .data = "n"});
    Opened z(scratch.write("dd.zip", a.build()));
    ASSERT_TRUE(z.ok) << z.log();
    ASSERT_EQ(z.zip().numEntries(), 2);
    EXPECT_TRUE(z.record(0).hasDescriptor);
    EXPECT_EQ(z.record(0).compressedSize64(), tricky.size());
    EXPECT_EQ(z.record(0).descriptorCrc, 0x12345678u);
    EXPECT_EQ(z.name(1), "next.txt");
    EXPECT_NE(z.record(1).centralRecordAddress, 0u);
}

// Sizes that follow the data: the central record says where the data ends, so neither a
// descriptor without its signature nor one with 8-byte sizes nor a signature inside the data
// misleads the walk; the central sizes and CRC are the entry's.
TEST(ZipWalk, DeferredSizesComeFromTheCentralRecord) {
    TempFolder scratch;
    std::string tricky = "head";
    tricky += std::string("PK\x07\x08", 4) + std::string(12, '\x01') + "tail";
    struct Case {
        const char* what;
        bool signature;
        bool wide;
        std::string localExtra;
    };
    const Case cases[] = {
        {"signed", true, false, ""},
        {"unsigned", false, false, ""},
        {"unsigned, 8-byte sizes announced by a local ZIP64 block", false, true, block(0x0001, std::string(16, '\0'))},
        {"signed, 8-byte sizes unannounced", true, true, ""},
    };
    for (const Case& c : cases) {
        Archive a;
        for (const char* name : {"dd.bin", "second.bin"})
            a.members.push_back({.name = name,
                                 .data = tricky,
                                 .crc = 0x12345678,
                                 .localExtra = c.localExtra,
                                 .descriptor = true,
                                 .descriptorSigned = c.signature,
                                 .descriptor64 = c.wide});
        a.members.push_back({.name = "next.txt", .data = "n"});
        Opened z(scratch.write("dd.zip", a.build()));
        ASSERT_TRUE(z.ok) << c.what << "\n" << z.log();
        ASSERT_EQ(z.zip().numEntries(), 3) << c.what << "\n" << z.log();
        for (int i = 0; i < 2; ++i) {
            EXPECT_TRUE(z.record(i).hasDescriptor) << c.what;
            EXPECT_EQ(z.record(i).compressedSize64(), tricky.size()) << c.what;
            EXPECT_EQ(z.record(i).uncompressedSize64(), tricky.size()) << c.what;
            EXPECT_EQ(z.record(i).descriptorCrc, 0x12345678u) << c.what;
        }
        EXPECT_EQ(z.name(2), "next.txt") << c.what;
        EXPECT_NE(z.record(2).centralRecordAddress, 0u) << c.what;
    }
}

// A wrong central size cannot place the descriptor; the signature search takes over.
TEST(ZipWalk, DescriptorIsSearchedWhenTheCentralSizeIsWrong) {
    TempFolder scratch;
    Archive a;
    a.members.push_back({.name = "dd.bin", .data = "payload", .crc = 7, .descriptor = true, .centralCompressed = 5});
    a.members.push_back({.name = "next.txt", .data = "n"});
    Opened z(scratch.write("wrong.zip", a.build()));
    ASSERT_TRUE(z.ok) << z.log();
    EXPECT_EQ(z.record(0).compressedSize64(), 7u);
    EXPECT_EQ(z.name(1), "next.txt");
}

TEST(ZipWalk, CentralRecordsMatchByLastComponentAndInAnyOrder) {
    TempFolder scratch;
    Archive a = twoFiles();
    a.members.push_back({.name = "c.txt", .data = "c", .centralName = "deep/dir/c.txt"});
    a.reverseCentral = true;
    Opened z(scratch.write("order.zip", a.build()));
    ASSERT_TRUE(z.ok) << z.log();
    for (int i = 0; i < 3; ++i) EXPECT_NE(z.record(i).centralRecordAddress, 0u) << i;
    EXPECT_EQ(z.record(2).centralRecord.rawUncompressedSize, 1u);
}

// Without a central directory every local header is an entry; with one, only those it names.
TEST(ZipWalk, LocalHeadersWithoutCentralRecord) {
    TempFolder scratch;
    Archive a = twoFiles();
    a.omitCentral = true;
    Opened z(scratch.write("nocentral.zip", a.build()));
    ASSERT_TRUE(z.ok) << z.log();
    EXPECT_EQ(z.zip().numEntries(), 2);
    EXPECT_EQ(z.record(0).centralRecordAddress, 0u);

    Archive hidden = twoFiles();
    hidden.members.insert(hidden.members.begin() + 1, {.name = "unlisted.txt", .data = "?", .omitFromCentral = true});
    Opened h(scratch.write("hidden.zip", hidden.build()));
    ASSERT_TRUE(h.ok) << h.log();
    ASSERT_EQ(h.zip().numEntries(), 2);
    EXPECT_EQ(h.name(0), "a.txt");
    EXPECT_EQ(h.name(1), "sub/b.txt");
    EXPECT_TRUE(contains(h.log(), "LocalHeadersWithoutCentralRecord: 1")) << h.log();
}

TEST(ZipWalk, Zip64BlocksReplaceSizesAndFlagTheMismatch) {
    TempFolder scratch;
    std::string local64, central64;
    put64(local64, 5);
    put64(local64, 5);
    put64(central64, 5);
    put64(central64, 5);
    put64(central64, 0);
    std::string wrong64;  // a repeated block, ignored as the peers ignore it
    put64(wrong64, 7);
    put64(wrong64, 7);
    put64(wrong64, 0);
    Archive a;
    a.members.push_back({.name = "big",
                         .data = "12345",
                         .version = 45,
                         .localExtra = block(0x0001, local64) + block(0x0001, wrong64.substr(0, 16)),
                         .centralExtra = block(0x0001, central64) + block(0x0001, wrong64),
                         .localCompressed = 0xFFFFFFFF,
                         .localUncompressed = 0xFFFFFFFF,
                         .centralCompressed = 0xFFFFFFFF,
                         .centralUncompressed = 0xFFFFFFFF});
    Opened z(scratch.write("zip64.zip", a.build()));
    ASSERT_TRUE(z.ok) << z.log();
    const ZipWalkEntry& r = z.record(0);
    EXPECT_EQ(r.localHeader.compressedSize, 5u);
    EXPECT_EQ(r.localHeader.rawCompressedSize, 0xFFFFFFFFu);
    EXPECT_EQ(r.centralRecord.uncompressedSize, 5u);
    EXPECT_EQ(r.centralRecord.compressedSize, 5u);
    EXPECT_TRUE(z.zip().sizeMismatch());
    EXPECT_FALSE(z.zip().entryAt(0)->IsDir());
}

// Names without the UTF-8 flag: the OEM page, or 1252 when a byte says the name is ANSI text;
// from Unix and macOS, valid UTF-8 is UTF-8. '\' is a separator only after decoding.
TEST(ZipWalk, NamesDecodeByCodePageRule) {
    TempFolder scratch;
    constexpr std::uint16_t kDos = 0x0014, kUnix = 0x031E, kMac = 0x1314;
    struct Case {
        std::string bytes;
        std::uint16_t flags;
        int oem;
        const char* utf8;
        std::uint16_t madeBy = kDos;
    };
    const Case cases[] = {
        {"caf\xE9", 0, 437, "caf\xCE\x98"},                      // 437: 0xE9 is Greek capital theta
        {"\xC4pfel", 0, 437, "\xC3\x84pfel"},                    // 0xC4 is in 166..223: 1252 A-umlaut
        {"\xC3\xA9t\xC3\xA9", 0x800, 437, "\xC3\xA9t\xC3\xA9"},  // UTF-8 flag: bytes as they are
        {"dir\\file", 0, 437, "dir/file"},
        {"\xC3\xA9t\xC3\xA9", 0, 437, "\xC3\xA9t\xC3\xA9", kUnix},  // Info-ZIP zip on Linux
        {"\xC3\xA9t\xC3\xA9", 0, 437, "\xC3\xA9t\xC3\xA9", kMac},
        {"\xC3\xA9t\xC3\xA9", 0, 437, "\xC3\x83\xC2\xA9t\xC3\x83\xC2\xA9"},  // DOS host: 1252 by the byte rule
        {"caf\xE9", 0, 437, "caf\xCE\x98", kUnix},                           // not UTF-8: the OEM page
        {"\x95\x5C/\x83\x5C", 0, 932, "\xE8\xA1\xA8/\xE3\x82\xBD"},          // 0x5C ends two characters
        {"a\x5C\x95\x5C", 0, 932, "a/\xE8\xA1\xA8"},
        {"\x8D\xAE\xA2", 0, 437, "\xC3\xAC\xC2\xAB\xC3\xB3"},  // 0x8D has no 1252 character: 437, nothing dropped
    };
    for (const Case& c : cases) {
        Archive a;
        a.members.push_back({.name = c.bytes, .data = "x", .flags = c.flags, .madeBy = c.madeBy});
        Opened z(scratch.write("names.zip", a.build()), false, c.oem);
        ASSERT_TRUE(z.ok) << z.log();
        EXPECT_EQ(z.name(0), c.utf8) << c.bytes;
    }
}

// A Unicode path field names the entry only while it carries version 1 and the CRC of the
// header name beside it; a stale one (the entry renamed by a tool unaware of it) is ignored.
std::string unicodePath(const std::string& headerName, const std::string& text, std::uint8_t version = 1) {
    const std::uint32_t crc = ZipCRC::crcOfBuffer(headerName.data(), static_cast<std::int32_t>(headerName.size()));
    std::string data(1, static_cast<char>(version));
    for (int i = 0; i < 4; ++i) data += static_cast<char>(crc >> (8 * i));
    return block(0x7075, data + text);
}

TEST(ZipWalk, UnicodePathFieldsReplaceTheName) {
    TempFolder scratch;
    Archive a;
    a.members.push_back({.name = "local", .data = "x", .localExtra = unicodePath("local", "dir\\l\xC3\xB6")});
    a.members.push_back({.name = "both",
                         .data = "y",
                         .localExtra = unicodePath("both", "from-local"),
                         .centralExtra = unicodePath("both", "from\\central")});
    a.members.push_back({.name = "empty", .data = "z", .localExtra = unicodePath("empty", "")});
    a.members.push_back({.name = "stale",
                         .data = "s",
                         .localExtra = unicodePath("renamed", "old"),
                         .centralExtra = unicodePath("renamed", "old")});
    a.members.push_back({.name = "v2", .data = "v", .localExtra = unicodePath("v2", "other", 2)});
    Opened z(scratch.write("unicode.zip", a.build()));
    ASSERT_TRUE(z.ok) << z.log();
    EXPECT_EQ(z.name(0), "dir/l\xC3\xB6");
    EXPECT_EQ(z.name(1), "from\\central");  // the central text is taken unchanged
    EXPECT_EQ(z.name(2), "");
    EXPECT_EQ(z.name(3), "stale");
    EXPECT_EQ(z.name(4), "v2");
    EXPECT_EQ(std::string(z.record(1).rawName.text()), "both");
}

TEST(ZipWalk, ArchiveCommentIsDecodedFrom1252) {
    TempFolder scratch;
    Archive a = twoFiles();
    a.comment = "r\xE9sum\xE9";
    Opened z(scratch.write("comment.zip", a.build()));
    ASSERT_TRUE(z.ok) << z.log();
    EXPECT_STREQ(z.zip().comment().text(), "r\xC3\xA9sum\xC3\xA9");
    EXPECT_TRUE(contains(z.log(), "commentCodePage: 1252")) << z.log();
}

TEST(ZipWalk, QuietLogHoldsOnlyTheStructureSummary) {
    TempFolder scratch;
    Opened z(scratch.write("quiet.zip", twoFiles().build()));
    ASSERT_TRUE(z.ok);
    const std::string log = z.log();
    for (const char* key : {"ZipStructure", "FirstSignature", "FirstSigAddr: 0", "NumFileHeaders: 2", "CentralDirAddr",
                            "NumCentralDirRecords: 2", "CentralDirSize", "PeekSig1: 0x6054b50", "scanCount: 0",
                            "timeToOpenMillisec", "Success."})
        EXPECT_TRUE(contains(log, key)) << key << "\n" << log;
    for (const char* key : {"LocalFileHeaders:", "FileHeader:\r\n", "CentralDirRec:\r\n", "EndOfDir:", "rawFilenameQP"})
        EXPECT_FALSE(contains(log, key)) << key;
}

TEST(ZipWalk, VerboseLogDumpsEveryRecord) {
    TempFolder scratch;
    Archive a = twoFiles();
    a.members[0].centralExtra = block(0x0017, std::string("\x02\0\x0e\x66\0\x01\x01\0", 8));
    Opened z(scratch.write("verbose.zip", a.build()), true);
    ASSERT_TRUE(z.ok);
    const std::string log = z.log();
    for (const char* key :
         {"LocalFileHeaders", "FileHeader", "requiredVersion", "filenameLen", "rawFilenameQP", "utf8FilenameQP_fromRaw",
          "curAddr64_2", "CentralDirectory", "CentralDirRec", "CentralDirEntryAddr", "relativeOffset",
          "OffsetAfterFilename", "Strong Encryption Header (0x0017)", "AlgId: 0x660e", "Bitlen: 256",
          "No extra field for this central dir entry", "EndOfDir", "numDirEntries: 0x2", "EndOfDirAddr"})
        EXPECT_TRUE(contains(log, key)) << key << "\n" << log;
}

TEST(ZipWalk, LibraryMarkerAndAesFieldSetEncryption) {
    TempFolder scratch;
    std::string marker;
    put32(marker, 0xAB39F277);
    put32(marker, 0);
    put32(marker, 2);    // kind
    put32(marker, 256);  // key length
    put32(marker, 0);
    Archive a;
    a.members.push_back({.name = "mark", .data = "m", .localExtra = marker});
    a.members.push_back({.name = "aes192",
                         .data = "a",
                         .flags = 1,
                         .method = 99,
                         .localExtra = block(0x9901, std::string("\x02\0AE\x02\x08\0", 7))});
    a.members.push_back({.name = "aes-odd",
                         .data = "a",
                         .flags = 1,
                         .method = 99,
                         .localExtra = block(0x9901, std::string("\x02\0AE\x07\x00\0", 7))});
    Opened z(scratch.write("enc.zip", a.build()), true);
    ASSERT_TRUE(z.ok) << z.log();
    EXPECT_EQ(z.record(0).encryptionKind, 2u);
    EXPECT_EQ(z.record(0).keyLength, 256u);
    EXPECT_EQ(z.record(1).encryptionKind, 4u);
    EXPECT_EQ(z.record(1).keyLength, 192u);
    EXPECT_EQ(z.record(1).aesActualMethod, 8u);
    EXPECT_FALSE(z.record(1).isTraditionallyEncrypted());
    EXPECT_EQ(z.record(2).keyLength, 128u);
    EXPECT_TRUE(contains(z.log(), "Tarnel Encrypted."));
}

// Every way of breaking or cutting an archive, with the message that names it.
TEST(ZipWalk, BrokenArchivesFailWithTheirMessage) {
    TempFolder scratch;
    const std::string good = twoFiles().build();
    const std::size_t cd = good.find(std::string("PK\x01\x02", 4));
    const std::size_t end = good.rfind(std::string("PK\x05\x06", 4));
    std::string noName = good;
    noName[cd + 28] = 0;
    noName[cd + 29] = 0;
    Archive unmatched = twoFiles();
    unmatched.members[1].centralName = "other.txt";
    std::string unmatchedBytes = unmatched.build();  // its offset leads to no local header either
    unmatchedBytes[unmatchedBytes.rfind(std::string("PK\x01\x02", 4)) + 42] = 3;
    std::string centralOnly;  // a central record and no local header at all
    centralOnly = good.substr(cd);
    Archive cutLocalOk = twoFiles();
    std::string junk = twoFiles().build().substr(0, cd) + std::string(40, 'j');
    std::string hugeSize;  // a ZIP64 compressed size that would wrap the address around to the start
    put64(hugeSize, 1);
    put64(hugeSize, 0xFFFFFFFFFFFFFFD0ull);
    Archive wrapping;  // without a directory, whose sizes would be taken instead
    wrapping.omitCentral = true;
    wrapping.members.push_back(
        {.name = "w", .data = "", .localExtra = block(0x0001, hugeSize), .localCompressed = 0xFFFFFFFF});
    std::string zip64Cut = good.substr(0, end) + std::string("PK\x06\x06", 4) + std::string(20, '\0');
    struct Case {
        const char* what;
        std::string bytes;
        std::vector<const char*> messages;
    };
    const Case cases[] = {
        {"tiny", "PK\x05\x06", {"Failed to read Zip (11)"}},
        {"no signature", std::string(100, 'q'), {"Zip file is corrupt (1)"}},
        {"junk after locals", junk, {"Zip file is corrupt (2)"}},
        {"cut local header",
         good.substr(0, 40) + std::string("PK\x03\x04", 4) + std::string(10, '\0'),
         {"Failed to get file header", "filePosition", "Failed to read Zip (9)"}},
        {"cut local name", good.substr(0, 32), {"Failed to get filename after file header", "Failed to read Zip (9)"}},
        {"ends after local data", good.substr(0, cd), {"curAddr64", "Failed to read Zip (10)"}},
        {"size wraps the address", wrapping.build(), {"curAddr64: -1", "Failed to read Zip (10)"}},
        {"cut central record", good.substr(0, cd + 20), {"Failed to get directory entry", "filePosition"}},
        {"nameless central record", noName, {"No filename for directory entry."}},
        {"cut central name", good.substr(0, cd + 48), {"Failed to get directory entry filename"}},
        {"unmatched central record",
         unmatchedBytes,
         {"Failed to match directory entry with file header (1)", "other.txt"}},
        {"central without locals", centralOnly, {"Failed to match directory entry with file header (2)"}},
        {"ends after central", good.substr(0, end), {"Failed to read Zip (13)"}},
        {"cut end record", good.substr(0, end + 10), {"Failed to get end-of-directory record."}},
        {"cut zip64 record",
         zip64Cut,
         {"Processing Zip64 End-of-Central-Dir Record", "Zip64 end-of-central-directory record is cut off"}},
    };
    for (const Case& c : cases) {
        Opened z(scratch.write("broken.zip", c.bytes));
        EXPECT_FALSE(z.ok) << c.what;
        EXPECT_EQ(z.zip().numEntries(), 0) << c.what;
        EXPECT_STREQ(z.zip().fullPath().text(), "") << c.what;
        for (const char* m : c.messages) EXPECT_TRUE(contains(z.log(), m)) << c.what << ": " << m << "\n" << z.log();
        EXPECT_TRUE(contains(z.log(), "Failed.")) << c.what;
    }
}

TEST(ZipWalk, CutExtraFieldsAndDescriptorsFail) {
    TempFolder scratch;
    Archive localExtra;
    localExtra.members.push_back({.name = "e", .data = "", .localExtra = std::string(8, 'e')});
    const std::string le = localExtra.build();
    Archive dd;
    dd.members.push_back({.name = "d", .data = "abc", .descriptor = true});
    const std::string ddBytes = dd.build();
    const std::size_t ddAt = ddBytes.find(std::string("PK\x07\x08", 4));
    Archive centralTail;
    centralTail.members.push_back({.name = "c", .data = "x", .centralExtra = std::string(8, 'x'), .comment = "note"});
    const std::string ct = centralTail.build();
    const std::size_t cd = ct.find(std::string("PK\x01\x02", 4));
    struct Case {
        const char* what;
        std::string bytes;
        const char* message;
    };
    const Case cases[] = {
        {"local extra", le.substr(0, 34), "Failed to get extra field after file header"},
        {"descriptor", ddBytes.substr(0, ddAt + 8), "Failed to get data descriptor after file header"},
        {"central extra", ct.substr(0, cd + 46 + 1 + 4), "Failed to get directory entry extra field"},
        {"central comment", ct.substr(0, cd + 46 + 1 + 8 + 2), "Failed to get directory entry comment"},
    };
    for (const Case& c : cases) {
        Opened z(scratch.write("cut.zip", c.bytes));
        EXPECT_FALSE(z.ok) << c.what;
        EXPECT_TRUE(contains(z.log(), c.message)) << c.what << "\n" << z.log();
    }
}

TEST(ZipWalk, ToleratedOddities) {
    TempFolder scratch;
    const std::string good = twoFiles().build();
    const std::size_t end = good.rfind(std::string("PK\x05\x06", 4));
    std::string badEnd = good;
    badEnd[end + 3] = 0x07;
    std::string cutComment = good;
    cutComment[end + 20] = 50;  // a comment of 50 bytes that is not there
    struct Case {
        const char* what;
        std::string bytes;
        const char* logged;
    };
    const Case cases[] = {
        {"wrong end signature", badEnd, "End of Dir signature is unexpected."},
        {"trailing data", good + "trailing garbage", "Success."},
        {"missing comment", cutComment, "Success."},
        {"junk between entries", good.substr(0, 40) + "JUNKJUNK" + good.substr(40), "Success."},
    };
    for (const Case& c : cases) {
        Opened z(scratch.write("odd.zip", c.bytes));
        EXPECT_TRUE(z.ok) << c.what << "\n" << z.log();
        EXPECT_TRUE(contains(z.log(), c.logged)) << c.what;
    }
}

// The walk reads front to back by record parts through the read-ahead window, so an archive
// smaller than the window costs one read and no seek; it never searches.
TEST(ZipWalk, ReadsSequentially) {
    TempFolder scratch;
    Archive a;
    for (int i = 0; i < 50; ++i)
        a.members.push_back({.name = "file" + std::to_string(i), .data = "data " + std::to_string(i)});
    const std::string path = scratch.write("sequential.zip", a.build());
    const PlatformFileCounters before = platformFileCounters();
    Opened z(path);
    const PlatformFileCounters after = platformFileCounters();
    ASSERT_TRUE(z.ok);
    EXPECT_EQ(after.reads - before.reads, 1u);
    EXPECT_EQ(after.seeks - before.seeks, 0u);
}
