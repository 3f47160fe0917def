// The installation from start to the end of the process, on simulated
// machines through the program runner: the two install sequences, the
// port's command lines, the version check and the ways a run ends early.
#include <gtest/gtest.h>

#include "platform/Ui.h"
#include "tests/common/Commands.h"
#include "tests/install/InstallFixture.h"

namespace zmp::test {
namespace {

using sim::UserAction;

std::vector<std::string> Statuses(const RunResult& run) {
    std::vector<std::string> out;
    for (const std::string& line : run.Kind("STATUS"))
        if (line != "STATUS") out.push_back(line.substr(7));
    return out;
}

// The transcript without what the dialog shows: when a text reaches the
// screen depends on the dialog's thread.
std::vector<std::string> Actions(const RunResult& run) {
    std::vector<std::string> out;
    for (const std::string& line : run.events)
        if (line.rfind("STATUS", 0) != 0 && line.rfind("PROGRESS", 0) != 0) out.push_back(line);
    return out;
}

TEST(InstallWorkflowTest, Windows7x64UsbFreshInstallsTheDriverOnlyAndRegistersIt) {
    auto machine = NewMachine("7", true);
    RunResult run = RunInstaller(*machine, ChoosePort(kRadioUsb));

    EXPECT_EQ(run.exitCode, 0);
    ASSERT_EQ(run.children.size(), 1u);
    EXPECT_EQ(run.children[0].commandLine,
              "\"C:\\Windows\\system32\\rundll32.exe\" C:\\Windows\\system32\\printui.dll,PrintUIEntry /ia /m \"KORVANT ZMP-K40\" "
              "/f \"C:\\Users\\Public\\Downloads\\ZMPK40\\ZMPK40.inf\"");
    // "Waiting until ..." has no pause after it: the next text may replace
    // it before the dialog's thread shows it.
    std::vector<std::string> statuses = Statuses(run);
    statuses.erase(std::remove(statuses.begin(), statuses.end(),
                               "Waiting until the process has finished processing ...\\r\\n"),
                   statuses.end());
    EXPECT_EQ(statuses,
              (std::vector<std::string>{"Checking existing drivers...\\r\\n", "Preparing for installation...\\r\\n",
                                        "Installing printer...\\r\\n", "Creates a new process \\r\\n",
                                        "The new process is running...\\r\\n",
                                        "The driver has been successfully installed.", "Completed."}));
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].text, kPowerCycle);
    EXPECT_EQ(run.boxes[0].type, mb::kIconInformation);
    // The sequence ends with the spooler started and the pause.
    std::vector<std::string> actions = Actions(run);
    std::vector<std::string> tail(actions.end() - 4, actions.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"BOX " + std::string(kPowerCycle) + " -> OK", test::NetEvent("start"),
                                              "SLEEP 2000", "EXIT 0"}));

    // Driver only: Plug and Play makes the printer when it is switched on.
    EXPECT_TRUE(machine->FindDriver(kPrinter, "Windows x64"));
    EXPECT_TRUE(machine->Printers().empty());
    EXPECT_FALSE(machine->OemInfs().empty());
    // The entry in the 64-bit view, although the installer is 32-bit.
    EXPECT_EQ(machine->GetString(kUninstallKey, "DisplayName"), "KORVANT ZMP-K40 Windows Driver V2.0.6");
    EXPECT_EQ(machine->GetString(kUninstallKey, "UninstallString"), "C:\\Windows\\ZMP-K40\\ZMPK40_Uninstaller.exe");
    EXPECT_FALSE(machine->KeyExists(kUninstallKey32On64));
    EXPECT_EQ(machine->ReadFile("C:\\Windows\\ZMP-K40\\ZMPK40_Uninstaller.exe"), "MZ uninstaller");
    EXPECT_EQ(machine->DirectoryAcl("C:\\Windows\\ZMP-K40").size(), 3u);
    EXPECT_EQ(run.LogBlock("AddToWin2KWithWHQL BEGIN").size() > 0, true);
    EXPECT_TRUE(run.Logged("COMMAND LINE : \"C:\\Windows\\system32\\rundll32.exe\" C:\\Windows\\system32\\printui.dll,PrintUIEntry /ia /m "
                           "\"KORVANT ZMP-K40\" /f \"C:\\Users\\Public\\Downloads\\ZMPK40\\ZMPK40.inf\""));
}

