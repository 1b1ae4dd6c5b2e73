// The progress chain: monitor arithmetic and pacing, and the route of events to the application.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "archive/ProgressMonitor.h"
#include "archive/TnZipCb.h"
#include "archive/TnZipProgress.h"

namespace {

// Records every percent and abort check; answers abort at a chosen percent.
class RecordingEvent : public ProgressEvent {
public:
    void percentDone(int percent, bool* abort) override {
        percents.push_back(percent);
        if (abort) *abort = (percent >= abortAt);
    }
    void abortCheck(bool* abort) override {
        ++checks;
        if (abort) *abort = abortOnCheck;
    }
    std::vector<int> percents;
    int checks = 0;
    int abortAt = 1000;
    bool abortOnCheck = false;
};

// An application that writes the order of the events it sees.
class RecordingApp : public TnZipProgress {
public:
    void UnzipPercent(int p, bool*) override { log += "P" + std::to_string(p) + " "; }
    void WritePercent(int p, bool*) override { log += "W" + std::to_string(p) + " "; }
    void AbortCheck(bool* abort) override {
        log += "C ";
        *abort = true;  // dereferences without a test, as applications do
    }
    void ToBeUnzipped(const char* n, int c, int u, bool* skip) override {
        log += std::string("T:") + n + ":" + std::to_string(c) + ":" + std::to_string(u) + " ";
        *skip = true;
    }
    void FileUnzipped(const char* n, int, int, bool*) override { log += std::string("F:") + n + " "; }
    void UnzipBegin() override { log += "B "; }
    void UnzipEnd() override { log += "E "; }
    std::string log;
};

}  // namespace

struct PercentCase {
    std::int64_t total;
    std::vector<std::int64_t> counts;
    std::vector<int> expected;
};

TEST(ProgressMonitor, PercentEventsFollowTheWholePercentage) {
    const PercentCase cases[] = {
        {250, {100, 100, 50}, {40, 80, 100}},    {0, {0, 5}, {}},  // empty work: 100 from the start, no event
        {100, {30, 200, 10}, {30, 100}},                           // overshoot stops at the total, 100 once
        {3000000000LL, {1500000000LL, 1}, {50}},                   // scaled by 10 four times before dividing
        {1000, {1, 1, 1, 7, 990}, {1, 100}},                       // sub-percent counts wait for the next step
    };
    for (const PercentCase& c : cases) {
        RecordingEvent sink;
        ProgressMonitor monitor(&sink, c.total);
        for (std::int64_t n : c.counts) monitor.addProgress(n, nullptr);
        EXPECT_EQ(sink.percents, c.expected) << "total " << c.total;
        EXPECT_FALSE(monitor.isAborted());
    }
}

TEST(ProgressMonitor, PercentagesStrictlyIncreaseToHundredWhateverTheChunks) {
    for (std::int64_t chunk : {1, 13, 31, 9999, 123457}) {
        RecordingEvent sink;
        const std::int64_t total = 2345678;
        ProgressMonitor monitor(&sink, total);
        for (std::int64_t done = 0; done < total; done += chunk) monitor.addProgressQuiet(chunk);
        monitor.finishProgress();
        ASSERT_FALSE(sink.percents.empty());
        EXPECT_GE(sink.percents.front(), 1);
        EXPECT_EQ(sink.percents.back(), 100);
        for (size_t i = 1; i < sink.percents.size(); ++i)
            EXPECT_LT(sink.percents[i - 1], sink.percents[i]) << "chunk " << chunk;
    }
}

TEST(ProgressMonitor, FinishCountsTheRestQuietly) {
    RecordingEvent sink;
    sink.abortAt = 0;  // every answer asks to abort; finish must not listen
    ProgressMonitor monitor(&sink, 10);
    monitor.finishProgress();
    monitor.finishProgress();
    EXPECT_EQ(sink.percents, std::vector<int>{100});
    EXPECT_FALSE(monitor.isAborted());
    EXPECT_EQ(monitor.currentPercent(), 100);
}

TEST(ProgressMonitor, AbortFromPercentEventStaysSet) {
    RecordingEvent sink;
    sink.abortAt = 50;
    ProgressMonitor monitor(&sink, 100);
    bool abort = true;
    monitor.addProgress(10, &abort);
    EXPECT_FALSE(abort);
    monitor.addProgress(40, &abort);
    EXPECT_TRUE(abort);
    sink.abortAt = 1000;
    monitor.addProgress(10, &abort);
    EXPECT_FALSE(abort);  // this call's answer
    EXPECT_TRUE(monitor.isAborted());
    EXPECT_EQ(sink.percents.back(), 50);  // nothing is raised after the answer
}

