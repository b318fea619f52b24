#include "config/CommandLine.h"

#include "config/TextConv.h"
#include "platform/FileSystem.h"

CommandLineFlags ProcessCommandLine(const std::vector<std::u16string>& args,
                                    CommandLineTarget& target) {
    CommandLineFlags flags;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::u16string& arg = args[i];
        if (i == 1 && arg == u"-exec") {
            flags.exec = true;
            continue;
        }
        if (i == 2 && flags.exec && arg == u"--free-space-after") {
            flags.freeSpaceAfter = true;
            continue;
        }
        if (i == 1 && arg == u"-trash") {
            // The user's trash, shredded as "-exec" shreds its list; it stands alone.
            flags.exec = true;
            flags.trash = true;
            flags.askFirst = args.size() > 2 && args[2] == u"--ask";
            break;
        }
        if (i == 1 && arg == u"-drives") {
            flags.drives = true;
            continue;
        }
        if (flags.drives) {
            // Every drive asked for goes to the run, which names the ones it
            // cannot fill (missing, not a folder) and fails: a drive left out
            // here would end as "done" without a word.
            if (arg.empty()) continue;
            // The filler names its files root + name: without the separator they
            // would land beside the folder instead of inside it.
            std::u16string root = arg;
            if (root.back() != u'/' && root.back() != u'\\') root.push_back(u'/');
            target.AddDrive(Utf8FromWide(root));
            continue;
        }
        // Looked at later, off the window's thread: made absolute with the folders
        // above the entry at their real place, its own name kept (a link, even
        // "link/", stays a link), and tied to the folder that holds it.
        target.QueueEntry(arg);
    }
    return flags;
}

bool EndsInDotOrDotDot(const std::u16string& path) {
    size_t end = path.size();
    while (end > 0 && path[end - 1] == u'/') --end;
    if (end == 0) return false;
    const size_t slash = path.rfind(u'/', end - 1);
    const size_t start = slash == std::u16string::npos ? 0 : slash + 1;
    const std::u16string_view last = std::u16string_view(path).substr(start, end - start);
    return last == u"." || last == u"..";
}

std::u16string FirstDotOperand(const std::vector<std::u16string>& args) {
    if (args.size() > 1 && args[1] == u"-drives") return {};
    for (size_t i = 1; i < args.size(); ++i) {
        if (i == 1 && (args[i] == u"-exec" || args[i] == u"-trash")) continue;
        if (i == 2 && args[1] == u"-exec" && args[i] == u"--free-space-after") continue;
        if (EndsInDotOrDotDot(args[i])) return args[i];
    }
    return {};
}

std::string DotOperandMessage(const std::u16string& path) {
    return "refusing to shred '" + Utf8FromWide(PrintableText(path)) +
           "': '.' and '..' are never shredded; name the folder itself";
}
