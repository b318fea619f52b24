// kelvane-cli through the built program: each command on real trees, options,
// bad input, --json against its schema, signals, and no Qt linked in.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>

#include "CliProcess.h"
#include "MiniJson.h"
#include "support/TempDir.h"
#include "support/TestMount.h"
#include "support/TestText.h"

namespace {

class CliTest : public ::testing::Test {
  protected:
    CliTest() {
        std::string error;
        EXPECT_TRUE(ParseJson(ReadWholeFile(KELVANE_DATA_DIR "/kelvane-cli-events.schema.json"),
                              schema, error))
            << error;
    }
    std::string Config() const { return tmp.Sub("config"); }
    std::string SettingsPath() const { return tmp.Sub("config/Tessarin/Kelvane/Kelvane.ini"); }
    void WriteSettings(const std::string& body) const {
        tmp.WriteFile("config/Tessarin/Kelvane/Kelvane.ini", SettingsXml(body));
    }
    std::string Log() const {
        return Utf8FromLe(ReadWholeFile(tmp.Sub("config/Tessarin/Kelvane/KelvaneLog.txt")));
    }
    CliResult Run(const std::vector<std::string>& args) const { return RunCli(Config(), args); }

    // Every line of standard output is an event of the schema, from start to end.
    std::vector<Json> Events(const std::string& out) const {
        std::vector<Json> events;
        const std::vector<std::string> lines = Lines(out);
        for (const std::string& line : lines) {
            EXPECT_EQ(CheckEventLine(schema, line), "");
            Json v;
            std::string error;
            if (ParseJson(line, v, error)) events.push_back(v);
        }
        EXPECT_FALSE(events.empty());
        if (!events.empty()) {
            EXPECT_EQ(events.front().Get("event")->text, "start");
            EXPECT_EQ(events.back().Get("event")->text, "end");
        }
        return events;
    }
    static std::map<std::string, std::string> ByPath(const std::vector<Json>& events,
                                                     const std::string& event,
                                                     const std::string& field) {
        std::map<std::string, std::string> out;
        for (const Json& e : events)
            if (e.Get("event")->text == event) out[e.Get("path")->text] = e.Get(field)->text;
        return out;
    }

