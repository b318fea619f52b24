#include "filelist/ListSources.h"

#include <sys/stat.h>

#include "config/TextConv.h"
#include "filelist/FileListOps.h"
#include "filelist/FolderExpansion.h"
#include "filelist/FolderQueue.h"
#include "platform/ConfinedPath.h"
#include "runs/RunState.h"

void AddChosenFiles(RunWindow& window, const std::vector<std::u16string>& paths) {
    for (const auto& p : paths) {
        const std::u16string path = fsys::ResolveChosenPath(p);
        if (!path.empty()) AddFileRow(window, path);
    }
}

bool AddChosenFolder(WorkerThreads& threads, RunWindow& window, RunState& state,
                     const std::u16string& folder, std::string& rememberedFolder) {
    ClearFolderQueue(state);
    const std::u16string resolved = folder.empty() ? folder : fsys::ResolveChosenPath(folder);
    struct stat st {};
    if (!resolved.empty() && ::lstat(Utf8FromWide(resolved).c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            std::u16string path = resolved;
            if (path.back() != u'/') path.push_back(u'/');
            if (QueueFolder(state, path)) rememberedFolder = Utf8FromWide(path);
        } else {
            // A link chosen as a folder is the link: it is removed, its target stays.
            AddFileRow(window, resolved);
        }
    }
    return StartFolderExpansion(threads, window, state);
}

bool AddDroppedPaths(WorkerThreads& threads, RunWindow& window, RunState& state,
                     const std::vector<std::u16string>& paths) {
    ClearFolderQueue(state);
    for (const auto& dropped : paths) {
        struct stat st {};
        // lstat: a dropped link to a folder is the link, and shredding it removes
        // the link; the tree it points to is not the user's selection.
        const std::u16string p = dropped.empty() ? dropped : fsys::ResolveChosenPath(dropped);
        if (p.empty() || ::lstat(Utf8FromWide(p).c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode))
            QueueFolder(state, p);
        else
            AddFileRow(window, p);
    }
    return StartFolderExpansion(threads, window, state);
}
