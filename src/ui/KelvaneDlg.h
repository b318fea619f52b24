#pragma once
// The main window: file list, shredding options, progress display, run buttons
// and menu. Its parts live in these files:
//   KelvaneDlg.cpp          its life and events, the place it is shown at;
//                           locking for a run and unlocking after it
//   KelvaneDlgLayout.cpp    the controls, menu and accelerators; layout on resize
//   KelvaneDlgCommands.cpp  the commands: file list, runs, options, log, help;
//                           storing the settings, exit and close
//   KelvaneDlgRunWindow.cpp the RunWindow calls of the worker threads
//   KelvaneDlgDrives.cpp    start-up clean-up and row verdicts, from workers
//   KelvaneDlgStartup.cpp   start-up, the settings between the window and
//                           AppSettings, the command line and unattended use
//   KelvaneDlgTexts.cpp     captions, built-in texts and the window's language
//   MainFileList.cpp        the file list: its keys, sorting, marks and columns
//   MainRunFace.cpp         the run as shown: status line, progress, title, clock
//   MainRunOptions.cpp      the run options: passes, names, size, end action
#include <QElapsedTimer>
#include <QMargins>
#include <QRect>
#include <QString>
#include <atomic>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "config/AppSettings.h"
#include "config/CommandLine.h"
#include "config/SettingsFile.h"
#include "config/StorageFolders.h"
#include "filelist/RemovedRows.h"
#include "filelist/SortListCtrl.h"
#include "log/LogSwitches.h"
#include "log/ShredLog.h"
#include "platform/qt/Dialog.h"
#include "platform/qt/UiThread.h"
#include "runs/FillerStartup.h"
#include "runs/RunState.h"
#include "runs/RunWindow.h"
#include "runs/WorkerThreads.h"
#include "ui/MainFileList.h"
#include "ui/MainRunOptions.h"

class QAction;
class QLabel;
class QMenu;
class QMenuBar;
class QProgressBar;
class QPushButton;
class QShortcut;
class QTimer;
class QWidget;
class ListCtrlView;
class FontHolder;
class CLogViewDlg;
class QtTranslations;
class MainRunFace;

class CKelvaneDlg : public CDialog, public RunWindow {
    Q_OBJECT
  public:
    // Control ids.
    enum : int {
        IDC_LIST = 1000,
        IDC_ADD = 1001,
        IDC_REMOVE = 1002,
        IDC_CLEAR = 1003,
        IDC_SHRED = 1004,
        IDC_RANDOM = MainRunOptions::kRandom,
        IDC_PROGRESS = 1006,
        IDC_ITERATIONS_LABEL = MainRunOptions::kIterationsLabel,
        IDC_ITERATIONS = MainRunOptions::kIterations,
        IDC_ADD_FOLDER = 1009,
        IDC_CONFIRM = MainRunOptions::kConfirm,
        IDC_STATUS = 1011,
        IDC_STOP = 1012,
        IDC_SHRED_FREE = 1015,
        IDC_CLOCK = 1017,
        IDC_SHRED_NAMES = MainRunOptions::kShredNames,
        IDC_MODIFY_SIZE = MainRunOptions::kModifySize,
        IDC_SIZE_TYPE = MainRunOptions::kSizeType,
        IDC_INDICATOR = 1028,
        IDC_PANEL = 1034,
        IDC_END_ACTION_LABEL = MainRunOptions::kEndActionLabel,
        IDC_END_ACTION = MainRunOptions::kEndAction,
    };
    // Command ids of the menu and the accelerators.
    enum : int {
        ID_ACCEL_CTRL_O = 32771,
        ID_ACCEL_CTRL_S = 32772,
        ID_EXIT = 32776,
        ID_ADD_FILES = 32777,
        ID_REMOVE_SELECTED = 32778,
        ID_ADD_FOLDER = 32779,
        ID_CLEAR_LIST = 32780,
        ID_SELECT_ALL = 32781,
        ID_INVERT_SELECTION = 32782,
        ID_INFO = 32783,
        ID_HELP = 32784,
        ID_VIEW_LOG = 32786,
        ID_LICENSE = 32787,
        ID_CHANGES = 32789,
        ID_ENABLE_LOG = 32790,
        ID_CLEAR_LOG = 32791,
        ID_OPTIONS = 32792,
        ID_ARCHIVE_LOG = 32793,
        ID_CHECK_UPDATE = 32794,
        ID_LANGUAGE = 32795,
        ID_ADD_TRASH = 32796,
        ID_SORT_NAME = 32797,
        ID_SORT_SIZE = 32798,
        ID_SORT_DATE = 32799,
        ID_REPORTS = 32800,
        ID_VERIFY_REPORT = 32801,
        ID_SCHEDULE = 32802,
        ID_UNDO_REMOVE = 32803,
    };
    static constexpr int kMinWidth = 640;
    static constexpr int kMinHeight = 400;

