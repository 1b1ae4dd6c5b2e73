// The tnzip command: its listing against Info-ZIP's, its test mode, and the selection options of
// its extraction.
#include <gtest/gtest.h>
#include <zlib.h>

#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
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
    EXPECT_EQ(rc, 2) << out;  // damaged entry data
    EXPECT_TRUE(contains(out, "good.txt") && contains(out, "OK")) << out;
    EXPECT_TRUE(contains(out, "tnzip: dir/bad.txt: ")) << out;
    EXPECT_TRUE(contains(out, "CRC-32 does not match")) << out;
    EXPECT_TRUE(contains(out, "tnzip: overlong.txt: extra field block runs past the end of its field")) << out;
    EXPECT_TRUE(contains(out, "2 entries failed")) << out;
    EXPECT_TRUE(fs::is_empty(dir / "cwd"));  // nothing written, not even the directory

    a.members = {good};
    zipfix::writeFile(dir / "ok.zip", a.build());
    out = zipfix::run(kTool + " t -q '" + (dir / "ok.zip").string() + "' 2>&1", &rc);
    EXPECT_EQ(rc, 0) << out;
    EXPECT_TRUE(out.empty()) << out;
    zipfix::run(kTool + " t 2>/dev/null", &rc);
    EXPECT_EQ(rc, 10);
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
            std::string(env) + kTool + " x -q -n '" + archive + "' -d '" + out.string() + "' 2>&1", &rc);
        EXPECT_EQ(rc, 0) << env << log;
        EXPECT_EQ(zipfix::readFile(out / "same.txt"), "first") << env;
        EXPECT_EQ(zipfix::readFile(out / "link"), "mine") << env;
        zipfix::run(std::string(env) + kTool + " x -q '" + archive + "' -d '" + out.string() + "'", &rc);
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
        std::string log = zipfix::run(
            std::string(env) + kTool + " x -q '" + archive + "' -d '" + out.string() + "' 2>&1", &rc);
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
                                      kTool + " x -q \"$0\" -d \"$1\"' '" + archive + "' '" + out.string() + "' 2>&1",
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
        kTool + " x -q '" + archive + "' -d '" + (dir / "sel").string() + "' 'docs/*' top.txt -x '*.tmp' 2>&1", &rc);
    EXPECT_EQ(rc, 0) << out;
    EXPECT_EQ(listTree(dir / "sel").size(), 3u);  // docs/, docs/a.txt, top.txt
    EXPECT_TRUE(fs::exists(dir / "sel/docs/a.txt") && fs::exists(dir / "sel/top.txt"));

    zipfix::writeFile(dir / "sel/top.txt", "mine");
    zipfix::run(kTool + " x -q -n '" + archive + "' -d '" + (dir / "sel").string() + "'", &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(zipfix::readFile(dir / "sel/top.txt"), "mine");
    EXPECT_TRUE(fs::exists(dir / "sel/img/c.png"));
    zipfix::run(kTool + " x -q -o '" + archive + "' -d '" + (dir / "sel").string() + "' top.txt", &rc);
    EXPECT_EQ(zipfix::readFile(dir / "sel/top.txt"), "content of top.txt");

    out = zipfix::run(kTool + " x -q '" + archive + "' -d '" + (dir / "none").string() + "' missing.txt 2>&1", &rc);
    EXPECT_EQ(rc, 11);
    EXPECT_TRUE(contains(out, "missing.txt: no entry matches")) << out;
}

}  // namespace