TEST(InstallWorkflowTest, Windows7UsbWithTheDriverInstalledStartsNothingAndRegistersNothing) {
    auto machine = NewMachine("7", true);
    ASSERT_EQ(RunInstaller(*machine, ChoosePort(kRadioUsb)).exitCode, 0);
    // Plug and Play makes the printer, which reports this installer's version.
    machine->PlugUsbPrinter();
    machine->DeleteKeyTree(kUninstallKey);
    machine->Remove("C:\\Windows\\ZMP-K40");

    RunResult run = RunInstaller(*machine, ChoosePort(kRadioUsb));
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.children.empty());
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ(Statuses(run),
              (std::vector<std::string>{"Checking existing drivers...\\r\\n", "Preparing for installation...\\r\\n",
                                        "Installing printer...\\r\\n", "Creates a new process \\r\\n",
                                        "Completed."}));
    EXPECT_EQ(run.Kind("EXEC"), (std::vector<std::string>{test::NetEvent("start"), test::NetEvent("start")}));
    EXPECT_TRUE(run.Logged("AddToWin2KWithWHQL BEGIN"));
    EXPECT_TRUE(run.Logged("AddToWin2KWithWHQL END"));
    EXPECT_FALSE(run.Logged("DeleteVidPid BEGIN"));
    EXPECT_FALSE(run.Logged("RegisterUninstallInfo BEGIN"));
    EXPECT_FALSE(machine->KeyExists(kUninstallKey));
    EXPECT_FALSE(machine->DirectoryExists("C:\\Windows\\ZMP-K40"));
}

// The command line for each port, with the driver missing or there
// already (then " /u" keeps it, and the new printer takes the first free
// name). The driver "there already" comes from a first run on COM4 whose
// printer reports this installer's version.
TEST(InstallWorkflowTest, CommandLinePassesThePortAndUsesAnInstalledDriver) {
    struct Case {
        const char* name;
        sim::Script script;
        bool installedBefore;
        const char* command;
    };
    const std::string head =
        "\"C:\\Windows\\system32\\rundll32.exe\" C:\\Windows\\system32\\printui.dll,PrintUIEntry /if /b ";
    Case cases[] = {
        {"COM1", ChoosePort(kRadioCom1), false,
         "\"KORVANT ZMP-K40\" /f \"C:\\Users\\Public\\Downloads\\ZMPK40\\ZMPK40.inf\" /r \"COM1:\" /m \"KORVANT ZMP-K40\""},
        {"COM2", ChoosePort(kRadioCom2), false,
         "\"KORVANT ZMP-K40\" /f \"C:\\Users\\Public\\Downloads\\ZMPK40\\ZMPK40.inf\" /r \"COM2:\" /m \"KORVANT ZMP-K40\""},
        {"COM3 installed", ChoosePort(kRadioCom3), true,
         "\"KORVANT ZMP-K40(#1)\" /f \"C:\\Users\\Public\\Downloads\\ZMPK40\\ZMPK40.inf\" /r \"COM3:\" /m \"KORVANT ZMP-K40\" /u"},
        {"WLAN", ChoosePort(kRadioWlan, Address(10, 0, 0, 7), "9100"), false,
         "\"KORVANT ZMP-K40\" /f \"C:\\Users\\Public\\Downloads\\ZMPK40\\ZMPK40.inf\" /r \"IP_10.0.0.7\" /m \"KORVANT ZMP-K40\""},
        {"WLAN installed", ChoosePort(kRadioWlan, Address(10, 0, 0, 7), "9100"), true,
         "\"KORVANT ZMP-K40(#1)\" /f \"C:\\Users\\Public\\Downloads\\ZMPK40\\ZMPK40.inf\" /r \"IP_10.0.0.7\" /m \"KORVANT ZMP-K40\" /u"},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto machine = NewMachine("7", true);
        if (c.installedBefore) {
            ASSERT_EQ(RunInstaller(*machine, ChoosePort(kRadioCom4)).exitCode, 0);
        }
        RunResult run = RunInstaller(*machine, std::move(c.script));
        EXPECT_EQ(run.exitCode, 0);
        ASSERT_EQ(run.children.size(), 1u);
        EXPECT_EQ(run.children[0].commandLine, head + c.command);
        // A printer on a port: the restart question, not the power cycle.
        std::vector<std::string> expected;
        if (!c.installedBefore) expected = {kRestartQuestion};
        EXPECT_EQ(run.BoxTexts(), expected);
        if (!c.installedBefore) {
            EXPECT_EQ(run.boxes[0].type, mb::kYesNo | mb::kIconQuestion);
        }
    }
}

