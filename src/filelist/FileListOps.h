#pragma once
// The rows of the file list and the commands that change them. Rows are added
// through the window (they may come from the folder expansion thread); the
// commands of the Edit menu work on the row store itself on the window's thread.
#include <chrono>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "runs/RunWindow.h"

class CListCtrl;

// The date-column marker of a folder row.
inline constexpr char16_t kFolderMarker[] = u"FOLDER";
// The date-column marker of a row for an entry that a folder expansion met but
// could not list (its size column says why): a run reports it as not shredded.
inline constexpr char16_t kNotListedMarker[] = u"NOT LISTED";

// Appends one checked row with its four column texts.
void AppendListRow(RunWindow& window, const std::u16string& name, const std::u16string& size,
                   const std::u16string& date, const std::u16string& path);

// Adds a row for the file at `path` (name, size in bytes, local last-write time)
// and refreshes the file count. A symbolic link is described as the link itself.
// A path that names nothing, or that ends with "/", adds no row.
// Returns true when a row was added.
bool AddFileRow(RunWindow& window, const std::u16string& path);

// The rows of a folder expansion, file after file. The window is locked while it
// runs, so no one else changes the rows: the count is kept here and its text
// looked up once. Rows reach the window in batches (one visit per batch, a few
// per second at least), each batch ending with the count its last file row would
// have shown; rows, order and texts are those of AddFileRow and AppendListRow.
class FileRowSeries {
  public:
    explicit FileRowSeries(RunWindow& window);
    ~FileRowSeries();
    FileRowSeries(const FileRowSeries&) = delete;
    FileRowSeries& operator=(const FileRowSeries&) = delete;

    bool AddFile(const std::u16string& path);
    // A file the walk already measured: no second look by path, which a path
    // longer than the system takes could not have.
    void AddFile(const std::u16string& path, int64_t size, int64_t time);
    void AddNotListed(const std::u16string& path, const std::u16string& reason);
    void AddFolder(const std::u16string& folder);  // the folder's "FOLDER" row
    // A row with texts of its own (a trashed item under its original path).
    void AddRow(NewRow row);
    // Hands the rows gathered so far to the window.
    void Flush();

    static constexpr size_t kMaxRows = 4096;

  private:
    // `counted`: the row is a file row, after which the count is to be shown.
    void Queue(NewRow row, bool counted);

    RunWindow& window_;
    std::u16string countFormat_;
    int count_;
    std::vector<NewRow> rows_;
    int statusCount_ = -1;  // the count after the last file row queued (-1: none)
    size_t batchLimit_ = 1;
    std::chrono::steady_clock::time_point lastFlush_;
};

// Shows "Amount of files: %d" with the number of rows in the status line.
void UpdateFileCount(RunWindow& window);

// "YYYY-MM-DD hh:mm:ss" of `t` in local time.
std::u16string LocalTimeText(std::time_t t);

// Edit menu commands.
void RemoveSelectedRows(CListCtrl& list, RunWindow& window);  // removes the checked rows
void ClearList(CListCtrl& list, RunWindow& window);
void SelectAllRows(CListCtrl& list);
void InvertRowSelection(CListCtrl& list);
