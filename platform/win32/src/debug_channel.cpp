#include "debug_channel.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

const char *channel_name(DebugChannel channel) {
  switch (channel) {
    case DebugChannel::kernel32: return "kernel32";
    case DebugChannel::advapi32: return "advapi32";
    case DebugChannel::setupapi: return "setupapi";
    case DebugChannel::user32: return "user32";
  }
  return "?";
}

// Channels are named in a comma-separated list; "all" (or "1") names every one.
bool named_in_environment(DebugChannel channel) {
  const char *setting = std::getenv("RM7X0_DEBUG");
  if (!setting || !*setting) return false;
  const std::string list = std::string(",") + setting + ",";
  return list == ",all," || list == ",1," || list.find(std::string(",") + channel_name(channel) + ",") != std::string::npos;
}

}  // namespace

bool debug_channel_on(DebugChannel channel) {
  // Read once per channel: the environment of a process does not change its mind.
  static const bool on[] = {named_in_environment(DebugChannel::kernel32),
                            named_in_environment(DebugChannel::advapi32),
                            named_in_environment(DebugChannel::setupapi),
                            named_in_environment(DebugChannel::user32)};
  return on[static_cast<int>(channel)];
}

void debug_print(DebugChannel channel, const char *format, ...) {
  char line[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  std::fprintf(stderr, "%s: %s\n", channel_name(channel), line);
}