namespace {

// Standard output and standard error apart, with the exit status.
struct CliRun {
    int rc = -1;
    std::string out, err;
};

// In a session of its own (setsid): no terminal to ask for a password on, as in a script.
CliRun runCli(const fs::path& dir, const std::string& command) {
    CliRun r;
    zipfix::run("cd '" + dir.string() + "' && setsid -w " + command + " >stdout.txt 2>stderr.txt </dev/null", &r.rc);
    r.out = zipfix::readFile(dir / "stdout.txt");
    r.err = zipfix::readFile(dir / "stderr.txt");
    return r;
}

int lineCount(const std::string& text) { return int(std::count(text.begin(), text.end(), '\n')); }

// Archives made by zip: plain.zip (a.txt, d/, d/b.tmp, d/c.txt), secret.zip (a.txt under "pw"),
// flipped.zip (secret.zip with one content byte changed), and a few that are not archives.
class TnzipCli : public ::testing::Test {
protected:
    void SetUp() override {
        if (!zipfix::haveTool("zip")) GTEST_SKIP() << "zip missing";
        dir = scratch.path();
        zipfix::writeFile(dir / "a.txt", "hello\n");
        fs::create_directories(dir / "d");
        zipfix::writeFile(dir / "d/b.tmp", "temporary\n");
        zipfix::writeFile(dir / "d/c.txt", "see\n");
        zipfix::writeFile(dir / "pw.txt", "pw\n");
        zipfix::writeFile(dir / "not.zip", "just text\n");
        zipfix::run("cd '" + dir.string() + "' && zip -qr -X plain.zip a.txt d && zip -q -X -0 -P pw secret.zip a.txt");
        // The first content byte of a.txt in the stored, encrypted entry: past the local header,
        // its name and extra field and the 12-byte encryption header.
        std::string bytes = zipfix::readFile(dir / "secret.zip");
        ASSERT_GT(bytes.size(), 30u);
        const std::size_t at = 30 + std::size_t(std::uint8_t(bytes[26]) | std::uint8_t(bytes[27]) << 8) +
                               std::size_t(std::uint8_t(bytes[28]) | std::uint8_t(bytes[29]) << 8) + 12;
        bytes[at] ^= 0x01;
        zipfix::writeFile(dir / "flipped.zip", bytes);
        // An entry of a method the library leaves out.
        zipfix::Archive odd;
        zipfix::Member m{"odd.bin", "data"};
        m.method = 97;  // WavPack: a method the library does not decode
        m.crc = zipfix::crcOf(m.data);
        odd.members.push_back(m);
        zipfix::writeFile(dir / "odd.zip", odd.build());
    }