TEST(InstallWorkflowTest, ConfiguredWirelessLanMakesThePortFirstWithoutShowingTheDialog) {
    auto machine = NewMachine("7", true,
                              Config("PORTDLG=FALSE\r\nPORT=WLAN\r\nWLAN_IP_1=192\r\nWLAN_IP_2=168\r\n"
                                     "WLAN_IP_3=0\r\nWLAN_IP_4=50\r\nWLAN_PORT=9100\r\n"));
    bool dialogShown = false;
    sim::Script script;
    script.OnDialog(kPortDialog, {UserAction::Call([&] { dialogShown = true; }), UserAction::Escape()});
    script.AnswerYesNo(false);
    RunResult run = RunInstaller(*machine, std::move(script));

    EXPECT_EQ(run.exitCode, 0);
    EXPECT_FALSE(dialogShown);
    ASSERT_EQ(run.children.size(), 1u);
    EXPECT_EQ(run.children[0].commandLine,
              "\"C:\\Windows\\system32\\rundll32.exe\" C:\\Windows\\system32\\printui.dll,PrintUIEntry /if /b \"KORVANT ZMP-K40\" "
              "/f \"C:\\Users\\Public\\Downloads\\ZMPK40\\ZMPK40.inf\" "
              "/r \"IP_192.168.0.50\" /m \"KORVANT ZMP-K40\"");
    // The port exists before the sequence starts.
    EXPECT_LT(run.LogIndex("AddEthernetPort END"), run.LogIndex("AddToWin2KWithWHQL BEGIN"));
    bool found = false;
    for (const sim::SimPort& port : machine->Ports()) {
        if (port.name != "IP_192.168.0.50") continue;
        found = true;
        EXPECT_EQ(port.monitor, "Standard TCP/IP Port");
        EXPECT_EQ(port.hostAddress, "192.168.0.50");
        EXPECT_EQ(port.portNumber, 9100u);
        EXPECT_EQ(port.protocol, 1u);
    }
    EXPECT_TRUE(found);
    auto printer = machine->FindPrinter(kPrinter);
    ASSERT_TRUE(printer);
    EXPECT_EQ(printer->port, "IP_192.168.0.50");
}

