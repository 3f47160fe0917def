// The progress dialog: its initialisation in order, the labels, the step
// reports on the bar, closing while busy, the minimised icon; and the
// application's single-instance start.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>

#include "installer/InstallerApp.h"
#include "installer/InstallerDialog.h"
#include "simulator/ProcessExit.h"
#include "simulator/headless/Runner.h"
#include "tests/common/Commands.h"
#include "tests/installer/Harness.h"

namespace zmp::test {
namespace {

using sim::UserAction;

constexpr const char* kProgressCaption = "Installation Progress";

std::vector<std::string> Kind(const sim::Events& events, const std::string& kind) {
    std::vector<std::string> out;
    for (const std::string& line : events.Lines())
        if (line.rfind(kind, 0) == 0) out.push_back(line);
    return out;
}

// Where a line is in the log, or -1.
int IndexOf(const std::vector<std::string>& lines, const std::string& line) {
    auto it = std::find(lines.begin(), lines.end(), line);
    return it == lines.end() ? -1 : static_cast<int>(it - lines.begin());
}

TEST(InstallerDialogInitTest, RunsInOrderAndShowsTheVersion) {
    struct Case {
        const char* os;
        bool is64;
        const char* wow64Line;
        const char* envLine;
    };
    const Case cases[] = {
        {"7", true, "The process is running under WOW64.", "ENV : Windows x64, DRV DIR : Driver64\\ "},
        {"xp", false, "The process is not running under WOW64.",
         "ENV : Windows NT x86, DRV DIR : Driver32\\ "},
    };
    for (const Case& c : cases) {
        auto machine = sim::Machine::Preset(c.os, c.is64);
        machine->WriteFile(kInstallerLog, "an earlier run\r\n");
        sim::Events events;
        sim::HeadlessUi* ui = nullptr;
        std::map<int, std::string> labels;
        LResult oldStep = 0, oldRange = 0;
        WindowId dialog = WindowId::None, mainWindow = WindowId::None;
        std::uintptr_t bigIcon = 0, smallIcon = 0;

        sim::RunOptions run;
        run.currentDirectory = kPackageDir;
        run.beforeStart = [&](sim::SimSystem&, sim::HeadlessUi& u) { ui = &u; };
        run.script.OnDialog(kProgressCaption, {UserAction::Call([&] {
            dialog = ui->FindDialog(kProgressCaption);
            mainWindow = ui->MainWindow();
            for (int id : {1001, 1002, 1003}) labels[id] = ui->TextOf(ui->GetDlgItem(dialog, id));
            WindowId bar = ui->GetDlgItem(dialog, 1000);
            oldStep = ui->SendMessage(bar, msg::kPbmSetStep, 9, 0);
            oldRange = ui->SendMessage(bar, msg::kPbmSetRange, 0, 100 << 16);
            bigIcon = ui->Icon(dialog, true);
            smallIcon = ui->Icon(dialog, false);
        })});
        // Once the workflow asks for the port, the user closes the dialog.
        run.script.OnDialog("Port Type", {UserAction::Escape()});
        EXPECT_EQ(sim::RunProgram(*machine, std::move(run), events), 0) << c.os;

        // The log is new, and opened before the detection writes to it.
        std::vector<std::string> log = LogLines(*machine);
        ASSERT_FALSE(log.empty()) << c.os;
        EXPECT_EQ(log[0], c.wow64Line) << c.os;
        int checkOs = IndexOf(log, "CheckOS BEGIN");
        int setSystemInfo = IndexOf(log, "SetSystemInfo BEGIN");
        int env = IndexOf(log, c.envLine);
        int pointers = IndexOf(log, "SetControlPointers BEGIN");
        EXPECT_GT(checkOs, 0) << c.os;
        EXPECT_GT(setSystemInfo, checkOs) << c.os;
        EXPECT_EQ(env, setSystemInfo + 1) << c.os;
        EXPECT_EQ(log[env + 1], "SetSystemInfo END") << c.os;
        EXPECT_GT(pointers, env) << c.os;
        EXPECT_EQ(IndexOf(log, "an earlier run"), -1) << c.os;

        // Then the spooler is started and waited for, before the worker runs.
        std::vector<std::string> lines = events.Lines();
        ASSERT_GE(lines.size(), 3u);
        EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 3),
                  (std::vector<std::string>{"STATUS", test::NetEvent("start", machine->SystemDirectory()), "SLEEP 2000"}))
            << c.os;

