#include "runs/DeferredFolders.h"

#include <algorithm>

#include "engine/FileOps.h"

void DeferredFolders::Add(const std::u16string& folder, const fsys::Root& root, bool given) {
    if (!index_.emplace(folder, waiting_.size()).second) return;
    waiting_.push_back({folder, root, given});
}

void DeferredFolders::Gone(const std::u16string& folder, const fsys::Root& root) {
    const auto it = index_.find(folder);
    if (it == index_.end()) return;
    waiting_[it->second].folder.clear();
    index_.erase(it);
    // "\\" is a name character here: only "/" separates.
    size_t end = folder.size();
    while (end > 1 && folder[end - 1] == u'/') --end;
    const size_t slash = folder.rfind(u'/', end - 1);
    // The parent was not given: it only held what was.
    if (slash != std::u16string::npos && slash > 0) Add(folder.substr(0, slash + 1), root, false);
    // Forgotten places are reused once they are most of the list.
    if (waiting_.size() >= 64 && index_.size() * 2 < waiting_.size()) Compact();
}

void DeferredFolders::RemoveAll(FileOps& ops) const {
    for (const Waiting& w : waiting_) {
        if (w.folder.empty()) continue;
        ops.ConfineTo(w.root);
        (void)ops.RemoveFolderChain(w.folder, w.given);
    }
}

void DeferredFolders::Compact() {
    std::erase_if(waiting_, [](const Waiting& w) { return w.folder.empty(); });
    for (size_t i = 0; i < waiting_.size(); ++i) index_[waiting_[i].folder] = i;
}

FolderNow LookAtFolder(const fsys::Root& root, const std::u16string& path) {
    fsys::Place place;
    switch (fsys::Locate(root, path, place)) {
        case fsys::LocateResult::kFound:
            break;
        case fsys::LocateResult::kMissing:
            return FolderNow::kGone;
        default:
            return FolderNow::kChanged;
    }
    fsys::Attributes attr;
    if (fsys::GetAttributes(place, attr)) {
        return attr.kind == fsys::Kind::kFolder ? FolderNow::kThere : FolderNow::kChanged;
    }
    return attr.kind == fsys::Kind::kMissing ? FolderNow::kGone : FolderNow::kChanged;
}
