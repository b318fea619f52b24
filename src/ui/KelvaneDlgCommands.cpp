// The window's commands: dispatch, the file list commands, starting the runs, the
// Options command, the log and the "?" menu; storing the settings, exit and close.
#include <sys/stat.h>

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QStringList>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <chrono>
#include <thread>

#include "config/DialogFilter.h"
#include "config/HelpFile.h"
#include "config/OptionsRules.h"
#include "config/TextConv.h"
#include "config/UpdateAddress.h"
#include "engine/FileOps.h"
#include "filelist/FileListOps.h"
#include "filelist/ListSources.h"
#include "filelist/StringTable.h"
#include "filelist/TrashRows.h"
#include "i18n/SafeFormat.h"
#include "platform/FillSystem.h"
#include "platform/Platform.h"
#include "platform/qt/QtText.h"
#include "report/ReportWriter.h"
#include "runs/FileRun.h"
#include "runs/FinishWorkers.h"
#include "runs/FreeSpaceRun.h"
#include "ui/AboutDlg.h"
#include "ui/DriveDlg.h"
#include "ui/FileDialogs.h"
#include "ui/FontHolder.h"
#include "ui/KelvaneDlg.h"
#include "ui/LogViewDlg.h"
#include "ui/MainFileList.h"
#include "ui/MainRunFace.h"
#include "ui/OptionsDlg.h"
#include "ui/ScheduleDlg.h"

namespace {

// Commands that open a dialog or a message box, after which focus would
// otherwise stay wherever the toolkit puts it back.
bool IsDialogCommand(int id) {
    switch (id) {
        case CKelvaneDlg::ID_ADD_FILES:
        case CKelvaneDlg::IDC_ADD:
        case CKelvaneDlg::ID_ADD_FOLDER:
        case CKelvaneDlg::IDC_ADD_FOLDER:
        case CKelvaneDlg::ID_OPTIONS:
        case CKelvaneDlg::ID_LANGUAGE:
        case CKelvaneDlg::ID_INFO:
        case CKelvaneDlg::ID_REPORTS:
        case CKelvaneDlg::ID_CLEAR_LOG:
        case CKelvaneDlg::IDC_SHRED:
        case CKelvaneDlg::IDC_SHRED_FREE:
            return true;
        default:
            return false;
    }
}

}  // namespace

void CKelvaneDlg::OnCommand(int id) {
    // A command of a disabled pop-up (File, Edit, View while a run goes on) does
    // not run, whether it came from the menu or from an accelerator.
    if (QAction* a = MenuAction(id)) {
        for (int i = 0; i < 3; ++i)
            if (popups_[i]->actions().contains(a) && !popups_[i]->menuAction()->isEnabled()) return;
        if (!a->isEnabled()) return;
    }
    emit CommandIssued(id);
    switch (id) {
        case ID_VIEW_LOG:
            OnViewLog();
            break;
        case ID_REPORTS:
            OnReports();
            break;
        case ID_VERIFY_REPORT:
            OnVerifyReport();
            break;
        case ID_SCHEDULE:
            OnSchedule();
            break;
        case ID_ENABLE_LOG:
            OnEnableLog();
            break;
        case ID_ARCHIVE_LOG:
            OnArchiveLog();
            break;
        case ID_CLEAR_LOG:
            OnClearLog();
            break;
        case ID_EXIT:
            OnExit();
            break;
        case ID_ADD_FILES:
        case IDC_ADD:
            OnAddFiles();
            break;
        case ID_ADD_FOLDER:
        case IDC_ADD_FOLDER:
            OnAddFolder();
            break;
        case ID_ADD_TRASH:
            OnAddTrash();
            break;
        case ID_UNDO_REMOVE:
            OnUndoRemove();
            break;
        case ID_REMOVE_SELECTED:
        case IDC_REMOVE:
            OnRemoveSelected();
            break;
        case ID_CLEAR_LIST:
        case IDC_CLEAR:
            OnClearList();
            break;
        case ID_SELECT_ALL:
            OnSelectAll();
            break;
        case ID_INVERT_SELECTION:
            OnInvertSelection();
            break;
        case ID_OPTIONS:
            OnOptions();
            break;
        case ID_SORT_NAME:
        case ID_SORT_SIZE:
        case ID_SORT_DATE:
            OnColumnClick(id - ID_SORT_NAME);
            break;
        case ID_LANGUAGE:
            OnLanguage();
            break;
        case ID_INFO:
            OnInfo();
            break;
        case ID_HELP:
            OnHelp();
            break;
        case ID_LICENSE:
            OnLicense();
            break;
        case ID_CHANGES:
            OnChanges();
            break;
        case ID_CHECK_UPDATE:
            OnCheckForUpdate();
            break;
        case IDC_SHRED:
            OnShredFiles();
            break;
        case IDC_SHRED_FREE:
            OnShredFreeSpace();
            break;
        case IDC_STOP:
            OnStop();
            break;
        default:
            break;  // Ctrl+O and Ctrl+S have no handler
    }
    // A dialog or a message box gave the keyboard back: the list takes it.
    if (!locked_ && IsDialogCommand(id)) FocusList();
}

