#pragma once
// The command line of kelvane-cli: a subcommand, its options and its paths.
// Parsing only reads the arguments (and, for --pattern and --files-from, looks
// whether the named file is there): nothing is touched before the whole line is
// known to be good.
#include <optional>
#include <string>
#include <vector>

enum class CliCommand { kNone, kShred, kFreeSpace, kCheck, kVerifyReport, kKey, kHelp, kVersion };

struct CliOptions {
    CliCommand command = CliCommand::kNone;
    std::vector<std::string> paths;  // as given, in order (after --files-from ones)

    // Changes to the stored settings, for this run only.
    std::optional<int> passes;
    std::optional<bool> random;             // --random (true); --value or --pattern (false)
    std::optional<std::string> shredValue;  // decimal byte or the pattern file's absolute path
    bool keepNames = false;
    bool keepSize = false;
    bool keepFolder = false;  // the chosen folders stay, emptied
    bool verify = false;
    bool freeSpaceAfter = false;  // then overwrite the free space of the drives shredded on
    bool reserve = false;         // the root reserve too, through kelvane-helper

    std::vector<std::string> excludes;
    bool oneFileSystem = false;
    bool trash = false;     // the user's trash in place of paths
    std::string filesFrom;  // "-" is standard input
    bool nullSeparated = false;
    bool yes = false;

    bool json = false;
    bool quiet = false;
    bool verbose = false;
    std::string logFile;
    std::vector<std::string> reportPaths;  // --report: more places for the run's report

    // The report key: --key names an organisation's key in place of the user's own.
    std::string keyFile;
    bool keyPublic = false;               // key --public
    std::string allowedSignersPrincipal;  // key --allowed-signers PRINCIPAL
    std::vector<std::string> trustFiles;  // verify-report --trust FILE
    std::string reportDir;                // --report-dir: the reports folder of this run
    bool noLog = false;                   // --no-log: no log, no archive of the last one
    // Keeping limits of this run (0: no limit); unset: the settings'.
    std::optional<int> keepLogs, keepLogsDays, keepReports, keepReportsDays;
    std::string hiddenPath;  // verify-report --path: looked for among the hidden names
};

struct CliParse {
    CliOptions options;
    std::string error;  // one line, without the program name; empty when the line is good
};

CliParse ParseCliArguments(const std::vector<std::string>& args);

// The paths of a --files-from list: one a line, or NUL-separated with -0. Empty
// entries are skipped; a carriage return before a line break is kept, as a name
// may end with one.
std::vector<std::string> SplitFileList(const std::string& text, bool nullSeparated);

// The text of --help.
std::string CliHelpText();
// The text of --version: name and version, copyright, licence and warranty, as
// GNU programs print them.
std::string CliVersionText();
