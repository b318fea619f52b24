#include <gtest/gtest.h>

#include <filesystem>

#include "log/ShredLog.h"
#include "support/TempDir.h"

TEST(ClearLog, DeletesLogAndArchiveCopiesOfTheStorageFolderOnly) {
    TempDir dir;
    ValueLogSwitches switches;
    ShredLog log(switches);
    log.SetStorageFolder(dir.Path());
    log.BeginRunLog();
    log.AppendLog(u"a line");
    dir.WriteFile("KelvaneLog_20180126143005.txt", "old");
    dir.WriteFile("KelvaneLog_20180126143005_2.txt", "old");
    dir.WriteFile("mykelvanelog.txt", "x");  // the base name inside, case ignored
    dir.WriteFile("KELVANELOG.TXT", "x");
    dir.WriteFile("KelvaneLog.bak", "keep");
    dir.WriteFile("notes.txt", "keep");
    dir.WriteFile("Kelvane.ini", "keep");
    dir.WriteFile("sub/KelvaneLog.txt", "keep");
    dir.MakeDir("KelvaneLog_folder.txt");
    std::filesystem::create_symlink(dir.Sub("notes.txt"), dir.Sub("KelvaneLog_link.txt"));

    log.ClearLog();

    EXPECT_FALSE(PathExists(dir.Sub("KelvaneLog.txt")));
    EXPECT_FALSE(PathExists(dir.Sub("KelvaneLog_20180126143005.txt")));
    EXPECT_FALSE(PathExists(dir.Sub("KelvaneLog_20180126143005_2.txt")));
    EXPECT_FALSE(PathExists(dir.Sub("mykelvanelog.txt")));
    EXPECT_FALSE(PathExists(dir.Sub("KELVANELOG.TXT")));
    EXPECT_FALSE(PathExists(dir.Sub("KelvaneLog_link.txt")));  // the link went, not its target
    EXPECT_EQ(ReadWholeFile(dir.Sub("notes.txt")), "keep");
    EXPECT_EQ(ReadWholeFile(dir.Sub("KelvaneLog.bak")), "keep");
    EXPECT_EQ(ReadWholeFile(dir.Sub("Kelvane.ini")), "keep");
    EXPECT_EQ(ReadWholeFile(dir.Sub("sub/KelvaneLog.txt")), "keep");
    EXPECT_TRUE(std::filesystem::is_directory(dir.Sub("KelvaneLog_folder.txt")));

    log.ClearLog();  // nothing left to clear is no failure
    EXPECT_EQ(ReadWholeFile(dir.Sub("notes.txt")), "keep");
}

TEST(ClearLog, MissingStorageFolderIsHarmless) {
    TempDir dir;
    ValueLogSwitches switches;
    ShredLog log(switches);
    log.SetStorageFolder(dir.Sub("gone"));
    log.ClearLog();
    EXPECT_FALSE(PathExists(dir.Sub("gone")));
    ShredLog unset(switches);
    unset.ClearLog();
    std::u16string text;
    bool truncated = false;
    EXPECT_FALSE(unset.ReadForViewing(text, truncated));
}
