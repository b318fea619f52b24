// A run touches exactly what was chosen: a tree swapped under it for links to
// another tree at every point of the run, by the openat2 and the walk
// resolution; and the outcomes that must not hide an entry.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <set>
#include <thread>

#include "engine/FileOps.h"
#include "filelist/FolderExpansion.h"
#include "filelist/FolderQueue.h"
#include "platform/ConfinedPath.h"
#include "runs/FileRunFixture.h"
#include "support/TestMount.h"

using Lines = std::vector<std::u16string>;

namespace {

// Every file of a tree with its content (no link followed).
std::map<std::string, std::string> Snapshot(const std::string& top) {
    std::map<std::string, std::string> out;
    for (int i = 0;; ++i) {
        const std::string p = top + "/o" + std::to_string(i);
        if (!PathExists(p)) break;
        out[p] = ReadWholeFile(p);
    }
    return out;
}

int Touched(const std::map<std::string, std::string>& before) {
    int n = 0;
    for (const auto& [path, content] : before)
        if (!PathExists(path) || ReadWholeFile(path) != content) ++n;
    return n;
}

bool Contains(const Lines& lines, const std::u16string& part) {
    for (const auto& l : lines)
        if (l.find(part) != std::u16string::npos) return true;
    return false;
}

class FileRunConfinement : public FileRunTest {
  protected:
    ~FileRunConfinement() override { fsys::SetResolveMethod(fsys::ResolveMethod::kAutomatic); }

    // Lists a folder as the folder expansion does when the user chooses it.
    void ListFolder(const std::string& rel) {
        ClearFolderQueue(state);
        ASSERT_TRUE(QueueFolder(state, dir.WSub(rel)));
        state.stop = false;
        ExpandQueuedFolders(window, state);
    }
    void MakeTree(const std::string& rel, int files) {
        for (int i = 0; i < files; ++i) dir.WriteFile(rel + "/f" + std::to_string(i), "mine");
    }
    // False when the folder is gone already (the run removed it).
    bool Swap(const std::string& rel, const std::string& target, int run) {
        const std::string aside = dir.Sub(rel + ".moved" + std::to_string(run));
        if (::rename(dir.Sub(rel).c_str(), aside.c_str()) != 0) return false;
        EXPECT_EQ(::symlink(dir.Sub(target).c_str(), dir.Sub(rel).c_str()), 0);
        return true;
    }
};

}  // namespace

