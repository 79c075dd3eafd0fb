// The scaled clock at real time (scale 1) on the host's own steady clock,
// held up by the host for real: a child process stops this one with SIGSTOP
// for 30 ms while a timer 5 ms away waits, then lets it run on. Prints how
// far past the timer's due time any reader saw the clock before the timer
// fired (the clock must not run past it), the time the timer saw, and how far
// the clock fell behind (about the hold-up less the 5 ms). The suite tests
// the same rules exactly on a host time it moves itself; this shows them on
// a real host, whose stops and wake-ups no test can time.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>

#include "card/clock.h"

int main() {
  using namespace card;
  ScaledClock clock(1);
  const SimTime due = clock.now() + 5 * kNsPerMs;
  std::atomic<bool> fired{false};
  std::atomic<SimTime> seen{0}, latest{0};
  clock.schedule(due, [&] {
    seen = clock.now();
    fired = true;
  });
  std::atomic<bool> reading{true};
  std::thread reader([&] {
    while (reading) {
      const SimTime now = clock.now();
      if (!fired) latest = std::max(latest.load(), now);
    }
  });
  const pid_t process = getpid();
  const pid_t child = fork();
  if (child == 0) {  // only async-signal-safe calls here
    usleep(1000);
    kill(process, SIGSTOP);
    usleep(30000);
    kill(process, SIGCONT);
    _exit(0);
  }
  if (child < 0) return 1;
  waitpid(child, nullptr, 0);
  while (!fired) std::this_thread::yield();
  reading = false;
  reader.join();
  const auto ms = [](SimTime t) { return static_cast<double>(t) / kNsPerMs; };
  const bool past = latest.load() > due + kNsPerMs;
  std::printf("read before the firing: %.3f ms past the due time%s\n",
              latest.load() > due ? ms(latest.load() - due) : 0.0, past ? " (ran past the timer)" : "");
  std::printf("the timer saw:          %.3f ms after its due time\n", ms(seen.load() - due));
  std::printf("the clock fell behind:  %.3f ms (stopped for 30 ms or more from about 1 ms on)\n",
              ms(clock.lateness().behind));
  return past ? 1 : 0;
}
