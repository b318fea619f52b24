#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "config/TextConv.h"
#include "engine/FileOps.h"
#include "support/TempDir.h"

namespace {

struct Step {
    bool more = false;
    std::string path;    // UTF-8 bytes of the reported path ("" = nothing reported)
    std::string folder;  // the walker's current folder after the step
    int64_t size = 0;
    int64_t time = 0;
};

WalkOptions Options(const std::u16string& start, bool recursive = true) {
    WalkOptions o;
    o.recursive = recursive;
    o.startFolder = start;
    return o;
}

// Runs a whole walk, recording every step (the last one is the step that returned false).
std::vector<Step> Walk(FileOps& ops, const WalkOptions& o, size_t limit = 1000000) {
    std::vector<Step> steps;
    ops.WalkConfigure(o);
    std::u16string p;
    int64_t size = -1, time = -1;
    bool more = ops.WalkFirst(p, size, time);
    while (true) {
        steps.push_back({more, Utf8FromWide(p), Utf8FromWide(ops.WalkCurrentFolder()), size, time});
        if (!more || steps.size() >= limit) break;
        more = ops.WalkNext(p, size, time);
    }
    return steps;
}

std::vector<Step> Walk(const WalkOptions& o) {
    FileOps ops;
    return Walk(ops, o);
}

std::vector<std::string> Reported(const std::vector<Step>& steps) {
    std::vector<std::string> r;
    for (const auto& s : steps)
        if (!s.path.empty()) r.push_back(s.path);
    return r;
}

std::set<std::string> ReportedSet(const std::vector<Step>& steps) {
    auto r = Reported(steps);
    return {r.begin(), r.end()};
}

int OpenFdCount() {
    int n = 0;
    for (auto& e : std::filesystem::directory_iterator("/proc/self/fd")) {
        (void)e;
        ++n;
    }
    return n;
}

}  // namespace

TEST(Walker, RecursesDepthFirstAndStepsBackToTheParent) {
    TempDir t;
    t.WriteFile("a.txt", "1");
    t.WriteFile("b.bin", "22");
    t.WriteFile("sub/c.dat", "333");
    auto steps = Walk(Options(t.WPath()));

    ASSERT_FALSE(steps.empty());
    EXPECT_FALSE(steps.back().more);
    EXPECT_EQ(ReportedSet(steps),
              (std::set<std::string>{t.Sub("a.txt"), t.Sub("b.bin"), t.Sub("sub/c.dat")}));
    EXPECT_EQ(Reported(steps).size(), 3u);
    for (const auto& s : steps) {
        if (s.path == t.Sub("sub/c.dat")) {
            // Reported while the walker stands in the sub-folder.
            EXPECT_EQ(s.folder, t.Sub("sub/"));
            EXPECT_EQ(s.size, 3);
        }
        if (s.path == t.Sub("b.bin")) {
            EXPECT_EQ(s.folder, t.Path());
        }
    }
    // Every listing yields ".", ".." and its entries, one step each, plus one silent
    // step back from the sub-folder and the final false: 5 + 3 + 1 + 1.
    EXPECT_EQ(steps.size(), 10u);
    int backSteps = 0;
    for (size_t i = 1; i < steps.size(); ++i) {
        if (steps[i - 1].folder == t.Sub("sub/") && steps[i].folder == t.Path()) {
            ++backSteps;
            EXPECT_TRUE(steps[i].more);
            EXPECT_TRUE(steps[i].path.empty());
        }
    }
    EXPECT_EQ(backSteps, 1);
    EXPECT_EQ(steps.back().folder, t.Path());
}

