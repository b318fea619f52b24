// Reaching an entry below a chosen folder without following a link, by openat2
// and by the folder-by-folder walk that older kernels get; and the paths the
// user gives, made absolute once with the folders above them resolved.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>

#include "config/TextConv.h"
#include "platform/ConfinedPath.h"
#include "platform/UserFolders.h"
#include "support/TempDir.h"

using fsys::LocateResult;

namespace {

class ConfinedPath : public ::testing::TestWithParam<fsys::ResolveMethod> {
  protected:
    void SetUp() override {
        if (GetParam() == fsys::ResolveMethod::kAutomatic && !fsys::KernelResolvesWithoutLinks())
            GTEST_SKIP() << "this kernel has no openat2";
        fsys::SetResolveMethod(GetParam());
        dir.WriteFile("root/a/b/f", "inside");
        dir.WriteFile("outside/b/f", "outside");
        struct stat st {};
        ASSERT_EQ(::lstat(dir.Sub("root").c_str(), &st), 0);
        root_ = fsys::Root{dir.WSub("root/"), {st.st_dev, st.st_ino}};
    }
    void TearDown() override { fsys::SetResolveMethod(fsys::ResolveMethod::kAutomatic); }

    // The root as it was listed: its identity is checked at every look.
    const fsys::Root& Root() const { return root_; }
    LocateResult Find(const std::string& rel, std::string* content = nullptr) {
        fsys::Place place;
        const LocateResult r = fsys::Locate(Root(), dir.WSub(rel), place);
        if (r == LocateResult::kFound && content) {
            fsys::File f;
            char buf[64] = {};
            if (f.OpenAt(place.folder->Fd(), place.name, fsys::File::Mode::kRead))
                *content = std::string(buf, static_cast<size_t>(f.Read(buf, sizeof buf)));
        }
        return r;
    }

    TempDir dir;
    fsys::Root root_;
};

}  // namespace

TEST_P(ConfinedPath, LinksAndOtherObjectsOnTheWayAreRefused) {
    std::string content;
    EXPECT_EQ(Find("root/a/b/f", &content), LocateResult::kFound);
    EXPECT_EQ(content, "inside");
    EXPECT_EQ(Find("root/a/missing/f"), LocateResult::kMissing);
    EXPECT_EQ(Find("root/a/../a/b/f"), LocateResult::kFailed);

    // A folder below the root swapped for a link to another tree.
    ASSERT_EQ(::rename(dir.Sub("root/a/b").c_str(), dir.Sub("moved").c_str()), 0);
    ASSERT_EQ(::symlink(dir.Sub("outside/b").c_str(), dir.Sub("root/a/b").c_str()), 0);
    EXPECT_EQ(Find("root/a/b/f"), LocateResult::kRefused);
    // A relative link, and a file where a folder was.
    ASSERT_EQ(::unlink(dir.Sub("root/a/b").c_str()), 0);
    ASSERT_EQ(::symlink("../../outside/b", dir.Sub("root/a/b").c_str()), 0);
    EXPECT_EQ(Find("root/a/b/f"), LocateResult::kRefused);
    ASSERT_EQ(::unlink(dir.Sub("root/a/b").c_str()), 0);
    dir.WriteFile("root/a/b", "a file now");
    EXPECT_EQ(Find("root/a/b/f"), LocateResult::kRefused);

    // The root itself replaced by another folder, or by a link to one.
    ASSERT_EQ(::rename(dir.Sub("root").c_str(), dir.Sub("old-root").c_str()), 0);
    dir.WriteFile("root/a/b/f", "a new tree");
    EXPECT_EQ(Find("root/a/b/f"), LocateResult::kRefused);
    ASSERT_EQ(::rename(dir.Sub("root").c_str(), dir.Sub("new-root").c_str()), 0);
    ASSERT_EQ(::symlink(dir.Sub("old-root").c_str(), dir.Sub("root").c_str()), 0);
    EXPECT_EQ(Find("root/a/missing"), LocateResult::kRefused);

    // The entry's own last component is never followed: a link is found as a link.
    fsys::Place place;
    ASSERT_EQ(fsys::Locate(fsys::Root{}, dir.WSub("root"), place), LocateResult::kFound);
    fsys::Attributes attr;
    ASSERT_TRUE(fsys::GetAttributes(place, attr));
    EXPECT_EQ(attr.kind, fsys::Kind::kLink);
}