    // `locations` says where the program folder, the per-user and the all-users
    // folders are; tests pass folders of their own.
    explicit CKelvaneDlg(StorageLocations locations = DefaultStorageLocations(),
                         QWidget* parent = nullptr);
    ~CKelvaneDlg() override;

    // ---- for the other parts of the program and for tests ----
    QWidget* Control(int id) const;     // nullptr for an unknown id
    QAction* MenuAction(int id) const;  // nullptr for an unknown or removed id
    QMenu* MenuPopup(int position) const;
    QMenuBar* MenuBar() const { return menuBar_; }
    QWidget* ClientArea() const { return client_; }
    CSortListCtrl& List() { return list_; }
    ListCtrlView* ListView() const { return listView_; }
    RunState& State() { return state_; }
    WorkerThreads& Workers() { return workers_; }
    UiThreadCaller& UiCaller() { return caller_; }
    FontHolder& Fonts() { return *fonts_; }
    // The log viewer once "View log" opened it (it is kept for the next time).
    CLogViewDlg* LogViewer() const { return logView_; }
    // Qt's own texts in the window's language (nullptr before a language was applied).
    const QtTranslations* QtTexts() const { return qtTranslations_.get(); }
    // The fields of the settings that the window keeps besides its controls
    // (ShredValue, IgnoreProtect, sizes, filler name, the leave/keep options, font
    // flags). The options dialog edits these.
    AppSettings& Fields() { return fields_; }
    const StoragePaths& Paths() const { return paths_; }
    // Language files, help pages and documents: next to the program or, installed,
    // in share/kelvane/.
    const std::string& DataFolder() const { return paths_.dataFolder; }
    const std::string& StorageFolder() const { return paths_.storageFolder; }
    const std::string& SettingsPath() const { return paths_.settingsFile; }
    const std::string& LogPath() const { return paths_.logFile; }
    const std::string& LicensePath() const { return paths_.licenseFile; }
    const std::string& ReadMePath() const { return paths_.readMeFile; }
    // The folder last chosen with Add folder (UTF-8, ends with "/"); the folder
    // browser starts there. Kept in memory only.
    const std::string& RememberedFolder() const { return rememberedFolder_; }

    // The language: name of the language applied by choice, and whether none was
    // chosen (then the settings store an empty name).
    const std::string& LanguageName() const { return languageName_; }
    bool NoLanguageChosen() const { return noLanguageChosen_; }
    // Full path (UTF-8) of the language file in use; "" for the built-in texts.
    const std::string& LanguageFile() const { return languageFile_; }
    void SetLanguageFile(const std::string& path) { languageFile_ = path; }
    void SetLanguageName(const std::string& name, bool chosen);

    // Texts: `lookup` gives the text of a language key or its built-in default.
    // ApplyTexts sets every caption, column, drop-down item, menu text and tooltip.
    using TextLookup = std::function<std::u16string(std::string_view key)>;
    void SetTextLookup(TextLookup lookup) { lookup_ = std::move(lookup); }
    std::u16string Text(std::string_view key) const;
    static std::u16string DefaultText(std::string_view key);
    void ApplyTexts();
    // Applies the language of that name from the language list ("" the default one).
    void ApplyLanguageByName(const std::string& name);
    // Reads the language file ("" or a missing file: the built-in texts) and applies
    // its texts; the window keeps them, not the file.
    void ApplyLanguageTexts(const std::string& languageFile);

