// What the installer tells after Windows' printer installation (the
// PrintUIEntry child) on Vista and later: success only when the spooler
// shows the driver, and the printer on its port; otherwise one failure box,
// exit code -1, and an "Uninstall" entry only when something of ours is
// there to remove.
#include <gtest/gtest.h>

#include <functional>

#include "platform/Ui.h"
#include "tests/common/MachineStates.h"
#include "tests/install/InstallFixture.h"

namespace zmp::test {
namespace {

constexpr const char* kNotInstalled = "The driver could not be installed.";
constexpr const char* kInstalled = "The driver has been successfully installed.";
constexpr const char* kUtilities = "C:\\Windows\\ZMP-K40";

std::string Inf(sim::Machine& m) { return *m.ReadFile(std::string(kPackage) + "\\ZMPK40.inf"); }
void SetInf(sim::Machine& m, const std::string& text) { m.WriteFile(std::string(kPackage) + "\\ZMPK40.inf", text); }

// The architecture's folder of the package: Driver64 on 64-bit Windows.
std::string DriverFolder(const sim::Machine& m) {
    return std::string(kPackage) + (m.Os().NativeEnvironment() == "Windows x64" ? "\\Driver64" : "\\Driver32");
}

bool Said(const RunResult& run, const std::string& text) {
    for (const std::string& line : run.events)
        if (line.find(text) != std::string::npos) return true;
    return false;
}

struct Package {
    const char* what;
    std::function<void(sim::Machine&)> change;
    Dword childCode;       // the child's exit code on 64-bit Windows
    bool failsOn32 = true;  // false: the package serves 32-bit Windows all the same
};

const Package kFailingPackages[] = {
    {"a driver file missing", [](sim::Machine& m) { m.Remove(DriverFolder(m) + "\\ZPUI40.dll"); }, err::kFileNotFound},
    {"an empty package folder",
     [](sim::Machine& m) {
         for (const std::string& entry : m.ListDirectory(kPackage)) m.Remove(std::string(kPackage) + "\\" + entry);
     },
     err::kFileNotFound},
    {"the model line renamed",
     [](sim::Machine& m) {
         std::string inf = Inf(m);
         for (size_t at; (at = inf.find("\"KORVANT ZMP-K40\" =")) != std::string::npos;)
             inf.replace(at, 17, "\"KORVANT ZMP-K41\"");
         SetInf(m, inf);
     },
     err::kUnknownPrinterDriver},
    {"no .NTamd64 models section",
     [](sim::Machine& m) {
         std::string inf = Inf(m);
         const size_t at = inf.find("[KORVANT.NTamd64]");
         inf.erase(at, inf.find("[ZMPK40_X86]") - at);
         inf.replace(inf.find("KORVANT=KORVANT,NTamd64"), 23, "KORVANT=KORVANT");
         SetInf(m, inf);
     },
     err::kUnknownPrinterDriver, false},
    {"a printer of our name on another driver", AddPrinterNamedLikeOurs, err::kPrinterAlreadyExists},
};

TEST(InstallOutcomeTest, AChildThatInstalledNothingEndsWithTheFailureBoxAndNoEntry) {
    for (const Package& p : kFailingPackages) {
        for (const auto& [os, is64] : {std::pair<const char*, bool>{"7", true}, {"vista", false}}) {
            SCOPED_TRACE(std::string(p.what) + " on " + os + (is64 ? " x64" : " x86"));
            auto machine = NewMachine(os, is64);
            p.change(*machine);
            RunResult run = RunInstaller(*machine, ChoosePort(kRadioCom1));

            ASSERT_EQ(run.children.size(), 1u);
            if (!is64 && !p.failsOn32) {
                // The x86 models section is all 32-bit Windows reads.
                EXPECT_EQ(run.exitCode, 0);
                EXPECT_EQ(run.BoxTexts(), std::vector<std::string>{kRestartQuestion});
                EXPECT_TRUE(machine->FindPrinter(kPrinter));
                continue;
            }
            EXPECT_NE(run.children[0].exitCode, 0u);
            if (is64) {
                EXPECT_EQ(run.children[0].exitCode, p.childCode);
            }
            EXPECT_EQ(run.exitCode, -1);
            EXPECT_EQ(run.events.back(), "EXIT -1");
            ASSERT_EQ(run.boxes.size(), 1u);
            const std::string& box = run.boxes[0].text;
            EXPECT_EQ(box.rfind(std::string(kNotInstalled) + "\n\nNot installed:\nprinter driver \"KORVANT ZMP-K40\" (" +
                                    machine->Os().NativeEnvironment() + ")\nprinter \"KORVANT ZMP-K40\" on \"COM1:\"",
                                0),
                      0u)
                << box;
            EXPECT_NE(box.find("ended with code " + std::to_string(run.children[0].exitCode) + "."),
                      std::string::npos)
                << box;
            EXPECT_EQ(run.boxes[0].type, mb::kIconStop);
            EXPECT_FALSE(Said(run, kInstalled));
            EXPECT_FALSE(Said(run, "Completed."));
            EXPECT_TRUE(Said(run, std::string("STATUS ") + kNotInstalled));
            EXPECT_TRUE(run.Logged("PROCESS EXIT CODE : " + std::to_string(run.children[0].exitCode)));
            EXPECT_TRUE(run.Logged("NOT INSTALLED : printer driver \"KORVANT ZMP-K40\" (" +
                                   machine->Os().NativeEnvironment() + ")"));
            EXPECT_TRUE(run.Logged("AddToWin2KWithWHQL END"));
            // Nothing of ours registered: nothing to offer the removal of.
            EXPECT_FALSE(machine->FindDriver(kPrinter, machine->Os().NativeEnvironment()));
            EXPECT_TRUE(machine->OemInfs().empty());
            EXPECT_FALSE(machine->KeyExists(kUninstallKey));
            EXPECT_FALSE(machine->KeyExists(kUninstallKey32On64));
            EXPECT_FALSE(machine->DirectoryExists(kUtilities));
        }
    }
}

// The driver only, for USB: what is missing is the driver, and the user is
// not asked to switch the printer off and on for nothing.
TEST(InstallOutcomeTest, AFailedDriverForUsbAsksForNoPowerCycle) {
    auto machine = NewMachine("7", true);
    machine->Remove(DriverFolder(*machine) + "\\ZPUI40.dll");
    RunResult run = RunInstaller(*machine, ChoosePort(kRadioUsb));
    EXPECT_EQ(run.exitCode, -1);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].text,
              std::string(kNotInstalled) +
                  "\n\nNot installed:\nprinter driver \"KORVANT ZMP-K40\" (Windows x64)\n\n"
                  "The printer installation of Windows (PrintUIEntry) ended with code 2.\n"
                  "The system cannot find the file specified.");
    EXPECT_FALSE(Said(run, kPowerCycle));
}

