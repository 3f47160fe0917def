// The transcript of a worker that reports, sleeps and asks: the same on
// every run, each text shown while the worker sleeps after reporting it,
// and a user who presses Escape when a given text shows.
#include <gtest/gtest.h>

#include "simulator/Machine.h"
#include "simulator/ProcessExit.h"
#include "simulator/SimPlatform.h"
#include "simulator/headless/HeadlessUi.h"
#include "ui/DataExchange.h"
#include "ui/Dialog.h"
#include "ui/DialogProgress.h"

namespace zmp {
namespace {

using sim::UserAction;

constexpr int kSteps = 12;

// The installer's progress template with a worker that makes kSteps step
// reports with a pause after each, then a completion, a box and the end.
class WorkerDialog : public ui::Dialog {
public:
    explicit WorkerDialog(Platform& platform)
        : Dialog(platform.ui, 102), platform_(platform), progress_(platform.ui, status_, bar_) {}

protected:
    void DoDataExchange(ui::DataExchange& dx) override {
        dx.Control(1000, bar_);
        dx.Text(1003, message_);
    }
    bool OnInitDialog() override {
        Dialog::OnInitDialog();
        bar_.SetRange(0, 100);
        bar_.SetStep(9);
        ui_.BeginThread(&WorkerDialog::Work, this);
        return true;
    }
    LResult OnMessage(Dword m, WParam, LParam, bool& handled) override {
        if (m != msg::kRefreshStatus) return 0;
        status_.Take(message_);
        UpdateData(false);
        handled = true;
        return 0;
    }

private:
    static unsigned Work(void* param) {
        auto* self = static_cast<WorkerDialog*>(param);
        for (int i = 1; i <= kSteps; ++i) {
            self->progress_.Report("step " + std::to_string(i), ProgressSink::Bar::Step);
            self->platform_.clock.Sleep(500);
        }
        self->progress_.Report("done", ProgressSink::Bar::Complete);
        self->ui_.MessageBox(self->ui_.MainWindow(), "Finished.", mb::kIconInformation);
        self->platform_.processes.ExitProcess(0);
        return 0;
    }

    Platform& platform_;
    ui::ProgressBar bar_;
    ui::StatusText status_;
    std::string message_;
    ui::DialogProgress progress_;
};

std::vector<std::string> RunOnce(sim::Script script) {
    auto machine = sim::Machine::Preset("7", true);
    sim::Events events;
    sim::Desktop desktop;
    sim::SimSystem system(*machine, sim::ProcessOptions(), &events);
    sim::HeadlessUi ui(resources::Program::Installer, events, std::move(script), desktop);
    system.SetSleepHook([&ui] { ui.WaitForDialogThread(); });
    Platform platform = system.MakePlatform(ui);
    {
        WorkerDialog dialog(platform);
        dialog.MakeMainWindow();
        try {
            dialog.DoModal();
        } catch (const sim::ProcessExit&) {
        }
        ui.EndProcess(0);
        ui.JoinThreads();
    }
    return events.Lines();
}

TEST(TranscriptTest, IsTheSameEveryRunAndShowsEachTextDuringItsPause) {
    std::vector<std::string> expected = {"STATUS"};
    int position = 0;
    for (int i = 1; i <= kSteps; ++i) {
        position += 9;
        if (position > 100) position %= 100;
        expected.push_back("PROGRESS " + std::to_string(position));
        expected.push_back("STATUS step " + std::to_string(i));
        expected.push_back("SLEEP 500");
    }
    expected.insert(expected.end(), {"PROGRESS 100", "STATUS done", "BOX Finished. -> OK", "EXIT 0"});
    for (int run = 0; run < 20; ++run) ASSERT_EQ(RunOnce(sim::Script()), expected) << "run " << run;
}

TEST(TranscriptTest, EscapeAtAChosenTextEndsTheRunThere) {
    sim::Script script;
    script.AtStatus("step 3", UserAction::Escape());
    std::vector<std::string> lines = RunOnce(script);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "STATUS step 3");
    // The user ended it during the third pause, which therefore never ended.
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "SLEEP 500"), 2);
}

}  // namespace
}  // namespace zmp
