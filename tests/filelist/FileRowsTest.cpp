// File rows and the Edit menu commands, on real files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "config/TextConv.h"
#include "filelist/FileListOps.h"
#include "support/FakeRunWindow.h"
#include "support/TempDir.h"

namespace {

void SetMtime(const std::string& path, std::time_t t) {
    struct timespec times[2] = {{t, 0}, {t, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
}

// Runs the body with TZ set, restoring the old zone afterwards.
class ScopedTimeZone {
  public:
    explicit ScopedTimeZone(const char* tz) {
        const char* old = std::getenv("TZ");
        hadOld_ = old != nullptr;
        if (hadOld_) old_ = old;
        ::setenv("TZ", tz, 1);
        ::tzset();
    }
    ~ScopedTimeZone() {
        if (hadOld_)
            ::setenv("TZ", old_.c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }

  private:
    bool hadOld_ = false;
    std::string old_;
};

}  // namespace

TEST(FileRows, MissingFileAddsNothingAndShowsTheUnchangedCount) {
    TempDir dir;
    FakeRunWindow w;
    w.AddRow(u"/some/earlier/row");
    EXPECT_FALSE(AddFileRow(w, dir.WSub("gone.txt")));
    EXPECT_FALSE(AddFileRow(w, u""));
    EXPECT_EQ(w.RowCount(), 1);
    EXPECT_EQ(w.StatusText(), u"Amount of files: 1");
}

TEST(FileRows, SameFileTwiceGivesTwoIdenticalCheckedRows) {
    TempDir dir;
    dir.WriteFile("a.txt", "hello");
    FakeRunWindow w;
    ASSERT_TRUE(AddFileRow(w, dir.WSub("a.txt")));
    ASSERT_TRUE(AddFileRow(w, dir.WSub("a.txt")));
    ASSERT_EQ(w.RowCount(), 2);
    for (int c = 0; c < 4; ++c) EXPECT_EQ(w.RowText(0, c), w.RowText(1, c)) << "column " << c;
    EXPECT_TRUE(w.RowChecked(0));
    EXPECT_TRUE(w.RowChecked(1));
    EXPECT_EQ(w.RowText(0, 0), u"a.txt");
    EXPECT_EQ(w.RowText(0, 1), u"5");
    EXPECT_EQ(w.RowText(0, 3), dir.WSub("a.txt"));
    EXPECT_EQ(w.StatusText(), u"Amount of files: 2");
}

TEST(FileRows, DateIsLocalLastWriteTime) {
    TempDir dir;
    dir.WriteFile("d.txt", "x");
    {
        // Five and a half hours east of UTC: a UTC date would show 08:33:09.
        ScopedTimeZone tz("XST-05:30");
        std::tm local{};
        local.tm_year = 2017 - 1900;
        local.tm_mon = 0;
        local.tm_mday = 5;
        local.tm_hour = 14;
        local.tm_min = 3;
        local.tm_sec = 9;
        local.tm_isdst = -1;
        std::time_t t = std::mktime(&local);
        EXPECT_EQ(t, 1483605189);  // 2017-01-05 08:33:09 UTC
        SetMtime(dir.Sub("d.txt"), t);
        FakeRunWindow w;
        ASSERT_TRUE(AddFileRow(w, dir.WSub("d.txt")));
        EXPECT_EQ(w.RowText(0, 2), u"2017-01-05 14:03:09");
    }
    // Single digits are padded, and the year has four digits.
    {
        ScopedTimeZone tz("UTC0");
        EXPECT_EQ(LocalTimeText(0), u"1970-01-01 00:00:00");
        EXPECT_EQ(LocalTimeText(946684799), u"1999-12-31 23:59:59");
    }
}

TEST(FileRows, SizesOfTwoGibibytesAndMoreAreShownInFull) {
    TempDir dir;
    struct Case {
        const char* name;
        off_t size;
        const char16_t* text;
    };
    // Sparse files: the sizes cost no disk space.
    const Case cases[] = {{"zero", 0, u"0"},
                          {"max32", 2147483647LL, u"2147483647"},
                          {"two-gib", 2147483648LL, u"2147483648"},
                          {"five-gib", 5368709120LL, u"5368709120"}};
    FakeRunWindow w;
    for (const auto& c : cases) {
        int fd = ::open(dir.Sub(c.name).c_str(), O_CREAT | O_WRONLY, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, c.size), 0);
        ::close(fd);
        ASSERT_TRUE(AddFileRow(w, dir.WSub(c.name)));
        EXPECT_EQ(w.RowText(w.RowCount() - 1, 1), c.text) << c.name;
    }
}

TEST(FileRows, LinkRowDescribesTheLinkNotItsTarget) {
    TempDir dir;
    dir.WriteFile("target.bin", std::string(4096, 'x'));
    SetMtime(dir.Sub("target.bin"), 1000000000);
    ASSERT_EQ(::symlink(dir.Sub("target.bin").c_str(), dir.Sub("link").c_str()), 0);
    ASSERT_EQ(::symlink("nowhere", dir.Sub("dangling").c_str()), 0);
    FakeRunWindow w;
    ASSERT_TRUE(AddFileRow(w, dir.WSub("link")));
    EXPECT_EQ(w.RowText(0, 0), u"link");
    EXPECT_EQ(w.RowText(0, 1), U16(std::to_string(dir.Sub("target.bin").size())));
    EXPECT_NE(w.RowText(0, 2), LocalTimeText(1000000000));
    // A dangling link is still something the user may want removed.
    ASSERT_TRUE(AddFileRow(w, dir.WSub("dangling")));
    EXPECT_EQ(w.RowText(1, 1), u"7");
}

TEST(FileRows, OddNamesKeepTheirExactBytes) {
    TempDir dir;
    const std::string names[] = {"with space.txt", "new\nline", "bad\xff\xfe-bytes",
                                 "\xc3\xa9t\xc3\xa9"};
    FakeRunWindow w;
    for (const auto& n : names) {
        dir.WriteFile(n, "1");
        ASSERT_TRUE(AddFileRow(w, dir.WSub(n))) << n;
        int row = w.RowCount() - 1;
        EXPECT_EQ(Utf8FromWide(w.RowText(row, 3)), dir.Sub(n));
        EXPECT_EQ(Utf8FromWide(w.RowText(row, 0)), n);
    }
}

TEST(FileRows, PathEndingWithSeparatorIsNoFileRow) {
    TempDir dir;
    dir.MakeDir("empty");
    FakeRunWindow w;
    EXPECT_FALSE(AddFileRow(w, dir.WSub("empty/")));
    EXPECT_EQ(w.RowCount(), 0);
    EXPECT_EQ(w.StatusText(), u"Amount of files: 0");
}

TEST(FileRows, CountTextFromLanguageIsNeverTrustedAsFormat) {
    FakeRunWindow w;
    w.AddRow(u"/x");
    // Specifiers beyond the one argument are shown as they stand, never read.
    w.texts["FrmMain.m_acMAmountOfFile"] = u"Files: %05d %s%n%d";
    UpdateFileCount(w);
    EXPECT_EQ(w.StatusText().rfind(u"Files: 00001 ", 0), 0u) << Utf8FromWide(w.StatusText());
}

TEST(ListCommands, RemoveSelectedRemovesEveryCheckedRowIncludingNeighbours) {
    FakeRunWindow w;
    for (int i = 0; i < 8; ++i) w.AddRow(U16("/f" + std::to_string(i)));
    // Checked: 1, 2, 3 (adjacent), 5, 7 (the last).
    const bool keep[] = {true, false, false, false, true, false, true, false};
    for (int i = 0; i < 8; ++i) w.list.SetCheck(i, !keep[i]);
    RemoveSelectedRows(w.list, w);
    std::vector<std::u16string> expect = {u"/f0", u"/f4", u"/f6"};
    EXPECT_EQ(w.Paths(), expect);
    EXPECT_EQ(w.StatusText(), u"Amount of files: 3");

    // All checked: the list empties.
    SelectAllRows(w.list);
    RemoveSelectedRows(w.list, w);
    EXPECT_EQ(w.RowCount(), 0);
    EXPECT_EQ(w.StatusText(), u"Amount of files: 0");
}

TEST(ListCommands, RemoveSelectedWithNothingCheckedKeepsAll) {
    FakeRunWindow w;
    w.AddRow(u"/a");
    w.AddRow(u"/b", u"FOLDER");
    InvertRowSelection(w.list);
    RemoveSelectedRows(w.list, w);
    EXPECT_EQ(w.RowCount(), 2);
    EXPECT_EQ(w.StatusText(), u"Amount of files: 2");
}

TEST(ListCommands, ClearSelectAllAndInvert) {
    FakeRunWindow w;
    for (int i = 0; i < 4; ++i) w.AddRow(U16("/f" + std::to_string(i)));
    w.list.SetCheck(1, false);
    w.list.SetCheck(2, false);
    w.status = u"untouched";

    InvertRowSelection(w.list);
    EXPECT_FALSE(w.RowChecked(0));
    EXPECT_TRUE(w.RowChecked(1));
    EXPECT_TRUE(w.RowChecked(2));
    EXPECT_FALSE(w.RowChecked(3));
    SelectAllRows(w.list);
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(w.RowChecked(i));
    // Neither changes the status line.
    EXPECT_EQ(w.StatusText(), u"untouched");

    ClearList(w.list, w);
    EXPECT_EQ(w.RowCount(), 0);
    EXPECT_EQ(w.StatusText(), u"Amount of files: 0");
    // On an empty list all of them are harmless.
    SelectAllRows(w.list);
    InvertRowSelection(w.list);
    RemoveSelectedRows(w.list, w);
    ClearList(w.list, w);
    EXPECT_EQ(w.RowCount(), 0);
}
