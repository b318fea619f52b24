// The record of the archives and reports Kelvane made: only recorded files that
// are still the very files made are deleted, the oldest first, by count and age.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "log/MadeFiles.h"
#include "support/TempDir.h"

namespace {

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

TEST(MadeFilesTest, PrunesOnlyRecordedFilesByCountAndAge) {
    TempDir tmp;
    const MadeFiles made(tmp.Path());
    constexpr int64_t kDay = 86400, kNow = 1000 * kDay;
    // Five archives, one a day; a report of two files in the same folder.
    std::vector<std::string> logs;
    for (int i = 0; i < 5; ++i) {
        logs.push_back(tmp.Sub("KelvaneLog_" + std::to_string(i) + ".txt"));
        TempDir::WriteFileAt(logs.back(), "log " + std::to_string(i));
        ASSERT_TRUE(made.Note("log", logs.back(), logs.back(), kNow - (10 - i) * kDay));
    }
    tmp.WriteFile("r.json", "{}");
    tmp.WriteFile("r.pdf", "%PDF");
    ASSERT_TRUE(made.Note("report", tmp.Sub("r"), tmp.Sub("r.json"), kNow - 30 * kDay));
    ASSERT_TRUE(made.Note("report", tmp.Sub("r"), tmp.Sub("r.pdf"), kNow - 30 * kDay));
    tmp.WriteFile("KelvaneLog_look-alike.txt", "not recorded");
    // The second archive was replaced by another file of its name.
    ASSERT_EQ(::unlink(logs[1].c_str()), 0);
    TempDir::WriteFileAt(logs[1], "someone else's");

    EXPECT_TRUE(made.Prune("log", tmp.Path(), {}, kNow).empty());  // no limit: nothing
    // Four recorded archives are still what was made; keep three: the oldest goes.
    EXPECT_EQ(made.Prune("log", tmp.Path(), {3, 0}, kNow), (std::vector<std::string>{logs[0]}));
    // None older than seven days: the one of day 2 (eight days old) goes.
    EXPECT_EQ(made.Prune("log", tmp.Path(), {0, 7}, kNow), (std::vector<std::string>{logs[2]}));
    EXPECT_TRUE(Exists(logs[1]) && Exists(logs[3]) && Exists(logs[4]));
    EXPECT_TRUE(Exists(tmp.Sub("KelvaneLog_look-alike.txt")));
    // A report's files go together, counted as one; another folder is not this one's.
    EXPECT_TRUE(made.Prune("report", tmp.Sub("elsewhere/"), {0, 1}, kNow).empty());
    EXPECT_EQ(made.Prune("report", tmp.Path(), {0, 1}, kNow).size(), 2u);
    EXPECT_FALSE(Exists(tmp.Sub("r.json")) || Exists(tmp.Sub("r.pdf")));

    // A record others may change is no proof of anything.
    ASSERT_EQ(::chmod(tmp.Sub(MadeFiles::kRecordName).c_str(), 0666), 0);
    EXPECT_TRUE(made.Prune("log", tmp.Path(), {1, 0}, kNow).empty());
    EXPECT_TRUE(Exists(logs[3]) && Exists(logs[4]));
    EXPECT_FALSE(made.Note("log", logs[4], logs[4], kNow));
}

}  // namespace