TEST(InstallWorkflowTest, WindowsXpCom2RegistersEveryPartItselfAndAsksForTheRestart) {
    auto machine = NewMachine("xp", false);
    sim::Script script = ChoosePort(kRadioCom2);
    script.AnswerYesNo(true);
    RunResult run = RunInstaller(*machine, std::move(script));

    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.children.empty());
    const std::string driverDir = "C:\\WINDOWS\\system32\\spool\\drivers\\w32x86";
    EXPECT_TRUE(machine->FindDriver(kPrinter, "Windows NT x86"));
    bool monitor = false, processor = false;
    for (const auto& m : machine->Monitors()) monitor = monitor || (m.name == kMonitor && m.dll == "ZPMON40.dll");
    for (const auto& p : machine->Processors()) processor = processor || (p.name == kProcessor && p.dll == "ZPPRO40.dll");
    EXPECT_TRUE(monitor);
    EXPECT_TRUE(processor);
    auto printer = machine->FindPrinter(kPrinter);
    ASSERT_TRUE(printer);
    EXPECT_EQ(printer->port, "COM2:");
    EXPECT_EQ(printer->processor, kProcessor);
    EXPECT_EQ(printer->attributes, 0x1800u);
    EXPECT_EQ(printer->status, 0u);  // the spooler ignores the status AddPrinter is given

    for (const char* f : {"UNIDRV.DLL", "ZMP40.dll", "ZPUI40.dll", "ZPUNI40.dll", "ZPUI40.INI", "ZMP40.GPD",
                          "STDNAMES.GPD"}) {
        SCOPED_TRACE(f);
        // Staged for the spooler, then deleted; the spooler keeps its copies.
        EXPECT_FALSE(machine->FileExists(driverDir + "\\" + f));
        EXPECT_TRUE(machine->FileExists(driverDir + "\\3\\" + f));
    }
    // 32-bit Windows before Vista: the driver's own files in the Windows directory too.
    for (const char* f : {"ZMP40.dll", "ZPUI40.dll", "ZPUNI40.dll", "ZPUI40.INI", "ZMP40.GPD"})
        EXPECT_EQ(machine->ReadFile(std::string("C:\\WINDOWS\\") + f), std::string("new Driver32 ") + f) << f;
    EXPECT_TRUE(machine->FileExists("C:\\WINDOWS\\system32\\ZPMON40.dll"));
    EXPECT_TRUE(machine->FileExists("C:\\WINDOWS\\system32\\ZMPK40_Config.KVT") ||
                !machine->FileExists(std::string(kPackage) + "\\ZMPK40_Config.KVT"));

    // The oem INF's path goes into the entry.
    auto inf = machine->GetString(kUninstallKey, "InfFile");
    ASSERT_TRUE(inf);
    EXPECT_EQ(inf->rfind("C:\\WINDOWS\\inf\\oem", 0), 0u) << *inf;
    EXPECT_EQ(machine->GetString(kUninstallKey, "UninstallString"), "C:\\WINDOWS\\ZMP-K40\\ZMPK40_Uninstaller.exe");

    std::vector<std::string> order;
    for (const char* step : {"DeleteVidPid BEGIN", "DeletePrnDrvPnPDirectory BEGIN", "Delete_USB_Info BEGIN",
                             "CopyFilesNeededToAddPrnDrv BEGIN", "AddLanguageMonitor BEGIN",
                             "AddPrinterProcessor BEGIN", "AddPrinterDriverToSystem BEGIN",
                             "AddPrinterToSystem BEGIN", "CopyINFFile BEGIN", "DeleteFilesUsed BEGIN",
                             "RegisterUninstallInfo BEGIN", "CopyFilesOfUtilities BEGIN"}) {
        EXPECT_GE(run.LogIndex(step), 0) << step;
        order.push_back(step);
    }
    for (size_t i = 1; i < order.size(); ++i)
        EXPECT_LT(run.LogIndex(order[i - 1]), run.LogIndex(order[i])) << order[i];
    EXPECT_TRUE(run.Logged("PRINTER-DRIVER NAME TO ADD : KORVANT ZMP-K40 "));

    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].text, kRestartQuestion);
    EXPECT_EQ(run.boxes[0].type, 0x24u);
    EXPECT_EQ(machine->RestartsRequested(), 1u);
    // Yes: the END line before the restart request, and again at the end.
    EXPECT_EQ(run.LogCount("AddToWin2K END"), 2);
    // No "net start spooler" at the end of this sequence, only the pause.
    std::vector<std::string> actions = Actions(run);
    auto question = std::find(actions.begin(), actions.end(), "BOX " + sim::Events::Escape(kRestartQuestion) + " -> YES");
    ASSERT_NE(question, actions.end());
    std::vector<std::string> tail(question + 1, actions.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"RESTART", "SLEEP 2000", "EXIT 0"}));
}

TEST(InstallWorkflowTest, WindowsXpWithTheSameVersionAddsANumberedPrinterOnly) {
    auto machine = NewMachine("xp", false);
    ASSERT_EQ(RunInstaller(*machine, ChoosePort(kRadioCom2)).exitCode, 0);
    machine->DeleteKeyTree(kUninstallKey);

    RunResult second = RunInstaller(*machine, ChoosePort(kRadioCom2));
    EXPECT_EQ(second.exitCode, 0);
    EXPECT_TRUE(second.boxes.empty());
    EXPECT_TRUE(second.Logged("KORVANT ZMP-K40 PRINTER DRIVER EXISTS."));
    EXPECT_TRUE(second.Logged("PRINTER-DRIVER NAME TO ADD : KORVANT ZMP-K40(#1) "));
    EXPECT_FALSE(second.Logged("AddLanguageMonitor BEGIN"));
    EXPECT_FALSE(second.Logged("RegisterUninstallInfo BEGIN"));
    EXPECT_FALSE(machine->KeyExists(kUninstallKey));
    ASSERT_TRUE(machine->FindPrinter("KORVANT ZMP-K40(#1)"));
    EXPECT_EQ(machine->FindPrinter("KORVANT ZMP-K40(#1)")->port, "COM2:");

    // And the next free number after that.
    RunResult third = RunInstaller(*machine, ChoosePort(kRadioCom3));
    EXPECT_TRUE(third.Logged("PRINTER-DRIVER NAME TO ADD : KORVANT ZMP-K40(#2) "));
    EXPECT_TRUE(machine->FindPrinter("KORVANT ZMP-K40(#2)"));
}

