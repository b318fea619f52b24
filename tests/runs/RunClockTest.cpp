#include <gtest/gtest.h>

#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>

#include "engine/FileOps.h"
#include "platform/Platform.h"
#include "runs/RunClock.h"
#include "runs/RunState.h"
#include "runs/WorkerThreads.h"
#include "support/FakeRunWindow.h"

namespace {

// Keeps every clock text with the thread that wrote it.
class ClockWindow : public FakeRunWindow {
  public:
    void SetClockText(const std::u16string& text) override {
        FakeRunWindow::SetClockText(text);
        std::lock_guard<std::mutex> l(mutex);
        clockHistory.push_back(text);
        clockWriters.push_back(std::this_thread::get_id());
    }
    std::vector<std::u16string> History() {
        std::lock_guard<std::mutex> l(mutex);
        return clockHistory;
    }
    std::u16string Clock() {
        std::lock_guard<std::mutex> l(mutex);
        return clockText;
    }
    std::vector<std::u16string> clockHistory;
    std::vector<std::thread::id> clockWriters;
};

// A calendar clock that only moves when the clock's own wait moves it.
class FakeTime {
  public:
    explicit FakeTime(int64_t start)
        : now_(start),
          scoped_(PlatformServices{[](const std::u16string&) { return false; },
                                   [] {
                                       ADD_FAILURE() << "shutdown reached";
                                       return false;
                                   },
                                   [this] { return now_.load(); }}) {}
    std::atomic<int64_t>& Now() { return now_; }

  private:
    std::atomic<int64_t> now_;
    ScopedPlatform scoped_;
};

// A wait that advances the fake time by one second per tick and sets the stop
// flag once `seconds` have gone by, as a Stop press would.
ClockSleep StopAfter(FakeTime& time, RunState& state, int64_t seconds) {
    return [&time, &state, seconds](const std::function<bool()>&) {
        if (time.Now() - state.startTime >= seconds)
            state.stop = true;
        else
            ++time.Now();
    };
}

void RunClockToEnd(ClockWindow& window, RunState& state, ClockSleep sleep) {
    WorkerThreads threads;
    state.stop = false;
    StartRunClock(threads, window, state, std::move(sleep));
    threads.JoinAll();
}

}  // namespace

