#pragma once
// What the window and its worker threads share while runs and folder expansions
// go on. The stop flag and the start time are atomics; the elapsed-time text is
// behind a mutex so that a run never reads it half-written by the clock.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "filelist/StringTable.h"

// How the last run ended, for the exit status of unattended runs.
enum class RunOutcome : int {
    None = -1,           // no run has ended yet
    Done = 0,            // the done text
    Partly = 1,          // the partly-done text, or a run cancelled at a question
    Interrupted = 2,     // the interrupted text
    NothingToShred = 3,  // "No file(s) available!"
};

class RunState {
  public:
    std::atomic<bool> stop{true};
    std::atomic<int64_t> startTime{0};
    std::atomic<bool> exitAfterFileRun{false};       // "-exec"
    std::atomic<bool> exitAfterFreeSpaceRun{false};  // "-drives"
    // Raised by every clock start: a clock that finds it changed ends quietly, so a
    // new start never leaves two clocks ticking even if the old one was asleep.
    std::atomic<uint64_t> clockGeneration{0};
    std::atomic<RunOutcome> lastOutcome{RunOutcome::None};

    StringTable folderQueue;  // two columns: folder (UTF-8, ends with "/"), "0"
    StringTable drivesTable;  // one column: drive root (UTF-8)
    // The storage folder, set once at start-up: a free-space run records itself
    // there. Empty: no record is kept.
    std::string storageFolder;

    void SetElapsedText(std::string text) {
        std::lock_guard<std::mutex> lock(mutex_);
        elapsed_ = std::move(text);
    }
    std::string ElapsedText() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return elapsed_;
    }

  private:
    mutable std::mutex mutex_;
    std::string elapsed_ = "00:00:00";
};