TEST_F(FileRunConfinement, FoldersSwappedForLinksAtEveryPointOfARunLeaveTheOutsideAlone) {
    // The outside tree mirrors the shredded one, so a followed link would find
    // every name it looks for.
    for (const char* sub : {"dB", "dB/deep"})
        for (int i = 0; i < 8; ++i)
            dir.WriteFile(std::string("outside/") + sub + "/f" + std::to_string(i), "outside");
    for (int i = 0; i < 8; ++i)
        dir.WriteFile("outside/o" + std::to_string(i), "x" + std::to_string(i));
    std::map<std::string, std::string> outside;
    for (const char* sub : {"dB", "dB/deep"})
        for (int i = 0; i < 8; ++i) {
            const std::string p = dir.Sub(std::string("outside/") + sub + "/f" + std::to_string(i));
            outside[p] = ReadWholeFile(p);
        }
    for (auto& [p, c] : Snapshot(dir.Sub("outside"))) outside[p] = c;

    int runs = 0, swaps = 0, refused = 0;
    const std::vector<fsys::ResolveMethod> methods = {fsys::ResolveMethod::kComponentWalk,
                                                      fsys::ResolveMethod::kAutomatic};
    for (const auto method : methods) {
        fsys::SetResolveMethod(method);
        // 8 + 8 + 8 files and 4 folder rows: a swap before each of them.
        for (int at = 1; at <= 28; ++at) {
            const std::string t = "t" + std::to_string(runs);
            MakeTree(t + "/dA", 8);
            MakeTree(t + "/dB", 8);
            MakeTree(t + "/dB/deep", 8);
            ListFolder(t);
            // Which folder goes: the one of the files, a deeper one, or the chosen root.
            const int kind = at % 3;
            int shown = 0;
            window.onStatus = [&](const std::u16string& text) {
                if (text.rfind(u"Shredding [", 0) != 0 || ++shown != at) return;
                bool swapped = false;
                if (kind == 0) swapped = Swap(t + "/dB", "outside/dB", runs);
                if (kind == 1) swapped = Swap(t + "/dB/deep", "outside/dB/deep", runs);
                if (kind == 2) swapped = Swap(t, "outside", runs);
                swaps += swapped ? 1 : 0;
            };
            Run();
            window.onStatus = nullptr;
            ++runs;
            for (const auto& l : window.logLines)
                if (l.find(u"[FAILED! the folder changed]") != std::u16string::npos) ++refused;
            ASSERT_EQ(Touched(outside), 0) << "run " << runs << ", swap before entry " << at;
            std::lock_guard<std::mutex> l(window.mutex);
            window.list.DeleteAllItems();
        }
    }

    // And swapped to and fro by another thread while the run goes on.
    fsys::SetResolveMethod(fsys::ResolveMethod::kAutomatic);
    for (int r = 0; r < 16; ++r) {
        const std::string t = "t" + std::to_string(runs);
        MakeTree(t + "/dA", 12);
        MakeTree(t + "/dB", 12);
        ListFolder(t);
        std::atomic<bool> done{false};
        std::thread swapper([&] {
            const std::string real = dir.Sub(t + "/dB"), aside = dir.Sub(t + "/dB.aside");
            const std::string link = dir.Sub(t + "/dB.link");
            (void)::symlink(dir.Sub("outside/dB").c_str(), link.c_str());
            for (int n = 0; !done.load(); ++n) {
                // rename is atomic: the name is always either the folder or the link.
                if (::rename(real.c_str(), aside.c_str()) != 0) break;
                (void)::rename(link.c_str(), real.c_str());
                ++swaps;
                std::this_thread::sleep_for(std::chrono::microseconds(200 + 50 * (n % 7)));
                (void)::rename(real.c_str(), link.c_str());
                (void)::rename(aside.c_str(), real.c_str());
                std::this_thread::sleep_for(std::chrono::microseconds(100 * (r % 5)));
            }
        });
        Run();
        done = true;
        swapper.join();
        ++runs;
        ASSERT_EQ(Touched(outside), 0) << "run " << runs << " with a swapping thread";
        std::lock_guard<std::mutex> l(window.mutex);
        window.list.DeleteAllItems();
    }
    EXPECT_GT(refused, 0) << "the swaps were never met";
    std::printf("[ race     ] %d runs, %d swaps, %d entries refused, outside files touched: %d\n",
                runs, swaps, refused, Touched(outside));
}

TEST_F(FileRunConfinement, AFileChosenOnItsOwnIsShreddedOnlyInTheFolderItWasListedIn) {
    // As the file dialog, a drop, the command line and a second start add it.
    auto choose = [&](const std::string& rel) {
        ClearFolderQueue(state);
        ASSERT_TRUE(QueueChosenEntry(state, dir.WSub(rel)));
        state.stop = false;
        ExpandQueuedFolders(window, state);
    };
    // Its folder swapped for a link to another user's folder holding the same
    // name, and for a new folder holding another name of that user's file.
    for (const bool byLink : {true, false}) {
        const std::string t = byLink ? "l" : "h";
        dir.WriteFile(t + "/shared/docs/report.txt", "mine");
        dir.WriteFile(t + "/victim/docs/report.txt", "theirs");
        choose(t + "/shared/docs/report.txt");
        ASSERT_EQ(window.Paths(), Lines{dir.WSub(t + "/shared/docs/report.txt")});
        ASSERT_EQ(
            ::rename(dir.Sub(t + "/shared/docs").c_str(), dir.Sub(t + "/shared/docs.x").c_str()),
            0);
        if (byLink) {
            ASSERT_EQ(
                ::symlink(dir.Sub(t + "/victim/docs").c_str(), dir.Sub(t + "/shared/docs").c_str()),
                0);
        } else {
            dir.MakeDir(t + "/shared/docs");
            ASSERT_EQ(::link(dir.Sub(t + "/victim/docs/report.txt").c_str(),
                             dir.Sub(t + "/shared/docs/report.txt").c_str()),
                      0);
        }
        Run();
        EXPECT_EQ(ReadWholeFile(dir.Sub(t + "/victim/docs/report.txt")), "theirs") << t;
        EXPECT_EQ(ReadWholeFile(dir.Sub(t + "/shared/docs.x/report.txt")), "mine") << t;
        EXPECT_EQ(window.logLines.back(),
                  dir.WSub(t + "/shared/docs/report.txt") + u" [FAILED! the folder changed]");
        EXPECT_EQ(window.Paths(), Lines{dir.WSub(t + "/shared/docs/report.txt")});
        EXPECT_EQ(window.status, Partly());
        std::lock_guard<std::mutex> l(window.mutex);
        window.list.DeleteAllItems();
    }
    // Left as listed, it goes; so does a link chosen on its own, its target stays.
    dir.WriteFile("k/docs/report.txt", "mine");
    ASSERT_EQ(::symlink(dir.Sub("l/victim/docs").c_str(), dir.Sub("k/docs/link").c_str()), 0);
    choose("k/docs/report.txt");
    choose("k/docs/link");
    Run();
    EXPECT_FALSE(Exists("k"));
    EXPECT_EQ(ReadWholeFile(dir.Sub("l/victim/docs/report.txt")), "theirs");
    EXPECT_EQ(window.status, Done());
}

