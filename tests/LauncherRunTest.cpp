// The packed launcher run as a real process, without a display: the whole sequence with a
// stand-in viewer that records where and how it ran, and the edge cases of the sequence.
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <cstring>
#include <ctime>
#include <functional>
#include <iostream>
#include <fstream>
#include <random>
#include <set>

#include "LauncherProcess.h"
#include "TempFolder.h"
#include "base/SystemTime.h"
#include "launcher/LauncherNames.h"

using namespace launchertest;

namespace {

class LauncherRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* d : {"tmp", "cache", "records", "home", "work", "stage"}) fs::create_directories(m_root / d);
    }

    // A publication folder holding the stand-in viewer and the given files, packed.
    std::string pack(const std::map<std::string, std::string>& files, const std::string& name = "pub") {
        std::string stage = m_root / ("stage/" + name);
        fs::create_directories(stage);
        fs::copy_file(TN_TEST_VIEWER, stage + "/offline.exe");
        for (const auto& [path, content] : files) {
            fs::create_directories(fs::path(stage + "/" + path).parent_path());
            std::ofstream(stage + "/" + path, std::ios::binary) << content;
        }
        std::string out = m_root / name;
        std::string cmd = std::string(TN_QUILLET_PACK) + " '" + stage + "' -o '" + out + "' --stub " TN_QUILLET_OFFLINE;
        EXPECT_EQ(std::system(cmd.c_str()), 0);
        return out;
    }

    // The stub followed by exactly these payload bytes, stamped with their length and digest
    // unless told otherwise.
    std::string withPayload(const std::string& payload, const std::string& name = "raw", bool stamp = true) {
        std::string out = m_root / name;
        fs::copy_file(TN_QUILLET_OFFLINE, out);
        std::ofstream(out, std::ios::binary | std::ios::app) << payload;
        fs::permissions(out, fs::perms::owner_all);
        if (stamp) {
            EXPECT_EQ(std::system((TN_QUILLET_STAMP " --payload '" + out + "'").c_str()), 0);
        }
        return out;
    }

    // A file of exactly these bytes, ready to run.
    std::string rawExe(const std::string& bytes, const std::string& name) {
        std::string out = m_root / name;
        std::ofstream(out, std::ios::binary) << bytes;
        fs::permissions(out, fs::perms::owner_all);
        return out;
    }

    // A ZIP of exactly size bytes holding the stand-in viewer, padded by its comment.
    std::string exactZip(int size) {
        std::string zip = m_root / ("payload" + std::to_string(size));
        std::string cmd = "python3 " TN_SOURCE_DIR "/tests/helpers/exact_payload.py " TN_TEST_VIEWER " '" + zip + "' " +
                          std::to_string(size);
        EXPECT_EQ(std::system(cmd.c_str()), 0);
        return readAll(zip);
    }

    // Enough data that copying and extracting it takes a while: time to act while it runs.
    std::map<std::string, std::string> bigPublication() {
        std::mt19937 random(7);
        std::map<std::string, std::string> files;
        for (int i = 0; i < 24; ++i) {
            std::string data(256 * 1024, '\0');
            for (char& c : data) c = char(random());
            files["data/part" + std::to_string(i) + ".bin"] = data;
        }
        return files;
    }

    void clearRecords() {
        fs::remove_all(m_root / "records");
        fs::create_directories(m_root / "records");
    }

    std::map<std::string, std::string> env(const std::string& tmp = "") {
        return {{"TMPDIR", tmp.empty() ? m_root / "tmp" : tmp},
                {"XDG_CACHE_HOME", m_root / "cache"},
                {"HOME", m_root / "home"},
                {"QUILLET_TEST_RECORD_DIR", m_root / "records"},
                {"QUILLET_TEST_SLEEP_MS", "300"}};
    }

    Finished run(const std::string& exe, std::map<std::string, std::string> environment, const std::string& tag = "run",
                 const std::vector<std::string>& arguments = {}) {
        return end(start(exe, environment, tag, arguments), tag);
    }
    Spawned start(const std::string& exe, std::map<std::string, std::string> environment,
                  const std::string& tag = "run", const std::vector<std::string>& arguments = {}) {
        std::vector<std::string> argv = {exe};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        return spawn(argv, environment, m_root / (tag + ".out"), m_root / (tag + ".err"), m_root / "work");
    }
    Finished end(const Spawned& s, const std::string& tag = "run") {
        return finish(s, m_root / (tag + ".out"), m_root / (tag + ".err"));
    }

    TempFolder m_root;
};

