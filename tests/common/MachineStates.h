// Machine states the removal is tested on in several suites: someone else's
// printer that carries our printer's name, and ours kept for the x86
// clients of a 64-bit print server.
#pragma once

#include <string>

#include "simulator/Machine.h"

namespace zmp::test {

// A "Generic / Text Only" printer named "KORVANT ZMP-K40", with a job queued.
inline void AddPrinterNamedLikeOurs(sim::Machine& m) {
    sim::SimDriver generic;
    generic.name = "Generic / Text Only";
    generic.environment = m.Os().NativeEnvironment();
    generic.driverPath = "UNIDRV.DLL";
    generic.dataFile = "TTY.GPD";
    generic.configFile = "UNIDRVUI.DLL";
    m.AddDriverRecord(generic);
    sim::SimPrinter printer;
    printer.name = "KORVANT ZMP-K40";
    printer.driver = generic.name;
    printer.port = "LPT1:";
    m.AddPrinterRecord(printer);
    m.AddJobs(printer.name, 1);
}

// Our driver and print processor for "Windows NT x86", with their files.
inline void AddOursForX86Clients(sim::Machine& m) {
    const std::string env = "Windows NT x86";
    m.WriteFile(m.PrintProcessorDirectory(env) + "\\ZPPRO40.dll", "processor x86");
    m.AddProcessorRecord({"KVT PRINT PROCESSOR ZMP-K40", env, "ZPPRO40.dll"});
    sim::SimDriver driver;
    driver.name = "KORVANT ZMP-K40";
    driver.environment = env;
    driver.driverPath = "UNIDRV.DLL";
    driver.dataFile = "ZMP40.GPD";
    driver.configFile = "UNIDRVUI.DLL";
    driver.dependentFiles = {"ZMP40.dll", "ZPUI40.dll", "ZPUNI40.dll", "ZPUI40.INI", "ZMP40.BUD"};
    m.AddDriverRecord(driver);
}

}  // namespace zmp::test
