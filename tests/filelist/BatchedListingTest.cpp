// The folder expansion hands its rows to the window in batches: the rows, their
// order and the count texts are those of adding file after file, and Stop ends a
// listing of a large folder at once.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
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
#include "support/TestMount.h"

namespace {

// Counts the visits a batch costs the window.
class CountingWindow : public FakeRunWindow {
  public:
    std::atomic<int> batches{0};
    void AppendRows(const std::vector<NewRow>& rows, const std::u16string& status) override {
        ++batches;
        FakeRunWindow::AppendRows(rows, status);
    }
};

std::vector<std::vector<std::u16string>> Table(FakeRunWindow& w) {
    std::vector<std::vector<std::u16string>> out;
    for (int i = 0; i < w.RowCount(); ++i)
        out.push_back({w.RowText(i, 0), w.RowText(i, 1), w.RowText(i, 2), w.RowText(i, 3),
                       w.RowChecked(i) ? u"x" : u""});
    return out;
}

// The rows as adding one file at a time gives them: every file in walk order,
// then the folders entered, the last entered first, the queued folder last.
void ListOneByOne(FakeRunWindow& w, const std::u16string& folder) {
    std::vector<std::u16string> entered{folder};
    std::set<std::u16string> seen{folder};
    FileOps ops;
    WalkOptions o;
    o.startFolder = folder;
    o.reportEmptyFolders = true;
    o.fillSizeAndTime = false;
    ops.WalkConfigure(o);
    std::u16string path;
    int64_t size = 0, time = 0;
    for (bool more = ops.WalkFirst(path, size, time); more; more = ops.WalkNext(path, size, time)) {
        if (!path.empty()) AddFileRow(w, path);
        if (seen.insert(ops.WalkCurrentFolder()).second) entered.push_back(ops.WalkCurrentFolder());
    }
    for (auto it = entered.rbegin(); it != entered.rend(); ++it)
        AppendListRow(w, FileNameOfPath(*it), u"0", kFolderMarker, *it);
}

// Many files quickly: on a small tmpfs of our own where mounting is allowed.
class Tree {
  public:
    Tree() : mount_(TestMount::Kind::Tmpfs, 256 * 1024) {}
    std::string Root() const { return mount_.Ok() ? mount_.Path() : dir_.Path(); }
    std::u16string WRoot() const { return WideFromUtf8(Root()); }
    void Files(const std::string& folder, int count, int subFolders, size_t maxSize = 0) const {
        for (int d = 0; d < subFolders; ++d)
            ::mkdir((Root() + folder + "/d" + std::to_string(d)).c_str(), 0700);
        for (int i = 0; i < count; ++i) {
            const std::string path = Root() + folder + "/d" + std::to_string(i % subFolders) +
                                     "/file" + std::to_string(i);
            const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY, 0600);
            ASSERT_GE(fd, 0) << path;
            const std::string content(maxSize ? i % (maxSize + 1) : 0, 'x');
            ASSERT_EQ(::write(fd, content.data(), content.size()),
                      static_cast<ssize_t>(content.size()));
            ::close(fd);
        }
    }

  private:
    TempDir dir_;  // where no tmpfs can be mounted
    TestMount mount_;
};

}  // namespace

TEST(BatchedListing, SameRowsOrderAndCountsAsFileByFileInFewVisits) {
    TempDir dir;
    Tree tree;
    const int kFolders = 4, kPerFolder = 2500;  // more than one batch holds
    ::mkdir((tree.Root() + "t").c_str(), 0700);
    tree.Files("t", kFolders * kPerFolder, kFolders, 6);
    for (const char* sub : {"t/d1/deep", "t/d1/deep/er", "t/empty"})
        ::mkdir((tree.Root() + sub).c_str(), 0700);
    for (const char* file : {"t/d1/deep/er/one", "t/.hidden"})
        ::close(::open((tree.Root() + file).c_str(), O_CREAT | O_WRONLY, 0600));

    CountingWindow batched;
    batched.AddRow(dir.WSub("before"));  // the count goes on from the rows already there
    RunState s;
    s.stop = false;
    ClearFolderQueue(s);
    QueueFolder(s, tree.WRoot() + u"t");
    ExpandQueuedFolders(batched, s);

    FakeRunWindow single;
    single.AddRow(dir.WSub("before"));
    ListOneByOne(single, tree.WRoot() + u"t/");

    const auto rows = Table(batched);
    ASSERT_EQ(rows.size(), 1u + kFolders * kPerFolder + 2 + kFolders + 4);
    EXPECT_TRUE(rows == Table(single));
    // The count texts come in the same order, fewer of them: the last of each batch.
    EXPECT_EQ(batched.StatusText(), single.StatusText());
    EXPECT_NE(
        batched.StatusText().find(WideFromUtf8(std::to_string(1 + kFolders * kPerFolder + 2))),
        std::u16string::npos);
    size_t k = 0;
    for (const auto& text : batched.statusHistory) {
        while (k < single.statusHistory.size() && single.statusHistory[k] != text) ++k;
        ASSERT_LT(k, single.statusHistory.size()) << "a count text out of order";
    }
    EXPECT_LT(batched.batches.load(), static_cast<int>(rows.size()) / 20);
}

TEST(BatchedListing, StopEndsTheListingOfAHundredThousandFilesAtOnce) {
    Tree tree;
    const int kFiles = 100000;
    ::mkdir((tree.Root() + "big").c_str(), 0700);
    tree.Files("big", kFiles, 50);

    FakeRunWindow w;
    RunState s;
    WorkerThreads threads;
    ClearFolderQueue(s);
    QueueFolder(s, tree.WRoot() + u"big");
    // Stop is pressed from this thread once the first thousand rows are shown.
    ASSERT_TRUE(StartFolderExpansion(threads, w, s));
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (w.RowCount() < 1000 && !threads.AllDone() && std::chrono::steady_clock::now() < limit)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_GE(w.RowCount(), 1000);
    s.stop = true;
    const int shownAtStop = w.RowCount();

    // Generous: the listing thread ends after the entry it is on (a batch at most).
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!threads.AllDone() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(threads.AllDone()) << "the listing did not end after Stop";
    threads.JoinAll();

    int files = 0;
    for (int i = 0; i < w.RowCount(); ++i) files += w.RowText(i, 2) != u"FOLDER";
    EXPECT_LT(files, shownAtStop + static_cast<int>(FileRowSeries::kMaxRows) + 1);
    EXPECT_LT(files, kFiles);
    EXPECT_EQ(w.RowText(w.RowCount() - 1, 3), tree.WRoot() + u"big/");
    EXPECT_EQ(w.unlockCalls, 1);
    // The count says what the walk added.
    EXPECT_EQ(w.StatusText(), u"Amount of files: " + WideFromUtf8(std::to_string(w.RowCount())));
}