        EXPECT_EQ(mainWindow, dialog) << c.os;
        EXPECT_EQ(labels[1001], "Driver Version: V2.0.6") << c.os;
        EXPECT_EQ(labels[1002], "KORVANT ZMP-K40") << c.os;
        EXPECT_EQ(labels[1003], "") << c.os;
        EXPECT_EQ(oldStep, 9) << c.os;
        EXPECT_EQ(oldRange, 100 << 16) << c.os;
        EXPECT_NE(bigIcon, 0u) << c.os;
        EXPECT_EQ(bigIcon, smallIcon) << c.os;
    }
}

// The dialog of one process, driven on its own thread by the script.
struct DialogRun {
    explicit DialogRun(std::vector<UserAction> actions, const std::string& os = "7", bool is64 = true)
        : process(os, is64, Scripted(std::move(actions))) {}

    sim::Script Scripted(std::vector<UserAction> actions) {
        sim::Script script;
        script.OnDialog(kProgressCaption, std::move(actions));
        return script;
    }
    int Run() {
        InstallerDialog d(*process.platform);
        dialog = &d;
        d.MakeMainWindow();
        int result = d.DoModal();
        dialog = nullptr;
        return result;
    }
    Process process;
    InstallerDialog* dialog = nullptr;
};

TEST(InstallerDialogTest, StepReportsAdvanceByNineAndWrapAround) {
    std::vector<UserAction> actions;
    DialogRun* run = nullptr;
    for (int i = 0; i < 12; ++i)
        actions.push_back(UserAction::Call([&] { run->dialog->Engine().PrinterDrvExist("KORVANT ZMP-K40"); }));
    actions.push_back(UserAction::Escape());
    DialogRun r(actions);
    run = &r;
    EXPECT_EQ(r.Run(), mb::kIdCancel);
    EXPECT_EQ(Kind(r.process.events, "PROGRESS"),
              (std::vector<std::string>{"PROGRESS 9", "PROGRESS 18", "PROGRESS 27", "PROGRESS 36",
                                        "PROGRESS 45", "PROGRESS 54", "PROGRESS 63", "PROGRESS 72",
                                        "PROGRESS 81", "PROGRESS 90", "PROGRESS 99", "PROGRESS 8"}));
    // The text reaches the label once the dialog has handled the refresh;
    // unchanged texts are not shown again.
    EXPECT_EQ(Kind(r.process.events, "STATUS"),
              (std::vector<std::string>{"STATUS", "STATUS Checking existing drivers...\\r\\n"}));
    EXPECT_EQ(Kind(r.process.events, "SLEEP 500").size(), 12u);
}

TEST(InstallerDialogTest, CannotBeClosedWhileBusy) {
    struct Case {
        const char* name;
        bool installing;
        bool removing;
    };
    const Case cases[] = {
        {"installing", true, false},
        {"removing a different version", true, true},
        {"removing only", false, true},
    };
    for (const Case& c : cases) {
        DialogRun* run = nullptr;
        bool menuClose = true;
        CursorKind cursor = CursorKind::Arrow;
        auto ui = [&]() -> sim::HeadlessUi& { return *run->process.ui; };
        DialogRun r({UserAction::Call([&] {
                         run->dialog->SetInstalling(c.installing);
                         run->dialog->SetRemoving(c.removing);
                     }),
                     UserAction::Escape(), UserAction::Close(),
                     // A close from outside (the task bar) reaches neither the keys nor the menu.
                     UserAction::Call([&] { ui().PostMessage(run->dialog->Hwnd(), msg::kClose, 0, 0); }),
                     // Enter on a dialog without buttons arrives as IDOK.
                     UserAction::Call([&] {
                         ui().PostMessage(run->dialog->Hwnd(), msg::kCommand, mb::kIdOk, 0);
                     }),
                     UserAction::Escape(),
                     UserAction::Call([&] {
                         menuClose = ui().HasSystemMenuClose(run->dialog->Hwnd());
                         cursor = ui().Cursor();
                         run->dialog->SetInstalling(false);
                         run->dialog->SetRemoving(false);
                     }),
                     UserAction::Escape()});
        run = &r;
        EXPECT_EQ(r.Run(), mb::kIdCancel) << c.name;  // only the last Escape closed it
        EXPECT_FALSE(menuClose) << c.name;
        EXPECT_EQ(cursor, CursorKind::Wait) << c.name;
        EXPECT_EQ(ui().Cursor(), CursorKind::Arrow) << c.name;
    }
}

TEST(InstallerDialogTest, EscapeAndCloseEndTheDialogBeforeTheInstallationStarts) {
    for (UserAction close : {UserAction::Escape(), UserAction::Close()}) {
        DialogRun r({close});
        EXPECT_EQ(r.Run(), mb::kIdCancel);
    }
}

