// Unix processes for the scenario test, kept apart from the Win32 headers: the
// program under test (started through Wine) and the input tool (xdotool).
#pragma once

#include <string>
#include <vector>

namespace unix_process {

// Starts argv[0] (looked up on PATH) with argv; the process id, or -1.
int Start(const std::vector<std::string>& argv);
// True once the process has ended; its exit status then goes to status.
bool Ended(int pid, int* status);
void Kill(int pid);
// Runs argv to its end; its exit status, or -1 when it could not be started.
int Run(const std::vector<std::string>& argv);

}  // namespace unix_process
