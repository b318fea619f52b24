#pragma once
// An in-memory main window for tests of the workers: the list is a real row
// store, the confirmation box answers from a queue, the log collects its lines.
// Every call may come from a worker thread; a mutex keeps the test's own reads safe.
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/ListCtrl.h"
#include "runs/RunSummary.h"
#include "runs/RunWindow.h"

class FakeRunWindow : public RunWindow {
  public:
    FakeRunWindow();

    // ---- RunWindow ----
    int RowCount() override;
    bool RowChecked(int row) override;
    std::u16string RowText(int row, int column) override;
    void DeleteRow(int row) override;
    void SetRowText(int row, int column, const std::u16string& text) override;
    void SetRowFailure(int row, const std::u16string& reason) override {
        std::lock_guard<std::mutex> l(mutex);
        rowFailures.emplace_back(list.GetItemText(row, 3), reason);
    }
    void NoteRowOrigins(
        const std::vector<std::pair<std::u16string, std::u16string>>& noted) override {
        std::lock_guard<std::mutex> l(mutex);
        for (const auto& [path, folder] : noted) origins[path] = folder;
    }
    void AppendRow(const std::u16string& name, const std::u16string& size,
                   const std::u16string& date, const std::u16string& path) override;
    void SetStatusText(const std::u16string& text) override;
    std::u16string StatusText() override;
    void SetProgressRange(int upper) override;
    void SetProgressPos(int pos) override;
    int ProgressUpper() override;
    int ProgressPos() override;
    void SetClockText(const std::u16string& text) override;
    void SetIndicatorText(const std::u16string& text) override;
    AppSettings CurrentSettings() override;
    std::u16string IterationsText() override;
    bool ConfirmChecked() override;
    int EndAction() override;
    std::u16string MessageText(std::string_view key) override;
    int AskConfirmation(const std::u16string& text) override;
    void ShowInfoMessage(const std::u16string& text) override;
    bool ShowRunSummary(const RunSummary& summary, bool wanted) override;
    void LockForRun() override;
    void UnlockAfterRun() override;
    void BeginRunLog() override;
    void AppendLog(const std::u16string& text) override;
    void StoreSettings() override;
    void EndProgram() override;

    // ---- what the test sets up ----
    std::mutex mutex;  // guards everything below
    CListCtrl list;
    AppSettings settings;  // random, shredNames, ... as the check boxes stand
    std::u16string iterationsText = u"3";
    int endAction = 0;
    std::deque<int> answers;                      // confirmation answers; empty: Cancel (2)
    std::map<std::string, std::u16string> texts;  // overrides of the built-in texts
    // Called after every AppendRow with the new row count, outside the mutex and on
    // the appending thread; lets a test act at an exact point of a worker's progress.
    std::function<void(int rows)> onAppend;

    // ---- what the test reads ----
    std::vector<std::u16string> questions;      // every confirmation text asked
    std::vector<std::u16string> infoMessages;   // every information box shown
    std::vector<RunSummary> summaries;          // every summary offered ...
    std::vector<bool> summariesWanted;          // ... and whether it was to be shown
    bool summaryAnswer = true;                  // Start (true) or Cancel
    std::vector<std::u16string> statusHistory;  // every status text set
    // Failed rows by path with their reason, in the order told.
    std::vector<std::pair<std::u16string, std::u16string>> rowFailures;
    std::vector<std::u16string> logLines;              // lines since the last BeginRunLog
    std::map<std::u16string, std::u16string> origins;  // by row path: where it came from
    int beginRunLogCalls = 0;
    int lockCalls = 0, unlockCalls = 0, storeCalls = 0, endCalls = 0;
    bool locked = false;
    std::u16string status, clockText, indicatorText;
    int progressUpper = 0, progressPos = 0;
    std::vector<int> progressHistory;

    // Convenience: append a checked file row for `path` with the given kind text.
    void AddRow(const std::u16string& path, const std::u16string& kind = u"2020-01-01 00:00:00");
    std::vector<std::u16string> Paths();
};
