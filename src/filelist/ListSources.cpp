#include "filelist/ListSources.h"

#include <sys/stat.h>

#include "config/TextConv.h"
#include "filelist/FileListOps.h"
#include "filelist/FolderExpansion.h"
#include "filelist/FolderQueue.h"
#include "runs/RunState.h"

void AddChosenFiles(RunWindow& window, const std::vector<std::u16string>& paths) {
    for (const auto& p : paths) AddFileRow(window, p);
}

bool AddChosenFolder(WorkerThreads& threads, RunWindow& window, RunState& state,
                     const std::u16string& folder, std::string& rememberedFolder) {
    ClearFolderQueue(state);
    if (!folder.empty()) {
        std::u16string path = folder;
        if (path.back() != u'/') path.push_back(u'/');
        if (QueueFolder(state, path)) rememberedFolder = Utf8FromWide(path);
    }
    return StartFolderExpansion(threads, window, state);
}

bool AddDroppedPaths(WorkerThreads& threads, RunWindow& window, RunState& state,
                     const std::vector<std::u16string>& paths) {
    ClearFolderQueue(state);
    for (const auto& p : paths) {
        struct stat st {};
        // lstat: a dropped link to a folder is the link, and shredding it removes
        // the link; the tree it points to is not the user's selection.
        if (p.empty() || ::lstat(Utf8FromWide(p).c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode))
            QueueFolder(state, p);
        else
            AddFileRow(window, p);
    }
    return StartFolderExpansion(threads, window, state);
}
