#include "simulator/headless/Desktop.h"

#include <algorithm>

#include "simulator/headless/HeadlessUi.h"

namespace zmp::sim {

long Desktop::IncrementInstanceCounter(const std::string& executable) {
    std::lock_guard<std::mutex> lock(mutex_);
    return ++counters_[executable];
}

long Desktop::InstanceCounter(const std::string& executable) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = counters_.find(executable);
    return it == counters_.end() ? 0 : it->second;
}

WindowId Desktop::Foreground() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return foreground_;
}

void Desktop::SetForeground(WindowId window) {
    std::lock_guard<std::mutex> lock(mutex_);
    foreground_ = window;
}

void Desktop::ProcessStarted(HeadlessUi& process, const std::string& executable) {
    std::lock_guard<std::mutex> lock(mutex_);
    running_.push_back(Process{&process, executable});
}

void Desktop::ProcessEnded(HeadlessUi& process) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = std::find_if(running_.begin(), running_.end(),
                           [&](const Process& p) { return p.ui == &process; });
    if (it == running_.end()) return;
    std::string executable = it->executable;
    running_.erase(it);
    bool stillUsed = std::any_of(running_.begin(), running_.end(),
                                 [&](const Process& p) { return p.executable == executable; });
    // The shared section goes with the last process that mapped it.
    if (!stillUsed) counters_[executable] = 0;
}

WindowId Desktop::FindWindowByTitle(const std::string& title) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = running_.rbegin(); it != running_.rend(); ++it) {
        WindowId found = it->ui->FindTopLevel(title);
        if (found != WindowId::None) return found;
    }
    return WindowId::None;
}

bool Desktop::WithOwner(WindowId window, const std::function<void(HeadlessUi&)>& f) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const Process& p : running_) {
        if (p.ui->Owns(window)) {
            f(*p.ui);
            return true;
        }
    }
    return false;
}

}  // namespace zmp::sim
