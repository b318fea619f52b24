#include "cli/CliOptions.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <functional>

#include "cli/PathListSpool.h"
#include "config/TextConv.h"
#include "platform/SafeFiles.h"

namespace {

std::string Shown(const std::string& path) {
    return Utf8FromWide(PrintableText(WideFromUtf8(path)));
}

// Which subcommands take an option.
enum : unsigned { kS = 1, kF = 2, kC = 4, kV = 8, kK = 16 };

struct OptionRule {
    char shortName;  // 0: none
    const char* longName;
    bool takesValue;
    unsigned commands;
};

constexpr OptionRule kRules[] = {
    {'n', "passes", true, kS | kF},
    {0, "random", false, kS | kF},
    {0, "value", true, kS | kF},
    {0, "pattern", true, kS | kF},
    {0, "keep-names", false, kS},
    {0, "keep-size", false, kS},
    {0, "keep-folder", false, kS},
    {0, "verify", false, kS},
    {0, "free-space-after", false, kS},
    {0, "reserve", false, kS | kF},
    {0, "exclude", true, kS | kC},
    {0, "one-file-system", false, kS | kC},
    {0, "trash", false, kS},
    {0, "files-from", true, kS | kC},
    {'0', "null", false, kS | kC},
    {'y', "yes", false, kS | kF},
    {0, "json", false, kS | kF | kC},
    {'q', "quiet", false, kS | kF | kC},
    {'v', "verbose", false, kS | kF | kC},
    {0, "log", true, kS | kF},
    {0, "report", true, kS | kF},
    {0, "key", true, kS | kF | kK},
    {0, "public", false, kK},
    {0, "allowed-signers", true, kK},
    {0, "trust", true, kV},
    {0, "path", true, kV},
    {0, "report-dir", true, kS | kF},
    {0, "no-log", false, kS | kF},
    {0, "keep-logs", true, kS | kF},
    {0, "keep-logs-days", true, kS | kF},
    {0, "keep-reports", true, kS | kF},
    {0, "keep-reports-days", true, kS | kF},
    {'h', "help", false, kS | kF | kC | kV | kK},
    {0, "version", false, kS | kF | kC | kV | kK},
};

const OptionRule* FindLong(const std::string& name) {
    for (const OptionRule& s : kRules)
        if (name == s.longName) return &s;
    return nullptr;
}
const OptionRule* FindShort(char c) {
    for (const OptionRule& s : kRules)
        if (s.shortName != 0 && s.shortName == c) return &s;
    return nullptr;
}

bool AllDigits(const std::string& s) {
    if (s.empty() || s.size() > 9) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

// A byte as a decimal number or 0xNN.
bool ParseByte(const std::string& s, int& out) {
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        const std::string hex = s.substr(2);
        if (hex.empty() || hex.size() > 2) return false;
        char* end = nullptr;
        const long v = std::strtol(hex.c_str(), &end, 16);
        if (*end != '\0' || hex[0] == '-' || hex[0] == '+') return false;
        out = static_cast<int>(v);
        return true;
    }
    if (!AllDigits(s)) return false;
    const long v = std::strtol(s.c_str(), nullptr, 10);
    if (v > 255) return false;
    out = static_cast<int>(v);
    return true;
}

std::string AbsolutePath(const std::string& path) {
    char buffer[PATH_MAX];
    if (::realpath(path.c_str(), buffer)) return buffer;
    return path;
}

struct Parser {
    CliParse result;
    unsigned commandBit = 0;
    int fillChoices = 0;

    bool Fail(std::string message) {
        if (result.error.empty()) result.error = std::move(message);
        return false;
    }