TEST_F(FileRunConfinement, HardLinkedFilesAreShreddedAndSaidToBe) {
    AddFile("h/linked.txt", "shared data");
    ASSERT_EQ(::link(dir.Sub("h/linked.txt").c_str(), dir.Sub("other-name").c_str()), 0);
    AddFile("h/single.txt");
    Run();
    EXPECT_FALSE(Exists("h/linked.txt"));
    EXPECT_NE(ReadWholeFile(dir.Sub("other-name")), "shared data")
        << "overwritten under both names";
    EXPECT_EQ(window.logLines[1], dir.WSub("h/linked.txt") + u" [done, 1 other name]");
    EXPECT_EQ(window.logLines[2], dir.WSub("h/single.txt") + u" [done]");
    EXPECT_TRUE(Contains(window.logLines, u"1 file(s) had other names"));
    EXPECT_EQ(window.status, Done() +
                                 u" 1 file(s) had other names (hard links): their data is "
                                 u"gone under those names too.");
    EXPECT_EQ(state.lastOutcome, RunOutcome::Done);
}

TEST_F(FileRunConfinement, UserFoldersAndMountPointsStay) {
    // A home of the test's own, with a list naming its desktop folder.
    dir.WriteFile("home/.config/user-dirs.dirs", "XDG_DESKTOP_DIR=\"$HOME/Bureau\"\n");
    MakeTree("home/Bureau", 2);
    MakeTree("home/Documents", 2);
    const std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    const char* cfg = std::getenv("XDG_CONFIG_HOME");
    const std::string savedCfg = cfg ? cfg : "";
    ::setenv("HOME", dir.Sub("home").c_str(), 1);
    ::unsetenv("XDG_CONFIG_HOME");
    ListFolder("home/Bureau");
    ListFolder("home/Documents");
    AddFile("home/lone.txt");
    Run();
    ::setenv("HOME", savedHome.c_str(), 1);
    if (cfg) ::setenv("XDG_CONFIG_HOME", savedCfg.c_str(), 1);

    // The files went; the folders, now empty, and the home above them stay.
    EXPECT_FALSE(Exists("home/Bureau/f0"));
    EXPECT_FALSE(Exists("home/lone.txt"));
    EXPECT_TRUE(Exists("home/Bureau"));
    EXPECT_TRUE(Exists("home/Documents"));
    EXPECT_FALSE(Contains(window.logLines, u"[FOLDER, removed]"));
    EXPECT_TRUE(Contains(window.logLines, dir.WSub("home/Bureau/") + u" [FOLDER, not removed]"));
    EXPECT_EQ(window.status, Partly());

    // A mount point chosen as a folder, holding a file that cannot be shredded.
    TestMount mount(TestMount::Kind::Tmpfs, 1024);
    KELVANE_REQUIRE_MOUNT(mount);
    {
        std::lock_guard<std::mutex> l(window.mutex);
        window.list.DeleteAllItems();
    }
    const std::string stick = mount.Path();
    ASSERT_EQ(::close(::open((stick + "ro.txt").c_str(), O_CREAT | O_WRONLY, 0444)), 0);
    ClearFolderQueue(state);
    ASSERT_TRUE(QueueFolder(state, mount.WPath()));
    state.stop = false;
    ExpandQueuedFolders(window, state);
    Run();
    EXPECT_TRUE(PathExists(stick + "ro.txt"));
    EXPECT_FALSE(Contains(window.logLines, u"[FOLDER, removed]"));
    EXPECT_TRUE(Contains(window.logLines, mount.WPath() + u" [FOLDER, not removed]"));
    EXPECT_EQ(window.Paths(), (Lines{mount.WPath() + u"ro.txt", mount.WPath()}));
    EXPECT_EQ(window.status.rfind(Partly(), 0), 0u) << Utf8FromWide(window.status);
}

