// The passes of ShredFile: which bytes land where, for each data source.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "EngineTestUtil.h"
#include "engine/FileOps.h"
#include "support/TempDir.h"

TEST(ShredFile, EveryBlockOfEveryPassCarriesTheSameBuffer) {
    TempDir dir;
    FixedClock clock(1000);
    dir.WriteFile("f", std::string(250000, 'M'));
    FileOps ops;
    for (int passes : {1, 3}) {
        ASSERT_TRUE(ops.ShredFile(passes, KeepOptions(dir.WSub("f"))));  // block size 0: 102400
        const std::string b = RandomBlock(1000, 102400);
        // 102400 + 102400 + 45200: the last block is the buffer's start.
        EXPECT_EQ(ReadWholeFile(dir.Sub("f")), b + b + b.substr(0, 45200)) << passes;
    }
}

TEST(ShredFile, FixedValuesWriteTheLowByteOfTheNumber) {
    TempDir dir;
    const struct {
        const char16_t* value;
        char byte;
    } cases[] = {
        {u"65", 0x41}, {u"abc", 0x00}, {u"300", 0x2C}, {u"-1", char(0xFF)}, {u" 256", 0x00}};
    FileOps ops;
    for (const auto& c : cases) {
        dir.WriteFile("f", std::string(1000, 'M'));
        auto o = KeepOptions(dir.WSub("f"));
        o.shredValue = c.value;
        o.blockSize = 300;  // not a divisor of the length
        ASSERT_TRUE(ops.ShredFile(2, o));
        EXPECT_EQ(ReadWholeFile(dir.Sub("f")), std::string(1000, c.byte));
    }
}

TEST(ShredFile, PatternRestartsAtEveryBlock) {
    TempDir dir;
    dir.WriteFile("pattern", "xyz");
    dir.WriteFile("f", std::string(20, 'M'));
    auto o = KeepOptions(dir.WSub("f"));
    o.shredValue = dir.WSub("pattern");
    o.blockSize = 8;
    FileOps ops;
    ASSERT_TRUE(ops.ShredFile(1, o));
    EXPECT_EQ(ReadWholeFile(dir.Sub("f")),
              "xyzxyzxy"
              "xyzxyzxy"
              "xyzx");
    EXPECT_EQ(ReadWholeFile(dir.Sub("pattern")), "xyz");

    // An empty pattern file writes zero bytes and never reads past its end.
    dir.WriteFile("empty", "");
    o.shredValue = dir.WSub("empty");
    ASSERT_TRUE(ops.ShredFile(1, o));
    EXPECT_EQ(ReadWholeFile(dir.Sub("f")), std::string(20, '\0'));
}

TEST(ShredFile, RandomModeNeverWrites255) {
    TempDir dir;
    dir.WriteFile("f", std::string(1 << 20, char(0xFF)));
    auto o = KeepOptions(dir.WSub("f"));
    o.blockSize = 1 << 20;
    FileOps ops;
    ASSERT_TRUE(ops.ShredFile(1, o));
    const std::string data = ReadWholeFile(dir.Sub("f"));
    ASSERT_EQ(data.size(), size_t{1} << 20);
    int seen[256] = {};
    for (unsigned char c : data) ++seen[c];
    EXPECT_EQ(seen[255], 0);
    for (int v = 0; v < 255; ++v) EXPECT_GT(seen[v], 0) << v;
}

TEST(ShredFile, NothingToDoCountsAsDoneButBadCallsFail) {
    TempDir dir;
    FileOps ops;
    // Vanished file, folder, empty path: true, and nothing appears or changes.
    EXPECT_TRUE(ops.ShredFile(3, KeepOptions(dir.WSub("gone"))));
    EXPECT_FALSE(PathExists(dir.Sub("gone")));
    dir.WriteFile("d/inner", "keep");
    auto folder = KeepOptions(dir.WSub("d"));
    folder.deleteAfter = true;
    folder.shredNames = true;
    EXPECT_TRUE(ops.ShredFile(3, folder));
    EXPECT_EQ(ReadWholeFile(dir.Sub("d/inner")), "keep");
    EXPECT_TRUE(ops.ShredFile(1, KeepOptions(u"")));

    // An empty file: each pass opens it, nothing is written, the result is true.
    dir.WriteFile("empty", "");
    EXPECT_TRUE(ops.ShredFile(3, KeepOptions(dir.WSub("empty"))));
    EXPECT_EQ(SizeOf(dir.Sub("empty")), 0);

    // Fewer than one pass is a caller's error: false and the data stays.
    dir.WriteFile("f", "secret");
    EXPECT_FALSE(ops.ShredFile(0, KeepOptions(dir.WSub("f"))));
    EXPECT_FALSE(ops.ShredFile(-5, KeepOptions(dir.WSub("f"))));
    EXPECT_EQ(ReadWholeFile(dir.Sub("f")), "secret");
}

