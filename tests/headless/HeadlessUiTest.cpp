// The headless backend's model of the dialogs: the modal loop (pre-translate,
// dialog keys, timers when idle), closing rules, cross-thread messages,
// scripted message boxes and the start of worker threads.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "simulator/ProcessExit.h"
#include "simulator/headless/HeadlessUi.h"
#include "ui/Dialog.h"

namespace zmp {
namespace {

using sim::Desktop;
using sim::Events;
using sim::HeadlessUi;
using sim::Script;
using sim::UserAction;

constexpr int kUninstallerTemplate = 102;  // has a Cancel button (2) and the status label 1000
constexpr int kInstallerTemplate = 102;    // no buttons; status label 1003

// A dialog that records what reaches it and can swallow messages.
class ProbeDialog : public ui::Dialog {
public:
    ProbeDialog(Ui& ui, int templateId) : Dialog(ui, templateId) {}
    std::vector<std::string> seen;
    bool swallowEscape = false;
    bool killTimer = true;

    bool PreTranslateMessage(const Message& m) override {
        if (m.message == msg::kKeyDown) seen.push_back("pre key " + std::to_string(m.wParam));
        if (swallowEscape && m.wParam == msg::kKeyEscape) return true;
        return Dialog::PreTranslateMessage(m);
    }

protected:
    bool OnInitDialog() override {
        seen.push_back("init");
        return Dialog::OnInitDialog();
    }
    void OnCancel() override {
        seen.push_back("cancel");
        Dialog::OnCancel();
    }
    LResult OnMessage(Dword m, WParam wParam, LParam, bool& handled) override {
        if (m == msg::kTimer) {
            seen.push_back("timer " + std::to_string(wParam));
            if (killTimer) ui_.KillTimer(Hwnd(), wParam);
            handled = true;
        }
        return 0;
    }
};

struct Process {
    Events events;
    Desktop desktop;
    std::unique_ptr<HeadlessUi> ui;
    explicit Process(Script script, resources::Program program = resources::Program::Uninstaller)
        : ui(std::make_unique<HeadlessUi>(program, events, std::move(script), desktop)) {}
};

TEST(HeadlessLoopTest, EscapeIsPreTranslatedThenCancels) {
    struct Case {
        bool swallowFirst;
        std::vector<std::string> seen;
    };
    const Case cases[] = {
        {false, {"init", "pre key 27", "cancel"}},
        {true, {"init", "pre key 27", "pre key 27", "cancel"}},  // the first one swallowed
    };
    for (const Case& c : cases) {
        Script script;
        ProbeDialog* dialog = nullptr;
        script.OnDialog("Uninstaller", {UserAction::Escape(),
                                        UserAction::Call([&] { dialog->swallowEscape = false; }),
                                        UserAction::Escape()});
        Process p(script);
        ProbeDialog d(*p.ui, kUninstallerTemplate);
        dialog = &d;
        d.swallowEscape = c.swallowFirst;
        EXPECT_EQ(d.DoModal(), mb::kIdCancel);
        EXPECT_EQ(d.seen, c.seen);
    }
}

TEST(HeadlessLoopTest, SystemMenuCloseDependsOnTheMenuAndTheCancelButton) {
    struct Case {
        const char* name;
        bool removeClose;
        bool disableCancel;
        bool closes;
    };
    const Case cases[] = {
        {"plain", false, false, true},
        {"no Close in the menu", true, false, false},
        {"greyed Cancel", false, true, false},
    };
    for (const Case& c : cases) {
        Script script;
        ProbeDialog* dialog = nullptr;
        HeadlessUi* ui = nullptr;
        script.OnDialog("Uninstaller",
                        {UserAction::Call([&] {
                             if (c.removeClose) ui->RemoveSystemMenuClose(dialog->Hwnd());
                             if (c.disableCancel) ui->EnableWindow(dialog->GetDlgItem(2), false);
                         }),
                         UserAction::Close(),
                         UserAction::Call([&] { dialog->EndDialog(99); })});
        Process p(script);
        ui = p.ui.get();
        ProbeDialog d(*p.ui, kUninstallerTemplate);
        dialog = &d;
        EXPECT_EQ(d.DoModal(), c.closes ? mb::kIdCancel : 99) << c.name;
    }
}

// Set during the initialisation, like the uninstaller's one-shot timer.
class TimedDialog : public ProbeDialog {
public:
    using ProbeDialog::ProbeDialog;

protected:
    bool OnInitDialog() override {
        ProbeDialog::OnInitDialog();
        ui_.SetTimer(Hwnd(), 1, 1);
        return true;
    }
};

TEST(HeadlessLoopTest, TimersFireWhenIdleUntilKilled) {
    struct Case {
        bool kill;
        std::vector<std::string> seen;
    };
    const Case cases[] = {
        {true, {"init", "timer 1", "pre key 27"}},
        // Not killed: it fires again once the next message has been handled.
        {false, {"init", "timer 1", "pre key 27", "timer 1"}},
    };
    for (const Case& c : cases) {
        Script script;
        TimedDialog* dialog = nullptr;
        script.OnDialog("Uninstaller", {UserAction::Call([&] { dialog->swallowEscape = true; }),
                                        UserAction::Escape(),
                                        UserAction::Call([&] { dialog->EndDialog(mb::kIdOk); })});
        Process p(script);
        TimedDialog d(*p.ui, kUninstallerTemplate);
        dialog = &d;
        d.killTimer = c.kill;
        EXPECT_EQ(d.DoModal(), mb::kIdOk);
        EXPECT_EQ(d.seen, c.seen);
    }
}

// The scripted user acts on what is on the screen: a hidden dialog is
// neither shown nor closed by it (here nothing else closes it either).
TEST(HeadlessLoopTest, HiddenDialogIsNeverShownNorTouchedByTheScriptedUser) {
    for (bool hidden : {true, false}) {
        SCOPED_TRACE(hidden ? "hidden" : "as its template says");
        Script script;
        script.OnDialog("Uninstaller", {UserAction::Escape()});
        Process p(script);
        p.ui->SetStuckGrace(std::chrono::milliseconds(50));
        ProbeDialog d(*p.ui, kUninstallerTemplate);
        int result = 0;
        try {
            result = hidden ? p.ui->DoModalHidden(kUninstallerTemplate, WindowId::None, d) : d.DoModal();
        } catch (const sim::ProcessExit& exit) {
            result = exit.code;
        }
        const std::vector<std::string> shown = hidden ? std::vector<std::string>{}
                                                      : std::vector<std::string>{"Uninstaller"};
        const std::vector<std::string> seen = hidden ? std::vector<std::string>{"init"}
                                                     : std::vector<std::string>{"init", "pre key 27", "cancel"};
        EXPECT_EQ(result, hidden ? HeadlessUi::kStillActive : mb::kIdCancel);
        EXPECT_EQ(p.ui->Shown(), shown);
        EXPECT_EQ(d.seen, seen);
    }
}

// A dialog that nothing will close ends the run, naming the dialog, instead
// of waiting forever; one still open under it is not the one named.
TEST(HeadlessLoopTest, StuckDialogEndsTheRunWithAMessageNamingIt) {
    Script script;
    ProbeDialog* inner = nullptr;
    script.OnDialog("Installation Progress", {UserAction::Call([&] { inner->DoModal(); })});
    Process p(script, resources::Program::Installer);
    p.ui->SetStuckGrace(std::chrono::milliseconds(50));
    ProbeDialog outer(*p.ui, kInstallerTemplate), port(*p.ui, 129);
    inner = &port;
    int code = 0;
    try {
        outer.DoModal();
        ADD_FAILURE() << "the loop waited on";
    } catch (const sim::ProcessExit& exit) {
        code = exit.code;
    }
    const std::string message = "the dialog \"Port Type\" is still open after the scripted user's last action";
    EXPECT_EQ(code, HeadlessUi::kStillActive);
    EXPECT_EQ(p.ui->Stuck(), message);
    EXPECT_EQ(p.events.Lines().back(), "STUCK " + message);
}

TEST(HeadlessBoxTest, AnswersFollowTheButtonsAndTheScript) {
    struct Case {
        Dword type;
        std::vector<bool> answers;
        int expected;
        const char* event;
    };
    const Case cases[] = {
        {mb::kOk | mb::kIconInformation, {}, mb::kIdOk, "BOX Hello\\nthere -> OK"},
        {mb::kOk, {false}, mb::kIdOk, "BOX Hello\\nthere -> OK"},  // an OK box takes no answer
        {mb::kYesNo | mb::kIconQuestion, {true}, mb::kIdYes, "BOX Hello\\nthere -> YES"},
        {mb::kYesNo | mb::kIconQuestion, {false}, mb::kIdNo, "BOX Hello\\nthere -> NO"},
        {mb::kYesNo | mb::kIconQuestion, {}, mb::kIdNo, "BOX Hello\\nthere -> NO"},
    };
    for (const Case& c : cases) {
        Script script;
        for (bool yes : c.answers) script.AnswerYesNo(yes);
        HeadlessUi* ui = nullptr;
        std::string shownWhile;
        WindowId found = WindowId::None;
        script.WhileBoxShown([&](const std::string& text) {
            shownWhile = text;
            found = ui->FindWindowByTitle("zmpk40_uninstaller");  // titles compare without case
        });
        Process p(script);
        ui = p.ui.get();
        EXPECT_EQ(ui->MessageBox(WindowId::None, "Hello\nthere", c.type), c.expected);
        EXPECT_EQ(p.events.Lines(), std::vector<std::string>{c.event});
        EXPECT_EQ(shownWhile, "Hello\nthere");
        EXPECT_NE(found, WindowId::None);
        EXPECT_EQ(ui->FindWindowByTitle("ZMPK40_Uninstaller"), WindowId::None);  // gone afterwards
    }
}

// A worker's report: the bar moves on the dialog's thread while the worker
// waits; before the worker's box the dialog has shown the posted text.
class StatusDialog : public ui::Dialog {
public:
    explicit StatusDialog(Ui& ui) : Dialog(ui, kInstallerTemplate) {}
    std::thread::id handledOn;
    std::string text;

protected:
    LResult OnMessage(Dword m, WParam, LParam, bool& handled) override {
        if (m != msg::kRefreshStatus) return 0;
        handledOn = std::this_thread::get_id();
        ui_.SetWindowText(GetDlgItem(1003), text);
        handled = true;
        return 0;
    }
};

TEST(HeadlessThreadTest, WorkerStartsOnceTheDialogIsIdleAndItsBoxWaitsForTheDialog) {
    Events events;
    Desktop desktop;
    Script script;
    StatusDialog* dialog = nullptr;
    std::atomic<bool> workerRan{false};
    std::thread::id dialogThread = std::this_thread::get_id();
    struct Start {
        StatusDialog* dialog;
        std::atomic<bool>* ran;
    } start{nullptr, &workerRan};
    script.OnDialog("Installation Progress",
                    {UserAction::Call([&] {
                        start.dialog = dialog;
                        dialog->GetUi().BeginThread(
                            [](void* param) -> unsigned {
                                auto* s = static_cast<Start*>(param);
                                Ui& ui = s->dialog->GetUi();
                                *s->ran = true;
                                WindowId bar = s->dialog->GetDlgItem(1000);
                                ui.SendMessage(bar, msg::kPbmStepIt, 0, 0);
                                s->dialog->text = "Installing printer...\r\n";
                                ui.PostMessage(ui.MainWindow(), msg::kRefreshStatus, 0, 0);
                                ui.MessageBox(ui.MainWindow(), "Done", mb::kOk);
                                s->dialog->EndDialog(mb::kIdOk);
                                return 0;
                            },
                            &start);
                    }),
                     // Still before the first idle moment: the worker has not run.
                     UserAction::Call([&] { EXPECT_FALSE(workerRan.load()); })});
    HeadlessUi ui(resources::Program::Installer, events, script, desktop);
    StatusDialog d(ui);
    dialog = &d;
    d.MakeMainWindow();
    EXPECT_EQ(d.DoModal(), mb::kIdOk);
    ui.JoinThreads();
    EXPECT_TRUE(workerRan);
    EXPECT_EQ(d.handledOn, dialogThread);
    EXPECT_EQ(events.Lines(), (std::vector<std::string>{"PROGRESS 10", "STATUS Installing printer...\\r\\n",
                                                        "BOX Done -> OK"}));
}

TEST(HeadlessThreadTest, WorkerExitEndsTheModalLoopAndLaterCalls) {
    Events events;
    Desktop desktop;
    Script script;
    HeadlessUi* uiPtr = nullptr;
    script.OnDialog("Installation Progress", {UserAction::Call([&] {
        uiPtr->BeginThread([](void*) -> unsigned { throw sim::ProcessExit{-1}; }, nullptr);
    })});
    HeadlessUi ui(resources::Program::Installer, events, script, desktop);
    uiPtr = &ui;
    StatusDialog d(ui);
    d.MakeMainWindow();
    int code = 0;
    try {
        d.DoModal();
        ADD_FAILURE() << "the modal loop outlived its process";
    } catch (const sim::ProcessExit& exit) {
        code = exit.code;
    }
    ui.JoinThreads();
    EXPECT_EQ(code, -1);
    EXPECT_EQ(ui.ExitCode(), -1);
    EXPECT_THROW(ui.LoadString(2), sim::ProcessExit);
    EXPECT_THROW(ui.WaitForDialogThread(), sim::ProcessExit);
}

TEST(DesktopTest, InstanceCounterIsPerExecutableAndResetsWithTheLastProcess) {
    Events events;
    Desktop desktop;
    auto first = std::make_unique<HeadlessUi>(resources::Program::Installer, events, Script(), desktop);
    auto second = std::make_unique<HeadlessUi>(resources::Program::Installer, events, Script(), desktop);
    HeadlessUi uninstaller(resources::Program::Uninstaller, events, Script(), desktop);
    EXPECT_EQ(first->IncrementInstanceCounter(), 1);
    EXPECT_EQ(second->IncrementInstanceCounter(), 2);
    EXPECT_EQ(uninstaller.IncrementInstanceCounter(), 1);
    second->EndProcess(0);
    EXPECT_EQ(desktop.InstanceCounter("ZMPK40_Installer.exe"), 2);  // never decremented
    first->EndProcess(0);
    EXPECT_EQ(desktop.InstanceCounter("ZMPK40_Installer.exe"), 0);  // the section went with the last
    EXPECT_EQ(desktop.InstanceCounter("ZMPK40_Uninstaller.exe"), 1);
}

}  // namespace
}  // namespace zmp
