// The removal of a different installed version: all of ours goes, from
// both environments of 64-bit Windows, nothing of anyone else's goes, and
// the user hears of success, and Windows restarts, only when the spooler
// shows it.
#include <gtest/gtest.h>

#include "platform/Ui.h"
#include "tests/common/MachineStates.h"
#include "tests/install/InstallFixture.h"

namespace zmp::test {
namespace {

constexpr const char* kPrintersKey = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\";
constexpr const char* kDifferentVersion =
    "There is a different version driver in this system.\r\n\r\nThe installed driver will be removed.";
constexpr const char* kRemoved =
    "The installer has successfully removed the different version.\n"
    "Now it is going to restart your computer to take effect.\n"
    "After restarting, you may reinstall the driver again.";
constexpr const char* kNotRemoved = "The installer could not remove the different version.";

// What an installation that failed at the driver leaves on a 32-bit
// Windows: the language monitor and the print processor with their DLLs.
void SeedMonitorAndProcessor(sim::Machine& m) {
    const std::string env = m.Os().NativeEnvironment();
    m.WriteFile(m.SystemDirectory() + "\\ZPMON40.dll", "monitor");
    m.AddMonitorRecord({kMonitor, env, "ZPMON40.dll"});
    m.WriteFile(m.PrintProcessorDirectory(env) + "\\ZPPRO40.dll", "processor");
    m.AddProcessorRecord({kProcessor, env, "ZPPRO40.dll"});
}

TEST(DifferentVersionTest, AnotherDriversPrinterNamedLikeOursIsKept) {
    struct Case {
        const char* os;
        bool is64;
        void (*seed)(sim::Machine&);
    } cases[] = {
        {"xp", false, SeedMonitorAndProcessor},
        {"7", false, SeedMonitorAndProcessor},
        {"7", true, AddOursForX86Clients},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.os) + (c.is64 ? " x64" : ""));
        auto machine = NewMachine(c.os, c.is64);
        c.seed(*machine);
        AddPrinterNamedLikeOurs(*machine);

        RunResult run = RunInstaller(*machine, ChoosePort(kRadioCom2));

        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.BoxTexts(), (std::vector<std::string>{kDifferentVersion, kRemoved}));
        EXPECT_TRUE(run.Logged(std::string("PRINTER KEY KEPT : SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\") +
                               kPrinter + ", PRINTER DRIVER : Generic / Text Only"));
        machine->Reboot();
        std::optional<sim::SimPrinter> printer = machine->FindPrinter(kPrinter);
        EXPECT_TRUE(printer);
        EXPECT_EQ(printer.value_or(sim::SimPrinter{}).driver, "Generic / Text Only");
        EXPECT_EQ(printer.value_or(sim::SimPrinter{}).jobs.size(), 1u);
        EXPECT_TRUE(machine->KeyExists(std::string(kPrintersKey) + kPrinter));
    }
}

// With the USB port the driver is there before any printer: a second run
// before the printer is switched on reads the driver's own version. From
// our INF (Vista and later) it is this installer's, so nothing is removed
// and no restart asked for; one registered without an INF (XP) carries
// none and is taken as older, as before.
TEST(DifferentVersionTest, TheDriverWithoutItsPrinterIsComparedByItsOwnVersion) {
    const struct {
        const char* os;
        bool is64;
        bool removed;
    } cases[] = {{"7", true, false}, {"vista", false, false}, {"xp", false, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.os);
        auto machine = NewMachine(c.os, c.is64);
        ASSERT_EQ(RunInstaller(*machine, ChoosePort(kRadioUsb)).exitCode, 0);
        ASSERT_TRUE(machine->Printers().empty());
        const unsigned restarts = machine->RestartsRequested();

        RunResult second = RunInstaller(*machine, ChoosePort(kRadioUsb));

        EXPECT_EQ(second.exitCode, 0);
        EXPECT_EQ(second.Logged("RemoveDrivers BEGIN"), c.removed);
        EXPECT_EQ(machine->RestartsRequested(), restarts + (c.removed ? 1 : 0));
        if (c.removed) {
            EXPECT_EQ(second.BoxTexts(), (std::vector<std::string>{kDifferentVersion, kRemoved}));
        } else {
            EXPECT_EQ(second.BoxTexts(), std::vector<std::string>{});
            EXPECT_TRUE(second.children.empty());
            EXPECT_TRUE(machine->FindDriver(kPrinter, machine->Os().NativeEnvironment()));
        }
    }
}

