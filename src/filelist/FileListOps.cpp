#include "filelist/FileListOps.h"

#include <sys/stat.h>

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
      count_(window.RowCount()) {}

bool FileRowSeries::AddFile(const std::u16string& path) {
    FileRowTexts t;
    if (!DescribeFile(path, t)) {
        window_.SetStatusText(SafeFormat(countFormat_, {count_}));
        return false;
    }
    ++count_;
    window_.AppendRowWithStatus(t.name, t.size, t.date, path, SafeFormat(countFormat_, {count_}));
    return true;
}

void FileRowSeries::AddFile(const std::u16string& path, int64_t size, int64_t time) {
    ++count_;
    window_.AppendRowWithStatus(
        FileNameOfPath(path), WideFromUtf8(std::to_string(static_cast<long long>(size))),
        LocalTimeText(static_cast<std::time_t>(time)), path, SafeFormat(countFormat_, {count_}));
}

void FileRowSeries::AddNotListed(const std::u16string& path, const std::u16string& reason) {
    AppendListRow(window_, FileNameOfPath(path), reason, kNotListedMarker, path);
    ++count_;
}

void FileRowSeries::AddFolder(const std::u16string& folder) {
    AppendListRow(window_, FileNameOfPath(folder), u"0", kFolderMarker, folder);
    ++count_;
}

void UpdateFileCount(RunWindow& window) {
    window.SetStatusText(
        SafeFormat(window.MessageText("FrmMain.m_acMAmountOfFile"), {window.RowCount()}));
}

void RemoveSelectedRows(CListCtrl& list, RunWindow& window) {
    // From the last row up: the same rows go as in a walk from the top, but only
    // kept rows ever move, so removing all of a long list moves nothing.
    for (int i = list.GetItemCount() - 1; i >= 0; --i)
        if (list.GetCheck(i)) list.DeleteItem(i);
    UpdateFileCount(window);
}

void ClearList(CListCtrl& list, RunWindow& window) {
    list.DeleteAllItems();
    UpdateFileCount(window);
}

void SelectAllRows(CListCtrl& list) {
    for (int i = 0; i < list.GetItemCount(); ++i) list.SetCheck(i, true);
}

void InvertRowSelection(CListCtrl& list) {
    for (int i = 0; i < list.GetItemCount(); ++i) list.SetCheck(i, !list.GetCheck(i));
}
