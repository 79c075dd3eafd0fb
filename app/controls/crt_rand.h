// The Windows C library's pseudo-random generator (range 0..0x7FFF, seed 1 at start),
// so that the shaded faces come out the same as on the system they were designed on.
#pragma once

namespace controls {

constexpr int kCrtRandMax = 0x7FFF;

int CrtRand();
void CrtSeed(unsigned int seed);

}  // namespace controls