// A print server keeps our x86 driver and processor for its 32-bit
// clients: the version check sees them, so the removal must take them, or
// every run would remove nothing and restart again.
TEST(DifferentVersionTest, OursInTheX86EnvironmentGoesAndTheNextRunInstalls) {
    for (const char* os : {"7", "xp64"}) {
        SCOPED_TRACE(os);
        auto machine = NewMachine(os, true);
        AddOursForX86Clients(*machine);
        const std::string x86Driver = machine->PrinterDriverDirectory("Windows NT x86") + "\\3\\ZMP40.dll";
        const std::string x86Processor = machine->PrintProcessorDirectory("Windows NT x86") + "\\ZPPRO40.dll";
        ASSERT_TRUE(machine->FileExists(x86Driver));

        RunResult first = RunInstaller(*machine, ChoosePort(kRadioCom1));

        EXPECT_EQ(first.exitCode, 0);
        EXPECT_EQ(first.BoxTexts(), (std::vector<std::string>{kDifferentVersion, kRemoved}));
        EXPECT_TRUE(first.Logged("ENVIRONMENT : Windows NT x86"));
        EXPECT_FALSE(machine->FindDriver(kPrinter, "Windows NT x86"));
        for (const sim::SimProcessor& p : machine->Processors()) EXPECT_NE(p.name, kProcessor) << p.environment;
        EXPECT_FALSE(machine->FileExists(x86Driver));
        EXPECT_FALSE(machine->FileExists(x86Processor));
        EXPECT_EQ(machine->RestartsRequested(), 1u);

        machine->Reboot();
        RunResult second = RunInstaller(*machine, ChoosePort(kRadioCom1));

        EXPECT_EQ(second.exitCode, 0);
        EXPECT_FALSE(second.Logged("RemoveDrivers BEGIN"));
        EXPECT_TRUE(machine->FindDriver(kPrinter, "Windows x64"));
        EXPECT_TRUE(machine->FindPrinter(kPrinter));
    }
}

// Jobs that will not go keep our printer pending deletion and the driver
// in use: nothing is claimed, nothing restarted, and the user reads what
// is left.
TEST(DifferentVersionTest, ARemovalThatDidNotRemoveSaysWhatIsLeftAndDoesNotRestart) {
    auto machine = NewMachine("7", true);
    SetPackageVersion(*machine, "2.0.5.0");
    ASSERT_EQ(RunInstaller(*machine, ChoosePort(kRadioCom1)).exitCode, 0);
    SetPackageVersion(*machine, "2.0.6.0");
    machine->AddJobs(kPrinter, 2);
    const unsigned restarts = machine->RestartsRequested();

    RunResult run = RunInstaller(*machine, ChoosePort(kRadioCom1), [](sim::SimSystem& system, sim::HeadlessUi&) {
        system.Faults().Fail("Spooler.SetJob", err::kAccessDenied);
    });

    EXPECT_EQ(run.exitCode, -1);
    ASSERT_EQ(run.boxes.size(), 2u);
    EXPECT_EQ(run.boxes[0].text, kDifferentVersion);
    const std::string& box = run.boxes[1].text;
    EXPECT_EQ(box.rfind(std::string(kNotRemoved) + "\n\nStill installed:\n", 0), 0u) << box;
    EXPECT_NE(box.find("printer \"KORVANT ZMP-K40\""), std::string::npos) << box;
    EXPECT_NE(box.find("printer driver \"KORVANT ZMP-K40\" (Windows x64)"), std::string::npos) << box;
    EXPECT_EQ(run.boxes[1].type, mb::kIconStop);
    EXPECT_EQ(machine->RestartsRequested(), restarts);
    EXPECT_TRUE(machine->FindDriver(kPrinter, "Windows x64"));
    EXPECT_TRUE(run.Logged("The printer driver is still in use; its registry keys are kept."));
    EXPECT_TRUE(run.Logged("STILL INSTALLED : printer driver \"KORVANT ZMP-K40\" (Windows x64)"));
    EXPECT_TRUE(run.Logged("The different version could not be removed."));
    const std::vector<std::string> statuses = run.Kind("STATUS");
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), "STATUS The uninstallation could not be completed."),
              statuses.end());
    EXPECT_EQ(std::find(statuses.begin(), statuses.end(), "STATUS The uninstallation has been completed."),
              statuses.end());
}

}  // namespace
}  // namespace zmp::test
