#include <unistd.h>

#include <QApplication>
#include <QIcon>
#include <QObject>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "cli/CliOptions.h"
#include "cli/CliRun.h"
#include "cli/CliVerify.h"
#include "cli/HeadlessRun.h"
#include "config/CommandLine.h"
#include "config/ProgramInfo.h"
#include "config/StorageFolders.h"
#include "config/TextConv.h"
#include "platform/PathHere.h"
#include "platform/StopSignals.h"
#include "platform/qt/QtText.h"
#include "platform/qt/SingleInstance.h"
#include "platform/qt/WinApp.h"
#include "report/ReportWriter.h"
#include "runs/RunReport.h"
#include "ui/KelvaneDlg.h"
#include "ui/ReportPdf.h"

namespace {

// Without a display the program still runs "-exec", "-drives" and "-trash" from a terminal
// or a scheduler: on Qt's offscreen platform, with the terminal in place of the boxes.
bool NoDisplay() {
    const char* x = std::getenv("DISPLAY");
    const char* w = std::getenv("WAYLAND_DISPLAY");
    return (!x || !*x) && (!w || !*w);
}

// The program's own icon, built in so that the window shows it wherever the program
// runs from; the installed copies under share/icons are for the menu and the file
// managers.
QIcon KelvaneIcon() {
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/kelvane-%1.png").arg(size), QSize(size, size));
    return icon;
}

// "-exec", "-drives" and "-trash" start a run of their own; any other start belongs
// to the window of this user and display.
bool StartsOwnRun(const std::vector<std::u16string>& args) {
    return args.size() > 1 &&
           (args[1] == u"-exec" || args[1] == u"-drives" || args[1] == u"-trash");
}

// The window that receives them has another working folder and is another
// process: each path is named here, and one that cannot be named is said on
// this start's own terminal instead of being handed over as some other file.
struct HandedPaths {
    QStringList paths;
    std::vector<std::string> problems;
    int status = 0;  // of this start, once it handed over
};

HandedPaths PathsToHandOver(const std::vector<std::u16string>& args) {
    HandedPaths out;
    // "kelvane .." hands over nothing: named here it would become the folder above.
    if (const std::u16string dot = FirstDotOperand(args); !dot.empty()) {
        out.problems.push_back("kelvane: " + DotOperandMessage(dot));
        out.status = CKelvaneDlg::kExitRefused;
        return out;
    }
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i].empty()) continue;
        const PathHere named = NamePathHere(args[i]);
        if (!named.path.empty())
            out.paths << ToQ(named.path);
        else
            out.problems.push_back("kelvane: " + Utf8FromWide(PrintableText(args[i])) +
                                   ": not handed to the open window: " + named.problem);
    }
    return out;
}

// A run without a window makes its report's PDF with Qt's PDF writer, which wants
// Qt's fonts: loaded on the offscreen platform for the first PDF, not at start.
bool MakeHeadlessReportPdf(const RunRecord& record, const std::string& fingerprint, int fd,
                           std::string& error) {
    static std::once_flag started;
    std::call_once(started, [] {
        if (QCoreApplication::instance()) return;
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        static int argc = 1;
        static char name[] = "kelvane";
        static char* argv[] = {name, nullptr};
        // Lives as long as the program: the run ends with the program.
        new QGuiApplication(argc, argv);
    });
    return MakeReportPdf(record, fingerprint, fd, error);
}

}  // namespace

// The application: runs the main window modally; when it ends, so does the program.
class CKelvaneApp : public CWinApp {
  public:
    CKelvaneApp(int& argc, char** argv, bool unattended)
        : CWinApp(argc, argv), unattended_(unattended) {}

