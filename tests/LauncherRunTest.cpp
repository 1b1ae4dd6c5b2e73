// The packed launcher run as a real process, without a display: the whole sequence with a
// stand-in viewer that records where and how it ran, and the edge cases of the sequence.
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <cstring>
#include <ctime>
#include <fstream>

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

    std::map<std::string, std::string> env(const std::string& tmp = "") {
        return {{"TMPDIR", tmp.empty() ? m_root / "tmp" : tmp}, {"XDG_CACHE_HOME", m_root / "cache"},
                {"HOME", m_root / "home"}, {"QUILLET_TEST_RECORD_DIR", m_root / "records"},
                {"QUILLET_TEST_SLEEP_MS", "300"}};
    }

    Finished run(const std::string& exe, std::map<std::string, std::string> environment, const std::string& tag = "run") {
        std::string out = m_root / (tag + ".out"), err = m_root / (tag + ".err");
        return finish(spawn({exe}, environment, out, err, m_root / "work"), out, err);
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

// Names of the existing extraction folder and temporary archive are never taken over: every
// stamp of the run's seconds is occupied, so the run must stop without touching any of it.
TEST_F(LauncherRunTest, ExistingFolderOrArchiveOfTheStampStopsTheRun) {
    std::string exe = pack({{"page.txt", "p"}});
    std::time_t now = std::time(nullptr);
    std::vector<std::string> taken;
    for (std::time_t t = now - 1; t <= now + 6; ++t) {
        std::tm tm;
        localtime_r(&t, &tm);
        SystemTime st;
        st.year = std::uint16_t(tm.tm_year + 1900), st.month = std::uint16_t(tm.tm_mon + 1), st.day = std::uint16_t(tm.tm_mday);
        st.hour = std::uint16_t(tm.tm_hour), st.minute = std::uint16_t(tm.tm_min), st.second = std::uint16_t(tm.tm_sec);
        std::string stamp = launcherStamp(st);
        // Odd seconds get a folder, even ones an archive file.
        if (t % 2) {
            fs::create_directories(m_root / ("tmp/" + stamp));
            m_root.write("tmp/" + stamp + "/mine.txt", "keep");
        } else {
            m_root.write("tmp/" + stamp + ".zip", "keep");
        }
        taken.push_back(stamp);
    }
    std::vector<std::string> before = listNames(m_root / "tmp");
    Finished f = run(exe, env());
    EXPECT_EQ(f.out, "");
    EXPECT_TRUE(readRecords(m_root / "records").empty());
    EXPECT_EQ(listNames(m_root / "tmp"), before);
    for (const std::string& name : before) {
        std::string p = m_root / ("tmp/" + name);
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
    std::map<std::string, long long> expected = {{"contents.txt", 3}, {"pages/one.txt", 10}, {"media/big.bin", 300000},
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

TEST_F(LauncherRunTest, MissingTemporaryDirectoryFallsBackToTheCacheFolder) {
    Finished f = run(pack({{"a.txt", "a"}}), env(m_root / "no-such-dir"));
    EXPECT_EQ(f.out, "Success!\n");
    std::vector<ViewerRecord> records = readRecords(m_root / "records");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(fs::path(records[0].keys["folder"]).parent_path(), fs::path(m_root / "cache"));
    EXPECT_TRUE(listNames(m_root / "cache").empty());
}

TEST_F(LauncherRunTest, NoexecTemporaryDirectoryFallsBackToTheCacheFolder) {
    std::string mnt = m_root / "noexec";
    fs::create_directories(mnt);
    if (mount("tmpfs", mnt.c_str(), "tmpfs", MS_NOEXEC | MS_NOSUID | MS_NODEV, "size=16m") != 0)
        GTEST_SKIP() << "cannot mount a noexec tmpfs here: " << std::strerror(errno);
    Finished f = run(pack({{"a.txt", "a"}}), env(mnt));
    std::vector<ViewerRecord> records = readRecords(m_root / "records");
    EXPECT_TRUE(listNames(mnt).empty());
    umount(mnt.c_str());
    EXPECT_EQ(f.out, "Success!\n");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(fs::path(records[0].keys["folder"]).parent_path(), fs::path(m_root / "cache"));
}

// Both launches read the clock in the same second, so they share the stamp: the first one's
// files are never touched by the second, which stops.
TEST_F(LauncherRunTest, TwoLaunchesInTheSameSecondRunOneViewer) {
    std::string exe = pack({{"a.txt", "a"}});
    auto environment = env();
    environment["QUILLET_TEST_SLEEP_MS"] = "1500";
    // Start just after a second begins, so that both read the clock well inside the next one.
    while (std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
               .count() % 1000 > 300)
        usleep(10000);
    Spawned a = spawn({exe}, environment, m_root / "a.out", m_root / "a.err", m_root / "work");
    Spawned b = spawn({exe}, environment, m_root / "b.out", m_root / "b.err", m_root / "work");
    Finished fa = finish(a, m_root / "a.out", m_root / "a.err");
    Finished fb = finish(b, m_root / "b.out", m_root / "b.err");
    std::vector<ViewerRecord> records = readRecords(m_root / "records");
    if (records.size() == 2) GTEST_SKIP() << "the two launches read the clock in different seconds";
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].files.size(), 2u) << "the second launch disturbed the first one's folder";
    EXPECT_EQ(fa.out + fb.out, "Success!\n");
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

}  // namespace
