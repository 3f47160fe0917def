#include "simulator/headless/Script.h"

#include "platform/Ui.h"

namespace zmp::sim {

Script& Script::OnDialog(const std::string& caption, std::vector<UserAction> actions) {
    auto& queue = dialogActions_[caption];
    for (UserAction& action : actions) queue.push_back(std::move(action));
    return *this;
}

Script& Script::AtStatus(const std::string& text, UserAction action) {
    statusActions_.emplace(text, std::move(action));
    return *this;
}

Script& Script::AnswerYesNo(bool yes) {
    yesNo_.push_back(yes);
    return *this;
}

Script& Script::WhileBoxShown(std::function<void(const std::string&)> hook) {
    boxHook_ = std::move(hook);
    return *this;
}

bool Script::TakeDialogAction(const std::string& caption, UserAction& out) {
    auto it = dialogActions_.find(caption);
    if (it == dialogActions_.end() || it->second.empty()) return false;
    out = std::move(it->second.front());
    it->second.pop_front();
    return true;
}

bool Script::TakeStatusAction(const std::string& text, UserAction& out) {
    auto it = statusActions_.find(text);
    if (it == statusActions_.end()) return false;
    out = std::move(it->second);
    statusActions_.erase(it);
    return true;
}

int Script::AnswerBox(Dword type) {
    constexpr Dword kButtons = 0xF;
    constexpr Dword kOkCancel = 0x1;
    constexpr Dword kYesNoCancel = 0x3;
    Dword buttons = type & kButtons;
    if (buttons == mb::kYesNo || buttons == kYesNoCancel) {
        bool yes = false;
        if (!yesNo_.empty()) {
            yes = yesNo_.front();
            yesNo_.pop_front();
        }
        return yes ? mb::kIdYes : mb::kIdNo;
    }
    if (buttons == mb::kOk || buttons == kOkCancel) return mb::kIdOk;
    return mb::kIdCancel;
}

}  // namespace zmp::sim