TEST(ShredFile, OtherThreadsDrawingNumbersDoNotChangeTheData) {
    TempDir dir;
    FixedClock clock(555);
    dir.WriteFile("f", std::string(5000, 'M'));
    std::atomic<bool> stop{false};
    std::thread noise([&] {
        while (!stop) ThreadRandom();
    });
    FileOps ops;
    auto o = KeepOptions(dir.WSub("f"));
    o.blockSize = 4096;
    const bool ok = ops.ShredFile(2, o);
    stop = true;
    noise.join();
    ASSERT_TRUE(ok);
    const std::string b = RandomBlock(555, 4096);
    EXPECT_EQ(ReadWholeFile(dir.Sub("f")), b + b.substr(0, 904));
}

// Stop during a pass: the write under way ends it; the file stays under its own
// name, neither renamed, cut nor removed, and the whole passes before it are told.
TEST(ShredFile, StopEndsThePassesAfterTheWriteUnderWay) {
    TempDir dir;
    FixedClock clock(1000);
    constexpr int64_t kSize = 12 << 20;  // three gathering writes per pass
    const std::string old(kSize, 'M');
    std::atomic<bool> stop{false};
    for (const int stopInPass : {0, 1}) {
        dir.WriteFile("f", old);
        ShredFileOptions o;
        o.path = dir.WSub("f");
        o.shredNames = true;
        o.modifySize = true;
        o.deleteAfter = true;
        o.stop = &stop;
        stop = false;
        int64_t seenAfterStop = 0;
        o.progress = [&](int64_t done, int64_t) {
            if (stop) ++seenAfterStop;
            if (done > stopInPass * kSize && done < (stopInPass + 1) * kSize) stop = true;
        };
        FileOps ops;
        EXPECT_FALSE(ops.ShredFile(3, o));
        EXPECT_TRUE(ops.LastShred().interrupted);
        EXPECT_EQ(ops.LastShred().passesDone, stopInPass);
        EXPECT_EQ(ops.LastShred().path, dir.WSub("f"));
        EXPECT_EQ(seenAfterStop, 0) << "a write after the stop";
        const std::string now = ReadWholeFile(dir.Sub("f"));
        ASSERT_EQ(now.size(), old.size()) << "the file was cut or removed";
        // The interrupted pass wrote its first part only: the end of the file is
        // the old data (first pass) or the first pass's (second pass).
        EXPECT_NE(now.substr(0, 4096), old.substr(0, 4096));
        if (stopInPass == 0) EXPECT_EQ(now.substr(kSize - 4096), old.substr(kSize - 4096));
        if (stopInPass == 1) EXPECT_NE(now.substr(kSize - 4096), old.substr(kSize - 4096));
    }
    // Stopped before the file was begun: untouched, after pass 0.
    dir.WriteFile("g", "keep");
    ShredFileOptions o = KeepOptions(dir.WSub("g"));
    o.deleteAfter = true;
    o.stop = &stop;
    FileOps ops;
    EXPECT_FALSE(ops.ShredFile(3, o));
    EXPECT_TRUE(ops.LastShred().interrupted);
    EXPECT_EQ(ops.LastShred().passesDone, 0);
    EXPECT_EQ(ReadWholeFile(dir.Sub("g")), "keep");
    // Without a stop the same options go through.
    stop = false;
    EXPECT_TRUE(ops.ShredFile(3, o));
    EXPECT_FALSE(ops.LastShred().interrupted);
    EXPECT_FALSE(PathExists(dir.Sub("g")));
}
