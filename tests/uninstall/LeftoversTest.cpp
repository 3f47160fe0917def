// The uninstaller on machines where the removal has more to do than a
// clean installation leaves: parts of a failed installation, ours in the
// x86 environment, keys with subkeys, a long print queue, another
// language's account names, someone else's printer named like ours. It
// takes all of ours and nothing else, and ends the process without
// touching what the dialog's thread owns.
#include <gtest/gtest.h>

#include <cstdlib>
#include <mutex>
#include <thread>

#include "simulator/ProcessExit.h"
#include "simulator/Text.h"
#include "tests/common/MachineStates.h"
#include "tests/uninstall/Harness.h"
#include "uninstaller/UninstallerApp.h"

namespace zmp::test {
namespace {

using sim::UserAction;

constexpr const char* kPrintersKey = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\";

// Removes everything of the driver that InstallDriver made but the driver:
// an installation that failed at the driver left the rest.
std::unique_ptr<sim::Machine> FailedInstallation(const std::string& os, bool is64) {
    auto machine = sim::Machine::Preset(os, is64);
    InstallDriver(*machine);
    sim::Machine& m = *machine;
    const std::string key = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\" + Environment(m) +
                            "\\Drivers\\Version-3\\" + kDriverName;
    m.DeleteKeyTree(key);
    m.Reboot();  // the spooler forgets the driver
    return machine;
}

// A run that removes the driver at once and is answered No at the end.
int RunAnsweringNo(sim::Machine& machine, UninstallRun& run) {
    run.script.OnDialog(kCaption, {UserAction::Click(kUninstallButton)});
    run.script.AnswerYesNo(false);
    return run.On(machine);
}

TEST(LeftoversTest, AFailedInstallationIsClearedAndSomeoneElsesPrinterKept) {
    for (const char* os : {"xp", "7"}) {
        SCOPED_TRACE(os);
        auto machine = FailedInstallation(os, false);
        machine->WriteFile(machine->SystemDirectory() + "\\ZPMON40.dll.old", "monitor in use at the time");
        AddPrinterNamedLikeOurs(*machine);
        ASSERT_FALSE(machine->FindDriver(kDriverName, Environment(*machine)));

        UninstallRun run;
        EXPECT_EQ(RunAnsweringNo(*machine, run), 0);

        EXPECT_EQ(DriverLeftovers(*machine), std::vector<std::string>{});
        EXPECT_EQ(run.Lines("BOX"), std::vector<std::string>{"BOX " + std::string(kRestartQuestionLine) + " -> NO"});
        std::vector<std::string> log = LogLines(*machine);
        EXPECT_NE(IndexOf(log, "COMPONENT FOUND : language monitor \"" + std::string(kMonitorName) + "\""), -1);
        EXPECT_NE(IndexOf(log, std::string("PRINTER KEY KEPT : SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\") +
                                   kDriverName + ", PRINTER DRIVER : Generic / Text Only"),
                  -1);
        machine->Reboot();
        std::optional<sim::SimPrinter> printer = machine->FindPrinter(kDriverName);
        EXPECT_TRUE(printer);
        EXPECT_EQ(printer.value_or(sim::SimPrinter{}).driver, "Generic / Text Only");
        EXPECT_TRUE(machine->KeyExists(std::string(kPrintersKey) + kDriverName));
    }
}

// On 64-bit Windows: ours kept for the x86 clients is removed too, the USB
// printer's key and an "Uninstall" key with a subkey go whole, also on a
// German Windows, where "Everyone" is called "Jeder".
TEST(LeftoversTest, Windows7x64TakesBothEnvironmentsAndKeysWithSubkeys) {
    for (const char* language : {"en", "de", "fr"}) {
        SCOPED_TRACE(language);
        auto machine = sim::Machine::Preset("7", true);
        sim::OsInfo os = machine->Os();
        os.language = language;
        machine->SetOs(os);
        InstallDriver(*machine);
        machine->PlugUsbPrinter();  // the protected key with its instance subkey, and a printer
        machine->UnplugUsbPrinter();
        machine->SetString(std::string(kUninstallKey) + "\\Support", "Contact", "KORVANT");
        AddOursForX86Clients(*machine);

        UninstallRun run;
        EXPECT_EQ(RunAnsweringNo(*machine, run), 0);

        EXPECT_EQ(DriverLeftovers(*machine), std::vector<std::string>{});
        EXPECT_FALSE(machine->KeyExists(kUsbEnumKey));
        EXPECT_FALSE(machine->KeyExists(kUninstallKey));
    }
}

// More than the 1000 jobs one enumeration gives: all go, then the printer,
// then the driver; no printer stays pending deletion.
TEST(LeftoversTest, APrinterWith1005JobsGoesWithItsDriver) {
    auto machine = sim::Machine::Preset("xp");
    InstallDriver(*machine);
    machine->AddPrinterRecord(PrinterOn(kDriverName, "COM1:"));
    machine->AddJobs(kDriverName, 1005);

    UninstallRun run;
    EXPECT_EQ(RunAnsweringNo(*machine, run), 0);

    EXPECT_TRUE(machine->Printers().empty());
    EXPECT_EQ(DriverLeftovers(*machine), std::vector<std::string>{});
    EXPECT_TRUE(run.Has("STATUS " + std::string(kCompleted)));
}

// Jobs that will not go keep the printer pending and the driver in use:
// its keys stay, the run says what is left and offers no restart.
TEST(LeftoversTest, ADriverStillInUseIsReportedNotTornOut) {
    auto machine = sim::Machine::Preset("7", true);
    InstallDriver(*machine);
    machine->AddPrinterRecord(PrinterOn(kDriverName, "COM1:"));
    machine->AddJobs(kDriverName, 3);

    UninstallRun run;
    run.beforeStart = [](sim::SimSystem& system, sim::HeadlessUi&) {
        system.Faults().Fail("Spooler.SetJob", err::kAccessDenied);
    };
    EXPECT_EQ(RunAnsweringNo(*machine, run), -1);

    machine->Reboot();
    EXPECT_TRUE(machine->FindDriver(kDriverName, Environment(*machine)));
    EXPECT_TRUE(machine->FindPrinter(kDriverName));
    std::vector<std::string> boxes = run.Lines("BOX");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].rfind("BOX The driver could not be removed completely.\\n\\nStill installed:\\n", 0), 0u)
        << boxes[0];
    EXPECT_NE(boxes[0].find("printer driver \"KORVANT ZMP-K40\" (Windows x64)"), std::string::npos) << boxes[0];
    EXPECT_TRUE(run.Has("STATUS The uninstallation could not be completed."));
    EXPECT_FALSE(run.Has("STATUS " + std::string(kCompleted)));
}

// Processes that records from which threads the process is ended.
class ExitRecorder final : public Processes {
public:
    explicit ExitRecorder(Processes& inner) : in_(inner) {}
    Dword WinExec(const std::string& c, Dword s) override { return in_.WinExec(c, s); }
    Status CreateProcess(const std::string& a, const std::string& c, Dword f, const std::string& d,
                         const StartupInfo& s, ProcessInformation& o) override {
        return in_.CreateProcess(a, c, f, d, s, o);
    }
    Dword WaitForSingleObject(ProcessHandle p, Dword ms) override { return in_.WaitForSingleObject(p, ms); }
    Status GetExitCodeProcess(ProcessHandle p, Dword& code) override { return in_.GetExitCodeProcess(p, code); }
    void CloseHandle(ProcessHandle h) override { in_.CloseHandle(h); }
    [[noreturn]] void ExitProcess(int code) override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            threads_.push_back(std::this_thread::get_id());
        }
        in_.ExitProcess(code);
        std::abort();  // not reached: the simulated process has ended by throwing
    }
    std::vector<std::thread::id> Threads() {
        std::lock_guard<std::mutex> lock(mutex_);
        return threads_;
    }

