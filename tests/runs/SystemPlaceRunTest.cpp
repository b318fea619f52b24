// System places are refused when listed and again when run, whatever path leads
// to them; what lies below them stays allowed, and the climb after a shredded
// file keeps the shared folder it reaches. Fake places on a test mount stand in
// for /var and the like; a private devpts and device nodes made here stand in
// for /dev.
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>

#include "filelist/FileListOps.h"
#include "filelist/FolderExpansion.h"
#include "filelist/FolderQueue.h"
#include "platform/SystemPlaces.h"
#include "runs/FileRunFixture.h"
#include "support/TestMount.h"

using Lines = std::vector<std::u16string>;

namespace {

class SystemPlaceRun : public FileRunTest {
  protected:
    void SetUp() override {
        if (!fs.Ok()) GTEST_SKIP() << "cannot mount a test file system: " << fs.Error();
        root = fs.Path();
    }
    ~SystemPlaceRun() override {
        fsys::SetSystemPlacePaths({});
        for (auto it = mounts.rbegin(); it != mounts.rend(); ++it)
            ::umount2(it->c_str(), MNT_DETACH);
    }
    void Dir(const std::string& rel, mode_t mode = 0755) {
        ASSERT_EQ(::mkdir((root + rel).c_str(), mode), 0) << rel;
        ASSERT_EQ(::chmod((root + rel).c_str(), mode), 0);
    }
    void Write(const std::string& rel) {
        FILE* f = std::fopen((root + rel).c_str(), "w");
        ASSERT_NE(f, nullptr) << rel;
        std::fputs("secret", f);
        std::fclose(f);
    }
    bool Mount(const char* source, const std::string& rel, const char* type, unsigned long flags,
               const char* data) {
        if (::mount(source, (root + rel).c_str(), type, flags, data) != 0) return false;
        mounts.push_back(root + rel);
        return true;
    }
    void List(const std::vector<std::string>& chosen) {
        ClearFolderQueue(state);
        for (const auto& c : chosen) ASSERT_TRUE(QueueChosenEntry(state, WideFromUtf8(c)));
        state.stop = false;
        ExpandQueuedFolders(window, state);
    }
    std::u16string W(const std::string& rel) const { return WideFromUtf8(root + rel); }
    bool Has(const std::u16string& line) const {
        return std::find(window.logLines.begin(), window.logLines.end(), line) !=
               window.logLines.end();
    }

    TestMount fs{TestMount::Kind::Tmpfs, 4096};
    std::string root;
    std::vector<std::string> mounts;
};

const std::u16string kPlace = u" [NOT SHREDDED: a system place, never shredded]";
const std::u16string kSystemFs = u" [NOT SHREDDED: on a system file system, never shredded]";

}  // namespace

// "/var" by its path, through a link above it, through "link/." and through a
// bind mount: refused when listed, with the reason in the row and the status
// line, and logged by the run. A folder of the user's below it is shredded, and
// the climb that removes its emptied folders stops at the shared (sticky)
// folder above it, the way /var/tmp must stay.
TEST_F(SystemPlaceRun, PlacesAreRefusedByIdentityAndWhatLiesBelowIsNot) {
    Dir("var");
    Dir("var/tmp", 01777);
    Dir("var/tmp/mine");
    Dir("var/tmp/mine/sub");
    Write("var/tmp/mine/sub/f");
    Write("var/keep");
    Dir("bind");
    ASSERT_EQ(::symlink((root + "var").c_str(), (root + "link").c_str()), 0);
    ASSERT_EQ(::symlink(root.c_str(), (root + "up").c_str()), 0);
    fsys::SetSystemPlacePaths({root + "var"});
    ASSERT_TRUE(Mount((root + "var").c_str(), "bind", nullptr, MS_BIND, nullptr));

    List({root + "var", root + "up/var/", root + "link", root + "bind", root + "var/tmp/mine"});
    EXPECT_EQ(window.Paths(),
              (Lines{W("var/"), W("var/"), W("link"), W("bind/"), W("var/tmp/mine/sub/f"),
                     W("var/tmp/mine/sub/"), W("var/tmp/mine/")}));
    // A link chosen that leads to the place is refused as the place.
    EXPECT_EQ(window.RowText(2, 2), kNotListedMarker);
    EXPECT_EQ(window.RowText(2, 1), u"a system place, never shredded");
    EXPECT_EQ(window.RowText(3, 2), kNotListedMarker);
    EXPECT_EQ(window.RowText(3, 1), u"a system place, never shredded");
    EXPECT_NE(window.status.find(W("var/") + u" is a system place"), std::u16string::npos)
        << Utf8FromWide(window.status);

    // Listed earlier by a list that did not know: the run refuses it itself.
    window.AddRow(W("var/"), kFolderMarker);
    Run();
    EXPECT_TRUE(Has(W("var/") + kPlace));
    EXPECT_TRUE(Has(W("bind/") + kPlace));
    EXPECT_TRUE(Has(W("var/tmp/mine/sub/f") + u" [done]"));
    EXPECT_EQ(window.status, Partly());
    EXPECT_FALSE(PathExists(root + "var/tmp/mine"));
    EXPECT_TRUE(PathExists(root + "var/tmp"));
    EXPECT_EQ(ReadWholeFile(root + "var/keep"), "secret");
}

// A file system the kernel makes up (a private devpts here) is neither entered
// by a walk nor touched by a run that was handed its entries anyway; a device
// node met in a chosen folder stays, one chosen on its own goes.
TEST_F(SystemPlaceRun, SystemFileSystemsAndDeviceNodesOfFoldersAreLeftAlone) {
    Dir("c");
    Dir("c/pts");
    Dir("d");
    Write("c/f");
    if (!Mount("devpts", "c/pts", "devpts", 0, "newinstance,ptmxmode=0600"))
        GTEST_SKIP() << "cannot mount a devpts";
    ASSERT_EQ(::mknod((root + "c/null2").c_str(), S_IFCHR | 0600, makedev(1, 3)), 0);
    ASSERT_EQ(::mknod((root + "d/zero2").c_str(), S_IFCHR | 0600, makedev(1, 5)), 0);

    List({root + "c", root + "d/zero2"});
    const Lines paths = window.Paths();
    EXPECT_EQ(std::count(paths.begin(), paths.end(), W("c/pts/")), 1);  // the not-listed row
    EXPECT_EQ(std::count(paths.begin(), paths.end(), W("c/pts/ptmx")), 0);
    window.AddRow(W("c/pts/ptmx"));  // as a list made before the mount would hold it
    Run();
    EXPECT_TRUE(Has(W("c/pts/") + kPlace));
    EXPECT_TRUE(Has(W("c/pts/ptmx") + kSystemFs));
    EXPECT_TRUE(
        Has(W("c/null2") + u" [NOT SHREDDED: a device node not chosen on its own, left alone]"));
    EXPECT_TRUE(Has(W("d/zero2") + u" [done]"));
    EXPECT_TRUE(Has(W("c/f") + u" [done]"));
    EXPECT_TRUE(PathExists(root + "c/null2"));
    EXPECT_TRUE(PathExists(root + "c/pts/ptmx"));
    EXPECT_FALSE(PathExists(root + "d"));
    EXPECT_EQ(window.status, Partly());
}