    TempFolder scratch;
    fs::path dir;
};

// Each option and each exit status the command reaches without a terminal; a failure is one line
// naming the entry or the archive, then a summary line for entry failures.
TEST_F(TnzipCli, OptionsAndExitStatus) {
    struct Case {
        const char* args;
        int rc;
        const char* out;  // all of standard output, or nullptr: not checked
        const char* err;  // a part of standard error ("" for none at all)
        int errLines;     // -1: not counted
    };
    // clang-format off
    const Case cases[] = {
        {"x plain.zip -p a.txt", 0, "hello\n", "", 0},
        {"x -p plain.zip 'd/*' -x 'd/*.tmp'", 0, "see\n", "", 0},
        {"x plain.zip -p 'd/[bc].*' -x '*.tmp'", 0, "see\n", "", 0},
        {"x plain.zip -p '?.txt'", 0, "hello\n", "", 0},
        {"x plain.zip -p 'd/[!c]*'", 0, "temporary\n", "", 0},
        {"-l plain.zip -1", 0, "a.txt\nd/\nd/b.tmp\nd/c.txt\n", "", 0},
        {"-t plain.zip -q", 0, "", "", 0},
        {"--version", 0, nullptr, "", 0},
        {"-h", 0, nullptr, "", 0},
        {"x secret.zip -P pw -p", 0, "hello\n", "", 0},
        {"x secret.zip --password-file pw.txt -p", 0, "hello\n", "", 0},
        {"x nope.zip", 9, "", "tnzip: nope.zip: ", 1},
        {"x d", 9, "", "tnzip: d: ", 1},
        {"t not.zip", 9, "", "tnzip: not.zip: ", 1},
        {"x plain.zip -Z", 10, "", "usage:", -1},
        {"x plain.zip -d", 10, "", "usage:", -1},
        {"x plain.zip -d piped", 0, "3 files extracted\n", "", 0},  // no progress line on a pipe
        {"x plain.zip zz -p", 11, "", "tnzip: zz: no entry matches", 1},
        {"x secret.zip -p", 82, "", "tnzip: a.txt: password required", 2},
        {"x secret.zip -P wrong -p", 82, "", "tnzip: a.txt: ", 2},
        {"t flipped.zip -q -P pw", 2, nullptr, "(wrong password?)", 2},
        {"t odd.zip -q", 81, nullptr, "tnzip: odd.bin: ", 2},
        {"x plain.zip -q -d a.txt/sub", 1, "", "Not a directory", -1},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        const CliRun r = runCli(dir, kTool + " " + c.args);
        EXPECT_EQ(r.rc, c.rc) << r.err;
        if (c.out) EXPECT_EQ(r.out, c.out) << r.err;
        if (*c.err) EXPECT_TRUE(contains(r.err, c.err)) << r.err;
        else EXPECT_EQ(r.err, "");
        if (c.errLines >= 0) EXPECT_EQ(lineCount(r.err), c.errLines) << r.err;
    }
}

// The first word after the archive is a name to extract, never the folder.
TEST_F(TnzipCli, FirstWordAfterTheArchiveIsAName) {
    CliRun r = runCli(dir, kTool + " x plain.zip d/c.txt -d out -q");
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(zipfix::readFile(dir / "out/d/c.txt"), "see\n");
    EXPECT_FALSE(fs::exists(dir / "out/a.txt"));
    EXPECT_FALSE(fs::exists(dir / "d/c.txt/a.txt"));
    r = runCli(dir, kTool + " x plain.zip a.txt -q -d here");  // names before and after options
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(listTree(dir / "here").size(), 1u);
}

// "-" reads the archive from standard input through a copy that leaves nothing in TMPDIR, made
// unnamed or under a random name unlinked at once.
TEST_F(TnzipCli, ArchiveFromStandardInput) {
    fs::create_directories(dir / "tmp");
    for (const char* env : {"", "TN_UNNAMED_FILES=no-tmpfile "}) {
        SCOPED_TRACE(env);
        const std::string prefix = "TMPDIR='" + (dir / "tmp").string() + "' " + env;
        CliRun r = runCli(dir, "sh -c \"" + prefix + kTool + " x - -p d/c.txt < plain.zip\"");
        EXPECT_EQ(r.rc, 0) << r.err;
        EXPECT_EQ(r.out, "see\n");
        r = runCli(dir, "sh -c \"" + prefix + kTool + " t - < not.zip\"");
        EXPECT_EQ(r.rc, 9);
        EXPECT_TRUE(contains(r.err, "tnzip: -: ")) << r.err;
        EXPECT_TRUE(fs::is_empty(dir / "tmp"));
    }
}

// The log comes whole only when asked for: with -v on standard error, with --log into a file.
TEST_F(TnzipCli, FullLogOnlyOnRequest) {
    CliRun quiet = runCli(dir, kTool + " x secret.zip -q -d o1");
    CliRun verbose = runCli(dir, kTool + " x secret.zip -q -v -d o2");
    EXPECT_EQ(lineCount(quiet.err), 2) << quiet.err;
    EXPECT_GT(lineCount(verbose.err), 2) << verbose.err;
    CliRun logged = runCli(dir, kTool + " x secret.zip -q -d o3 --log run.xml");
    EXPECT_EQ(logged.err, quiet.err);
    EXPECT_EQ(zipfix::readFile(dir / "run.xml").rfind("<", 0), 0u);
}

// Runs `sh -c command` in dir with a pseudo-terminal as its controlling terminal and its standard
// streams; types `answer` once the output shows `cue`. Returns all the terminal showed.
std::string runOnTerminal(const fs::path& dir, const std::string& command, const std::string& cue,
                          const std::string& answer, int& rc) {
    rc = -1;
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return "no pseudo-terminal";
    const std::string slaveName = ptsname(master);
    const pid_t child = fork();
    if (child == 0) {
        setsid();
        const int slave = open(slaveName.c_str(), O_RDWR);  // the session's controlling terminal
        if (slave < 0 || chdir(dir.c_str()) != 0) _exit(127);
        for (int fd = 0; fd < 3; ++fd) dup2(slave, fd);
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    std::string shown;
    bool typed = answer.empty();
    char buf[1024];
    for (;;) {
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 60000) <= 0) break;  // a hang guard only: the child normally ends first
        const ssize_t n = read(master, buf, sizeof buf);
        if (n <= 0) break;  // EIO once the child and its terminal are gone
        shown.append(buf, std::size_t(n));
        if (!typed && contains(shown, cue)) {
            typed = write(master, answer.data(), answer.size()) == ssize_t(answer.size());
        }
    }
    int status = 0;
    waitpid(child, &status, 0);
    close(master);
    rc = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return shown;
}

// Without a password, tnzip asks on the terminal, without echo, once for all entries.
TEST_F(TnzipCli, AsksForThePasswordOnTheTerminal) {
    zipfix::writeFile(dir / "b.txt", "bee\n");
    zipfix::run("cd '" + dir.string() + "' && zip -q -X -P pw two.zip a.txt b.txt");
    int rc = -1;
    std::string shown = runOnTerminal(dir, kTool + " x two.zip -q -d out", "password: ", "pw\n", rc);
    EXPECT_EQ(rc, 0) << shown;
    EXPECT_TRUE(contains(shown, "[two.zip] a.txt password: ")) << shown;
    EXPECT_EQ(shown.find("password: "), shown.rfind("password: ")) << shown;  // once for both entries
    EXPECT_FALSE(contains(shown, "pw\r")) << shown;                           // not echoed
    EXPECT_EQ(zipfix::readFile(dir / "out/a.txt"), "hello\n");
    EXPECT_EQ(zipfix::readFile(dir / "out/b.txt"), "bee\n");
    // A wrong answer fails every encrypted entry with 82; standard output keeps only content.
    shown = runOnTerminal(dir, kTool + " x two.zip -p a.txt > piped.txt", "password: ", "nope\n", rc);
    EXPECT_EQ(rc, 82) << shown;
    EXPECT_TRUE(contains(shown, "tnzip: a.txt: ") && contains(shown, "1 entry failed")) << shown;
    EXPECT_EQ(shown.find("password: "), shown.rfind("password: ")) << shown;  // asked once
    EXPECT_EQ(zipfix::readFile(dir / "piped.txt"), "");
}

