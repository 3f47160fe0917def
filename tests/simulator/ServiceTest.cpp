// The print spooler service on the virtual clock, as the Service Control
// Manager reports it, and the files other processes hold across its stop.
#include "tests/simulator/SimFixture.h"

namespace zmp::sim::test {
namespace {

Dword State(Sim& sim) {
    Dword state = 0;
    EXPECT_TRUE(sim.sys.services.QueryServiceStatus("Spooler", state).ok());
    return state;
}

Dword SpoolerCall(Sim& sim) {
    std::vector<PrinterInfo2> printers;
    return sim.sys.spooler.EnumPrinters(spool::kPrinterEnumLocal, printers).code;
}

TEST(SimService, NetStopAndNetStartTakeTheirTime) {
    Sim sim("7");
    Switches& w = sim.machine->ModelSwitches();
    w.spoolerStopMs = 5000;
    w.spoolerStartMs = 3000;
    Processes& p = sim.sys.processes;
    Clock& clock = sim.sys.clock;
    // One step of the timeline: what the program does, then what it finds.
    struct Step {
        const char* what;
        std::function<void()> act;
        Dword state;
        Dword spooler;  // an EnumPrinters call's code
    } steps[] = {
        {"net stop returns at once", [&] { p.WinExec("net stop spooler", proc::kSwHide); }, svc::kStopPending,
         err::kRpcServerUnavailable},
        {"2 s later: still stopping", [&] { clock.Sleep(2000); }, svc::kStopPending, err::kRpcServerUnavailable},
        {"net start while stopping fails", [&] { p.WinExec("net start spooler", proc::kSwHide); }, svc::kStopPending,
         err::kRpcServerUnavailable},
        {"5 s after the stop: stopped", [&] { clock.Sleep(3000); }, svc::kStopped, err::kRpcServerUnavailable},
        {"the refused start did nothing", [&] { clock.Sleep(10000); }, svc::kStopped, err::kRpcServerUnavailable},
        {"net start", [&] { p.WinExec("net start spooler", proc::kSwHide); }, svc::kStartPending,
         err::kRpcServerUnavailable},
        {"net stop while starting fails", [&] { p.WinExec("net stop spooler", proc::kSwHide); }, svc::kStartPending,
         err::kRpcServerUnavailable},
        {"3 s after the start: running", [&] { clock.Sleep(3000); }, svc::kRunning, 0},
    };
    for (const Step& s : steps) {
        s.act();
        EXPECT_EQ(State(sim), s.state) << s.what;
        EXPECT_EQ(SpoolerCall(sim), s.spooler) << s.what;
    }
}

TEST(SimService, TheSpoolersFilesGoWhenItHasStoppedOnly) {
    Sim sim("7");
    const std::string winprint = sim.machine->PrintProcessorDirectory("Windows NT x86") + "\\winprint.dll";
    ASSERT_TRUE(sim.machine->IsHeld(winprint));
    sim.sys.processes.WinExec("net stop spooler", proc::kSwHide);
    EXPECT_TRUE(sim.machine->IsHeld(winprint));
    sim.sys.clock.Sleep(sim.machine->ModelSwitches().spoolerStopMs);
    EXPECT_FALSE(sim.machine->IsHeld(winprint));
}

TEST(SimService, NoServiceControlManagerOn9xAndOnlyTheSpoolerIsKnown) {
    struct Case {
        const char* preset;
        const char* service;
        Dword code;
    } cases[] = {{"98", "Spooler", 120}, {"nt4", "spooler", 0}, {"7", "Spooler", 0}, {"7", "Fax", 1060}};
    for (const Case& c : cases) {
        Sim sim(c.preset);
        Dword state = 77;
        sim.Magic();
        EXPECT_EQ(sim.sys.services.QueryServiceStatus(c.service, state).code, c.code) << c.preset << c.service;
        EXPECT_EQ(state, c.code ? 0u : svc::kRunning) << c.preset << c.service;
        if (c.code) {
            EXPECT_EQ(sim.LastError(), c.code);
        }
    }
}

TEST(SimService, FilesOfOtherProcessesSurviveTheSpoolersStop) {
    struct Case {
        const char* what;
        const char* preset;
        bool isolation;
        const char* holder;      // HoldOpen's process, if any
        bool heldAfterStop;
    } cases[] = {
        {"the spooler's own", "7", false, nullptr, false},
        {"splwow64", "7", false, "splwow64.exe", true},
        {"driver isolation host, Windows 7", "7", true, nullptr, true},
        {"no isolation host before Windows 7", "vista", true, nullptr, false},
    };
    for (const Case& c : cases) {
        Sim sim(c.preset, true);
        Machine& m = *sim.machine;
        m.ModelSwitches().driverIsolation = c.isolation;
        SimDriver driver;
        driver.name = "ACME LX-9";
        driver.driverPath = "UNIDRV.DLL";
        driver.dataFile = "ACME.GPD";
        driver.configFile = "ACMEUI.DLL";
        m.AddDriverRecord(driver);
        m.AddPrinterRecord(Printer("ACME", "ACME LX-9", "LPT1:"));
        const std::string file = m.PrinterDriverDirectory("Windows x64") + "\\3\\ACMEUI.DLL";
        if (c.holder) m.HoldOpen(file, c.holder);
        ASSERT_TRUE(m.IsHeld(file)) << c.what;
        sim.sys.processes.WinExec("net stop spooler", proc::kSwHide);
        sim.sys.clock.Sleep(m.ModelSwitches().spoolerStopMs);
        EXPECT_EQ(m.IsHeld(file), c.heldAfterStop) << c.what;
        EXPECT_EQ(sim.sys.files.DeleteFile(file).ok(), !c.heldAfterStop) << c.what;
        // The restart ends every process; the spooler started afresh (and
        // its isolation host) load the printer's driver again.
        m.Reboot();
        std::vector<std::string> holders{"spoolsv.exe"};
        if (c.isolation && c.heldAfterStop) holders.insert(holders.begin(), "PrintIsolationHost.exe");
        EXPECT_EQ(m.HeldBy(file), holders) << c.what;
    }
}

}  // namespace
}  // namespace zmp::sim::test