TEST_P(ConfinedPath, TreesDeeperThanAPathCanNameAreReached) {
    // 400 levels of 20-byte names: a path of over 8,000 bytes.
    const std::string name(20, 'n');
    int fd = ::open(dir.Sub("root").c_str(), O_RDONLY | O_DIRECTORY);
    std::u16string deep = dir.WSub("root/");
    for (int i = 0; i < 400; ++i) {
        ASSERT_EQ(::mkdirat(fd, name.c_str(), 0700), 0);
        int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = next;
        deep += WideFromUtf8(name) + u"/";
    }
    int f = ::openat(fd, "leaf", O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(f, 0);
    ::close(f);
    ::close(fd);
    ASSERT_GT(deep.size(), size_t{2 * PATH_MAX});

    fsys::Place place;
    ASSERT_EQ(fsys::Locate(Root(), deep + u"leaf", place), LocateResult::kFound);
    EXPECT_TRUE(fsys::RemoveFile(place));
    EXPECT_EQ(fsys::Locate(Root(), deep + u"leaf", place), LocateResult::kFound);
    EXPECT_FALSE(fsys::RemoveFile(place)) << "removed once, gone";
}

INSTANTIATE_TEST_SUITE_P(Methods, ConfinedPath,
                         ::testing::Values(fsys::ResolveMethod::kAutomatic,
                                           fsys::ResolveMethod::kComponentWalk),
                         [](const auto& info) {
                             return info.param == fsys::ResolveMethod::kAutomatic
                                        ? std::string("Openat2")
                                        : std::string("ComponentWalk");
                         });

TEST(ChosenPaths, AbsoluteWithRealFoldersAboveAndTheLastComponentAsItIs) {
    TempDir dir;
    dir.WriteFile("real/f", "x");
    dir.MakeDir("real/sub");
    ASSERT_EQ(::symlink(dir.Sub("real").c_str(), dir.Sub("via").c_str()), 0);
    ASSERT_EQ(::symlink(dir.Sub("real/sub").c_str(), dir.Sub("real/link").c_str()), 0);
    char* base = ::realpath(dir.Path().c_str(), nullptr);
    const std::string real = std::string(base) + "/real";
    std::free(base);

    EXPECT_EQ(Utf8FromWide(fsys::ResolveChosenPath(dir.WSub("via/f"))), real + "/f");
    // A link chosen, with or without a trailing "/", is the link.
    EXPECT_EQ(Utf8FromWide(fsys::ResolveChosenPath(dir.WSub("via/link/"))), real + "/link");
    EXPECT_EQ(Utf8FromWide(fsys::ResolveChosenPath(dir.WSub("via/link"))), real + "/link");
    // ".." or "." as the last component names no entry of its own: never the
    // folder it leads back to ("shred .." would take the folder above).
    EXPECT_TRUE(fsys::ResolveChosenPath(dir.WSub("via/sub/..")).empty());
    EXPECT_TRUE(fsys::ResolveChosenPath(dir.WSub("via/sub/./")).empty());
    EXPECT_EQ(Utf8FromWide(fsys::ResolveChosenPath(dir.WSub("via/sub/../f"))), real + "/f");
    EXPECT_EQ(fsys::ResolveChosenPath(u"/"), u"/");
    EXPECT_TRUE(fsys::ResolveChosenPath(dir.WSub("missing/f")).empty());

    char* cwd = ::getcwd(nullptr, 0);
    ASSERT_EQ(::chdir(dir.Sub("via").c_str()), 0);
    EXPECT_EQ(Utf8FromWide(fsys::ResolveChosenPath(u"f")), real + "/f");
    ASSERT_EQ(::chdir(cwd), 0);
    std::free(cwd);
}

TEST(ChosenPaths, UserFoldersComeFromTheHomeAndItsList) {
    TempDir dir;
    dir.WriteFile("cfg/user-dirs.dirs",
                  "# written by xdg-user-dirs-update\n"
                  "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n"
                  "XDG_MUSIC_DIR=\"/srv/music\"\n"
                  "XDG_BROKEN_DIR=relative\n");
    const char* oldHome = std::getenv("HOME");
    const char* oldCfg = std::getenv("XDG_CONFIG_HOME");
    const std::string savedHome = oldHome ? oldHome : "", savedCfg = oldCfg ? oldCfg : "";
    ::setenv("HOME", "/home/u", 1);
    ::setenv("XDG_CONFIG_HOME", dir.Sub("cfg").c_str(), 1);
    const auto paths = fsys::UserFolderPaths();
    oldHome ? ::setenv("HOME", savedHome.c_str(), 1) : ::unsetenv("HOME");
    oldCfg ? ::setenv("XDG_CONFIG_HOME", savedCfg.c_str(), 1) : ::unsetenv("XDG_CONFIG_HOME");

    auto has = [&](const std::string& p) {
        return std::find(paths.begin(), paths.end(), p) != paths.end();
    };
    EXPECT_TRUE(has("/home/u"));
    EXPECT_TRUE(has("/home/u/Schreibtisch"));
    EXPECT_TRUE(has("/srv/music"));
    EXPECT_TRUE(has("/home/u/Downloads"));  // the customary name, listed or not
    EXPECT_FALSE(has("relative"));
}