TEST(Walker, VisitsEachFolderOnceParentBeforeChildren) {
    TempDir t;
    const std::vector<std::string> dirs = {"x/", "x/y/", "x/y/z/", "x/w/", "v/"};
    for (const auto& d : dirs) {
        t.MakeDir(d);
        t.WriteFile(d + "f1", "a");
        t.WriteFile(d + "f2", "b");
    }
    t.WriteFile("top", "c");
    std::vector<std::string> firstOrder;
    for (bool reportEmpty : {false, true}) {
        // The emptiness test reads ahead into each folder; the order must not change.
        WalkOptions o = Options(t.WPath());
        o.reportEmptyFolders = reportEmpty;
        auto steps = Walk(o);
        EXPECT_EQ(Reported(steps).size(), 11u);
        if (firstOrder.empty()) firstOrder = Reported(steps);
        EXPECT_EQ(Reported(steps), firstOrder);

        // The current folder moves one level down or one level up per step, enters every
        // folder exactly once, and leaves a folder only after all of its files came.
        std::map<std::string, int> entered;
        std::set<std::string> left;
        std::string prev = t.Path();
        for (const auto& s : steps) {
            if (s.folder != prev) {
                if (s.folder.size() > prev.size()) {
                    EXPECT_EQ(s.folder.compare(0, prev.size(), prev), 0) << "descends into a child";
                    ++entered[s.folder];
                } else {
                    EXPECT_EQ(prev.compare(0, s.folder.size(), s.folder), 0)
                        << "returns to the parent";
                    left.insert(prev);
                }
                prev = s.folder;
            }
            if (!s.path.empty()) {
                EXPECT_EQ(s.path.substr(0, s.path.rfind('/') + 1), s.folder);
                EXPECT_EQ(left.count(s.folder), 0u) << "no file after its folder was left";
            }
        }
        EXPECT_EQ(entered.size(), dirs.size());
        for (const auto& d : dirs) EXPECT_EQ(entered[t.Sub(d)], 1) << d;
    }
}

TEST(Walker, ReportsFoldersAndEmptyFoldersWithTheirOwnPaths) {
    TempDir t;
    t.MakeDir("empty");
    t.MakeDir("full");
    t.WriteFile("full/f", "x");
    t.WriteFile("onlydot/.keep", "");  // a dot-file makes a folder non-empty
    t.MakeDir("hasdotdir/.cache");     // so does a dot-folder, which itself is empty
    t.WriteFile("file", "y");
    struct timespec times[2] = {{0, UTIME_OMIT}, {1000000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, t.Sub("empty").c_str(), times, 0), 0);

    WalkOptions o = Options(t.WPath());
    o.reportEmptyFolders = true;
    auto steps = Walk(o);
    EXPECT_EQ(ReportedSet(steps),
              (std::set<std::string>{t.Sub("empty/"), t.Sub("hasdotdir/.cache/"), t.Sub("full/f"),
                                     t.Sub("onlydot/.keep"), t.Sub("file")}));
    EXPECT_EQ(Reported(steps).size(), 5u) << "each empty folder once";
    for (const auto& s : steps) {
        if (s.path == t.Sub("empty/")) {
            EXPECT_EQ(s.size, 0);
            EXPECT_EQ(s.time, 1000000000);
            EXPECT_EQ(s.folder, t.Sub("empty/"));
        }
    }

    // Report folders: every folder once, with its own path, recursive or not.
    for (bool recursive : {true, false}) {
        WalkOptions f = Options(t.WPath(), recursive);
        f.reportFolders = true;
        auto fs = ReportedSet(Walk(f));
        for (const char* d : {"empty/", "full/", "onlydot/", "hasdotdir/"})
            EXPECT_EQ(fs.count(t.Sub(d)), 1u) << d << " recursive=" << recursive;
        EXPECT_EQ(fs.count(t.Sub("hasdotdir/.cache/")), recursive ? 1u : 0u);
        EXPECT_EQ(fs.count(t.Path()), 0u) << "never the parent's path for a child";
        EXPECT_EQ(fs.count(t.Sub("full/f")), recursive ? 1u : 0u);
    }
}

