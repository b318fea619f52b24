// kelvane-cli on a tree it lists as it shreds: what the run says and leaves is
// what a run over a listed tree says and leaves.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "CliProcess.h"
#include "MiniJson.h"
#include "support/TempDir.h"
#include "support/TestMount.h"
#include "support/TestText.h"

namespace {

class CliStreamTest : public ::testing::Test {
  protected:
    CliStreamTest() {
        std::string error;
        EXPECT_TRUE(ParseJson(ReadWholeFile(KELVANE_DATA_DIR "/kelvane-cli-events.schema.json"),
                              schema_, error))
            << error;
    }
    std::string Config() const { return tmp_.Sub("config"); }

    // The events of a run's output, each checked against the schema.
    std::vector<Json> Events(const std::string& out) const {
        std::vector<Json> events;
        std::istringstream in(out);
        for (std::string line; std::getline(in, line);) {
            EXPECT_EQ(CheckEventLine(schema_, line), "") << line;
            Json v;
            std::string error;
            if (ParseJson(line, v, error)) events.push_back(v);
        }
        return events;
    }
    // Tree below `root`: folders g<G>/d<D>, each with `files` files of `content`.
    static std::vector<std::string> MakeTree(const std::string& root, int groups, int folders,
                                             int files, const std::string& content) {
        std::vector<std::string> made;
        for (int g = 0; g < groups; ++g)
            for (int d = 0; d < folders; ++d) {
                std::filesystem::create_directories(root + "g" + std::to_string(g) + "/d" +
                                                    std::to_string(d));
                for (int f = 0; f < files; ++f) {
                    made.push_back(root + "g" + std::to_string(g) + "/d" + std::to_string(d) +
                                   "/f" + std::to_string(f));
                    TempDir::WriteFileAt(made.back(), content);
                }
            }
        return made;
    }

    TempDir tmp_;
    Json schema_;
};

TEST_F(CliStreamTest, EachEntryOnceEmptiedFoldersGoExcludedStay) {
    TestMount m(TestMount::Kind::Tmpfs, 16 * 1024);
    KELVANE_REQUIRE_MOUNT(m);
    const std::string root = m.Path() + "tree/";
    std::vector<std::string> files = MakeTree(root, 3, 4, 20, "secret");
    TempDir::WriteFileAt(root + "g1/d2/x.keep", "stays");
    TempDir::WriteFileAt(m.Path() + "outside", "not chosen");
    ASSERT_EQ(::symlink("../../outside", (root + "g0/link").c_str()), 0);
    files.push_back(root + "g0/link");
    ASSERT_EQ(::mkdir((root + "g2/empty").c_str(), 0700), 0);

    const CliResult r = RunCli(Config(), {"shred", "-y", "--json", "-n", "1", "--exclude", "*.keep",
                                          root.substr(0, root.size() - 1)});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::map<std::string, std::vector<std::string>> entries;
    std::map<std::string, std::string> skipped;
    const std::vector<Json> events = Events(r.out);
    for (const Json& e : events) {
        const std::string kind = e.Get("event")->text;
        if (kind == "entry") entries[e.Get("path")->text].push_back(e.Get("result")->text);
        if (kind == "skipped") skipped[e.Get("path")->text] = e.Get("reason")->text;
        // Counted ahead, as the run then met them: 241 files, 17 folders less
        // the 3 that keep the excluded file.
        if (kind == "summary") {
            EXPECT_EQ(e.Get("files")->number, 241);
            EXPECT_EQ(e.Get("folders")->number, 14);
        }
    }
    for (const std::string& f : files) {
        EXPECT_EQ(entries[f], std::vector<std::string>{"done"}) << f;
        EXPECT_FALSE(PathExists(f)) << f;
    }
    for (const auto& [path, results] : entries) EXPECT_EQ(results.size(), 1u) << path;
    EXPECT_EQ(skipped,
              (std::map<std::string, std::string>{{root + "g1/d2/x.keep", "excluded"},
                                                  {root + "g1/d2/", "keeps-skipped-entries"},
                                                  {root + "g1/", "keeps-skipped-entries"},
                                                  {root, "keeps-skipped-entries"}}));
    EXPECT_EQ(ReadWholeFile(root + "g1/d2/x.keep"), "stays");
    EXPECT_EQ(ReadWholeFile(m.Path() + "outside"), "not chosen");
    for (const char* gone : {"g0", "g2", "g1/d0", "g1/d3"}) EXPECT_FALSE(PathExists(root + gone));
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().Get("outcome")->text, "done");
}