void CKelvaneDlg::OnStop() {
    state_.stop = true;
    state_.WakeWaiters();
    face_->ShowStopping();
    // "-exec" still listing the command line's folders: its run is cancelled,
    // just as a stop signal cancels it without a display; otherwise the part
    // listed so far would be shredded the moment the listing ends.
    if (execPending_) CancelExecRun();
}

void CKelvaneDlg::OnColumnClick(int column) {
    listView_->SortBy(column);
}

void CKelvaneDlg::JoinWorkers() {
    FinishWorkers(workers_, state_,
                  [] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10); });
}

void CKelvaneDlg::StoreSettings() {
    // The workers see the stop flag and end (the clock within a tick, an expansion
    // after its entry); the settings are stored once they have, never later than
    // half a second on. A worker asking (a run at its end) waits on its own thread,
    // so the window keeps serving the others meanwhile, and is not waited for.
    state_.stop = true;
    state_.WakeWaiters();
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    const bool onUi = UiThreadCaller::OnUiThread();
    const std::thread::id asking = onUi ? std::thread::id() : std::this_thread::get_id();
    // A worker's end wakes this wait at once.
    const auto othersDone = [&] { return workers_.AllDoneExcept(asking); };
    if (!onUi) (void)workers_.WaitUntil(until, othersDone);
    while (onUi && !othersDone() && std::chrono::steady_clock::now() < until) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
        (void)workers_.WaitUntil(
            std::min(until, std::chrono::steady_clock::now() + std::chrono::milliseconds(1)),
            othersDone);
    }
    if (!onUi) {
        // A run ending because the window closes: the close stores them itself
        // once every worker has ended.
        caller_.Call([this] {
            if (!closing_) StoreSettingsNow();
        });
        return;
    }
    StoreSettingsNow();
}

void CKelvaneDlg::StoreSettingsNow() {
    SaveSettingsFile();
    fonts_->Release();
    settingsStored_ = true;
}

void CKelvaneDlg::EndProgram() {
    if (!UiThreadCaller::OnUiThread()) {
        caller_.Call([this] {
            if (!closing_) EndProgram();
        });
        return;
    }
    EndDialog(IDOK);
}

void CKelvaneDlg::OnExit() {
    StoreSettings();
    closing_ = true;
    JoinWorkers();
    EndDialog(IDOK);
}

void CKelvaneDlg::closeEvent(QCloseEvent* event) {
    if (!closing_) {
        // A run finishes the entry it is on; its settings are stored after that.
        closing_ = true;
        JoinWorkers();
        StoreSettings();
    }
    event->accept();
    EndDialog(IDCANCEL);
}

void CKelvaneDlg::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls() && !locked_) event->acceptProposedAction();
}

void CKelvaneDlg::dropEvent(QDropEvent* event) {
    if (locked_) return;
    std::vector<std::u16string> paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile()) {
            // From the encoded bytes: a name that is not UTF-8 must reach the list
            // as the bytes it has on disk, not with replacement characters.
            QByteArray bytes =
                QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
            paths.push_back(WideFromUtf8(std::string_view(bytes.constData(), bytes.size())));
        }
    event->acceptProposedAction();
    if (!paths.empty()) OnDropPaths(paths);
}

