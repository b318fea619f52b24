#include <gtest/gtest.h>

#include <cstdio>

#include "config/CommandLine.h"
#include "config/TextConv.h"
#include "runs/TerminalConfirm.h"
#include "support/TempDir.h"

namespace {

struct Recorder : CommandLineTarget {
    std::vector<std::u16string> entries;
    std::vector<std::string> drives;
    void QueueEntry(const std::u16string& p) override { entries.push_back(p); }
    void AddDrive(const std::string& r) override { drives.push_back(r); }
};

}  // namespace

TEST(CommandLine, SwitchesOnlyAsFirstArgumentAndPathsAsGiven) {
    TempDir tmp;
    tmp.WriteFile("f.txt", "x");
    tmp.MakeDir("d");
    const std::u16string prog = u"/usr/bin/kelvane";
    const std::u16string file = tmp.WSub("f.txt"), dir = tmp.WSub("d");
    const std::u16string missing = tmp.WSub("nothing");

    {
        Recorder r;
        auto f = ProcessCommandLine({prog, u"-exec", file, dir, missing}, r);
        EXPECT_TRUE(f.exec);
        EXPECT_FALSE(f.drives);
        // Looked at later, on the expansion's thread.
        EXPECT_EQ(r.entries, (std::vector<std::u16string>{file, dir, missing}));
        EXPECT_TRUE(r.drives.empty());
    }
    {
        Recorder r;  // a switch after a path is a path (and names nothing)
        auto f = ProcessCommandLine({prog, file, u"-exec"}, r);
        EXPECT_FALSE(f.exec);
        EXPECT_EQ(r.entries, (std::vector<std::u16string>{file, u"-exec"}));
    }
    {
        Recorder r;  // capitals are no switch
        auto f = ProcessCommandLine({prog, u"-EXEC", file}, r);
        EXPECT_FALSE(f.exec);
        EXPECT_EQ(r.entries, (std::vector<std::u16string>{u"-EXEC", file}));
    }
    {
        Recorder r;  // drives: every one given goes to the run (which names the ones it
                     // cannot fill), with a trailing separator
        auto f = ProcessCommandLine({prog, u"-drives", dir, tmp.WPath(), file, missing}, r);
        EXPECT_TRUE(f.drives);
        EXPECT_EQ(r.drives, (std::vector<std::string>{tmp.Sub("d/"), tmp.Path(), tmp.Sub("f.txt/"),
                                                      tmp.Sub("nothing/")}));
        EXPECT_TRUE(r.entries.empty());
    }
    {
        Recorder r;  // right after "-exec" only: anywhere else it is a path
        auto f = ProcessCommandLine({prog, u"-exec", u"--free-space-after", file}, r);
        EXPECT_TRUE(f.exec && f.freeSpaceAfter);
        EXPECT_EQ(r.entries, (std::vector<std::u16string>{file}));
        Recorder later;
        f = ProcessCommandLine({prog, u"-exec", file, u"--free-space-after"}, later);
        EXPECT_FALSE(f.freeSpaceAfter);
        EXPECT_EQ(later.entries, (std::vector<std::u16string>{file, u"--free-space-after"}));
        EXPECT_FALSE(ProcessCommandLine({prog, u"--free-space-after", file}, later).freeSpaceAfter);
    }
    {
        Recorder r;  // "-exec -drives": the second is a path
        auto f = ProcessCommandLine({prog, u"-exec", u"-drives"}, r);
        EXPECT_TRUE(f.exec);
        EXPECT_FALSE(f.drives);
    }
}

TEST(TerminalConfirm, AnswersAndEndOfInput) {
    auto ask = [](const char* input, std::u16string answers = kTerminalAnswers) {
        std::FILE* in =
            fmemopen(const_cast<char*>(input), std::char_traits<char>::length(input), "r");
        char buf[4096] = {};
        std::FILE* out = fmemopen(buf, sizeof buf - 1, "w");
        int r = AskOnTerminal(u"Sure to shred file '/a'?", in, out, answers);
        std::fclose(in);
        std::fclose(out);
        return std::make_pair(r, std::string(buf));
    };
    EXPECT_EQ(ask("y\n").first, 6);
    EXPECT_EQ(ask("  A\n").first, 19);
    EXPECT_EQ(ask("n").first, 7);
    EXPECT_EQ(ask("c\n").first, 2);
    EXPECT_EQ(ask("").first, 2);
    auto again = ask("maybe\n\nyes\n");
    EXPECT_EQ(again.first, 6);
    // Asked three times: two lines it did not understand, then the answer.
    size_t count = 0;
    for (size_t p = 0; (p = again.second.find("[c]ancel", p)) != std::string::npos; ++p) ++count;
    EXPECT_EQ(count, 3u);
    EXPECT_NE(again.second.find("Sure to shred file '/a'?"), std::string::npos);
    // The language words the choices; the letters stay, so scripts keep working.
    auto german = ask("j\ny\n", u"[y] ja / [a] ja, alle / [n] nein / [c] abbrechen");
    EXPECT_EQ(german.first, 6);
    EXPECT_NE(german.second.find("'/a'? [y] ja / [a] ja, alle"), std::string::npos)
        << german.second;
    EXPECT_EQ(german.second.find("[c]ancel"), std::string::npos);
    EXPECT_NE(ask("c\n", u"").second.find("[c]ancel"), std::string::npos) << "empty: English";
}

TEST(TerminalConfirm, ANameCannotWriteTerminalControls) {
    char input[] = "n\n";
    std::FILE* in = fmemopen(input, 2, "r");
    char buf[4096] = {};
    std::FILE* out = fmemopen(buf, sizeof buf - 1, "w");
    const std::u16string name = WideFromUtf8("/t/a\x1b[2J\nb\xff.txt");
    EXPECT_EQ(AskOnTerminal(u"Sure to shred file '" + name + u"'?", in, out), 7);
    std::fclose(in);
    std::fclose(out);
    const std::string shown(buf);
    EXPECT_NE(shown.find("'/t/a\\x1b[2J\\nb\\xff.txt'?"), std::string::npos) << shown;
    EXPECT_EQ(shown.find('\x1b'), std::string::npos);
    EXPECT_EQ(shown.find('\n'), std::string::npos);  // the question stays one line
}