TEST_F(CliStreamTest, StopLeavesWhatItHasNotReachedWhole) {
    TestMount m(TestMount::Kind::Tmpfs, 32 * 1024);
    KELVANE_REQUIRE_MOUNT(m);
    const std::string root = m.Path() + "tree/";
    const std::string content(256 * 1024, 'z');
    const std::vector<std::string> files = MakeTree(root, 4, 4, 4, content);

    CliProcess p(Config(), {"shred", "-y", "--json", "-n", "100", root});
    ASSERT_TRUE(p.WaitForOutput("\"event\":\"entry\""));
    p.Signal(SIGINT);
    const CliResult r = p.Finish();
    EXPECT_EQ(r.exitCode, 2) << r.err;
    std::map<std::string, std::string> entries;
    const std::vector<Json> events = Events(r.out);
    for (const Json& e : events)
        if (e.Get("event")->text == "entry") entries[e.Get("path")->text] = e.Get("result")->text;
    // Every file is either shredded and said so, interrupted in place under its
    // own name (the one under way), or untouched in a folder that stays.
    size_t left = 0, interrupted = 0;
    for (const std::string& f : files) {
        if (PathExists(f)) {
            ++left;
            if (entries.count(f) && entries[f] == "interrupted") {
                ++interrupted;
                continue;
            }
            EXPECT_EQ(entries.count(f), 0u) << f;
            EXPECT_EQ(ReadWholeFile(f), content) << f;
        } else {
            EXPECT_EQ(entries[f], "done") << f;
        }
    }
    EXPECT_GT(left, 0u);
    EXPECT_LT(left, files.size());
    EXPECT_LE(interrupted, 1u) << "one file at a time on a file system in memory";
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().Get("outcome")->text, "interrupted");
}

