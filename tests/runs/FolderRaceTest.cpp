// An emptied folder goes only by the one way that scrambles its name and writes
// it out first, however many files of it are shredded at once: watched from the
// folder above with inotify, which names every folder removed as it was named
// at that moment.
#include <sys/inotify.h>
#include <unistd.h>

#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "runs/FileRunFixture.h"

namespace {

class ManyFilesAtOnce {
  public:
    ManyFilesAtOnce() { ::setenv("KELVANE_FILES_AT_ONCE", "16", 1); }
    ~ManyFilesAtOnce() { ::unsetenv("KELVANE_FILES_AT_ONCE"); }
    ManyFilesAtOnce(const ManyFilesAtOnce&) = delete;
    ManyFilesAtOnce& operator=(const ManyFilesAtOnce&) = delete;
};

struct Removed {
    std::vector<std::string> folders;  // names of the folders removed
    std::vector<std::string> files;    // names of other entries removed
    std::set<std::string> renamed;     // names folders were renamed from
};

bool AllDigits(const std::string& s) {
    return !s.empty() && s.find_first_not_of("012345678") == std::string::npos;
}

Removed ReadRemovals(int fd) {
    Removed out;
    alignas(inotify_event) char buf[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0) break;
        for (ssize_t at = 0; at < n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buf + at);
            if ((e->mask & IN_DELETE) != 0 && e->len > 0)
                ((e->mask & IN_ISDIR) != 0 ? out.folders : out.files).emplace_back(e->name);
            // The first renaming of each folder, from the name it had.
            if ((e->mask & IN_MOVED_FROM) != 0 && (e->mask & IN_ISDIR) != 0 && e->len > 0 &&
                !AllDigits(e->name))
                out.renamed.emplace(e->name);
            at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
        }
    }
    return out;
}

}  // namespace

TEST_F(FileRunTest, EmptiedFoldersGoScrambledHoweverManyFilesOfThemEndAtOnce) {
    ManyFilesAtOnce pool;
    constexpr int kFolders = 24;
    constexpr int kFiles = 48;
    dir.MakeDir("race");
    for (int f = 0; f < kFolders; ++f) {
        const std::string folder = "race/folder-" + std::to_string(f) + "/";
        dir.MakeDir(folder);
        for (int i = 0; i < kFiles; ++i) AddFile(folder + "file-" + std::to_string(i), "x");
    }
    // The last of the folder's files ends its row after the files of the next
    // folder are handed out: a file of it that ends early must not take it.
    window.settings.shredNames = 1;
    window.settings.random = 1;
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, dir.Sub("race").c_str(), IN_DELETE | IN_MOVED_FROM), 0);
    Run();
    const Removed removed = ReadRemovals(watch);
    ::close(watch);

    EXPECT_EQ(window.status, Done());
    EXPECT_TRUE(window.Paths().empty());
    // Every folder was renamed before it went, and every removal took a name of
    // digits, never a folder's own. (inotify merges two like events in a row,
    // so the removals are not counted: the renamings, all of other names, are.)
    std::set<std::string> expected;
    for (int f = 0; f < kFolders; ++f) expected.insert("folder-" + std::to_string(f));
    EXPECT_EQ(removed.renamed, expected);
    EXPECT_FALSE(removed.folders.empty());
    for (const std::string& name : removed.folders)
        EXPECT_TRUE(AllDigits(name)) << "removed as it was named: " << name;
    EXPECT_TRUE(removed.files.empty());
    // "race" held nothing but what was shredded, so it went too (with the
    // chain), and the test folder, which keeps a file of its own, stayed.
    EXPECT_FALSE(Exists("race"));
    EXPECT_TRUE(Exists("stay"));
}