TEST_F(LauncherRunTest, StubAloneCreatesNothingAndEndsAtTheFirstCloseTick) {
    Finished f = run(withPayload(""), env());
    EXPECT_EQ(f.status, 0) << f.err;
    EXPECT_EQ(f.out, "");
    EXPECT_TRUE(listNames(m_root / "tmp").empty());
    EXPECT_TRUE(listNames(m_root / "cache").empty());
    // 500 ms start timer, then the first one-second tick.
    EXPECT_GE(f.elapsedMs, 1450);
    EXPECT_LT(f.elapsedMs, 4000);
}

// Another user fills the temporary directory with every name the old, predictable scheme and
// the stamps of the coming seconds could give, as files, folders and links: the launch goes on
// as if they were not there, and none of them is touched or followed.
TEST_F(LauncherRunTest, NamesCreatedInAdvanceDelayNothing) {
    std::string exe = pack({{"page.txt", "p"}});
    fs::create_directories(m_root / "outside");
    std::time_t now = std::time(nullptr);
    for (std::time_t t = now - 1; t <= now + 6; ++t) {
        std::tm tm;
        localtime_r(&t, &tm);
        char unpadded[64];
        std::snprintf(unpadded, sizeof unpadded, "%d%d%d%d%d%d", tm.tm_year, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
                      tm.tm_min, tm.tm_sec);
        SystemTime st;
        st.year = std::uint16_t(tm.tm_year + 1900), st.month = std::uint16_t(tm.tm_mon + 1),
        st.day = std::uint16_t(tm.tm_mday);
        st.hour = std::uint16_t(tm.tm_hour), st.minute = std::uint16_t(tm.tm_min), st.second = std::uint16_t(tm.tm_sec);
        for (const std::string& stamp : std::set<std::string>{unpadded, launcherStamp(st)}) {
            fs::create_directories(m_root / ("tmp/" + stamp));
            m_root.write("tmp/" + stamp + "/mine.txt", "keep");
            m_root.write("tmp/" + stamp + ".zip", "keep");
            fs::create_symlink(m_root / ("outside/" + stamp), m_root / ("tmp/" + stamp + "-"));
            fs::create_symlink(m_root / ("outside/" + stamp + ".zip"), m_root / ("tmp/" + stamp + "-.zip"));
        }
    }
    std::vector<std::string> before = listNames(m_root / "tmp");
    Finished f = run(exe, env());
    EXPECT_EQ(f.status, 0) << f.err;
    EXPECT_EQ(f.out, "Success!\n");
    EXPECT_EQ(readRecords(m_root / "records").size(), 1u);
    EXPECT_LT(f.elapsedMs, 4000) << "the planted names held the launch up";
    EXPECT_EQ(listNames(m_root / "tmp"), before);
    EXPECT_TRUE(listNames(m_root / "outside").empty()) << "a planted link was followed";
    for (const std::string& name : before) {
        std::string p = m_root / ("tmp/" + name);
        if (fs::is_symlink(p)) continue;
        EXPECT_EQ(readAll(fs::is_directory(p) ? p + "/mine.txt" : p), "keep") << name;
    }
}

