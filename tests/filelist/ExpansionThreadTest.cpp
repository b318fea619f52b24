// The expansion thread as the window starts it: lock, status texts, stop flag,
// a large tree, and Stop pressed from another thread.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "config/TextConv.h"
#include "filelist/FolderExpansion.h"
#include "filelist/FolderQueue.h"
#include "platform/Platform.h"
#include "runs/RunState.h"
#include "runs/WorkerThreads.h"
#include "support/FakeRunWindow.h"
#include "support/TempDir.h"

namespace {

// Waits for the workers without hanging the test run when something goes wrong.
bool WaitDone(WorkerThreads& threads, std::chrono::seconds limit) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (!threads.AllDone()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

PlatformServices FixedClock(int64_t now) {
    PlatformServices p;
    p.shellOpen = [](const std::u16string&) { return false; };
    p.shutdown = [] { return false; };
    p.now = [now] { return now; };
    return p;
}

}  // namespace

TEST(ExpansionThread, NothingQueuedStartsNothing) {
    FakeRunWindow w;
    RunState s;
    WorkerThreads threads;
    ClearFolderQueue(s);
    s.stop = true;
    EXPECT_FALSE(StartFolderExpansion(threads, w, s));
    EXPECT_FALSE(s.stop.load());
    EXPECT_EQ(w.lockCalls, 0);
    EXPECT_TRUE(threads.AllDone());
}

TEST(ExpansionThread, LocksShowsStatusUnlocksAndSetsStop) {
    ScopedPlatform platform(FixedClock(1234567));
    TempDir dir;
    dir.WriteFile("q/one", "1");
    dir.WriteFile("q/two", "2");
    FakeRunWindow w;
    RunState s;
    WorkerThreads threads;
    ClearFolderQueue(s);
    QueueFolder(s, dir.WSub("q"));
    bool lockedWhileAppending = true;
    w.onAppend = [&](int) {
        std::lock_guard<std::mutex> l(w.mutex);
        lockedWhileAppending = lockedWhileAppending && w.locked;
    };
    ASSERT_TRUE(StartFolderExpansion(threads, w, s));
    ASSERT_TRUE(WaitDone(threads, std::chrono::seconds(60)));
    EXPECT_EQ(s.startTime.load(), 1234567);
    EXPECT_TRUE(s.stop.load());
    EXPECT_EQ(w.lockCalls, 1);
    EXPECT_EQ(w.unlockCalls, 1);
    EXPECT_FALSE(w.locked);
    EXPECT_TRUE(lockedWhileAppending);
    EXPECT_EQ(w.RowCount(), 3);
    ASSERT_FALSE(w.statusHistory.empty());
    EXPECT_EQ(w.statusHistory.front(), u"Adding folder " + dir.WSub("q/"));
    EXPECT_EQ(w.statusHistory.back(),
              u"Amount of files: " + WideFromUtf8(std::to_string(w.RowCount())));
    EXPECT_EQ(w.StatusText(), u"Amount of files: " + WideFromUtf8(std::to_string(w.RowCount())));
}

TEST(ExpansionThread, TwentyThousandFiles) {
    TempDir dir;
    const int kFolders = 40, kPerFolder = 500;
    for (int d = 0; d < kFolders; ++d)
        for (int f = 0; f < kPerFolder; ++f)
            dir.WriteFile("tree/d" + std::to_string(d) + "/file" + std::to_string(f) + ".dat", "");
    FakeRunWindow w;
    RunState s;
    WorkerThreads threads;
    ClearFolderQueue(s);
    QueueFolder(s, dir.WSub("tree"));
    ASSERT_TRUE(StartFolderExpansion(threads, w, s));
    ASSERT_TRUE(WaitDone(threads, std::chrono::seconds(240)));
    ASSERT_EQ(w.RowCount(), kFolders * kPerFolder + kFolders + 1);
    int folderRows = 0;
    for (int i = 0; i < w.RowCount(); ++i) {
        bool folder = w.RowText(i, 2) == u"FOLDER";
        // All file rows come first.
        if (i < kFolders * kPerFolder)
            EXPECT_FALSE(folder) << i;
        else
            ++folderRows;
    }
    EXPECT_EQ(folderRows, kFolders + 1);
    EXPECT_EQ(w.RowText(w.RowCount() - 1, 3), dir.WSub("tree/"));
    EXPECT_EQ(w.StatusText(), u"Amount of files: " + WideFromUtf8(std::to_string(w.RowCount())));
    EXPECT_TRUE(s.stop.load());
}

TEST(ExpansionThread, StopFromAnotherThreadEndsTheWalkAndKeepsRows) {
    TempDir dir;
    for (int d = 0; d < 5; ++d)
        for (int f = 0; f < 100; ++f)
            dir.WriteFile("s/d" + std::to_string(d) + "/f" + std::to_string(f), "");
    FakeRunWindow w;
    RunState s;
    WorkerThreads threads;
    ClearFolderQueue(s);
    QueueFolder(s, dir.WSub("s"));

    // The worker waits at its 50th row until the test has pressed Stop.
    std::mutex m;
    std::condition_variable cv;
    bool reached = false, pressed = false;
    w.onAppend = [&](int rows) {
        if (rows != 50) return;
        std::unique_lock<std::mutex> l(m);
        reached = true;
        cv.notify_all();
        cv.wait_for(l, std::chrono::seconds(30), [&] { return pressed; });
    };
    ASSERT_TRUE(StartFolderExpansion(threads, w, s));
    {
        std::unique_lock<std::mutex> l(m);
        ASSERT_TRUE(cv.wait_for(l, std::chrono::seconds(60), [&] { return reached; }));
        s.stop = true;
        pressed = true;
        cv.notify_all();
    }
    ASSERT_TRUE(WaitDone(threads, std::chrono::seconds(60)));
    int files = 0, folders = 0;
    for (int i = 0; i < w.RowCount(); ++i) (w.RowText(i, 2) == u"FOLDER" ? folders : files)++;
    // Rows reach the window in batches: the one holding the 50th row is shown
    // whole, and the walk ends before the next (still in the first sub-folder).
    EXPECT_GE(files, 50);
    EXPECT_LT(files, 100);
    EXPECT_EQ(folders, 2);  // the first sub-folder and the queued folder
    EXPECT_EQ(w.RowText(w.RowCount() - 1, 3), dir.WSub("s/"));
    EXPECT_EQ(w.unlockCalls, 1);
    EXPECT_EQ(w.StatusText(), u"Amount of files: " + WideFromUtf8(std::to_string(w.RowCount())));
}
