// The uninstaller's dialog: its preparation of the choice, the check list and
// the Uninstall button, closing before and during the removal, the choice
// kept closed while the removal runs, the minimised icon, and the
// application's single-instance start.
#include <gtest/gtest.h>

#include "simulator/SimPlatform.h"
#include "tests/uninstall/Harness.h"

namespace zmp::test {
namespace {

using sim::UserAction;

constexpr std::uintptr_t kIconHandle = 0x7F000 + 128;  // the headless backend's handle of icon 128

// A machine with the driver and three printer objects using it.
std::unique_ptr<sim::Machine> ThreePrinters(const std::string& os = "xp", bool is64 = false) {
    auto machine = sim::Machine::Preset(os, is64);
    InstallDriver(*machine);
    machine->AddPrinterRecord(PrinterOn("Office", "COM1:"));
    machine->AddPrinterRecord(PrinterOn("Warehouse", "COM2:"));
    machine->AddPrinterRecord(PrinterOn("Kitchen", "COM3:"));
    return machine;
}

struct Item {
    std::string text;
    Dword check;
    bool operator==(const Item& o) const { return text == o.text && check == o.check; }
};

std::vector<Item> Items(sim::HeadlessUi& ui, WindowId list) {
    std::vector<Item> items;
    LResult n = ui.SendMessage(list, msg::kLbGetCount, 0, 0);
    for (LResult i = 0; i < n; ++i) {
        char text[256] = {};
        ui.SendMessage(list, msg::kLbGetText, WParam(i), LParam(text));
        items.push_back({text, ui.GetCheckListState(list, static_cast<int>(i))});
    }
    return items;
}

TEST(UninstallerDialogTest, PreparesTheChoiceOnceShown) {
    auto machine = ThreePrinters("7", true);
    machine->WriteFile(kUninstallerLog, "an earlier run\r\n");

    sim::HeadlessUi* ui = nullptr;
    WindowId dialog = WindowId::None;
    std::vector<Item> items;
    bool uninstallEnabled = false, cancelEnabled = false, listEnabled = false;
    std::string status = "unset";
    std::uintptr_t bigIcon = 0, smallIcon = 0;
    UninstallRun run;
    run.beforeStart = [&](sim::SimSystem&, sim::HeadlessUi& u) { ui = &u; };
    run.script.OnDialog(kCaption, {UserAction::Call([&] {
                                       dialog = ui->FindDialog(kCaption);
                                       items = Items(*ui, ui->GetDlgItem(dialog, kCheckList));
                                       uninstallEnabled = ui->IsWindowEnabled(ui->GetDlgItem(dialog, kUninstallButton));
                                       cancelEnabled = ui->IsWindowEnabled(ui->GetDlgItem(dialog, kCancelButton));
                                       listEnabled = ui->IsWindowEnabled(ui->GetDlgItem(dialog, kCheckList));
                                       status = ui->TextOf(ui->GetDlgItem(dialog, kStatusLabel));
                                       bigIcon = ui->Icon(dialog, true);
                                       smallIcon = ui->Icon(dialog, false);
                                   }),
                                   UserAction::Escape()});
    EXPECT_EQ(run.On(*machine), 0);

    ASSERT_NE(dialog, WindowId::None);  // captioned from the printer's name
    EXPECT_EQ(items, (std::vector<Item>{{"Kitchen", msg::kBstChecked},
                                         {"Office", msg::kBstChecked},
                                         {"Warehouse", msg::kBstChecked}}));
    EXPECT_TRUE(uninstallEnabled);
    EXPECT_TRUE(cancelEnabled);
    EXPECT_TRUE(listEnabled);
    EXPECT_EQ(status, "");
    EXPECT_EQ(bigIcon, kIconHandle);
    EXPECT_EQ(smallIcon, kIconHandle);

    // A new log: detection first, then the list; the earlier run's is gone.
    std::vector<std::string> log = LogLines(*machine);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log[0], "The process is running under WOW64.");
    EXPECT_EQ(IndexOf(log, "an earlier run"), -1);
    EXPECT_LT(IndexOf(log, "CheckOS END"), IndexOf(log, "AddPrinterObjectsToList BEGIN"));
    // Escape before Uninstall: the program ends and nothing is removed.
    EXPECT_EQ(PrinterNames(*machine), (std::vector<std::string>{"Office", "Warehouse", "Kitchen"}));
    EXPECT_EQ(run.events.Lines(), std::vector<std::string>{"EXIT 0"});
}

// Uninstall is enabled exactly while at least one item is checked.
TEST(UninstallerDialogTest, UninstallFollowsTheCheckMarks) {
    auto machine = ThreePrinters();
    sim::HeadlessUi* ui = nullptr;
    std::vector<bool> enabled;
    auto record = UserAction::Call([&] {
        enabled.push_back(ui->IsWindowEnabled(ui->GetDlgItem(ui->FindDialog(kCaption), kUninstallButton)));
    });
    UninstallRun run;
    run.beforeStart = [&](sim::SimSystem&, sim::HeadlessUi& u) { ui = &u; };
    run.script.OnDialog(kCaption, {UserAction::Uncheck(kCheckList, "Office"), record,
                                   UserAction::Uncheck(kCheckList, "Kitchen"), record,
                                   UserAction::Uncheck(kCheckList, "Warehouse"), record,
                                   UserAction::Click(kUninstallButton),  // greyed: nothing happens
                                   UserAction::Check(kCheckList, "Kitchen"), record,
                                   UserAction::Click(kCancelButton)});
    EXPECT_EQ(run.On(*machine), 0);

    EXPECT_EQ(enabled, (std::vector<bool>{true, true, false, true}));
    EXPECT_EQ(machine->Printers().size(), 3u);
    EXPECT_EQ(run.events.Lines(), std::vector<std::string>{"EXIT 0"});
}

// Before Uninstall, Escape, the system menu's Close and Cancel all end the
// program without removing anything.
TEST(UninstallerDialogTest, ClosingBeforeUninstallRemovesNothing) {
    const std::pair<const char*, UserAction> cases[] = {
        {"Escape", UserAction::Escape()},
        {"Close", UserAction::Close()},
        {"Cancel", UserAction::Click(kCancelButton)},
    };
    for (const auto& [name, action] : cases) {
        SCOPED_TRACE(name);
        auto machine = ThreePrinters();
        UninstallRun run;
        run.script.OnDialog(kCaption, {action, UserAction::Click(kUninstallButton)});
        EXPECT_EQ(run.On(*machine), 0);
        EXPECT_EQ(machine->Printers().size(), 3u);
        EXPECT_TRUE(machine->FindDriver(kDriverName, "Windows NT x86"));
        EXPECT_EQ(run.events.Lines(), std::vector<std::string>{"EXIT 0"});
    }
}

// Once Uninstall is pressed, Escape and Close do nothing: the wait cursor
// shows, the system menu has no Close, and a Cancel command that still
// reaches the dialog (here while the restart question is shown) does not
// end the program before the restart the user asks for.
TEST(UninstallerDialogTest, BusyDialogCannotBeClosed) {
    auto machine = ThreePrinters();
    sim::HeadlessUi* ui = nullptr;
    bool menuClose = true;
    CursorKind cursor = CursorKind::Arrow;
    const std::string busyText = "Deleting printer-driver objects...";
    UninstallRun run;
    run.beforeStart = [&](sim::SimSystem&, sim::HeadlessUi& u) { ui = &u; };
    run.script.OnDialog(kCaption, {UserAction::Click(kUninstallButton)});
    // One action per status text.
    run.script.AtStatus(busyText, UserAction::Escape());
    run.script.AtStatus("Removing printer-drivers...", UserAction::Close());
    run.script.AtStatus("Deleting forms...", UserAction::Call([&] {
        menuClose = ui->HasSystemMenuClose(ui->FindDialog(kCaption));
        cursor = ui->Cursor();
    }));
    run.script.WhileBoxShown([&](const std::string&) {
        ui->PostMessage(ui->FindDialog(kCaption), msg::kCommand, WParam(mb::kIdCancel), 0);
    });
    run.script.AnswerYesNo(true);
    EXPECT_EQ(run.On(*machine), 0);

    EXPECT_FALSE(menuClose);
    EXPECT_EQ(cursor, CursorKind::Wait);
    EXPECT_TRUE(machine->Printers().empty());
    EXPECT_EQ(machine->RestartsRequested(), 1u);
    std::vector<std::string> all = run.events.Lines();
    EXPECT_EQ(std::vector<std::string>(all.end() - 2, all.end()), (std::vector<std::string>{"RESTART", "EXIT 0"}));
}

// The worker reads the check marks once; a check change or a press of
// Uninstall that reaches the dialog during the removal starts no second
// worker and changes nothing of what is removed.
TEST(UninstallerDialogTest, CheckChangeDuringRemovalStartsNoSecondWorker) {
    auto machine = ThreePrinters();
    sim::HeadlessUi* ui = nullptr;
    bool listEnabled = true, uninstallEnabled = true;
    const std::string busyText = "Deleting printer-driver objects...";
    UninstallRun run;
    run.beforeStart = [&](sim::SimSystem&, sim::HeadlessUi& u) { ui = &u; };
    run.script.OnDialog(kCaption, {UserAction::Uncheck(kCheckList, "Kitchen"), UserAction::Click(kUninstallButton)});
    // Whatever the user does to the greyed list, the notifications arrive.
    run.script.AtStatus(busyText, UserAction::Call([&] {
        WindowId dialog = ui->FindDialog(kCaption);
        WindowId list = ui->GetDlgItem(dialog, kCheckList);
        listEnabled = ui->IsWindowEnabled(list);
        ui->SetCheckListState(list, 0, msg::kBstChecked);  // "Kitchen", first in the sorted list
        ui->SendMessage(dialog, msg::kCommand, (WParam(msg::kClbnChkChange) << 16) | kCheckList, LParam(list));
        uninstallEnabled = ui->IsWindowEnabled(ui->GetDlgItem(dialog, kUninstallButton));
        ui->SendMessage(dialog, msg::kCommand, (WParam(msg::kBnClicked) << 16) | kUninstallButton, 0);
    }));
    EXPECT_EQ(run.On(*machine), 0);

    EXPECT_FALSE(listEnabled);
    EXPECT_FALSE(uninstallEnabled);
    EXPECT_EQ(PrinterNames(*machine), std::vector<std::string>{"Kitchen"});
    EXPECT_TRUE(machine->FindDriver(kDriverName, "Windows NT x86"));
    std::vector<std::string> log = LogLines(*machine);
    int first = IndexOf(log, "RemovePrinterObjects BEGIN");
    EXPECT_GE(first, 0);
    EXPECT_EQ(IndexOf(log, "RemovePrinterObjects BEGIN", first + 1), -1);
    EXPECT_EQ(run.Lines("STATUS").size(), 2u);  // "Deleting ..." and the completion, once each
}

// Minimised, the dialog paints the uninstaller's icon and drags it.
TEST(UninstallerDialogTest, MinimisedShowsTheIcon) {
    auto machine = ThreePrinters();
    sim::HeadlessUi* ui = nullptr;
    std::uintptr_t painted = 0;
    LResult dragIcon = 0;
    UninstallRun run;
    run.beforeStart = [&](sim::SimSystem&, sim::HeadlessUi& u) { ui = &u; };
    run.script.OnDialog(kCaption, {UserAction::Call([&] {
                                       WindowId dialog = ui->FindDialog(kCaption);
                                       ui->ShowWindow(dialog, 6);  // SW_MINIMIZE
                                       ui->SendMessage(dialog, msg::kPaint, 0, 0);
                                       painted = ui->PaintedIcon(dialog);
                                       dragIcon = ui->SendMessage(dialog, msg::kQueryDragIcon, 0, 0);
                                   }),
                                   UserAction::Escape()});
    EXPECT_EQ(run.On(*machine), 0);
    EXPECT_EQ(painted, kIconHandle);
    EXPECT_EQ(dragIcon, static_cast<LResult>(kIconHandle));
}

// A second start brings the running uninstaller's dialog, or the box it
// shows, to the front (restoring a minimised dialog) and ends without a
// window, a log line or a removal of its own.
TEST(UninstallerAppTest, SecondStartActivatesTheRunningOne) {
    struct Case {
        const char* name;
        bool duringBox;
        bool minimised;
        const char* foreground;
    };
    const Case cases[] = {
        {"list", false, false, kCaption},
        {"minimised list", false, true, kCaption},
        {"restart question", true, false, "ZMPK40_Uninstaller"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto machine = ThreePrinters();
        sim::Desktop desktop;
        sim::HeadlessUi* first = nullptr;
        sim::Events secondEvents;
        int secondCode = -100;
        std::string front;
        bool restored = false;
        auto startSecond = [&] {
            WindowId dialog = first->FindDialog(kCaption);
            if (c.minimised) first->ShowWindow(dialog, 6);
            sim::RunOptions options;
            options.program = resources::Program::Uninstaller;
            options.currentDirectory = UtilitiesFolder(*machine);
            options.desktop = &desktop;
            secondCode = sim::RunProgram(*machine, std::move(options), secondEvents);
            front = first->TextOf(desktop.Foreground());
            restored = !first->IsIconicHere(dialog);
        };

        UninstallRun run;
        run.desktop = &desktop;
        run.beforeStart = [&](sim::SimSystem&, sim::HeadlessUi& u) { first = &u; };
        if (c.duringBox) {
            run.script.WhileBoxShown([&](const std::string&) { startSecond(); });
            run.script.OnDialog(kCaption, {UserAction::Click(kUninstallButton)});
        } else {
            run.script.OnDialog(kCaption, {UserAction::Call(startSecond), UserAction::Escape()});
        }
        EXPECT_EQ(run.On(*machine), 0);

        EXPECT_EQ(secondCode, 0);
        EXPECT_EQ(front, c.foreground);
        EXPECT_TRUE(restored);
        EXPECT_EQ(secondEvents.Lines(), std::vector<std::string>{"EXIT 0"});
        std::vector<std::string> log = LogLines(*machine);
        EXPECT_EQ(IndexOf(log, "CheckOS BEGIN", IndexOf(log, "CheckOS BEGIN") + 1), -1);
        EXPECT_EQ(machine->Printers().empty(), c.duringBox);
    }
}

// Once every earlier uninstaller has ended, a start runs normally again.
TEST(UninstallerAppTest, StartAfterTheEarlierOnesEndedRuns) {
    auto machine = ThreePrinters();
    sim::Desktop desktop;
    UninstallRun first, second;
    first.desktop = second.desktop = &desktop;
    first.script.OnDialog(kCaption, {UserAction::Uncheck(kCheckList, "Office"), UserAction::Click(kUninstallButton)});
    second.script.OnDialog(kCaption, {UserAction::Click(kUninstallButton)});
    EXPECT_EQ(first.On(*machine), 0);
    EXPECT_EQ(PrinterNames(*machine), std::vector<std::string>{"Office"});
    EXPECT_EQ(second.On(*machine), 0);
    EXPECT_TRUE(machine->Printers().empty());
    EXPECT_EQ(second.Lines("BOX").size(), 1u);
}

}  // namespace
}  // namespace zmp::test
