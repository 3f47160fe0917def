// The status line's text handed from the worker to the dialog's thread.
// The worker never touches the string the dialog shows: it swaps a new heap
// string into a one-slot mailbox (freeing one the dialog never took), and the
// dialog takes the latest when it handles WM_REFRESH_STATUS. An atomic
// exchange is all the hand-over needs, so no lock (and no std::mutex, which
// the Windows build's threading model lacks).
#pragma once

#include <atomic>
#include <string>

namespace zmp::ui {

class StatusText {
public:
    StatusText() = default;
    StatusText(const StatusText&) = delete;
    StatusText& operator=(const StatusText&) = delete;
    ~StatusText();

    // Worker side: the new text. A text not yet taken is replaced.
    void Assign(const std::string& text);
    // Dialog side: moves the latest assigned text into shown; false (shown
    // untouched) when nothing new was assigned since the last take.
    bool Take(std::string& shown);

private:
    std::atomic<std::string*> pending_{nullptr};
};

}  // namespace zmp::ui
