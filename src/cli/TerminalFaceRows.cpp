// The rows of the terminal face: the list a window would show, or, when the run
// lists as it goes, the rows it has not dealt with yet and those it left.
#include <algorithm>

#include "cli/ChosenListRows.h"
#include "cli/JsonLines.h"
#include "cli/RowFilter.h"
#include "cli/TerminalFace.h"
#include "config/TextConv.h"
#include "filelist/FileListOps.h"
#include "filelist/FolderQueue.h"
#include "filelist/FolderRowWalk.h"
#include "runs/RunState.h"

namespace {

int64_t SizeOf(const std::u16string& text) {
    int64_t n = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9' || n > (INT64_MAX - 9) / 10) return 0;
        n = n * 10 + (c - u'0');
    }
    return n;
}

const char* SkipReason(RowFilter::Verdict v) {
    switch (v) {
        case RowFilter::Verdict::kExcluded:
            return "excluded";
        case RowFilter::Verdict::kOtherFileSystem:
            return "other-file-system";
        case RowFilter::Verdict::kHeldFolder:
            return "keeps-skipped-entries";
        case RowFilter::Verdict::kKeep:
            break;
    }
    return "";
}

}  // namespace

int TerminalFace::RowCount() {
    std::lock_guard<std::mutex> lock(mutex_);
    // The rows still to be walked count as if listed: the run's "k / total".
    return passed_ + static_cast<int>(rows_.size()) + ahead_;
}

TerminalFace::Row* TerminalFace::RowAtLocked(int row) {
    if (row < 0) return nullptr;
    if (row >= passed_) {
        const auto k = static_cast<size_t>(row - passed_);
        return k < rows_.size() ? &rows_[k] : nullptr;
    }
    const auto it = std::lower_bound(passedFolders_.begin(), passedFolders_.end(), row,
                                     [](const auto& f, int r) { return f.first < r; });
    return it != passedFolders_.end() && it->first == row ? &it->second : nullptr;
}

void TerminalFace::PassRowsBeforeLocked(int row) {
    while (passed_ < row && !rows_.empty()) {
        if (rows_.front().date == kFolderMarker)
            passedFolders_.emplace_back(passed_, std::move(rows_.front()));
        rows_.pop_front();
        ++passed_;
    }
}

bool TerminalFace::RowChecked(int row) {
    std::lock_guard<std::mutex> lock(mutex_);
    const Row* r = RowAtLocked(row);
    return r && r->checked;
}

std::u16string TerminalFace::RowText(int row, int column) {
    std::lock_guard<std::mutex> lock(mutex_);
    const Row* r = RowAtLocked(row);
    if (!r) return {};
    switch (column) {
        case 0:
            return r->name;
        case 1:
            return r->size;
        case 2:
            return r->date;
        case 3:
            return r->path;
        default:
            return {};
    }
}

void TerminalFace::DeleteRow(int row) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (row < 0) return;
    if (row < passed_) {
        auto it = std::lower_bound(passedFolders_.begin(), passedFolders_.end(), row,
                                   [](const auto& f, int r) { return f.first < r; });
        if (it != passedFolders_.end() && it->first == row) it = passedFolders_.erase(it);
        for (; it != passedFolders_.end(); ++it) --it->first;
        --passed_;
        return;
    }
    const auto k = static_cast<size_t>(row - passed_);
    if (k >= rows_.size()) return;
    if (rows_[k].date != kFolderMarker) doneBytes_ += SizeOf(rows_[k].size);
    rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(k));
}

void TerminalFace::SetRowText(int row, int column, const std::u16string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    Row* r = RowAtLocked(row);
    if (!r) return;
    std::u16string* cells[] = {&r->name, &r->size, &r->date, &r->path};
    if (column >= 0 && column < 4) *cells[column] = text;
}

bool TerminalFace::KeepRow(const std::u16string& path, bool folderRow) {
    if (!filter_) return true;
    const RowFilter::Verdict v = filter_->Look(path, folderRow);
    if (v == RowFilter::Verdict::kKeep) return true;
    if (setup_.json)
        Emit(JsonObject()
                 .Add("event", "skipped")
                 .AddPath("path", path)
                 .Add("reason", SkipReason(v)));
    else if (setup_.verbose)
        Say(path + u" [skipped: " + WideFromUtf8(SkipReason(v)) + u"]", true);
    return false;
}

void TerminalFace::AppendRow(const std::u16string& name, const std::u16string& size,
                             const std::u16string& date, const std::u16string& path) {
    if (!KeepRow(path, date == kFolderMarker)) return;
    std::lock_guard<std::mutex> lock(mutex_);
    rows_.push_back({name, size, date, path, true});
}

void TerminalFace::AppendRows(const std::vector<NewRow>& rows, const std::u16string& status) {
    for (const NewRow& r : rows) AppendRow(r.name, r.size, r.date, r.path);
    // The count of a listing is shown, not echoed: the window does the same.
    std::lock_guard<std::mutex> lock(mutex_);
    if (!status.empty()) status_ = status;
}

