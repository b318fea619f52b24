#include "cli/CliRun.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <optional>

#include "cli/CliCheck.h"
#include "cli/CliLanguage.h"
#include "cli/CliOptions.h"
#include "cli/CliSchedule.h"
#include "cli/CliVerify.h"
#include "cli/FaceRunning.h"
#include "cli/FaceStartup.h"
#include "cli/JsonLines.h"
#include "cli/PathListSpool.h"
#include "cli/RowFilter.h"
#include "cli/TerminalFace.h"
#include "config/CommandLine.h"
#include "config/SettingsFile.h"
#include "config/StorageFolders.h"
#include "config/TextConv.h"
#include "log/ShredLog.h"
#include "platform/BoundedCall.h"
#include "platform/Platform.h"
#include "platform/SafeFiles.h"
#include "platform/StopSignals.h"
#include "platform/Volumes.h"
#include "report/HiddenNames.h"
#include "report/ReportWriter.h"
#include "runs/FileRun.h"
#include "runs/FillOutcomeText.h"
#include "runs/FreeSpaceRun.h"
#include "runs/RunState.h"
#include "runs/TerminalConfirm.h"
#include "runs/WorkerThreads.h"

namespace {

constexpr const char* kProgram = "kelvane-cli";

std::string Shown(const std::string& path) {
    return Utf8FromWide(PrintableText(WideFromUtf8(path)));
}

int UsageError(const std::string& message) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", kProgram,
                 message.c_str(), kProgram);
    return kExitUsage;
}

// The paths of the command line; each must name something.
bool GatherPaths(const CliOptions& o, std::string& error) {
    for (const std::string& p : o.paths) {
        if (o.command != CliCommand::kFreeSpace && EndsInDotOrDotDot(WideFromUtf8(p))) {
            error = DotOperandMessage(WideFromUtf8(p));
            return false;
        }
        struct stat st {};
        if (::lstat(p.c_str(), &st) != 0) {
            error = "cannot access '" + Utf8FromWide(PrintableText(WideFromUtf8(p))) +
                    "': " + std::strerror(errno);
            return false;
        }
        if (o.command == CliCommand::kFreeSpace &&
            (::stat(p.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))) {
            error = "'" + Utf8FromWide(PrintableText(WideFromUtf8(p))) + "' is no folder";
            return false;
        }
    }
    return true;
}

// Once before a free-space run without -y: what is filled, drive by drive; a
// folder below a mount point is named with the drive that holds it, as the
// whole of that drive's free space is filled.
bool AskBeforeFilling(const std::vector<std::string>& paths) {
    std::fprintf(stderr, "The free space of these drives will be filled:\n");
    for (const std::string& p : paths) {
        // As the run will name it: a drive's root ends with "/".
        const std::u16string root = WideFromUtf8(p.empty() || p.back() == '/' ? p : p + "/");
        // A drive that does not answer keeps its thread, not the question.
        const std::optional<std::u16string> line =
            bounded::CallWithin<std::u16string>([root]() -> std::u16string {
                const std::u16string drive = DriveOfFolderLine(root);
                if (!drive.empty()) return drive;
                const DriveSpace space = QueryDriveSpace(root);
                return PrintableText(root) +
                       (space.ok ? u" (" + ByteAmountText(space.freeToCaller) + u" free)" : u"");
            });
        // Each part is printable already (names escaped).
        std::fprintf(
            stderr, "  %s\n",
            Utf8FromWide(line ? *line : PrintableText(root) + u" (not answering)").c_str());
    }
    const int answer = AskOnTerminal(u"Fill them?", stdin, stderr, u"[y]es / [n]o");
    return answer == kAnswerYes || answer == kAnswerYesToAll;
}

AppSettings WithOptions(AppSettings s, const CliOptions& o) {
    if (o.random) s.random = *o.random ? 1 : 0;
    if (o.shredValue) s.shredValue = *o.shredValue;
    if (o.keepNames) s.shredNames = 0;
    if (o.keepSize) s.modifySize = 0;
    if (o.keepFolder) s.keepChosenFolders = true;
    if (!o.reportDir.empty()) s.reportFolder = o.reportDir;
    if (o.keepLogs) s.logArchivesKeep = *o.keepLogs;
    if (o.keepLogsDays) s.logArchivesDays = *o.keepLogsDays;
    if (o.keepReports) s.reportsKeep = *o.keepReports;
    if (o.keepReportsDays) s.reportsDays = *o.keepReportsDays;
    if (o.verify) s.verifyLastPass = true;
    if (o.freeSpaceAfter) s.freeSpaceAfter = true;
    if (!o.keyFile.empty()) s.reportKeyFile = o.keyFile;
    // Only when asked on the command line: an unattended run never stops for a
    // password because the window's box was ticked.
    s.overwriteReserve = o.reserve;
    s.confirm = o.yes ? 0 : 1;
    return s;
}

