#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "engine/FileOps.h"
#include "engine/ShredBlock.h"
#include "engine/ThreadRandom.h"
#include "support/TempDir.h"

namespace {

std::string Held(const ShredBlock& b, size_t n) {
    return std::string(reinterpret_cast<const char*>(b.Data()), n);
}

}  // namespace

TEST(ShredBlock, FixedByteIsTheLowByteOfTheLeadingNumber) {
    EXPECT_EQ(ShredBlock::FixedByte(u"65"), 0x41);
    EXPECT_EQ(ShredBlock::FixedByte(u"abc"), 0x00);
    EXPECT_EQ(ShredBlock::FixedByte(u"300"), 0x2C);
    EXPECT_EQ(ShredBlock::FixedByte(u"-1"), 0xFF);
    EXPECT_EQ(ShredBlock::FixedByte(u"255"), 0xFF);
    EXPECT_EQ(ShredBlock::FixedByte(u"256"), 0x00);
    EXPECT_EQ(ShredBlock::FixedByte(u"  \t+66xyz"), 0x42);
    EXPECT_EQ(ShredBlock::FixedByte(u"-256"), 0x00);
    EXPECT_EQ(ShredBlock::FixedByte(u"-255"), 0x01);
    EXPECT_EQ(ShredBlock::FixedByte(u"- 5"), 0x00);  // a sign must touch its digits
    EXPECT_EQ(ShredBlock::FixedByte(u""), 0x00);
    // A number far beyond 64 bits still yields its true low byte:
    // 10^30 = 2^30 * 5^30, so its low 8 bits are zero; 10^30 + 7 ends in 0x07.
    EXPECT_EQ(ShredBlock::FixedByte(u"1000000000000000000000000000000"), 0x00);
    EXPECT_EQ(ShredBlock::FixedByte(u"1000000000000000000000000000007"), 0x07);
}

TEST(ShredBlock, PatternRepeatsFromTheBlockStartAndEmptyPatternGivesZeros) {
    TempDir dir;
    dir.WriteFile("p", "xyz");
    ShredBlock b;
    ASSERT_TRUE(b.Fill(dir.WSub("p"), 8, 20));
    EXPECT_FALSE(b.RandomMode());
    EXPECT_EQ(Held(b, 8), "xyzxyzxy");

    // A link to the pattern is followed: the user named it as input.
    ASSERT_EQ(::symlink(dir.Sub("p").c_str(), dir.Sub("link").c_str()), 0);
    ShredBlock viaLink;
    ASSERT_TRUE(viaLink.Fill(dir.WSub("link"), 5, 5));
    EXPECT_EQ(Held(viaLink, 5), "xyzxy");

    dir.WriteFile("empty", "");
    ShredBlock e;
    ASSERT_TRUE(e.Fill(dir.WSub("empty"), 16, 16));
    EXPECT_FALSE(e.RandomMode());
    EXPECT_EQ(Held(e, 16), std::string(16, '\0'));

    // A pattern longer than the block: only its start is used.
    dir.WriteFile("long", std::string(1000, 'a') + "b");
    ShredBlock l;
    ASSERT_TRUE(l.Fill(dir.WSub("long"), 4, 4));
    EXPECT_EQ(Held(l, 4), "aaaa");
}

TEST(ShredBlock, UnusablePatternFallsBackToTheFixedValue) {
    TempDir dir;
    // A folder, a missing file, a FIFO (never opened, never waited on) and a
    // dangling link all read as a number: here none, so zeros.
    dir.MakeDir("folder");
    ASSERT_EQ(::mkfifo(dir.Sub("fifo").c_str(), 0600), 0);
    ASSERT_EQ(::symlink(dir.Sub("nothing").c_str(), dir.Sub("dangling").c_str()), 0);
    for (const char* name : {"folder", "missing", "fifo", "dangling"}) {
        ShredBlock b;
        ASSERT_TRUE(b.Fill(dir.WSub(name), 6, 6)) << name;
        EXPECT_EQ(Held(b, 6), std::string(6, '\0')) << name;
    }
    ShredBlock n;
    ASSERT_TRUE(n.Fill(u"65", 3, 3));
    EXPECT_EQ(Held(n, 3), "AAA");
}

TEST(ShredBlock, RandomDataNeverHolds255AndHugeBlocksStayCheap) {
    SeedThreadRandom(424242);
    ShredBlock b;
    ASSERT_TRUE(b.Fill(u"", 200000, 200000));
    EXPECT_TRUE(b.RandomMode());
    int seen[256] = {};
    for (uint64_t i = 0; i < b.Held(); ++i) ++seen[b.Data()[i]];
    EXPECT_EQ(seen[255], 0);
    for (int v = 0; v < 255; ++v) EXPECT_GT(seen[v], 0) << "value " << v << " never drawn";

    // A 4 GiB block for a tiny file keeps only what can be written, yet the next
    // draw is the one that follows a fully filled buffer.
    SeedThreadRandom(77);
    ShredBlock huge;
    ASSERT_TRUE(huge.Fill(u"", 0xFFFFFFFFu, 10));
    EXPECT_EQ(huge.BlockSize(), 0xFFFFFFFFu);
    EXPECT_EQ(huge.Held(), ShredBlock::kMaxGrowth);
    const int after = ThreadRandom();
    SeedThreadRandom(77);
    for (uint64_t i = 0; i < ShredBlock::kMaxGrowth; ++i)
        ASSERT_EQ(huge.Data()[i], ThreadRandom() % 255);
    SkipThreadRandom(0xFFFFFFFFull - ShredBlock::kMaxGrowth);
    EXPECT_EQ(ThreadRandom(), after);
}
