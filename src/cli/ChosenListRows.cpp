#include "cli/ChosenListRows.h"

#include <ctime>
#include <iterator>
#include <vector>

#include "config/TextConv.h"
#include "filelist/FileListOps.h"
#include "filelist/FolderExpansion.h"
#include "platform/ConfinedPath.h"
#include "platform/FileSystem.h"
#include "platform/SystemPlaces.h"
#include "runs/RunState.h"

namespace {

NewRow NotListed(const std::u16string& path, const std::u16string& reason) {
    return {FileNameOfPath(path), reason, kNotListedMarker, path};
}

}  // namespace

ChosenListRows::ChosenListRows(const PathListSpool& spool, RunState& state, bool record)
    : spool_(spool), state_(state), record_(record) {
    PathListSpool::Reader folders(spool_);
    PathListSpool::Kind kind;
    for (std::u16string path; folders.Next(kind, path);) {
        if (kind != PathListSpool::Kind::kFolder) continue;
        if (path.back() != u'/') path.push_back(u'/');
        AddOutermost(path);
    }
    reader_.emplace(spool_);
}

void ChosenListRows::AddOutermost(const std::u16string& folder) {
    if (outermost_.count(folder) != 0 || Covered(folder)) return;
    // Named after folders it holds (find -depth): those come with its walk.
    auto it = outermost_.lower_bound(folder);
    while (it != outermost_.end() && it->starts_with(folder)) it = outermost_.erase(it);
    outermost_.insert(folder);
}

bool ChosenListRows::Next(NewRow& row) {
    for (;;) {
        if (entries_) {
            if (NextEntryRow(row)) return true;
            entries_ = false;
            reader_.emplace(spool_);
        }
        if (walk_ && walk_->Next(row)) return true;
        walk_.reset();
        if (!NextFolder()) return false;
    }
}

bool ChosenListRows::NextEntryRow(NewRow& row) {
    PathListSpool::Kind kind;
    std::u16string path;
    while (reader_->Next(kind, path)) {
        if (kind != PathListSpool::Kind::kEntry || Covered(path)) continue;
        fsys::ChosenEntry entry;
        // Looked at again as the run reaches it: what it is now counts. Named
        // when the list was read, so gone meanwhile is no "nothing to do".
        if (!fsys::LookAtChosen(path, entry)) {
            row = NotListed(path, u"gone since the list was read");
            return true;
        }
        const bool folder = entry.attr.kind == fsys::Kind::kFolder;
        if (entry.guard != fsys::Guard::kAllowed) {
            std::u16string shown = entry.path;
            if (folder && shown.back() != u'/') shown.push_back(u'/');
            row = NotListed(shown, fsys::GuardText(entry.guard));
            return true;
        }
        // Walked as a folder it was never looked ahead into.
        if (folder) {
            row = NotListed(entry.path + u"/", u"became a folder since the list was read");
            return true;
        }
        // Recorded before the row is handed out: no run may see the row without it.
        if (record_) {
            state_.chosenRoots.AddHolder(entry.holder);
            if (entry.attr.deviceNode) state_.chosenRoots.AddChosenDevice(entry.path);
        }
        row = {FileNameOfPath(entry.path),
               WideFromUtf8(std::to_string(static_cast<long long>(entry.attr.size))),
               LocalTimeText(static_cast<std::time_t>(entry.attr.modified)), entry.path};
        return true;
    }
    return false;
}

bool ChosenListRows::Covered(const std::u16string& path) const {
    const std::u16string_view whole = path;
    for (size_t i = 0; i + 1 < path.size(); ++i)
        if (path[i] == u'/' && outermost_.find(whole.substr(0, i + 1)) != outermost_.end())
            return true;
    return false;
}

bool ChosenListRows::NextFolder() {
    PathListSpool::Kind kind;
    std::u16string path;
    while (reader_->Next(kind, path)) {
        if (kind != PathListSpool::Kind::kFolder) continue;
        if (path.back() != u'/') path.push_back(u'/');
        // Walked once, and only where no folder above it is.
        if (outermost_.erase(path) == 0) continue;
        if (record_) RecordChosenRoot(state_, path);
        walk_ = std::make_unique<FolderRowWalk>(std::vector<std::u16string>{path});
        return true;
    }
    return false;
}
