// Gathering writes of a repeated block: the bytes land where block-by-block
// writing would put them, however the calls are cut, and a full disk fails.
#include <gtest/gtest.h>

#include "EngineTestUtil.h"
#include "config/TextConv.h"
#include "engine/RepeatedBlock.h"
#include "engine/ShredBlock.h"
#include "engine/ThreadRandom.h"
#include "platform/FileSystem.h"
#include "support/TempDir.h"
#include "support/TestMount.h"

namespace {

std::string Repeated(const std::string& block, size_t length) {
    std::string out(length, '\0');
    for (size_t i = 0; i < length; ++i) out[i] = block[i % block.size()];
    return out;
}

}  // namespace

TEST(RepeatedBlock, LongFilesSpanManyCallsWithTheBlockAtEveryMultiple) {
    TempDir dir;
    std::string block(1000, '\0');  // not a divisor of a page: calls end mid-page
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 7 + 3);
    const auto* data = reinterpret_cast<const unsigned char*>(block.data());
    // More blocks than one call may carry, and a short tail.
    for (size_t length : {size_t{0}, size_t{999}, size_t{1000}, 3 * kRepeatedWriteBytes + 1234}) {
        dir.WriteFile("f", std::string(length, 'M'));
        fsys::File f;
        ASSERT_TRUE(f.Open(dir.WSub("f"), fsys::File::Mode::kWrite));
        ASSERT_TRUE(WriteRepeatedBlock(f, data, block.size(), static_cast<int64_t>(length)));
        ASSERT_TRUE(f.Close());
        EXPECT_TRUE(ReadWholeFile(dir.Sub("f")) == Repeated(block, length)) << length;
    }

    // Through ShredFile with a pattern: the same bytes as before, passes and all.
    dir.WriteFile("pattern", block);
    dir.WriteFile("g", std::string(5 * kRepeatedWriteBytes / 2 + 17, 'M'));
    auto o = KeepOptions(dir.WSub("g"));
    o.shredValue = dir.WSub("pattern");
    o.blockSize = 700;
    FileOps ops;
    ASSERT_TRUE(ops.ShredFile(2, o));
    EXPECT_TRUE(ReadWholeFile(dir.Sub("g")) ==
                Repeated(block.substr(0, 700), 5 * kRepeatedWriteBytes / 2 + 17));
}

TEST(RepeatedBlock, FullDiskFailsInsteadOfSpinning) {
    TestMount m(TestMount::Kind::Tmpfs, 512);
    KELVANE_REQUIRE_MOUNT(m);
    fsys::File f;
    const std::string path = m.Path() + "grow";
    std::FILE* created = std::fopen(path.c_str(), "w");
    ASSERT_NE(created, nullptr);
    std::fclose(created);
    ASSERT_TRUE(f.Open(WideFromUtf8(path), fsys::File::Mode::kWrite));
    const std::string block(4096, 'x');
    EXPECT_FALSE(WriteRepeatedBlock(f, reinterpret_cast<const unsigned char*>(block.data()),
                                    block.size(), 2 << 20));
}

TEST(RepeatedBlock, SmallFilesFillOnlyWhatTheyWriteYetDrawTheSameData) {
    // A small file that will not grow keeps its length of the block; the bytes and
    // the draws after it are those of a full block.
    SeedThreadRandom(99);
    ShredBlock full;
    ASSERT_TRUE(full.Fill(u"", 102400, 4096));
    const int afterFull = ThreadRandom();
    SeedThreadRandom(99);
    ShredBlock small;
    ASSERT_TRUE(small.Fill(u"", 102400, 4096, false));
    EXPECT_EQ(small.Held(), 4096u);
    EXPECT_EQ(ThreadRandom(), afterFull);
    EXPECT_TRUE(std::equal(small.Data(), small.Data() + 4096, full.Data()));

    // Growing after the passes still finds up to 100 KiB to append.
    ShredBlock grows;
    ASSERT_TRUE(grows.Fill(u"", 102400, 4096, true));
    EXPECT_EQ(grows.Held(), ShredBlock::kMaxGrowth);
}
