// The tnzip command: its listing against Info-ZIP's, its test mode, and the selection options of
// its extraction.
#include <gtest/gtest.h>
#include <zlib.h>

#include <sys/stat.h>

#include <cstring>
#include <regex>
#include <sstream>

#include "ExtractFixture.h"
#include "TempFolder.h"

using namespace extractfix;

namespace {

const std::string kTool = std::string(TN_BINARY_DIR) + "/tools/tnzip";

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// (size, date, time, name) of every entry line of a listing; `line` captures those four.
std::vector<std::string> rows(const std::string& listing, const std::regex& line) {
    std::vector<std::string> out;
    std::istringstream in(listing);
    for (std::string l; std::getline(in, l);) {
        std::smatch m;
        if (std::regex_match(l, m, line))
            out.push_back(m[1].str() + " " + m[2].str() + " " + m[3].str() + " " + m[4].str());
    }
    return out;
}

TEST(TnzipTool, ListingAgreesWithUnzip) {
    if (!zipfix::haveTool("unzip") || !zipfix::haveTool("zip") || !zipfix::haveTool("7z")) GTEST_SKIP();
    TempFolder scratch;
    fs::path dir = scratch.path();
    makeSourceTree(dir / "src");
    const std::pair<const char*, const char*> makers[] = {{"zip.zip", "zip -qr -X ../zip.zip ."},
                                                          {"zip_times.zip", "zip -qr ../zip_times.zip ."},
                                                          {"7z.zip", "7z a -tzip -mm=LZMA -bd -bso0 ../7z.zip ."}};
    const std::regex ours(R"(\s*(\d+)\s+\d+\s+-?\d+%\s+\S+\s+\S+\s+(\S+) (\S+)  [0-9a-f]{8}  (.*))");
    const std::regex theirs(R"(\s*(\d+)\s+(\d{4}-\d\d-\d\d) (\d\d:\d\d)   (.*))");
    for (const auto& [file, make] : makers) {
        int rc = -1;
        zipfix::run("cd '" + (dir / "src").string() + "' && LC_ALL=C.UTF-8 " + make, &rc);
        ASSERT_EQ(rc, 0) << make;
        const std::string archive = (dir / file).string();
        std::string listed = zipfix::run(kTool + " l --oem-cp 65001 '" + archive + "'", &rc);
        ASSERT_EQ(rc, 0) << listed;
        std::string reference = zipfix::run("LC_ALL=C.UTF-8 unzip -l '" + archive + "'");
        EXPECT_EQ(rows(listed, ours), rows(reference, theirs)) << make << "\n" << listed << reference;
        EXPECT_EQ(rows(listed, ours).size(), 8u) << listed;  // 5 files, 3 directories
    }
}

TEST(TnzipTool, TestDecodesEverythingAndNamesTheFailures) {
    TempFolder scratch;
    fs::path dir = scratch.path();
    zipfix::Archive a;
    zipfix::Member good{"good.txt", "fine"};
    good.crc = static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>("fine"), 4));
    zipfix::Member bad{"dir/bad.txt", "flipped"};
    bad.crc = 1;
    zipfix::Member overlong = good;  // an extra block whose length runs past its field
    overlong.name = "overlong.txt";
    overlong.localExtra = std::string("\x55\x54\x40\x00\x01", 5);
    a.members = {good, bad, overlong};
    const std::string archive = zipfix::writeFile(dir / "a.zip", a.build());
    fs::create_directories(dir / "cwd");
    int rc = -1;
    std::string out = zipfix::run("cd '" + (dir / "cwd").string() + "' && " + kTool + " t '" + archive + "' 2>&1", &rc);
    EXPECT_EQ(rc, 1) << out;
    EXPECT_TRUE(contains(out, "good.txt") && contains(out, "OK")) << out;
    EXPECT_TRUE(contains(out, "failed:\n  dir/bad.txt\n  overlong.txt")) << out;
    EXPECT_TRUE(contains(out, "CRC mismatch")) << out;
    EXPECT_TRUE(contains(out, "Extra field block runs past the end of its field")) << out;
    EXPECT_TRUE(fs::is_empty(dir / "cwd"));  // nothing written, not even the directory

    a.members = {good};
    zipfix::writeFile(dir / "ok.zip", a.build());
    out = zipfix::run(kTool + " t -q '" + (dir / "ok.zip").string() + "' 2>&1", &rc);
    EXPECT_EQ(rc, 0) << out;
    EXPECT_TRUE(out.empty()) << out;
    zipfix::run(kTool + " t 2>/dev/null", &rc);
    EXPECT_EQ(rc, 2);
}

std::string storedArchive(const fs::path& path, const std::vector<zipfix::Member>& members) {
    zipfix::Archive a;
    for (zipfix::Member m : members) {
        m.crc = zipfix::crcOf(m.data);
        a.members.push_back(m);
    }
    return zipfix::writeFile(path, a.build());
}

unsigned modeOf(const fs::path& p) {
    struct stat st {};
    return lstat(p.c_str(), &st) == 0 ? st.st_mode & 0777 : 0;
}

