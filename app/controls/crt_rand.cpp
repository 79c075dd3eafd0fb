#include "crt_rand.h"

namespace controls {
namespace {

unsigned int g_state = 1;

}  // namespace

int CrtRand() {
    g_state = g_state * 214013u + 2531011u;
    return static_cast<int>((g_state >> 16) & kCrtRandMax);
}

void CrtSeed(unsigned int seed) { g_state = seed; }

}  // namespace controls
