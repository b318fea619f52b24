#pragma once
// The main window as the worker threads see it (folder expansion, the two runs,
// the run clock). Every call may come from a worker thread: the real window runs
// each call on the UI thread and waits for it, the tests implement it in memory.
#include <string>
#include <string_view>

#include "config/AppSettings.h"

struct RunSummary;

// The answers of the confirmation box.
enum ConfirmAnswer : int {
    kAnswerYes = 6,
    kAnswerYesToAll = 19,
    kAnswerNo = 7,
    kAnswerCancel = 2,
};

class RunWindow {
  public:
    virtual ~RunWindow() = default;

    // The file list (columns: 0 name, 1 size, 2 date or "FOLDER", 3 full path).
    virtual int RowCount() = 0;
    virtual bool RowChecked(int row) = 0;
    virtual std::u16string RowText(int row, int column) = 0;
    virtual void DeleteRow(int row) = 0;
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

    // Lock for run / unlock after run.
    virtual void LockForRun() = 0;
    virtual void UnlockAfterRun() = 0;

    // The shredding log of this window.
    virtual void BeginRunLog() = 0;
    virtual void AppendLog(const std::u16string& text) = 0;

    // Store settings (sets the stop flag, waits 500 ms, saves) and end the program.
    virtual void StoreSettings() = 0;
    virtual void EndProgram() = 0;
};
