#include "config/CommandLine.h"

#include "config/TextConv.h"
#include "engine/FileOps.h"
#include "platform/ConfinedPath.h"

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
            fsys::Attributes attr;
            if (!fsys::GetAttributes(arg, attr) || attr.kind != fsys::Kind::kFolder) continue;
            // The filler names its files root + name: without the separator they
            // would land beside the folder instead of inside it.
            std::u16string root = arg;
            if (root.back() != u'/' && root.back() != u'\\') root.push_back(u'/');
            target.AddDrive(Utf8FromWide(root));
            continue;
        }
        // Made absolute once, here, with the folders above the entry at their real
        // place; the entry's own name is kept, so a link (even "link/") stays a link.
        const std::u16string path = fsys::ResolveChosenPath(arg);
        if (path.empty()) continue;
        if (ops.IsFile(path))
            target.AddFileRow(path);
        else if (ops.IsFolder(path))
            target.QueueFolder(path);
    }
    return flags;
}
