#pragma once
// Engine-internal companion of SeedThreadRandom/ThreadRandom (FileOps.h).
#include <cstddef>
#include <cstdint>

// Advances the calling thread's generator as `count` calls of ThreadRandom would,
// in a few steps, so that a large block buffer need not be filled in full.
void SkipThreadRandom(uint64_t count);

// out[i] = ThreadRandom() % 255 for i = 0 .. count-1, drawn from the calling
// thread's generator exactly as that loop would, but several draws at a time.
void FillThreadRandomBytes(uint8_t* out, size_t count);