    bool InitInstance() override {
        QApplication::setWindowIcon(KelvaneIcon());
        std::vector<std::u16string> args = WideArguments();
        std::vector<std::string> reportPaths;
        if (!TakeReportArguments(args, reportPaths)) {
            std::fprintf(stderr, "kelvane: -report needs a path\n");
            m_nExitCode = 1;
            return false;
        }
        for (const std::string& r : reportPaths)
            if (const std::string problem = ReportPathProblem(r); !problem.empty()) {
                std::fprintf(stderr, "kelvane: -report: %s\n",
                             Utf8FromWide(PrintableText(WideFromUtf8(problem))).c_str());
                m_nExitCode = CKelvaneDlg::kExitRefused;
                return false;
            }
        SingleInstance instance;
        if (!unattended_ && !StartsOwnRun(args)) {
            const HandedPaths handed = PathsToHandOver(args);
            const QStringList& paths = handed.paths;
            // A window is open already: it takes the files and comes to the front.
            // Two starts at once: the one that does not get the socket hands over.
            if (instance.HandOver(paths) || (!instance.Listen() && instance.HandOver(paths))) {
                for (const std::string& line : handed.problems)
                    std::fprintf(stderr, "%s\n", line.c_str());
                m_nExitCode = handed.status != 0 ? handed.status : handed.problems.empty() ? 0 : 1;
                return false;
            }
        }
        CKelvaneDlg dlg;
        QObject::connect(&instance, &SingleInstance::PathsReceived, &dlg,
                         [&dlg](const QStringList& paths) {
                             std::vector<std::u16string> wide;
                             for (const QString& p : paths) wide.push_back(FromQ(p));
                             dlg.TakeHandedPaths(wide);
                         });
        dlg.SetCommandLine(args);
        dlg.State().reportPaths = reportPaths;
        dlg.SetUnattended(unattended_);
        m_pMainWnd = &dlg;
        dlg.DoModal();
        m_pMainWnd = nullptr;
        m_nExitCode = dlg.ExitCode();
        return false;
    }

  private:
    bool unattended_;
};

int main(int argc, char** argv) {
    // Answered before Qt starts: they need no display.
    if (AnswerInfoSwitch(argc, argv, stdout)) return 0;
    if (argc > 1 && std::strcmp(argv[1], "-verifyreport") == 0) {
        // The same check, answers and statuses as kelvane-cli verify-report.
        std::vector<std::string> args{"kelvane", "verify-report"};
        for (int i = 2; i < argc; ++i) args.emplace_back(argv[i]);
        const CliParse parse = ParseCliArguments(args);
        if (!parse.error.empty()) {
            std::fprintf(stderr, "kelvane: -verifyreport: %s\n", parse.error.c_str());
            std::fprintf(stderr, "Usage: kelvane -verifyreport [--trust FILE]... REPORT\n");
            return kExitUsage;
        }
        if (parse.options.command != CliCommand::kVerifyReport) {
            std::printf(
                "Usage: kelvane -verifyreport [--trust FILE]... REPORT\n"
                "Checks a report as kelvane-cli verify-report does: 0 intact and "
                "signed by a trusted key, 1 changed, 2 not readable or not a report, "
                "3 intact but signed by a key not trusted here, 4 usage error.\n");
            return 0;
        }
        return RunVerifyReport(parse.options, "kelvane");
    }
    // A file-size limit (ulimit -f) must fail the write that exceeds it, so that
    // the run can say so, instead of ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
    // A run nobody sees needs no window: it runs on the terminal, without Qt.
    if (NoDisplay() && argc > 1 &&
        (std::strcmp(argv[1], "-exec") == 0 || std::strcmp(argv[1], "-drives") == 0 ||
         std::strcmp(argv[1], "-trash") == 0)) {
        // Its report gets a PDF too; Qt's fonts are loaded only when one is made.
        SetReportPdfMaker(MakeHeadlessReportPdf);
        return RunHeadless(argc, argv);
    }
    const bool unattended = NoDisplay();
    if (unattended) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        InstallStopSignalHandlers();
    }
    // Ties the window to its desktop entry (Wayland app id, task bar grouping).
    QGuiApplication::setDesktopFileName(QStringLiteral(KELVANE_APP_ID));
    CKelvaneApp app(argc, argv, unattended);
    // The window's runs leave their report as a PDF as well.
    SetReportPdfMaker(MakeReportPdf);
    return app.Run();
}
