// Start-up of the window, the settings between the file and the controls, the command
// line with the runs of "-exec" and "-drives", and what changes when nobody sits at a
// display.
#include <sys/stat.h>

#include <QAction>
#include <QLabel>
#include <QMenuBar>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdio>

#include "config/CommandLine.h"
#include "config/NumberText.h"
#include "config/TextConv.h"
#include "filelist/FileListOps.h"
#include "filelist/FolderExpansion.h"
#include "filelist/FolderQueue.h"
#include "filelist/TrashRows.h"
#include "i18n/SafeFormat.h"
#include "platform/Platform.h"
#include "platform/StopSignals.h"
#include "platform/qt/QtText.h"
#include "ui/FontHolder.h"
#include "ui/KelvaneDlg.h"
#include "ui/MainRunFace.h"
#include "ui/MainRunOptions.h"
#include "ui/WindowPlacement.h"

namespace {
bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}
}  // namespace

bool CKelvaneDlg::OnInitDialog() {
    paths_ = FindStoragePaths(locations_, Platform().now ? Platform().now() : 0);
    ConnectLog();
    if (!IsRegularFile(paths_.licenseFile)) RemoveMenuItem(ID_LICENSE);
    if (!IsRegularFile(paths_.readMeFile)) {
        RemoveMenuItem(ID_CHANGES);
        RemoveMenuItem(ID_CHECK_UPDATE);
    }
    ApplyLanguageByName("");
    ApplyTexts();
    options_->SetDefaults();
    LoadSettingsFile();
    if (!paths_.refusedPath.empty())
        WarnNotTrusted("FrmMain.m_acMStorageRefused", paths_.refusedPath);
    state_.storageFolder = paths_.storageFolder;
    RemoveFillerLeftovers();
    state_.exitAfterFileRun = false;
    state_.exitAfterFreeSpaceRun = false;
    state_.drivesTable.SetSize(1, 0);
    state_.folderQueue.SetSize(2, 0);
    RunCommandLine();
    return true;
}

void CKelvaneDlg::LoadSettingsFile() {
    const LoadedSettings loaded = LoadSettings(paths_.settingsFile);
    ApplySettings(loaded);
    if (!loaded.refused) return;
    // Saving would replace a file we were not willing to read.
    WarnNotTrusted("FrmMain.m_acMSettingsRefused", paths_.settingsFile);
    paths_.settingsFile.clear();
}

// Files of another user (or open to others) steer nothing; the user learns why the
// settings are the built-in ones, on the status line and on the terminal.
void CKelvaneDlg::WarnNotTrusted(std::string_view key, const std::string& path) {
    const std::u16string shown = PrintableText(SafeFormat(MessageText(key), {WideFromUtf8(path)}));
    std::fprintf(stderr, "kelvane: %s\n", Utf8FromWide(shown).c_str());
    face_->SetStatus(shown);
}

void CKelvaneDlg::SaveSettingsFile() {
    (void)SaveSettings(paths_.settingsFile, GatherSettings());
}

void CKelvaneDlg::ApplySettings(const LoadedSettings& loaded) {
    const AppSettings& s = loaded.values;
    options_->Load(s);
    fields_.shredValue = s.shredValue;
    fields_.ignoreProtect = s.ignoreProtect;
    fields_.shredBlockSize = s.shredBlockSize;
    fields_.diskShredBlockSize = s.diskShredBlockSize;
    fields_.diskShredFileSize = s.diskShredFileSize;
    fields_.diskShredFileName = s.diskShredFileName;
    fields_.diskShredLeaveFiles = s.diskShredLeaveFiles;
    fields_.fileShredLeaveFiles = s.fileShredLeaveFiles;
    fields_.fileShredFileShred = s.fileShredFileShred;
    fields_.showSummary = s.showSummary;
    fields_.hideSeenWarnings = s.hideSeenWarnings;
    fields_.verifyLastPass = s.verifyLastPass;
    fields_.seenWarnings = s.seenWarnings;
    fields_.freeSpaceAfter = s.freeSpaceAfter;
    fields_.overwriteReserve = s.overwriteReserve;
    fields_.reportsOn = s.reportsOn;
    fields_.reportHideNames = s.reportHideNames;
    fields_.reportFolder = s.reportFolder;
    fields_.reportKeyFile = s.reportKeyFile;
    fields_.reportOrganisation = s.reportOrganisation;
    fields_.reportOperator = s.reportOperator;
    fields_.reportCustomer = s.reportCustomer;
    // Settings without a control of their own still go back to the file as they came.
    fields_.keepChosenFolders = s.keepChosenFolders;
    fields_.logArchivesKeep = s.logArchivesKeep;
    fields_.logArchivesDays = s.logArchivesDays;
    fields_.reportsKeep = s.reportsKeep;
    fields_.reportsDays = s.reportsDays;
    log_.SetArchiveLimits({s.logArchivesKeep, s.logArchivesDays});

    FontHolder& fonts = *fonts_;
    fonts.useBuiltInFont = s.useBuildInFont;
    fonts.Rebuild();
    fonts.useFontSettings = s.useFontSettings;
    fonts.useFontHeight = s.useFontHeight;
    if (fonts.useFontSettings) {
        if (loaded.hasFontName) fonts.SetFaceName(ToQ(WideFromUtf8(s.fontDefName)));
        if (loaded.hasFontCharset) fonts.SetCharset(s.fontDefCharset);
        if (loaded.hasFontHeight) fonts.SetHeight(s.fontDefHeight);
        if (loaded.hasFontPitch) fonts.SetPitchAndFamily(s.fontDefPitch);
    }
    fonts.Apply(this, true);

    if (IsMaximizedWinPos(s.winPos)) {
        setWindowState(windowState() | Qt::WindowMaximized);
    } else if (auto r = ParseWinPos(s.winPos)) {
        RestoreFrame(PlaceOnScreens(QRect(r->left, r->top, r->right - r->left, r->bottom - r->top),
                                    AvailableScreenAreas()));
    }

    noLanguageChosen_ = true;
    if (!s.languageName.empty()) {
        noLanguageChosen_ = false;
        languageName_ = s.languageName;
        ApplyLanguageByName(s.languageName);
    }
    // The marks start cleared; only a stored 1 switches them on.
    MenuAction(ID_ENABLE_LOG)->setChecked(s.enableLog == 1);
    MenuAction(ID_ARCHIVE_LOG)->setChecked(s.archiveLog == 1);
    menuBar_->update();
}

