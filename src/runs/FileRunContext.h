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

// The progress bar counts this many steps per row, so that a large file moves
// it while its passes go on; a list too long for that counts rows.
inline constexpr int kStepsPerRow = 100;

struct FileRunContext {
    // Made when the log header is written, as the rows are about to be read.
    FileRunContext(RunWindow& window, RunState& state, const RunOptions& options, TextLookup text,
                   int total, int steps);
    FileRunContext(const FileRunContext&) = delete;
    FileRunContext& operator=(const FileRunContext&) = delete;

    // "Shredding [k / total - share done %]: path"; the share counts the steps done.
    std::u16string StatusLine(int k, int64_t stepsDone, const std::u16string& path) const;

    RunWindow& window;
    RunState& state;
    const RunOptions& options;
    const TextLookup text;
    const bool verify;
    ReportRecorder& report;
    const int total;  // rows when the run started
    const int steps;  // progress steps per row
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
    int withOtherNames = 0;  // files whose data other names shared
};
