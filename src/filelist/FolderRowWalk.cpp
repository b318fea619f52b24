#include "filelist/FolderRowWalk.h"

#include <ctime>

#include "config/TextConv.h"
#include "filelist/FileListOps.h"
#include "filelist/FolderExpansion.h"

namespace {

NewRow FolderRow(const std::u16string& folder) {
    return {FileNameOfPath(folder), u"0", kFolderMarker, folder};
}

}  // namespace

FolderRowWalk::FolderRowWalk(std::vector<std::u16string> folders) : folders_(std::move(folders)) {}

bool FolderRowWalk::Next(NewRow& row) {
    while (ready_.empty()) {
        if (walking_) {
            Step();
        } else if (nextFolder_ < folders_.size()) {
            BeginFolder();
        } else {
            return false;
        }
    }
    row = std::move(ready_.front());
    ready_.pop_front();
    return true;
}

void FolderRowWalk::BeginFolder() {
    const std::u16string folder = folders_[nextFolder_++];
    WalkOptions options;
    options.recursive = true;
    options.startFolder = folder;
    options.reportFolders = false;
    options.reportEmptyFolders = true;
    options.fillSizeAndTime = true;  // the walk measures relative to its folder
    ops_.WalkConfigure(options);
    entered_.assign(1, folder);
    std::u16string path;
    int64_t size = 0, time = 0;
    walking_ = ops_.WalkFirst(path, size, time);
    // A chosen folder that cannot be opened still gets its row: the run then
    // says what became of it.
    if (!walking_) {
        LeaveFolder();
        return;
    }
    TakeStep(path, size, time);
}

void FolderRowWalk::Step() {
    std::u16string path;
    int64_t size = 0, time = 0;
    if (!ops_.WalkNext(path, size, time)) {
        walking_ = false;
        while (!entered_.empty()) LeaveFolder();
        return;
    }
    TakeStep(path, size, time);
}

void FolderRowWalk::TakeStep(const std::u16string& path, int64_t size, int64_t time) {
    // An empty sub-folder is reported with its own path ending in "/": it adds no
    // file row; its folder row comes as the walk leaves it, like any other's.
    if (!path.empty() && path.back() != u'/')
        ready_.push_back({FileNameOfPath(path),
                          WideFromUtf8(std::to_string(static_cast<long long>(size))),
                          LocalTimeText(static_cast<std::time_t>(time)), path});
    if (ops_.WalkSkipped() != WalkSkip::kNone)
        ready_.push_back({FileNameOfPath(ops_.WalkSkippedPath()),
                          NotListedReason(ops_.WalkSkipped()), kNotListedMarker,
                          ops_.WalkSkippedPath()});
    // A step enters one folder or leaves one, never both.
    const std::u16string& current = ops_.WalkCurrentFolder();
    if (current.size() > entered_.back().size())
        entered_.push_back(current);
    else if (current.size() < entered_.back().size())
        LeaveFolder();
}

void FolderRowWalk::LeaveFolder() {
    ready_.push_back(FolderRow(entered_.back()));
    entered_.pop_back();
}