// -n is decided as each file is put in place: of two entries of one name the first stays, as
// does a file that was there before, whichever way the file being written is made.
TEST(TnzipTool, NeverOverwriteHoldsForEntriesOfOneName) {
    TempFolder scratch;
    const fs::path dir = scratch.path();
    const std::string archive = storedArchive(dir / "twice.zip",
                                              {{"same.txt", "first"}, {"same.txt", "second"}, {"link", "same.txt"}});
    for (const char* env : {"", "TN_UNNAMED_FILES=no-tmpfile "}) {
        const fs::path out = dir / (std::string("out") + (*env ? "-named" : ""));
        fs::create_directories(out);
        zipfix::writeFile(out / "link", "mine");
        int rc = -1;
        std::string log = zipfix::run(
            std::string(env) + kTool + " x -q -n '" + archive + "' '" + out.string() + "' 2>&1", &rc);
        EXPECT_EQ(rc, 0) << env << log;
        EXPECT_EQ(zipfix::readFile(out / "same.txt"), "first") << env;
        EXPECT_EQ(zipfix::readFile(out / "link"), "mine") << env;
        zipfix::run(std::string(env) + kTool + " x -q '" + archive + "' '" + out.string() + "'", &rc);
        EXPECT_EQ(zipfix::readFile(out / "same.txt"), "second") << env;
        EXPECT_EQ(listTree(out).size(), 2u) << env;  // no private names left
    }
}

// The file being written under a private name is owner-only; each entry gets its own mode only
// when complete: its Unix mode, or the umask's default with the read-only attribute applied.
// Expected modes for the three entries of accessArchive.
std::string accessArchive(const fs::path& path) {
    zipfix::Member secret{"secret", "s"}, plain{"plain", "p"}, readOnly{"ro", "r"};
    secret.externalAttributes = 0100600u << 16;
    plain.madeBy = readOnly.madeBy = 0x0014;  // made on FAT: attributes only
    plain.externalAttributes = 0x20;
    readOnly.externalAttributes = 0x21;
    return storedArchive(path, {secret, plain, readOnly});
}

void expectAccess(const fs::path& out, const std::string& what) {
    const mode_t mask = umask(022);
    umask(mask);
    const unsigned plain = 0666 & ~mask;
    EXPECT_EQ(modeOf(out / "secret"), 0600u) << what;
    EXPECT_EQ(modeOf(out / "plain"), plain) << what;
    EXPECT_EQ(modeOf(out / "ro"), plain & ~0222u) << what;
    EXPECT_EQ(listTree(out).size(), 3u) << what;
}

TEST(TnzipTool, ExtractsWithoutUnnamedFiles) {
    TempFolder scratch;
    const std::string archive = accessArchive(fs::path(scratch.path()) / "modes.zip");
    for (const char* env : {"", "TN_UNNAMED_FILES=no-tmpfile ", "TN_UNNAMED_FILES=no-proc "}) {
        const fs::path out = fs::path(scratch.path()) / ("out" + std::to_string(std::strlen(env)));
        int rc = -1;
        std::string log = zipfix::run(std::string(env) + kTool + " x -q '" + archive + "' '" + out.string() + "' 2>&1",
                                      &rc);
        EXPECT_EQ(rc, 0) << env << log;
        expectAccess(out, env);
    }
}

// A system without /proc (a container or chroot): a private mount namespace hides it. Skipped
// where no namespace may be made, and under the sanitizers, whose runtime needs /proc.
TEST(TnzipTool, ExtractsWithoutProc) {
#ifdef TN_SANITIZED_BUILD
    GTEST_SKIP() << "the sanitizer runtime needs /proc";
#endif
    if (std::system("unshare -rm true >/dev/null 2>&1") != 0) GTEST_SKIP() << "no private mount namespace here";
    TempFolder scratch;
    const std::string archive = accessArchive(fs::path(scratch.path()) / "modes.zip");
    const fs::path out = fs::path(scratch.path()) / "out";
    int rc = -1;
    std::string log = zipfix::run("unshare -rm sh -c 'mount -t tmpfs none /proc && test ! -e /proc/self && exec " +
                                      kTool + " x -q \"$0\" \"$1\"' '" + archive + "' '" + out.string() + "' 2>&1",
                                  &rc);
    EXPECT_EQ(rc, 0) << log;
    expectAccess(out, "without /proc");
}

TEST(TnzipTool, ExtractSelectsByNamesPatternsAndOverwriteRule) {
    TempFolder scratch;
    fs::path dir = scratch.path();
    zipfix::Archive a;
    for (const char* name : {"docs/a.txt", "docs/b.tmp", "img/c.png", "top.txt"}) {
        zipfix::Member m{name, std::string("content of ") + name};
        m.crc = zipfix::crcOf(m.data);
        a.members.push_back(m);
    }
    const std::string archive = zipfix::writeFile(dir / "a.zip", a.build());
    int rc = -1;
    std::string out = zipfix::run(
        kTool + " x -q '" + archive + "' '" + (dir / "sel").string() + "' 'docs/*' top.txt -x '*.tmp' 2>&1", &rc);
    EXPECT_EQ(rc, 0) << out;
    EXPECT_EQ(listTree(dir / "sel").size(), 3u);  // docs/, docs/a.txt, top.txt
    EXPECT_TRUE(fs::exists(dir / "sel/docs/a.txt") && fs::exists(dir / "sel/top.txt"));

    zipfix::writeFile(dir / "sel/top.txt", "mine");
    zipfix::run(kTool + " x -q -n '" + archive + "' '" + (dir / "sel").string() + "'", &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(zipfix::readFile(dir / "sel/top.txt"), "mine");
    EXPECT_TRUE(fs::exists(dir / "sel/img/c.png"));
    zipfix::run(kTool + " x -q -o '" + archive + "' '" + (dir / "sel").string() + "' top.txt", &rc);
    EXPECT_EQ(zipfix::readFile(dir / "sel/top.txt"), "content of top.txt");

    out = zipfix::run(kTool + " x -q '" + archive + "' '" + (dir / "none").string() + "' missing.txt 2>&1", &rc);
    EXPECT_EQ(rc, 1);
    EXPECT_TRUE(contains(out, "missing.txt: no entry matches")) << out;
}

}  // namespace
