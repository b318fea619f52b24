// The folder queue and the folder expansion, on real trees.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "config/TextConv.h"
#include "engine/FileOps.h"
#include "filelist/FileListOps.h"
#include "filelist/FolderExpansion.h"
#include "filelist/FolderQueue.h"
#include "runs/RunState.h"
#include "runs/WorkerThreads.h"
#include "support/FakeRunWindow.h"
#include "support/TempDir.h"

namespace {

struct Row {
    std::u16string name, size, date, path;
    bool checked;
};

std::vector<Row> Rows(FakeRunWindow& w) {
    std::vector<Row> out;
    for (int i = 0; i < w.RowCount(); ++i)
        out.push_back(
            {w.RowText(i, 0), w.RowText(i, 1), w.RowText(i, 2), w.RowText(i, 3), w.RowChecked(i)});
    return out;
}

bool IsFolderRow(const Row& r) {
    return r.date == u"FOLDER";
}

int IndexOf(const std::vector<Row>& rows, const std::u16string& path) {
    for (size_t i = 0; i < rows.size(); ++i)
        if (rows[i].path == path) return static_cast<int>(i);
    return -1;
}

// a/ f1, f2, b/ (g1, c/ (h1)), e/ (empty)
void MakeTree(const TempDir& dir, const std::string& root) {
    dir.WriteFile(root + "/f1", "1");
    dir.WriteFile(root + "/f2", "22");
    dir.WriteFile(root + "/b/g1", "333");
    dir.WriteFile(root + "/b/c/h1", "4444");
    dir.MakeDir(root + "/e");
}

// Checks that a run of rows is one queued folder's expansion: its files, then
// its folder rows with every folder after the folders inside it, the root last.
void ExpectFolderBlock(const std::vector<Row>& rows, size_t first, size_t last,
                       const std::u16string& root) {
    ASSERT_LT(last, rows.size());
    size_t i = first;
    while (i <= last && !IsFolderRow(rows[i])) {
        EXPECT_EQ(rows[i].path.rfind(root, 0), 0u) << Utf8FromWide(rows[i].path);
        ++i;
    }
    std::set<std::u16string> seen;
    for (size_t j = i; j <= last; ++j) {
        const Row& r = rows[j];
        EXPECT_TRUE(IsFolderRow(r)) << "file row after a folder row: " << Utf8FromWide(r.path);
        EXPECT_EQ(r.size, u"0");
        EXPECT_TRUE(r.checked);
        EXPECT_EQ(r.path.back(), u'/');
        EXPECT_TRUE(seen.insert(r.path).second) << "listed twice: " << Utf8FromWide(r.path);
        // No folder row comes before the row of a folder inside it.
        for (size_t k = j + 1; k <= last; ++k)
            EXPECT_FALSE(rows[k].path.size() > r.path.size() && rows[k].path.rfind(r.path, 0) == 0)
                << Utf8FromWide(rows[k].path) << " after its parent " << Utf8FromWide(r.path);
    }
    EXPECT_EQ(rows[last].path, root);
}

}  // namespace

TEST(FolderQueue, QueueAddsSeparatorAndIgnoresEmptyPaths) {
    RunState s;
    ClearFolderQueue(s);
    EXPECT_FALSE(QueueFolder(s, u""));
    EXPECT_TRUE(QueueFolder(s, u"/tmp/a"));
    EXPECT_TRUE(QueueFolder(s, u"/tmp/b/"));
    EXPECT_TRUE(QueueFolder(s, u"/tmp/back\\"));  // a backslash is a name character here
    ASSERT_EQ(s.folderQueue.RowCount(), 3);
    EXPECT_EQ(s.folderQueue.ColumnCount(), 2);
    EXPECT_EQ(s.folderQueue.GetCell(0, 0), "/tmp/a/");
    EXPECT_EQ(s.folderQueue.GetCell(0, 1), "/tmp/b/");
    EXPECT_EQ(s.folderQueue.GetCell(0, 2), "/tmp/back\\/");
    EXPECT_EQ(s.folderQueue.GetCell(1, 0), "0");
    // Non-UTF-8 names survive the UTF-8 table.
    std::string odd = "/tmp/x\xff";
    EXPECT_TRUE(QueueFolder(s, WideFromUtf8(odd)));
    EXPECT_EQ(s.folderQueue.GetCell(0, 3), odd + "/");

    ClearFolderQueue(s);
    EXPECT_EQ(s.folderQueue.RowCount(), 0);
    EXPECT_EQ(s.folderQueue.ColumnCount(), 2);
    // A new batch starts with clean cells.
    EXPECT_TRUE(QueueFolder(s, u"/n"));
    EXPECT_EQ(s.folderQueue.RowCount(), 1);
    EXPECT_EQ(s.folderQueue.GetCell(0, 0), "/n/");
}

