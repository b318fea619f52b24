#include "engine/ThreadRandom.h"

#include "engine/FileOps.h"

namespace {

constexpr uint32_t kMultiplier = 214013u;
constexpr uint32_t kIncrement = 2531011u;

// One state per thread, so the run clock's draws never disturb a shredding run.
thread_local uint32_t tState = 1u;

}  // namespace

void SeedThreadRandom(uint32_t seed) {
    tState = seed;
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
