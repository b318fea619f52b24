#include "runs/RunReport.h"

#include <sys/stat.h>

#include "config/AppSettings.h"
#include "config/TextConv.h"
#include "i18n/SafeFormat.h"
#include "log/MadeFiles.h"
#include "platform/Platform.h"
#include "report/ReportWriter.h"
#include "runs/RunState.h"
#include "runs/RunWindow.h"

void BeginRunReport(RunState& state, const std::string& kind, const AppSettings& settings,
                    int passes) {
    // Without a storage folder (or one of another user) nothing is kept, unless a
    // place for reports was named.
    const bool ownPlace = !state.storageFolder.empty() || !settings.reportFolder.empty();
    if (!(settings.reportsOn && ownPlace) && state.reportPaths.empty()) return;
    // The part file of the entries: beside the reports or in the storage folder,
    // never below a folder this run shreds.
    ReportPlan plan = PlanReports(settings, state.storageFolder);
    for (const std::u16string& f : state.chosenRoots.Folders())
        plan.shredded.push_back(Utf8FromWide(f));
    state.report.Begin(kind, settings, passes, state.startTime.load(),
                       PartFolders(plan, state.storageFolder), plan.nameSecret);
}

void FinishRunReport(RunWindow& window, RunState& state) {
    if (!state.report.Active()) return;
    const RunOutcome outcome = state.lastOutcome.load();
    const int status = outcome == RunOutcome::Done ? 0 : outcome == RunOutcome::Interrupted ? 2 : 1;
    const int64_t now = Platform().now ? Platform().now() : state.startTime.load();
    RunRecord record = state.report.Finish(status, now);
    const AppSettings settings = window.CurrentSettings();
    AddRunContext(record, settings);
    ReportPlan plan = PlanReports(settings, state.storageFolder);
    if (!settings.reportsOn) plan.folder.clear();  // only where the command line asked
    plan.extraPaths = state.reportPaths;
    plan.hideNames = plan.hideNames || record.namesHidden;
    for (const std::u16string& f : state.chosenRoots.Folders())
        plan.shredded.push_back(Utf8FromWide(f));
    // Folder rows lie in chosen folders; those the record still holds are named too.
    if (record.kind == "files" && !record.namesHidden)
        for (const ReportEntry& e : record.entries)
            if (e.kind == "folder") plan.shredded.push_back(e.path);
    const WrittenReport written = WriteRunReport(std::move(record), plan);
    for (const std::string& problem : written.problems)
        window.AppendLog(
            SafeFormat(window.MessageText("FrmMain.m_acMReportFailed"), {WideFromUtf8(problem)}));
    for (const std::string& file : written.files)
        window.AppendLog(
            SafeFormat(window.MessageText("FrmMain.m_acMReportWritten"), {WideFromUtf8(file)}));
    // The reports folder keeps what the user set: this run's files are recorded
    // as made, then the oldest recorded reports beyond the limits go.
    if (!plan.folder.empty()) {
        const MadeFiles made(state.storageFolder);
        for (const std::string& file : written.files) {
            if (file.compare(0, plan.folder.size(), plan.folder) != 0 ||
                file.find('/', plan.folder.size()) != std::string::npos)
                continue;
            // The JSON and its PDF (and signature) are one report: one name before the dot.
            const size_t dot = file.find('.', plan.folder.size());
            (void)made.Note("report", file.substr(0, dot), file, now);
        }
        for (const std::string& gone :
             made.Prune("report", plan.folder, {settings.reportsKeep, settings.reportsDays}, now))
            window.AppendLog(
                SafeFormat(window.MessageText("FrmMain.m_acMReportDeleted"), {WideFromUtf8(gone)}));
    }
    if (!written.json.empty()) state.SetLastReport(written.json, written.pdf);
    RunWindow::ReportOutcome files;
    files.json = written.json;
    files.pdf = written.pdf;
    files.files = written.files;
    files.problems = written.problems;
    // The detached signature beside the JSON, where one was written.
    struct stat st {};
    if (!written.json.empty() && ::lstat((written.json + ".sig").c_str(), &st) == 0 &&
        S_ISREG(st.st_mode))
        files.signature = written.json + ".sig";
    window.ReportFilesWritten(files);
    const std::u16string note =
        written.json.empty()
            ? window.MessageText("FrmMain.m_acMReportNotWritten")
            : SafeFormat(window.MessageText("FrmMain.m_acMReportWritten"),
                         {WideFromUtf8(written.pdf.empty() ? written.json : written.pdf)});
    window.ShowReportNote(note);
}

bool TakeReportArguments(std::vector<std::u16string>& args, std::vector<std::string>& reportPaths) {
    if (args.size() < 2 || (args[1] != u"-exec" && args[1] != u"-drives")) return true;
    for (size_t i = 2; i < args.size();) {
        if (args[i] != u"-report") {
            ++i;
            continue;
        }
        if (i + 1 >= args.size()) return false;
        reportPaths.push_back(Utf8FromWide(args[i + 1]));
        args.erase(args.begin() + static_cast<std::ptrdiff_t>(i),
                   args.begin() + static_cast<std::ptrdiff_t>(i + 2));
    }
    return true;
}
