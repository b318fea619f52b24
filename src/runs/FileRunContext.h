#pragma once
// What the parts of a file run share while it goes through the list: the window
// and the run's state, the options taken at the start, the one batch of window
// changes, the file operations and what is left for the end of the run.
#include <cstdint>
#include <set>
#include <string>
#include <unordered_map>

#include "engine/FileOps.h"
#include "platform/NameJournal.h"
#include "runs/DeferredFolders.h"
#include "runs/FileRunOptions.h"
#include "runs/FreeSpaceAfter.h"
#include "runs/RunBatch.h"
#include "runs/RunSummary.h"
#include "runs/RunWindow.h"
#include "runs/ShredPool.h"

class RunState;
class RunWindow;
class ReportRecorder;

// The list's columns as the run reads and writes them.
inline constexpr int kNameColumn = 0;
inline constexpr int kSizeColumn = 1;
inline constexpr int kKindColumn = 2;
inline constexpr int kPathColumn = 3;

// The progress bar's range: the share of the work done, in ten-thousandths.
inline constexpr int kProgressSteps = 10000;
// What an entry costs besides its bytes (opening, syncing, renaming, removing),
// counted as so many bytes written: a list of many empty files still moves.
inline constexpr int64_t kEntryWork = 64 << 10;

struct FileRunContext {
    // Made when the log header is written, as the rows are about to be read.
    // `bytes` and `entries`: what the ticked rows hold, as the summary counted them.
    FileRunContext(RunWindow& window, RunState& state, const RunOptions& options, TextLookup text,
                   int total, int64_t bytes, int64_t entries);
    FileRunContext(const FileRunContext&) = delete;
    FileRunContext& operator=(const FileRunContext&) = delete;

    // "Shredding [k / total - share done %]: path": rows as the first figure, the
    // share of the bytes to write (all passes) as the second; `extra` is what the
    // file under way has written so far.
    std::u16string StatusLine(int k, const std::u16string& path, int64_t extra = 0) const;
    // The work a ticked row stands for: its bytes times the passes, and the entry.
    int64_t WorkOf(const std::u16string& listedSize) const;
    // The progress bar's position with `extra` bytes of the file under way written.
    int Position(int64_t extra = 0) const;

    RunWindow& window;
    RunState& state;
    const RunOptions& options;
    const TextLookup text;
    const bool verify;
    ReportRecorder& report;
    const int total;  // rows when the run started
    // All the run is to write (every pass of every ticked file, and the entries),
    // and what it has done: the bar and the time estimate go by these.
    const int64_t workAll;
    int64_t workDone = 0;
    const std::u16string shredding;
    const std::u16string stopping;

    DeferredFolders deferred;
    // Files of a folder handed out and not yet ended. Only the last of them to
    // end removes the emptied folder: an earlier one would find it still full,
    // or see it emptied by a file still under way.
    struct FolderTally {
        int underWay = 0;
        bool anyGone = false;  // a file of it went: the folder may be empty now
    };
    std::unordered_map<std::u16string, FolderTally> folderTally;
    void FileBegun(const std::u16string& folder) { ++folderTally[folder].underWay; }
    // Counts the file of `folder` as ended (`gone`: removed); true when no other
    // file of the folder is under way, with whether any of them went.
    bool FileEnded(const std::u16string& folder, bool gone, bool& anyGone);
    std::set<std::u16string> waitingFolderRows;  // folder rows left for the final retry
    FileOps ops;
    // Where names were scrambled on ext4, the journal keeps copies of the old
    // ones until it is cleared at the end.
    fsys::NameJournals journals;
    const bool clearJournals;
    const FileJobSettings jobSettings;
    // Rows appended meanwhile are visited (the batch asks the window again at the
    // end of what it read), and a finished row leaves the list, so the index steps
    // back over it.
    RunBatch batch;
    TouchedDrives touched;

    int i = 0;  // the row now, as the list stands
    int k = 0;  // rows met, for the status line and the progress
    int answer = kAnswerYes;
    bool yesToAll = false;
    bool allDone = true;
    bool cancelled = false;
    int withOtherNames = 0;    // files whose data other names shared
    int permissionDenied = 0;  // files the run was not allowed to write or remove
};
