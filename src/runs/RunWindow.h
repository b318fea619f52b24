#pragma once
// The main window as the worker threads see it (folder expansion, the two runs,
// the run clock). Every call may come from a worker thread: the real window runs
// each call on the UI thread and waits for it, the tests implement it in memory.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "config/AppSettings.h"
#include "log/LogLines.h"

struct RunSummary;

// The answers of the confirmation box.
enum ConfirmAnswer : int {
    kAnswerYes = 6,
    kAnswerYesToAll = 19,
    kAnswerNo = 7,
    kAnswerCancel = 2,
};

// A row of the file list as a run reads it: its check box, the date column
// ("FOLDER" marks a folder row) and the full path.
struct RunRow {
    bool checked = false;
    std::u16string kind;
    std::u16string path;
    std::u16string size;  // as listed
};

// A checked row to append, with its four column texts.
struct NewRow {
    std::u16string name, size, date, path;
};

// One change a worker hands the window. Batches of them are applied in order, so
// the window shows the same texts in the same order as single calls would.
struct WindowUpdate {
    enum class Kind { kDeleteRow, kStatus, kProgressPos, kLog };
    Kind kind = Kind::kStatus;
    int number = 0;       // the row to delete or the progress position
    std::u16string text;  // the status text or log line
};

class RunWindow {
  public:
    virtual ~RunWindow() = default;

    // The file list (columns: 0 name, 1 size, 2 date or "FOLDER", 3 full path).
    virtual int RowCount() = 0;
    virtual bool RowChecked(int row) = 0;
    virtual std::u16string RowText(int row, int column) = 0;
    virtual void DeleteRow(int row) = 0;
    virtual void SetRowText(int row, int column, const std::u16string& text) = 0;
    // Why the entry of a row failed in the run that just worked on it, as the
    // log says it ("FAILED! Permission denied").
    virtual void SetRowFailure(int row, const std::u16string& reason) {
        (void)row;
        (void)reason;
    }
    // Where rows come from, for their tool tips: (path, the folder a trashed
    // item was deleted from).
    virtual void NoteRowOrigins(
        const std::vector<std::pair<std::u16string, std::u16string>>& origins) {
        (void)origins;
    }
    // Appends a checked row with the four column texts.
    virtual void AppendRow(const std::u16string& name, const std::u16string& size,
                           const std::u16string& date, const std::u16string& path) = 0;
    // Appends a checked row, then shows `status` in the status line. A worker that
    // adds many rows (the folder expansion) uses this so that the window can do
    // both in one visit to its thread.
    virtual void AppendRowWithStatus(const std::u16string& name, const std::u16string& size,
                                     const std::u16string& date, const std::u16string& path,
                                     const std::u16string& status) {
        AppendRow(name, size, date, path);
        SetStatusText(status);
    }

    // Many rows in one visit: appends them in order and shows `status` once they
    // are all in (empty: the status line stays).
    virtual void AppendRows(const std::vector<NewRow>& rows, const std::u16string& status) {
        for (const NewRow& r : rows) AppendRow(r.name, r.size, r.date, r.path);
        if (!status.empty()) SetStatusText(status);
    }
    // Up to `maxCount` rows from `first` into `out` in one visit, with the state of
    // "Confirm delete" as it stands; returns the row count of the list.
    virtual int ReadRows(int first, int maxCount, std::vector<RunRow>& out, bool& confirm) {
        out.clear();
        const int count = RowCount();
        for (int i = first; i < count && i < first + maxCount; ++i)
            out.push_back({RowChecked(i), RowText(i, 2), RowText(i, 3), RowText(i, 1)});
        confirm = ConfirmChecked();
        return count;
    }
    // Applies the updates in order. A window may show them a moment later, but
    // always before it answers any later call.
    virtual void ApplyUpdates(const std::vector<WindowUpdate>& updates) {
        for (const WindowUpdate& u : updates) {
            switch (u.kind) {
                case WindowUpdate::Kind::kDeleteRow:
                    DeleteRow(u.number);
                    break;
                case WindowUpdate::Kind::kStatus:
                    SetStatusText(u.text);
                    break;
                case WindowUpdate::Kind::kProgressPos:
                    SetProgressPos(u.number);
                    break;
                case WindowUpdate::Kind::kLog:
                    AppendLog(u.text);
                    break;
            }
        }
    }

