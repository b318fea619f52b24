#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Platform.h"
#include "runs/RunFrame.h"
#include "runs/RunState.h"
#include "support/FakeRunWindow.h"

namespace {

// Records the order of the frame's calls into the window and the platform.
class FrameWindow : public FakeRunWindow {
  public:
    void LockForRun() override {
        FakeRunWindow::LockForRun();
        events.push_back("lock");
    }
    void UnlockAfterRun() override {
        FakeRunWindow::UnlockAfterRun();
        events.push_back("unlock");
    }
    void StoreSettings() override {
        FakeRunWindow::StoreSettings();
        events.push_back("store");
    }
    void EndProgram() override {
        FakeRunWindow::EndProgram();
        events.push_back("end");
    }
    std::vector<std::string> events;
};

struct FrameOutcome {
    std::vector<std::string> events;
    bool stopAfter = false;
};

FrameOutcome RunWith(bool exitAfterRun, int endAction) {
    FrameWindow window;
    window.endAction = endAction;
    ScopedPlatform platform(PlatformServices{[](const std::u16string&) { return false; },
                                             [&window] {
                                                 window.events.push_back("shutdown");
                                                 return true;
                                             },
                                             [] { return int64_t{0}; }});
    RunState state;
    state.stop = false;
    RunFrame(window, state, exitAfterRun, [&] {
        window.events.push_back("worker");
        EXPECT_TRUE(window.locked);
        EXPECT_FALSE(state.stop);
    });
    return {window.events, state.stop.load()};
}

using Events = std::vector<std::string>;

}  // namespace

TEST(RunFrame, LocksAroundTheWorkerThenSetsTheStopFlag) {
    auto r = RunWith(false, 0);
    EXPECT_EQ(r.events, (Events{"lock", "worker", "unlock"}));
    EXPECT_TRUE(r.stopAfter);
}

TEST(RunFrame, EndActions) {
    // 1: store the settings and end.
    EXPECT_EQ(RunWith(false, 1).events, (Events{"lock", "worker", "unlock", "store", "end"}));
    // 2: store the settings, shut down, end.
    EXPECT_EQ(RunWith(false, 2).events,
              (Events{"lock", "worker", "unlock", "store", "shutdown", "end"}));
    // The command line's exit flag ends the program even with "Do nothing".
    EXPECT_EQ(RunWith(true, 0).events, (Events{"lock", "worker", "unlock", "store", "end"}));
    EXPECT_EQ(RunWith(true, 1).events, (Events{"lock", "worker", "unlock", "store", "end"}));
    // With both, the settings are stored twice and the shutdown still starts.
    EXPECT_EQ(RunWith(true, 2).events,
              (Events{"lock", "worker", "unlock", "store", "end", "store", "shutdown", "end"}));
    // An index out of range does nothing.
    EXPECT_EQ(RunWith(false, 7).events, (Events{"lock", "worker", "unlock"}));
}

TEST(RunFrame, ReadsTheEndActionWhenTheWorkerIsDone) {
    FrameWindow window;
    ScopedPlatform platform(PlatformServices{[](const std::u16string&) { return false; },
                                             [] { return true; }, [] { return int64_t{0}; }});
    RunState state;
    RunFrame(window, state, false, [&] {
        std::lock_guard<std::mutex> l(window.mutex);
        window.endAction = 1;  // changed in the window while the run goes on
    });
    EXPECT_EQ(window.storeCalls, 1);
    EXPECT_EQ(window.endCalls, 1);
}

TEST(RunFrame, MissingShutdownServiceIsNotACrash) {
    FrameWindow window;
    window.endAction = 2;
    ScopedPlatform platform(PlatformServices{});
    RunState state;
    RunFrame(window, state, false, [] {});
    EXPECT_EQ(window.events, (Events{"lock", "unlock", "store", "end"}));
}