    TempDir tmp;
    Json schema;
};

TEST_F(CliTest, ShredWalksFoldersConfinedAndReportsEachEntry) {
    WriteSettings("  <Iterations>2</Iterations>\r\n");
    const std::string settingsBefore = ReadWholeFile(SettingsPath());
    tmp.WriteFile("t/a.txt", "secret");
    tmp.WriteFile("t/.env", "token");
    tmp.WriteFile("t/sub/b.txt", "more secret");
    tmp.WriteFile("t/sub/keep.log", "stays");
    tmp.WriteFile("outside.txt", "not chosen");
    tmp.WriteFile("lone.txt", "chosen alone");
    tmp.WriteFile("list/x", "from the list");
    tmp.WriteFile("list/y z", "from the list too");
    ASSERT_EQ(::symlink("../outside.txt", tmp.Sub("t/link").c_str()), 0);
    tmp.WriteFile("files.lst", tmp.Sub("list/x") + std::string(1, '\0') + tmp.Sub("list/y z"));

    const CliResult r =
        Run({"shred", "-y", "--json", "--exclude", "*.log", "--log", tmp.Sub("extra.log"),
             "--files-from", tmp.Sub("files.lst"), "-0", tmp.Sub("t"), tmp.Sub("lone.txt")});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    for (const char* gone :
         {"t/a.txt", "t/.env", "t/sub/b.txt", "t/link", "lone.txt", "list/x", "list/y z"})
        EXPECT_FALSE(PathExists(tmp.Sub(gone))) << gone;
    // The link went as a link; what is left out keeps its folders.
    EXPECT_EQ(ReadWholeFile(tmp.Sub("outside.txt")), "not chosen");
    EXPECT_EQ(ReadWholeFile(tmp.Sub("t/sub/keep.log")), "stays");

    const std::vector<Json> events = Events(r.out);
    const auto entries = ByPath(events, "entry", "result");
    EXPECT_EQ(entries.at(tmp.Sub("t/a.txt")), "done");
    EXPECT_EQ(entries.at(tmp.Sub("lone.txt")), "done");
    EXPECT_EQ(entries.at(tmp.Sub("list/y z")), "done");
    const auto skipped = ByPath(events, "skipped", "reason");
    EXPECT_EQ(skipped.at(tmp.Sub("t/sub/keep.log")), "excluded");
    EXPECT_EQ(skipped.at(tmp.Sub("t/sub/")), "keeps-skipped-entries");
    EXPECT_EQ(events.back().Get("outcome")->text, "done");

    // The window's log, the extra log, and settings never written back.
    EXPECT_NE(Log().find("Shredding files with 2 iterations"), std::string::npos);
    EXPECT_NE(Log().find(tmp.Sub("t/a.txt") + " [done]"), std::string::npos);
    EXPECT_NE(ReadWholeFile(tmp.Sub("extra.log")).find(tmp.Sub("lone.txt") + " [done]"),
              std::string::npos);
    EXPECT_EQ(ReadWholeFile(SettingsPath()), settingsBefore);

    // Everything of a folder left out: nothing to do.
    tmp.WriteFile("u/only.log", "x");
    const CliResult none = Run({"shred", "-y", "--exclude", "*.log", tmp.Sub("u")});
    EXPECT_EQ(none.exitCode, 3) << none.out << none.err;
    EXPECT_TRUE(PathExists(tmp.Sub("u/only.log")));
}

// A file system the kernel makes up (a private devpts here, standing in for
// /dev) is refused by the program a script starts, by its path and through a
// link, with a line that says so; nothing of it is touched.
TEST_F(CliTest, ShredRefusesSystemPlaces) {
    tmp.MakeDir("pts");
    if (::mount("devpts", tmp.Sub("pts").c_str(), "devpts", 0, "newinstance,ptmxmode=0600") != 0)
        GTEST_SKIP() << "cannot mount a devpts";
    ASSERT_EQ(::symlink(tmp.Sub("pts").c_str(), tmp.Sub("ln").c_str()), 0);
    // Through a link with "/." the folder was reached; now "." is refused at once.
    const CliResult dot = Run({"shred", "-y", tmp.Sub("ln") + "/."});
    const CliResult r = Run({"shred", "-y", tmp.Sub("pts"), tmp.Sub("ln")});
    struct stat ptmx {};
    const bool stayed = ::lstat(tmp.Sub("pts/ptmx").c_str(), &ptmx) == 0;
    const bool linkStayed = ::lstat(tmp.Sub("ln").c_str(), &ptmx) == 0;
    ::umount2(tmp.Sub("pts").c_str(), MNT_DETACH);
    EXPECT_EQ(dot.exitCode, 4) << dot.out << dot.err;
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    const std::string all = r.out + r.err;
    EXPECT_NE(all.find(tmp.Sub("pts/ [NOT SHREDDED: on a system file system")), std::string::npos)
        << all;
    // A chosen link to it is refused like the folder it leads to.
    EXPECT_NE(all.find(tmp.Sub("ln [NOT SHREDDED: on a system file system")), std::string::npos)
        << all;
    EXPECT_TRUE(stayed);
    EXPECT_TRUE(linkStayed);
}

TEST_F(CliTest, OptionsReachTheRunAndAreNotStored) {
    // Files stay after their passes, so what was written can be read.
    WriteSettings(
        "  <FileShredLeaveFiles>1</FileShredLeaveFiles>\r\n  <Iterations>4</Iterations>\r\n");
    const std::string settingsBefore = ReadWholeFile(SettingsPath());
    tmp.WriteFile("v.bin", std::string(5000, 'x'));
    tmp.WriteFile("p.bin", std::string(3000, 'x'));
    tmp.WriteFile("pattern", "KV");

    const CliResult v = Run({"shred", "-yv", "-n1", "--value=0x41", "--keep-names", "--keep-size",
                             "--verify", tmp.Sub("v.bin")});
    EXPECT_EQ(v.exitCode, 0) << v.out << v.err;
    EXPECT_EQ(ReadWholeFile(tmp.Sub("v.bin")), std::string(5000, 'A'));
    EXPECT_NE(v.out.find(tmp.Sub("v.bin") + " [done, verified]"), std::string::npos) << v.out;
    EXPECT_NE(Log().find("Shredding files with 1 iterations"), std::string::npos);

    const CliResult p = Run({"shred", "--yes", "--passes", "2", "--pattern", tmp.Sub("pattern"),
                             "--keep-names", "--keep-size", "-q", tmp.Sub("p.bin")});
    EXPECT_EQ(p.exitCode, 0) << p.out << p.err;
    EXPECT_EQ(p.out, "");  // quiet
    std::string expected;
    while (expected.size() < 3000) expected += "KV";
    EXPECT_EQ(ReadWholeFile(tmp.Sub("p.bin")), expected);
    EXPECT_EQ(ReadWholeFile(SettingsPath()), settingsBefore);
}

TEST_F(CliTest, BadInputIsAUsageErrorAndTouchesNothing) {
    tmp.WriteFile("f", "keep me");
    const std::string f = tmp.Sub("f");
    const std::vector<std::vector<std::string>> cases = {
        {"shred", "-y", "--bogus", f},
        {"shred", "-y", "--passes", "0", f},
        {"shred", "-y", "--passes", "abc", f},
        {"shred", "-y", "-n", "301", f},
        {"shred", "-y", "--pattern", tmp.Sub("no-pattern"), f},
        {"shred", "-y", "--value", "256", f},
        {"shred", "-y", "--random", "--value", "1", f},
        {"shred", "-y", tmp.Sub("missing"), f},
        {"shred", f},  // no terminal to ask on, and no --yes
        {"shred", "-y"},
        {"check", "--passes", "2", f},
        {"free-space", f},
        {"wipe", f},
        {},
    };
    for (const auto& args : cases) {
        const CliResult r = Run(args);
        std::string shown;
        for (const auto& a : args) shown += a + " ";
        EXPECT_EQ(r.exitCode, 4) << shown << r.err;
        EXPECT_EQ(r.out, "") << shown;
        const std::vector<std::string> lines = Lines(r.err);
        ASSERT_EQ(lines.size(), 2u) << shown << r.err;
        EXPECT_EQ(lines[0].rfind("kelvane-cli: ", 0), 0u) << shown;
        EXPECT_NE(lines[1].find("--help"), std::string::npos) << shown;
    }
    EXPECT_EQ(ReadWholeFile(f), "keep me");
    // Not even the storage folder was made.
    EXPECT_FALSE(PathExists(Config()));

    const CliResult help = Run({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("Usage: kelvane-cli shred"), std::string::npos);
    const CliResult version = Run({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    // As GNU programs say it: name and version, copyright, licence, warranty.
    const std::vector<std::string> said = Lines(version.out);
    ASSERT_EQ(said.size(), 5u) << version.out;
    EXPECT_EQ(said[0], "kelvane-cli (Kelvane) " KELVANE_VERSION);
    EXPECT_EQ(said[1].rfind("Copyright (C) ", 0), 0u);
    EXPECT_EQ(said[2].rfind("License MIT: <https://", 0), 0u);
    EXPECT_NE(said[4].find("NO WARRANTY"), std::string::npos);
}

// Contents, inode and times of every entry below a folder.
std::string Snapshot(const std::string& root, const std::vector<std::string>& rels) {
    std::string s;
    for (const std::string& rel : rels) {
        struct stat st {};
        ::lstat((root + rel).c_str(), &st);
        s += rel + ":" + std::to_string(st.st_ino) + ":" + std::to_string(st.st_mtim.tv_nsec) +
             ":" + std::to_string(st.st_ctim.tv_nsec) + ":" + std::to_string(st.st_mode) + ":";
        if (S_ISREG(st.st_mode)) s += ReadWholeFile(root + rel);
        s += "\n";
    }
    return s;
}

TEST_F(CliTest, CheckTellsVerdictsAndTouchesNothing) {
    auto checkTree = [&](const std::string& root, int expectedExit) {
        const std::vector<std::string> rels = {"c/", "c/a", "c/sub/", "c/sub/b", "c/link"};
        ::mkdir((root + "c").c_str(), 0700);
        ::mkdir((root + "c/sub").c_str(), 0700);
        TempDir::WriteFileAt(root + "c/a", "aaaa");
        TempDir::WriteFileAt(root + "c/sub/b", "bbbbbbbb");
        ASSERT_EQ(::symlink("a", (root + "c/link").c_str()), 0);
        const std::string before = Snapshot(root, rels);
        const CliResult r = Run({"check", "--json", root + "c"});
        EXPECT_EQ(Snapshot(root, rels), before);
        const std::vector<Json> events = Events(r.out);
        const auto kinds = ByPath(events, "verdict", "kind");
        EXPECT_EQ(kinds.at(root + "c/a"), "file");
        EXPECT_EQ(kinds.at(root + "c/link"), "other");
        EXPECT_EQ(kinds.at(root + "c/sub/"), "folder");
        bool allInPlace = true;
        for (const Json& e : events) {
            if (e.Get("event")->text == "totals") {
                EXPECT_EQ(e.Get("files")->number, 3);
                EXPECT_EQ(e.Get("bytes")->number, 12);
            }
            if (const Json* in = e.Get("in_place")) allInPlace = allInPlace && in->boolean;
        }
        // The status follows the verdicts.
        EXPECT_EQ(r.exitCode, allInPlace ? 0 : 5) << r.out;
        if (expectedExit >= 0) {
            EXPECT_EQ(r.exitCode, expectedExit) << r.out;
        }
    };
    checkTree(tmp.Path(), -1);

    TestMount memory(TestMount::Kind::Tmpfs, 4096);
    KELVANE_REQUIRE_MOUNT(memory);
    checkTree(memory.Path(), 0);
    // With --one-file-system the mount below the chosen folder is left out.
    const std::string parent = memory.Path().substr(0, memory.Path().size() - 4);
    TempDir::WriteFileAt(parent + "here", "x");
    const CliResult one = Run({"check", "--json", "--one-file-system", parent});
    const std::vector<Json> events = Events(one.out);
    EXPECT_EQ(ByPath(events, "skipped", "reason").at(memory.Path() + "c/a"), "other-file-system");
    EXPECT_EQ(ByPath(events, "verdict", "kind").count(memory.Path() + "c/a"), 0u);
    EXPECT_EQ(ByPath(events, "verdict", "kind").at(parent + "here"), "file");
    // Copy-on-write: overwriting cannot be guaranteed to reach the old blocks.
    TestMount cow("btrfs", 128 * 1024, {"-q"});
    if (cow.Ok()) checkTree(cow.Path(), 5);
}

TEST_F(CliTest, FreeSpaceFillsAMountedImage) {
    TestMount image(TestMount::Kind::Ext4Image, 16 * 1024);
    KELVANE_REQUIRE_MOUNT(image);
    const CliResult r = Run({"free-space", "-y", "--json", "-n", "1", image.Path()});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    const std::vector<Json> events = Events(r.out);
    int drives = 0, temporary = 0;
    for (const Json& e : events) {
        if (e.Get("event")->text == "drive") {
            ++drives;
            EXPECT_EQ(e.Get("root")->text, image.Path());
            EXPECT_EQ(e.Get("result")->text, "done");
        }
        if (e.Get("event")->text == "temporary-file") {
            ++temporary;
            EXPECT_FALSE(PathExists(e.Get("path")->text));  // deleted again
        }
    }
    EXPECT_EQ(drives, 1);
    EXPECT_GE(temporary, 1);
    EXPECT_NE(Log().find(image.Path() + " [done]"), std::string::npos);
}

TEST_F(CliTest, FreeSpaceAfterFillsTheDriveOfTheShreddedFileForThisRunOnly) {
    TestMount image(TestMount::Kind::Ext4Image, 8 * 1024);
    KELVANE_REQUIRE_MOUNT(image);
    WriteSettings("  <Iterations>1</Iterations>\r\n");
    const std::string settingsBefore = ReadWholeFile(SettingsPath());
    TempDir::WriteFileAt(image.Path() + "draft.txt", std::string(9000, 'd'));
    const CliResult r =
        Run({"shred", "-y", "--json", "--free-space-after", image.Path() + "draft.txt"});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    const std::vector<Json> events = Events(r.out);
    ASSERT_FALSE(events.empty());
    ASSERT_NE(events.front().Get("free-space-after"), nullptr) << r.out;
    EXPECT_TRUE(events.front().Get("free-space-after")->boolean) << r.out;
    int entries = 0, drives = 0;
    for (const Json& e : events) {
        const std::string kind = e.Get("event")->text;
        entries += kind == "entry";
        if (kind != "drive") continue;
        ++drives;
        EXPECT_EQ(e.Get("root")->text, image.Path());
        EXPECT_EQ(e.Get("result")->text, "done");
    }
    EXPECT_EQ(entries, 1);
    EXPECT_EQ(drives, 1);
    const std::string log = Log();
    EXPECT_LT(log.find(image.Path() + "draft.txt [done]"),
              log.find("Shredding free disk space with 1 iterations"))
        << log;
    EXPECT_EQ(ReadWholeFile(SettingsPath()), settingsBefore);
    // Not for the other commands.
    EXPECT_EQ(Run({"free-space", "--free-space-after", image.Path()}).exitCode, 4);
}

// SIGINT stops the run as Stop does: the file under way ends after its write in
// progress and stays under its own name, told as interrupted.
TEST_F(CliTest, SignalStopsTheFileUnderWayInPlace) {
    ::setenv("KELVANE_FILES_AT_ONCE", "1", 1);
    constexpr int kFiles = 60;
    for (int i = 0; i < kFiles; ++i)
        tmp.WriteFile("s/f" + std::to_string(100 + i), std::string(256 * 1024, 'z'));
    CliProcess p(Config(), {"shred", "-y", "--json", "-n", "8", tmp.Sub("s")});
    ASSERT_TRUE(p.WaitForOutput("\"event\":\"entry\""));
    p.Signal(SIGINT);
    const CliResult r = p.Finish();
    ::unsetenv("KELVANE_FILES_AT_ONCE");
    EXPECT_EQ(r.exitCode, 2) << r.out << r.err;
    int left = 0;
    for (int i = 0; i < kFiles; ++i) left += PathExists(tmp.Sub("s/f" + std::to_string(100 + i)));
    EXPECT_GT(left, 0);
    EXPECT_LT(left, kFiles);
    const std::vector<Json> events = Events(r.out);
    int interrupted = 0;
    for (const Json& e : events)
        if (e.Get("event")->text == "entry" && e.Get("result")->text == "interrupted") {
            ++interrupted;
            EXPECT_TRUE(PathExists(e.Get("path")->text)) << e.Get("path")->text;
        }
    EXPECT_LE(interrupted, 1);
    EXPECT_EQ(events.back().Get("outcome")->text, "interrupted");
}

TEST(CliBuild, LinksNoQt) {
    std::FILE* p = ::popen("ldd " KELVANE_CLI_EXE " 2>&1", "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buf[512];
    while (std::fgets(buf, sizeof buf, p)) out += buf;
    ::pclose(p);
    EXPECT_NE(out.find("libc.so"), std::string::npos) << out;
    EXPECT_EQ(out.find("Qt"), std::string::npos) << out;
}

}  // namespace
