// The PrintUIEntry child and Plug and Play's answer to the USB printer.
#include <fstream>
#include <functional>
#include <sstream>

#include "tests/simulator/SimFixture.h"

namespace zmp::sim::test {
namespace {

const char* const kChildDriver = "KORVANT ZMP-K40";

// Starts the child as the installer does and waits for it.
Dword RunChild(Sim& sim, const std::string& commandLine) {
    StartupInfo startup;
    startup.flags = proc::kStartfUseShowWindow | proc::kStartfForceOnFeedback;
    startup.showWindow = proc::kSwHide;
    ProcessInformation info;
    Status created = sim.sys.processes.CreateProcess("", commandLine, proc::kNormalPriorityClass, "", startup, info);
    if (!created.ok()) return created.code;
    Dword wait = sim.sys.processes.WaitForSingleObject(info.process, 120000);
    sim.sys.processes.CloseHandle(info.process);
    sim.sys.processes.CloseHandle(info.thread);
    return wait;
}

std::string Ia() { return "cmd /c RUNDLL32 printui.dll,PrintUIEntry /ia /m \"KORVANT ZMP-K40\" /f .\\ZMPK40.inf"; }
std::string If(const std::string& port) {
    return "cmd /c RUNDLL32 printui.dll,PrintUIEntry /if /b \"KORVANT ZMP-K40\" /f .\\ZMPK40.inf /r \"" + port +
           "\" /m \"KORVANT ZMP-K40\"";
}

TEST(SimChild, InstallDriverFromTheInfForTheNativeEnvironment) {
    struct Case {
        const char* preset;
        bool is64;
        const char* environment;
        const char* source;
        const char* driverDir;
    } cases[] = {
        {"7", false, "Windows NT x86", "Driver32", "C:\\Windows\\system32\\spool\\drivers\\w32x86"},
        {"7", true, "Windows x64", "Driver64", "C:\\Windows\\system32\\spool\\drivers\\x64"},
    };
    for (const Case& c : cases) {
        Sim sim(c.preset, c.is64);
        Machine& m = *sim.machine;
        WritePackage(m);
        EXPECT_EQ(RunChild(sim, Ia()), proc::kWaitObject0);
        ASSERT_EQ(sim.sys.processes.Children().at(0).exitCode, 0u) << c.environment;
        std::optional<SimDriver> driver = m.FindDriver(kChildDriver, c.environment);
        ASSERT_TRUE(driver) << c.environment;
        EXPECT_EQ(driver->driverPath, "UNIDRV.DLL");
        EXPECT_EQ(driver->dataFile, "ZMP40.GPD");
        EXPECT_EQ(driver->monitorName, "KVT Language Monitor ZMP-K40");
        EXPECT_EQ(driver->reportedData.at("BuildVersion"), 6u);
        EXPECT_EQ(*m.ReadFile(std::string(c.driverDir) + "\\3\\ZPUNI40.dll"), std::string(c.source) + " ZPUNI40.dll");
        EXPECT_EQ(*m.ReadFile(m.SystemDirectory() + "\\ZPMON40.dll"), std::string(c.source) + " ZPMON40.dll");
        EXPECT_TRUE(m.FileExists(m.PrintProcessorDirectory(c.environment) + "\\ZPPRO40.dll"));
        bool processor = false;
        for (const SimProcessor& p : m.Processors())
            processor = processor || (p.name == "KVT PRINT PROCESSOR ZMP-K40" && p.environment == c.environment);
        EXPECT_TRUE(processor);
        EXPECT_EQ(m.OemInfs(), (std::vector<std::string>{"oem0.inf"}));  // Windows keeps the INF
        EXPECT_EQ(driver->oemInf, "oem0.inf");
        EXPECT_TRUE(m.Printers().empty());
        EXPECT_EQ(sim.events.Lines().at(0), "EXEC " + Ia());
    }
}

TEST(SimChild, InstallPrinterOnAPortAddsTheDriverFirst) {
    Sim sim("vista", true);
    Machine& m = *sim.machine;
    WritePackage(m);
    ASSERT_EQ(RunChild(sim, If("COM2:")), proc::kWaitObject0);
    std::vector<SimPrinter> printers = m.Printers();
    ASSERT_EQ(printers.size(), 1u);
    EXPECT_EQ(printers[0].name, kChildDriver);
    EXPECT_EQ(printers[0].port, "COM2:");
    EXPECT_EQ(printers[0].processor, "KVT PRINT PROCESSOR ZMP-K40");
    EXPECT_TRUE(m.IsHeld("C:\\Windows\\system32\\spool\\drivers\\x64\\3\\ZMP40.dll"));

    // A second printer with /u uses the installed driver; a port that does
    // not exist makes the child fail and add nothing.
    std::string second = "cmd /c RUNDLL32 printui.dll,PrintUIEntry /if /b \"Second\" /f .\\ZMPK40.inf /r \"COM3:\" "
                         "/m \"KORVANT ZMP-K40\" /u";
    ASSERT_EQ(RunChild(sim, second), proc::kWaitObject0);
    ASSERT_EQ(RunChild(sim, If("IP_10.0.0.9")), proc::kWaitObject0);
    EXPECT_EQ(sim.sys.processes.Children().at(2).exitCode, err::kPrinterAlreadyExists);
    EXPECT_EQ(m.Printers().size(), 2u);
    EXPECT_EQ(m.OemInfs().size(), 1u);  // the same INF stays one oem INF
}

TEST(SimChild, ThePackagesOwnInfInstallsOnBothArchitectures) {
    std::ifstream in(std::string(ZMP_SOURCE_DIR) + "/package/ZMPK40.inf", std::ios::binary);
    if (!in) GTEST_SKIP() << "no package/ZMPK40.inf";
    std::stringstream inf;
    inf << in.rdbuf();
    for (bool is64 : {false, true}) {
        Sim sim("7", is64);
        WritePackage(*sim.machine);
        sim.machine->WriteFile("C:\\Package\\ZMPK40.inf", inf.str());
        ASSERT_EQ(RunChild(sim, If("COM1:")), proc::kWaitObject0);
        EXPECT_EQ(sim.sys.processes.Children().at(0).exitCode, 0u) << is64;
        ASSERT_EQ(sim.machine->Printers().size(), 1u) << is64;
        EXPECT_EQ(sim.machine->Printers()[0].processor, "KVT PRINT PROCESSOR ZMP-K40");
        std::optional<SimDriver> driver = sim.machine->FindDriver(kChildDriver, is64 ? "Windows x64" : "Windows NT x86");
        ASSERT_TRUE(driver) << is64;
        EXPECT_EQ(driver->monitorName, "KVT Language Monitor ZMP-K40");
        EXPECT_EQ(driver->reportedData.at("MajorVersion"), 2u);
    }
}

TEST(SimChild, ChildFailuresTheInstallerMeets) {
    {
        Sim sim("7");
        WritePackage(*sim.machine);
        sim.machine->ModelSwitches().childTimesOut = true;
        LocalTime before = sim.machine->Now();
        EXPECT_EQ(RunChild(sim, Ia()), proc::kWaitTimeout);
        EXPECT_TRUE(sim.machine->Drivers().empty());
        LocalTime after = sim.machine->Now();
        EXPECT_EQ((after.minute + 60 - before.minute) % 60, 2u);  // the wait ran out on the virtual clock
    }
    {
        Sim sim("7");
        WritePackage(*sim.machine);
        sim.machine->ModelSwitches().createProcessError = err::kFileNotFound;
        sim.Magic();
        EXPECT_EQ(RunChild(sim, Ia()), err::kFileNotFound);
        EXPECT_EQ(sim.LastError(), err::kFileNotFound);
    }
    {
        Sim sim("7");  // no package in the current directory
        EXPECT_EQ(RunChild(sim, Ia()), proc::kWaitObject0);
        EXPECT_EQ(sim.sys.processes.Children().at(0).exitCode, err::kFileNotFound);
        EXPECT_TRUE(sim.machine->Drivers().empty());
    }
    {
        Sim sim("7", true);  // an INF without the decorated section has no model for x64
        WritePackage(*sim.machine);
        std::string inf = *sim.machine->ReadFile("C:\\Package\\ZMPK40.inf");
        inf.replace(inf.find("KORVANT=KORVANT,NTamd64"), 23, "KORVANT=KORVANT");
        sim.machine->WriteFile("C:\\Package\\ZMPK40.inf", inf);
        EXPECT_EQ(RunChild(sim, Ia()), proc::kWaitObject0);
        EXPECT_EQ(sim.sys.processes.Children().at(0).exitCode, err::kUnknownPrinterDriver);
    }
}

TEST(SimChild, PlugTheUsbPrinter) {
    Sim sim("7", true);
    Machine& m = *sim.machine;
    m.PlugUsbPrinter();  // no driver yet: traces only
    ASSERT_EQ(m.Devices().size(), 1u);
    SimDevice device = m.Devices()[0];
    EXPECT_EQ(device.instanceId, "USB\\VID_7F3C&PID_0042\\ZMP0001");
    EXPECT_EQ(device.hardwareIds,
              (std::vector<std::string>{"USB\\Vid_7F3C&Pid_0042&Rev_0100", "USB\\Vid_7F3C&Pid_0042"}));
    EXPECT_TRUE(device.present);
    EXPECT_EQ(m.SubKeys("HKLM\\SYSTEM\\CurrentControlSet\\Enum\\USBPRINT\\KORVANT_ZMP-K40").size(), 1u);
    EXPECT_FALSE(m.KeyDeletable("HKLM\\SYSTEM\\CurrentControlSet\\Enum\\USBPRINT\\KORVANT_ZMP-K40"));
    EXPECT_TRUE(m.DirectoryExists("C:\\Windows\\system32\\spool\\drivers\\x64\\korvant_zmp_k402463"));
    EXPECT_TRUE(m.Printers().empty());

    WritePackage(m);
    ASSERT_EQ(RunChild(sim, Ia()), proc::kWaitObject0);
    EXPECT_TRUE(m.Printers().empty());  // the user has to switch it off and on
    m.UnplugUsbPrinter();
    EXPECT_FALSE(m.Devices()[0].present);
    m.PlugUsbPrinter();
    ASSERT_EQ(m.Printers().size(), 1u);
    EXPECT_EQ(m.Printers()[0].name, kChildDriver);
    EXPECT_EQ(m.Printers()[0].port, "USB001");
    EXPECT_EQ(m.Devices()[0].oemInf, "oem0.inf");
    m.PlugUsbPrinter();
    EXPECT_EQ(m.Printers().size(), 1u);
}

// What the child leaves on the machine: every trace of an installation.
struct Traces {
    size_t drivers, monitors, processors, printers, oemInfs, files;
    bool operator==(const Traces& o) const {
        return drivers == o.drivers && monitors == o.monitors && processors == o.processors &&
               printers == o.printers && oemInfs == o.oemInfs && files == o.files;
    }
};
Traces TracesOf(const Machine& m) {
    return {m.Drivers().size(), m.Monitors().size(), m.Processors().size(), m.Printers().size(), m.OemInfs().size(),
            m.ListDirectory(m.PrinterDriverDirectory(m.Os().NativeEnvironment()) + "\\3").size() +
                m.ListDirectory(m.SystemDirectory()).size()};
}

TEST(SimChild, AFailingChildEndsWithItsCodeAndInstallsNothing) {
    struct Case {
        const char* what;
        std::function<void(Machine&)> change;
        std::string command;
        Dword code;
    } cases[] = {
        {"a driver file missing", [](Machine& m) { m.Remove("C:\\Package\\Driver64\\ZPUI40.dll"); }, If("COM1:"),
         err::kFileNotFound},
        {"the monitor DLL missing", [](Machine& m) { m.Remove("C:\\Package\\Driver64\\ZPMON40.dll"); }, Ia(),
         err::kFileNotFound},
        {"no files at all", [](Machine& m) { m.Remove("C:\\Package\\Driver64"); }, Ia(), err::kFileNotFound},
        {"an empty package folder",
         [](Machine& m) {
             for (const std::string& entry : m.ListDirectory("C:\\Package")) m.Remove("C:\\Package\\" + entry);
         },
         If("COM1:"), err::kFileNotFound},
        {"model renamed",
         [](Machine& m) {
             std::string inf = *m.ReadFile("C:\\Package\\ZMPK40.inf");
             for (size_t at; (at = inf.find("\"KORVANT ZMP-K40\" =")) != std::string::npos;) inf.replace(at, 17, "\"KORVANT ZMP-K41\"");
             m.WriteFile("C:\\Package\\ZMPK40.inf", inf);
         },
         Ia(), err::kUnknownPrinterDriver},
        {"no section decorated for x64",
         [](Machine& m) {
             std::string inf = *m.ReadFile("C:\\Package\\ZMPK40.inf");
             m.WriteFile("C:\\Package\\ZMPK40.inf", inf.replace(inf.find("KORVANT=KORVANT,NTamd64"), 23, "KORVANT=KORVANT"));
         },
         If("COM1:"), err::kUnknownPrinterDriver},
        {"the .NTamd64 models section missing, though listed",
         [](Machine& m) {
             std::string inf = *m.ReadFile("C:\\Package\\ZMPK40.inf");
             const size_t at = inf.find("[KORVANT.NTamd64]");
             m.WriteFile("C:\\Package\\ZMPK40.inf", inf.erase(at, inf.find("[ZMPK40_X86]") - at));
         },
         If("COM1:"), err::kUnknownPrinterDriver},
        {"the printer's name taken",
         [](Machine& m) {
             SimDriver other;
             other.name = "ACME";
             other.driverPath = "ACME.DLL";
             other.dataFile = "ACME.GPD";
             other.configFile = "ACMEUI.DLL";
             m.AddDriverRecord(other);
             m.AddPrinterRecord(Printer(kChildDriver, "ACME", "LPT1:"));
         },
         If("COM1:"), err::kPrinterAlreadyExists},
        {"no such port", [](Machine&) {}, If("IP_10.0.0.9"), err::kUnknownPort},
        {"a DLL for the other machine",
         [](Machine& m) { m.WriteFile("C:\\Package\\Driver64\\ZPUNI40.dll", Dll("Windows NT x86")); }, Ia(), 216},
        {"a monitor without its entry point",
         [](Machine& m) { m.WriteFile("C:\\Package\\Driver64\\ZPMON40.dll", Dll("Windows x64", {"DllMain"})); }, Ia(),
         err::kProcNotFound},
    };
    for (const Case& c : cases) {
        Sim sim("7", true);
        Machine& m = *sim.machine;
        WritePackage(m);
        c.change(m);
        const Traces before = TracesOf(m);
        ASSERT_EQ(RunChild(sim, c.command), proc::kWaitObject0) << c.what;
        EXPECT_EQ(sim.sys.processes.Children().at(0).exitCode, c.code) << c.what;
        EXPECT_TRUE(TracesOf(m) == before) << c.what;
        EXPECT_FALSE(m.FindDriver(kChildDriver, "Windows x64")) << c.what;
    }
}

TEST(SimChild, TheExitCodeIsReadOnceTheChildHasEnded) {
    for (bool timesOut : {false, true}) {
        Sim sim("7", true);
        WritePackage(*sim.machine);
        sim.machine->ModelSwitches().childTimesOut = timesOut;
        sim.machine->Remove("C:\\Package\\Driver64\\ZPUI40.dll");
        StartupInfo startup;
        ProcessInformation child;
        ASSERT_TRUE(sim.sys.processes.CreateProcess("", If("COM1:"), 0, "", startup, child).ok());
        Dword code = 77;
        sim.Magic();
        ASSERT_TRUE(sim.sys.processes.GetExitCodeProcess(child.process, code).ok());
        EXPECT_EQ(sim.LastError(), kMagic);
        EXPECT_EQ(code, timesOut ? proc::kStillActive : err::kFileNotFound);
        sim.sys.processes.CloseHandle(child.process);
        EXPECT_EQ(sim.sys.processes.GetExitCodeProcess(child.process, code).code, err::kInvalidHandle);
    }
}

TEST(SimChild, ChildStartedByA32BitProgramInstallsForTheSwitchsEnvironment) {
    struct Case {
        ChildEnvironment environment;
        const char* command;
        Dword code;
        const char* installed;   // the driver's environment, or none
    } cases[] = {
        {ChildEnvironment::Native, "ia", 0, "Windows x64"},
        {ChildEnvironment::Caller, "ia", 0, "Windows NT x86"},
        // A printer needs the driver of the spooler's environment.
        {ChildEnvironment::Caller, "if", err::kUnknownPrinterDriver, nullptr},
    };
    for (const Case& c : cases) {
        Sim sim("7", true);
        Machine& m = *sim.machine;
        WritePackage(m);
        m.ModelSwitches().childEnvironment = c.environment;
        RunChild(sim, std::string(c.command) == "ia" ? Ia() : If("COM1:"));
        EXPECT_EQ(sim.sys.processes.Children().at(0).exitCode, c.code) << c.command;
        for (const char* env : {"Windows x64", "Windows NT x86"})
            EXPECT_EQ(m.FindDriver(kChildDriver, env).has_value(), c.installed && std::string(c.installed) == env)
                << c.command << " " << env;
        if (c.installed && std::string(c.installed) == "Windows NT x86") {
            EXPECT_EQ(*m.ReadFile(m.PrinterDriverDirectory("Windows NT x86") + "\\3\\ZPUNI40.dll"),
                      "Driver32 ZPUNI40.dll");
        }
    }
}

// A USB printer still plugged in whose device node was removed: Plug and
// Play finds it again at the restart, with whatever package it can use.
TEST(SimPlugAndPlay, APresentDeviceWithoutItsNodeComesBackAtTheRestart) {
    struct Case {
        const char* what;
        const char* preset;
        bool is64;
        bool uninstallInf;   // SetupUninstallOEMInf after the driver's deletion
        bool plugged;
        bool driverBack;
    } cases[] = {
        {"7: from the driver store", "7", true, false, true, true},
        {"7: the package uninstalled", "7", true, true, true, false},
        {"XP: from the oem INF and its source", "xp", false, false, true, true},
        {"switched off: nothing comes back", "7", true, false, false, false},
    };
    for (const Case& c : cases) {
        Sim sim(c.preset, c.is64);
        Machine& m = *sim.machine;
        const std::string env = m.Os().NativeEnvironment();
        WritePackage(m);
        ASSERT_EQ(RunChild(sim, Ia()), proc::kWaitObject0);
        m.PlugUsbPrinter();
        if (!c.plugged) m.UnplugUsbPrinter();
        ASSERT_EQ(m.Printers().size(), 1u) << c.what;

        // What the uninstaller does: printer, driver, device node, oem INF.
        PrinterHandle printer;
        ASSERT_TRUE(sim.sys.spooler.OpenPrinter(m.Printers()[0].name, std::nullopt, printer).ok());
        ASSERT_TRUE(sim.sys.spooler.DeletePrinter(printer).ok());
        sim.sys.spooler.ClosePrinter(printer);
        ASSERT_TRUE(sim.sys.spooler.DeletePrinterDriverExFor(env, kChildDriver, spool::kDpdDeleteUnusedFiles, 3).ok());
        DevInfoSet set;
        ASSERT_TRUE(sim.sys.setup.GetClassDevs("USB", setup::kDigcfAllClasses, set).ok());
        DevInfoData device;
        ASSERT_TRUE(sim.sys.setup.EnumDeviceInfo(set, 0, device).ok());
        ASSERT_TRUE(sim.sys.setup.RemoveDevice(set, device).ok());
        sim.sys.setup.DestroyDeviceInfoList(set);
        if (c.uninstallInf) {
            ASSERT_TRUE(sim.sys.setup.UninstallOEMInf("oem0.inf", setup::kSuoiForceDelete).ok());
        }
        ASSERT_TRUE(m.Devices().empty());
        EXPECT_EQ(m.UndiscoveredDevices().size(), c.plugged ? 1u : 0u) << c.what;

        m.Reboot();
        EXPECT_EQ(m.Devices().size(), c.plugged ? 1u : 0u) << c.what;
        EXPECT_EQ(m.FindDriver(kChildDriver, env).has_value(), c.driverBack) << c.what;
        EXPECT_EQ(m.Printers().size(), c.driverBack ? 1u : 0u) << c.what;
        if (c.driverBack) {
            EXPECT_EQ(m.Printers()[0].port, "USB001") << c.what;
        }
    }
}

TEST(SimPlugAndPlay, DeviceRemovalFromA32BitProgramOn64BitWindowsCanBeRefused) {
    struct Case {
        bool is64, refuse;
        Dword code;
    } cases[] = {{true, false, 0}, {true, true, 0xE0000235}, {false, true, 0}};
    for (const Case& c : cases) {
        Sim sim("7", c.is64);
        sim.machine->ModelSwitches().wow64DeviceInstallFails = c.refuse;
        sim.machine->PlugUsbPrinter();
        DevInfoSet set;
        ASSERT_TRUE(sim.sys.setup.GetClassDevs("USB", setup::kDigcfAllClasses, set).ok());
        DevInfoData device;
        ASSERT_TRUE(sim.sys.setup.EnumDeviceInfo(set, 0, device).ok());
        sim.Magic();
        EXPECT_EQ(sim.sys.setup.RemoveDevice(set, device).code, c.code) << c.is64 << c.refuse;
        EXPECT_EQ(sim.machine->Devices().size(), c.code ? 1u : 0u);
        sim.sys.setup.DestroyDeviceInfoList(set);
    }
}

}  // namespace
}  // namespace zmp::sim::test
