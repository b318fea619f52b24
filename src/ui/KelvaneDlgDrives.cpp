// What the window learns from the drives: the clean-up at start-up of what an
// interrupted free-space run left, and the verdicts of the list's rows. Both are
// worked out on workers, so a drive that does not answer never holds the window.
#include <QCoreApplication>
#include <QLabel>
#include <QTimer>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>

#include "config/TextConv.h"
#include "platform/BoundedCall.h"
#include "platform/qt/QtText.h"
#include "runs/FillerStartup.h"
#include "ui/KelvaneDlg.h"
#include "ui/MainRunFace.h"

// What the clean-up worker hands to the window. The worker may be stuck on a
// dead drive after the window has gone, so it holds this box, never the window.
struct CKelvaneDlg::CleanUpBox {
    std::mutex mutex;
    std::condition_variable cv;
    std::optional<FillerStartupReport> report;
    bool taken = false;  // UI thread only
};

namespace {
CKelvaneDlg::FillerRecovery& RecoveryHook() {
    static CKelvaneDlg::FillerRecovery recovery;
    return recovery;
}
constexpr int kCleanUpPollMs = 50;
}  // namespace

void CKelvaneDlg::SetFillerRecovery(FillerRecovery recovery) {
    RecoveryHook() = std::move(recovery);
}

// A free-space run that was killed (or lost its power) left the drive full; the
// space is given back at start, and the user is told. Looking at a drive may
// never return (a dead mount), so this runs on a worker and the window comes up
// at once; a free-space run waits for it (see OnShredFreeSpace).
void CKelvaneDlg::RemoveFillerLeftovers() {
    auto box = std::make_shared<CleanUpBox>();
    cleanUp_ = box;
    FillerRecovery recover = RecoveryHook();
    if (!recover) recover = RecoverFillersAtStart;
    bounded::Start([box, recover, folder = paths_.storageFolder, settings = GatherSettings()] {
        FillerStartupReport report = recover(folder, settings);
        std::lock_guard<std::mutex> lock(box->mutex);
        box->report = std::move(report);
        box->cv.notify_all();
    });
    cleanUpTimer_ = new QTimer(this);
    connect(cleanUpTimer_, &QTimer::timeout, this, [this] { TakeCleanUpReport(); });
    cleanUpTimer_->start(kCleanUpPollMs);
}

bool CKelvaneDlg::CleanUpPending() const {
    if (!cleanUp_) return false;
    std::lock_guard<std::mutex> lock(cleanUp_->mutex);
    return !cleanUp_->report.has_value();
}

void CKelvaneDlg::TakeCleanUpReport() {
    if (!cleanUp_ || cleanUp_->taken) return;
    FillerStartupReport report;
    {
        std::lock_guard<std::mutex> lock(cleanUp_->mutex);
        if (!cleanUp_->report) return;
        report = std::move(*cleanUp_->report);
    }
    cleanUp_->taken = true;
    if (cleanUpTimer_) cleanUpTimer_->stop();
    // The previous run's log is archived or deleted when the next run begins:
    // the lines go into the next run's log, or stay in this one at the end.
    log_.CarryToNextRun(report.logLines);
    if (report.statusText.empty()) return;
    const std::u16string shown = PrintableText(report.statusText);
    EchoUnattended(stdout, shown);
    // A run that began meanwhile owns the status line.
    if (!locked_ && !closing_) face_->SetStatus(shown);
}

// Waits at most the bound of a drive's answer for the clean-up; true when it ended.
bool CKelvaneDlg::WaitForCleanUp(bool processEvents) {
    if (!cleanUp_) return true;
    const auto until = std::chrono::steady_clock::now() + bounded::kAnswerBound;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(cleanUp_->mutex);
            if (cleanUp_->report) break;
            if (std::chrono::steady_clock::now() >= until) return false;
            cleanUp_->cv.wait_for(lock, std::chrono::milliseconds(processEvents ? 10 : 100));
            if (cleanUp_->report) break;
        }
        if (processEvents) QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
    }
    TakeCleanUpReport();
    return true;
}