// The spooler decides, not the child's word: an exit code that cannot be
// read changes neither a success nor a failure.
TEST(InstallOutcomeTest, AnUnreadableExitCodeLeavesTheDecisionToTheSpooler) {
    for (bool fileMissing : {false, true}) {
        SCOPED_TRACE(fileMissing ? "a driver file missing" : "a whole package");
        auto machine = NewMachine("7", true);
        if (fileMissing) machine->Remove(DriverFolder(*machine) + "\\ZPUI40.dll");
        RunResult run = RunInstaller(*machine, ChoosePort(kRadioCom1), [](sim::SimSystem& system, sim::HeadlessUi&) {
            system.Faults().Fail("Processes.GetExitCodeProcess", err::kInvalidHandle);
        });
        EXPECT_TRUE(run.Logged("GetExitCodeProcess failed. (6)"));
        if (fileMissing) {
            EXPECT_EQ(run.exitCode, -1);
            ASSERT_EQ(run.boxes.size(), 1u);
            EXPECT_NE(run.boxes[0].text.find("ended; its exit code could not be read."), std::string::npos);
        } else {
            EXPECT_EQ(run.exitCode, 0);
            EXPECT_EQ(run.BoxTexts(), std::vector<std::string>{kRestartQuestion});
            EXPECT_TRUE(Said(run, kInstalled));
        }
    }
}