TEST_F(LauncherRunTest, RunsTheViewerFromAFreshPrivateFolderAndRemovesEverything) {
    std::string big(300000, 'b');
    std::string exe = pack({{"contents.txt", "toc"}, {"pages/one.txt", "first page"}, {"media/big.bin", big}});
    Finished f = run(exe, env());
    EXPECT_EQ(f.status, 0) << f.err;
    EXPECT_EQ(f.out, "Success!\n");
    std::vector<ViewerRecord> records = readRecords(m_root / "records");
    ASSERT_EQ(records.size(), 1u);
    ViewerRecord& r = records[0];
    EXPECT_EQ(r.keys["cwd"], r.keys["folder"]) << "the viewer works in its own folder";
    EXPECT_EQ(fs::path(r.keys["folder"]).parent_path(), fs::path(m_root / "tmp"));
    EXPECT_EQ(r.keys["mode"], "700");
    std::map<std::string, long long> expected = {{"contents.txt", 3},
                                                 {"pages/one.txt", 10},
                                                 {"media/big.bin", 300000},
                                                 {"offline.exe", (long long)fs::file_size(TN_TEST_VIEWER)}};
    EXPECT_EQ(r.files, expected);
    EXPECT_TRUE(listNames(m_root / "tmp").empty()) << "folder or temporary archive left behind";
    // The close timer ends the process at its next tick after the viewer's exit.
    double sinceViewer = f.endMs - std::stod(r.keys["exit_ms"]);
    EXPECT_GE(sinceViewer, 0);
    EXPECT_LT(sinceViewer, 1600);
}

TEST_F(LauncherRunTest, PayloadsAtTheCopyBlockEdges) {
    for (int size : {65535, 131071}) {
        std::string zip = exactZip(size);
        ASSERT_EQ(zip.size(), std::size_t(size));
        clearRecords();
        Finished f = run(withPayload(zip, "exe" + std::to_string(size)), env());
        EXPECT_EQ(f.out, "Success!\n") << size;
        EXPECT_EQ(readRecords(m_root / "records").size(), 1u) << size;
        EXPECT_TRUE(listNames(m_root / "tmp").empty()) << size;
    }
}

// A temporary directory the launcher cannot use counts as missing: the cache folder serves.
TEST_F(LauncherRunTest, UnusableTemporaryDirectoryFallsBackToTheCacheFolder) {
    std::string exe = pack({{"a.txt", "a"}});
    auto mountTmpfs = [](const std::string& dir, unsigned long flags) {
        fs::create_directories(dir);
        return mount("tmpfs", dir.c_str(), "tmpfs", flags | MS_NOSUID | MS_NODEV, "size=16m") == 0;
    };
    struct Case {
        const char* name;
        std::function<bool(const std::string& dir)> make;  // false: cannot be set up here
    } cases[] = {
        {"missing", [](const std::string&) { return true; }},
        {"noexec", [&](const std::string& dir) { return mountTmpfs(dir, MS_NOEXEC); }},
        {"read-only", [&](const std::string& dir) { return mountTmpfs(dir, MS_RDONLY); }},
        {"writable by all, not sticky, someone else's",
         [](const std::string& dir) {
             fs::create_directories(dir);
             return runningAsRoot() && chmod(dir.c_str(), 0777) == 0 && chown(dir.c_str(), 65534, 65534) == 0;
         }},
    };
    for (const Case& c : cases) {
        std::string dir = m_root / (std::string("bad-") + std::to_string(&c - cases));
        if (!c.make(dir)) {
            std::cout << "[ SKIPPED  ] " << c.name << ": cannot be set up here (" << std::strerror(errno) << ")\n";
            continue;
        }
        fs::remove_all(m_root / "records");
        fs::create_directories(m_root / "records");
        Finished f = run(exe, env(dir));
        std::vector<ViewerRecord> records = readRecords(m_root / "records");
        std::vector<std::string> left = listNames(dir);
        umount(dir.c_str());
        EXPECT_EQ(f.out, "Success!\n") << c.name;
        ASSERT_EQ(records.size(), 1u) << c.name;
        EXPECT_EQ(fs::path(records[0].keys["folder"]).parent_path(), fs::path(m_root / "cache")) << c.name;
        EXPECT_TRUE(left.empty()) << c.name;
        EXPECT_TRUE(listNames(m_root / "cache").empty()) << c.name;
    }
}