TEST(FolderExpansion, FilesFirstThenFolderRowsDeepestFirst) {
    TempDir dir;
    MakeTree(dir, "a");
    FakeRunWindow w;
    RunState s;
    s.stop = false;
    ClearFolderQueue(s);
    QueueFolder(s, dir.WSub("a"));
    ExpandQueuedFolders(w, s);
    auto rows = Rows(w);
    ASSERT_EQ(rows.size(), 4u + 4u);  // f1 f2 g1 h1 + a/ b/ c/ e/
    ExpectFolderBlock(rows, 0, rows.size() - 1, dir.WSub("a/"));
    for (int i = 0; i < 4; ++i) EXPECT_FALSE(IsFolderRow(rows[i]));

    // File rows carry name, size and date.
    int h1 = IndexOf(rows, dir.WSub("a/b/c/h1"));
    ASSERT_GE(h1, 0);
    EXPECT_EQ(rows[h1].name, u"h1");
    EXPECT_EQ(rows[h1].size, u"4");
    EXPECT_EQ(rows[h1].date.size(), 19u);
    // The folder row of a folder: name with separator, "0", "FOLDER", full path.
    int b = IndexOf(rows, dir.WSub("a/b/"));
    ASSERT_GE(b, 0);
    EXPECT_EQ(rows[b].name, u"b/");
    EXPECT_EQ(rows[b].size, u"0");
    EXPECT_EQ(rows[b].date, u"FOLDER");
    EXPECT_LT(IndexOf(rows, dir.WSub("a/b/c/")), b);
    EXPECT_GE(IndexOf(rows, dir.WSub("a/e/")), 4);
    EXPECT_EQ(rows.back().name, u"a/");
    // The file count follows every file row.
    EXPECT_EQ(w.StatusText(), u"Amount of files: 4");
}

TEST(FolderExpansion, TwoFoldersGiveTwoBlocksInQueueOrder) {
    TempDir dir;
    MakeTree(dir, "A");
    dir.WriteFile("B/x", "x");
    dir.WriteFile("B/sub/y", "y");
    FakeRunWindow w;
    RunState s;
    s.stop = false;
    ClearFolderQueue(s);
    QueueFolder(s, dir.WSub("A"));
    QueueFolder(s, dir.WSub("B"));
    ExpandQueuedFolders(w, s);
    auto rows = Rows(w);
    ASSERT_EQ(rows.size(), 8u + 4u);
    int endA = IndexOf(rows, dir.WSub("A/"));
    ASSERT_EQ(endA, 7);
    ExpectFolderBlock(rows, 0, 7, dir.WSub("A/"));
    ExpectFolderBlock(rows, 8, rows.size() - 1, dir.WSub("B/"));
    EXPECT_EQ(rows[8].path.rfind(dir.WSub("B/"), 0), 0u);
    EXPECT_FALSE(IsFolderRow(rows[8]));
    // The count follows every file row and includes the rows of A before it.
    EXPECT_EQ(w.StatusText(), u"Amount of files: 10");
}