// Something of ours that is registered all the same (here a language
// monitor a failed installation left) gets the entry and the uninstaller,
// so that the user can remove it.
TEST(InstallOutcomeTest, APartOfOursLeftRegisteredGetsTheEntryAndTheUninstaller) {
    auto machine = NewMachine("7", true);
    machine->WriteFile(machine->SystemDirectory() + "\\ZPMON40.dll", "monitor");
    machine->AddMonitorRecord({kMonitor, "Windows x64", "ZPMON40.dll"});
    machine->Remove(DriverFolder(*machine) + "\\ZPUI40.dll");

    RunResult run = RunInstaller(*machine, ChoosePort(kRadioCom1));

    EXPECT_EQ(run.exitCode, -1);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].text.rfind(kNotInstalled, 0), 0u);
    EXPECT_TRUE(run.Logged("COMPONENT FOUND : language monitor \"KVT Language Monitor ZMP-K40\""));
    EXPECT_EQ(machine->GetString(kUninstallKey, "UninstallString"), "C:\\Windows\\ZMP-K40\\ZMPK40_Uninstaller.exe");
    EXPECT_TRUE(machine->FileExists("C:\\Windows\\ZMP-K40\\ZMPK40_Uninstaller.exe"));
    EXPECT_FALSE(Said(run, kInstalled));
}

// With the driver there the child adds a printer only: one it could not
// add is a failure too, without touching the installation that is there.
TEST(InstallOutcomeTest, APrinterTheChildDidNotAddIsAFailureOfItsOwn) {
    auto machine = NewMachine("7", true);
    ASSERT_EQ(RunInstaller(*machine, ChoosePort(kRadioCom1)).exitCode, 0);
    const std::string entry = *machine->GetString(kUninstallKey, "DisplayName");

    // The network port cannot be made, so the child has none to use.
    RunResult run = RunInstaller(*machine, ChoosePort(kRadioWlan, Address(10, 0, 0, 7), "9100"),
                                 [](sim::SimSystem& system, sim::HeadlessUi&) {
                                     system.Faults().Fail("Spooler.XcvData", err::kAccessDenied);
                                 });

    EXPECT_EQ(run.exitCode, -1);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].text.rfind(std::string(kNotInstalled) +
                                          "\n\nNot installed:\nprinter \"KORVANT ZMP-K40(#1)\" on \"IP_10.0.0.7\"\n\n"
                                          "The printer installation of Windows (PrintUIEntry) ended with code 1796.",
                                      0),
              0u)
        << run.boxes[0].text;
    EXPECT_TRUE(run.Logged("PROCESS EXIT CODE : 1796"));
    EXPECT_FALSE(run.Logged("FindOwnComponents BEGIN"));
    EXPECT_TRUE(machine->FindDriver(kPrinter, "Windows x64"));
    EXPECT_EQ(machine->GetString(kUninstallKey, "DisplayName"), entry);
}

// Every installation on a port gets its own printer, named as on Windows
// XP: KORVANT ZMP-K40, then KORVANT ZMP-K40(#1), (#2) ...
TEST(InstallOutcomeTest, EachFurtherInstallationGetsAPrinterOfItsOwn) {
    auto machine = NewMachine("7", true);
    const struct {
        int radio;
        const char* printer;
        const char* port;
    } runs[] = {
        {kRadioCom1, "KORVANT ZMP-K40", "COM1:"},
        {kRadioCom2, "KORVANT ZMP-K40(#1)", "COM2:"},
        {kRadioCom2, "KORVANT ZMP-K40(#2)", "COM2:"},
    };
    for (const auto& r : runs) {
        SCOPED_TRACE(r.printer);
        RunResult run = RunInstaller(*machine, ChoosePort(r.radio));
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_NE(run.children.at(0).commandLine.find(std::string("/b \"") + r.printer + "\""), std::string::npos);
        EXPECT_TRUE(run.Logged(std::string("PRINTER-DRIVER NAME TO ADD : ") + r.printer + " "));
        std::optional<sim::SimPrinter> printer = machine->FindPrinter(r.printer);
        ASSERT_TRUE(printer);
        EXPECT_EQ(printer->port, r.port);
        EXPECT_EQ(printer->driver, kPrinter);
        EXPECT_FALSE(run.Logged("NOT INSTALLED : printer \"" + std::string(r.printer) + "\" on \"" + r.port + "\""));
    }
    EXPECT_EQ(machine->Printers().size(), 3u);
}

}  // namespace
}  // namespace zmp::test