AppSettings CKelvaneDlg::GatherSettings() {
    AppSettings s = fields_;
    options_->Store(s);
    s.enableLog = MenuAction(ID_ENABLE_LOG)->isChecked() ? 1 : 0;
    s.archiveLog = MenuAction(ID_ARCHIVE_LOG)->isChecked() ? 1 : 0;
    const FontHolder& fonts = *fonts_;
    s.useBuildInFont = fonts.useBuiltInFont;
    s.useFontSettings = fonts.useFontSettings;
    s.useFontHeight = fonts.useFontHeight;
    s.fontDefName = Utf8FromWide(FromQ(fonts.FaceName()));
    s.fontDefCharset = fonts.Charset();
    s.fontDefHeight = fonts.Height();
    s.fontDefPitch = fonts.PitchAndFamily();
    if (windowState() & Qt::WindowMaximized) {
        s.winPos = "MAX";
    } else {
        // A minimized window stores where it will come back to.
        QRect r = frameGeometry();
        if (pendingFrame_) {
            // Ended before the frame settled: what was restored goes back unchanged.
            r = *pendingFrame_;
        } else if (windowState() & Qt::WindowMinimized) {
            // The restored rectangle, with the frame around it.
            const QRect inner = geometry(), outer = frameGeometry();
            r = normalGeometry().adjusted(outer.left() - inner.left(), outer.top() - inner.top(),
                                          outer.right() - inner.right(),
                                          outer.bottom() - inner.bottom());
        }
        s.winPos = FormatWinPos({r.x(), r.y(), r.x() + r.width(), r.y() + r.height()});
    }
    s.languageName = noLanguageChosen_ ? std::string() : languageName_;
    return s;
}

// The last steps of start-up: the command line, the folder expansion it asks for,
// and the runs of "-exec" and "-drives"; and what changes when nobody sits at a
// display.
namespace {

class WindowTarget : public CommandLineTarget {
  public:
    WindowTarget(CKelvaneDlg& dlg) : dlg_(dlg) {}
    void QueueEntry(const std::u16string& path) override {
        (void)QueueChosenEntry(dlg_.State(), path);
    }
    void AddDrive(const std::string& root) override { dlg_.State().drivesTable.AppendRow(root); }

  private:
    CKelvaneDlg& dlg_;
};

constexpr int kPollMs = 100;

}  // namespace