private:
    Processes& in_;
    std::mutex mutex_;
    std::vector<std::thread::id> threads_;
};

// After "No" the dialog is asked to close, and the application destroys it
// with everything WinMain holds once its modal loop ends: the worker ends
// the process through none of it. The application ends it, with 0.
TEST(LeftoversTest, AfterNoTheWorkerLeavesTheEndToTheApplication) {
    auto machine = sim::Machine::Preset("7", true);
    InstallDriver(*machine);
    sim::Events events;
    sim::ProcessOptions process;
    process.currentDirectory = UtilitiesFolder(*machine);
    process.executable = process.currentDirectory + "\\ZMPK40_Uninstaller.exe";
    sim::SimSystem system(*machine, process, &events);
    sim::Desktop desktop;
    sim::Script script;
    script.AnswerYesNo(false);
    sim::HeadlessUi ui(resources::Program::Uninstaller, events, std::move(script), desktop);
    system.SetSleepHook([&ui] { ui.WaitForDialogThread(); });
    Platform simulated = system.MakePlatform(ui);
    ExitRecorder processes(simulated.processes);
    Platform platform{simulated.spooler, simulated.setup,  simulated.registry, simulated.files, processes,
                      simulated.system,  simulated.clock, simulated.power,    simulated.ui,
                      simulated.services, simulated.modules};

    int code = -2;
    try {
        code = UninstallerMain(platform);
    } catch (const sim::ProcessExit& exit) {
        code = exit.code;
    }
    ui.EndProcess(code);
    ui.JoinThreads();

    EXPECT_EQ(code, 0);
    EXPECT_EQ(processes.Threads(), std::vector<std::thread::id>{});
    EXPECT_EQ(DriverLeftovers(*machine), std::vector<std::string>{});
}

}  // namespace
}  // namespace zmp::test