// Two launches in the same second share the stamp but not a name: both run, each from a folder
// of its own.
TEST_F(LauncherRunTest, TwoLaunchesInTheSameSecondBothRun) {
    std::string exe = pack({{"a.txt", "a"}});
    auto environment = env();
    environment["QUILLET_TEST_SLEEP_MS"] = "1500";
    Spawned a = spawn({exe}, environment, m_root / "a.out", m_root / "a.err", m_root / "work");
    Spawned b = spawn({exe}, environment, m_root / "b.out", m_root / "b.err", m_root / "work");
    Finished fa = finish(a, m_root / "a.out", m_root / "a.err");
    Finished fb = finish(b, m_root / "b.out", m_root / "b.err");
    std::vector<ViewerRecord> records = readRecords(m_root / "records");
    ASSERT_EQ(records.size(), 2u);
    EXPECT_NE(records[0].keys["folder"], records[1].keys["folder"]);
    for (ViewerRecord& r : records) EXPECT_EQ(r.files.size(), 2u) << "one launch disturbed the other's folder";
    EXPECT_EQ(fa.out + fb.out, "Success!\nSuccess!\n");
    EXPECT_TRUE(listNames(m_root / "tmp").empty());
}

// Whatever is wrong with the payload, the viewer never runs: the reader gets the one sentence,
// the process a status of its own, and nothing stays in the temporary directory.
TEST_F(LauncherRunTest, DamagedPublicationsNeverRun) {
    const std::string packed = readAll(pack({{"contents.txt", "toc"}, {"media/big.bin", std::string(300000, 'b')}}));
    const std::size_t stub = fs::file_size(TN_QUILLET_OFFLINE);
    auto flipped = [](std::string bytes, std::size_t at) { return bytes[at] ^= 1, bytes; };
    // offline.exe, then a stored member whose data no longer matches its CRC.
    std::string stage = m_root / "stage/bad";
    fs::create_directories(stage);
    fs::copy_file(TN_TEST_VIEWER, stage + "/offline.exe");
    m_root.write("stage/bad/z.txt", std::string(1000, 'z'));
    std::string cmd = "cd '" + stage + "' && zip -q -0 '" + (m_root / "bad.zip") + "' offline.exe z.txt";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    std::string badMember = readAll(m_root / "bad.zip");
    badMember[badMember.find(std::string(1000, 'z')) + 500] = 'y';
    const std::string exact = exactZip(70000);
    const std::string stampedExact = readAll(withPayload(exact, "exact"));
    struct Case {
        const char* name;
        std::string exe;
    } cases[] = {
        {"truncated payload", rawExe(packed.substr(0, packed.size() - 100), "truncated")},
        {"a byte appended", rawExe(packed + "x", "appended")},
        {"flipped byte in a member", rawExe(flipped(packed, stub + 100), "member")},
        {"flipped byte in the central directory", rawExe(flipped(packed, packed.rfind("PK\1\2") + 50), "cd")},
        // The comment's last byte: still a valid ZIP, but not the one packed.
        {"valid ZIP, wrong digest", rawExe(flipped(stampedExact, stampedExact.size() - 1), "digest")},
        {"payload never stamped", withPayload(exact, "unstamped", false)},
        {"bad member under a matching digest", withPayload(badMember, "badmember")},
        {"no ZIP under a matching digest", withPayload("P", "onebyte")},
    };
    for (const Case& c : cases) {
        clearRecords();
        Finished f = run(c.exe, env());
        EXPECT_EQ(f.status, 65) << c.name << ": " << f.err;
        EXPECT_EQ(f.err, "This publication is damaged and cannot be opened. Please get a new copy of it.\n") << c.name;
        EXPECT_EQ(f.out, "") << c.name;
        EXPECT_TRUE(readRecords(m_root / "records").empty()) << c.name << ": the viewer ran";
        EXPECT_TRUE(listNames(m_root / "tmp").empty()) << c.name << ": left behind";
    }
}

