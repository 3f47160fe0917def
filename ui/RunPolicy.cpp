#include "ui/RunPolicy.h"

#include <cstdio>
#include <cstdlib>

#include "support/Restart.h"
#include "support/SystemLibraries.h"
#include "ui/MessageBox.h"

namespace zmp::ui {
namespace {

constexpr const char* kNoSystemDirectory = "The system directory could not be found.";
constexpr const char* kLibraryNotLoaded = "A Windows library could not be loaded: ";
constexpr Dword kErrorCancelled = 1223;  // ERROR_CANCELLED: the restart held back

// OK where that is the only button; otherwise the declining one.
int DefaultAnswer(Dword type) {
    switch (type & mb::kTypeMask) {
        case mb::kOk: return mb::kIdOk;
        case mb::kYesNo:
        case mb::kYesNoCancel: return mb::kIdNo;
        default: return mb::kIdCancel;
    }
}

bool IsFailureBox(Dword type) {
    const Dword icon = mb::ShownIcon(type);
    return icon == mb::kIconError || icon == mb::kIconExclamation;
}

}  // namespace

// Runs a dialog with its answerer in the user's place: after its
// initialisation and after every message it handles, until answered.
class RunPolicy::AnsweringHandler final : public DialogHandler {
public:
    AnsweringHandler(RunPolicy& policy, DialogHandler& inner, const Dialog& dialog)
        : policy_(policy), inner_(inner), dialog_(dialog) {}

    bool HandleInitDialog(WindowId self) override {
        self_ = self;
        const bool result = inner_.HandleInitDialog(self);
        Try();
        return result;
    }
    LResult HandleMessage(Dword message, WParam wParam, LParam lParam, bool& handled) override {
        const LResult result = inner_.HandleMessage(message, wParam, lParam, handled);
        Try();
        return result;
    }
    bool PreTranslateMessage(const Message& message) override { return inner_.PreTranslateMessage(message); }

    // One attempt; also used once for a dialog that is only created.
    void Try(bool asked = true) {
        if (done_ || answering_ || self_ == WindowId::None) return;
        answering_ = true;
        policy_.answered_ = self_;
        policy_.answeredEnded_ = false;
        std::string missing;
        const Answer answer = dialog_.answer(self_, asked, missing);
        policy_.answered_ = WindowId::None;
        answering_ = false;
        if (answer == Answer::Wait) return;
        done_ = true;
        if (answer == Answer::Impossible) {
            policy_.Logged("MISSING", missing);
            policy_.Exit(exitcode::kBadCommandLine);
        }
        if (answer == Answer::Pressed && dialog_.question && !policy_.answeredEnded_) {
            // Its own checks refused the values; what it said is logged.
            policy_.Logged("ANSWER REFUSED", policy_.machine_.ui.GetWindowText(self_));
            policy_.Exit(exitcode::kBadCommandLine);
        }
    }
    void Attach(WindowId self) { self_ = self; }

private:
    RunPolicy& policy_;
    DialogHandler& inner_;
    const Dialog& dialog_;
    WindowId self_ = WindowId::None;
    bool answering_ = false;
    bool done_ = false;
};

class RunPolicy::PolicyUi final : public Ui {
public:
    PolicyUi(RunPolicy& policy, Ui& inner) : policy_(policy), inner_(inner) {}

    std::string LoadString(int id) override { return inner_.LoadString(id); }
    std::uintptr_t LoadIcon(int id) override { return inner_.LoadIcon(id); }
    std::string AppName() override { return inner_.AppName(); }

