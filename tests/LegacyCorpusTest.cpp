// Shrunk and imploded members of real PKZIP 1.x era archives decode byte for byte: every such
// member's size and CRC-32 match its central record, and the known contents match their files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CrcReference.h"
#include "TestData.h"
#include "ZipEntryScan.h"
#include "base/DataBuffer.h"
#include "codecs/Implode.h"
#include "codecs/Unshrink.h"

namespace {

bool isLegacy(const ScannedEntry& e) { return e.method == 1 || e.method == 6; }

// General-purpose bit 1 chooses the 8 KiB dictionary, bit 2 the literal table.
std::string decodeEntry(const std::vector<std::uint8_t>& zip, const ScannedEntry& e) {
    DataBuffer out;
    const std::uint8_t* data = zip.data() + e.dataOffset;
    if (e.method == 1) {
        Unshrink::unshrink(data, e.compressedSize, out);
    } else {
        Implode decoder;
        decoder.load(data, e.compressedSize);
        decoder.explode((e.flags & 2) != 0, (e.flags & 4) != 0, out);
    }
    return std::string(reinterpret_cast<const char*>(out.data()), out.size());
}

std::string readText(const std::string& path) {
    std::vector<std::uint8_t> b = readWholeFile(path);
    return std::string(b.begin(), b.end());
}
}  // namespace

TEST(LegacyCorpus, EveryShrunkAndImplodedMemberMatchesItsCrc) {
    struct Archive {
        const char* path;
        int legacyMembers;  // guards against a scan that silently finds nothing
    } archives[] = {
        {"defacto2/IMPLODE.ZIP", 5},
        {"defacto2/PKZ110.ZIP", 8},
        {"defacto2/PKZ110EI.ZIP", 7},
        {"defacto2/PKZ110ES.ZIP", 8},
        {"defacto2/hw/HWIMPODE.ZIP", 3},
        {"defacto2/hw/HWSHRINK.ZIP", 3},
        {"zip-rs/legacy/implode.zip", 1},
        {"zip-rs/legacy/shrink.zip", 1},
        {"commons-compress/SHRUNK.ZIP", 2},
        {"commons-compress/imploding-4Kdict-2trees.zip", 1},
        {"commons-compress/imploding-8Kdict-3trees.zip", 1},
        {"commons-compress/lorem-ipsum-implode.zip", 1},
        {"commons-compress/moby-imploded.zip", 135},
        {"sharpcompress/Zip.implode.zip", 2},
        {"sharpcompress/Zip.shrink.zip", 2},
        {"sharpcompress/Zip.reduce1.zip", 1},
    };
    for (const Archive& a : archives) {
        const std::string path = testdata::path(a.path);
        if (path.empty()) continue;  // the large PKZIP 1.10 archives live only in the corpus
        std::vector<std::uint8_t> zip = readWholeFile(path);
        int seen = 0;
        for (const ScannedEntry& e : scanZipEntries(zip)) {
            if (!isLegacy(e)) continue;
            ++seen;
            std::string out = decodeEntry(zip, e);
            EXPECT_EQ(out.size(), e.size) << a.path << " " << e.name;
            EXPECT_EQ(bitwiseCrc32(out), e.crc) << a.path << " " << e.name;
        }
        EXPECT_EQ(seen, a.legacyMembers) << a.path;
    }
}

TEST(LegacyCorpus, KnownContentsMatchTheirFiles) {
    struct Expected {
        const char* archive;
        const char* member;
        const char* contents;
    } expected[] = {
        {"defacto2/hw/HWIMPODE.ZIP", "TESTDAT1.TXT", "defacto2/hw/TESTDAT1.TXT"},
        {"defacto2/hw/HWIMPODE.ZIP", "TESTDAT2.TXT", "defacto2/hw/TESTDAT2.TXT"},
        {"defacto2/hw/HWIMPODE.ZIP", "TESTDAT3.TXT", "defacto2/hw/TESTDAT3.TXT"},
        {"defacto2/hw/HWSHRINK.ZIP", "TESTDAT1.TXT", "defacto2/hw/TESTDAT1.TXT"},
        {"defacto2/hw/HWSHRINK.ZIP", "TESTDAT2.TXT", "defacto2/hw/TESTDAT2.TXT"},
        {"defacto2/hw/HWSHRINK.ZIP", "TESTDAT3.TXT", "defacto2/hw/TESTDAT3.TXT"},
        {"zip-rs/legacy/implode.zip", "first.txt", "zip-rs/folder/first.txt"},
        {"zip-rs/legacy/shrink.zip", "FIRST.TXT", "zip-rs/folder/first.txt"},
    };
    for (const Expected& x : expected) {
        std::vector<std::uint8_t> zip = readWholeFile(testdata::path(x.archive));
        bool found = false;
        for (const ScannedEntry& e : scanZipEntries(zip)) {
            if (e.name != x.member) continue;
            found = true;
            EXPECT_EQ(decodeEntry(zip, e), readText(testdata::path(x.contents))) << x.archive << " " << x.member;
        }
        EXPECT_TRUE(found) << x.archive << " " << x.member;
    }
}

// A bare implode stream (4 KiB dictionary, no literal table). Its expected text was stored with
// LF line ends; the stream holds the original CRLF.
TEST(LegacyCorpus, BareImplodeStream) {
    std::vector<std::uint8_t> in = readWholeFile(testdata::path("zip-rs/legacy/implode_hamlet_256.bin"));
    ASSERT_FALSE(in.empty());
    DataBuffer out;
    Implode decoder;
    decoder.load(in.data(), static_cast<std::uint32_t>(in.size()));
    EXPECT_TRUE(decoder.explode(false, false, out));
    std::string text(reinterpret_cast<const char*>(out.data()), out.size());
    EXPECT_EQ(text.size(), 256u);
    std::string lf;
    for (char c : text)
        if (c != '\r') lf += c;
    EXPECT_EQ(lf, readText(testdata::path("zip-rs/legacy/implode_hamlet_256.out")));
}
