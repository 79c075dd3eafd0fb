// Answers the message boxes a test provokes: while a watcher lives, every message
// box of the thread is read and closed with OK as soon as its loop runs.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct SeenMessageBox {
    std::string caption;
    std::string text;
};

class MessageBoxWatcher {
public:
    MessageBoxWatcher();
    ~MessageBoxWatcher();
    const std::vector<SeenMessageBox>& Seen() const;
};