TEST(ProgressMonitor, HeartbeatChecksAbortOnlyAfterTheInterval) {
    RecordingEvent sink;
    ProgressMonitor monitor(&sink, 1000000);
    monitor.addProgress(1, nullptr);  // no percent step, interval not passed
    EXPECT_EQ(sink.checks, 0);

    monitor.setHeartbeatInterval(100);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    sink.abortOnCheck = true;
    bool abort = false;
    monitor.addProgress(1, &abort);
    EXPECT_EQ(sink.checks, 1);
    EXPECT_TRUE(abort);
    EXPECT_TRUE(monitor.isAborted());
    monitor.addProgress(1, nullptr);  // the check just now restarted the interval
    EXPECT_EQ(sink.checks, 1);

    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    monitor.addProgressQuiet(1);  // quiet counting never beats
    monitor.setHeartbeatOff(true);
    monitor.addProgress(1, nullptr);
    EXPECT_EQ(sink.checks, 1);
    EXPECT_TRUE(sink.percents.empty());
}

TEST(ProgressMonitor, DisabledAndHold100Switches) {
    struct Case {
        bool disabled, hold;
        std::vector<std::int64_t> counts;
        std::vector<int> expected;
    };
    const Case cases[] = {
        {true, false, {50, 50}, {}},
        {false, true, {50, 49, 1}, {50, 99}},
        {false, true, {50, 50}, {50, 99}},  // a jump to the end still reports 99
        {false, true, {100}, {99}},
    };
    for (const Case& c : cases) {
        RecordingEvent sink;
        // A disabled monitor never hears the answers that would abort it.
        sink.abortAt = c.disabled ? 0 : 1000;
        sink.abortOnCheck = c.disabled;
        ProgressMonitor monitor(&sink, 100);
        monitor.setDisabled(c.disabled);
        monitor.setHold100(c.hold);
        monitor.setHeartbeatInterval(1);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        for (std::int64_t n : c.counts) monitor.addProgress(n, nullptr);
        monitor.finishProgress();
        EXPECT_EQ(sink.percents, c.expected) << c.disabled << c.hold;
        EXPECT_EQ(monitor.currentPercent(), 100);
        EXPECT_FALSE(monitor.isAborted());
        if (c.disabled) {
            EXPECT_EQ(sink.checks, 0);
        }
    }
}

TEST(ProgressMonitor, WithoutCallbackItsOwnEventRecords) {
    ProgressMonitor monitor(200);
    bool abort = true;
    monitor.addProgress(100, &abort);
    EXPECT_FALSE(abort);
    EXPECT_EQ(monitor.ownEvent().lastPercent(), 50);
    monitor.ownEvent().requestAbort(true);  // as a watcher thread would
    monitor.addProgress(50, &abort);
    EXPECT_TRUE(abort);
    EXPECT_TRUE(monitor.isAborted());
    EXPECT_EQ(monitor.ownEvent().lastPercent(), 75);
}

TEST(ProgressChain, MonitorThroughAdapterReachesTheApplicationInOrder) {
    RecordingApp app;
    TnZipCb cb(&app);
    cb.unzipBegin();
    cb.zipAbortCheck(nullptr);  // null flag: the application is not called
    bool skip = false;
    cb.toBeUnzipped("a.txt", 3, 250, false, &skip);
    EXPECT_TRUE(skip);
    {
        ProgressMonitor monitor(&cb, 250);
        for (int n : {100, 100, 50}) monitor.addProgress(n, nullptr);
    }
    cb.setWritePercentMode(true);
    cb.percentDone(7, nullptr);
    bool abort = false;
    cb.abortCheck(&abort);
    EXPECT_TRUE(abort);
    cb.fileUnzipped("a.txt", 3, 250, false, &abort);
    cb.unzipEnd();
    EXPECT_EQ(app.log, "B T:a.txt:3:250 P40 P80 P100 W7 C F:a.txt E ");
}

TEST(ProgressChain, AdapterWithoutApplicationIgnoresEverything) {
    TnZipCb cb(nullptr);
    bool flag = false;
    cb.unzipBegin();
    cb.percentDone(10, &flag);
    cb.zipAbortCheck(&flag);
    cb.toBeUnzipped("x", 1, 1, true, &flag);
    cb.unzipEnd();
    EXPECT_FALSE(flag);
}
