#include "cli/CliOptions.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <functional>

#include "cli/PathListSpool.h"

namespace {

// Which subcommands take an option.
enum : unsigned { kS = 1, kF = 2, kC = 4 };

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
    {'h', "help", false, kS | kF | kC},
    {0, "version", false, kS | kF | kC},
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
            struct stat st {};
            if (::stat(value.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
                return Fail("pattern file '" + value + "' not found");
            if (st.st_size == 0 || ::access(value.c_str(), R_OK) != 0)
                return Fail("pattern file '" + value + "' is empty or cannot be read");
            ++fillChoices;
            o.random = false;
            o.shredValue = AbsolutePath(value);
        } else if (name == "keep-names") {
            o.keepNames = true;
        } else if (name == "keep-size") {
            o.keepSize = true;
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
        // One report file and nothing else.
        if (i + 1 != args.size() || args[i].empty())
            p.Fail("verify-report takes one report file");
        else
            o.paths.push_back(args[i]);
        o.command = CliCommand::kVerifyReport;
        return p.result;
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
       kelvane-cli verify-report FILE
       kelvane-cli --help | --version

Overwrite files in place, scramble their names and remove them (shred), overwrite
the free space of mounted file systems (free-space), or tell what a shred would do
and whether overwriting reaches each file's data, touching nothing (check).
Every shred and free-space run leaves a signed report (JSON) in the reports
folder; verify-report checks one and prints its summary (0 intact, 1 changed).
Folders are always walked. Defaults come from the settings of Kelvane; options
change only this run.

  -n, --passes N       overwrite N times (1 to 300)
      --random         overwrite with random data
      --value BYTE     overwrite with this byte (0 to 255, or 0x00 to 0xff)
      --pattern FILE   overwrite with the contents of FILE, repeated
      --keep-names     do not scramble the names before removing
      --keep-size      do not change the sizes before removing
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
      --files-from FILE  read the paths from FILE ('-': standard input), one a line;
                       the list is read through and checked before the run, and
                       kept privately in TMPDIR (else /tmp) while it goes
      --trash          shred every item of your trash (the home trash and the
                       trash folders of your mounted drives) and its information
  -0, --null           the paths of --files-from are separated by NUL bytes
  -y, --yes            do not ask before each file; without it, the run asks on
                       the terminal and refuses to start when there is none
      --json           one JSON object per line on standard output per entry and
                       event (schema: kelvane-cli-events.schema.json)
  -q, --quiet          print nothing but errors
  -v, --verbose        print a line per entry
      --log FILE       also append the log lines of the run to FILE (UTF-8)
      --report PATH    also write the run's signed report there (a folder, or a
                       new file name); may be given more than once
  -h, --help           show this help and end
      --version        show the version and end

Exit status: 0 done, 1 partly done, 2 interrupted (SIGINT, SIGTERM), 3 nothing to
do, 4 usage error; check: 0 every file is overwritten in place, 5 some cannot be
guaranteed.
)";
}
