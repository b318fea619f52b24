#pragma once
// The run clock: a thread of its own that shows, once a second, how long the
// current run or folder expansion has been going, an estimate of what is left
// (from the progress bar alone), and a panel of changing digits that says the
// program is busy. It ends within a second after the stop flag is set and leaves
// the final elapsed time on show.
#include <cstdint>
#include <functional>
#include <string>

class RunState;
class RunWindow;
class WorkerThreads;

// Waits for the next tick. `shouldEnd` turns true when the clock is to end; a
// wait may return early then. Tests pass their own to drive the clock without
// waiting.
using ClockSleep = std::function<void(const std::function<bool()>& shouldEnd)>;

// Starts the clock thread. The caller has recorded state.startTime before.
void StartRunClock(WorkerThreads& threads, RunWindow& window, RunState& state);
void StartRunClock(WorkerThreads& threads, RunWindow& window, RunState& state, ClockSleep sleep);

// The texts of one tick.
// Elapsed seconds as a time of day: "%02d:%02d:%02d", wrapping after 24 hours.
std::u16string ClockTimeText(int64_t seconds);
// The elapsed time, and on a second line "(~hh:mm:ss)" the time still needed
// when the progress bar (0 .. upper, at pos) says the work is partly done.
std::u16string ClockText(int64_t elapsed, int upper, int pos);
// Four lines of two groups of four hexadecimal digits from the calling thread's
// generator, each line ending with CR LF.
std::u16string IndicatorText();
