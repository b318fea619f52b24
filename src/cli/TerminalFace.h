#pragma once
// The terminal face of a run: the run interface that the window implements, held
// in memory and shown on a terminal. The rows are the list a window would show;
// log lines go to the shredding log (and --log), and each entry's outcome to the
// terminal or, with --json, as one object per line on standard output. The run
// code is the window's; nothing here decides what happens to a file.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "config/AppSettings.h"
#include "runs/RunSummary.h"
#include "runs/RunWindow.h"

class ChosenListRows;
class FolderRowWalk;
class PathListSpool;
class RowFilter;
class RunState;
class ShredLog;
class JsonObject;

struct FaceSetup {
    enum class Mode { kShred, kFreeSpace, kCheck };
    Mode mode = Mode::kShred;
    AppSettings settings;  // the stored settings with this run's options applied
    int passes = 3;
    bool confirm = true;  // ask before each file (on the terminal)
    bool json = false;
    bool quiet = false;
    bool verbose = false;
    bool progressBar = false;  // standard error is a terminal
    // The file run and check list the chosen folders as they go (ListAsRunGoes)
    // instead of holding a row for every entry of them.
    bool listAsRunGoes = false;

    // The window program's -exec and -drives without a display: every status text
    // on standard output as the window echoes it, no line per entry, the texts of
    // the chosen language, the end action, and the settings stored at the end.
    bool windowEcho = false;
    // Show the summary and ask once before the run, whatever "Confirm delete"
    // says ("kelvane -trash --ask", the desktop's "Shred the trash").
    bool askSummary = false;
    int endAction = 0;
    std::function<std::u16string(std::string_view)> texts;  // empty: built-in English
    std::function<void()> storeSettings;
};

class TerminalFace final : public RunWindow {
  public:
    TerminalFace(FaceSetup setup, ShredLog* log, std::FILE* extraLog, RowFilter* filter);
    ~TerminalFace() override;

    // ---- RunWindow ----
    int RowCount() override;
    bool RowChecked(int row) override;
    std::u16string RowText(int row, int column) override;
    void DeleteRow(int row) override;
    void SetRowText(int row, int column, const std::u16string& text) override;
    void AppendRow(const std::u16string& name, const std::u16string& size,
                   const std::u16string& date, const std::u16string& path) override;
    void AppendRows(const std::vector<NewRow>& rows, const std::u16string& status) override;
    int ReadRows(int first, int maxCount, std::vector<RunRow>& out, bool& confirm) override;
    void SetStatusText(const std::u16string& text) override;
    std::u16string StatusText() override;
    // A line of its own: the status line stays the run's, as scripts read it.
    void ShowReportNote(const std::u16string& note) override;
    void ReportFilesWritten(const ReportOutcome& outcome) override;
    void SetProgressRange(int upper) override;
    void SetProgressPos(int pos) override;
    int ProgressUpper() override;
    int ProgressPos() override;
    void SetClockText(const std::u16string&) override {}
    void SetIndicatorText(const std::u16string&) override {}
    AppSettings CurrentSettings() override { return setup_.settings; }
    std::u16string IterationsText() override;
    bool ConfirmChecked() override { return setup_.confirm; }
    // kelvane-cli never shuts the machine down; the window program's runs do
    // what its settings say.
    int EndAction() override { return setup_.endAction; }
    std::u16string MessageText(std::string_view key) override;
    int AskConfirmation(const std::u16string& text) override;
    void ShowInfoMessage(const std::u16string& text) override;
    bool ShowRunSummary(const RunSummary& summary, bool wanted) override;
    void FillingFreeSpaceOf(const std::vector<std::u16string>& roots) override;
    bool SummaryAhead(RunSummary& summary) override;
    void LockForRun() override {}
    void UnlockAfterRun() override {}
    void BeginRunLog() override;
    void AppendLog(const std::u16string& text) override;
    void AppendLogHeader(const std::u16string& title) override;
    // Lines that belong to no run yet: the log keeps them for the next run's log
    // (ShredLog::CarryToNextRun); the other outputs show them now.
    void CarryLog(const std::vector<std::u16string>& lines);
    // kelvane-cli never writes the settings back; the window program stores them.
    void StoreSettings() override {
        if (setup_.storeSettings) setup_.storeSettings();
    }
    void EndProgram() override {}