void CKelvaneDlg::RunCommandLine() {
    WindowTarget target(*this);
    // "kelvane -exec .." lists nothing and runs nothing: a message, status 4.
    if (const std::u16string dot = FirstDotOperand(args_); !dot.empty()) {
        ShowInfoMessage(SafeFormat(MessageText("FrmMain.m_acMDotRefused"), {PrintableText(dot)}));
        // A run asked for, or a window nobody sees, ends here: status 4.
        if (unattended_ || (args_.size() > 1 && args_[1] == u"-exec")) {
            refusedExit_ = true;
            QTimer::singleShot(0, this, [this] { OnExit(); });
        }
        return;
    }
    flags_ = ProcessCommandLine(args_, target);
    state_.exitAfterFileRun = flags_.exec;
    state_.exitAfterFreeSpaceRun = flags_.drives;

    const bool expanding = flags_.trash ? StartTrashListing(workers_, *this, state_)
                                        : StartFolderExpansion(workers_, *this, state_);
    auto startPolling = [this] {
        if (startupTimer_) return;
        startupTimer_ = new QTimer(this);
        connect(startupTimer_, &QTimer::timeout, this, &CKelvaneDlg::PollUnattended);
        startupTimer_->start(kPollMs);
    };

    if (unattended_) {
        startPolling();  // stop signals
        if (StopSignalWakeFd() >= 0) {
            // A signal stops the run at once, not at the next look.
            auto* notifier = new QSocketNotifier(StopSignalWakeFd(), QSocketNotifier::Read, this);
            connect(notifier, &QSocketNotifier::activated, this, [this] {
                DrainStopSignalWakeFd();
                PollUnattended();
            });
        }
        if (!flags_.exec && !flags_.drives) {
            std::fprintf(stderr,
                         "kelvane: no display; use -exec, -drives or -trash to run without one\n");
            state_.lastOutcome = RunOutcome::NothingToShred;
            QTimer::singleShot(0, this, [this] { OnExit(); });
            return;
        }
    }

    if (flags_.exec) {
        // The run waits for the folders of the command line: started at once it
        // would find the list empty, or shred a random part of a large folder.
        if (expanding) {
            execPending_ = true;
            startPolling();
        } else {
            StartExecRun();
        }
    }
    if (flags_.drives) OnShredFreeSpace();
}

void CKelvaneDlg::StartExecRun() {
    execPending_ = false;
    OnShredFiles();
    // "-exec" ends the program after the run; with nothing to shred there is no
    // run, and a program nobody can see must not stay behind.
    // (Deferred: during start-up the window's own loop has not begun yet.)
    if (state_.lastOutcome.load() == RunOutcome::NothingToShred && unattended_)
        QTimer::singleShot(0, this, [this] { OnExit(); });
}

void CKelvaneDlg::SetUnattended(bool on) {
    unattended_ = on;
    // Nobody sees the window of an unattended run: it is never painted, so the
    // run's changes cost no drawing.
    setUpdatesEnabled(!on);
}

void CKelvaneDlg::PollUnattended() {
    if (unattended_ && StopSignalReceived() && !stopSignalSeen_) {
        stopSignalSeen_ = true;
        state_.stop = true;
        state_.WakeWaiters();
        if (execPending_ || workers_.AllDone()) {
            // Nothing has been shredded yet, or nothing is running: end here.
            CancelExecRun();
            return;
        }
    }
    if (execPending_ && workers_.AllDone()) {
        // A listing cut short by Stop is no list to shred.
        if (state_.expansionStopped.load())
            CancelExecRun();
        else
            StartExecRun();
    }
}

void CKelvaneDlg::CancelExecRun() {
    execPending_ = false;
    state_.lastOutcome = RunOutcome::Interrupted;
    OnExit();
}

void CKelvaneDlg::TakeHandedPaths(const std::vector<std::u16string>& paths) {
    handed_.insert(handed_.end(), paths.begin(), paths.end());
    if (closing_) return;
    if (windowState() & Qt::WindowMinimized) showNormal();
    raise();
    activateWindow();
    ApplyHandedPaths();
}

void CKelvaneDlg::ApplyHandedPaths() {
    if (handed_.empty() || closing_) return;
    // A run or a folder expansion works on the list: the files wait for its end.
    if (locked_ || !workers_.AllDone()) {
        if (!handedRetry_) {
            handedRetry_ = true;
            QTimer::singleShot(kPollMs * 2, this, [this] {
                handedRetry_ = false;
                ApplyHandedPaths();
            });
        }
        return;
    }
    std::vector<std::u16string> args{u"kelvane"};
    args.insert(args.end(), handed_.begin(), handed_.end());
    handed_.clear();
    // A second start refuses them itself; one that handed them anyway gets the same answer.
    if (const std::u16string dot = FirstDotOperand(args); !dot.empty()) {
        ShowInfoMessage(SafeFormat(MessageText("FrmMain.m_acMDotRefused"), {PrintableText(dot)}));
        return;
    }
    // The queue still names the folders of the last listing: only the handed
    // folders are to be listed now.
    ClearFolderQueue(state_);
    WindowTarget target(*this);
    (void)ProcessCommandLine(args, target);
    (void)StartFolderExpansion(workers_, *this, state_);
}

int CKelvaneDlg::ExitCode() const {
    if (refusedExit_) return kExitRefused;
    const RunOutcome outcome = state_.lastOutcome.load();
    if (outcome == RunOutcome::None) return 0;
    return static_cast<int>(outcome);
}

void CKelvaneDlg::EchoUnattended(std::FILE* stream, const std::u16string& text) {
    if (!unattended_ || text.empty()) return;
    std::fprintf(stream, "%s\n", Utf8FromWide(text).c_str());
    std::fflush(stream);
}