// A different installed version is removed and Windows restarted; nothing
// is installed in that run.
TEST(InstallWorkflowTest, ADifferentInstalledVersionIsRemovedAndWindowsRestarted) {
    struct Case {
        const char* name;
        const char* os;
        bool is64;
        const char* installed;  // as the earlier package's INF gives it
    };
    const Case cases[] = {
        {"newer, 7 x64", "7", true, "2.1.0.0"},
        {"older, 7 x64", "7", true, "2.0.5.9"},
        {"newer, Vista", "vista", false, "3.0.0.0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto machine = NewMachine(c.os, c.is64);
        SetPackageVersion(*machine, c.installed);
        ASSERT_EQ(RunInstaller(*machine, ChoosePort(kRadioCom1)).exitCode, 0);
        SetPackageVersion(*machine, "2.0.6.0");
        const unsigned restartsBefore = machine->RestartsRequested();

        RunResult run = RunInstaller(*machine, ChoosePort(kRadioCom1));
        EXPECT_EQ(run.exitCode, 0);
        ASSERT_EQ(run.boxes.size(), 2u);
        EXPECT_EQ(run.boxes[0].text,
                  "There is a different version driver in this system.\r\n\r\nThe installed driver will be removed.");
        EXPECT_EQ(run.boxes[0].type, mb::kIconInformation);
        EXPECT_EQ(run.boxes[1].text,
                  "The installer has successfully removed the different version.\n"
                  "Now it is going to restart your computer to take effect.\n"
                  "After restarting, you may reinstall the driver again.");
        EXPECT_EQ(run.boxes[1].type, mb::kIconInformation);
        EXPECT_EQ(machine->RestartsRequested(), restartsBefore + 1);
        EXPECT_TRUE(run.children.empty());
        EXPECT_FALSE(run.Logged("AddToWin2KWithWHQL BEGIN"));
        EXPECT_FALSE(run.Logged("AddToWin2K BEGIN"));
        EXPECT_FALSE(machine->FindPrinter(kPrinter));
        EXPECT_FALSE(machine->FindDriver(kPrinter, machine->Os().NativeEnvironment()));
    }
}

TEST(InstallWorkflowTest, RefusedOsAndCancelledPortDialogEndWithoutInstalling) {
    {
        SCOPED_TRACE("Windows 98");
        auto machine = NewMachine("98", false);
        RunResult run = RunInstaller(*machine, ChoosePort(kRadioUsb));
        EXPECT_EQ(run.exitCode, 0);
        ASSERT_EQ(run.boxes.size(), 1u);
        EXPECT_EQ(run.boxes[0].text, "THE DRIVER CAN NOT BE INSTALLED ON THIS OS.");
        EXPECT_EQ(run.boxes[0].type, mb::kIconInformation);
        EXPECT_FALSE(run.Logged("GetDriverInfoFromFile BEGIN"));
        EXPECT_TRUE(machine->Drivers().empty() || !machine->FindDriver(kPrinter, "Windows 4.0"));
    }
    {
        SCOPED_TRACE("cancelled");
        auto machine = NewMachine("7", true);
        sim::Script script;
        script.OnDialog(kPortDialog, {UserAction::Click(kRadioUsb), UserAction::Escape()});
        RunResult run = RunInstaller(*machine, std::move(script));
        EXPECT_EQ(run.exitCode, 0);
        ASSERT_EQ(run.boxes.size(), 1u);
        EXPECT_EQ(run.boxes[0].text, "The driver installation canceled.");
        EXPECT_EQ(run.boxes[0].type, mb::kIconInformation);
        EXPECT_TRUE(run.Logged("The driver installation canceled."));
        EXPECT_FALSE(run.Logged("AddToWin2KWithWHQL BEGIN"));
        EXPECT_FALSE(machine->FindDriver(kPrinter, "Windows x64"));
    }
}

// The refusal ends below OS code 2004: Windows NT 4 (2003) is refused,
// Windows 2000 (2004) installs through the registration sequence.
TEST(InstallWorkflowTest, WindowsBelow2000IsRefusedAndWindows2000Installs) {
    struct Case {
        const char* os;
        bool refused;
    };
    const Case cases[] = {{"nt4", true}, {"2000", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.os);
        auto machine = NewMachine(c.os, false);
        RunResult run = RunInstaller(*machine, ChoosePort(kRadioCom1));
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.BoxTexts() == std::vector<std::string>{"THE DRIVER CAN NOT BE INSTALLED ON THIS OS."},
                  c.refused);
        EXPECT_EQ(run.Logged("AddToWin2K BEGIN"), !c.refused);
        EXPECT_EQ(run.Logged("AddPrinterDriverToSystem END"), !c.refused);
        EXPECT_EQ(machine->FindPrinter(kPrinter).has_value(), !c.refused);
    }
}