// The launcher's own failures each have their sentence and status.
TEST_F(LauncherRunTest, OtherFailuresAreToldApart) {
    if (!runningAsRoot()) GTEST_SKIP() << "mounting a small file system needs root";
    std::string exe = pack(bigPublication());
    std::string small = m_root / "small";
    fs::create_directories(small);
    ASSERT_EQ(mount("tmpfs", small.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=1m"), 0) << std::strerror(errno);
    // A cache "folder" that is a file: nothing can make it usable.
    m_root.write("a-file", "");
    // An archive whose viewer is named otherwise.
    std::string zip = exactZip(70000);
    for (std::size_t at = zip.find("offline.exe"); at != std::string::npos; at = zip.find("offline.exe", at + 1))
        zip[at] = 'X';
    std::string noViewer = withPayload(zip, "noviewer");
    struct Case {
        const char* name;
        std::string exe, tmp, cache;
        int status;
        const char* sentence;
    } cases[] = {
        {"no usable temporary folder", exe, m_root / "missing", m_root / "a-file", 73,
         "The publication cannot be opened because no usable temporary folder was found."},
        {"no space left", exe, small, m_root / "missing", 74,
         "The publication cannot be unpacked because its temporary folder cannot be written (is the disk full?)."},
        {"no viewer", noViewer, m_root / "tmp", m_root / "cache", 126, "The publication's viewer cannot be started."},
    };
    for (const Case& c : cases) {
        clearRecords();
        auto environment = env(c.tmp);
        environment["XDG_CACHE_HOME"] = c.cache;
        Finished f = run(c.exe, environment);
        EXPECT_EQ(f.status, c.status) << c.name << ": " << f.err;
        EXPECT_EQ(f.err, std::string(c.sentence) + "\n") << c.name;
        EXPECT_TRUE(readRecords(m_root / "records").empty()) << c.name;
        EXPECT_TRUE(listNames(c.tmp).empty()) << c.name;
    }
    umount(small.c_str());
}

// Everything after the program's name reaches the viewer as it was given, and its exit status or
// its signal becomes the launcher's.
TEST_F(LauncherRunTest, ViewerGetsTheArgumentsAndGivesItsEnd) {
    std::string exe = pack({{"a.txt", "a"}});
    const std::vector<std::string> arguments = {"two words", "", "--quillet-list", "caf\xc3\xa9", "-x"};
    auto environment = env();
    environment["QUILLET_TEST_EXIT"] = "3";
    Finished f = run(exe, environment, "args", arguments);
    EXPECT_EQ(f.status, 3) << f.err;
    std::vector<ViewerRecord> records = readRecords(m_root / "records");
    ASSERT_EQ(records.size(), 1u);
    for (std::size_t i = 0; i < arguments.size(); ++i)
        EXPECT_EQ(records[0].keys["arg" + std::to_string(i + 1)], arguments[i]) << i;
    EXPECT_EQ(records[0].keys.count("arg6"), 0u);

    clearRecords();
    environment.erase("QUILLET_TEST_EXIT");
    environment["QUILLET_TEST_RAISE"] = std::to_string(SIGUSR1);
    f = run(exe, environment, "signal");
    EXPECT_EQ(f.signal, SIGUSR1) << f.err;
    EXPECT_TRUE(listNames(m_root / "tmp").empty());
}

// Folders come out with the mode and time they were packed with; the launcher's own folder stays
// private.
TEST_F(LauncherRunTest, FolderModesAndTimesAreRestored) {
    std::string stage = m_root / "stage/modes";
    fs::create_directories(stage + "/shared/inner");
    fs::copy_file(TN_TEST_VIEWER, stage + "/offline.exe");
    m_root.write("stage/modes/shared/inner/page.txt", "p");
    chmod((stage + "/shared").c_str(), 0750);
    chmod((stage + "/shared/inner").c_str(), 0705);
    struct timespec times[2] = {{0, UTIME_OMIT}, {1262304000, 0}};  // 2010-01-01 00:00:00 UTC
    utimensat(AT_FDCWD, (stage + "/shared").c_str(), times, 0);
    std::string cmd = std::string(TN_QUILLET_PACK) + " -q '" + stage + "' -o '" + (m_root / "modes") + "'";
    ASSERT_EQ(std::system(("TZ=UTC " + cmd).c_str()), 0);
    auto environment = env();
    environment["TZ"] = "UTC";
    Finished f = run(m_root / "modes", environment);
    ASSERT_EQ(f.status, 0) << f.err;
    std::vector<ViewerRecord> records = readRecords(m_root / "records");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].keys["mode"], "700");
    EXPECT_EQ(records[0].dirs["shared"], "750 1262304000");
    EXPECT_EQ(records[0].dirs["shared/inner"].substr(0, 4), "705 ");
}

