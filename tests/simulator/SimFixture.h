// Shared set-up of the simulator tests: a machine, one simulated 32-bit
// process on it, and the magic last-error value of Wine's conformance tests.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "simulator/Machine.h"
#include "simulator/PeImage.h"
#include "simulator/SimPlatform.h"

namespace zmp::sim::test {

constexpr Dword kMagic = 0xdeadbeef;

struct Sim {
    explicit Sim(const std::string& preset = "7", bool is64Bit = false,
                 ProcessOptions options = ProcessOptions{"C:\\Package\\ZMPK40_Installer.exe", false, ""})
        : machine(Machine::Preset(preset, is64Bit)), sys(*machine, options, &events) {}

    // Sets the magic value, as a test does before the call it checks.
    void Magic() { sys.system.SetLastError(kMagic); }
    Dword LastError() { return sys.system.GetLastError(); }

    std::unique_ptr<Machine> machine;
    Events events;
    SimSystem sys;
};

// A DLL image for the environment's machine, exporting these names.
inline std::string Dll(const std::string& environment, const std::vector<std::string>& exports = {}) {
    return BuildPeImage(environment == "Windows x64" ? pe::kMachineAmd64 : pe::kMachineI386, true, exports);
}

inline SimPrinter Printer(const std::string& name, const std::string& driver, const std::string& port) {
    SimPrinter p;
    p.name = name;
    p.driver = driver;
    p.port = port;
    return p;
}

// The driver package as our installer ships it, reduced to what the model
// reads: the INF and the files of both architectures.
inline const char* PackageInf() {
    return "[Version]\r\n"
           "Signature=\"$Windows NT$\"\r\n"
           "Class=Printer\r\n"
           "DriverVer=12/01/2026,2.0.6.0\r\n"
           "\r\n"
           "[Manufacturer]\r\n"
           "KORVANT=KORVANT,NTamd64\r\n"
           "\r\n"
           "[KORVANT]\r\n"
           "\"KORVANT ZMP-K40\" = ZMPK40_X86, USBPRINT\\KORVANT_ZMP-K40, USB\\Vid_7F3C&Pid_0042\r\n"
           "\r\n"
           "[KORVANT.NTamd64]\r\n"
           "\"KORVANT ZMP-K40\" = ZMPK40_AMD64, USBPRINT\\KORVANT_ZMP-K40, USB\\Vid_7F3C&Pid_0042\r\n"
           "\r\n"
           "[ZMPK40_X86]\r\n"
           "CopyFiles=ZMPK40_DRIVER,@ZPMON40.dll,@ZPPRO40.dll\r\n"
           "Needs=UNIDRV.OEM\r\n"
           "DriverFile=UNIDRV.DLL\r\n"
           "ConfigFile=UNIDRVUI.DLL\r\n"
           "HelpFile=UNIDRV.HLP\r\n"
           "DataFile=ZMP40.GPD\r\n"
           "LanguageMonitor=%LanguageMonitor%\r\n"
           "PrintProcessor=%PrintProcessor%\r\n"
           "\r\n"
           "[ZMPK40_AMD64]\r\n"
           "CopyFiles=ZMPK40_DRIVER,@ZPMON40.dll,@ZPPRO40.dll\r\n"
           "Needs=UNIDRV.OEM\r\n"
           "DriverFile=UNIDRV.DLL\r\n"
           "ConfigFile=UNIDRVUI.DLL\r\n"
           "HelpFile=UNIDRV.HLP\r\n"
           "DataFile=ZMP40.GPD\r\n"
           "LanguageMonitor=%LanguageMonitor%\r\n"
           "PrintProcessor=%PrintProcessor%\r\n"
           "\r\n"
           "[ZMPK40_DRIVER]\r\n"
           "ZMP40.dll\r\n"
           "ZPUI40.dll\r\n"
           "ZPUNI40.dll\r\n"
           "ZPUI40.INI\r\n"
           "ZMP40.GPD ; the printer description\r\n"
           "\r\n"
           "[SourceDisksNames.x86]\r\n"
           "1=%Disk%,,,Driver32\r\n"
           "\r\n"
           "[SourceDisksNames.amd64]\r\n"
           "1=%Disk%,,,\\Driver64\r\n"
           "\r\n"
           "[SourceDisksFiles]\r\n"
           "ZMP40.dll=1\r\n"
           "ZPUI40.dll=1\r\n"
           "ZPUNI40.dll=1\r\n"
           "ZPUI40.INI=1\r\n"
           "ZMP40.GPD=1\r\n"
           "ZPMON40.dll=1\r\n"
           "ZPPRO40.dll=1\r\n"
           "\r\n"
           "[Strings]\r\n"
           "Disk=\"ZMP-K40 driver disk\"\r\n"
           "LanguageMonitor=\"KVT Language Monitor ZMP-K40,ZPMON40.dll\"\r\n"
           "PrintProcessor=\"KVT PRINT PROCESSOR ZMP-K40,ZPPRO40.dll\"\r\n";
}

inline void WritePackage(Machine& machine, const std::string& dir = "C:\\Package") {
    machine.WriteFile(dir + "\\ZMPK40.inf", PackageInf());
    for (const char* arch : {"Driver32", "Driver64"})
        for (const char* f : {"ZMP40.dll", "ZPUI40.dll", "ZPUNI40.dll", "ZPUI40.INI", "ZMP40.GPD", "ZMP40.BUD",
                              "ZPMON40.dll", "ZPPRO40.dll", "UNIDRV.DLL", "UNIDRVUI.DLL", "UNIDRV.HLP", "UNIRES.DLL",
                              "STDNAMES.GPD"})
            machine.WriteFile(dir + "\\" + arch + "\\" + f, std::string(arch) + " " + f);
}

}  // namespace zmp::sim::test
