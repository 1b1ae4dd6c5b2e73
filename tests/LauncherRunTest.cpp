// The packed launcher run as a real process, without a display: the whole sequence with a
// stand-in viewer that records where and how it ran, and the edge cases of the sequence.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/inotify.h>
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

    // The stub followed by exactly these payload bytes.
    std::string withPayload(const std::string& payload, const std::string& name = "raw") {
        std::string out = m_root / name;
        fs::copy_file(TN_QUILLET_OFFLINE, out);
        std::ofstream(out, std::ios::binary | std::ios::app) << payload;
        fs::permissions(out, fs::perms::owner_all);
        return out;
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

    Finished run(const std::string& exe, std::map<std::string, std::string> environment,
                 const std::string& tag = "run") {
        return end(start(exe, environment, tag), tag);
    }
    Spawned start(const std::string& exe, std::map<std::string, std::string> environment,
                  const std::string& tag = "run") {
        return spawn({exe}, environment, m_root / (tag + ".out"), m_root / (tag + ".err"), m_root / "work");
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

TEST_F(LauncherRunTest, OneByteArchiveFailsToOpenAndLeavesNothing) {
    Finished f = run(withPayload("P"), env());
    EXPECT_EQ(f.status, 0) << f.err;
    EXPECT_EQ(f.out, "");
    EXPECT_TRUE(listNames(m_root / "tmp").empty()) << "temporary archive or folder left behind";
    EXPECT_TRUE(readRecords(m_root / "records").empty());
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
    EXPECT_EQ(r.keys["cwd"], m_root / "work");
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
        std::string zip = m_root / ("payload" + std::to_string(size));
        std::string cmd = "python3 " TN_SOURCE_DIR "/tests/helpers/exact_payload.py " TN_TEST_VIEWER " '" + zip + "' " +
                          std::to_string(size);
        ASSERT_EQ(std::system(cmd.c_str()), 0);
        ASSERT_EQ(fs::file_size(zip), std::uintmax_t(size));
        fs::remove_all(m_root / "records");
        fs::create_directories(m_root / "records");
        Finished f = run(withPayload(readAll(zip), "exe" + std::to_string(size)), env());
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

TEST_F(LauncherRunTest, FailedExtractionStillRunsWhatWasExtractedAndCleansUp) {
    // offline.exe first, then a stored member whose data no longer matches its CRC.
    std::string stage = m_root / "stage/bad";
    fs::create_directories(stage);
    fs::copy_file(TN_TEST_VIEWER, stage + "/offline.exe");
    m_root.write("stage/bad/z.txt", std::string(1000, 'z'));
    std::string zip = m_root / "bad.zip";
    std::string cmd = "cd '" + stage + "' && zip -q -0 '" + zip + "' offline.exe z.txt";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    std::string bytes = readAll(zip);
    std::size_t data = bytes.find(std::string(1000, 'z'));
    ASSERT_NE(data, std::string::npos);
    bytes[data + 500] = 'y';
    Finished f = run(withPayload(bytes), env());
    EXPECT_EQ(f.out, "");
    EXPECT_EQ(readRecords(m_root / "records").size(), 1u);
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
// wherever it went, is deleted.
TEST_F(LauncherRunTest, SwappedFolderIsNeverRun) {
    std::string exe = pack(bigPublication());
    std::string tmp = m_root / "tmp";
    chmod(tmp.c_str(), 0777);
    int watch = inotify_init1(IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(inotify_add_watch(watch, tmp.c_str(), IN_CREATE | IN_ONLYDIR), 0);
    Spawned s = start(exe, env());
    std::string name;
    alignas(inotify_event) char events[4096];
    for (double until = nowMs() + 20000; name.empty() && nowMs() < until;) {
        pollfd p = {watch, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) continue;
        ssize_t n = read(watch, events, sizeof events);
        for (char* e = events; n > 0 && e < events + n;
             e += sizeof(inotify_event) + reinterpret_cast<inotify_event*>(e)->len) {
            auto* event = reinterpret_cast<inotify_event*>(e);
            if (event->mask & IN_ISDIR) name = event->name;
        }
    }
    close(watch);
    ASSERT_FALSE(name.empty()) << "no folder appeared";
    ASSERT_EQ(rename((tmp + "/" + name).c_str(), (tmp + "/moved").c_str()), 0);
    fs::create_directory(tmp + "/" + name);
    std::string theirs = tmp + "/" + name + "/offline.exe";
    std::ofstream(theirs) << "#!/bin/sh\necho ran > '" << (m_root / "attacker-ran") << "'\n";
    chmod(theirs.c_str(), 0755);
    Finished f = end(s);
    EXPECT_EQ(f.status, 0) << f.err;
    EXPECT_FALSE(fs::exists(m_root / "attacker-ran"));
    EXPECT_EQ(listNames(tmp), (std::vector<std::string>{name, "moved"}));
    EXPECT_EQ(listNames(tmp + "/" + name), std::vector<std::string>{"offline.exe"});
    EXPECT_EQ(listNames(tmp + "/moved"), std::vector<std::string>{});
    for (ViewerRecord& r : readRecords(m_root / "records")) EXPECT_NE(r.keys["folder"], tmp + "/" + name);
}

}  // namespace
