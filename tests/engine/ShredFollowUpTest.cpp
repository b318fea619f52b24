// What ShredFile does after the passes: size change, name scrambling, deletion,
// and the small operations behind them.
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>

#include "EngineTestUtil.h"
#include "config/TextConv.h"
#include "engine/FileOps.h"
#include "support/TempDir.h"

namespace {

bool AllDigitsUpTo8(const std::string& s) {
    for (char c : s)
        if (c < '0' || c > '8') return false;
    return !s.empty();
}

uint32_t ModeOf(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0xFFFFFFFFu;
}

}  // namespace

TEST(ShredFollowUp, SizeCutToZeroOrGrownInSteps) {
    TempDir dir;
    FileOps ops;
    dir.WriteFile("cut", std::string(5000, 'M'));
    auto cut = KeepOptions(dir.WSub("cut"));
    cut.modifySize = true;
    cut.sizeToZero = true;
    ASSERT_TRUE(ops.ShredFile(2, cut));
    EXPECT_EQ(SizeOf(dir.Sub("cut")), 0);

    // Growth follows the buffer fill in the generator's sequence, so for a known
    // clock the amount is known exactly; over many clocks it spans its range.
    int64_t smallest = 1 << 30, largest = 0;
    for (uint32_t seed = 1; seed <= 60; ++seed) {
        FixedClock clock(seed);
        dir.WriteFile("grow", std::string(3000, 'M'));
        auto grow = KeepOptions(dir.WSub("grow"));
        grow.modifySize = true;
        grow.sizeToZero = false;
        grow.blockSize = 100;  // smaller than any growth: the buffer repeats
        ASSERT_TRUE(ops.ShredFile(1, grow));
        ModelRandom model(seed);
        for (int i = 0; i < 100; ++i) model.Next();
        const int64_t n = (model.Next() % 99 + 1) * 1024;
        const std::string data = ReadWholeFile(dir.Sub("grow"));
        ASSERT_EQ(static_cast<int64_t>(data.size()), 3000 + n) << "seed " << seed;
        EXPECT_EQ(n % 1024, 0);
        const std::string b = RandomBlock(seed, 100);
        for (int64_t i = 0; i < n; ++i)
            ASSERT_EQ(data[static_cast<size_t>(3000 + i)], b[static_cast<size_t>(i % 100)]) << i;
        smallest = std::min(smallest, n);
        largest = std::max(largest, n);
    }
    EXPECT_GE(smallest, 1024);
    EXPECT_LE(largest, 101376);
    EXPECT_GT(largest - smallest, 50 * 1024);  // the amount really varies
}

TEST(ShredFollowUp, ScrambledNamesKeepTheLengthAndUseDigits) {
    TempDir dir;
    FileOps ops;
    dir.WriteFile("dir/report.pdf", "content");
    std::u16string path = dir.WSub("dir/report.pdf");
    ASSERT_TRUE(ops.ShredName(path, true, 3));
    auto names = NamesIn(dir.Sub("dir"));
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0].size(), 10u);
    EXPECT_TRUE(AllDigitsUpTo8(names[0])) << names[0];
    EXPECT_EQ(path, dir.WSub("dir/" + names[0]));  // the caller learns the last name
    EXPECT_EQ(ReadWholeFile(dir.Sub("dir/" + names[0])), "content");

    // Zeros: the same name every time, which is no failure.
    ASSERT_TRUE(ops.ShredName(path, false, 3));
    EXPECT_EQ(NamesIn(dir.Sub("dir")), std::vector<std::string>{"0000000000"});
    EXPECT_EQ(path, dir.WSub("dir/0000000000"));

    // No renaming at all for a count of zero or less.
    dir.WriteFile("dir/ab.c", "");
    std::u16string other = dir.WSub("dir/ab.c");
    EXPECT_TRUE(ops.ShredName(other, true, 0));
    EXPECT_TRUE(ops.ShredName(other, true, -3));
    EXPECT_EQ(other, dir.WSub("dir/ab.c"));
    EXPECT_TRUE(PathExists(dir.Sub("dir/ab.c")));

    // A folder where every name of three digits but one is taken (numbered
    // files): the free one is found, nothing is replaced.
    for (int n = 0; n < 729; ++n) {
        const std::string name{char('0' + n / 81), char('0' + n / 9 % 9), char('0' + n % 9)};
        if (name != "417") dir.WriteFile("full/" + name, "");
    }
    dir.WriteFile("full/abc", "mine");
    std::u16string crowded = dir.WSub("full/abc");
    ASSERT_TRUE(ops.ShredName(crowded, true, 1));
    EXPECT_EQ(crowded, dir.WSub("full/417"));
    EXPECT_EQ(ReadWholeFile(dir.Sub("full/417")), "mine");
    EXPECT_EQ(NamesIn(dir.Sub("full")).size(), 729u);

    // A missing file cannot be renamed; the path stays as it was.
    std::u16string missing = dir.WSub("dir/nothing");
    EXPECT_FALSE(ops.ShredName(missing, true, 2));
    EXPECT_EQ(missing, dir.WSub("dir/nothing"));
}