    int DoModal(int templateId, WindowId parent, DialogHandler& handler) override {
        return RunModal(templateId, parent, handler, false);
    }
    int DoModalHidden(int templateId, WindowId parent, DialogHandler& handler) override {
        return RunModal(templateId, parent, handler, true);
    }
    WindowId CreateModeless(int templateId, WindowId parent, DialogHandler& handler) override {
        const WindowId created = inner_.CreateModeless(templateId, parent, handler);
        auto it = policy_.dialogs_.find(templateId);
        if (created != WindowId::None && it != policy_.dialogs_.end() && it->second.answer) {
            // Initialised already: one attempt, through a handler of this call only.
            AnsweringHandler answering(policy_, handler, it->second);
            answering.Attach(created);
            answering.Try(false);
        }
        return created;
    }
    void EndDialog(WindowId dialog, int result) override {
        if (dialog == policy_.answered_) policy_.answeredEnded_ = true;
        inner_.EndDialog(dialog, result);
    }
    void DestroyWindow(WindowId window) override { inner_.DestroyWindow(window); }
    WindowId GetDlgItem(WindowId dialog, int controlId) override { return inner_.GetDlgItem(dialog, controlId); }

    LResult SendMessage(WindowId window, Dword message, WParam wParam, LParam lParam) override {
        return inner_.SendMessage(window, message, wParam, lParam);
    }
    bool PostMessage(WindowId window, Dword message, WParam wParam, LParam lParam) override {
        return inner_.PostMessage(window, message, wParam, lParam);
    }
    void SetWindowText(WindowId window, const std::string& text) override { inner_.SetWindowText(window, text); }
    std::string GetWindowText(WindowId window) override { return inner_.GetWindowText(window); }
    void EnableWindow(WindowId window, bool enable) override { inner_.EnableWindow(window, enable); }
    bool IsWindowEnabled(WindowId window) override { return inner_.IsWindowEnabled(window); }
    void ShowWindow(WindowId window, int command) override {
        // A quiet run shows nothing: hiding is all that passes.
        if (policy_.mode_ == RunMode::Quiet && command != show::kHide) return;
        inner_.ShowWindow(window, command);
    }
    bool IsIconic(WindowId window) override { return inner_.IsIconic(window); }
    void CheckDlgButton(WindowId dialog, int controlId, Dword state) override {
        inner_.CheckDlgButton(dialog, controlId, state);
    }
    Dword IsDlgButtonChecked(WindowId dialog, int controlId) override {
        return inner_.IsDlgButtonChecked(dialog, controlId);
    }
    void SetCheckListState(WindowId list, int index, Dword state) override {
        inner_.SetCheckListState(list, index, state);
    }
    Dword GetCheckListState(WindowId list, int index) override { return inner_.GetCheckListState(list, index); }
    void RemoveSystemMenuClose(WindowId window) override { inner_.RemoveSystemMenuClose(window); }
    void SetCursor(CursorKind cursor) override { inner_.SetCursor(cursor); }
    void PaintIconic(WindowId window, std::uintptr_t icon) override { inner_.PaintIconic(window, icon); }

    void SetTimer(WindowId window, std::uintptr_t id, Dword milliseconds) override {
        inner_.SetTimer(window, id, milliseconds);
    }
    void KillTimer(WindowId window, std::uintptr_t id) override { inner_.KillTimer(window, id); }

    int MessageBox(WindowId owner, const std::string& text, Dword type) override {
        policy_.Note(text, type);
        const bool restartAnswered = text == kRestartQuestion && policy_.restart_ != RestartRule::Ask;
        if (!policy_.Unattended() && !restartAnswered) return inner_.MessageBox(owner, text, type);
        return policy_.AnswerBox(text, type);
    }
    void MessageBoxAnswered(const std::string& text, Dword type, int answer) override {
        inner_.MessageBoxAnswered(text, type, answer);
    }

    void SetMainWindow(WindowId window) override { inner_.SetMainWindow(window); }
    WindowId MainWindow() override { return inner_.MainWindow(); }
    bool BeginThread(ThreadProc proc, void* param) override { return inner_.BeginThread(proc, param); }

