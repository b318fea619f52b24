#pragma once
// What the window and its worker threads share while runs and folder expansions
// go on. The stop flag and the start time are atomics; the elapsed-time text is
// behind a mutex so that a run never reads it half-written by the clock.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "filelist/StringTable.h"
#include "platform/ConfinedPath.h"
#include "report/ReportRecorder.h"

// The folders the user chose, as the folder expansion found them, and the
// folders that held files the user chose on their own. A row below a chosen
// folder is worked on without following any link under it; a row in a folder
// where a file was chosen on its own is reached only in that very folder.
class ChosenRoots {
  public:
    // Records a folder (absolute, ending with "/"); choosing it again updates it.
    void Add(const fsys::Root& root);
    // Records the folder that held a file chosen on its own, as it was then.
    void AddHolder(const fsys::Root& holder);
    // The recorded folder that holds `path` (its own holding folder where a file
    // was chosen there, else the outermost chosen folder above it), or an empty root.
    fsys::Root RootOf(const std::u16string& path) const;
    // Forgets every folder that none of the rows lies in (or is): a folder that
    // left the list, and a new one that took its path, are different folders.
    void KeepHolding(const std::vector<std::u16string>& rowPaths);
    // A device node the user chose on its own, by path: the only kind a run may
    // remove (one met in a chosen folder stays).
    void AddChosenDevice(const std::u16string& path);
    bool IsChosenDevice(const std::u16string& path) const;
    // The chosen folders and the folders holding files chosen on their own, as
    // they were when chosen.
    std::vector<fsys::Identity> Identities() const {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<fsys::Identity> out;
        for (const fsys::Root& r : roots_) out.push_back(r.identity);
        for (const auto& [path, id] : holders_) out.push_back(id);
        return out;
    }
    // Whether `path` is itself a chosen folder.
    bool IsChosenFolder(const std::u16string& path) const {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const fsys::Root& r : roots_)
            if (r.path == path) return true;
        return false;
    }
    // The chosen folders' paths.
    std::vector<std::u16string> Folders() const {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<std::u16string> out;
        for (const fsys::Root& r : roots_) out.push_back(r.path);
        return out;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<fsys::Root> roots_;
    std::unordered_map<std::u16string, fsys::Identity> holders_;
    std::unordered_set<std::u16string> devices_;
};

// The trash folders whose items are in the list: the rows below each are reached
// only through that very folder, its "files" and "info" folders stay when emptied,
// and after a run its "directorysizes" loses the lines of folders gone. The notes
// (items without info and the like) head the next run's log.
class TrashRecord {
  public:
    void Add(const fsys::Root& trash, const std::vector<fsys::Identity>& kept) {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& t : trashes_)
            if (t.path == trash.path && t.identity == trash.identity) return;
        trashes_.push_back(trash);
        kept_.insert(kept_.end(), kept.begin(), kept.end());
    }
    void AddNote(std::u16string note) {
        std::lock_guard<std::mutex> lock(mutex_);
        notes_.push_back(std::move(note));
    }
    std::vector<fsys::Root> Trashes() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return trashes_;
    }
    std::vector<fsys::Identity> Kept() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return kept_;
    }
    std::vector<std::u16string> TakeNotes() {
        std::lock_guard<std::mutex> lock(mutex_);
        return std::exchange(notes_, {});
    }

  private:
    mutable std::mutex mutex_;
    std::vector<fsys::Root> trashes_;
    std::vector<fsys::Identity> kept_;
    std::vector<std::u16string> notes_;
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
    // A run goes on after Stop until the files under way are finished: meanwhile
    // the clock keeps counting, and the window can say how many it waits for.
    std::atomic<bool> runBusy{false};
    std::atomic<int> filesUnderWay{0};

    // Whoever waits on the flags above (the run clock between its ticks) is woken
    // by this, so a run's end never waits out a tick: call it after setting them.
    void WakeWaiters() {
        { std::lock_guard<std::mutex> lock(wakeMutex_); }
        wake_.notify_all();
    }
    // Waits until `pred` holds or `deadline` passes; `pred` is asked again at each
    // WakeWaiters. Returns pred().
    bool WaitForWake(std::chrono::steady_clock::time_point deadline,
                     const std::function<bool()>& pred) {
        std::unique_lock<std::mutex> lock(wakeMutex_);
        return wake_.wait_until(lock, deadline, pred);
    }

    StringTable folderQueue;  // two columns: folder (UTF-8, ends with "/"), "0"
    StringTable drivesTable;  // one column: drive root (UTF-8)
    // The storage folder, set once at start-up: a free-space run records itself
    // there. Empty: no record is kept.
    std::string storageFolder;
    ChosenRoots chosenRoots;
    TrashRecord trash;
    // Set when Stop ends a folder expansion early: a run waiting for that
    // expansion ("-exec") must not start on the part that was listed.
    std::atomic<bool> expansionStopped{false};
    // The record of the run under way, for its report; used by the run's thread.
    ReportRecorder report;
    // "-report PATH": more places for the report of a run.
    std::vector<std::string> reportPaths;

    // The report of the last run (its JSON, and its PDF when one was made).
    void SetLastReport(std::string json, std::string pdf) {
        std::lock_guard<std::mutex> lock(mutex_);
        lastReportJson_ = std::move(json);
        lastReportPdf_ = std::move(pdf);
    }
    std::pair<std::string, std::string> LastReport() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return {lastReportJson_, lastReportPdf_};
    }

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
    std::string lastReportJson_, lastReportPdf_;
    std::mutex wakeMutex_;
    std::condition_variable wake_;
};
