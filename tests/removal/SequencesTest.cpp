// The removal sequences and what differs between the three owners.
#include <gtest/gtest.h>

#include "tests/removal/RemoverFixture.h"

namespace zmp::test {
namespace {

// The BEGIN and END lines, in order.
std::vector<std::string> StepMarks(const std::vector<std::string>& lines) {
    std::vector<std::string> out;
    for (const std::string& line : lines) {
        auto ends = [&](const char* s) {
            std::string suffix(s);
            return line.size() > suffix.size() && line.compare(line.size() - suffix.size(), suffix.size(), suffix) == 0;
        };
        if (ends(" BEGIN") || ends(" END")) out.push_back(line);
    }
    return out;
}

// A machine with everything of the driver on it.
void InstallEverything(RemoverRun& run) {
    sim::Machine& m = *run.machine;
    const std::string env = m.Os().NativeEnvironment();
    sim::SimDriver driver;
    driver.name = kDriverName;
    driver.environment = env;
    driver.driverPath = "ZMP40.dll";
    driver.dataFile = "ZMP40.GPD";
    driver.configFile = "ZPUI40.dll";
    driver.dependentFiles = {"ZMP40.BUD", "ZPUNI40.dll", "ZPUI40.INI"};
    driver.monitorName = kMonitorName;
    m.AddDriverRecord(driver);
    m.AddMonitorRecord({kMonitorName, env, "ZPMON40.dll"});
    m.WriteFile(m.SystemDirectory() + "\\ZPMON40.dll", "MZ");
    m.AddProcessorRecord({kProcessorName, env, "ZPPRO40.dll"});
    m.WriteFile(m.PrintProcessorDirectory(env) + "\\ZPPRO40.dll", "MZ");
    m.AddForm("Label 58mm [K40]");
    m.WriteFile(m.InfDirectory() + "\\oem21.inf", PrinterInf());
    m.WriteFile(m.InfDirectory() + "\\oem21.PNF", "pnf");
    m.CreateKey(std::string("HKLM\\") + kUninstallKey);
    m.WriteFile("C:\\KORVANT Printer Driver\\ZMP-K40\\ZMPK40_Uninstaller.exe", "MZ");
    m.PlugUsbPrinter();
    m.UnplugUsbPrinter();
}

TEST(Sequences, UninstallerFullRemovalOn64BitWindows) {
    RemoverRun run("7", true, Variant::Uninstaller);
    InstallEverything(run);
    sim::Machine& m = *run.machine;
    // The printer object Plug and Play made goes first, as in the uninstaller.
    if (m.FindPrinter(kDriverName)) run.remover.DeletePrinterObject(kDriverName);
    run.ClearLog();

    run.remover.RemoveFromOS();
    run.remover.DeleteVidPid();
    run.remover.Delete_USB_Info();
    run.remover.DeletePrnDrvPnPDirectory();
    run.remover.DeleteUninstallInfoFromReg();
    run.remover.DeleteInstalledDirectory();

    EXPECT_EQ(StepMarks(run.LogLines()), (std::vector<std::string>{
                                             "DeleteForms BEGIN",
                                             "DeleteForms END",
                                             "DeletePrinterDrv BEGIN",
                                             "DeletePrinterDrv END",
                                             "DeleteLanguageMonitor BEGIN",
                                             "DeleteLanguageMonitor END",
                                             "DeleteProcessor BEGIN",
                                             "DeleteProcessor END",
                                             "DeleteDriverComponent BEGIN",
                                             "DeleteDriverComponent END",
                                             "DeleteINFFile BEGIN",
                                             "DeleteINFFile END",
                                             "DeleteUninstallationInfo BEGIN",
                                             "DeleteUninstallationInfo END",
                                             "DeleteVidPid BEGIN",
                                             "DeleteVidPid END",
                                             "Delete_USB_Info BEGIN",
                                             "Delete_USB_Info END",
                                             "DeletePrnDrvPnPDirectory BEGIN",
                                             "DeletePrnDrvPnPDirectory END",
                                             "DeleteUninstallInfoFromReg BEGIN",
                                             "DeleteUninstallInfoFromReg END",
                                             "DeleteInstalledDirectory BEGIN",
                                             "DeleteInstalledDirectory END",
                                         }));
    EXPECT_TRUE(m.Drivers().empty());
    EXPECT_FALSE(run.HasMonitor(kMonitorName));
    EXPECT_FALSE(run.HasProcessor(kProcessorName));
    EXPECT_FALSE(run.HasForm("Label 58mm [K40]"));
    EXPECT_FALSE(m.FileExists(m.InfDirectory() + "\\oem21.inf"));
    EXPECT_FALSE(m.FileExists(m.InfDirectory() + "\\oem21.PNF"));
    EXPECT_FALSE(m.KeyExists(std::string("HKLM\\") + kUninstallKey));
    EXPECT_TRUE(m.Devices().empty());
    EXPECT_FALSE(m.DirectoryExists("C:\\KORVANT Printer Driver"));
    // The files in the x64 directories and the monitor in the native system32.
    const std::string env = run.NativeEnvironment();
    for (const char* f : {"ZMP40.dll", "ZMP40.GPD", "ZPUI40.dll", "ZMP40.BUD", "ZPUNI40.dll", "ZPUI40.INI"})
        EXPECT_FALSE(m.FileExists(m.PrinterDriverDirectory(env) + "\\3\\" + f)) << f;
    EXPECT_FALSE(m.FileExists(m.PrintProcessorDirectory(env) + "\\ZPPRO40.dll"));
    EXPECT_FALSE(m.FileExists(m.SystemDirectory() + "\\ZPMON40.dll"));
    EXPECT_TRUE(m.SpoolerRunning());
    EXPECT_EQ(run.progress.reports, (std::vector<std::string>{
                                        "none Deleting forms...",
                                        "none Deleting printer-drivers...",
                                        "none Deleting L/M...",
                                        "none Deleting the processor...",
                                        "step Deleting driver-components...",
                                        "none Deleting the INF file...",
                                        "step Deleting Vid & Pid info...",
                                        "step Deleting information of LPT and USB...",
                                        "step Deleting PNP directories...",
                                    }));
}

TEST(Sequences, InstallerRemoveDriversOnXp) {
    RemoverRun run("xp", false, Variant::InstallerDialog);
    InstallEverything(run);
    sim::Machine& m = *run.machine;
    // The printer object Plug and Play made goes first, as in RemoveInstalledVersion.
    if (m.FindPrinter(kDriverName)) run.remover.DeletePrinterObject(kDriverName);
    run.ClearLog();

    EXPECT_EQ(run.remover.RemoveDrivers(), std::vector<std::string>{});

    EXPECT_EQ(StepMarks(run.LogLines()), (std::vector<std::string>{
                                             "RemoveDrivers BEGIN",
                                             "RemoveFromOS BEGIN",
                                             "DeleteForms BEGIN",
                                             "DeleteForms END",
                                             "DeletePrinterDrv BEGIN",
                                             "DeletePrinterDrv END",
                                             "DeleteLanguageMonitor BEGIN",
                                             "DeleteLanguageMonitor END",
                                             "DeleteProcessor BEGIN",
                                             "DeleteProcessor END",
                                             "DeleteFilesUsed BEGIN",
                                             "DeleteFilesUsed END",
                                             "DeleteINFFile BEGIN",
                                             "DeleteINFFile END",
                                             "DeleteUninstallationInfo BEGIN",
                                             "DeleteUninstallationInfo END",
                                             "RemoveFromOS END",
                                             "DeleteVidPid BEGIN",
                                             "DeleteVidPid END",
                                             "Delete_LPT_USB_Info BEGIN",
                                             "Delete_LPT_USB_Info END",
                                             "DeletePrnDrvPnPDirectory BEGIN",
                                             "DeletePrnDrvPnPDirectory END",
                                             "VerifyRemoval BEGIN",
                                             "VerifyRemoval END",
                                             "RemoveDrivers END",
                                         }));
    EXPECT_TRUE(m.Drivers().empty());
    EXPECT_FALSE(m.FileExists(m.InfDirectory() + "\\oem21.inf"));
    EXPECT_FALSE(m.KeyExists(std::string("HKLM\\") + kUsbEnumKey));
    // The installer leaves its own folder alone.
    EXPECT_TRUE(m.FileExists("C:\\KORVANT Printer Driver\\ZMP-K40\\ZMPK40_Uninstaller.exe"));
    EXPECT_EQ(run.progress.reports, (std::vector<std::string>{
                                        "step Removing printer-driver...",
                                        "none Deleting Vid & Pid info...",
                                        "none Deleting information of LPT and USB...",
                                        "none Deleting PNP directories...",
                                        "complete The uninstallation has been completed.",
                                    }));
    std::vector<std::string> events = run.Events("SLEEP");
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.front(), "SLEEP 1000");
    EXPECT_EQ(events.back(), "SLEEP 1000");
}

struct PnpCase {
    const char* name;
    Variant variant;
    const char* usbStep;
    std::vector<std::string> reports;
    std::vector<std::string> sleeps;
};

class PlugAndPlayStepsByOwner : public ::testing::TestWithParam<PnpCase> {};

TEST_P(PlugAndPlayStepsByOwner, NamesReportsAndPauses) {
    const PnpCase& c = GetParam();
    RemoverRun run("7", true, c.variant);

    run.remover.DeleteVidPid();
    run.remover.DeletePrnDrvPnPDirectory();
    run.remover.Delete_USB_Info();

    EXPECT_EQ(StepMarks(run.LogLines()),
              (std::vector<std::string>{"DeleteVidPid BEGIN", "DeleteVidPid END", "DeletePrnDrvPnPDirectory BEGIN",
                                        "DeletePrnDrvPnPDirectory END", std::string(c.usbStep) + " BEGIN",
                                        std::string(c.usbStep) + " END"}));
    EXPECT_EQ(run.progress.reports, c.reports);
    EXPECT_EQ(run.Events("SLEEP"), c.sleeps);
}

INSTANTIATE_TEST_SUITE_P(
    Owners, PlugAndPlayStepsByOwner,
    ::testing::Values(
        PnpCase{"InstallerDialog",
                Variant::InstallerDialog,
                "Delete_LPT_USB_Info",
                {"none Deleting Vid & Pid info...", "none Deleting PNP directories...",
                 "none Deleting information of LPT and USB..."},
                {"SLEEP 500", "SLEEP 500", "SLEEP 500"}},
        PnpCase{"InstallerEngine", Variant::InstallerEngine, "Delete_USB_Info", {}, {}},
        PnpCase{"Uninstaller",
                Variant::Uninstaller,
                "Delete_USB_Info",
                {"step Deleting Vid & Pid info...", "step Deleting PNP directories...",
                 "step Deleting information of LPT and USB..."},
                {"SLEEP 500", "SLEEP 500", "SLEEP 500"}}),
    [](const ::testing::TestParamInfo<PnpCase>& info) { return std::string(info.param.name); });

TEST(Sequences, UninstallerRemoveFromOSReturnsTheUninstallEntrysResult) {
    RemoverRun run("xp", false, Variant::Uninstaller);
    EXPECT_FALSE(run.remover.RemoveFromOS());  // nothing installed, no entry
    run.machine->CreateKey(std::string("HKLM\\") + kUninstallKey);
    EXPECT_TRUE(run.remover.RemoveFromOS());
}

}  // namespace
}  // namespace zmp::test
