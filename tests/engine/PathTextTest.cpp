#include <gtest/gtest.h>

#include "engine/FileOps.h"

TEST(PathText, FolderOfPathKeepsTheLastSeparator) {
    EXPECT_EQ(FolderOfPath(u"C:\\a\\f.txt"), u"C:\\a\\");
    EXPECT_EQ(FolderOfPath(u"/home/u/f.txt"), u"/home/u/");
    EXPECT_EQ(FolderOfPath(u"/home/u\\f.txt"), u"/home/u\\");  // either separator counts
    EXPECT_EQ(FolderOfPath(u"/home/u/"), u"/home/u/");         // a folder stays as it is
    EXPECT_EQ(FolderOfPath(u"/f.txt"), u"/");                  // a file right in "/" lives in "/"
    EXPECT_EQ(FolderOfPath(u"/"), u"/");
    EXPECT_EQ(FolderOfPath(u"f.txt"), u"f.txt");  // no separator: the whole text
    EXPECT_EQ(FolderOfPath(u""), u"");
}

TEST(PathText, FileNameOfPathPassesOverATrailingSeparator) {
    EXPECT_EQ(FileNameOfPath(u"C:\\a\\f.txt"), u"f.txt");
    EXPECT_EQ(FileNameOfPath(u"C:\\a\\b\\"), u"b\\");
    EXPECT_EQ(FileNameOfPath(u"/home/u/b/"), u"b/");
    EXPECT_EQ(FileNameOfPath(u"/f.txt"), u"f.txt");
    EXPECT_EQ(FileNameOfPath(u"/a/"), u"a/");
    EXPECT_EQ(FileNameOfPath(u"/"), u"/");
    EXPECT_EQ(FileNameOfPath(u"f.txt"), u"f.txt");
    EXPECT_EQ(FileNameOfPath(u"x//"), u"/");
    EXPECT_EQ(FileNameOfPath(u""), u"");
    // Folder and name always put the path back together for a file path.
    for (std::u16string p : {u"/a/b/c.d", u"rel/x", u"/y"})
        EXPECT_EQ(FolderOfPath(p) + FileNameOfPath(p), p);
}