    // ---- listing as the run goes ----
    // The folders left in the queue are not listed now: they are walked once here
    // to count their rows and gather the run's summary, and again as the run reads
    // its rows (ReadRows), so that only the rows still to be dealt with, and those
    // the run leaves in the list, are held. False when the stop flag ended the look.
    // The paths of a list follow the folders, read from `spool` as the run goes
    // (ChosenListRows). Check looks nothing ahead: it reads each row once.
    bool ListAsRunGoes(RunState& state);
    bool ListsAsRunGoes() const { return setup_.listAsRunGoes; }
    void ListPathsOf(std::shared_ptr<const PathListSpool> spool) { spool_ = std::move(spool); }
    bool ListsPaths() const { return spool_ != nullptr; }

    // ---- the terminal ----
    void SetDrives(std::vector<std::u16string> drives) { drives_ = std::move(drives); }
    // Redraws the progress line (standard error, when it is a terminal); `last`
    // clears it for good.
    void DrawProgress(bool last = false);
    // True when there is a progress line to keep fresh.
    bool DrawsProgress() const { return setup_.progressBar; }
    // One line of --json.
    void Emit(const JsonObject& object);
    // A line for people. Data (the per-entry lines) goes to standard output,
    // everything else (status, summary, notes, errors) to standard error; with
    // --json standard output holds only the JSON lines, so both go to standard error.
    void Say(const std::u16string& text, bool data);
    const FaceSetup& Setup() const { return setup_; }
    bool AnyFailureShown() const { return failures_ > 0; }

    struct Row {
        std::u16string name, size, date, path;
        bool checked = true;
    };

  private:
    void ClearProgressLocked();
    // False when the filter leaves the row out (and says so).
    bool KeepRow(const std::u16string& path, bool folderRow);
    // Walks on until the list holds `count` rows or the walk ends.
    void ListUpTo(int count);
    // The next row of the walk, then of the list; false when both have ended.
    bool NextSourceRow(NewRow& row);
    // Row `row` of the list, or nullptr (none, or a file row the run has passed).
    Row* RowAtLocked(int row);
    void PassRowsBeforeLocked(int row);
    void ShowLogLine(const std::u16string& text);

    FaceSetup setup_;
    ShredLog* log_;
    std::FILE* extraLog_;
    RowFilter* filter_;
    std::vector<std::u16string> drives_;
    std::atomic<bool> filling_{false};  // progress counts kilobytes written

    std::mutex mutex_;  // rows, status and progress: the run and the clock call in
    std::deque<Row> rows_;
    std::u16string status_;
    int upper_ = 0, pos_ = 0;
    int64_t totalBytes_ = 0, doneBytes_ = 0;
    std::chrono::steady_clock::time_point since_ = std::chrono::steady_clock::now();
    bool asking_ = false;
    bool ended_ = false;
    bool barShown_ = false;
    int failures_ = 0;
    // The last log lines said (run's thread only): with -v the report's own
    // lines are among them, and the note after the run does not repeat them.
    std::deque<std::u16string> lastSaid_;
    std::mutex outMutex_;  // whole lines on the two streams

    // Listing as the run goes: only the run's thread walks on.
    std::unique_ptr<FolderRowWalk> walk_;
    std::shared_ptr<const PathListSpool> spool_;
    std::unique_ptr<ChosenListRows> listRows_;
    // The rows the run has passed and left in the list: of a file row only its
    // place is kept (nothing reads it again), a folder row whole (the run's retry
    // at its end reads those). rows_ holds the rows from index passed_ on.
    int passed_ = 0;
    std::vector<std::pair<int, Row>> passedFolders_;  // by index, ascending
    int ahead_ = 0;  // rows counted ahead and not listed yet (guarded by mutex_)
    int64_t aheadBytes_ = 0;
    std::optional<RunSummary> summaryAhead_;
};