int TerminalFace::ReadRows(int first, int maxCount, std::vector<RunRow>& out, bool& confirm) {
    if (walk_ || listRows_) ListUpTo(std::max(first, 0) + maxCount);
    out.clear();
    confirm = setup_.confirm;
    std::lock_guard<std::mutex> lock(mutex_);
    // A run reads on from `first`: what lies well behind it (further than the
    // files still under way) is passed. A run that lists as it goes thus holds
    // only the rows ahead of it and the folders it left, however many it failed.
    constexpr int kUnderWayAtMost = 256;
    if (setup_.listAsRunGoes) PassRowsBeforeLocked(first - kUnderWayAtMost);
    const int count = passed_ + static_cast<int>(rows_.size());
    for (int i = std::max(first, 0); i < count && i - first < maxCount; ++i) {
        const Row* r = RowAtLocked(i);
        out.push_back(r ? RunRow{r->checked, r->date, r->path, r->size} : RunRow{});
    }
    return count;
}

void TerminalFace::SetProgressRange(int upper) {
    std::lock_guard<std::mutex> lock(mutex_);
    upper_ = upper;
    pos_ = 0;
    ended_ = false;
    since_ = std::chrono::steady_clock::now();
    if (setup_.mode == FaceSetup::Mode::kShred) {
        // The file run sets its range once, at its start: the bytes ahead are
        // those of the file rows listed then.
        totalBytes_ = 0;
        doneBytes_ = 0;
        for (const Row& r : rows_)
            if (r.checked && r.date != kFolderMarker) totalBytes_ += SizeOf(r.size);
        totalBytes_ += aheadBytes_;
    }
}

bool TerminalFace::SummaryAhead(RunSummary& summary) {
    if (!summaryAhead_) return false;
    summary = *summaryAhead_;
    return true;
}

bool TerminalFace::ListAsRunGoes(RunState& state) {
    std::vector<std::u16string> folders;
    const std::string entryMark = std::to_string(kChosenEntryMark);
    for (int i = 0; i < state.folderQueue.RowCount(); ++i) {
        const std::string cell = state.folderQueue.GetCell(0, i);
        if (!cell.empty() && state.folderQueue.GetCell(1, i) != entryMark)
            folders.push_back(WideFromUtf8(cell));
    }
    if (setup_.mode == FaceSetup::Mode::kCheck) {
        std::lock_guard<std::mutex> lock(mutex_);
        walk_ = std::make_unique<FolderRowWalk>(std::move(folders));
        if (spool_) listRows_ = std::make_unique<ChosenListRows>(*spool_, state, true);
        return true;
    }
    // The look ahead leaves out what the run's walk will, but says nothing: the
    // run's walk does that, once. Its filter starts where the listing left it.
    std::optional<RowFilter> quiet;
    if (filter_) quiet.emplace(*filter_);
    RunSummary summary;
    const bool names = setup_.settings.shredNames != 0;
    storage::DeviceFactsCache cache;
    std::vector<RunRow> listed;
    bool confirm = false;
    ReadRows(0, RowCount(), listed, confirm);
    for (const RunRow& r : listed) CountInSummary(summary, r.kind, r.path, &cache, names);
    int count = 0;
    auto countAll = [&](auto& source) {
        for (NewRow row; source.Next(row);) {
            if (state.stop.load()) return false;
            const bool folderRow = row.date == kFolderMarker;
            if (quiet && quiet->Look(row.path, folderRow) != RowFilter::Verdict::kKeep) continue;
            CountInSummary(summary, row.date, row.path, &cache, names);
            ++count;
        }
        return true;
    };
    FolderRowWalk walk(folders);
    if (!countAll(walk)) return false;
    // The list's first pass records what it names as chosen; the run's finds it so.
    if (spool_) {
        ChosenListRows ahead(*spool_, state, true);
        if (!countAll(ahead)) return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    ahead_ = count;
    aheadBytes_ = summary.bytes;
    summaryAhead_ = summary;
    walk_ = std::make_unique<FolderRowWalk>(std::move(folders));
    if (spool_) listRows_ = std::make_unique<ChosenListRows>(*spool_, state, false);
    return true;
}

bool TerminalFace::NextSourceRow(NewRow& row) {
    if (walk_) {
        if (walk_->Next(row)) return true;
        walk_.reset();
    }
    if (listRows_) {
        if (listRows_->Next(row)) return true;
        listRows_.reset();
    }
    return false;
}

void TerminalFace::ListUpTo(int count) {
    size_t want = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const int listed = passed_ + static_cast<int>(rows_.size());
        if (listed >= count) return;
        want = static_cast<size_t>(count - listed);
    }
    // The walk and the filter's lines outside the lock: the progress line reads on.
    std::vector<NewRow> fresh;
    fresh.reserve(want);
    bool ended = false;
    while (fresh.size() < want) {
        NewRow row;
        if (!NextSourceRow(row)) {
            ended = true;
            break;
        }
        if (KeepRow(row.path, row.date == kFolderMarker)) fresh.push_back(std::move(row));
    }
    std::lock_guard<std::mutex> lock(mutex_);
    for (NewRow& r : fresh)
        rows_.push_back(
            {std::move(r.name), std::move(r.size), std::move(r.date), std::move(r.path), true});
    ahead_ = ended ? 0 : std::max(ahead_ - static_cast<int>(fresh.size()), 0);
}
