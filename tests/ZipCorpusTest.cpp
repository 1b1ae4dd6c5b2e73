// Every file of the external corpus (archives from other projects' test suites) goes through
// OpenZip. Besides surviving, an archive that both Info-ZIP and 7-Zip accept and that its source
// project treats as sound must open with the entry count the manifest's own scan found, except
// where our signature-driven walk deliberately sees the file differently (listed with the reason).
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "ZipFixture.h"

using namespace zipfix;
namespace fs = std::filesystem;

namespace {

const fs::path kExternal = fs::path(TN_CORPUS_DIR) / "external";

struct ManifestRow {
    std::string features;
    std::string unzipVerdict;
    std::string sevenZipVerdict;
};

std::vector<std::string> split(const std::string& line, char sep) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (std::size_t at; (at = line.find(sep, start)) != std::string::npos; start = at + 1)
        out.push_back(line.substr(start, at - start));
    out.push_back(line.substr(start));
    return out;
}

std::map<std::string, ManifestRow> readManifest() {
    std::map<std::string, ManifestRow> rows;
    std::istringstream in(readFile(kExternal / "MANIFEST.tsv"));
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) {
        const std::vector<std::string> f = split(line, '\t');
        if (f.size() >= 13) rows[f[0]] = {f[7], f[11], f[12]};
    }
    return rows;
}

int manifestEntries(const std::string& features) {
    for (const std::string& tag : split(features, ';'))
        if (tag.rfind("entries=", 0) == 0) return std::atoi(tag.c_str() + 8);
    return -1;
}

bool plainlySound(const ManifestRow& row) {
    return row.unzipVerdict.rfind("OK", 0) == 0 && row.sevenZipVerdict.rfind("OK", 0) == 0 &&
           row.features.find("CORRUPT") == std::string::npos && row.features.find("role=") == std::string::npos;
}

// Files where our walk deliberately differs from the readers that trust the central directory.
const std::map<std::string, const char*> kDeliberate = {
    {"libzip/filename_empty.zip", "a central record without a name is refused (\"No filename for directory entry.\")"},
    {"zip-rs/zip64_magic_in_filename_5.zip", "its sixth central record has no name: refused as above"},
    {"zip-rs/zip64_magic_in_filename_4.zip",
     "the manifest counts 8589934592 entries from a bogus ZIP64 end record; the file holds 2 members, "
     "as 7-Zip also lists, and we find both"},
};

}  // namespace

TEST(ZipCorpus, EveryExternalFileOpensSafely) {
    if (!fs::exists(kExternal)) GTEST_SKIP() << "no corpus at " << kExternal;
    const std::map<std::string, ManifestRow> manifest = readManifest();
    int files = 0, opened = 0, compared = 0;
    for (const auto& item : fs::recursive_directory_iterator(kExternal)) {
        if (!item.is_regular_file()) continue;
        const std::string rel = fs::relative(item.path(), kExternal).string();
        ++files;
        Opened z(item.path().string());
        opened += z.ok ? 1 : 0;
        const auto row = manifest.find(rel);
        if (row == manifest.end() || !plainlySound(row->second) || kDeliberate.count(rel) != 0) continue;
        const int expected = manifestEntries(row->second.features);
        if (expected < 0) continue;
        ++compared;
        EXPECT_TRUE(z.ok) << rel << "\n" << z.log();
        EXPECT_EQ(z.zip().numEntries(), expected) << rel;
    }
    EXPECT_GT(files, 500);
    RecordProperty("files", files);
    RecordProperty("opened", opened);
    RecordProperty("compared", compared);
    std::printf("corpus: %d files, %d opened, %d compared with the manifest\n", files, opened, compared);
}