TEST_F(FileRunConfinement, EveryEntryOfADeepTreeIsShreddedOrAccountedFor) {
    // Deeper than the walk enters, with paths longer than the system's limit.
    window.settings.fileShredFileShred = true;  // "Do not delete folders"
    const std::string name(12, 'd');
    dir.MakeDir("deep");
    int fd = ::open(dir.Sub("deep").c_str(), O_RDONLY | O_DIRECTORY);
    for (int i = 1; i <= FileOps::kWalkStackSize + 5; ++i) {
        ASSERT_EQ(::mkdirat(fd, name.c_str(), 0700), 0);
        int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = next;
        // Empty: the test is about reaching them, not about the writing.
        ASSERT_EQ(::close(::openat(fd, "f", O_WRONLY | O_CREAT, 0600)), 0);
    }
    ::close(fd);
    ListFolder("deep");
    Run();
    // Every listed file went, even those past PATH_MAX; the folder not entered
    // is named in the log, and the run is not "done".
    int done = 0, notShredded = 0;
    for (const auto& l : window.logLines) {
        if (l.find(u"/f [done]") != std::u16string::npos) ++done;
        if (l.find(u"[NOT SHREDDED: too deep") != std::u16string::npos) ++notShredded;
    }
    EXPECT_EQ(done, FileOps::kWalkStackSize - 1);
    EXPECT_EQ(notShredded, 1);
    EXPECT_EQ(window.status, Partly());
    EXPECT_EQ(state.lastOutcome, RunOutcome::Partly);
}

TEST_F(FileRunConfinement, FolderRowsAheadOfTheirFilesLeaveWhenTheFolderWent) {
    // Sorted so that the folder rows come first: they are still in use when met.
    File("s/u/f.txt");
    AddFolderRow("s/");
    AddFolderRow("s/u/");
    window.AddRow(dir.WSub("s/u/f.txt"));
    Run();
    EXPECT_FALSE(Exists("s"));
    EXPECT_TRUE(window.Paths().empty());
    EXPECT_EQ(window.status, Done());
    EXPECT_EQ(state.lastOutcome, RunOutcome::Done);
}

