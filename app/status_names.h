// The names the test program shows in its status bar: of the library status
// codes it knows, and of the reasons why a drive ended.
#pragma once

#include <cstdint>

// The name of a status code, or "" for a code the program does not name.
const char* StatusName(int status);

// The name of the first stop reason set in a motion_done state word, tested in
// a fixed order; nullptr when none of the known reasons is set.
const char* StopReasonName(uint16_t state);
