#include "cli/CliRun.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>

#include "cli/CliCheck.h"
#include "cli/CliOptions.h"
#include "cli/FaceRunning.h"
#include "cli/FaceStartup.h"
#include "cli/JsonLines.h"
#include "cli/PathListSpool.h"
#include "cli/RowFilter.h"
#include "cli/TerminalFace.h"
#include "config/SettingsFile.h"
#include "config/StorageFolders.h"
#include "config/TextConv.h"
#include "log/ShredLog.h"
#include "platform/Platform.h"
#include "platform/StopSignals.h"
#include "report/ReportWriter.h"
#include "runs/FileRun.h"
#include "runs/FreeSpaceRun.h"
#include "runs/RunState.h"
#include "runs/WorkerThreads.h"

namespace {

constexpr const char* kProgram = "kelvane-cli";

int UsageError(const std::string& message) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", kProgram,
                 message.c_str(), kProgram);
    return kExitUsage;
}

// The paths of the command line; each must name something.
bool GatherPaths(const CliOptions& o, std::string& error) {
    for (const std::string& p : o.paths) {
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

AppSettings WithOptions(AppSettings s, const CliOptions& o) {
    if (o.random) s.random = *o.random ? 1 : 0;
    if (o.shredValue) s.shredValue = *o.shredValue;
    if (o.keepNames) s.shredNames = 0;
    if (o.keepSize) s.modifySize = 0;
    if (o.verify) s.verifyLastPass = true;
    if (o.freeSpaceAfter) s.freeSpaceAfter = true;
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
    const CliParse parse = ParseCliArguments(args);
    if (!parse.error.empty()) return UsageError(parse.error);
    const CliOptions& o = parse.options;
    if (o.command == CliCommand::kHelp) {
        std::fputs(CliHelpText().c_str(), stdout);
        return 0;
    }
    if (o.command == CliCommand::kVersion) {
        std::printf("%s %s\n", kProgram, KELVANE_VERSION);
        return 0;
    }
    if (o.command == CliCommand::kVerifyReport) {
        const VerifyOutcome v =
            VerifyReportFile(o.paths.front(), DefaultStorageLocations().programFolder);
        for (const std::string& line : v.lines) std::printf("%s\n", line.c_str());
        return v.status;
    }
    if (o.command == CliCommand::kShred && !o.yes &&
        (!::isatty(STDIN_FILENO) || o.filesFrom == "-"))
        return UsageError(
            "no terminal to ask before each file on; give -y (--yes) to shred without asking");
    std::string error;
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

    std::unique_ptr<std::FILE, int (*)(std::FILE*)> extraLog(nullptr, std::fclose);
    if (!o.logFile.empty()) {
        // Appended to, never followed through a link, private to the user.
        const int fd =
            ::open(o.logFile.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        std::FILE* f = fd >= 0 ? ::fdopen(fd, "a") : nullptr;
        if (!f) {
            if (fd >= 0) ::close(fd);
            return UsageError("cannot write the log file '" + o.logFile +
                              "': " + std::strerror(errno));
        }
        extraLog.reset(f);
    }

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

    ValueLogSwitches switches(settings.enableLog == 1, settings.archiveLog == 1);
    ShredLog log(switches);
    log.SetStorageFolder(storage.storageFolder);

    RunState state;
    state.storageFolder = storage.storageFolder;
    state.reportPaths = o.reportPaths;
    RowFilter filter(state.chosenRoots, o.excludes, o.oneFileSystem);
    TerminalFace face(setup, setup.mode == FaceSetup::Mode::kCheck ? nullptr : &log, extraLog.get(),
                      &filter);
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
