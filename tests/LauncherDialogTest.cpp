// The launcher's dialog on a virtual X display: the whole run with a window, Enter and Escape,
// and a screenshot of the dialog while a large publication extracts (saved as
// build/tests/launcher-dialog.png; docs/launcher-dialog.png is a copy of one).
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <fstream>
#include <random>

#include "LauncherProcess.h"
#include "TempFolder.h"

using namespace launchertest;

namespace {

const char* const kTitle = "Quillet Offline Publication";

class LauncherDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (m_display.name().empty()) GTEST_SKIP() << "no Xvfb here";
        for (const char* d : {"tmp", "cache", "records", "home", "work"}) fs::create_directories(m_root / d);
    }

    std::map<std::string, std::string> env() {
        return {{"DISPLAY", m_display.name()},
                {"TMPDIR", m_root / "tmp"},
                {"XDG_CACHE_HOME", m_root / "cache"},
                {"HOME", m_root / "home"},
                {"QUILLET_TEST_RECORD_DIR", m_root / "records"},
                {"GDK_BACKEND", "x11"},
                {"NO_AT_BRIDGE", "1"}};
    }

    int probe(const std::vector<std::string>& args, std::string* out = nullptr) {
        std::vector<std::string> argv = {TN_WINDOW_PROBE};
        argv.insert(argv.end(), args.begin(), args.end());
        Spawned s = spawn(argv, {{"DISPLAY", m_display.name()}}, m_root / "probe.out", m_root / "probe.err");
        Finished f = finish(s, m_root / "probe.out", m_root / "probe.err");
        if (out) *out = f.out;
        return f.status;
    }

    // Starts a publication of just the stand-in viewer, which stays sleepMs.
    Spawned startViewerOnly(int sleepMs) {
        std::string stage = m_root / "stage";
        fs::create_directories(stage);
        fs::copy_file(TN_TEST_VIEWER, stage + "/offline.exe");
        std::string exe = m_root / "pub";
        std::string cmd = std::string(TN_QUILLET_PACK) + " '" + stage + "' -o '" + exe + "' --stub " TN_QUILLET_OFFLINE;
        EXPECT_EQ(std::system(cmd.c_str()), 0);
        auto environment = env();
        environment["QUILLET_TEST_SLEEP_MS"] = std::to_string(sleepMs);
        return spawn({exe}, environment, m_root / "run.out", m_root / "run.err", m_root / "work");
    }

    Spawned start(const std::string& exe) {
        return spawn({exe}, env(), m_root / "run.out", m_root / "run.err", m_root / "work");
    }
    Finished end(const Spawned& s) { return finish(s, m_root / "run.out", m_root / "run.err"); }

    VirtualDisplay m_display;
    TempFolder m_root;
};

// Without an archive the dialog stays up for 1.5 s, long enough to type at it.
TEST_F(LauncherDialogTest, EnterAndEscapeLeaveTheDialogOpen) {
    std::string exe = m_root / "stub";
    fs::copy_file(TN_QUILLET_OFFLINE, exe);
    Spawned s = start(exe);
    std::string drawn;
    ASSERT_EQ(probe({"wait", kTitle, "1200"}), 0) << "the dialog did not appear";
    // Drawn, not just mapped: the window holds its title bar, text and bar.
    EXPECT_EQ(probe({"shot", m_root / "shown.png"}, &drawn), 0);
    EXPECT_GT(std::stol(drawn), 50000);
    EXPECT_EQ(probe({"keys", kTitle}), 0);
    usleep(150000);
    EXPECT_EQ(probe({"wait", kTitle, "0"}), 0) << "the dialog closed on Enter or Escape";
    Finished f = end(s);
    EXPECT_EQ(f.status, 0) << f.err;
    EXPECT_GE(f.elapsedMs, 1450);
    EXPECT_EQ(probe({"gone", kTitle, "0"}), 0);
}