TEST_F(FileRunConfinement, ARenamingThatFindsNoFreeNameLeavesTheFileAndItsRow) {
    window.settings.shredNames = 1;
    window.iterationsText = u"2";
    // The names the renaming draws, from a seed fixed for the test: the first
    // round takes the first; the second round draws again while a name is taken.
    SetFreshRandomSeedHook([] { return 1'800'000'000u; });
    struct Unhook {
        ~Unhook() { SetFreshRandomSeedHook(nullptr); }
    } unhook;
    auto drawn = [] {
        SeedThreadRandom(1'800'000'000u);
        std::vector<std::string> names(40);
        for (auto& n : names)
            for (int i = 0; i < 4; ++i) n += static_cast<char>('0' + ThreadRandom() % 9);
        return names;
    }();
    const std::set<std::string> taken(drawn.begin() + 1, drawn.end());
    ASSERT_EQ(taken.count(drawn[0]), 0u);

    // One name taken: it is drawn again, and the other file stays as it was.
    AddFile("q/abcd", "secret");
    dir.WriteFile("q/" + drawn[1], "somebody's");
    Run();
    EXPECT_EQ(ReadWholeFile(dir.Sub("q/" + drawn[1])), "somebody's");
    EXPECT_TRUE(window.Paths().empty());
    EXPECT_EQ(window.status, Done());

    // Every name of four digits taken: nothing is replaced, and the file stays
    // under its own name, and so does its row.
    AddFile("r/abcd", "secret");
    std::vector<std::string> others;
    for (int n = 0; n < 9 * 9 * 9 * 9; ++n)
        others.push_back({char('0' + n / 729), char('0' + n / 81 % 9), char('0' + n / 9 % 9),
                          char('0' + n % 9)});
    for (const std::string& name : others) dir.WriteFile("r/" + name, "");
    Run();
    EXPECT_EQ(ReadWholeFile(dir.Sub("r/abcd")).size(), 6u);
    EXPECT_EQ(window.Paths(), Lines{dir.WSub("r/abcd")});
    EXPECT_EQ(LastLog(1 + EarlierLines()),
              WithEarlier({dir.WSub("r/abcd") + u" [FAILED! File exists]"}));
    EXPECT_EQ(ReadWholeFile(dir.Sub("r/" + drawn[0])), "");

    // The next run finds the file where it is now and finishes it.
    for (const std::string& name : others) ASSERT_EQ(::unlink(dir.Sub("r/" + name).c_str()), 0);
    Run();
    EXPECT_FALSE(Exists("r"));
    EXPECT_EQ(window.status, Done());
}

TEST_F(FileRunConfinement, IgnoringWriteProtectionOpensTheHoldingFolderForTheEntryOnly) {
    // Root may rename in any folder: the run goes in a child without root rights.
    dir.WriteFile("ro/f.txt", "secret");
    dir.WriteFile("ro/g.txt", "secret");
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);
    for (const char* p : {"", "ro", "ro/f.txt", "ro/g.txt", "stay"})
        ASSERT_EQ(::chown(dir.Sub(p).c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chmod(dir.Sub("ro").c_str(), 0555), 0);
    window.AddRow(dir.WSub("ro/f.txt"));
    window.settings.ignoreProtect = true;
    window.settings.fileShredFileShred = true;
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
        WorkerThreads threads;
        StartFileRun(threads, window, state);
        threads.JoinAll();
        ::_exit(state.lastOutcome == RunOutcome::Done ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 2)
        GTEST_SKIP() << "cannot drop root rights here";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the run did not end done";
    EXPECT_FALSE(Exists("ro/f.txt"));
    EXPECT_EQ(ReadWholeFile(dir.Sub("ro/g.txt")), "secret");
    struct stat st {};
    ASSERT_EQ(::stat(dir.Sub("ro").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0555u) << "the folder's mode is put back";
}

TEST_F(FileRunConfinement, EntriesGoneWhileListedAreToldAndTheRunIsPartly) {
    for (int i = 0; i < 6; ++i) dir.WriteFile("v/f" + std::to_string(i), "x");
    // Once the first row is in, the others vanish: the walk has already read
    // their names, so it meets them, but cannot look at them any more.
    std::string first;
    window.onAppend = [&](int rows) {
        if (rows != 1) return;
        const std::u16string listed = window.RowText(0, 3);
        first = Utf8FromWide(listed);
        for (int i = 0; i < 6; ++i)
            if (dir.Sub("v/f" + std::to_string(i)) != first)
                ::unlink(dir.Sub("v/f" + std::to_string(i)).c_str());
    };
    ListFolder("v");
    window.onAppend = nullptr;
    Run();
    int vanished = 0;
    for (const auto& l : window.logLines)
        if (l.find(u"[NOT SHREDDED: vanished while listed]") != std::u16string::npos) ++vanished;
    EXPECT_EQ(vanished, 5);
    EXPECT_TRUE(Contains(window.logLines, WideFromUtf8(first) + u" [done]"));
    EXPECT_EQ(window.status, Partly());
}
