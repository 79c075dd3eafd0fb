// Answers the message boxes a test provokes: while a watcher lives, every message
// box of the thread is read and closed as soon as its loop runs: with OK, or as
// the first unused answer given for its caption says. The system's file dialogs
// are answered the same way.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct SeenMessageBox {
    std::string caption;
    std::string text;
};

// How to close a box: the command (IDOK, IDYES, IDNO, IDCANCEL ...), after
// typing fileName into a file dialog's file-name box when it is not empty.
struct MessageBoxAnswer {
    std::string caption;
    int command;
    std::string fileName;
};

class MessageBoxWatcher {
public:
    explicit MessageBoxWatcher(std::vector<MessageBoxAnswer> answers = {});
    ~MessageBoxWatcher();
    const std::vector<SeenMessageBox>& Seen() const;
};