TEST(Walker, NameAndExtensionFiltersIgnoreCase) {
    TempDir t;
    for (const char* n :
         {"KelvaneLog.txt", "KelvaneLog_2026-12-07_10-00-00.TXT", "old kelvanelog copy.Txt",
          "notes.txt", "KelvaneLog.txt.bak", "KelvaneLog", "KelvaneLog.tx", "kelvane.txt"})
        t.WriteFile(n, "x");
    t.WriteFile("sub/KelvaneLog.txt", "x");

    WalkOptions o = Options(t.WPath(), false);
    o.nameFilter = u"KelvaneLog";
    o.extFilter = u".txt";
    auto steps = Walk(o);
    EXPECT_EQ(
        ReportedSet(steps),
        (std::set<std::string>{t.Sub("KelvaneLog.txt"), t.Sub("KelvaneLog_2026-12-07_10-00-00.TXT"),
                               t.Sub("old kelvanelog copy.Txt")}));
    // Without recursion the sub-folder is listed but never entered.
    for (const auto& s : steps) EXPECT_EQ(s.folder, t.Path());

    // Item rules of the extension list.
    auto withExt = [&](const std::u16string& ext) {
        WalkOptions e = Options(t.WPath(), false);
        e.extFilter = ext;
        return ReportedSet(Walk(e));
    };
    const auto txt = withExt(u".txt");
    EXPECT_EQ(txt.size(), 5u);
    EXPECT_EQ(withExt(u"txt"), txt);
    EXPECT_EQ(withExt(u"*.TXT"), txt);
    auto txtAndTx = txt;
    txtAndTx.insert(t.Sub("KelvaneLog.tx"));
    EXPECT_EQ(withExt(u" .tx ; .txt "), txtAndTx);
    EXPECT_EQ(withExt(u".t").size(), 0u) << "no partial items";
    EXPECT_EQ(withExt(u".bak"), (std::set<std::string>{t.Sub("KelvaneLog.txt.bak")}));
    EXPECT_EQ(withExt(u".x;*").size(), 8u);
    EXPECT_EQ(withExt(u"").size(), 0u);

    // Case folding beyond ASCII.
    t.WriteFile("\xC3\x84PFEL.txt", "x");  // "ÄPFEL.txt"
    WalkOptions u = Options(t.WPath(), false);
    u.nameFilter = u"\u00e4pfel";
    EXPECT_EQ(ReportedSet(Walk(u)), (std::set<std::string>{t.Sub("\xC3\x84PFEL.txt")}));
}

TEST(Walker, SizeFilterBoundsAnd64BitSizes) {
    TempDir t;
    t.WriteFile("s9", std::string(9, 'a'));
    t.WriteFile("s10", std::string(10, 'a'));
    t.WriteFile("s20", std::string(20, 'a'));
    t.WriteFile("s21", std::string(21, 'a'));
    // A sparse file of 3 GiB takes no space on disk.
    int fd = ::open(t.Sub("big").c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, 3LL << 30), 0);
    ::close(fd);

    auto withSize = [&](bool on, int32_t lo, int32_t hi) {
        WalkOptions o = Options(t.WPath(), false);
        o.sizeFilterOn = on;
        o.minSize = lo;
        o.maxSize = hi;
        return ReportedSet(Walk(o));
    };
    EXPECT_EQ(withSize(true, 10, 20), (std::set<std::string>{t.Sub("s10"), t.Sub("s20")}));
    EXPECT_EQ(withSize(true, -1, 9), (std::set<std::string>{t.Sub("s9")}));
    EXPECT_EQ(withSize(true, 21, -1), (std::set<std::string>{t.Sub("s21"), t.Sub("big")}));
    EXPECT_EQ(withSize(true, -1, 2147483647).count(t.Sub("big")), 0u);
    EXPECT_EQ(withSize(true, -1, -1).size(), 5u);
    EXPECT_EQ(withSize(false, 10, 20).size(), 5u) << "bounds ignored while the filter is off";

    // Without size and time the steps say so, yet the size filter still measures.
    WalkOptions lean = Options(t.WPath(), false);
    lean.fillSizeAndTime = false;
    for (const auto& s : Walk(lean)) {
        EXPECT_EQ(s.size, s.path.empty() ? 0 : -1);
        EXPECT_EQ(s.time, s.path.empty() ? 0 : -1);
    }
    lean.sizeFilterOn = true;
    lean.minSize = 21;
    EXPECT_EQ(ReportedSet(Walk(lean)), (std::set<std::string>{t.Sub("s21"), t.Sub("big")}));

    for (const auto& s : Walk(Options(t.WPath(), false)))
        if (s.path == t.Sub("big")) {
            EXPECT_EQ(s.size, 3LL << 30);
        }
}

TEST(Walker, DotFilesAndDotFoldersAreOrdinaryEntries) {
    TempDir t;
    t.WriteFile(".profile", "p");
    t.WriteFile(".env", "SECRET=1");
    t.WriteFile(".git/config", "c");
    t.WriteFile("visible", "v");
    auto steps = Walk(Options(t.WPath()));
    EXPECT_EQ(ReportedSet(steps), (std::set<std::string>{t.Sub(".profile"), t.Sub(".env"),
                                                         t.Sub(".git/config"), t.Sub("visible")}));
    for (const auto& s : Reported(steps)) {
        std::string name = s.substr(s.rfind('/') + 1);
        EXPECT_NE(name, ".");
        EXPECT_NE(name, "..");
    }
}

