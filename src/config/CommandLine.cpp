#include "config/CommandLine.h"

#include "config/TextConv.h"
#include "engine/FileOps.h"

CommandLineFlags ProcessCommandLine(const std::vector<std::u16string>& args,
                                    CommandLineTarget& target) {
    CommandLineFlags flags;
    FileOps ops;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::u16string& arg = args[i];
        if (i == 1 && arg == u"-exec") {
            flags.exec = true;
            continue;
        }
        if (i == 1 && arg == u"-drives") {
            flags.drives = true;
            continue;
        }
        if (flags.drives) {
            if (!ops.IsFolder(arg)) continue;
            // The filler names its files root + name: without the separator they
            // would land beside the folder instead of inside it.
            std::u16string root = arg;
            if (root.back() != u'/' && root.back() != u'\\') root.push_back(u'/');
            target.AddDrive(Utf8FromWide(root));
        } else if (ops.IsFile(arg)) {
            target.AddFileRow(arg);
        } else if (ops.IsFolder(arg)) {
            target.QueueFolder(arg);
        }
    }
    return flags;
}
