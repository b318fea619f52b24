// Rows from the file dialog, the folder browser and a drop, as the window hands
// them over; the expansion runs on its thread as it does in the program.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "config/TextConv.h"
#include "filelist/FolderQueue.h"
#include "filelist/ListSources.h"
#include "runs/RunState.h"
#include "runs/WorkerThreads.h"
#include "support/FakeRunWindow.h"
#include "support/TempDir.h"

namespace {

bool WaitDone(WorkerThreads& threads) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!threads.AllDone()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

}  // namespace

TEST(ListSources, ChosenFilesInDialogOrderMissingOnesSkipped) {
    TempDir dir;
    dir.WriteFile("b.txt", "b");
    dir.WriteFile("a.txt", "a");
    FakeRunWindow w;
    RunState s;
    WorkerThreads threads;
    ASSERT_TRUE(
        AddChosenFiles(threads, w, s, {dir.WSub("b.txt"), dir.WSub("gone"), dir.WSub("a.txt")}));
    ASSERT_TRUE(WaitDone(threads));
    std::vector<std::u16string> expect = {dir.WSub("b.txt"), dir.WSub("a.txt")};
    EXPECT_EQ(w.Paths(), expect);
    EXPECT_EQ(w.StatusText(), u"Amount of files: 2");
}

TEST(ListSources, DropGivesFilesAtOnceThenEachFolderBlock) {
    TempDir dir;
    dir.WriteFile("A/a1", "1");
    dir.WriteFile("A/sub/a2", "2");
    dir.WriteFile("B/b1", "3");
    dir.WriteFile("loose.txt", "4");
    FakeRunWindow w;
    RunState s;
    WorkerThreads threads;
    QueueFolder(s, u"/left/over/from/an/earlier/batch");
    ASSERT_TRUE(AddDroppedPaths(
        threads, w, s,
        {dir.WSub("A"), dir.WSub("missing"), dir.WSub("loose.txt"), dir.WSub("B"), u""}));
    ASSERT_TRUE(WaitDone(threads));
    std::vector<std::u16string> expect = {
        dir.WSub("loose.txt"), dir.WSub("A/a1"), dir.WSub("A/sub/a2"), dir.WSub("A/sub/"),
        dir.WSub("A/"),        dir.WSub("B/b1"), dir.WSub("B/")};
    auto paths = w.Paths();
    // Within A the walk order of a1 and sub/ is the file system's; compare as blocks.
    ASSERT_EQ(paths.size(), expect.size());
    EXPECT_EQ(paths[0], expect[0]);
    EXPECT_EQ(std::set<std::u16string>(paths.begin() + 1, paths.begin() + 3),
              std::set<std::u16string>(expect.begin() + 1, expect.begin() + 3));
    EXPECT_EQ(std::vector<std::u16string>(paths.begin() + 3, paths.end()),
              std::vector<std::u16string>(expect.begin() + 3, expect.end()));
    EXPECT_EQ(s.folderQueue.RowCount(), 2);
    EXPECT_EQ(w.StatusText(), u"Amount of files: " + WideFromUtf8(std::to_string(w.RowCount())));
    EXPECT_TRUE(s.stop.load());
}

TEST(ListSources, DroppedLinkToFolderIsTheLinkItself) {
    TempDir dir;
    dir.WriteFile("real/secret", "s");
    ASSERT_EQ(::symlink(dir.Sub("real").c_str(), dir.Sub("link").c_str()), 0);
    FakeRunWindow w;
    RunState s;
    WorkerThreads threads;
    ASSERT_TRUE(AddDroppedPaths(threads, w, s, {dir.WSub("link")}));
    ASSERT_TRUE(WaitDone(threads));
    std::vector<std::u16string> expect = {dir.WSub("link")};
    EXPECT_EQ(w.Paths(), expect);
    EXPECT_NE(w.RowText(0, 2), u"FOLDER");
    EXPECT_EQ(w.StatusText(), u"Amount of files: 1");
}

TEST(ListSources, DropOfNothingUsableAddsNoRow) {
    TempDir dir;
    FakeRunWindow w;
    RunState s;
    WorkerThreads threads;
    // Whether a path names anything is found out on the expansion's thread.
    EXPECT_TRUE(AddDroppedPaths(threads, w, s, {dir.WSub("no"), u""}));
    ASSERT_TRUE(WaitDone(threads));
    EXPECT_EQ(w.RowCount(), 0);
    EXPECT_EQ(s.folderQueue.RowCount(), 0);
    EXPECT_EQ(w.StatusText(), u"Amount of files: 0");
    // An empty drop starts nothing.
    EXPECT_FALSE(AddDroppedPaths(threads, w, s, {}));
    EXPECT_FALSE(AddDroppedPaths(threads, w, s, {u""}));
    EXPECT_EQ(w.lockCalls, 1);
}

TEST(ListSources, ChosenFolderIsQueuedAndRemembered) {
    TempDir dir;
    dir.MakeDir("empty");
    FakeRunWindow w;
    RunState s;
    WorkerThreads threads;
    std::string remembered = "/before/";

    // Cancel: the queue is cleared all the same, nothing starts, nothing is remembered.
    QueueFolder(s, u"/stale");
    EXPECT_FALSE(AddChosenFolder(threads, w, s, u"", remembered));
    EXPECT_EQ(s.folderQueue.RowCount(), 0);
    EXPECT_EQ(remembered, "/before/");

    // An empty folder gives exactly its own row.
    ASSERT_TRUE(AddChosenFolder(threads, w, s, dir.WSub("empty"), remembered));
    ASSERT_TRUE(WaitDone(threads));
    EXPECT_EQ(remembered, dir.Sub("empty/"));
    ASSERT_EQ(w.RowCount(), 1);
    EXPECT_EQ(w.RowText(0, 0), u"empty/");
    EXPECT_EQ(w.RowText(0, 1), u"0");
    EXPECT_EQ(w.RowText(0, 2), u"FOLDER");
    EXPECT_EQ(w.RowText(0, 3), dir.WSub("empty/"));
    EXPECT_EQ(w.StatusText(), u"Amount of files: " + WideFromUtf8(std::to_string(w.RowCount())));
}