TEST(Walker, NeverEntersSymbolicLinksAndNeverOpensSpecialFiles) {
    TempDir outside;
    outside.WriteFile("precious/keep.txt", "do not touch");
    TempDir t;
    t.WriteFile("real.txt", "r");
    const std::string target = outside.Sub("precious");
    ASSERT_EQ(::symlink(target.c_str(), t.Sub("link").c_str()), 0);
    ASSERT_EQ(::symlink("/nonexistent/nowhere", t.Sub("dangling").c_str()), 0);
    // A FIFO would block the walk if it were ever opened.
    ASSERT_EQ(::mkfifo(t.Sub("pipe").c_str(), 0600), 0);

    WalkOptions o = Options(t.WPath());
    o.reportFolders = true;
    o.reportEmptyFolders = true;
    auto steps = Walk(o);
    EXPECT_EQ(ReportedSet(steps), (std::set<std::string>{t.Sub("real.txt"), t.Sub("link"),
                                                         t.Sub("dangling"), t.Sub("pipe")}));
    for (const auto& s : steps) {
        EXPECT_EQ(s.folder, t.Path()) << "the walk stays in its own folder";
        if (s.path == t.Sub("link")) {
            EXPECT_EQ(s.size, static_cast<int64_t>(target.size()));
        }
    }
    EXPECT_EQ(ReadWholeFile(outside.Sub("precious/keep.txt")), "do not touch");
}

TEST(Walker, OddNamesComeBackAsTheSameBytes) {
    TempDir t;
    const std::vector<std::string> names = {"with space.txt", "new\nline", "bad\xFF\xFE byte",
                                            "back\\slash", "tab\there"};
    for (const auto& n : names) t.WriteFile("d/" + n, n);
    FileOps ops;
    auto steps = Walk(ops, Options(t.WPath()));
    std::set<std::string> expected;
    for (const auto& n : names) expected.insert(t.Sub("d/" + n));
    EXPECT_EQ(ReportedSet(steps), expected);
    for (const auto& p : Reported(steps)) {
        EXPECT_TRUE(PathExists(p)) << p;
        EXPECT_EQ(ReadWholeFile(p), p.substr(p.rfind('/') + 1));
    }
}

TEST(Walker, StartFolderFailuresAndRestarts) {
    TempDir t;
    t.WriteFile("f", "1");
    FileOps ops;
    std::u16string p = u"junk";
    int64_t size = 1, time = 1;

    // Nothing configured or started: no step.
    EXPECT_FALSE(ops.WalkNext(p, size, time));
    EXPECT_TRUE(p.empty());

    for (const std::u16string& bad : {t.WSub("missing/"), t.WSub("f/"), std::u16string()}) {
        ops.WalkConfigure(Options(bad));
        p = u"junk";
        EXPECT_FALSE(ops.WalkFirst(p, size, time)) << Utf8FromWide(bad);
        EXPECT_TRUE(p.empty());
        EXPECT_FALSE(ops.WalkNext(p, size, time));
    }

    // A start folder without its trailing separator still gives well-formed paths.
    std::u16string noSlash = t.WPath();
    noSlash.pop_back();
    EXPECT_EQ(ReportedSet(Walk(ops, Options(noSlash))), (std::set<std::string>{t.Sub("f")}));

    // Once over, the walk stays over instead of starting again.
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(ops.WalkNext(p, size, time));
    // The same object walks again after a new WalkFirst.
    EXPECT_EQ(Reported(Walk(ops, Options(t.WPath()))).size(), 1u);
}

TEST(Walker, AbandonedWalksReleaseTheirFolders) {
    TempDir t;
    std::string deep;
    for (int i = 0; i < 20; ++i) {
        deep += "d" + std::to_string(i) + "/";
        t.WriteFile(deep + "f", "x");
    }
    const int before = OpenFdCount();
    {
        FileOps ops;
        WalkOptions o = Options(t.WPath());
        o.reportEmptyFolders = true;
        // Walk until the walker stands 20 levels down, then leave it there.
        auto steps = Walk(ops, Options(t.WPath()), 1000000);
        ASSERT_EQ(Reported(steps).size(), 20u);
        auto partial = Walk(ops, o, 50);
        EXPECT_TRUE(partial.back().more);
        EXPECT_GT(OpenFdCount(), before) << "an abandoned walk keeps its searches open";
        // A new walk on the same object closes the old searches first.
        auto again = Walk(ops, Options(t.WPath()));
        EXPECT_EQ(Reported(again).size(), 20u);
        EXPECT_EQ(OpenFdCount(), before);
        Walk(ops, o, 50);
    }
    EXPECT_EQ(OpenFdCount(), before) << "the object closes what it left open";
}