// On a terminal x shows a progress line (percentage, bytes, rate, time left, name) and clears it
// at the end; -v shows the names instead.
TEST_F(TnzipCli, ProgressLineOnTheTerminalOnly) {
    std::string big;
    for (std::uint32_t i = 0; big.size() < (4u << 20); ++i) big += std::to_string(i * 2654435761u);
    zipfix::writeFile(dir / "big.txt", big);
    zipfix::run("cd '" + dir.string() + "' && zip -q -X big.zip big.txt a.txt");
    int rc = -1;
    std::string shown = runOnTerminal(dir, kTool + " x big.zip -d out", "", "", rc);
    EXPECT_EQ(rc, 0) << shown;
    EXPECT_TRUE(contains(shown, "100%  4.")) << shown;  // 4.x MB of 4.x MB
    EXPECT_TRUE(contains(shown, " MB/s ") || contains(shown, " kB/s ")) << shown;
    EXPECT_TRUE(contains(shown, " left  ")) << shown;
    // The line is blanked and the cursor back at its start before the summary.
    const std::string end = "   \r2 files extracted\r\n";
    EXPECT_EQ(shown.rfind(end), shown.size() - end.size()) << shown;
    shown = runOnTerminal(dir, kTool + " x big.zip -o -v -d out2 2>/dev/null", "", "", rc);
    EXPECT_TRUE(contains(shown, "  inflating: big.txt")) << shown;
    EXPECT_FALSE(contains(shown, "%")) << shown;
}

// A full disk and a read-only file system (small tmpfs mounts in a user namespace): one line with
// the system's reason, then the summary, and unzip's status.
TEST_F(TnzipCli, FullAndReadOnlyTargets) {
    if (runCli(dir, "unshare -rm sh -c 'mount -t tmpfs -o size=64k none /mnt'").rc != 0)
        GTEST_SKIP() << "no user namespace to mount a small file system in";
    std::string big;
    for (std::uint32_t i = 0; big.size() < (1u << 20); ++i) big += std::to_string(i * 2654435761u);
    zipfix::writeFile(dir / "big.txt", big);
    zipfix::run("cd '" + dir.string() + "' && zip -q -X big.zip big.txt");
    fs::create_directories(dir / "mnt");
    const struct {
        const char* mountOptions;
        int rc;
        const char* reason;
    } cases[] = {{"size=64k", 50, std::strerror(ENOSPC)}, {"ro", 1, std::strerror(EROFS)}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mountOptions);
        const CliRun r = runCli(dir, std::string("unshare -rm sh -c 'mount -t tmpfs -o ") + c.mountOptions +
                                         " none mnt && exec " + kTool + " x -q big.zip -d mnt/out'");
        EXPECT_EQ(r.rc, c.rc) << r.err;
        EXPECT_TRUE(contains(r.err, c.reason)) << r.err;
        EXPECT_EQ(lineCount(r.err), 2) << r.err;
    }
}

// Every option --help names is described in the manual page.
TEST(TnzipTool, HelpAndManualPageNameTheSameOptions) {
    int rc = -1;
    const std::string help = zipfix::run(kTool + " --help", &rc);
    EXPECT_EQ(rc, 0);
    const std::string manual = zipfix::readFile(fs::path(TN_SOURCE_DIR) / "docs/tnzip.1");
    const std::regex option(R"((^|[\s,\[])(--?[a-z0-9][a-z0-9-]*))");
    int seen = 0;
    for (std::sregex_iterator it(help.begin(), help.end(), option), end; it != end; ++it, ++seen) {
        std::string escaped;
        for (char ch : (*it)[2].str()) escaped += ch == '-' ? std::string("\\-") : std::string(1, ch);
        EXPECT_TRUE(contains(manual, escaped)) << (*it)[2].str() << " is not in docs/tnzip.1";
    }
    EXPECT_GT(seen, 10);
}

}  // namespace
