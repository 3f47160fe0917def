// The control wrappers on headless controls: progress bar stepping and its
// wrap-around, the IP-address packing, the sorted check list and its
// notifications, the status hand-over and the order of a progress report.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "simulator/headless/HeadlessUi.h"
#include "ui/Controls.h"
#include "ui/DataExchange.h"
#include "ui/Dialog.h"
#include "ui/DialogProgress.h"
#include "ui/StatusText.h"

namespace zmp {
namespace {

using sim::Desktop;
using sim::Events;
using sim::HeadlessUi;
using sim::Script;
using sim::UserAction;

// A dialog of one of the programs' templates that only attaches controls.
class PlainDialog : public ui::Dialog {
public:
    PlainDialog(Ui& ui, int templateId) : Dialog(ui, templateId) {}
    std::vector<std::pair<int, int>> commands;  // (control, notification)

protected:
    bool OnCommand(int controlId, int notifyCode) override {
        commands.emplace_back(controlId, notifyCode);
        return Dialog::OnCommand(controlId, notifyCode);
    }
};

std::vector<std::string> Lines(const Events& events, const std::string& kind) {
    std::vector<std::string> out;
    for (const std::string& line : events.Lines())
        if (line.rfind(kind + " ", 0) == 0) out.push_back(line.substr(kind.size() + 1));
    return out;
}

struct Fixture {
    Events events;
    Desktop desktop;
    HeadlessUi ui{resources::Program::Installer, events, Script(), desktop};
    PlainDialog dialog{ui, 102};
    ui::ProgressBar bar;
    Fixture() {
        dialog.Create(WindowId::None);
        bar.Attach(ui, dialog.GetDlgItem(1000));
    }
};

TEST(ProgressBarTest, StepsWrapAroundPastTheUpperBound) {
    struct Case {
        int step;
        int steps;
        std::vector<std::string> positions;
    };
    const Case cases[] = {
        {9, 12, {"9", "18", "27", "36", "45", "54", "63", "72", "81", "90", "99", "8"}},
        {10, 11, {"10", "20", "30", "40", "50", "60", "70", "80", "90", "100", "10"}},
        {60, 3, {"60", "20", "80"}},
    };
    for (const Case& c : cases) {
        Fixture f;
        f.bar.SetRange(0, 100);
        f.bar.SetStep(c.step);
        for (int i = 0; i < c.steps; ++i) f.bar.StepIt();
        EXPECT_EQ(Lines(f.events, "PROGRESS"), c.positions) << "step " << c.step;
    }
}

TEST(ProgressBarTest, SetPosClampsAndReportsOnlyMoves) {
    Fixture f;
    f.bar.SetRange(0, 100);
    EXPECT_EQ(f.bar.SetPos(100), 0);
    EXPECT_EQ(f.bar.SetPos(100), 100);
    f.bar.SetPos(250);
    f.bar.SetPos(-3);
    EXPECT_EQ(f.bar.GetPos(), 0);
    EXPECT_EQ(Lines(f.events, "PROGRESS"), (std::vector<std::string>{"100", "0"}));
}

TEST(IpAddressCtrlTest, FirstFieldIsTheHighestByte) {
    EXPECT_EQ(ui::IpAddressCtrl::Pack(192, 168, 0, 50), 0xC0A80032u);
    Events events;
    Desktop desktop;
    HeadlessUi ui(resources::Program::Installer, events, Script(), desktop);
    PlainDialog dialog(ui, 129);
    ASSERT_TRUE(dialog.Create(WindowId::None));
    ui::IpAddressCtrl address;
    address.Attach(ui, dialog.GetDlgItem(1003));

    unsigned char f[4] = {9, 9, 9, 9};
    EXPECT_EQ(address.GetAddress(f[0], f[1], f[2], f[3]), 0);  // blank
    EXPECT_EQ(f[0] + f[1] + f[2] + f[3], 0);

    address.SetAddress(192, 168, 0, 50);
    Dword packed = 0;
    ui.SendMessage(address.Hwnd(), msg::kIpmGetAddress, 0, reinterpret_cast<LParam>(&packed));
    EXPECT_EQ(packed, 0xC0A80032u);
    EXPECT_EQ(address.GetAddress(f[0], f[1], f[2], f[3]), 4);
    EXPECT_EQ(std::vector<int>(f, f + 4), (std::vector<int>{192, 168, 0, 50}));
}

TEST(CheckListBoxTest, SortsCaseInsensitivelyAndKeepsChecksWithTheirItems) {
    Events events;
    Desktop desktop;
    HeadlessUi ui(resources::Program::Uninstaller, events, Script(), desktop);
    PlainDialog dialog(ui, 102);
    ASSERT_TRUE(dialog.Create(WindowId::None));
    ui::CheckListBox list;
    list.Attach(ui, dialog.GetDlgItem(1006));

    EXPECT_EQ(list.AddString("KORVANT ZMP-K40"), 0);
    list.SetCheck(0, msg::kBstChecked);
    EXPECT_EQ(list.AddString("korvant zmp-k40(#2)"), 1);
    EXPECT_EQ(list.AddString("Accounts"), 0);
    EXPECT_EQ(list.AddString("KORVANT ZMP-K40(#1)"), 2);
    ASSERT_EQ(list.GetCount(), 4);
    std::vector<std::string> texts;
    for (int i = 0; i < list.GetCount(); ++i) texts.push_back(list.GetText(i));
    EXPECT_EQ(texts, (std::vector<std::string>{"Accounts", "KORVANT ZMP-K40", "KORVANT ZMP-K40(#1)",
                                               "korvant zmp-k40(#2)"}));
    EXPECT_EQ(list.GetCheck(1), msg::kBstChecked);  // moved with its item
    EXPECT_EQ(list.GetCheck(0), msg::kBstUnchecked);
    EXPECT_EQ(list.GetText(4), "");
    EXPECT_EQ(list.GetCheck(-1), msg::kBstUnchecked);

    list.ResetContent();
    EXPECT_EQ(list.GetCount(), 0);
}

TEST(CheckListBoxTest, UserTogglingNotifiesTheDialog) {
    Events events;
    Desktop desktop;
    Script script;
    PlainDialog* dialogPtr = nullptr;
    ui::CheckListBox list;
    std::vector<Dword> states;
    auto record = [&] { states.push_back(list.GetCheck(0)); };
    script.OnDialog("Uninstaller", {UserAction::Call([&] {
                                        list.Attach(dialogPtr->GetUi(), dialogPtr->GetDlgItem(1006));
                                        list.AddString("A");
                                        list.SetCheck(0, msg::kBstChecked);
                                    }),
                                    UserAction::Uncheck(1006, "A"), UserAction::Call(record),
                                    UserAction::Check(1006, "A"), UserAction::Call(record),
                                    UserAction::Uncheck(1006, "missing"), UserAction::Escape()});
    HeadlessUi ui(resources::Program::Uninstaller, events, script, desktop);
    PlainDialog dialog(ui, 102);
    dialogPtr = &dialog;
    EXPECT_EQ(dialog.DoModal(), mb::kIdCancel);
    EXPECT_EQ(states, (std::vector<Dword>{msg::kBstUnchecked, msg::kBstChecked}));
    const std::pair<int, int> change{1006, static_cast<int>(msg::kClbnChkChange)};
    EXPECT_EQ(std::count(dialog.commands.begin(), dialog.commands.end(), change), 2);
}

TEST(StatusTextTest, TheDialogTakesOnlyTheLatestText) {
    ui::StatusText status;
    std::string shown = "before";
    EXPECT_FALSE(status.Take(shown));
    EXPECT_EQ(shown, "before");
    status.Assign("one");
    status.Assign("two");  // "one" was never taken: replaced and freed
    EXPECT_TRUE(status.Take(shown));
    EXPECT_EQ(shown, "two");
    EXPECT_FALSE(status.Take(shown));
    EXPECT_EQ(shown, "two");
}

TEST(StatusTextTest, HandOverBetweenThreadsNeverTearsAText) {
    ui::StatusText status;
    constexpr int kTexts = 20000;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (int i = 0; i < kTexts; ++i) status.Assign(std::string(64 + i % 7, char('a' + i % 26)));
        done = true;
    });
    std::string shown;
    auto check = [&] {
        ASSERT_GE(shown.size(), 64u);
        ASSERT_LE(shown.size(), 70u);
        ASSERT_EQ(shown.find_first_not_of(shown[0]), std::string::npos) << shown;
    };
    while (!done) {
        if (status.Take(shown)) check();
    }
    worker.join();
    status.Take(shown);  // unless the loop took it already: the last text is never lost
    EXPECT_EQ(shown, std::string(64 + (kTexts - 1) % 7, char('a' + (kTexts - 1) % 26)));
}