TEST_F(CliStreamTest, EveryFailureAndEveryFolderLeftIsToldOnce) {
    // More rows than a run reads at once, all of them failing: the run passes
    // and leaves them, and still tells each one, its folders at the end.
    TestMount m(TestMount::Kind::Tmpfs, 16 * 1024);
    KELVANE_REQUIRE_MOUNT(m);
    const std::string root = m.Path() + "tree/";
    const std::vector<std::string> files = MakeTree(root, 3, 4, 100, "kept");
    ASSERT_EQ(::mount(nullptr, m.Path().c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);

    const CliResult r = RunCli(Config(), {"shred", "-y", "--json", "-n", "1", root});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    std::map<std::string, std::vector<std::string>> entries;
    for (const Json& e : Events(r.out))
        if (e.Get("event")->text == "entry")
            entries[e.Get("path")->text].push_back(e.Get("result")->text);
    for (const std::string& f : files) {
        EXPECT_EQ(entries[f], std::vector<std::string>{"failed"}) << f;
        EXPECT_EQ(ReadWholeFile(f), "kept") << f;
    }
    std::vector<std::string> folders{root};
    for (int g = 0; g < 3; ++g) {
        folders.push_back(root + "g" + std::to_string(g) + "/");
        for (int d = 0; d < 4; ++d)
            folders.push_back(folders.back().substr(0, root.size() + 3) + "d" + std::to_string(d) +
                              "/");
    }
    for (const std::string& f : folders)
        EXPECT_EQ(entries[f], std::vector<std::string>{"not-removed"}) << f;
    EXPECT_EQ(entries.size(), files.size() + folders.size());
}

// A list as `find -print0` writes it, through a pipe: folders with all they
// hold, parents first or (-depth) last, and a file alone. Each entry is told
// once and goes; the pipe, read once, was enough for the look ahead and the run.
TEST_F(CliStreamTest, AListThatNamesFoldersAndWhatTheyHoldShredsEachEntryOnce) {
    TestMount m(TestMount::Kind::Tmpfs, 16 * 1024);
    KELVANE_REQUIRE_MOUNT(m);
    std::vector<std::string> files = MakeTree(m.Path() + "pre/", 2, 2, 3, "secret");
    const std::vector<std::string> more = MakeTree(m.Path() + "post/", 2, 2, 3, "secret");
    files.insert(files.end(), more.begin(), more.end());
    files.push_back(m.Path() + "alone");
    TempDir::WriteFileAt(files.back(), "secret");
    auto inOrder = [&m](const std::string& top, bool depth) {
        std::vector<std::string> order{m.Path() + top};
        for (const auto& e : std::filesystem::recursive_directory_iterator(order.front()))
            order.push_back(e.path().string());
        if (depth) std::reverse(order.begin(), order.end());
        std::string list;
        for (const std::string& p : order) list += p + '\0';
        return list;
    };
    const std::string list = inOrder("pre", false) + inOrder("post", true) + files.back() + '\0';
    const std::string fifo = tmp_.Sub("list");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::thread writer([&] { std::ofstream(fifo, std::ios::binary) << list; });
    const CliResult r =
        RunCli(Config(), {"shred", "-y", "--json", "-n", "1", "--files-from", "-", "-0"}, fifo);
    writer.join();
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    std::map<std::string, std::vector<std::string>> entries;
    for (const Json& e : Events(r.out)) {
        if (e.Get("event")->text == "entry")
            entries[e.Get("path")->text].push_back(e.Get("result")->text);
        if (e.Get("event")->text == "summary") {
            EXPECT_EQ(e.Get("files")->number, 25);
        }
    }
    for (const std::string& f : files) {
        EXPECT_EQ(entries[f], std::vector<std::string>{"done"}) << f;
        EXPECT_FALSE(PathExists(f)) << f;
    }
    for (const auto& [path, results] : entries) EXPECT_EQ(results.size(), 1u) << path;
    EXPECT_FALSE(PathExists(m.Path() + "pre"));
    EXPECT_FALSE(PathExists(m.Path() + "post"));
}

// A long list and a large tree cost check what a short one costs: it tells each
// entry as it meets it, and the list is read from its private copy as it goes.
TEST_F(CliStreamTest, CheckAndAListHoldLittleHoweverLong) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a sanitizer keeps freed memory";
#endif
    TestMount m(TestMount::Kind::Tmpfs, 16 * 1024);
    KELVANE_REQUIRE_MOUNT(m);
    auto peak = [&](const std::string& name, int folders) {
        std::string list;
        for (int d = 0; d < folders; ++d) {
            const std::string folder = m.Path() + name + "/d" + std::to_string(d) + "/";
            std::filesystem::create_directories(folder);
            for (int f = 0; f < 1000; ++f) {
                list += folder + "file-with-a-longer-name-" + std::to_string(f) + '\n';
                ::close(::open((folder + "file-with-a-longer-name-" + std::to_string(f)).c_str(),
                               O_CREAT | O_WRONLY | O_CLOEXEC, 0600));
            }
        }
        tmp_.WriteFile(name + ".lst", list);
        const CliResult tree = RunCli(Config(), {"check", "-q", m.Path() + name});
        const CliResult listed =
            RunCli(Config(), {"check", "-q", "--files-from", tmp_.Sub(name + ".lst")});
        EXPECT_EQ(tree.exitCode, 0) << tree.err;
        EXPECT_EQ(listed.exitCode, 0) << listed.err;
        return std::make_pair(tree.peakKib, listed.peakKib);
    };
    const auto small = peak("small", 1);
    const auto large = peak("large", 40);
    EXPECT_LT(large.first - small.first, 4096) << small.first << " " << large.first;
    EXPECT_LT(large.second - small.second, 4096) << small.second << " " << large.second;
}

}  // namespace
