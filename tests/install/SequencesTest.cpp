// The install sequences as the engine runs them: the hidden PrintUIEntry
// child, its bound, and the pacing of the step reports.
#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/common/Commands.h"
#include "tests/install/EngineFixture.h"

namespace zmp::test {
namespace {

// Passes every call to the simulator; keeps how the child was started,
// waited for and released.
class ChildRecorder final : public Processes {
public:
    void Attach(Processes& inner) { in_ = &inner; }
    StartupInfo startup;
    Dword creationFlags = 0;
    std::vector<Dword> waits;
    std::vector<ProcessHandle> started, closed;

    Dword WinExec(const std::string& c, Dword s) override { return in_->WinExec(c, s); }
    Status CreateProcess(const std::string& a, const std::string& c, Dword f, const std::string& d,
                         const StartupInfo& s, ProcessInformation& o) override {
        startup = s;
        creationFlags = f;
        Status status = in_->CreateProcess(a, c, f, d, s, o);
        if (status.ok()) started = {o.process, o.thread};
        return status;
    }
    Dword WaitForSingleObject(ProcessHandle p, Dword ms) override {
        waits.push_back(ms);
        return in_->WaitForSingleObject(p, ms);
    }
    Status GetExitCodeProcess(ProcessHandle p, Dword& code) override { return in_->GetExitCodeProcess(p, code); }
    void CloseHandle(ProcessHandle h) override {
        closed.push_back(h);
        in_->CloseHandle(h);
    }
    [[noreturn]] void ExitProcess(int code) override {
        in_->ExitProcess(code);
        std::abort();  // not reached: the simulator's exit throws
    }

private:
    Processes* in_ = nullptr;
};

TEST(InstallSequenceTest, ChildRunsHiddenWithABoundedWaitAndItsHandlesAreReleased) {
    for (bool timesOut : {false, true}) {
        SCOPED_TRACE(timesOut ? "times out" : "finishes");
        ChildRecorder recorder;
        Engine e("7", true, kOsWin7, nullptr, &recorder);
        recorder.Attach(e.system->processes);
        e.machine->ModelSwitches().childTimesOut = timesOut;

        int exitCode = 0;
        try {
            e.installer->AddToWin2KWithWHQL(PortUsb);
        } catch (const sim::ProcessExit& exit) {
            exitCode = exit.code;
        }
        EXPECT_EQ(exitCode, timesOut ? -1 : 0);
        EXPECT_EQ(recorder.startup.cb, 68u);
        EXPECT_EQ(recorder.startup.flags, 0x41u);
        EXPECT_EQ(recorder.startup.showWindow, 0u);  // SW_HIDE
        EXPECT_EQ(recorder.creationFlags, 0x20u);    // NORMAL_PRIORITY_CLASS
        EXPECT_EQ(recorder.waits, std::vector<Dword>{120000});
        // Both handles go back before anything else happens to the process.
        ASSERT_EQ(recorder.started.size(), 2u);
        EXPECT_EQ(recorder.closed, recorder.started);
    }
}

// Every report with its pause: 500 ms after a step, none after "Waiting ...",
// 2000 ms at the end, and the spooler started at the end of this sequence.
TEST(InstallSequenceTest, StepReportsArePacedAsTheSequenceSays) {
    Engine e("7", true, kOsWin7);
    e.installer->AddToWin2KWithWHQL(PortUsb);
    std::vector<std::string> pacing;
    for (const std::string& line : e.events.Lines())
        if (line.rfind("SLEEP", 0) == 0 || line.rfind("EXEC", 0) == 0)
            pacing.push_back(line.find("rundll32.exe") != std::string::npos ? "CHILD" : line);
    EXPECT_EQ(pacing, (std::vector<std::string>{"SLEEP 500", "SLEEP 500", "SLEEP 500", "SLEEP 500", "CHILD",
                                                "SLEEP 500", test::NetEvent("start"), "SLEEP 2000"}));
    EXPECT_EQ(e.progress.texts,
              (std::vector<std::string>{"Checking existing drivers...\r\n", "Preparing for installation...\r\n",
                                        "Installing printer...\r\n", "Creates a new process \r\n",
                                        "The new process is running...\r\n",
                                        "Waiting until the process has finished processing ...\r\n",
                                        "The driver has been successfully installed.", "Completed."}));
}

TEST(InstallSequenceTest, OwnRegistrationReportsEachStep) {
    Engine e("xp", false, kOsWinXp);
    e.installer->AddToWin2K(PortCom2);
    EXPECT_EQ(e.progress.texts,
              (std::vector<std::string>{"Checking existing drivers...\r\n", "Preparing for installation...\r\n",
                                        "Copying files...\r\n", "Installing L/M...\r\n",
                                        "Installing printer processor...\r\n", "Installing printer driver...\r\n",
                                        "Adding printer...\r\n",
                                        "Please wait for adding printer.\r\nIt takes a couple of minutes.",
                                        "Deleting files used to install...\r\n",
                                        "The driver has been successfully installed.", "Completed."}));
    std::vector<std::string> sleeps;
    for (const std::string& line : e.events.Lines())
        if (line.rfind("SLEEP", 0) == 0 || line.rfind("EXEC", 0) == 0) sleeps.push_back(line);
    // Eight reports with a pause, "Please wait ..." without, and the end;
    // no "net start spooler" in this sequence.
    std::vector<std::string> expected(8, "SLEEP 500");
    expected.push_back("SLEEP 2000");
    EXPECT_EQ(sleeps, expected);
}

}  // namespace
}  // namespace zmp::test