    // Settings between the file and the window.
    void ApplySettings(const LoadedSettings& loaded);  // to the controls and fields
    AppSettings GatherSettings();                      // from the controls and fields
    // Deletes what an interrupted free-space run left, on a worker: the window
    // shows the outcome when it is known and never waits for a drive.
    void RemoveFillerLeftovers();
    // True until that clean-up has ended (also when a drive holds it for ever).
    bool CleanUpPending() const;
    // Where the clean-up comes from (tests); nullptr: RecoverFillersAtStart.
    using FillerRecovery =
        std::function<FillerStartupReport(const std::string& storageFolder, const AppSettings&)>;
    static void SetFillerRecovery(FillerRecovery recovery);
    void LoadSettingsFile();
    void WarnNotTrusted(std::string_view key, const std::string& path);
    void SaveSettingsFile();

    // The window operations of the run frame (also callable on the UI thread).
    bool IsLocked() const { return locked_; }
    // A run that ends after this long while the window is not active is announced
    // on the desktop (tests shorten it).
    void SetNotifyAfter(int milliseconds) { notifyAfterMs_ = milliseconds; }
    bool IsClosing() const { return closing_; }
    // Sets the stop flag and waits until every worker has ended, processing events
    // meanwhile so that a worker waiting for the UI can finish. UI thread only.
    void JoinWorkers();

    // Start-up from the command line. SetCommandLine hands over the arguments (the
    // program first) before the window starts. Unattended (no display): status lines
    // go to standard output, questions to the terminal (or Cancel without one),
    // information boxes to standard error, and SIGINT/SIGTERM stop the run.
    void SetCommandLine(std::vector<std::u16string> args) { args_ = std::move(args); }
    void SetUnattended(bool on);
    bool IsUnattended() const { return unattended_; }
    const CommandLineFlags& StartFlags() const { return flags_; }
    // Files handed over by a later start of the program (absolute paths): they join
    // the list as the command line's would, once no run or expansion is busy, and
    // the window comes to the front.
    void TakeHandedPaths(const std::vector<std::u16string>& paths);
    // The exit status after the program ends: 0 done, 1 partly done, 2 interrupted,
    // 3 nothing to shred.
    int ExitCode() const;
    // The exit status of a command line refused before anything was listed.
    static constexpr int kExitRefused = 4;

    // Runs the command handler of a menu, accelerator or button id.
    void OnCommand(int id);

    // ---- RunWindow (any thread) ----
    int RowCount() override;
    bool RowChecked(int row) override;
    std::u16string RowText(int row, int column) override;
    void DeleteRow(int row) override;
    void SetRowText(int row, int column, const std::u16string& text) override;
    void SetRowFailure(int row, const std::u16string& reason) override;
    void NoteRowOrigins(
        const std::vector<std::pair<std::u16string, std::u16string>>& origins) override;
    void AppendRow(const std::u16string& name, const std::u16string& size,
                   const std::u16string& date, const std::u16string& path) override;
    void AppendRowWithStatus(const std::u16string& name, const std::u16string& size,
                             const std::u16string& date, const std::u16string& path,
                             const std::u16string& status) override;
    void AppendRows(const std::vector<NewRow>& rows, const std::u16string& status) override;
    int ReadRows(int first, int maxCount, std::vector<RunRow>& out, bool& confirm) override;
    void ApplyUpdates(const std::vector<WindowUpdate>& updates) override;
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
    void AppendLogHeader(const std::u16string& title) override;
    void StoreSettings() override;
    void EndProgram() override;

    // ---- command handlers ----
    // "Enable log" and "Archive log" are checkable: Qt has toggled the check mark
    // when their handlers run, and the settings read the marks.
    void OnAddFiles();
    void OnAddFolder();
    void OnAddTrash();
    void OnRemoveSelected();
    // Delete in the list: the selected rows (or the current one) go, and Ctrl+Z
    // puts them back.
    void OnRemoveHighlighted();
    void OnUndoRemove();
    // The list takes the keyboard again (after a run, a listing, a dialog).
    void FocusList();
    void OnClearList();
    void OnSelectAll();
    void OnInvertSelection();
    void OnDropPaths(const std::vector<std::u16string>& paths);
    void OnShredFiles();
    void OnShredFreeSpace();
    void OnStop();
    void OnViewLog();
    void OnReports();
    void OnVerifyReport();
    void TakeVerifyOutcome();
    void OnSchedule();
    void OnEnableLog();
    void OnArchiveLog();
    void OnClearLog();
    void OnOptions();
    void OnLanguage();
    void OnHelp();
    void OnLicense();
    void OnChanges();
    void OnCheckForUpdate();
    void OnInfo();
    void OnExit();
    void OnColumnClick(int column);

