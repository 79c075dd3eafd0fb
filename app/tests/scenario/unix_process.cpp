#include "unix_process.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace unix_process {

int Start(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    return posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) == 0 ? pid : -1;
}

bool Ended(int pid, int* status) {
    int raw = 0;
    if (waitpid(pid, &raw, WNOHANG) != pid) return false;
    *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    return true;
}

void Kill(int pid) {
    kill(pid, SIGKILL);
    int raw = 0;
    waitpid(pid, &raw, 0);
}

int Run(const std::vector<std::string>& argv) {
    const int pid = Start(argv);
    if (pid < 0) return -1;
    int raw = 0;
    if (waitpid(pid, &raw, 0) != pid) return -1;
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

}  // namespace unix_process