// The launcher's own options read the publication and never run it.
TEST_F(LauncherRunTest, OwnOptions) {
    std::string exe = pack({{"pages/one.txt", "first page"}});
    std::string damaged = readAll(exe);
    damaged[damaged.size() - 30] ^= 1;
    std::string bad = rawExe(damaged, "bad");
    struct Case {
        std::string exe;
        std::vector<std::string> arguments;
        int status;
        const char* out;
        const char* err;
    } cases[] = {
        {exe, {"--quillet-list"}, 0, "pages/one.txt", ""},
        {exe, {"--quillet-check"}, 0, "The publication is intact.", ""},
        {bad, {"--quillet-check"}, 65, "", "damaged"},
        {bad, {"--quillet-list"}, 65, "", "damaged"},
        {exe, {"--quillet-help"}, 0, "--quillet-extract DIR", ""},
        {exe, {"--quillet-version"}, 0, "quillet-offline ", ""},
        {exe, {"--quillet-unknown"}, 2, "", "unknown option"},
        {exe, {"--quillet-extract"}, 2, "", "unknown option"},
    };
    for (const Case& c : cases) {
        Finished f = run(c.exe, env(), "option", c.arguments);
        EXPECT_EQ(f.status, c.status) << c.arguments[0] << ": " << f.err;
        EXPECT_NE(f.out.find(c.out), std::string::npos) << c.arguments[0] << ": " << f.out;
        EXPECT_NE(f.err.find(c.err), std::string::npos) << c.arguments[0] << ": " << f.err;
    }
    Finished f = run(exe, env(), "extract", {"--quillet-extract", m_root / "unpacked"});
    EXPECT_EQ(f.status, 0) << f.err;
    EXPECT_EQ(readAll(m_root / "unpacked/pages/one.txt"), "first page");
    EXPECT_TRUE(fs::exists(m_root / "unpacked/offline.exe"));
    EXPECT_TRUE(readRecords(m_root / "records").empty()) << "an option ran the viewer";
    EXPECT_TRUE(listNames(m_root / "tmp").empty());
}

// Polls every millisecond until done() or the time is up.
bool waitUntil(const std::function<bool()>& done, int timeoutMs = 20000) {
    for (double until = nowMs() + timeoutMs; !done();) {
        if (nowMs() > until) return false;
        usleep(1000);
    }
    return true;
}