TEST(InstallerDialogTest, MinimisedItPaintsTheInstallersIcon) {
    DialogRun* run = nullptr;
    std::uintptr_t paintedWhole = 1, paintedIconic = 0, dragIcon = 0, icon = 0;
    DialogRun r({UserAction::Call([&] {
                    sim::HeadlessUi& ui = *run->process.ui;
                    WindowId self = run->dialog->Hwnd();
                    icon = ui.Icon(self, true);
                    ui.SendMessage(self, msg::kPaint, 0, 0);
                    paintedWhole = ui.PaintedIcon(self);
                    ui.ShowWindow(self, 6);  // SW_MINIMIZE
                    ui.SendMessage(self, msg::kPaint, 0, 0);
                    paintedIconic = ui.PaintedIcon(self);
                    dragIcon = static_cast<std::uintptr_t>(ui.SendMessage(self, msg::kQueryDragIcon, 0, 0));
                }),
                 UserAction::Escape()});
    run = &r;
    r.Run();
    EXPECT_NE(icon, 0u);
    EXPECT_EQ(paintedWhole, 0u);  // not minimised: the default painting
    EXPECT_EQ(paintedIconic, icon);
    EXPECT_EQ(dragIcon, icon);
}

// A second start finds the first instance's window by title, in the order
// port dialog, progress dialog, message box, and brings the pop-up on top
// of it to the front; it shows nothing itself.
TEST(InstallerAppTest, SecondInstanceActivatesTheRunningOne) {
    enum Show { kPortDialog = 1, kProgress = 2, kBox = 4, kIconic = 8 };
    struct Case {
        const char* name;
        int shown;
        const char* foreground;  // title of the window expected in front, "" for none
    };
    const Case cases[] = {
        {"port dialog over everything", kPortDialog | kProgress | kBox, "Port Type"},
        {"progress dialog with its box", kProgress | kBox, "ZMPK40_Installer"},
        {"progress dialog alone", kProgress, "Installation Progress"},
        {"minimised progress dialog", kProgress | kIconic, "Installation Progress"},
        {"only a box", kBox, "ZMPK40_Installer"},
        {"no window yet", 0, ""},
    };
    for (const Case& c : cases) {
        auto machine = sim::Machine::Preset("7", true);
        sim::Desktop desktop;
        sim::Events firstEvents, secondEvents;
        std::function<void()> startSecond;
        sim::Script firstScript;
        firstScript.WhileBoxShown([&](const std::string&) { startSecond(); });
        sim::HeadlessUi first(resources::Program::Installer, firstEvents, firstScript, desktop);
        EXPECT_EQ(first.IncrementInstanceCounter(), 1);
        ui::Dialog progress(first, 102), port(first, 129);
        if (c.shown & kProgress) {
            ASSERT_TRUE(progress.Create(WindowId::None));
        }
        if (c.shown & kPortDialog) {
            ASSERT_TRUE(port.Create(progress.Hwnd()));  // hidden: FindWindow still finds it
        }
        if (c.shown & kIconic) first.ShowWindow(progress.Hwnd(), 6);

        int secondCode = -100;
        std::string frontTitle;
        startSecond = [&] {
            sim::RunOptions run;
            run.currentDirectory = kPackageDir;
            run.desktop = &desktop;
            secondCode = sim::RunProgram(*machine, std::move(run), secondEvents);
            if (desktop.Foreground() != WindowId::None) frontTitle = first.TextOf(desktop.Foreground());
        };
        if (c.shown & kBox) {
            first.MessageBox(progress.Hwnd(), "Please turn-off the printer and then turn-on again.",
                             mb::kIconInformation);
        } else {
            startSecond();
        }
        EXPECT_EQ(secondCode, 0) << c.name;
        EXPECT_EQ(frontTitle, c.foreground) << c.name;
        EXPECT_FALSE(first.IsIconicHere(progress.Hwnd())) << c.name;
        // The second process shows nothing and does nothing but end.
        EXPECT_EQ(secondEvents.Lines(), std::vector<std::string>{"EXIT 0"}) << c.name;
        EXPECT_FALSE(machine->FileExists(kInstallerLog)) << c.name;
    }
}

TEST(InstallerAppTest, StartAfterEveryInstanceEndedRunsNormally) {
    auto machine = sim::Machine::Preset("7", true);
    sim::Desktop desktop;
    for (int run = 0; run < 2; ++run) {
        sim::Events events;
        sim::RunOptions options;
        options.currentDirectory = kPackageDir;
        options.desktop = &desktop;
        options.script.OnDialog(kProgressCaption, {UserAction::Escape()});
        options.script.OnDialog("Port Type", {UserAction::Escape()});
        sim::RunProgram(*machine, std::move(options), events);
        EXPECT_EQ(Kind(events, test::NetEvent("start")).size(), 1u) << "run " << run;
    }
}

}  // namespace
}  // namespace zmp::test
