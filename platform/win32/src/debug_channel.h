// Debug channels of the user-mode stand-in, one per Windows module. They are
// switched on by the environment: RM7X0_DEBUG=kernel32,setupapi (or "all"),
// the variable that names the kernel's channels too.
#pragma once

enum class DebugChannel { kernel32, advapi32, setupapi, user32 };

bool debug_channel_on(DebugChannel channel);
void debug_print(DebugChannel channel, const char *format, ...)
    __attribute__((format(printf, 2, 3)));

#define TRACE(channel, ...)                                        \
  do {                                                             \
    if (debug_channel_on(DebugChannel::channel))                   \
      debug_print(DebugChannel::channel, __VA_ARGS__);             \
  } while (0)
