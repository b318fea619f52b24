#include "runs/RunClock.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <mutex>

#include "config/TextConv.h"
#include "engine/FileOps.h"
#include "i18n/SafeFormat.h"
#include "platform/Platform.h"
#include "runs/RunState.h"
#include "runs/RunWindow.h"
#include "runs/WorkerThreads.h"

namespace {

constexpr int64_t kSecondsPerDay = 86400;

// Keeps the ticks of an old clock and a new one from interleaving their writes:
// a clock checks, under this lock, that it is still the current one.
std::mutex& TickMutex() {
    static std::mutex m;
    return m;
}

// Sleeps until the next tick, or less when the clock is to end: the flags that
// end it come with a wake, so a run's end never waits out a tick.
void WaitOneSecond(RunState& state, const std::function<bool()>& shouldEnd) {
    state.WaitForWake(std::chrono::steady_clock::now() + std::chrono::seconds(1), shouldEnd);
}

void RunClockThread(RunWindow& window, RunState& state, uint64_t generation,
                    const ClockSleep& sleep) {
    auto current = [&] { return state.clockGeneration.load() == generation; };
    // A stopped run still finishing its files is still running: the clock goes on
    // to its real end.
    auto shouldEnd = [&] { return (state.stop.load() && !state.runBusy.load()) || !current(); };

    bool ticked = false;
    std::u16string lastElapsed;
    while (!shouldEnd()) {
        {
            std::lock_guard<std::mutex> lock(TickMutex());
            if (!current()) return;
            int64_t elapsed = Platform().now() - state.startTime.load();
            lastElapsed = ClockTimeText(elapsed);
            ticked = true;
            state.SetElapsedText(Utf8FromWide(lastElapsed));
            window.SetClockText(ClockText(elapsed, window.ProgressUpper(), window.ProgressPos()));
            window.SetIndicatorText(IndicatorText());
        }
        sleep(shouldEnd);
    }
    std::lock_guard<std::mutex> lock(TickMutex());
    if (!current()) return;  // a newer clock owns the window now
    if (!ticked) lastElapsed = ClockTimeText(Platform().now() - state.startTime.load());
    window.SetClockText(lastElapsed);
}

}  // namespace

std::u16string ClockTimeText(int64_t seconds) {
    // Time of day in UTC: plain arithmetic, which also copes with a clock that
    // was set back (a negative count) where gmtime would fail.
    int64_t s = ((seconds % kSecondsPerDay) + kSecondsPerDay) % kSecondsPerDay;
    return SafeFormat(u"%02d:%02d:%02d", {static_cast<int>(s / 3600), static_cast<int>(s / 60 % 60),
                                          static_cast<int>(s % 60)});
}

std::u16string ClockText(int64_t elapsed, int upper, int pos) {
    std::u16string text = ClockTimeText(elapsed);
    if (upper == 0) return text;
    double percent = pos * 100.0 / upper;
    if (!(percent > 0.0 && percent < 100.0)) return text;
    // elapsed / percent * 100, multiplied out first so that whole results stay whole.
    double total = static_cast<double>(elapsed) * upper / pos;
    if (!std::isfinite(total) || std::fabs(total) >= 9.0e18) return text;
    int64_t remaining = static_cast<int64_t>(total) - elapsed;
    if (remaining <= 0) return text;
    int64_t r = remaining % kSecondsPerDay;
    return SafeFormat(u"%s\r\n(~%02d:%02d:%02d)",
                      {text, static_cast<int>(r / 3600), static_cast<int>(r / 60 % 60),
                       static_cast<int>(r % 60)});
}

// The clock thread never seeds its generator, so the panel shows the same
// sequence in every run; its draws never disturb a run's own generator.
std::u16string IndicatorText() {
    std::u16string text;
    for (int line = 0; line < 4; ++line) {
        text = SafeFormat(u"%s%04x", {text, ThreadRandom() % 65535});
        text = SafeFormat(u"%s%04x\r\n", {text, ThreadRandom() % 65535});
    }
    return text;
}

void StartRunClock(WorkerThreads& threads, RunWindow& window, RunState& state) {
    StartRunClock(threads, window, state, nullptr);
}

void StartRunClock(WorkerThreads& threads, RunWindow& window, RunState& state, ClockSleep sleep) {
    uint64_t generation = ++state.clockGeneration;
    // A run shorter than the first tick must not end with the previous run's time.
    state.SetElapsedText(Utf8FromWide(ClockTimeText(Platform().now() - state.startTime.load())));
    state.WakeWaiters();  // an older clock sees at once that it is no longer current
    if (!sleep)
        sleep = [&state](const std::function<bool()>& shouldEnd) {
            WaitOneSecond(state, shouldEnd);
        };
    threads.Start([&window, &state, generation, sleep = std::move(sleep)] {
        RunClockThread(window, state, generation, sleep);
    });
}