TEST(Walker, DeepTreesStopDescendingAtTheLastLevel) {
    TempDir t;
    // Ten levels more than the walk enters, one file in each (the start folder
    // is level 0), with names long enough that the deepest paths pass PATH_MAX.
    const std::string name(12, 'd');
    t.WriteFile("f", "x");
    // Built relative to each folder: the full paths are too long for the
    // system's path calls.
    int fd = ::open(t.Path().c_str(), O_RDONLY | O_DIRECTORY);
    for (int i = 1; i <= FileOps::kWalkStackSize + 10; ++i) {
        ASSERT_EQ(::mkdirat(fd, name.c_str(), 0700), 0) << i;
        int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = next;
        ASSERT_GE(fd, 0);
        int f = ::openat(fd, "f", O_WRONLY | O_CREAT, 0600);
        ASSERT_GE(f, 0);
        ::close(f);
    }
    ::close(fd);
    WalkOptions o = Options(t.WPath());
    o.reportFolders = true;
    FileOps skipper;
    skipper.WalkConfigure(o);
    std::u16string sp;
    int64_t ss = 0, st = 0;
    int tooDeep = 0;
    for (bool more = skipper.WalkFirst(sp, ss, st); more; more = skipper.WalkNext(sp, ss, st)) {
        if (skipper.WalkSkipped() == WalkSkip::kTooDeep) {
            ++tooDeep;
            EXPECT_GT(skipper.WalkSkippedPath().size(), size_t{PATH_MAX});
        }
    }
    EXPECT_EQ(tooDeep, 1) << "the folder not entered is told, once";
    auto steps = Walk(o);
    ASSERT_FALSE(steps.back().more);
    int files = 0, folders = 0;
    size_t deepestFile = 0;
    for (const auto& p : Reported(steps)) {
        if (p.back() == '/') {
            ++folders;
        } else {
            ++files;
            deepestFile = std::max(deepestFile, p.size());
        }
    }
    EXPECT_EQ(files, FileOps::kWalkStackSize);
    // Folders of levels 1..200 are met as entries; the last one is reported but not entered.
    EXPECT_EQ(folders, FileOps::kWalkStackSize);
    EXPECT_EQ(deepestFile, t.Path().size() + (name.size() + 1) * (FileOps::kWalkStackSize - 1) + 1);
    EXPECT_EQ(steps.back().folder, t.Path());

    o.reportFolders = false;
    o.reportEmptyFolders = true;
    auto emptyOnly = Reported(Walk(o));
    EXPECT_EQ(emptyOnly.size(), static_cast<size_t>(FileOps::kWalkStackSize)) << "none is empty";
}

TEST(Walker, UnreadableSubFolderCountsAsEmpty) {
    TempDir t;
    t.WriteFile("a", "1");
    t.WriteFile("locked/secret", "2");
    t.WriteFile("open/b", "3");
    ASSERT_EQ(::chmod(t.Sub("locked").c_str(), 0), 0);

    WalkOptions o = Options(t.WPath());
    o.reportEmptyFolders = true;
    const std::set<std::string> expected = {t.Sub("a"), t.Sub("open/b"), t.Sub("locked/")};

    if (::geteuid() != 0) {
        EXPECT_EQ(ReportedSet(Walk(o)), expected);
        return;
    }
    // Root reads every folder; the walk runs in a child that gave up its rights.
    ASSERT_EQ(::chmod(t.Path().c_str(), 0755), 0);
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::close(fds[0]);
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
        std::string out;
        for (const auto& p : Reported(Walk(o))) out += p + '\0';
        ssize_t n = ::write(fds[1], out.data(), out.size());
        ::_exit(n == static_cast<ssize_t>(out.size()) ? 0 : 3);
    }
    ::close(fds[1]);
    std::string got;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0) got.append(buf, static_cast<size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 2)
        GTEST_SKIP() << "cannot drop root rights here to make a folder unreadable";
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    std::set<std::string> reported;
    for (size_t s = 0, e; (e = got.find('\0', s)) != std::string::npos; s = e + 1)
        reported.insert(got.substr(s, e - s));
    EXPECT_EQ(reported, expected);
}