    long IncrementInstanceCounter() override { return inner_.IncrementInstanceCounter(); }
    WindowId FindWindowByTitle(const std::string& title) override { return inner_.FindWindowByTitle(title); }
    WindowId GetLastActivePopup(WindowId window) override { return inner_.GetLastActivePopup(window); }
    void SetForegroundWindow(WindowId window) override { inner_.SetForegroundWindow(window); }

private:
    int RunModal(int templateId, WindowId parent, DialogHandler& handler, bool hidden) {
        auto it = policy_.dialogs_.find(templateId);
        if (it == policy_.dialogs_.end()) {
            if (!policy_.Unattended()) return Modal(templateId, parent, handler, hidden);
            // Nobody to ask, nothing to answer with.
            policy_.Logged("MISSING", "an answer to dialog " + std::to_string(templateId));
            policy_.Exit(exitcode::kFailure);
        }
        const Dialog& dialog = it->second;
        hidden = hidden || policy_.mode_ == RunMode::Quiet || (dialog.question && dialog.answer);
        if (!dialog.answer) return Modal(templateId, parent, handler, hidden);
        AnsweringHandler answering(policy_, handler, dialog);
        return Modal(templateId, parent, answering, hidden);
    }
    int Modal(int templateId, WindowId parent, DialogHandler& handler, bool hidden) {
        return hidden ? inner_.DoModalHidden(templateId, parent, handler)
                      : inner_.DoModal(templateId, parent, handler);
    }

    RunPolicy& policy_;
    Ui& inner_;
};

class RunPolicy::PolicyProcesses final : public Processes {
public:
    PolicyProcesses(RunPolicy& policy, Processes& inner) : policy_(policy), inner_(inner) {}

    Dword WinExec(const std::string& commandLine, Dword show) override { return inner_.WinExec(commandLine, show); }
    Status CreateProcess(const std::string& application, const std::string& commandLine, Dword creationFlags,
                         const std::string& currentDirectory, const StartupInfo& startup,
                         ProcessInformation& out) override {
        return inner_.CreateProcess(application, commandLine, creationFlags, currentDirectory, startup, out);
    }
    Dword WaitForSingleObject(ProcessHandle process, Dword milliseconds) override {
        return inner_.WaitForSingleObject(process, milliseconds);
    }
    Status GetExitCodeProcess(ProcessHandle process, Dword& exitCode) override {
        return inner_.GetExitCodeProcess(process, exitCode);
    }
    void CloseHandle(ProcessHandle handle) override { inner_.CloseHandle(handle); }
    [[noreturn]] void ExitProcess(int code) override {
        inner_.ExitProcess(policy_.Finish(code));
        std::abort();  // not reached: the machine's exit does not return
    }

private:
    RunPolicy& policy_;
    Processes& inner_;
};

class RunPolicy::PolicyPower final : public Power {
public:
    PolicyPower(RunPolicy& policy, Power& inner) : policy_(policy), inner_(inner) {}