// An interrupt before the viewer runs stops the launch; the launcher deletes what it made and
// ends as the interrupt asks. Sent while the copy or the extraction runs; should the viewer have
// started already, it gets the interrupt passed on.
TEST_F(LauncherRunTest, InterruptedLaunchLeavesNothingBehind) {
    std::string exe = pack(bigPublication());
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        clearRecords();
        Spawned s = start(exe, env());
        ASSERT_TRUE(waitUntil([&] { return !listNames(m_root / "tmp").empty(); })) << "the launch never began";
        kill(s.pid, sig);
        Finished f = end(s);
        EXPECT_EQ(f.signal, sig) << f.err;
        EXPECT_EQ(listNames(m_root / "tmp"), std::vector<std::string>{}) << sig;
        for (ViewerRecord& r : readRecords(m_root / "records")) EXPECT_EQ(r.keys["signal"], std::to_string(sig));
    }
}

TEST_F(LauncherRunTest, InterruptWhileTheViewerRunsIsPassedOnToIt) {
    std::string exe = pack({{"a.txt", "a"}});
    auto environment = env();
    environment["QUILLET_TEST_SLEEP_MS"] = "30000";
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        clearRecords();
        Spawned s = start(exe, environment);
        ASSERT_TRUE(waitUntil([&] {
            std::vector<ViewerRecord> r = readRecords(m_root / "records");
            return !r.empty() && r[0].keys.count("start_ms");
        })) << "the viewer never started";
        kill(s.pid, sig);
        Finished f = end(s);
        std::vector<ViewerRecord> records = readRecords(m_root / "records");
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].keys["signal"], std::to_string(sig)) << "not passed on to the viewer";
        EXPECT_EQ(f.signal, sig) << f.err;
        EXPECT_LT(f.elapsedMs, 15000);
        EXPECT_EQ(listNames(m_root / "tmp"), std::vector<std::string>{}) << sig;
    }
}

// In a temporary directory that others may write without the sticky bit, another user moves the
// fresh folder away the moment it appears and puts one with their own offline.exe in its place.
// Their program never runs, their folder is left as it is, and what was extracted into ours,
// wherever it went, is deleted. The launcher stops itself right after making the folder (a
// test-only stop) and goes on only once the swap is done.
TEST_F(LauncherRunTest, SwappedFolderIsNeverRun) {
    std::string exe = pack({{"a.txt", "a"}});
    std::string tmp = m_root / "tmp";
    chmod(tmp.c_str(), 0777);
    auto environment = env();
    environment["QUILLET_TEST_STOP_AT"] = "folder-created";
    Spawned s = start(exe, environment);
    int status = 0;
    ASSERT_EQ(waitpid(s.pid, &status, WUNTRACED), s.pid);
    ASSERT_TRUE(WIFSTOPPED(status)) << "the launcher ended before making its folder";
    std::string name;
    for (const std::string& entry : listNames(tmp))
        if (fs::is_directory(tmp + "/" + entry)) name = entry;
    ASSERT_FALSE(name.empty()) << "no folder appeared";
    ASSERT_EQ(rename((tmp + "/" + name).c_str(), (tmp + "/moved").c_str()), 0);
    fs::create_directory(tmp + "/" + name);
    std::string theirs = tmp + "/" + name + "/offline.exe";
    std::ofstream(theirs) << "#!/bin/sh\necho ran > '" << (m_root / "attacker-ran") << "'\n";
    chmod(theirs.c_str(), 0755);
    kill(s.pid, SIGCONT);
    Finished f = end(s);
    EXPECT_EQ(f.status, 126) << f.err;
    EXPECT_EQ(f.err, "The publication's viewer cannot be started.\n");
    EXPECT_FALSE(fs::exists(m_root / "attacker-ran"));
    EXPECT_EQ(listNames(tmp), (std::vector<std::string>{name, "moved"}));
    EXPECT_EQ(listNames(tmp + "/" + name), std::vector<std::string>{"offline.exe"});
    EXPECT_EQ(listNames(tmp + "/moved"), std::vector<std::string>{});
    EXPECT_TRUE(readRecords(m_root / "records").empty());
}

}  // namespace
