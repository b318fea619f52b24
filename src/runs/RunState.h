#pragma once
// What the window and its worker threads share while runs and folder expansions
// go on. The stop flag and the start time are atomics; the elapsed-time text is
// behind a mutex so that a run never reads it half-written by the clock.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "filelist/StringTable.h"
#include "platform/ConfinedPath.h"

// The folders the user chose, as the folder expansion found them. A row below
// one of them is worked on without following any link under it; a row below
// none (a file chosen on its own) is confined to its own folder.
class ChosenRoots {
  public:
    // Records a folder (absolute, ending with "/"); choosing it again updates it.
    void Add(const fsys::Root& root);
    // The outermost recorded folder that holds `path`, or an empty root.
    fsys::Root RootOf(const std::u16string& path) const;

  private:
    mutable std::mutex mutex_;
    std::vector<fsys::Root> roots_;
};

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
    ChosenRoots chosenRoots;
    // Set when Stop ends a folder expansion early: a run waiting for that
    // expansion ("-exec") must not start on the part that was listed.
    std::atomic<bool> expansionStopped{false};

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