// How the files are overwritten, as the run reads the settings.
const char* FillName(const AppSettings& s) {
    if (s.random != 0 || s.shredValue.empty()) return "random";
    struct stat st {};
    return ::stat(s.shredValue.c_str(), &st) == 0 && !S_ISDIR(st.st_mode) ? "pattern" : "value";
}

const char* OutcomeName(RunOutcome o) {
    switch (o) {
        case RunOutcome::Done:
            return "done";
        case RunOutcome::Partly:
            return "partly";
        case RunOutcome::Interrupted:
            return "interrupted";
        case RunOutcome::NothingToShred:
            return "nothing";
        case RunOutcome::None:
            break;
    }
    return "none";
}

}  // namespace

int RunCli(const std::vector<std::string>& args) {
    if (args.size() > 1 && (args[1] == "schedule" || args[1] == "run-job"))
        return RunScheduleCommand(args);
    const CliParse parse = ParseCliArguments(args);
    if (!parse.error.empty()) return UsageError(parse.error);
    const CliOptions& o = parse.options;
    if (o.command == CliCommand::kHelp) {
        std::fputs(CliHelpText().c_str(), stdout);
        return 0;
    }
    if (o.command == CliCommand::kVersion) {
        std::fputs(CliVersionText().c_str(), stdout);
        return 0;
    }
    if (o.command == CliCommand::kVerifyReport) return RunVerifyReport(o, kProgram);
    if (o.command == CliCommand::kKey) return RunKeyCommand(o, kProgram);
    if (o.command == CliCommand::kShred && !o.yes &&
        (!::isatty(STDIN_FILENO) || o.filesFrom == "-"))
        return UsageError(
            "no terminal to ask before each file on; give -y (--yes) to shred without asking");
    if (o.command == CliCommand::kFreeSpace && !o.yes && !::isatty(STDIN_FILENO))
        return UsageError(
            "no terminal to ask before filling on; give -y (--yes) to fill without asking");
    std::string error;
    if (!o.keyFile.empty() && !CheckKeyOption(o.keyFile, error)) return UsageError(error);
    // A list is read through once now, its paths checked like those of the
    // command line, and kept for the run to read as it goes; the command line's
    // paths then follow the list's.
    std::shared_ptr<PathListSpool> spool;
    if (!o.filesFrom.empty()) {
        spool = std::make_shared<PathListSpool>();
        if (!spool->Fill(o.filesFrom, o.nullSeparated, o.paths, error)) return UsageError(error);
    } else if (!GatherPaths(o, error)) {
        return UsageError(error);
    }

    for (const std::string& r : o.reportPaths)
        if (const std::string problem = ReportPathProblem(r); !problem.empty())
            return UsageError("--report: " + Utf8FromWide(PrintableText(WideFromUtf8(problem))));

    std::unique_ptr<std::FILE, int (*)(std::FILE*)> extraLog(nullptr, std::fclose);
    if (!o.logFile.empty()) {
        // Appended to only when it is the user's own private file (or made so
        // now): never another user's, never a link, FIFO or device.
        std::string why;
        const int fd = fsys::OpenForAppend(o.logFile, why);
        if (fd < 0)
            return UsageError("cannot write the log file '" + Shown(o.logFile) + "': " + why);
        std::FILE* f = ::fdopen(fd, "a");
        if (!f) {
            why = std::strerror(errno);
            ::close(fd);
            return UsageError("cannot write the log file '" + Shown(o.logFile) + "': " + why);
        }
        extraLog.reset(f);
    }

    // Asked once everything of the command line is known to be good.
    if (o.command == CliCommand::kFreeSpace && !o.yes && !AskBeforeFilling(o.paths))
        return static_cast<int>(RunOutcome::Partly);  // cancelled at the question, nothing touched

    // Nothing but a run of the user's choosing: never a shutdown.
    Platform().shutdown = [] { return false; };
    StoragePaths storage = FindStoragePaths(DefaultStorageLocations(), std::time(nullptr));
    const LoadedSettings loaded = LoadSettings(storage.settingsFile);
    const AppSettings settings = WithOptions(loaded.values, o);

    FaceSetup setup;
    setup.mode = o.command == CliCommand::kShred       ? FaceSetup::Mode::kShred
                 : o.command == CliCommand::kFreeSpace ? FaceSetup::Mode::kFreeSpace
                                                       : FaceSetup::Mode::kCheck;
    setup.settings = settings;
    setup.passes = o.passes ? *o.passes : ClampIterations(settings.iterations);
    setup.confirm = !o.yes;
    setup.json = o.json;
    setup.quiet = o.quiet;
    setup.verbose = o.verbose;
    setup.progressBar = !o.quiet && ::isatty(STDERR_FILENO);
    setup.listAsRunGoes = setup.mode != FaceSetup::Mode::kFreeSpace;
    // People are told in their language; --json stays English for the scripts.
    if (!o.json) {
        const LanguageFromLocale language =
            LanguageOfLocale(storage.dataFolder, MessagesLocale(std::getenv));
        if (language.kind == LanguageFromLocale::Kind::kFile)
            setup.texts = LanguageFileTexts(language.file);
        else if (language.kind == LanguageFromLocale::Kind::kNone)
            setup.texts = WindowLanguageTexts(storage.dataFolder, settings.languageName);
    }

    ValueLogSwitches switches(settings.enableLog == 1, settings.archiveLog == 1);
    ShredLog log(switches);
    log.SetStorageFolder(storage.storageFolder);
    log.SetArchiveLimits({settings.logArchivesKeep, settings.logArchivesDays});
    // --no-log: the run neither writes a log nor archives or removes the last one.
    ShredLog* runLog = setup.mode == FaceSetup::Mode::kCheck || o.noLog ? nullptr : &log;

    RunState state;
    state.storageFolder = storage.storageFolder;
    state.reportPaths = o.reportPaths;
    RowFilter filter(state.chosenRoots, o.excludes, o.oneFileSystem);
    TerminalFace face(setup, runLog, extraLog.get(), &filter);
    InstallStopSignalHandlers();

    if (o.json) {
        JsonObject start;
        start.Add("event", "start").Add("command", args[1].c_str()).Add("version", KELVANE_VERSION);
        if (setup.mode != FaceSetup::Mode::kCheck)
            start.Add("passes", setup.passes).Add("fill", FillName(settings));
        if (setup.mode == FaceSetup::Mode::kShred)
            start.AddBool("free-space-after", settings.freeSpaceAfter);
        face.Emit(start);
    }

    WarnNotTrusted(face, kProgram, storage, loaded);
    // Filler files of a killed free-space run go first, as at every start of the window;
    // their lines are written once, into the run's log or, without a run, the log as it is.
    bool cleanedUp = true;
    if (setup.mode != FaceSetup::Mode::kCheck)
        cleanedUp = CleanUpAtStart(face, storage.storageFolder, settings, o.quiet);
    struct WriteCarriedAtEnd {
        ShredLog& log;
        ~WriteCarriedAtEnd() { log.WriteCarried(); }
    } carried{log};

    std::vector<std::u16string> wide{u"kelvane-cli"};
    if (setup.mode == FaceSetup::Mode::kFreeSpace) wide.push_back(u"-drives");
    if (o.trash) wide.push_back(u"-trash");
    if (spool)
        face.ListPathsOf(spool);
    else
        for (const std::string& p : o.paths) wide.push_back(WideFromUtf8(p));

    WorkerThreads threads;
    int status;
    if (!ListCommandLine(wide, face, state, threads, false)) {
        state.lastOutcome = RunOutcome::Interrupted;
        face.SetStatusText(face.MessageText("FrmMain.m_acMShreddingInterrupted"));
        status = static_cast<int>(RunOutcome::Interrupted);
    } else if (setup.mode == FaceSetup::Mode::kFreeSpace && !cleanedUp) {
        // A drive does not answer: the record a fill writes is the one still read.
        state.lastOutcome = RunOutcome::Partly;
        face.SetStatusText(face.MessageText("FrmMain.m_acMCleanUpPending"));
        status = static_cast<int>(RunOutcome::Partly);
    } else if (setup.mode == FaceSetup::Mode::kCheck) {
        status = CheckListedEntries(face);
        if (status == static_cast<int>(RunOutcome::Interrupted))
            state.lastOutcome = RunOutcome::Interrupted;
    } else {
        const RunOutcome outcome =
            RunListedEntries(threads, state, face, setup.mode == FaceSetup::Mode::kFreeSpace);
        status = outcome == RunOutcome::None ? 0 : static_cast<int>(outcome);
    }

    const std::u16string final = face.StatusText();
    if (o.json) {
        JsonObject end;
        end.Add("event", "end");
        end.Add("outcome",
                setup.mode == FaceSetup::Mode::kCheck
                    ? (status == 0                    ? "in-place"
                       : status == kExitNotGuaranteed ? "not-guaranteed"
                                                      : OutcomeName(state.lastOutcome.load()))
                    : OutcomeName(state.lastOutcome.load()));
        end.Add("exit", status).Add("status", final);
        face.Emit(end);
    } else if (!o.quiet && !final.empty()) {
        face.Say(final, false);
    }
    return status;
}