    bool Apply(const OptionRule& rule, const std::string& shown, const std::string& value) {
        CliOptions& o = result.options;
        const std::string name = rule.longName;
        if (!(rule.commands & commandBit) && name != "help" && name != "version")
            return Fail("option '" + shown + "' does not apply to this command");
        if (name == "passes") {
            if (!AllDigits(value) || std::atoi(value.c_str()) < 1 || std::atoi(value.c_str()) > 300)
                return Fail("invalid number of passes '" + value + "' (1 to 300)");
            o.passes = std::atoi(value.c_str());
        } else if (name == "random") {
            ++fillChoices;
            o.random = true;
            o.shredValue.reset();
        } else if (name == "value") {
            int byte = 0;
            if (!ParseByte(value, byte))
                return Fail("invalid byte value '" + value + "' (0 to 255, or 0x00 to 0xff)");
            ++fillChoices;
            o.random = false;
            o.shredValue = std::to_string(byte);
        } else if (name == "pattern") {
            // Opened as it will be read: a FIFO or a device is refused at once.
            std::string why;
            const int fd = fsys::OpenForReading(value, why);
            struct stat st {};
            const bool empty = fd >= 0 && (::fstat(fd, &st) != 0 || st.st_size == 0);
            if (fd >= 0) ::close(fd);
            if (fd < 0) return Fail("pattern file '" + Shown(value) + "': " + why);
            if (empty) return Fail("pattern file '" + Shown(value) + "' is empty");
            ++fillChoices;
            o.random = false;
            o.shredValue = AbsolutePath(value);
        } else if (name == "keep-names") {
            o.keepNames = true;
        } else if (name == "keep-size") {
            o.keepSize = true;
        } else if (name == "keep-folder") {
            o.keepFolder = true;
        } else if (name == "verify") {
            o.verify = true;
        } else if (name == "free-space-after") {
            o.freeSpaceAfter = true;
        } else if (name == "reserve") {
            o.reserve = true;
        } else if (name == "exclude") {
            if (value.empty()) return Fail("empty pattern for '--exclude'");
            o.excludes.push_back(value);
        } else if (name == "trash") {
            o.trash = true;
        } else if (name == "one-file-system") {
            o.oneFileSystem = true;
        } else if (name == "files-from") {
            struct stat st {};
            if (value != "-" && (::stat(value.c_str(), &st) != 0 || S_ISDIR(st.st_mode)))
                return Fail("list of files '" + value + "' not found");
            o.filesFrom = value;
        } else if (name == "null") {
            o.nullSeparated = true;
        } else if (name == "yes") {
            o.yes = true;
        } else if (name == "json") {
            o.json = true;
        } else if (name == "quiet") {
            o.quiet = true;
        } else if (name == "verbose") {
            o.verbose = true;
        } else if (name == "log") {
            if (value.empty()) return Fail("empty file name for '--log'");
            o.logFile = value;
        } else if (name == "report") {
            if (value.empty()) return Fail("empty path for '--report'");
            o.reportPaths.push_back(value);
        } else if (name == "key") {
            if (value.empty()) return Fail("empty file name for '--key'");
            o.keyFile = AbsolutePath(value);
        } else if (name == "public") {
            o.keyPublic = true;
        } else if (name == "allowed-signers") {
            // One principal, written into an allowed-signers line: quoted there
            // when it holds spaces, so it must hold no quote or line break.
            if (value.empty() || value.find_first_of("\"\n\r") != std::string::npos)
                return Fail("invalid principal '" + value + "' for '--allowed-signers'");
            o.allowedSignersPrincipal = value;
        } else if (name == "trust") {
            if (value.empty()) return Fail("empty file name for '--trust'");
            o.trustFiles.push_back(value);
        } else if (name == "path") {
            if (value.empty()) return Fail("empty path for '--path'");
            o.hiddenPath = value;
        } else if (name == "report-dir") {
            struct stat st {};
            if (value.empty() || ::stat(value.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
                return Fail("reports folder '" + value + "' not found");
            o.reportDir = AbsolutePath(value);
        } else if (name == "no-log") {
            o.noLog = true;
        } else if (name == "keep-logs" || name == "keep-logs-days" || name == "keep-reports" ||
                   name == "keep-reports-days") {
            if (!AllDigits(value) || std::atoi(value.c_str()) > 100000)
                return Fail("invalid number '" + value + "' for '--" + name + "' (0 to 100000)");
            const int n = std::atoi(value.c_str());
            (name == "keep-logs"        ? o.keepLogs
             : name == "keep-logs-days" ? o.keepLogsDays
             : name == "keep-reports"   ? o.keepReports
                                        : o.keepReportsDays) = n;
        } else if (name == "help") {
            o.command = CliCommand::kHelp;
        } else if (name == "version") {
            o.command = CliCommand::kVersion;
        }
        return true;
    }
};

}  // namespace

CliParse ParseCliArguments(const std::vector<std::string>& args) {
    Parser p;
    CliOptions& o = p.result.options;
    size_t i = 1;
    // Before the subcommand only --help and --version.
    if (i < args.size() && (args[i] == "--help" || args[i] == "-h")) {
        o.command = CliCommand::kHelp;
        return p.result;
    }
    if (i < args.size() && args[i] == "--version") {
        o.command = CliCommand::kVersion;
        return p.result;
    }
    if (i >= args.size()) {
        p.Fail("no command given");
        return p.result;
    }
    const std::string& command = args[i++];
    if (command == "shred") {
        o.command = CliCommand::kShred;
        p.commandBit = kS;
    } else if (command == "free-space") {
        o.command = CliCommand::kFreeSpace;
        p.commandBit = kF;
    } else if (command == "check") {
        o.command = CliCommand::kCheck;
        p.commandBit = kC;
    } else if (command == "verify-report") {
        o.command = CliCommand::kVerifyReport;
        p.commandBit = kV;
    } else if (command == "key") {
        o.command = CliCommand::kKey;
        p.commandBit = kK;
    } else {
        p.Fail(
            (command.size() > 1 && command[0] == '-' ? "unknown option '" : "unknown command '") +
            command + "'");
        return p.result;
    }
    const CliCommand chosen = o.command;

    bool optionsEnd = false;
    for (; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnd || arg.size() < 2 || arg[0] != '-') {
            o.paths.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnd = true;
            continue;
        }
        if (arg[1] == '-') {
            const size_t eq = arg.find('=');
            const std::string name = arg.substr(2, eq == std::string::npos ? eq : eq - 2);
            const OptionRule* rule = FindLong(name);
            if (!rule) {
                p.Fail("unknown option '--" + name + "'");
                break;
            }
            std::string value;
            if (rule->takesValue) {
                if (eq != std::string::npos) {
                    value = arg.substr(eq + 1);
                } else if (i + 1 < args.size()) {
                    value = args[++i];
                } else {
                    p.Fail("option '--" + name + "' needs a value");
                    break;
                }
            } else if (eq != std::string::npos) {
                p.Fail("option '--" + name + "' takes no value");
                break;
            }
            if (!p.Apply(*rule, "--" + name, value)) break;
            continue;
        }
        // Short options, several in one argument; one that takes a value takes
        // the rest of the argument or the next one.
        bool failed = false;
        for (size_t k = 1; k < arg.size() && !failed; ++k) {
            const OptionRule* rule = FindShort(arg[k]);
            const std::string shown = std::string("-") + arg[k];
            if (!rule) {
                failed = !p.Fail("unknown option '" + shown + "'");
                break;
            }
            std::string value;
            if (rule->takesValue) {
                if (k + 1 < arg.size()) {
                    value = arg.substr(k + 1);
                } else if (i + 1 < args.size()) {
                    value = args[++i];
                } else {
                    failed = !p.Fail("option '" + shown + "' needs a value");
                    break;
                }
                k = arg.size();
            }
            failed = !p.Apply(*rule, shown, value);
        }
        if (failed) break;
    }
    if (!p.result.error.empty()) return p.result;
    if (o.command == CliCommand::kHelp || o.command == CliCommand::kVersion) return p.result;
    o.command = chosen;
    if (chosen == CliCommand::kVerifyReport) {
        // One report file and nothing else.
        if (o.paths.size() != 1 || o.paths.front().empty())
            p.Fail("verify-report takes one report file");
        return p.result;
    }
    if (chosen == CliCommand::kKey) {
        if (!o.paths.empty())
            p.Fail("key takes no paths");
        else if (o.keyPublic && !o.allowedSignersPrincipal.empty())
            p.Fail("choose one of '--public' and '--allowed-signers'");
        return p.result;
    }
    if (p.fillChoices > 1) {
        p.Fail("choose only one of '--random', '--value' and '--pattern'");
        return p.result;
    }
    if (o.nullSeparated && o.filesFrom.empty()) {
        p.Fail("option '-0' goes with '--files-from'");
        return p.result;
    }
    if (o.trash && (!o.paths.empty() || !o.filesFrom.empty())) {
        p.Fail("'--trash' takes no paths");
        return p.result;
    }
    if (o.paths.empty() && o.filesFrom.empty() && !o.trash)
        p.Fail(chosen == CliCommand::kFreeSpace ? "no mount point given" : "no path given");
    return p.result;
}

std::vector<std::string> SplitFileList(const std::string& text, bool nullSeparated) {
    std::vector<std::string> out;
    PathListSplitter splitter(nullSeparated);
    const PathListSplitter::Take take = [&out](const std::string& p) {
        out.push_back(p);
        return true;
    };
    (void)splitter.Feed(text, take);
    (void)splitter.End(take);
    return out;
}

std::string CliHelpText() {
    return R"(Usage: kelvane-cli shred [OPTIONS] PATH...
       kelvane-cli shred [OPTIONS] --trash
       kelvane-cli free-space [OPTIONS] MOUNTPOINT...
       kelvane-cli check [OPTIONS] PATH...
       kelvane-cli verify-report [--trust FILE]... [--path PATH] REPORT
       kelvane-cli key [--key FILE] [--public | --allowed-signers PRINCIPAL]
       kelvane-cli --help | --version

Overwrite files in place, scramble their names and remove them (shred), overwrite
the free space of mounted file systems (free-space), or tell what a shred would do
and whether overwriting reaches each file's data, touching nothing (check).
Every shred and free-space run leaves a signed report (JSON) in the reports
folder, with an OpenSSH signature of it beside it (REPORT.sig). verify-report
checks one and prints its summary; key shows the signing key.
With --path, verify-report also tells whether PATH is among the report's hidden
names, with the names secret of the storage folder (FOUND or NOT FOUND).
Folders are always walked. Defaults come from the settings of Kelvane; options
change only this run. check also names the files a shred could not write
(read-only mount, immutable or append-only, no permission).
Data goes to standard output (the JSON lines, or the entries' lines of -v and
check), everything else to standard error. Texts for people are in the language
of LC_ALL, LC_MESSAGES or LANG where Kelvane has it, else in the window's; the
JSON lines are English.
change only this run. A path ending in '.' or '..' is refused; a link directly
in / (/bin, /lib64 on a merged-/usr system) or one leading to a system place is
never shredded. A folder given to free-space fills the whole drive holding it.

  -n, --passes N       overwrite N times (1 to 300)
      --random         overwrite with random data
      --value BYTE     overwrite with this byte (0 to 255, or 0x00 to 0xff)
      --pattern FILE   overwrite with the contents of FILE (a regular file), repeated
      --keep-names     do not scramble the names before removing
      --keep-size      do not change the sizes before removing
      --keep-folder    shred everything inside the chosen folders (and beside
                       the files chosen by name) but keep those folders
      --verify         read the last pass back and check it
      --free-space-after  then overwrite the free space of the drives whose files
                       were shredded, where earlier versions of them (an editor's
                       saves, temporary files) may remain (the default is the
                       setting of Kelvane's summary window)
      --reserve        overwrite the space ext4 keeps back for root too, through
                       kelvane-helper (pkexec asks for the password); refused or
                       missing, the run goes on and says what it did not reach
      --exclude GLOB   leave entries whose name, or a folder on the way, matches
                       GLOB (a GLOB with '/' is matched against the whole path);
                       may be given more than once
      --one-file-system  leave what lies on another file system than the folder
      --files-from FILE  read the paths from FILE ('-': standard input, or a pipe
                       such as <(find ...)), one a line; the list is read
                       through and checked before the run, and kept privately in
                       TMPDIR (else /tmp) while it goes
      --trash          shred every item of your trash (the home trash and the
                       trash folders of your mounted drives) and its information
  -0, --null           the paths of --files-from are separated by NUL bytes
  -y, --yes            do not ask before each file (shred) or before filling
                       (free-space); without it, the run asks on the terminal
                       and refuses to start when there is none
      --json           one JSON object per line on standard output per entry and
                       event (schema: kelvane-cli-events.schema.json)
  -q, --quiet          print nothing but errors
  -v, --verbose        print a line per entry
      --log FILE       also append the log lines of the run to FILE (UTF-8): a new
                       private file, or a regular file of yours that nobody else
                       may write to (never a link, FIFO or device)
      --report PATH    also write the run's signed report there (a folder, or a
                       new file name; made new, never through another user's
                       link); may be given more than once
      --key FILE       shred, free-space, key: sign reports with this key (an
                       organisation's) in place of your own: an unencrypted
                       OpenSSH ed25519 private key (ssh-keygen -t ed25519 -N '')
                       or a PKCS#8 PEM one, readable by you alone
      --public         key: print the public key as an OpenSSH line
      --allowed-signers PRINCIPAL  key: print a line for an allowed_signers file
                       that trusts the key for reports, in PRINCIPAL's name
      --trust FILE     verify-report: also trust the keys of this allowed_signers
                       file (OpenSSH's format); may be given more than once
      --report-dir DIR  write the run's report into DIR in place of the reports
                       folder of the settings (DIR must be yours; it is made
                       private)
      --no-log         write no log for this run (the last run's log and its
                       archives stay as they are)
      --keep-logs N    keep at most N log archives (0: no limit; default 30)
      --keep-logs-days DAYS  delete log archives older than DAYS (0: no
                       limit; default 90)
      --keep-reports N  keep at most N reports in the reports folder (0, the
                       default: no limit)
      --keep-reports-days DAYS  delete reports older than DAYS (0, the
                       default: no limit); only archives and reports that
                       Kelvane recorded making are ever deleted
  -h, --help           show this help and end
      --version        show the version and end

verify-report trusts your own key, the keys of
$XDG_CONFIG_HOME/Tessarin/Kelvane/allowed_signers (else ~/.config/...) and of
/etc/kelvane/allowed_signers, and those of --trust files. Without Kelvane, anyone
checks a report with OpenSSH, given the signer's allowed_signers line:
  ssh-keygen -Y verify -f allowed_signers -I PRINCIPAL -n kelvane-report \
             -s REPORT.json.sig < REPORT.json

Schedules (systemd user timers; a crontab line where no user manager runs):
  kelvane-cli schedule add (--every daily|weekly|monthly [--at HH:MM] |
                            --calendar EXPR) [--name TEXT] [--delay SECONDS] [--json]
                           shred [OPTIONS] PATH... | shred --trash | free-space DRIVE...
  kelvane-cli schedule list [--json]
  kelvane-cli schedule remove|run ID
  kelvane-cli run-job ID [--check] [--json]   (what the timer's service runs)
A job keeps the identity of each chosen folder and drive; a run whose folder is
gone, replaced or now a link, or whose drive is not the one it was, is skipped.

Exit status: 0 done, 1 partly done, 2 interrupted (SIGINT, SIGTERM), 3 nothing to
do, 4 usage error; check: 0 every file is overwritten in place, 5 some cannot be
guaranteed, or written; verify-report: 0 intact and signed by a trusted key, 1
changed, 2 not readable or not a report, 3 intact but signed by a key not trusted
here, 4 usage error; run-job --check: 1 skip (the world changed); run-job: 6
skipped.
)";
}

std::string CliVersionText() {
    return std::string("kelvane-cli (Kelvane) ") + KELVANE_VERSION + R"(
Copyright (C) 2018-2026 The Kelvane project.
License MIT: <https://opensource.org/licenses/MIT>.
This is free software: you are free to change and redistribute it.
There is NO WARRANTY, to the extent permitted by law.
)";
}
