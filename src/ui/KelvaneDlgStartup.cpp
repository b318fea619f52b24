// The last steps of start-up: the command line, the folder expansion it asks for,
// and the runs of "-exec" and "-drives"; and what changes when nobody sits at a
// display.
#include <QTimer>
#include <cstdio>

#include "config/CommandLine.h"
#include "config/TextConv.h"
#include "filelist/FileListOps.h"
#include "filelist/FolderExpansion.h"
#include "filelist/FolderQueue.h"
#include "platform/StopSignals.h"
#include "ui/KelvaneDlg.h"

namespace {

class WindowTarget : public CommandLineTarget {
  public:
    WindowTarget(CKelvaneDlg& dlg) : dlg_(dlg) {}
    void AddFileRow(const std::u16string& path) override { ::AddFileRow(dlg_, path); }
    void QueueFolder(const std::u16string& path) override { ::QueueFolder(dlg_.State(), path); }
    void AddDrive(const std::string& root) override { dlg_.State().drivesTable.AppendRow(root); }

  private:
    CKelvaneDlg& dlg_;
};

constexpr int kPollMs = 100;

}  // namespace

void CKelvaneDlg::RunCommandLine() {
    WindowTarget target(*this);
    flags_ = ProcessCommandLine(args_, target);
    state_.exitAfterFileRun = flags_.exec;
    state_.exitAfterFreeSpaceRun = flags_.drives;

    const bool expanding = StartFolderExpansion(workers_, *this, state_);
    auto startPolling = [this] {
        if (startupTimer_) return;
        startupTimer_ = new QTimer(this);
        connect(startupTimer_, &QTimer::timeout, this, &CKelvaneDlg::PollUnattended);
        startupTimer_->start(kPollMs);
    };

    if (unattended_) {
        startPolling();  // stop signals
        if (!flags_.exec && !flags_.drives) {
            std::fprintf(stderr, "kelvane: no display; use -exec or -drives to run without one\n");
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

void CKelvaneDlg::PollUnattended() {
    if (unattended_ && StopSignalReceived() && !stopSignalSeen_) {
        stopSignalSeen_ = true;
        state_.stop = true;
        if (execPending_ || workers_.AllDone()) {
            // Nothing has been shredded yet, or nothing is running: end here.
            execPending_ = false;
            state_.lastOutcome = RunOutcome::Interrupted;
            OnExit();
            return;
        }
    }
    if (execPending_ && workers_.AllDone()) StartExecRun();
}

int CKelvaneDlg::ExitCode() const {
    const RunOutcome outcome = state_.lastOutcome.load();
    if (outcome == RunOutcome::None) return 0;
    return static_cast<int>(outcome);
}

void CKelvaneDlg::EchoUnattended(std::FILE* stream, const std::u16string& text) {
    if (!unattended_ || text.empty()) return;
    std::fprintf(stream, "%s\n", Utf8FromWide(text).c_str());
    std::fflush(stream);
}