  signals:
    // Every command id that reaches OnCommand and is not refused (also the ids
    // without a handler), before its handler runs.
    void CommandIssued(int id);

  protected:
    bool OnInitDialog() override;
    void OnOK() override {}  // Enter in a field is not "end the program"
    void OnCancel() override {}
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void RunCommandLine();
    void TakeCleanUpReport();
    bool WaitForCleanUp(bool processEvents);
    void CancelExecRun();
    void ApplyHandedPaths();
    // Chosen folders whose rows have all left the list are forgotten.
    void ForgetUnlistedRoots();
    void StartExecRun();
    void PollUnattended();
    void EchoUnattended(std::FILE* stream, const std::u16string& text);
    void CreateControls();
    void CreateMenu();
    void CreateAccelerators();
    void SetFocusOrder();
    void LayoutClient(int w, int h);
    void FitControls();
    QSize ArrangeRows(int w, int h);
    void RestoreFrame(const QRect& frame);
    void FitPendingFrame();
    QMargins FrameMargins() const;
    void RemoveMenuItem(int id);
    void ConnectLog();
    QAction* AddMenuItem(QMenu* menu, int id, bool checkable = false);
    void Register(int id, QWidget* w);
    void StoreSettingsNow();                                     // UI thread
    void ShowUpdates(const std::vector<WindowUpdate>& updates);  // UI thread
    void ShowWaitingUpdates();                                   // UI thread
    void ScheduleWaitingUpdates();                               // UI thread
    void AnnounceRunEnd();

    std::vector<std::u16string> args_;
    std::vector<std::u16string> handed_;
    bool handedRetry_ = false;
    CommandLineFlags flags_;
    bool unattended_ = false;
    bool execPending_ = false;
    bool refusedExit_ = false;  // the command line was refused: ExitCode says kExitRefused
    bool stopSignalSeen_ = false;
    QTimer* startupTimer_ = nullptr;
    StorageLocations locations_;
    StoragePaths paths_;
    CSortListCtrl list_;
    RemovedRows removed_;  // what Delete took out last, for Ctrl+Z
    RunState state_;
    WorkerThreads workers_;
    UiThreadCaller caller_;
    std::unique_ptr<FontHolder> fonts_;
    std::unique_ptr<MainRunFace> face_;  // status, progress, title, clock
    std::unique_ptr<MainRunOptions> options_;
    CLogViewDlg* logView_ = nullptr;  // a child of the window
    std::unique_ptr<QtTranslations> qtTranslations_;
    AppSettings fields_;
    std::string languageName_;
    std::string languageFile_;
    bool noLanguageChosen_ = true;
    TextLookup lookup_;
    ValueLogSwitches logSwitches_{false, false};
    ShredLog log_{logSwitches_};
    bool locked_ = false;
    int notifyAfterMs_ = 5000;
    bool closing_ = false;
    bool settingsStored_ = false;
    static constexpr size_t kMaxRowsInFlight = 16384;
    std::atomic<size_t> rowsInFlight_{0};  // appended by a worker, not yet in the list
    // Run updates handed over and not shown yet (see ApplyUpdates).
    static constexpr int kUpdatesEveryMs = 40;
    std::mutex waitingMutex_;
    std::vector<WindowUpdate> waitingUpdates_;
    bool waitingPosted_ = false;
    QTimer* updatesTimer_ = nullptr;
    QElapsedTimer updatesShown_;
    std::string rememberedFolder_;
    struct CleanUpBox;
    std::shared_ptr<CleanUpBox> cleanUp_;
    QTimer* cleanUpTimer_ = nullptr;
    // A report being checked on a worker (see OnVerifyReport).
    struct VerifyBox;
    std::shared_ptr<VerifyBox> verify_;
    QTimer* verifyTimer_ = nullptr;

    // The stored outer rectangle until the window's frame is known (see RestoreFrame).
    std::optional<QRect> pendingFrame_;
    std::optional<QMargins> fittedMargins_;

    QMenuBar* menuBar_ = nullptr;
    QWidget* client_ = nullptr;
    MainFileList* listView_ = nullptr;
    std::map<int, QWidget*> controls_;
    std::map<int, QAction*> actions_;
    std::vector<QMenu*> popups_;
    std::vector<QShortcut*> shortcuts_;
};