TEST(ShredFollowUp, RenameCollisionFailsAndKeepsBothFiles) {
    TempDir dir;
    FileOps ops;
    dir.WriteFile("report.pdf", "one");
    dir.WriteFile("letter.txt", "two");
    for (const char* name : {"report.pdf", "letter.txt"}) {
        auto o = KeepOptions(dir.WSub(name));
        o.shredNames = true;
        o.shredValue.assign(1, u'7');  // not random: names of zeros
        const bool ok = ops.ShredFile(2, o);
        EXPECT_EQ(ok, std::string(name) == "report.pdf") << name;
    }
    // The second file was overwritten but kept its name; nothing was replaced.
    EXPECT_EQ(NamesIn(dir.Path()), (std::vector<std::string>{"0000000000", "letter.txt"}));
    EXPECT_EQ(ReadWholeFile(dir.Sub("0000000000")), "\x07\x07\x07");
    EXPECT_EQ(ReadWholeFile(dir.Sub("letter.txt")), "\x07\x07\x07");

    EXPECT_FALSE(ops.RenameFile(dir.WSub("letter.txt"), dir.WSub("0000000000")));
    EXPECT_TRUE(ops.RenameFile(dir.WSub("letter.txt"), dir.WSub("letter.txt")));
    EXPECT_FALSE(ops.RenameFile(dir.WSub("absent"), dir.WSub("absent")));
    EXPECT_TRUE(ops.RenameFile(dir.WSub("letter.txt"), dir.WSub("moved.txt")));
    EXPECT_FALSE(ops.RemoveFile(dir.WSub("letter.txt")));
    EXPECT_TRUE(ops.RemoveFile(dir.WSub("moved.txt")));
}

TEST(ShredFollowUp, FullShredLeavesNothingBehind) {
    TempDir dir;
    FileOps ops;
    // Spaces, a newline, bytes that are no UTF-8, and a backslash, which is an
    // ordinary character in names here.
    const std::string names[] = {"plain.txt", "with space\nand newline", "bad\xff\xfe.bin",
                                 "back\\slash.txt"};
    for (const auto& n : names) {
        dir.WriteFile("d/" + n, "secret data");
        ShredFileOptions o;
        o.path = WideFromUtf8(dir.Sub("d/" + n));
        o.shredNames = true;
        o.modifySize = true;
        o.deleteAfter = true;
        EXPECT_TRUE(ops.ShredFile(3, o)) << n;
        EXPECT_TRUE(NamesIn(dir.Sub("d")).empty()) << n;
    }

    // Kept after scrambling, the backslash name becomes digits in the same folder.
    dir.WriteFile("e/back\\slash.txt", "x");
    std::u16string p = dir.WSub("e/back\\slash.txt");
    ASSERT_TRUE(ops.ShredName(p, true, 2));
    auto left = NamesIn(dir.Sub("e"));
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].size(), 14u);
    EXPECT_TRUE(AllDigitsUpTo8(left[0])) << left[0];
}