// The file list commands of the main window: Add files, Add folder, paths dropped
// on the window, Remove selected, Clear list, Select all and Invert selection.
namespace {

bool IsExistingFolder(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

void CKelvaneDlg::OnAddFiles() {
    const QString filter = ToQ(DialogFilterFromText(Text("FrmMain.m_acMAddFileDlg")));
    const QStringList chosen =
        FileDialogs::OpenFiles(this, ToQ(Text("FrmMain.m_acMAddFilesTitle")), QString(), filter);
    std::vector<std::u16string> paths;
    paths.reserve(chosen.size());
    for (const QString& f : chosen) paths.push_back(FromQ(f));
    AddChosenFiles(workers_, *this, state_, paths);
}

void CKelvaneDlg::OnAddFolder() {
    QString start;
    if (IsExistingFolder(rememberedFolder_)) start = ToQ(WideFromUtf8(rememberedFolder_));
    const QString chosen =
        FileDialogs::ChooseFolder(this, ToQ(Text("FrmMain.m_acMSelectFolder")), start);
    AddChosenFolder(workers_, *this, state_, FromQ(chosen), rememberedFolder_);
}

void CKelvaneDlg::OnAddTrash() {
    // The trash folders are looked for on a worker: a drive may not answer.
    if (locked_) return;
    (void)StartTrashListing(workers_, *this, state_);
}

void CKelvaneDlg::OnDropPaths(const std::vector<std::u16string>& paths) {
    // A drop during a run or an expansion would empty the folder queue under the
    // expansion and change the list under the run.
    if (locked_) return;
    AddDroppedPaths(workers_, *this, state_, paths);
}

void CKelvaneDlg::OnRemoveSelected() {
    removed_.Forget();
    RemoveSelectedRows(list_, *this);
    ForgetUnlistedRoots();
}

void CKelvaneDlg::OnRemoveHighlighted() {
    if (locked_) return;
    const QModelIndex current = listView_->currentIndex();
    int next = -1;
    // The folders the rows were chosen in stay remembered while the removal can
    // be undone; the next run or list command forgets those left without rows.
    if (removed_.RemoveSelected(list_, current.isValid() ? current.row() : -1, &next) == 0) return;
    UpdateFileCount(*this);
    if (next >= 0) {
        listView_->setCurrentIndex(
            listView_->model()->index(next, current.isValid() ? current.column() : 0));
    }
}

void CKelvaneDlg::OnUndoRemove() {
    if (locked_ || !removed_.Restore(list_)) return;
    UpdateFileCount(*this);
    FocusList();
}

void CKelvaneDlg::FocusList() {
    if (listView_ && listView_->isEnabled() && isVisible())
        listView_->setFocus(Qt::OtherFocusReason);
}

void CKelvaneDlg::OnClearList() {
    removed_.Forget();
    ClearList(list_, *this);
    ForgetUnlistedRoots();
    // What the listing of the trash had to say belongs to rows that are gone.
    (void)state_.trash.TakeNotes();
}

void CKelvaneDlg::ForgetUnlistedRoots() {
    // A folder whose rows have all gone is no choice any more: a new folder that
    // takes its path is listed, and shredded, as itself.
    std::vector<std::u16string> paths;
    paths.reserve(static_cast<size_t>(list_.GetItemCount()));
    for (int i = 0; i < list_.GetItemCount(); ++i) paths.push_back(list_.GetItemText(i, 3));
    state_.chosenRoots.KeepHolding(paths);
}

void CKelvaneDlg::OnSelectAll() {
    SelectAllRows(list_);
}

void CKelvaneDlg::OnInvertSelection() {
    InvertRowSelection(list_);
}

void CKelvaneDlg::AppendRowWithStatus(const std::u16string& name, const std::u16string& size,
                                      const std::u16string& date, const std::u16string& path,
                                      const std::u16string& status) {
    // One visit to the UI thread per file instead of two: a worker waits for each.
    caller_.Call([&] {
        int i = list_.InsertItem(list_.GetItemCount(), name);
        if (i >= 0) {
            list_.SetItemText(i, 1, size);
            list_.SetItemText(i, 2, date);
            list_.SetItemText(i, 3, path);
            list_.SetCheck(i, true);
        }
        face_->SetStatus(PrintableText(status));
    });
}

// Starting the file shredding run from the window.
void CKelvaneDlg::OnShredFiles() {
    // The button is disabled during a run; the command line may still get here.
    if (locked_ || closing_) return;
    if (listView_) listView_->ForgetFailures();
    StartFileRun(workers_, *this, state_);
}

// The "Shred free space" command: the drive dialog, then the free-space run.
void CKelvaneDlg::OnShredFreeSpace() {
    // The button is disabled during a run; the command line may still get here.
    if (locked_ || closing_) return;
    // The clean-up at start must not meet a new fill: it works from the record
    // that the fill writes. It ends at once almost always; held by a drive that
    // does not answer, no fill starts, and an unattended one ends as not done.
    if (!WaitForCleanUp(true)) {
        SetStatusText(Text("FrmMain.m_acMCleanUpPending"));
        if (state_.exitAfterFreeSpaceRun.load()) {
            state_.lastOutcome = RunOutcome::Partly;
            QTimer::singleShot(0, this, [this] { OnExit(); });
        }
        return;
    }
    StartFreeSpaceRun(workers_, *this, state_, [this] {
        CDriveDlg dlg(this);
        dlg.SetTextLookup([this](std::string_view key) { return Text(key); });
        dlg.SetReserveChoice(!(FillSystem().mayUseRootReserve && FillSystem().mayUseRootReserve()),
                             fields_.overwriteReserve);
        if (dlg.DoModal(*fonts_, state_.drivesTable) != IDOK) return false;
        if (dlg.ReserveOffered()) fields_.overwriteReserve = dlg.Reserve();
        return true;
    });
}

// The Options command: the options dialog over the window's settings fields and
// font holder; on OK the (possibly new) font is applied to the whole window.
void CKelvaneDlg::OnOptions() {
    COptionsDlg dlg(this);
    dlg.SetLanguageFile(LanguageFile());
    if (dlg.DoModal(Fonts(), OptionsSettingsOf(Fields())) != IDOK) return;
    Fonts().Apply(nullptr, true);
    update();
}

// The shredding log of the window: the run threads write through the RunWindow
// calls, the File menu views, switches and clears it.
void CKelvaneDlg::ConnectLog() {
    log_.SetStorageFolder(paths_.storageFolder);
    // The run threads read the switches; the check marks are the UI thread's, so the
    // log keeps its own copy that follows every change of a mark.
    for (int id : {ID_ENABLE_LOG, ID_ARCHIVE_LOG}) {
        QAction* a = MenuAction(id);
        if (!a) continue;
        auto follow = [this, id](bool on) {
            if (id == ID_ENABLE_LOG)
                logSwitches_.SetLogEnabled(on);
            else
                logSwitches_.SetArchiveEnabled(on);
        };
        follow(a->isChecked());
        connect(a, &QAction::toggled, this, follow);
    }
}

// Any thread: the log opens, writes and closes its file for each line.
void CKelvaneDlg::BeginRunLog() {
    log_.BeginRunLog();
}
void CKelvaneDlg::AppendLog(const std::u16string& text) {
    log_.AppendLog(text);
}
void CKelvaneDlg::AppendLogHeader(const std::u16string& title) {
    log_.AppendRunHeader(title);
}

void CKelvaneDlg::OnViewLog() {
    if (!logView_)
        logView_ = new CLogViewDlg(this, [this](std::string_view key) { return Text(key); });
    std::u16string text;
    bool truncated = false;
    const bool exists = log_.ReadForViewing(text, truncated);
    logView_->ApplyTexts();  // the language may have changed since the last time
    logView_->SetLogText(text, exists, truncated);
    logView_->show();
    logView_->raise();
    logView_->activateWindow();
}
// Qt has already flipped the check mark, and the log follows it.
void CKelvaneDlg::OnEnableLog() {}
void CKelvaneDlg::OnArchiveLog() {}
void CKelvaneDlg::OnClearLog() {
    log_.ClearLog();
}

// The "?" menu: about box, help page, licence, read-me and update page. The
// documents and pages are handed to the desktop's default handler; only Reports...
// looks at its answer (a report nothing opens is worth saying so).
namespace {

bool ShellOpen(const std::string& target) {
    if (target.empty() || !Platform().shellOpen) return false;
    return Platform().shellOpen(WideFromUtf8(target));
}

}  // namespace

// The last report, the PDF where there is one; before any, the folder they go to.
// Nothing is looked up on disk here: the handler is told and may find nothing.
void CKelvaneDlg::OnReports() {
    const auto [json, pdf] = state_.LastReport();
    if (!json.empty()) {
        const std::string& report = pdf.empty() ? json : pdf;
        if (ShellOpen(report)) return;
        // Nothing on this desktop opens it: the user hears so, and gets the folder.
        const std::string folder = Utf8FromWide(FolderOfPath(WideFromUtf8(report)));
        ShowInfoMessage(SafeFormat(MessageText("FrmMain.m_acMNoReportViewer"),
                                   {WideFromUtf8(report), WideFromUtf8(folder)}));
        ShellOpen(folder);
        return;
    }
    const std::string folder = PlanReports(fields_, paths_.storageFolder).folder;
    ShowInfoMessage(SafeFormat(MessageText("FrmMain.m_acMNoReport"), {WideFromUtf8(folder)}));
    ShellOpen(folder);
}

void CKelvaneDlg::OnHelp() {
    ShellOpen(ChooseHelpFile(DataFolder(), LanguageFile()));
}

void CKelvaneDlg::OnLicense() {
    ShellOpen(LicensePath());
}

void CKelvaneDlg::OnChanges() {
    ShellOpen(ReadMePath());
}

void CKelvaneDlg::OnCheckForUpdate() {
    ShellOpen(UpdatePageAddress());
}

void CKelvaneDlg::OnInfo() {
    CAboutDlg dlg(this);
    dlg.SetTexts(ToQ(Text("FrmAbout.Caption")),
                 {ToQ(Text("FrmAbout.m_LBLDescription")), ToQ(Text("FrmAbout.m_LBLLicence"))},
                 ToQ(Text("FrmAbout.m_LBLTranslations")), ToQ(Text("FrmAbout.m_ACCLink")));
    dlg.DoModal(Fonts(), ToQ(Text("FrmMain.m_acMBtnOk")));
}

// Schedules: the ticked entries of the list (or the trash, or drives chosen in
// the drive dialog) as a job of kelvane-cli, which the dialog starts as a
// separate process; the window itself touches no path.
void CKelvaneDlg::OnSchedule() {
    if (locked_ || closing_) return;
    // A chosen folder is listed with everything in it: the job names the folder
    // (and so what it will hold then), not the files it holds now.
    std::vector<std::string> ticked;
    for (int row = 0; row < RowCount(); ++row)
        if (RowChecked(row))
            ticked.push_back(Utf8FromWide(RowText(row, MainFileList::kPathColumn)));
    std::sort(ticked.begin(), ticked.end());
    std::vector<std::string> roots;
    for (const std::string& p : ticked)
        if (roots.empty() || roots.back().back() != '/' || p.rfind(roots.back(), 0) != 0)
            roots.push_back(p);
    CScheduleDlg dlg(this);
    dlg.SetTextLookup([this](std::string_view key) { return Text(key); });
    dlg.SetDriveChooser([this] {
        StringTable table;
        CDriveDlg drives(this);
        drives.SetTextLookup([this](std::string_view key) { return Text(key); });
        std::vector<std::string> roots;
        if (drives.DoModal(*fonts_, table) == IDOK)
            for (int j = 0; j < table.RowCount(); ++j) roots.push_back(table.GetCell(0, j));
        return roots;
    });
    dlg.DoModal(*fonts_, std::move(roots), ClampIterations(CurrentSettings().iterations));
}