TEST(InstallWorkflowTest, ChildThatDoesNotFinishEndsTheProcessWithMinusOne) {
    auto machine = NewMachine("7", true);
    machine->ModelSwitches().childTimesOut = true;
    RunResult run = RunInstaller(*machine, ChoosePort(kRadioUsb));
    EXPECT_EQ(run.exitCode, -1);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].text, "The process could not finish the installation.");
    EXPECT_EQ(run.boxes[0].type, mb::kIconStop);
    EXPECT_TRUE(run.Logged("WAIT_TIMEOUT"));
    EXPECT_FALSE(run.Logged("RegisterUninstallInfo BEGIN"));
    EXPECT_EQ(run.events.back(), "EXIT -1");
}

TEST(InstallWorkflowTest, FailedCreateProcessIsReportedAndEndsWithMinusOne) {
    auto machine = NewMachine("7", true);
    machine->ModelSwitches().createProcessError = err::kFileNotFound;
    RunResult run = RunInstaller(*machine, ChoosePort(kRadioUsb));
    EXPECT_EQ(run.exitCode, -1);
    EXPECT_EQ(run.events.back(), "EXIT -1");
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].text, "CreateProcess failed.");
    EXPECT_EQ(run.boxes[0].type, mb::kOk);
    EXPECT_TRUE(run.Logged("CreateProcess failed. (2)"));
    EXPECT_TRUE(run.Logged("COMMAND LINE : \"C:\\Windows\\system32\\rundll32.exe\" C:\\Windows\\system32\\printui.dll,PrintUIEntry /ia /m "
                           "\"KORVANT ZMP-K40\" /f \"C:\\Users\\Public\\Downloads\\ZMPK40\\ZMPK40.inf\""));
    // Nothing ran, so nothing of ours is there to remove: no entry offering
    // to, and no word of success.
    EXPECT_FALSE(machine->KeyExists(kUninstallKey));
    EXPECT_FALSE(machine->FileExists("C:\\Windows\\ZMP-K40\\ZMPK40_Uninstaller.exe"));
    std::vector<std::string> statuses = Statuses(run);
    EXPECT_EQ(std::count(statuses.begin(), statuses.end(), "The driver has been successfully installed."), 0);
    EXPECT_EQ(std::count(statuses.begin(), statuses.end(), "Completed."), 0);
}

TEST(InstallWorkflowTest, RefusedPrinterEndsTheProcessAfterTheErrorBox) {
    auto machine = NewMachine("xp", false);
    RunResult run = RunInstaller(*machine, ChoosePort(kRadioCom1), [](sim::SimSystem& system, sim::HeadlessUi&) {
        system.Faults().Fail("Spooler.AddPrinter", err::kUnknownPort);
    });
    EXPECT_EQ(run.exitCode, -1);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].text.rfind("AddPrinter, Error Code: 1796\n\n", 0), 0u) << run.boxes[0].text;
    EXPECT_GT(run.boxes[0].text.size(), std::string("AddPrinter, Error Code: 1796\n\n").size());
    EXPECT_EQ(run.boxes[0].type, mb::kIconError);
    EXPECT_TRUE(run.Logged("AddPrinterToSystem END"));
    EXPECT_FALSE(run.Logged("CopyINFFile BEGIN"));
    EXPECT_FALSE(run.Logged("AddToWin2K END"));
    EXPECT_EQ(run.events.back(), "EXIT -1");
}

}  // namespace
}  // namespace zmp::test