TEST(ShredFollowUp, ReadOnlyFilesFailUntilMadeWritable) {
    TempDir dir;
    FileOps ops;
    dir.WriteFile("ro", "secret");
    ASSERT_EQ(::chmod(dir.Sub("ro").c_str(), 0444), 0);
    auto o = KeepOptions(dir.WSub("ro"));
    o.deleteAfter = true;
    // Even when this test runs as root, whom the system would let write.
    EXPECT_FALSE(ops.ShredFile(1, o));
    EXPECT_EQ(ReadWholeFile(dir.Sub("ro")), "secret");

    EXPECT_TRUE(ops.MakeWritable(dir.WSub("ro")));
    EXPECT_EQ(ModeOf(dir.Sub("ro")), 0644u);  // only the owner's write bit is added
    EXPECT_TRUE(ops.ShredFile(1, o));
    EXPECT_FALSE(PathExists(dir.Sub("ro")));

    dir.MakeDir("folder");
    ASSERT_EQ(::chmod(dir.Sub("folder").c_str(), 0555), 0);
    ops.MakeWritable(dir.WSub("folder"));
    EXPECT_EQ(ModeOf(dir.Sub("folder")), 0755u);

    // Through a link nothing changes: the target is not ours.
    dir.WriteFile("target", "t");
    ASSERT_EQ(::chmod(dir.Sub("target").c_str(), 0400), 0);
    ASSERT_EQ(::symlink(dir.Sub("target").c_str(), dir.Sub("link").c_str()), 0);
    ops.MakeWritable(dir.WSub("link"));
    EXPECT_EQ(ModeOf(dir.Sub("target")), 0400u);
    EXPECT_FALSE(ops.MakeWritable(dir.WSub("missing")));
}

namespace {

// The names a folder saw go: (event, name) in order, from inotify.
std::vector<std::pair<uint32_t, std::string>> Events(int fd) {
    std::vector<std::pair<uint32_t, std::string>> out;
    alignas(inotify_event) char buf[65536];
    for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;)
        for (char* p = buf; p < buf + n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(p);
            if (e->len > 0 && (e->mask & (IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE)))
                out.emplace_back(e->mask & (IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE), e->name);
            p += sizeof(inotify_event) + e->len;
        }
    return out;
}

}  // namespace

// A deleted file leaves under ever shorter scrambled names, and an emptied folder
// is scrambled before it goes; a folder that still holds something keeps its name.
TEST(ShredFollowUp, RemovedEntriesGoUnderShortScrambledNames) {
    TempDir dir;
    FileOps ops;
    dir.WriteFile("top/stay", "keeps top");
    dir.WriteFile("top/secret-folder/confidential.pdf", "x");
    dir.WriteFile("top/full-folder/kept.txt", "y");
    const int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_GE(::inotify_add_watch(fd, dir.Sub("top").c_str(), IN_MOVE | IN_DELETE), 0);
    ASSERT_GE(::inotify_add_watch(fd, dir.Sub("top/secret-folder").c_str(), IN_MOVE | IN_DELETE),
              0);

    ShredFileOptions o;
    o.path = dir.WSub("top/secret-folder/confidential.pdf");
    o.shredNames = true;
    ASSERT_TRUE(ops.ShredFile(1, o));
    ops.ScrambleFolderNames(true);
    // The chain stops at "top", which still holds something.
    (void)ops.RemoveFolderChain(dir.WSub("top/secret-folder/"));
    EXPECT_FALSE(ops.RemoveFolderChain(dir.WSub("top/full-folder/")));
    EXPECT_EQ(NamesIn(dir.Sub("top")), (std::vector<std::string>{"full-folder", "stay"}));

    // Each entry: renamed from its own name, to digits of the same length, then
    // to shorter ones, and removed under a name of one digit.
    std::map<std::string, std::vector<std::string>> steps;  // first name -> names after
    std::string last;
    for (const auto& [mask, name] : Events(fd)) {
        if (mask == IN_MOVED_FROM && steps.count(name) == 0 && !AllDigitsUpTo8(name)) last = name;
        if (mask == IN_MOVED_FROM && !AllDigitsUpTo8(name)) steps[name];
        if ((mask == IN_MOVED_TO || mask == IN_DELETE) && !last.empty())
            steps[last].push_back(name + (mask == IN_DELETE ? "/deleted" : ""));
    }
    ::close(fd);
    ASSERT_EQ(steps.size(), 2u);
    for (const auto& [original, after] : steps) {
        ASSERT_GE(after.size(), 3u) << original;
        EXPECT_EQ(after.front().size(), original.size()) << original;
        EXPECT_TRUE(AllDigitsUpTo8(after.front())) << after.front();
        EXPECT_EQ(after.back().size(), std::string("0/deleted").size()) << original;
    }
    EXPECT_EQ(steps.count("full-folder"), 0u);
}
