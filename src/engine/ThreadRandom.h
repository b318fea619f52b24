#pragma once
// Engine-internal companion of SeedThreadRandom/ThreadRandom (FileOps.h).
#include <cstdint>

// Advances the calling thread's generator as `count` calls of ThreadRandom would,
// in a few steps, so that a large block buffer need not be filled in full.
void SkipThreadRandom(uint64_t count);
