// "Verify a report...": the check of kelvane-cli verify-report, with its four
// answers said in words. The file is read, and the trusted keys are gathered, on
// a worker, so that a report on a drive that does not answer never holds the
// window; the worker holds a box of its own, never the window.
#include <QTimer>
#include <mutex>
#include <optional>

#include "config/DialogFilter.h"
#include "config/SettingsFile.h"
#include "config/TextConv.h"
#include "i18n/SafeFormat.h"
#include "platform/BoundedCall.h"
#include "platform/qt/QtText.h"
#include "report/ReportVerify.h"
#include "report/ReportWriter.h"
#include "ui/FileDialogs.h"
#include "ui/KelvaneDlg.h"
#include "ui/MessageBoxes.h"

struct CKelvaneDlg::VerifyBox {
    std::mutex mutex;
    std::optional<VerifyOutcome> outcome;
    std::string path;  // UI thread only
};

namespace {
constexpr int kVerifyPollMs = 50;
}  // namespace

void CKelvaneDlg::OnVerifyReport() {
    if (verify_) return;  // one check at a time
    const QString filter = ToQ(DialogFilterFromText(Text("FrmMain.m_acMVerifyReportFilter")));
    const std::string reports = PlanReports(fields_, paths_.storageFolder).folder;
    const QStringList chosen =
        FileDialogs::OpenFiles(this, ToQ(Text("FrmMain.MenVerifyReport")).remove(QChar('&')),
                               ToQ(WideFromUtf8(reports)), filter);
    if (chosen.isEmpty()) return;
    auto box = std::make_shared<VerifyBox>();
    box->path = Utf8FromWide(FromQ(chosen.front()));
    verify_ = box;
    SetStatusText(SafeFormat(Text("FrmMain.m_acMReportChecking"), {WideFromUtf8(box->path)}));
    bounded::Start([box, path = box->path, storage = paths_.storageFolder,
                    program = paths_.programFolder, keyFile = fields_.reportKeyFile,
                    configBase = locations_.userConfigBase] {
        ReportTrust trust;
        std::string error;
        (void)LoadReportTrust(DefaultTrustSources(storage, keyFile, configBase), trust, error);
        VerifyOutcome outcome = VerifyReportFile(path, program, &trust);
        for (const std::string& w : trust.warnings) outcome.errors.push_back(w);
        std::lock_guard<std::mutex> lock(box->mutex);
        box->outcome = std::move(outcome);
    });
    if (!verifyTimer_) {
        verifyTimer_ = new QTimer(this);
        connect(verifyTimer_, &QTimer::timeout, this, [this] { TakeVerifyOutcome(); });
    }
    verifyTimer_->start(kVerifyPollMs);
}

void CKelvaneDlg::TakeVerifyOutcome() {
    if (!verify_) return;
    std::optional<VerifyOutcome> outcome;
    {
        std::lock_guard<std::mutex> lock(verify_->mutex);
        outcome = std::move(verify_->outcome);
    }
    if (!outcome) return;
    verifyTimer_->stop();
    const std::string path = verify_->path;
    verify_.reset();
    const char* key = outcome->status == kVerifyTrusted     ? "FrmMain.m_acMReportTrusted"
                      : outcome->status == kVerifyUntrusted ? "FrmMain.m_acMReportUntrusted"
                      : outcome->status == kVerifyChanged   ? "FrmMain.m_acMReportChanged"
                                                            : "FrmMain.m_acMReportUnreadable";
    // The answer in the user's words, then what the check found, as the terminal
    // prints it.
    std::u16string text = Text(key) + u"\n\n" + PrintableText(WideFromUtf8(path));
    for (const std::string& line : outcome->errors) text += u"\n" + WideFromUtf8(line);
    for (const std::string& line : outcome->lines) text += u"\n" + WideFromUtf8(line);
    SetStatusText(Text(key));
    MessageBoxes::Information(this, ToQ(Text("FrmMain.MenVerifyReport")).remove(QChar('&')),
                              ToQ(text));
}
