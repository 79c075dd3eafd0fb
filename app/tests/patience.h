// Waiting, in the GUI tests, for what the program or the simulated card does in
// its own time. The bound is wall time that only a hung program reaches: a busy
// host that schedules the test, the program or the card's clock late only makes
// the wait longer, never fails it.
#pragma once

#include <windows.h>

#include <functional>

constexpr DWORD kPatienceMs = 180000;

// Calls `done` every `pause_ms` until it answers true (true) or the bound has
// passed (false).
inline bool WaitUntil(const std::function<bool()>& done, DWORD pause_ms = 1, DWORD bound_ms = kPatienceMs) {
    const DWORD start = ::GetTickCount();
    while (!done()) {
        if (::GetTickCount() - start > bound_ms) return false;
        ::Sleep(pause_ms);
    }
    return true;
}
