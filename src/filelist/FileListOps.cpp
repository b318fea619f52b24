#include "filelist/FileListOps.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

#include "config/TextConv.h"
#include "engine/FileOps.h"
#include "i18n/SafeFormat.h"
#include "platform/ListCtrl.h"
#include "runs/RunWindow.h"

void AppendListRow(RunWindow& window, const std::u16string& name, const std::u16string& size,
                   const std::u16string& date, const std::u16string& path) {
    window.AppendRow(name, size, date, path);
}

std::u16string LocalTimeText(std::time_t t) {
    std::tm local{};
    if (!::localtime_r(&t, &local)) return u"0000-00-00 00:00:00";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return WideFromUtf8(buf);
}

namespace {

struct FileRowTexts {
    std::u16string name, size, date;
};

// The texts of the row for `path`, or false when there is to be no row.
bool DescribeFile(const std::u16string& path, FileRowTexts& texts) {
    // A path ending with a separator names a folder, never a file entry: the walker
    // reports empty sub-folders that way and they must not become file rows.
    if (path.empty() || path.back() == u'/') return false;
    struct stat st {};
    if (::lstat(Utf8FromWide(path).c_str(), &st) != 0) return false;
    texts.name = FileNameOfPath(path);
    texts.size = WideFromUtf8(std::to_string(static_cast<long long>(st.st_size)));
    texts.date = LocalTimeText(st.st_mtime);
    return true;
}

}  // namespace

bool AddFileRow(RunWindow& window, const std::u16string& path) {
    FileRowTexts t;
    const bool added = DescribeFile(path, t);
    if (added) AppendListRow(window, t.name, t.size, t.date, path);
    UpdateFileCount(window);
    return added;
}

FileRowSeries::FileRowSeries(RunWindow& window)
    : window_(window),
      countFormat_(window.MessageText("FrmMain.m_acMAmountOfFile")),
      count_(window.RowCount()),
      lastFlush_(std::chrono::steady_clock::now()) {}

FileRowSeries::~FileRowSeries() {
    Flush();
}

bool FileRowSeries::AddFile(const std::u16string& path) {
    FileRowTexts t;
    if (!DescribeFile(path, t)) {
        // Rare: the file went. Its count text comes after the rows before it.
        Flush();
        window_.SetStatusText(SafeFormat(countFormat_, {count_}));
        return false;
    }
    ++count_;
    Queue({std::move(t.name), std::move(t.size), std::move(t.date), path}, true);
    return true;
}

void FileRowSeries::AddFile(const std::u16string& path, int64_t size, int64_t time) {
    ++count_;
    Queue({FileNameOfPath(path), WideFromUtf8(std::to_string(static_cast<long long>(size))),
           LocalTimeText(static_cast<std::time_t>(time)), path},
          true);
}

void FileRowSeries::AddNotListed(const std::u16string& path, const std::u16string& reason) {
    // In the list where the walk met it, like the rows around it.
    Queue({FileNameOfPath(path), reason, kNotListedMarker, path}, false);
    ++count_;
}

void FileRowSeries::AddRow(NewRow row) {
    ++count_;
    Queue(std::move(row), true);
}

void FileRowSeries::AddFolder(const std::u16string& folder) {
    Queue({FileNameOfPath(folder), u"0", kFolderMarker, folder}, false);
    ++count_;
}

void FileRowSeries::Queue(NewRow row, bool counted) {
    rows_.push_back(std::move(row));
    // Only the count of a batch's last file row is shown: it is written out then.
    if (counted) statusCount_ = count_;
    // The first rows go at once and the batches grow from there; one goes at least
    // every few hundredths of a second, so the window keeps painting and answering
    // Stop however slowly the walk goes.
    constexpr std::chrono::milliseconds kMaxDelay{30};
    if (rows_.size() >= batchLimit_ || std::chrono::steady_clock::now() - lastFlush_ >= kMaxDelay)
        Flush();
}

void FileRowSeries::Flush() {
    lastFlush_ = std::chrono::steady_clock::now();
    if (rows_.empty()) return;
    batchLimit_ = std::min(batchLimit_ * 2, kMaxRows);
    window_.AppendRows(
        rows_, statusCount_ < 0 ? std::u16string() : SafeFormat(countFormat_, {statusCount_}));
    rows_.clear();
    statusCount_ = -1;
}

void UpdateFileCount(RunWindow& window) {
    window.SetStatusText(
        SafeFormat(window.MessageText("FrmMain.m_acMAmountOfFile"), {window.RowCount()}));
}

void RemoveSelectedRows(CListCtrl& list, RunWindow& window) {
    // One pass that keeps the order of the unticked rows: the same rows go as in
    // a walk from the top, at a cost that does not grow with the square of the list.
    list.DeleteCheckedItems();
    UpdateFileCount(window);
}

void ClearList(CListCtrl& list, RunWindow& window) {
    list.DeleteAllItems();
    UpdateFileCount(window);
}

void SelectAllRows(CListCtrl& list) {
    list.SetCheckAll(true);
}

void InvertRowSelection(CListCtrl& list) {
    list.InvertChecks();
}