// A damaged publication is told in a message box over the dialog, which waits for the reader;
// once it is closed the launcher ends with the damaged status, having run nothing.
TEST_F(LauncherDialogTest, DamagedPublicationIsToldInAMessageBox) {
    std::string exe = m_root / "damaged";
    fs::copy_file(TN_QUILLET_OFFLINE, exe);
    std::ofstream(exe, std::ios::binary | std::ios::app) << "not a stamped payload";
    Spawned s = start(exe);
    auto running = [&] {
        siginfo_t info = {};
        return waitid(P_PID, id_t(s.pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == 0;
    };
    ASSERT_EQ(probe({"count", kTitle, "2", "10000"}), 0) << "no message box beside the dialog";
    EXPECT_TRUE(running()) << "the launcher did not wait for the reader";
    for (int i = 0; i < 20 && running(); ++i) {
        probe({"keys", kTitle});
        usleep(250000);
    }
    Finished f = end(s);
    EXPECT_EQ(f.status, 65) << f.err;
    EXPECT_EQ(f.err, "This publication is damaged and cannot be opened. Please get a new copy of it.\n");
    EXPECT_TRUE(fs::is_empty(m_root / "records"));
    EXPECT_TRUE(listNames(m_root / "tmp").empty());
}

TEST_F(LauncherDialogTest, LargePublicationShowsProgressThenTheViewerRunsWithTheDialogHidden) {
    // Incompressible data, stored, so that extraction takes a moment.
    std::string stage = m_root / "stage";
    fs::create_directories(stage);
    fs::copy_file(TN_TEST_VIEWER, stage + "/offline.exe");
    std::mt19937_64 rng(7);
    std::string block(1 << 20, 0);
    {
        std::ofstream big(stage + "/big.bin", std::ios::binary);
        for (int i = 0; i < 120; ++i) {
            for (std::size_t j = 0; j < block.size(); j += 8) *reinterpret_cast<std::uint64_t*>(&block[j]) = rng();
            big.write(block.data(), std::streamsize(block.size()));
        }
    }
    std::string exe = m_root / "pub";
    std::string cmd = std::string(TN_QUILLET_PACK) + " '" + stage + "' -o '" + exe +
                      "' --level 0 --stub " TN_QUILLET_OFFLINE;
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    fs::remove_all(stage);

    Spawned s = start(exe);
    std::string size, drawn;
    ASSERT_EQ(probe({"wait", kTitle, "1500"}, &size), 0) << "the dialog did not appear";
    // Template 102 is 309 x 49 dialog units: about 464 x 80 pixels below the title bar.
    EXPECT_GE(std::stoi(size), 464) << size;
    // The extraction folder appears once the payload is copied: the dialog is then extracting.
    for (int i = 0; i < 500 && listNames(m_root / "tmp").size() < 2; ++i) usleep(4000);
    std::string shot = std::string(TN_BINARY_DIR) + "/tests/launcher-dialog.png";
    EXPECT_EQ(probe({"shot", shot}, &drawn), 0);
    Finished f = end(s);
    EXPECT_EQ(f.status, 0) << f.err;
    if (f.out.empty()) GTEST_SKIP() << "the archive library cannot extract yet: no viewer to watch";
    // The dialog (about 470 x 135 pixels) was on the screen while the extraction ran.
    EXPECT_GT(std::stol(drawn), 50000) << "the dialog was not showing during the extraction";
    EXPECT_EQ(f.out, "Success!\n");
    std::vector<ViewerRecord> records = readRecords(m_root / "records");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].files.size(), 2u);
    EXPECT_TRUE(listNames(m_root / "tmp").empty());
}

TEST_F(LauncherDialogTest, DialogIsHiddenWhileTheViewerRuns) {
    Spawned s = startViewerOnly(1500);
    ASSERT_EQ(probe({"wait", kTitle, "1500"}), 0);
    // Once the viewer has recorded its start, the dialog must be gone.
    for (int i = 0; i < 150 && fs::is_empty(m_root / "records"); ++i) usleep(20000);
    bool viewerRan = !fs::is_empty(m_root / "records");
    if (viewerRan) {
        EXPECT_EQ(probe({"gone", kTitle, "0"}), 0) << "the dialog is visible while the viewer runs";
    }
    Finished f = end(s);
    EXPECT_EQ(f.status, 0) << f.err;
    if (!viewerRan) GTEST_SKIP() << "the archive library cannot extract yet: no viewer ran";
    EXPECT_EQ(f.out, "Success!\n");
}

}  // namespace

namespace {

// The session's display may end while the viewer runs; the launcher must still wait for the
// viewer and remove its folder rather than be taken down with the display.
TEST_F(LauncherDialogTest, DisplayEndingWhileTheViewerRunsStillCleansUp) {
    Spawned s = startViewerOnly(1500);
    for (int i = 0; i < 250 && fs::is_empty(m_root / "records"); ++i) usleep(20000);
    ASSERT_FALSE(fs::is_empty(m_root / "records")) << "the viewer did not start";
    m_display.stop();
    Finished f = end(s);
    EXPECT_EQ(f.status, 0) << f.err;
    EXPECT_EQ(f.out, "Success!\n");
    EXPECT_EQ(f.err, "");
    EXPECT_TRUE(listNames(m_root / "tmp").empty()) << "the extraction folder was left behind";
}

}  // namespace
