#include "cli/ChosenListRows.h"

#include <ctime>
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
    reader_.emplace(spool_);
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
        if (kind != PathListSpool::Kind::kEntry) continue;
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

bool ChosenListRows::Covered(const std::u16string& folder) const {
    for (size_t i = 0; i < folder.size(); ++i)
        if (folder[i] == u'/' && folders_.count(folder.substr(0, i + 1)) != 0) return true;
    return false;
}

bool ChosenListRows::NextFolder() {
    PathListSpool::Kind kind;
    std::u16string path;
    while (reader_->Next(kind, path)) {
        if (kind != PathListSpool::Kind::kFolder) continue;
        if (path.back() != u'/') path.push_back(u'/');
        if (Covered(path)) continue;
        folders_.insert(path);
        if (record_) RecordChosenRoot(state_, path);
        walk_ = std::make_unique<FolderRowWalk>(std::vector<std::u16string>{path});
        return true;
    }
    return false;
}