    // Status line, progress bar, clock and run indicator.
    virtual void SetStatusText(const std::u16string& text) = 0;
    virtual std::u16string StatusText() = 0;
    virtual void SetProgressRange(int upper) = 0;  // the lower bound is always 0
    virtual void SetProgressPos(int pos) = 0;
    virtual int ProgressUpper() = 0;
    virtual int ProgressPos() = 0;
    virtual void SetClockText(const std::u16string& text) = 0;
    virtual void SetIndicatorText(const std::u16string& text) = 0;

    // Options: the settings record with the check boxes and drop-downs of the
    // window filled in as they stand now, and the iterations text as typed.
    virtual AppSettings CurrentSettings() = 0;
    virtual std::u16string IterationsText() = 0;
    virtual bool ConfirmChecked() = 0;
    virtual int EndAction() = 0;  // 0 nothing, 1 end the program, 2 shut down

    // A language text ("FrmMain.m_acMShredding", ...) or its built-in default.
    virtual std::u16string MessageText(std::string_view key) = 0;

    // The confirmation box (Yes, Yes to all, No, Cancel): returns 6, 19, 7 or 2.
    virtual int AskConfirmation(const std::u16string& text) = 0;
    // A message box with the application's name as caption and the information
    // icon (for instance "No file(s) available!"); returns when it is closed.
    virtual void ShowInfoMessage(const std::u16string& text) = 0;

    // The summary before a file run, offered when it warns about something or
    // `wanted` says the user asked for it. True: go on; false: the user cancelled.
    // A window shows it only when wanted (and remembers the warnings accepted); with
    // no screen it goes to standard error whenever it warns, and the run goes on.
    virtual bool ShowRunSummary(const RunSummary& summary, bool wanted) {
        (void)summary;
        (void)wanted;
        return true;
    }

    // A file run goes on to fill the free space of these drives: the lines that
    // follow are a free-space run's.
    virtual void FillingFreeSpaceOf(const std::vector<std::u16string>& roots) { (void)roots; }

    // A face that lists its rows only as the run reads them (the terminal's) has
    // counted them ahead and fills the counts and warnings of the summary here;
    // false: the run reads every row for it.
    virtual bool SummaryAhead(RunSummary& summary) {
        (void)summary;
        return false;
    }

    // Lock for run / unlock after run.
    virtual void LockForRun() = 0;
    virtual void UnlockAfterRun() = 0;

    // The shredding log of this window.
    virtual void BeginRunLog() = 0;
    // One line of the log; the log shows it printable (see ShredLog::AppendLog).
    virtual void AppendLog(const std::u16string& text) = 0;
    // A run's header block around `title`. The log writes the block's line breaks
    // itself, as a line of AppendLog cannot hold any.
    virtual void AppendLogHeader(const std::u16string& title) {
        AppendLog(RunLogHeaderText(title));
    }

    // Where the run's report went (or that it could not be written): the window
    // says it in the status line after the run's own text.
    virtual void ShowReportNote(const std::u16string& note) {
        const std::u16string status = StatusText();
        SetStatusText(status.empty() ? note : status + u" " + note);
    }

    // The files of the run's report, for a face that tells scripts: the JSON, the
    // PDF and the detached signature (each empty when not there), every file
    // written, and what could not be written (one line each).
    struct ReportOutcome {
        std::string json, pdf, signature;
        std::vector<std::string> files, problems;
    };
    virtual void ReportFilesWritten(const ReportOutcome& outcome) { (void)outcome; }

    // Store settings (sets the stop flag, waits 500 ms, saves) and end the program.
    virtual void StoreSettings() = 0;
    virtual void EndProgram() = 0;
};
