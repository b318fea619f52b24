#include "engine/ThreadRandom.h"

#include <sys/random.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "engine/FileOps.h"

namespace {

constexpr uint32_t kMultiplier = 214013u;
constexpr uint32_t kIncrement = 2531011u;

// One state per thread, so the run clock's draws never disturb a shredding run.
thread_local uint32_t tState = 1u;

std::atomic<uint32_t (*)()> seedHook{nullptr};

}  // namespace

void SeedThreadRandom(uint32_t seed) {
    tState = seed;
}

void SetFreshRandomSeedHook(uint32_t (*hook)()) {
    seedHook = hook;
}

uint32_t FreshRandomSeed() {
    if (auto hook = seedHook.load()) return hook();
    // Asked once per file shredded: the kernel's bytes are fetched for 64 seeds at
    // a time, each thread for itself.
    thread_local uint32_t seeds[64];
    thread_local size_t left = 0;
    if (left == 0 &&
        ::getrandom(seeds, sizeof seeds, GRND_NONBLOCK) == static_cast<ssize_t>(sizeof seeds))
        left = sizeof seeds / sizeof seeds[0];
    if (left > 0) return seeds[--left];
    // Without the kernel's source (very early boot, old kernels): the clock's
    // nanoseconds, the thread and a process-wide count, mixed, still differ
    // between threads and calls.
    static std::atomic<uint64_t> calls{0};
    uint64_t x =
        static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
        (std::hash<std::thread::id>{}(std::this_thread::get_id()) << 1) ^
        (calls.fetch_add(1) * 0x9E3779B97F4A7C15ull);
    x ^= x >> 33;
    x *= 0xFF51AFD7ED558CCDull;
    x ^= x >> 33;
    return static_cast<uint32_t>(x);
}

int ThreadRandom() {
    tState = tState * kMultiplier + kIncrement;
    return static_cast<int>((tState >> 16) & 0x7FFFu);
}

void SkipThreadRandom(uint64_t count) {
    // Composes the step x -> a*x + c with itself by squaring (all modulo 2^32).
    uint32_t accMul = 1u, accAdd = 0u;
    uint32_t curMul = kMultiplier, curAdd = kIncrement;
    while (count > 0) {
        if (count & 1u) {
            accMul *= curMul;
            accAdd = accAdd * curMul + curAdd;
        }
        curAdd = (curMul + 1u) * curAdd;
        curMul *= curMul;
        count >>= 1;
    }
    tState = accMul * tState + accAdd;
}

void FillThreadRandomBytes(uint8_t* out, size_t count) {
    // Four interleaved walks of the same sequence, each four steps at a time, so
    // that the draws do not wait on one another.
    constexpr uint32_t kMul2 = kMultiplier * kMultiplier;
    constexpr uint32_t kMul4 = kMul2 * kMul2;
    constexpr uint32_t kAdd2 = (kMultiplier + 1u) * kIncrement;
    constexpr uint32_t kAdd4 = (kMul2 + 1u) * kAdd2;
    auto byte = [](uint32_t state) {
        return static_cast<uint8_t>(((state >> 16) & 0x7FFFu) % 255u);
    };
    size_t i = 0;
    if (count >= 4) {
        uint32_t s0 = tState * kMultiplier + kIncrement;
        uint32_t s1 = s0 * kMultiplier + kIncrement;
        uint32_t s2 = s1 * kMultiplier + kIncrement;
        uint32_t s3 = s2 * kMultiplier + kIncrement;
        for (; i + 4 <= count; i += 4) {
            out[i] = byte(s0);
            out[i + 1] = byte(s1);
            out[i + 2] = byte(s2);
            out[i + 3] = byte(s3);
            tState = s3;
            s0 = s0 * kMul4 + kAdd4;
            s1 = s1 * kMul4 + kAdd4;
            s2 = s2 * kMul4 + kAdd4;
            s3 = s3 * kMul4 + kAdd4;
        }
    }
    for (; i < count; ++i) out[i] = static_cast<uint8_t>(ThreadRandom() % 255);
}