// A report from a worker: the bar moves while the worker waits (sent), the
// text appears when the dialog handles the posted refresh, after the move.
class StatusDialog : public ui::Dialog {
public:
    explicit StatusDialog(Ui& ui) : Dialog(ui, 102) {}
    ui::StatusText status;
    ui::ProgressBar bar;
    std::string message;

protected:
    void DoDataExchange(ui::DataExchange& dx) override {
        dx.Control(1000, bar);
        dx.Text(1003, message);
    }
    LResult OnMessage(Dword m, WParam, LParam, bool& handled) override {
        if (m != msg::kRefreshStatus) return 0;
        status.Take(message);
        UpdateData(false);
        handled = true;
        return 0;
    }
};

TEST(DialogProgressTest, ReportStepsThenRefreshesInOrder) {
    Events events;
    Desktop desktop;
    Script script;
    StatusDialog* dialogPtr = nullptr;
    HeadlessUi* uiPtr = nullptr;
    std::thread worker;
    script.OnDialog("Installation Progress", {UserAction::Call([&] {
        worker = std::thread([&] {
            ui::DialogProgress progress(*uiPtr, dialogPtr->status, dialogPtr->bar);
            progress.Report("Preparing for installation...\r\n", ProgressSink::Bar::Step);
            uiPtr->WaitForDialogThread();
            progress.Report("Checking existing drivers...\r\n", ProgressSink::Bar::Step);
            uiPtr->WaitForDialogThread();
            progress.Report("Completed.", ProgressSink::Bar::Complete);
            uiPtr->WaitForDialogThread();
            progress.Report("No bar", ProgressSink::Bar::None);
            uiPtr->WaitForDialogThread();
            dialogPtr->EndDialog(mb::kIdOk);
        });
    })});
    HeadlessUi ui(resources::Program::Installer, events, script, desktop);
    uiPtr = &ui;
    StatusDialog dialog(ui);
    dialogPtr = &dialog;
    dialog.MakeMainWindow();
    EXPECT_EQ(dialog.DoModal(), mb::kIdOk);
    worker.join();
    EXPECT_EQ(events.Lines(), (std::vector<std::string>{
                                  "STATUS",  // the initial exchange empties "Messages"
                                  "PROGRESS 10",
                                  "STATUS Preparing for installation...\\r\\n",
                                  "PROGRESS 20",
                                  "STATUS Checking existing drivers...\\r\\n",
                                  "PROGRESS 100",
                                  "STATUS Completed.",
                                  "STATUS No bar",
                              }));
}

}  // namespace
}  // namespace zmp
