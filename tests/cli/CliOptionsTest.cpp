// The command line of kelvane-cli as it is read, before anything runs.
#include <gtest/gtest.h>

#include "cli/CliOptions.h"

TEST(CliOptions, ReadsOptionsAsTerminalToolsDo) {
    CliParse p = ParseCliArguments({"kelvane-cli", "shred", "-yqn5", "a", "--exclude=*.o",
                                    "--exclude", ".git", "--", "-b", "--yes"});
    ASSERT_EQ(p.error, "");
    EXPECT_EQ(p.options.command, CliCommand::kShred);
    EXPECT_TRUE(p.options.yes);
    EXPECT_TRUE(p.options.quiet);
    EXPECT_EQ(p.options.passes, 5);
    EXPECT_EQ(p.options.excludes, (std::vector<std::string>{"*.o", ".git"}));
    // After "--" everything is a path.
    EXPECT_EQ(p.options.paths, (std::vector<std::string>{"a", "-b", "--yes"}));

    p = ParseCliArguments({"kelvane-cli", "free-space", "--value", "0xff", "/mnt"});
    EXPECT_EQ(p.error, "");
    EXPECT_EQ(p.options.shredValue, "255");
    EXPECT_EQ(p.options.random, false);

    // Options of another command, a value missing, -0 alone.
    EXPECT_NE(ParseCliArguments({"kelvane-cli", "free-space", "--exclude", "x", "/"}).error, "");
    EXPECT_NE(ParseCliArguments({"kelvane-cli", "shred", "a", "-n"}).error, "");
    EXPECT_NE(ParseCliArguments({"kelvane-cli", "shred", "-0", "a"}).error, "");
    EXPECT_NE(ParseCliArguments({"kelvane-cli", "shred", "--keep-names=1", "a"}).error, "");
    EXPECT_NE(ParseCliArguments({"kelvane-cli", "shred", "--value", "-1", "a"}).error, "");
    // The trash stands in place of paths, for shred alone.
    p = ParseCliArguments({"kelvane-cli", "shred", "--trash", "-y"});
    EXPECT_EQ(p.error, "");
    EXPECT_TRUE(p.options.trash);
    EXPECT_NE(ParseCliArguments({"kelvane-cli", "shred", "--trash", "a"}).error, "");
    EXPECT_NE(ParseCliArguments({"kelvane-cli", "check", "--trash"}).error, "");
    EXPECT_EQ(ParseCliArguments({"kelvane-cli", "check", "--help"}).options.command,
              CliCommand::kHelp);
    // The root reserve through the helper: for the runs that fill free space,
    // and only when asked for.
    EXPECT_TRUE(
        ParseCliArguments({"kelvane-cli", "free-space", "--reserve", "/mnt"}).options.reserve);
    EXPECT_TRUE(ParseCliArguments({"kelvane-cli", "shred", "--free-space-after", "--reserve", "a"})
                    .options.reserve);
    EXPECT_FALSE(ParseCliArguments({"kelvane-cli", "free-space", "/mnt"}).options.reserve);
    EXPECT_NE(ParseCliArguments({"kelvane-cli", "check", "--reserve", "a"}).error, "");

    EXPECT_EQ(SplitFileList(std::string("a\nb c\0d", 7), true),
              (std::vector<std::string>{std::string("a\nb c"), "d"}));
    EXPECT_EQ(SplitFileList("a\n\nb\r\n", false), (std::vector<std::string>{"a", "b\r"}));
}
