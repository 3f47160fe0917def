// How a program runs, as a policy over the services a way of running
// changes: which windows show and who answers the questions (the user
// interface), what the exit code tells (the end of the process) and whether
// Windows restarts (the restart). The program runs on GetPlatform() in
// place of the machine's own services. Interactive with no switch, every
// call passes through unchanged.
//
// In a passive or quiet run, every message box is answered in the user's
// place without being shown: OK, the restart question No (Yes with
// /forcerestart after a run without failure), other questions their
// declining answer. Its text goes to the log as "MESSAGE BOX : <text>" and
// "ANSWER : OK|YES|NO|CANCEL". /norestart and /forcerestart answer the
// restart question the same way in an interactive run.
//
// The exit code of a passive or quiet run follows from what the run showed
// and did, never from the call site that ends the process:
//   - a box outcome registered by the program (the refused Windows: 1633);
//   - 1603 after any failure: a box with the stop or the exclamation icon
//     (an OK box without an icon shows the exclamation mark), or an exit
//     code other than 0 (the child's time-out ends with -1);
//   - 1641 when the restart was started;
//   - 3010 when a restart is needed but was not started (the restart
//     question was asked, or /norestart held a restart back);
//   - 0 otherwise.
// The program ends at once with 87 (a bad command line, an answer missing)
// or 1618 (another instance) through Exit. The code is logged as
// "EXIT CODE : <code>". An interactive run keeps its exit codes.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>

#include "platform/Platform.h"
#include "support/Log.h"
#include "ui/CommandLine.h"

namespace zmp::ui {

// Windows Installer's exit codes, which deployment tools understand.
namespace exitcode {
constexpr int kSuccess = 0;
constexpr int kBadCommandLine = 87;        // ERROR_INVALID_PARAMETER
constexpr int kFailure = 1603;             // ERROR_INSTALL_FAILURE
constexpr int kAlreadyRunning = 1618;      // ERROR_INSTALL_ALREADY_RUNNING
constexpr int kPlatformRefused = 1633;     // ERROR_INSTALL_PLATFORM_UNSUPPORTED
constexpr int kRestartStarted = 1641;      // ERROR_SUCCESS_REBOOT_INITIATED
constexpr int kRestartNeeded = 3010;       // ERROR_SUCCESS_REBOOT_REQUIRED
}  // namespace exitcode

class RunPolicy {
public:
    // What answers a dialog in the user's place, with the dialog's window:
    // asked is true for a dialog run modally (the user would be asked),
    // false for one the program only creates to read its values.
    enum class Answer {
        Wait,        // not ready yet: asked again after the dialog's next message
        Leave,       // nothing to do
        Pressed,     // the controls are filled and a button pressed
        Impossible,  // no answer: missing says what is missing
    };
    using Answerer = std::function<Answer(WindowId dialog, bool asked, std::string& missing)>;

    RunPolicy(Platform& machine, RunMode mode, RestartRule restart);
    RunPolicy(const RunPolicy&) = delete;
    RunPolicy& operator=(const RunPolicy&) = delete;
    ~RunPolicy();

    Platform& GetPlatform() { return platform_; }
    bool Unattended() const { return mode_ != RunMode::Interactive; }

    // The start both programs share, before their main dialog: false when
    // another instance runs and the run is interactive (the caller then
    // brings that one to the front). Unattended, the run ends there with
    // 1618 and leaves the other one's log alone. /? shows usage and ends
    // with 0, a refused command line shows the reason and usage and ends
    // with 87 (unattended: both written to this run's log, with its copy).
    // Then the Windows libraries are loaded from the system directory
    // (LoadSystemLibraries); one that cannot be is shown with its path and
    // code, and the run ends: -1, unattended 1603.
    bool Begin(const CommandLine& line, LogName logName, const char* usage);

    // Where the policy writes what it did; nothing before one is set.
    void UseLog(Log* log) { log_ = log; }

    // A question of the program: with an answerer it is never shown, and
    // answered once it is initialised. A question whose answer pressed a
    // button and which is still open (its checks refused the values) ends
    // the run with 87, as does an impossible answer. Without one, a passive
    // or quiet run cannot go on past it and ends with 1603.
    void AnswerQuestion(int templateId, Answerer answer);
    // The program's own window, where it shows its progress: shown in a
    // passive run, hidden in a quiet one, answered by answer when set.
    void SetProgressWindow(int templateId, Answerer answer = nullptr);
    // A box whose text means that the run ends with that code.
    void SetBoxOutcome(const std::string& text, int exitCode);

    // Ends the process at once with exactly this code.
    [[noreturn]] void Exit(int code);
    // The exit code of a run that ends with code (see above); with
    // /forcerestart, a run without failure restarts Windows first. Call once,
    // when the process ends.
    int Finish(int code);

private:
    class PolicyUi;
    class PolicyProcesses;
    class PolicyPower;
    class AnsweringHandler;
    struct Dialog {
        Answerer answer;
        bool question = false;
    };

    // A box is about to be answered or shown: what it tells the exit code.
    void Note(const std::string& text, Dword type);
    int AnswerBox(const std::string& text, Dword type);
    void Logged(const char* label, const std::string& text);
    int Mapped(int code) const;

    Platform& machine_;
    const RunMode mode_;
    const RestartRule restart_;
    Log* log_ = nullptr;
    std::map<int, Dialog> dialogs_;
    std::map<std::string, int> boxOutcomes_;

    std::atomic<bool> failed_{false};
    std::atomic<int> outcome_{0};
    std::atomic<bool> restartNeeded_{false};
    std::atomic<bool> restartStarted_{false};
    std::atomic<bool> finishing_{false};
    // The dialog an answer is being given to, and whether it ended meanwhile.
    std::atomic<WindowId> answered_{WindowId::None};
    std::atomic<bool> answeredEnded_{false};

    std::unique_ptr<PolicyUi> ui_;
    std::unique_ptr<PolicyProcesses> processes_;
    std::unique_ptr<PolicyPower> power_;
    Platform platform_;
};

}  // namespace zmp::ui
