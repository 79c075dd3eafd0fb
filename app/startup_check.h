// Whether the cards found by the two scans let the program start.
#pragma once

#include <cstdint>

// The message that stops the program, or null when it may start.
// status*: the scans' results; cardCount: cards of both models found.
const char* StartupRefusal(int16_t statusModelA, int16_t statusModelB, int cardCount);
