// Shredding the trash: which trash folders are the user's, what the list shows of
// each item, and a run that leaves nothing of the items, their info and their
// "directorysizes" lines, on a home trash and on a mounted drive.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "filelist/TrashRows.h"
#include "platform/TrashFolders.h"
#include "runs/FileRunFixture.h"
#include "support/RawDevice.h"
#include "support/TestMount.h"

namespace {

std::string Uid() {
    return std::to_string(::geteuid());
}

ino_t InodeOf(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

// Trash folders as a desktop makes them, below any folder.
class TrashTest : public FileRunTest {
  protected:
    TrashTest() {
        if (const char* h = std::getenv("HOME")) savedHome_ = h;
        if (const char* x = std::getenv("XDG_DATA_HOME")) savedData_ = x;
        ::unsetenv("XDG_DATA_HOME");
        dir.MakeDir("home");
        ::setenv("HOME", dir.Sub("home").c_str(), 1);
    }
    ~TrashTest() override {
        ::setenv("HOME", savedHome_.c_str(), 1);
        if (!savedData_.empty()) ::setenv("XDG_DATA_HOME", savedData_.c_str(), 1);
    }
    // A trashed file with its info; `info` empty: no info file.
    static void Trash(const std::string& trash, const std::string& name, const std::string& info,
                      const std::string& content = "secret") {
        ::mkdir((trash).c_str(), 0700);
        ::mkdir((trash + "/files").c_str(), 0700);
        ::mkdir((trash + "/info").c_str(), 0700);
        if (!content.empty()) TempDir::WriteFileAt(trash + "/files/" + name, content);
        if (!info.empty())
            TempDir::WriteFileAt(
                trash + "/info/" + name + ".trashinfo",
                "[Trash Info]\nPath=" + info + "\nDeletionDate=2024-01-02T03:04:05\n");
    }
    std::vector<std::u16string> Column(int column) {
        std::vector<std::u16string> out;
        for (int r = 0; r < window.RowCount(); ++r) out.push_back(window.RowText(r, column));
        return out;
    }
    bool Logged(const std::u16string& part) {
        for (const auto& l : window.logLines)
            if (l.find(part) != std::u16string::npos) return true;
        return false;
    }

  private:
    std::string savedHome_, savedData_;
};

}  // namespace

TEST(TrashInfoTest, PathIsDecodedAndTakenAgainstTheTopFolder) {
    const TrashInfo abs = ParseTrashInfo(
        "# c\n[Other]\nPath=/wrong\n[Trash Info]\r\nPath=/a%20b/new%0Aline%25.txt\r\n"
        "DeletionDate=2024-01-02T03:04:05\r\n",
        "/mnt/d/");
    EXPECT_TRUE(abs.valid);
    EXPECT_EQ(abs.path, "/a b/new\nline%.txt");
    EXPECT_EQ(abs.deletionDate, "2024-01-02T03:04:05");
    EXPECT_EQ(ParseTrashInfo("[Trash Info]\nPath=docs/x%2", "/mnt/d/").path, "/mnt/d/docs/x%2");
    EXPECT_FALSE(ParseTrashInfo("Path=/x\n", "").valid);
    EXPECT_FALSE(ParseTrashInfo("", "").valid);
}

// Only folders of this user that are no links count; a shared ".Trash" only with
// the sticky bit and as a real folder; another user's trash never.
TEST_F(TrashTest, FindsOnlyTheUsersOwnTrashFolders) {
    const std::string home = dir.Sub("home/.local/share/Trash");
    dir.MakeDir("home/.local/share");
    Trash(home, "h", "/h");
    for (const char* d : {"sticky", "plain", "linked", "other"}) dir.MakeDir(d);
    dir.MakeDir("sticky/.Trash");
    ::chmod(dir.Sub("sticky/.Trash").c_str(), 01777);
    Trash(dir.Sub("sticky/.Trash/" + Uid()), "s", "s");
    Trash(dir.Sub("sticky/.Trash/4242"), "x", "x");  // another user's, by name
    Trash(dir.Sub("sticky/.Trash-" + Uid()), "t", "t");
    Trash(dir.Sub("sticky/.Trash-4242"), "x", "x");
    dir.MakeDir("plain/.Trash");
    ::chmod(dir.Sub("plain/.Trash").c_str(), 0777);
    Trash(dir.Sub("plain/.Trash/" + Uid()), "p", "p");
    ASSERT_EQ(::symlink(dir.Sub("sticky/.Trash").c_str(), dir.Sub("linked/.Trash").c_str()), 0);
    // A folder of this name owned by someone else, and a link in its place.
    Trash(dir.Sub("other/.Trash-" + Uid()), "o", "o");
    ASSERT_EQ(::chown(dir.Sub("other/.Trash-" + Uid()).c_str(), 4242, 4242), 0);

    std::vector<std::string> found;
    for (const auto& t : fsys::FindTrashFolders(
             {dir.Sub("sticky/"), dir.Sub("plain/"), dir.Sub("linked/"), dir.Sub("other/")}))
        found.push_back(t.path);
    EXPECT_EQ(found, (std::vector<std::string>{home + "/", dir.Sub("sticky/.Trash/" + Uid() + "/"),
                                               dir.Sub("sticky/.Trash-" + Uid() + "/")}));

    // A home of another user (a $HOME kept by sudo) is not where this user's trash is.
    ASSERT_EQ(::chown(dir.Sub("home").c_str(), 4242, 4242), 0);
    EXPECT_EQ(fsys::HomeTrashPath().rfind(dir.Sub("home"), 0), std::string::npos);
    ::setenv("XDG_DATA_HOME", dir.Sub("data").c_str(), 1);
    EXPECT_EQ(fsys::HomeTrashPath(), dir.Sub("data/Trash"));
}

// The home trash: every item (a folder walked) and its info shredded, orphans of
// both kinds too and logged, an unticked item and its "directorysizes" line kept,
// the list rewritten by a rename; the trash's own folders stay.
TEST_F(TrashTest, ShredsTheHomeTrashAndKeepsItsFoldersAndSizesInStep) {
    dir.MakeDir("home/.local/share");
    const std::string t = dir.Sub("home/.local/share/Trash");
    Trash(t, "new\nline", "/home/u/new%0Aline%20%25.txt");
    Trash(t, "dir", "/home/u/dir", "");
    dir.MakeDir("home/.local/share/Trash/files/dir/sub");
    TempDir::WriteFileAt(t + "/files/dir/sub/f", "secret");
    Trash(t, "keep", "/home/u/keep", "");
    dir.MakeDir("home/.local/share/Trash/files/keep");
    TempDir::WriteFileAt(t + "/files/keep/k", "kept");
    Trash(t, "noinfo", "");
    Trash(t, "ghost", "/home/u/ghost", "");
    TempDir::WriteFileAt(t + "/directorysizes", "6 1700000000 dir\n4 1700000000 keep\n");
    const ino_t sizesBefore = InodeOf(t + "/directorysizes");

    state.stop = false;  // as the listing thread starts
    ASSERT_EQ(ListTrashRows(window, state), 1);
    const auto names = Column(0);
    const auto dates = Column(2);
    const auto paths = Column(3);
    // One row per item (a folder's with its files), the info folded into it: only
    // the info without its item is a row of its own.
    EXPECT_EQ(window.RowCount(), 8);
    EXPECT_EQ(std::count_if(paths.begin(), paths.end(),
                            [](const std::u16string& p) {
                                return p.find(u".trashinfo") != std::u16string::npos;
                            }),
              1);
    // Rows of "keep" unticked, as a user would.
    for (int r = 0; r < window.RowCount(); ++r)
        if (paths[r].find(u"/files/keep") != std::u16string::npos ||
            paths[r].find(u"/info/keep.") != std::u16string::npos)
            window.list.SetCheck(r, false);
    const auto nl = std::find(paths.begin(), paths.end(), WideFromUtf8(t + "/files/new\nline"));
    ASSERT_NE(nl, paths.end());
    // The item's own name; where it was, for its tool tip.
    EXPECT_EQ(names[nl - paths.begin()], u"new\nline %.txt");
    EXPECT_EQ(dates[nl - paths.begin()], u"2024-01-02 03:04:05");
    EXPECT_EQ(window.origins[WideFromUtf8(t + "/files/new\nline")], u"/home/u/");
    EXPECT_EQ(window.origins[WideFromUtf8(t + "/files/dir/")], u"/home/u/");
    EXPECT_EQ(std::count(names.begin(), names.end(), u"dir"), 1);  // its FOLDER row

    Run();
    EXPECT_EQ(window.status, Done());
    for (const char* gone : {"files/new\nline", "info/new\nline.trashinfo", "files/dir",
                             "info/dir.trashinfo", "files/noinfo", "info/ghost.trashinfo"})
        EXPECT_FALSE(PathExists(t + "/" + gone)) << gone;
    for (const char* kept : {"files", "info", "files/keep/k", "info/keep.trashinfo"})
        EXPECT_TRUE(PathExists(t + "/" + kept)) << kept;
    EXPECT_TRUE(Logged(u"files/noinfo [in the trash without its .trashinfo]"));
    EXPECT_TRUE(Logged(u"info/ghost.trashinfo [.trashinfo without its item]"));
    EXPECT_EQ(ReadWholeFile(t + "/directorysizes"), "4 1700000000 keep\n");
    EXPECT_NE(InodeOf(t + "/directorysizes"), sizesBefore);
    EXPECT_EQ(window.RowCount(), 2);  // the unticked item (a folder with a file)
    // The info went with its item, without a line of its own.
    EXPECT_FALSE(Logged(u"info/dir.trashinfo"));
    EXPECT_FALSE(Logged(u"line.trashinfo"));
}

// A "directorysizes" that cannot be brought in step (a link in its place) is
// left alone, and the run says so and ends partly done.
TEST_F(TrashTest, SizesThatCannotBeKeptInStepLeaveTheRunPartlyDone) {
    dir.MakeDir("home/.local/share");
    const std::string t = dir.Sub("home/.local/share/Trash");
    Trash(t, "old", "/home/u/old");
    dir.WriteFile("elsewhere", "3 1700000000 old\n");
    ASSERT_EQ(::symlink(dir.Sub("elsewhere").c_str(), (t + "/directorysizes").c_str()), 0);
    state.stop = false;
    ASSERT_EQ(ListTrashRows(window, state), 1);
    Run();
    EXPECT_EQ(window.status, Partly());
    EXPECT_TRUE(Logged(u"directorysizes [not updated]"));
    EXPECT_FALSE(PathExists(t + "/files/old"));
    EXPECT_EQ(ReadWholeFile(dir.Sub("elsewhere")), "3 1700000000 old\n");
}

// A drive: both trash folders of the user emptied, relative paths shown against
// the drive's top; another user's trash and the non-sticky ".Trash" untouched;
// nothing of the contents or the info left in the raw image.
TEST_F(TrashTest, ShredsTheTrashOfAMountedDriveDownToTheImage) {
    TestMount mount(TestMount::Kind::Ext4Image, 16 * 1024);
    KELVANE_REQUIRE_MOUNT(mount);
    const std::string top = mount.Path();
    std::string marker = "TRASHED-CONTENT-";
    for (char c = 'a'; c <= 'k'; ++c) marker += static_cast<char>(c ^ 0x20);
    const std::string infoMarker = "INFO" + marker;
    ::mkdir((top + ".Trash").c_str(), 01777);
    ::chmod((top + ".Trash").c_str(), 01777);
    Trash(top + ".Trash/" + Uid(), "a", "docs/a%20" + infoMarker, marker + "a");
    Trash(top + ".Trash-" + Uid(), "b", "/abs/b", marker + "b");
    Trash(top + ".Trash-4242", "c", "c", "other user");

    state.stop = false;
    ASSERT_EQ(ListTrashRows(window, state, fsys::FindTrashFolders({top})), 2);
    const auto names = Column(0);
    EXPECT_NE(std::find(names.begin(), names.end(), WideFromUtf8("a " + infoMarker)), names.end());
    EXPECT_EQ(window.origins[WideFromUtf8(top + ".Trash/" + Uid() + "/files/a")],
              WideFromUtf8(top + "docs/"));
    Run();
    EXPECT_EQ(window.status, Done());
    for (const std::string& gone :
         {".Trash/" + Uid() + "/files/a", ".Trash/" + Uid() + "/info/a.trashinfo",
          ".Trash-" + Uid() + "/files/b", ".Trash-" + Uid() + "/info/b.trashinfo"})
        EXPECT_FALSE(PathExists(top + gone)) << gone;
    EXPECT_EQ(ReadWholeFile(top + ".Trash-4242/files/c"), "other user");

    // The same drive without the sticky bit: its ".Trash/<uid>" is no trash of ours.
    ::chmod((top + ".Trash").c_str(), 0777);
    Trash(top + ".Trash/" + Uid(), "p", "p");
    EXPECT_EQ(fsys::FindTrashFolders({top}).size(), 1u);  // ".Trash-<uid>" alone
    EXPECT_TRUE(PathExists(top + ".Trash/" + Uid() + "/files/p"));

    mount.Sync();
    ASSERT_TRUE(mount.Unmount());
    const std::string image = ReadDeviceWhole(mount.ImagePath());
    EXPECT_EQ(image.find(marker + "a"), std::string::npos);
    EXPECT_EQ(image.find(marker + "b"), std::string::npos);
    EXPECT_EQ(image.find(infoMarker), std::string::npos);
}
