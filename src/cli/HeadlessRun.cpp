#include "cli/HeadlessRun.h"

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cli/CliLanguage.h"
#include "cli/FaceRunning.h"
#include "cli/FaceStartup.h"
#include "cli/TerminalFace.h"
#include "config/CommandLine.h"
#include "config/SettingsFile.h"
#include "config/StorageFolders.h"
#include "config/TextConv.h"
#include "log/ShredLog.h"
#include "platform/Platform.h"
#include "platform/StopSignals.h"
#include "report/ReportWriter.h"
#include "runs/FileRun.h"
#include "runs/FreeSpaceRun.h"
#include "runs/RunReport.h"
#include "runs/RunState.h"
#include "runs/WorkerThreads.h"

int RunHeadless(int argc, char** argv) {
    std::vector<std::u16string> args;
    for (int i = 0; i < argc; ++i) args.push_back(WideFromUtf8(argv[i] ? argv[i] : ""));
    const bool drives = args.size() > 1 && args[1] == u"-drives";
    std::vector<std::string> reportPaths;
    if (!TakeReportArguments(args, reportPaths)) {
        std::fprintf(stderr, "kelvane: -report needs a path\n");
        return static_cast<int>(RunOutcome::Partly);
    }
    for (const std::string& r : reportPaths)
        if (const std::string problem = ReportPathProblem(r); !problem.empty()) {
            std::fprintf(stderr, "kelvane: -report: %s\n",
                         Utf8FromWide(PrintableText(WideFromUtf8(problem))).c_str());
            return kExitCannotAsk;
        }
    if (const std::u16string dot = FirstDotOperand(args); !dot.empty()) {
        std::fprintf(stderr, "kelvane: %s\n", DotOperandMessage(dot).c_str());
        return kExitCannotAsk;
    }

    StoragePaths storage =
        FindStoragePaths(DefaultStorageLocations(), Platform().now ? Platform().now() : 0);
    const LoadedSettings loaded = LoadSettings(storage.settingsFile);
    const AppSettings& settings = loaded.values;

    FaceSetup setup;
    setup.mode = drives ? FaceSetup::Mode::kFreeSpace : FaceSetup::Mode::kShred;
    setup.settings = settings;
    // "-exec --free-space-after" changes this run only: `settings` is what is stored.
    if (args.size() > 2 && args[1] == u"-exec" && args[2] == u"--free-space-after")
        setup.settings.freeSpaceAfter = true;
    setup.passes = ClampIterations(settings.iterations);
    setup.confirm = settings.confirm != 0;
    setup.windowEcho = true;
    // "-trash --ask": the summary is shown and the run asked for once, for this
    // run only (what is stored stays).
    setup.askSummary = args.size() > 2 && args[1] == u"-trash" && args[2] == u"--ask";
    if (setup.askSummary) setup.settings.showSummary = true;
    setup.listAsRunGoes = !drives;
    setup.endAction = settings.endAction;
    setup.texts = WindowLanguageTexts(storage.dataFolder, settings.languageName);
    // As the window does when it ends: the settings it runs with go back to the file.
    setup.storeSettings = [&storage, &settings] {
        (void)SaveSettings(storage.settingsFile, settings);
    };

    // The window's log marks: only a stored 1 switches them on.
    ValueLogSwitches switches(settings.enableLog == 1, settings.archiveLog == 1);
    ShredLog log(switches);
    log.SetStorageFolder(storage.storageFolder);
    log.SetArchiveLimits({settings.logArchivesKeep, settings.logArchivesDays});
    TerminalFace face(setup, &log, nullptr, nullptr);

    WarnNotTrusted(face, "kelvane", storage, loaded);

    // The question before each file could only be cancelled: the run would end
    // at its first file with the rest unsaid. Nothing is touched, not even the
    // filler files below, and the settings stay as they are.
    if (setup.askSummary && !::isatty(STDIN_FILENO)) {
        std::fprintf(stderr, "kelvane: no terminal to ask on before shredding the trash\n");
        return kExitCannotAsk;
    }
    if (!drives && setup.confirm && !::isatty(STDIN_FILENO)) {
        std::fprintf(stderr,
                     "kelvane: no terminal to ask before each file on; switch \"Confirm delete\" "
                     "off to shred without asking\n");
        return kExitCannotAsk;
    }

    RunState state;
    state.storageFolder = storage.storageFolder;
    state.reportPaths = reportPaths;
    // A killed free-space run left its filler files: they go before anything else.
    const bool cleanedUp = CleanUpAtStart(face, storage.storageFolder, settings, false);
    // Whatever happens below, the clean-up's lines are written once: into the
    // run's log, or into the log as it is when no run begins.
    struct WriteCarriedAtEnd {
        ShredLog& log;
        ~WriteCarriedAtEnd() { log.WriteCarried(); }
    } carried{log};

    InstallStopSignalHandlers();
    WorkerThreads threads;
    if (!ListCommandLine(args, face, state, threads, true)) {
        face.StoreSettings();
        return static_cast<int>(RunOutcome::Interrupted);
    }
    if (drives && !cleanedUp) {
        // A drive does not answer: the record a fill writes is the one still read.
        face.SetStatusText(face.MessageText("FrmMain.m_acMCleanUpPending"));
        face.StoreSettings();
        return static_cast<int>(RunOutcome::Partly);
    }
    const RunOutcome outcome = RunListedEntries(threads, state, face, drives);
    // No run: the window ends at once, storing its settings as it goes.
    if (outcome == RunOutcome::NothingToShred) face.StoreSettings();
    return outcome == RunOutcome::None ? 0 : static_cast<int>(outcome);
}