TEST(FolderExpansion, EmptyMissingAndDotEntries) {
    TempDir dir;
    dir.MakeDir("empty");
    dir.MakeDir("only-dot-folder/.git");
    dir.WriteFile("dots/.env", "SECRET=1");
    dir.WriteFile("dots/.config/app.ini", "k=v");
    FakeRunWindow w;
    RunState s;
    s.stop = false;

    // An empty folder gives exactly its own row.
    ClearFolderQueue(s);
    QueueFolder(s, dir.WSub("empty"));
    ExpandQueuedFolders(w, s);
    auto rows = Rows(w);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].path, dir.WSub("empty/"));
    EXPECT_EQ(rows[0].date, u"FOLDER");

    // A folder that cannot be opened adds only its own row.
    ClearList(w.list, w);
    ClearFolderQueue(s);
    QueueFolder(s, dir.WSub("does-not-exist"));
    ExpandQueuedFolders(w, s);
    rows = Rows(w);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].path, dir.WSub("does-not-exist/"));

    // Whatever the walker reports of dot-files becomes rows; no row is a dot entry.
    ClearList(w.list, w);
    ClearFolderQueue(s);
    QueueFolder(s, dir.WSub("dots"));
    ExpandQueuedFolders(w, s);
    rows = Rows(w);
    ASSERT_FALSE(rows.empty());
    for (const auto& r : rows) {
        EXPECT_EQ(r.path.find(u"/./"), std::u16string::npos);
        EXPECT_EQ(r.path.find(u"/../"), std::u16string::npos);
    }
    EXPECT_EQ(rows.back().path, dir.WSub("dots/"));
}

TEST(FolderExpansion, UnreadableSubFolderStillGetsItsRow) {
    if (::geteuid() == 0) GTEST_SKIP() << "running as root: permissions do not keep root out";
    TempDir dir;
    dir.WriteFile("t/ok", "1");
    dir.WriteFile("t/locked/inside", "2");
    ASSERT_EQ(::chmod(dir.Sub("t/locked").c_str(), 0), 0);
    FakeRunWindow w;
    RunState s;
    s.stop = false;
    ClearFolderQueue(s);
    QueueFolder(s, dir.WSub("t"));
    ExpandQueuedFolders(w, s);
    auto rows = Rows(w);
    EXPECT_GE(IndexOf(rows, dir.WSub("t/ok")), 0);
    EXPECT_EQ(IndexOf(rows, dir.WSub("t/locked/inside")), -1);
    EXPECT_GE(IndexOf(rows, dir.WSub("t/locked/")), 0);
    EXPECT_EQ(rows.back().path, dir.WSub("t/"));
}

TEST(FolderExpansion, StopKeepsRowsAndStillAddsRecordedFolders) {
    TempDir dir;
    for (int d = 0; d < 3; ++d)
        for (int f = 0; f < 10; ++f)
            dir.WriteFile("big/d" + std::to_string(d) + "/f" + std::to_string(f), "x");
    dir.WriteFile("later/z", "z");
    FakeRunWindow w;
    RunState s;
    s.stop = false;
    ClearFolderQueue(s);
    QueueFolder(s, dir.WSub("big"));
    QueueFolder(s, dir.WSub("later"));
    // Stop as the 15th row goes in: the walk is inside the second sub-folder.
    w.onAppend = [&s](int rows) {
        if (rows == 15) s.stop = true;
    };
    ExpandQueuedFolders(w, s);
    auto rows = Rows(w);
    int files = 0;
    while (files < static_cast<int>(rows.size()) && !IsFolderRow(rows[files])) ++files;
    EXPECT_EQ(files, 15);
    std::vector<std::u16string> folders;
    for (size_t i = files; i < rows.size(); ++i) folders.push_back(rows[i].path);
    // Two sub-folders were entered, the third never was; the second queued folder
    // only adds its own row.
    ASSERT_EQ(folders.size(), 4u);
    EXPECT_EQ(folders[2], dir.WSub("big/"));
    EXPECT_EQ(folders[3], dir.WSub("later/"));
    std::set<std::u16string> entered;
    for (int i = 0; i < files; ++i) entered.insert(FolderOfPath(rows[i].path));
    EXPECT_EQ(entered.size(), 2u);
    EXPECT_TRUE(entered.count(folders[0]));
    EXPECT_TRUE(entered.count(folders[1]));
}
