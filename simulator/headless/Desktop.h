// What the simulated programs of one machine share: the instance counter of
// each executable (the shared data section) and the top-level windows that
// FindWindow, GetLastActivePopup and SetForegroundWindow work on.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Ui.h"

namespace zmp::sim {

class HeadlessUi;

class Desktop {
public:
    // The executable's shared counter: incremented by every start, back to 0
    // only once the last running process of that executable has ended.
    long IncrementInstanceCounter(const std::string& executable);
    long InstanceCounter(const std::string& executable) const;

    // The window brought to the front last (None at first).
    WindowId Foreground() const;
    void SetForeground(WindowId window);

    // Unique across every process of the desktop.
    WindowId NewWindowId() { return static_cast<WindowId>(nextWindowId_.fetch_add(1)); }

    // --- used by HeadlessUi
    void ProcessStarted(HeadlessUi& process, const std::string& executable);
    void ProcessEnded(HeadlessUi& process);
    // The newest top-level window of that title (case ignored) of a running process.
    WindowId FindWindowByTitle(const std::string& title);
    // Runs f on the running process that owns the window; false when none does.
    bool WithOwner(WindowId window, const std::function<void(HeadlessUi&)>& f);

private:
    struct Process {
        HeadlessUi* ui;
        std::string executable;
    };
    mutable std::mutex mutex_;  // taken before any process's own lock, never after
    std::map<std::string, long> counters_;
    std::vector<Process> running_;  // in start order
    WindowId foreground_ = WindowId::None;
    std::atomic<std::uintptr_t> nextWindowId_{0x10010};
};

}  // namespace zmp::sim
