// Old names, checked on the device itself: after a run with scrambled names, the
// names the files and their folder had are found nowhere in the raw image where
// the file system allows it (ext4 with its journal cleared, xfs outside its log,
// btrfs once its free metadata space is overwritten), and the summary names each
// file system where they may survive.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <memory>
#include <string>

#include "platform/NameJournal.h"
#include "runs/FileRunFixture.h"
#include "support/RawDevice.h"
#include "support/TestMount.h"

namespace {

// Built at run time, so the test program's own bytes never hold it.
std::string NameMarker() {
    std::string m = "kvn";
    for (char c : std::string("AMEMARK")) m += static_cast<char>(c ^ 0x20);
    return m;  // "kvnamemark"
}

size_t Count(const std::string& data, const std::string& needle) {
    size_t n = 0;
    for (size_t p = data.find(needle); p != std::string::npos; p = data.find(needle, p + 1)) ++n;
    return n;
}

// The byte range of xfs's internal log in its image, from xfs_db; {0, 0} when
// it cannot be told.
std::pair<size_t, size_t> XfsLog(const std::string& image) {
    const std::string cmd =
        "xfs_db -r -c 'sb 0' -c 'print logstart logblocks blocksize agblocks "
        "agblklog' '" +
        image + "' 2>/dev/null";
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) return {0, 0};
    std::map<std::string, uint64_t> v;
    char key[64];
    unsigned long long value = 0;
    while (std::fscanf(p, "%63s = %llu", key, &value) == 2) v[key] = value;
    ::pclose(p);
    if (v.size() != 5) return {0, 0};
    const uint64_t ag = v["logstart"] >> v["agblklog"];
    const uint64_t block = v["logstart"] & ((uint64_t{1} << v["agblklog"]) - 1);
    const uint64_t start = (ag * v["agblocks"] + block) * v["blocksize"];
    return {start, start + v["logblocks"] * v["blocksize"]};
}

}  // namespace

TEST_F(FileRunTest, OldNamesLeaveTheRawImage) {
    const std::string marker = NameMarker();
    struct Case {
        const char* name;
        TestMount::Kind kind;
        NamesKept kept;  // what the summary says of it
    };
    // ext4's journal is cleared with the rights and written over without them.
    const Case cases[] = {
        {"ext4", TestMount::Kind::Ext4Image, NamesKept::kNone},
        {"xfs", TestMount::Kind::XfsImage, NamesKept::kJournal},
        {"btrfs", TestMount::Kind::Tmpfs, NamesKept::kCopyOnWrite},
    };
    int ran = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<TestMount> mount =
            std::string(c.name) == "btrfs"
                ? std::make_unique<TestMount>("btrfs", 128 * 1024,
                                              std::vector<std::string>{"-q", "-f"})
                : std::make_unique<TestMount>(
                      c.kind, c.kind == TestMount::Kind::XfsImage ? 320 * 1024 : 32 * 1024);
        if (!mount->Ok()) {
            std::cout << "[names] " << c.name << " not tried: " << mount->Error() << "\n";
            continue;
        }
        ++ran;
        const std::string folder = mount->Path() + marker + "-folder/";
        ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
        while (window.RowCount() > 0) window.DeleteRow(0);
        for (int i = 0; i < 300; ++i) {
            const std::string path = folder + marker + "-" + std::to_string(1000 + i) + ".txt";
            TempDir::WriteFileAt(path, std::string(static_cast<size_t>(i % 7 + 1), 'x'));
            window.AddRow(WideFromUtf8(path));
        }
        window.AddRow(WideFromUtf8(folder), u"FOLDER");
        mount->Sync();
        window.settings.shredNames = 1;
        window.settings.random = 1;
        window.settings.showSummary = 1;
        window.summaries.clear();
        Run();
        EXPECT_EQ(window.status, Done());
        EXPECT_FALSE(PathExists(folder));
        ASSERT_EQ(window.summaries.size(), 1u);
        const auto& names = window.summaries[0].names;
        if (c.kept == NamesKept::kNone) {
            EXPECT_TRUE(names.empty());
        } else {
            ASSERT_EQ(names.size(), 1u);
            EXPECT_EQ(names[0].kept, c.kept);
            EXPECT_EQ(names[0].fsType, WideFromUtf8(c.name));
            // One sentence in the log names the file system.
            EXPECT_EQ(
                std::count_if(window.logLines.begin(), window.logLines.end(),
                              [](const std::u16string& l) { return l.find(u"Old names") == 0; }),
                1);
        }
        ASSERT_TRUE(mount->Unmount());
        const std::string image = ReadDeviceWhole(mount->ImagePath());
        const size_t left = Count(image, marker);
        std::cout << "[names] " << c.name << ": " << left << " old names left\n";
        if (std::string(c.name) == "ext4" || std::string(c.name) == "btrfs") {
            EXPECT_EQ(left, 0u);
        }
        if (std::string(c.name) == "xfs") {
            const auto [from, to] = XfsLog(mount->ImagePath());
            ASSERT_LT(from, to);
            const std::string outside =
                image.substr(0, from) + std::string(1, '\0') + image.substr(to);
            EXPECT_EQ(Count(outside, marker), 0u) << left - Count(outside, marker) << " in the log";
        }
    }
    if (ran == 0) GTEST_SKIP() << "no test file system could be mounted";
}