    Status OpenProcessToken(Dword access, TokenHandle& out) override { return inner_.OpenProcessToken(access, out); }
    Status LookupPrivilegeValue(const std::string& name, Luid& out) override {
        return inner_.LookupPrivilegeValue(name, out);
    }
    Status AdjustTokenPrivileges(TokenHandle token, const Luid& privilege, Dword attributes) override {
        return inner_.AdjustTokenPrivileges(token, privilege, attributes);
    }
    Status ExitWindowsEx(Dword flags, Dword reason) override {
        policy_.restartNeeded_ = true;
        if (policy_.restart_ == RestartRule::Never) {
            policy_.Logged("RESTART", "not started (/norestart)");
            return Status::Fail(kErrorCancelled);
        }
        const Status status = inner_.ExitWindowsEx(flags, reason);
        if (status.ok()) policy_.restartStarted_ = true;
        return status;
    }

private:
    RunPolicy& policy_;
    Power& inner_;
};

RunPolicy::RunPolicy(Platform& machine, RunMode mode, RestartRule restart)
    : machine_(machine),
      mode_(mode),
      restart_(restart),
      ui_(std::make_unique<PolicyUi>(*this, machine.ui)),
      processes_(std::make_unique<PolicyProcesses>(*this, machine.processes)),
      power_(std::make_unique<PolicyPower>(*this, machine.power)),
      platform_{machine.spooler, machine.setup, machine.registry, machine.files, *processes_,
                machine.system,  machine.clock, *power_,           *ui_,          machine.services,
                machine.modules} {}

RunPolicy::~RunPolicy() = default;

bool RunPolicy::Begin(const CommandLine& line, LogName logName, const char* usage) {
    if (platform_.ui.IncrementInstanceCounter() > 1) {
        if (Unattended()) Exit(exitcode::kAlreadyRunning);
        return false;
    }
    // Before any other library: a program started from a folder that
    // ordinary users can write to takes none of its DLLs from there.
    std::string library;
    const Status loaded = LoadSystemLibraries(machine_, library);
    if (loaded.ok() && !line.usage && line.error.empty()) return true;
    Log log(platform_.files, platform_.clock);
    if (Unattended()) {
        log.SetCopy(line.logCopy);
        log.InitLogFile(logName);
        log_ = &log;
    }
    if (!loaded.ok()) {
        char text[512];
        if (library.empty())
            std::snprintf(text, sizeof text, "%s (%u)", kNoSystemDirectory, static_cast<unsigned>(loaded.code));
        else
            std::snprintf(text, sizeof text, "%s%s (%u)", kLibraryNotLoaded, library.c_str(),
                          static_cast<unsigned>(loaded.code));
        AfxMessageBox(platform_.ui, text, mb::kIconStop);
        // The program gives up, as when its child never finishes.
        Exit(Unattended() ? exitcode::kFailure : -1);
    }
    if (line.error.empty()) {
        AfxMessageBox(platform_.ui, usage, mb::kIconInformation);
        Exit(exitcode::kSuccess);
    }
    AfxMessageBox(platform_.ui, line.error + "\n\n" + usage, mb::kIconExclamation);
    Exit(exitcode::kBadCommandLine);
}

void RunPolicy::AnswerQuestion(int templateId, Answerer answer) {
    dialogs_[templateId] = Dialog{std::move(answer), true};
}

void RunPolicy::SetProgressWindow(int templateId, Answerer answer) {
    dialogs_[templateId] = Dialog{std::move(answer), false};
}

void RunPolicy::SetBoxOutcome(const std::string& text, int exitCode) { boxOutcomes_[text] = exitCode; }

void RunPolicy::Note(const std::string& text, Dword type) {
    if (IsFailureBox(type)) failed_ = true;
    auto outcome = boxOutcomes_.find(text);
    if (outcome != boxOutcomes_.end()) outcome_ = outcome->second;
    if (text == kRestartQuestion) restartNeeded_ = true;
}

int RunPolicy::AnswerBox(const std::string& text, Dword type) {
    int answer = DefaultAnswer(type);
    // Never a restart after a failure: the deployment tool is told instead.
    if (text == kRestartQuestion) answer = restart_ == RestartRule::Always && !failed_ ? mb::kIdYes : mb::kIdNo;
    Logged("MESSAGE BOX", text);
    Logged("ANSWER", mb::AnswerName(answer));
    machine_.ui.MessageBoxAnswered(text, type, answer);
    return answer;
}

void RunPolicy::Logged(const char* label, const std::string& text) {
    if (log_) log_->WriteLog("%s : %s", label, text.c_str());
}

void RunPolicy::Exit(int code) {
    if (Unattended()) Logged("EXIT CODE", std::to_string(code));
    machine_.processes.ExitProcess(code);
    std::abort();  // not reached
}

int RunPolicy::Mapped(int code) const {
    if (outcome_ != 0) return outcome_;
    if (failed_ || code != 0) return exitcode::kFailure;
    if (restartStarted_) return exitcode::kRestartStarted;
    if (restartNeeded_) return exitcode::kRestartNeeded;
    return exitcode::kSuccess;
}

int RunPolicy::Finish(int code) {
    // The first thread to end the process decides; another one that ends
    // it at the same moment only passes its code on.
    const bool first = !finishing_.exchange(true);
    if (first && restart_ == RestartRule::Always && code == 0 && !failed_ && outcome_ == 0 && !restartStarted_) {
        Logged("RESTART", "/forcerestart");
        RestartComputer(platform_);
    }
    if (!Unattended()) return code;
    const int mapped = Mapped(code);
    if (first) Logged("EXIT CODE", std::to_string(mapped));
    return mapped;
}

}  // namespace zmp::ui
