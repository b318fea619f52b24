#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

#include "EngineTestUtil.h"
#include "engine/FileOps.h"
#include "engine/ThreadRandom.h"
#include "support/TempDir.h"

TEST(ThreadRandom, ProducesTheClassicSequenceForEachSeed) {
    // The well-known first outputs of this generator after seeding with 1.
    SeedThreadRandom(1);
    const int expected[] = {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358, 26962, 24464};
    for (int e : expected) EXPECT_EQ(ThreadRandom(), e);

    // Reseeding restarts the sequence; values stay within 0..32767 over a long run,
    // and the state is 32 bits wide (seed 2^32 - 1 must wrap, not saturate).
    SeedThreadRandom(1);
    EXPECT_EQ(ThreadRandom(), 41);
    SeedThreadRandom(0xFFFFFFFFu);
    uint32_t state = 0xFFFFFFFFu;
    for (int i = 0; i < 100000; ++i) {
        state = state * 214013u + 2531011u;
        int v = ThreadRandom();
        ASSERT_EQ(v, static_cast<int>((state >> 16) & 0x7FFF)) << "draw " << i;
        ASSERT_GE(v, 0);
        ASSERT_LE(v, 32767);
    }
}

TEST(ThreadRandom, EachThreadHasItsOwnState) {
    SeedThreadRandom(7);
    const int first = ThreadRandom();
    std::vector<int> other;
    std::thread t([&] {
        // A new thread starts from the default seed, whatever this one did.
        for (int i = 0; i < 3; ++i) other.push_back(ThreadRandom());
        SeedThreadRandom(99);
        for (int i = 0; i < 1000; ++i) ThreadRandom();
    });
    t.join();
    EXPECT_EQ(other, (std::vector<int>{41, 18467, 6334}));
    SeedThreadRandom(7);
    EXPECT_EQ(ThreadRandom(), first);  // the other thread's draws did not move ours
}

TEST(ThreadRandom, SkippingEqualsDrawing) {
    for (uint64_t n : {0ull, 1ull, 2ull, 3ull, 255ull, 102400ull, 1000003ull}) {
        SeedThreadRandom(12345);
        for (uint64_t i = 0; i < n; ++i) ThreadRandom();
        const int drawn = ThreadRandom();
        SeedThreadRandom(12345);
        SkipThreadRandom(n);
        EXPECT_EQ(ThreadRandom(), drawn) << "after " << n;
    }
    // The full period is 2^32: skipping it lands on the same state.
    SeedThreadRandom(5);
    const int a = ThreadRandom();
    SeedThreadRandom(5);
    SkipThreadRandom(1ull << 32);
    EXPECT_EQ(ThreadRandom(), a);
}

TEST(ThreadRandom, FillingBytesDrawsAsTheLoopWould) {
    for (size_t n :
         {size_t{0}, size_t{1}, size_t{3}, size_t{4}, size_t{5}, size_t{8}, size_t{4099}}) {
        SeedThreadRandom(0xDEADBEEFu);
        std::vector<uint8_t> expected(n);
        for (auto& b : expected) b = static_cast<uint8_t>(ThreadRandom() % 255);
        const int next = ThreadRandom();
        SeedThreadRandom(0xDEADBEEFu);
        std::vector<uint8_t> filled(n);
        FillThreadRandomBytes(filled.data(), n);
        EXPECT_EQ(filled, expected) << n;
        EXPECT_EQ(ThreadRandom(), next) << "the generator goes on where the loop left it, " << n;
    }
}

// The pool's threads start in the same second; their scrambled names must still
// differ, or each takes the name another has just drawn.
TEST(ThreadRandom, ThreadsOfTheSameSecondDrawDifferentNames) {
    FixedClock clock(1'700'000'000);
    TempDir dir;
    constexpr int kThreads = 4;
    std::vector<std::u16string> paths;
    for (int i = 0; i < kThreads; ++i) {
        const std::string rel = "d" + std::to_string(i) + "/report-2024.pdf";
        dir.WriteFile(rel, "x");
        paths.push_back(dir.WSub(rel));
    }
    std::vector<std::thread> threads;
    for (auto& path : paths)
        threads.emplace_back([&path] {
            FileOps ops;
            EXPECT_TRUE(ops.ShredName(path, true, 1));
        });
    for (auto& t : threads) t.join();
    std::set<std::u16string> names;
    for (const auto& path : paths) names.insert(path.substr(path.rfind(u'/') + 1));
    EXPECT_EQ(names.size(), static_cast<size_t>(kThreads));
    // Two calls in one thread and one second differ as well.
    FileOps ops;
    std::u16string again = paths[0];
    ASSERT_TRUE(ops.ShredName(again, true, 1));
    EXPECT_NE(again, paths[0]);
}
