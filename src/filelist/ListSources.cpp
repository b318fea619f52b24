#include "filelist/ListSources.h"

#include "config/TextConv.h"
#include "filelist/FolderExpansion.h"
#include "filelist/FolderQueue.h"
#include "runs/RunState.h"

// Nothing here looks at the paths: resolving them, telling files from folders and
// recording the folder that holds each is the expansion thread's work, as any of
// them may hang on a mount that stopped answering.

bool AddChosenFiles(WorkerThreads& threads, RunWindow& window, RunState& state,
                    const std::vector<std::u16string>& paths) {
    return AddDroppedPaths(threads, window, state, paths);
}

bool AddChosenFolder(WorkerThreads& threads, RunWindow& window, RunState& state,
                     const std::u16string& folder, std::string& rememberedFolder) {
    ClearFolderQueue(state);
    if (QueueChosenEntry(state, folder)) {
        // Offered next time, if it is a folder by then.
        rememberedFolder = Utf8FromWide(folder);
        if (rememberedFolder.back() != '/') rememberedFolder.push_back('/');
    }
    return StartFolderExpansion(threads, window, state);
}

bool AddDroppedPaths(WorkerThreads& threads, RunWindow& window, RunState& state,
                     const std::vector<std::u16string>& paths) {
    ClearFolderQueue(state);
    for (const auto& path : paths) (void)QueueChosenEntry(state, path);
    return StartFolderExpansion(threads, window, state);
}