TEST(RunClock, ShowsElapsedTimeAndKeepsItAfterTheEnd) {
    FakeTime time(1'700'000'000);
    ClockWindow window;
    RunState state;
    state.startTime = time.Now().load();
    RunClockToEnd(window, state, StopAfter(time, state, 65));

    auto history = window.History();
    ASSERT_EQ(history.size(), 67u);  // 66 ticks (0 .. 65 s) and the final text
    EXPECT_EQ(history.front(), u"00:00:00");
    EXPECT_EQ(history[65], u"00:01:05");
    EXPECT_EQ(window.Clock(), u"00:01:05");
    EXPECT_EQ(state.ElapsedText(), "00:01:05");
    // The indicator: four lines of two four-digit hexadecimal groups.
    std::u16string ind = window.indicatorText;
    ASSERT_EQ(ind.size(), 4u * 10u);
    for (int line = 0; line < 4; ++line) {
        EXPECT_EQ(ind.substr(line * 10 + 8, 2), u"\r\n");
        for (int i = 0; i < 8; ++i) {
            char16_t c = ind[line * 10 + i];
            EXPECT_TRUE((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f')) << int(c);
        }
    }
}

TEST(RunClock, EstimatesTheRestFromTheProgressBar) {
    FakeTime time(5000);
    ClockWindow window;
    window.SetProgressRange(100);
    window.SetProgressPos(25);
    RunState state;
    state.startTime = 5000;
    RunClockToEnd(window, state, StopAfter(time, state, 60));

    auto history = window.History();
    ASSERT_EQ(history.size(), 62u);
    EXPECT_EQ(history[60], u"00:01:00\r\n(~00:03:00)");
    EXPECT_EQ(history[1], u"00:00:01\r\n(~00:00:03)");
    // Before the first second there is nothing to estimate from.
    EXPECT_EQ(history[0], u"00:00:00");
    // The final text drops the estimate line.
    EXPECT_EQ(window.Clock(), u"00:01:00");
    EXPECT_EQ(state.ElapsedText(), "00:01:00");
}

TEST(RunClock, NoEstimateWithoutPartialProgress) {
    EXPECT_EQ(ClockText(60, 100, 0), u"00:01:00");
    EXPECT_EQ(ClockText(60, 100, 100), u"00:01:00");
    EXPECT_EQ(ClockText(60, 100, 150), u"00:01:00");
    EXPECT_EQ(ClockText(60, 0, 0), u"00:01:00");  // a bound of 0
    EXPECT_EQ(ClockText(60, 0, 5), u"00:01:00");
    EXPECT_EQ(ClockText(60, 100, -5), u"00:01:00");
    EXPECT_EQ(ClockText(0, 100, 50), u"00:00:00");  // no time left to show
    // Nearly done: one second left still shows.
    EXPECT_EQ(ClockText(99, 100, 99), u"00:01:39\r\n(~00:00:01)");
    // Large bounds (bytes in kilobytes of a big drive) do not overflow.
    EXPECT_EQ(ClockText(3600, 2'000'000'000, 1'000'000'000), u"01:00:00\r\n(~01:00:00)");

    FakeTime time(100);
    for (int pos : {0, 100}) {
        ClockWindow window;
        window.SetProgressRange(100);
        window.SetProgressPos(pos);
        RunState state;
        state.startTime = 100;
        RunClockToEnd(window, state, StopAfter(time, state, 5));
        for (const auto& t : window.History()) EXPECT_EQ(t.find(u'('), std::u16string::npos) << pos;
        time.Now() = 100;
    }
}

TEST(RunClock, WrapsHoursAfterADay) {
    EXPECT_EQ(ClockTimeText(86399), u"23:59:59");
    EXPECT_EQ(ClockTimeText(86400), u"00:00:00");
    EXPECT_EQ(ClockTimeText(86400 + 3661), u"01:01:01");
    EXPECT_EQ(ClockTimeText(10 * 86400 + 59), u"00:00:59");
    // A calendar clock set back during a run gives a time of day, not garbage.
    EXPECT_EQ(ClockTimeText(-5), u"23:59:55");
    // The estimate wraps the same way.
    EXPECT_EQ(ClockText(86400 + 60, 100, 50), u"00:01:00\r\n(~00:01:00)");

    FakeTime time(1'000'000);
    ClockWindow window;
    RunState state;
    state.startTime = time.Now() - (86400 + 3661);
    RunClockToEnd(window, state, StopAfter(time, state, 86400 + 3662));
    EXPECT_EQ(window.Clock(), u"01:01:02");
    EXPECT_EQ(state.ElapsedText(), "01:01:02");
}

TEST(RunClock, KeepsCountingAfterStopUntilTheRunHasEnded) {
    FakeTime time(1000);
    ClockWindow window;
    RunState state;
    state.startTime = 1000;
    state.stop = false;
    state.runBusy = true;
    WorkerThreads threads;
    // Stop at 2 s; the files under way take until 5 s.
    StartRunClock(threads, window, state, [&](const std::function<bool()>&) {
        ++time.Now();
        if (time.Now() == 1002) state.stop = true;
        if (time.Now() == 1005) state.runBusy = false;
    });
    threads.JoinAll();
    EXPECT_EQ(window.Clock(), u"00:00:04");
    EXPECT_EQ(state.ElapsedText(), "00:00:04");
}

TEST(RunClock, StoppedBeforeItStartsShowsTheTimeOnce) {
    FakeTime time(2000);
    ClockWindow window;
    RunState state;
    state.SetElapsedText("00:05:00");  // from an earlier run
    state.startTime = 1990;
    state.stop = true;
    WorkerThreads threads;
    StartRunClock(threads, window, state, [](const std::function<bool()>&) {
        ADD_FAILURE() << "a stopped clock must not wait";
    });
    // A worker that finishes before the clock's first tick must not report the
    // previous run's time.
    EXPECT_EQ(state.ElapsedText(), "00:00:10");
    threads.JoinAll();
    EXPECT_EQ(window.History(), std::vector<std::u16string>{u"00:00:10"});
    EXPECT_TRUE(window.indicatorText.empty());
}

TEST(RunClock, EndsSoonAfterStopWithTheRealWait) {
    ClockWindow window;
    window.SetProgressRange(10);
    window.SetProgressPos(5);
    RunState state;
    state.startTime = Platform().now() - 30;
    state.stop = false;
    WorkerThreads threads;
    StartRunClock(threads, window, state);
    // Wait for the first tick, then stop: the default wait returns early and the
    // join below must come back.
    for (int i = 0; i < 2000 && window.History().empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_FALSE(window.History().empty());
    EXPECT_NE(window.History().front().find(u"\r\n(~"), std::u16string::npos);
    state.stop = true;
    state.WakeWaiters();  // whoever ends a run wakes its clock
    threads.JoinAll();
    std::u16string final = window.Clock();
    EXPECT_EQ(final.size(), 8u);
    EXPECT_EQ(final, std::u16string(u"00:00:3") + final.back());
}

TEST(RunClock, NewStartWhileTheOldClockSleepsLeavesOneClock) {
    FakeTime time(10);
    ClockWindow window;
    RunState state;
    state.startTime = 0;
    state.stop = false;

    // The old clock ticks once and then sleeps until we let it go.
    std::promise<void> asleep;
    std::mutex m;
    std::condition_variable cv;
    bool release = false;
    bool asleepSignalled = false;
    WorkerThreads oldThreads;
    StartRunClock(oldThreads, window, state, [&](const std::function<bool()>&) {
        std::unique_lock<std::mutex> l(m);
        if (!asleepSignalled) {
            asleepSignalled = true;
            asleep.set_value();
        }
        cv.wait(l, [&] { return release; });
    });
    asleep.get_future().wait();
    ASSERT_EQ(window.History().size(), 1u);
    std::thread::id oldId = window.clockWriters[0];

    // Stop, then a new start clears the flag again while the old clock sleeps.
    state.stop = true;
    state.stop = false;
    time.Now() = 100;
    state.startTime = 100;
    WorkerThreads newThreads;
    int newTicks = 0;
    StartRunClock(newThreads, window, state, [&](const std::function<bool()>& shouldEnd) {
        EXPECT_FALSE(shouldEnd());
        if (++newTicks == 3) {
            // Wake the old clock; it must end without touching the window.
            {
                std::lock_guard<std::mutex> l(m);
                release = true;
            }
            cv.notify_all();
            // It must end by itself although the stop flag is clear.
            for (int i = 0; i < 400 && !oldThreads.AllDone(); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            EXPECT_TRUE(oldThreads.AllDone()) << "the old clock kept ticking";
            state.stop = true;
            oldThreads.JoinAll();
        }
        ++time.Now();
    });
    newThreads.JoinAll();

    int oldWrites = 0;
    for (auto id : window.clockWriters) oldWrites += id == oldId;
    EXPECT_EQ(oldWrites, 1);
    auto history = window.History();
    ASSERT_EQ(history.size(), 5u);  // the old tick, three new ticks, the new final text
    EXPECT_EQ(history[3], u"00:00:02");
    EXPECT_EQ(window.Clock(), u"00:00:02");
    EXPECT_EQ(state.ElapsedText(), "00:00:02");
}

TEST(RunClock, IndicatorShowsTheSameSequenceInEveryRun) {
    // A clock thread starts from the generator's unseeded state, whatever the
    // runs (or an earlier clock) drew on other threads.
    SeedThreadRandom(12345);
    const std::u16string first = u"00294823\r\n18be6784\r\n4ae13d6c\r\n2cd672ae\r\n";
    FakeTime time(50);
    for (int run = 0; run < 2; ++run) {
        ClockWindow window;
        RunState state;
        state.startTime = 50;
        RunClockToEnd(window, state, StopAfter(time, state, 0));
        EXPECT_EQ(window.indicatorText, first) << "run " << run;
    }
    // The clock's draws left this thread's generator alone.
    SeedThreadRandom(12345);
    int expected = ThreadRandom();
    SeedThreadRandom(12345);
    FakeTime again(50);
    ClockWindow window;
    RunState state;
    state.startTime = 50;
    RunClockToEnd(window, state, StopAfter(again, state, 1));
    EXPECT_EQ(ThreadRandom(), expected);
}
