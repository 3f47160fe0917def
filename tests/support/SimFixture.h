// A simulated process for the support and removal tests: one Machine, one
// SimSystem, a tiny Ui that loads strings and records message boxes, a
// progress recorder and the program's log. Shared by tests/support and
// tests/removal.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Platform.h"
#include "resources/StringTables.h"
#include "simulator/Events.h"
#include "simulator/Machine.h"
#include "simulator/SimPlatform.h"
#include "support/Log.h"
#include "support/Progress.h"
#include "tests/common/LogFile.h"

namespace zmp::test {

// Strings from the program's table; message boxes recorded and answered.
class FakeUi final : public Ui {
public:
    struct Box {
        std::string text;
        Dword type;
    };

    explicit FakeUi(resources::Program program) : program_(program) {}

    std::vector<Box> boxes;
    int answer = mb::kIdOk;

    std::string LoadString(int id) override {
        const char* text = resources::FindString(program_, id);
        return text ? text : "";
    }
    std::uintptr_t LoadIcon(int) override { return 0; }
    std::string AppName() override {
        return program_ == resources::Program::Installer ? "ZMPK40_Installer" : "ZMPK40_Uninstaller";
    }
    int DoModal(int, WindowId, DialogHandler&) override { return mb::kIdCancel; }
    int DoModalHidden(int, WindowId, DialogHandler&) override { return mb::kIdCancel; }
    WindowId CreateModeless(int, WindowId, DialogHandler&) override { return WindowId::None; }
    void EndDialog(WindowId, int) override {}
    void DestroyWindow(WindowId) override {}
    WindowId GetDlgItem(WindowId, int) override { return WindowId::None; }
    LResult SendMessage(WindowId, Dword, WParam, LParam) override { return 0; }
    bool PostMessage(WindowId, Dword, WParam, LParam) override { return true; }
    void SetWindowText(WindowId, const std::string&) override {}
    std::string GetWindowText(WindowId) override { return ""; }
    void EnableWindow(WindowId, bool) override {}
    bool IsWindowEnabled(WindowId) override { return true; }
    void ShowWindow(WindowId, int) override {}
    bool IsIconic(WindowId) override { return false; }
    void CheckDlgButton(WindowId, int, Dword) override {}
    Dword IsDlgButtonChecked(WindowId, int) override { return 0; }
    void SetCheckListState(WindowId, int, Dword) override {}
    Dword GetCheckListState(WindowId, int) override { return 0; }
    void RemoveSystemMenuClose(WindowId) override {}
    void SetCursor(CursorKind) override {}
    void PaintIconic(WindowId, std::uintptr_t) override {}
    void SetTimer(WindowId, std::uintptr_t, Dword) override {}
    void KillTimer(WindowId, std::uintptr_t) override {}
    int MessageBox(WindowId owner, const std::string& text, Dword type) override {
        boxes.push_back({text, type});
        lastOwner = owner;
        return answer;
    }
    void MessageBoxAnswered(const std::string&, Dword, int) override {}
    void SetMainWindow(WindowId window) override { main_ = window; }
    WindowId MainWindow() override { return main_; }
    bool BeginThread(ThreadProc, void*) override { return false; }
    long IncrementInstanceCounter() override { return 1; }
    WindowId FindWindowByTitle(const std::string&) override { return WindowId::None; }
    WindowId GetLastActivePopup(WindowId window) override { return window; }
    void SetForegroundWindow(WindowId) override {}

    WindowId lastOwner = WindowId::None;

private:
    resources::Program program_;
    WindowId main_ = static_cast<WindowId>(0x77);
};

// Every report as "<bar> <text>", bar one of none, step, complete.
class ProgressRecorder final : public ProgressSink {
public:
    std::vector<std::string> reports;
    void Report(const std::string& text, Bar bar) override {
        const char* kind = bar == Bar::Step ? "step" : bar == Bar::Complete ? "complete" : "none";
        reports.push_back(std::string(kind) + " " + text);
    }
};

// One process of one program on one machine, the log opened.
class SimRun {
public:
    // preset: a Machine preset name ("xp", "7" ...).
    SimRun(const std::string& preset, bool is64Bit, resources::Program program,
           const std::string& windowsDirectory = std::string())
        : machine(sim::Machine::Preset(preset, is64Bit, windowsDirectory)),
          ui(program),
          program_(program) {
        Start();
    }

    // For a machine the test set up by hand.
    SimRun(std::unique_ptr<sim::Machine> m, resources::Program program)
        : machine(std::move(m)), ui(program), program_(program) {
        Start();
    }

    std::unique_ptr<sim::Machine> machine;
    sim::Events events;
    FakeUi ui;
    std::unique_ptr<sim::SimSystem> sys;
    std::optional<Platform> platform;
    std::optional<Log> log;
    ProgressRecorder progress;

    bool Installer() const { return program_ == resources::Program::Installer; }

    // The log's messages, time prefixes removed, blank lines dropped.
    std::vector<std::string> LogLines() const {
        std::vector<std::string> out;
        for (const std::string& line : RawLogLines()) {
            std::string message = StripTimePrefix(line);
            if (!message.empty()) out.push_back(message);
        }
        return out;
    }

    // The log's lines as written (without CR LF), prefixes kept.
    std::vector<std::string> RawLogLines() const { return test::RawLogLines(*machine, log->Path()); }

    // The log lines from "<step> BEGIN" up to and including "<step> END".
    std::vector<std::string> StepLines(const std::string& step) const {
        std::vector<std::string> all = LogLines(), out;
        bool in = false;
        for (const std::string& line : all) {
            if (line == step + " BEGIN") in = true;
            if (in) out.push_back(line);
            if (in && line == step + " END") break;
        }
        return out;
    }

    // The events of kinds EXEC, SLEEP, RESTART, EXIT (the run's pacing).
    std::vector<std::string> Events(const std::string& kinds = "EXEC SLEEP RESTART EXIT") const {
        std::vector<std::string> out, lines = events.Lines();
        for (std::size_t i = eventsMark_; i < lines.size(); ++i) {
            const std::string& line = lines[i];
            std::string kind = line.substr(0, line.find(' '));
            if ((" " + kinds + " ").find(" " + kind + " ") != std::string::npos) out.push_back(line);
        }
        return out;
    }

    // How often the seam method was called.
    std::size_t CallCount(const std::string& method) const {
        std::size_t n = 0;
        for (const std::string& call : sys->Calls()) n += call == method;
        return n;
    }

    // Forget what was logged and done so far (set-up steps).
    void ClearLog() {
        machine->Remove(log->Path());
        eventsMark_ = events.Lines().size();
    }


private:
    void Start() {
        sim::ProcessOptions options;
        options.executable = program_ == resources::Program::Installer
                                 ? "C:\\Package\\ZMPK40_Installer.exe"
                                 : "C:\\Package\\ZMPK40_Uninstaller.exe";
        sys = std::make_unique<sim::SimSystem>(*machine, options, &events);
        platform.emplace(sys->MakePlatform(ui));
        log.emplace(platform->files, platform->clock);
        log->InitLogFile(program_ == resources::Program::Installer ? LogName::Installer : LogName::Uninstaller);
    }

    resources::Program program_;
    std::size_t eventsMark_ = 0;
};

}  // namespace zmp::test
