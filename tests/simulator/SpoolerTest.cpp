// The print spooler model: what the install and removal steps rely on.
#include <algorithm>

#include "tests/simulator/SimFixture.h"

namespace zmp::sim::test {
namespace {

const char* const kDriver = "KORVANT ZMP-K40";
const char* const kMonitor = "KVT Language Monitor ZMP-K40";
const char* const kProcessor = "KVT PRINT PROCESSOR ZMP-K40";

DriverInfo3 OurDriver(const std::string& environment) {
    DriverInfo3 info;
    info.version = 3;
    info.name = kDriver;
    info.environment = environment;
    info.driverPath = "UNIDRV.DLL";
    info.dataFile = "ZMP40.GPD";
    info.configFile = "UNIDRVUI.DLL";
    info.helpFile = "UNIDRV.HLP";
    info.dependentFiles = {"UNIRES.DLL", "STDNAMES.GPD", "ZMP40.DLL", "ZPUI40.DLL", "ZPUNI40.DLL", "ZPUI40.INI"};
    info.monitorName = kMonitor;
    info.defaultDataType = "RAW";
    return info;
}

// What AddToWin2K stages and registers, done directly; the driver only
// when asked.
void StageAndRegister(Sim& sim, const std::string& environment, bool addDriver = true) {
    Machine& m = *sim.machine;
    std::string driverDir = m.PrinterDriverDirectory(environment);
    for (const std::string& f : OurDriver(environment).dependentFiles) m.WriteFile(driverDir + "\\" + f, f);
    for (const char* f : {"UNIDRV.DLL", "ZMP40.GPD", "UNIDRVUI.DLL", "UNIDRV.HLP"}) m.WriteFile(driverDir + "\\" + f, f);
    m.WriteFile(m.SystemDirectory() + "\\ZPMON40.dll", "monitor");
    m.WriteFile(m.PrintProcessorDirectory(environment) + "\\ZPPRO40.dll", "processor");
    Spooler& sp = sim.sys.spooler;
    ASSERT_TRUE(sp.AddMonitor({kMonitor, environment, "ZPMON40.dll"}).ok());
    ASSERT_TRUE(sp.AddPrintProcessor(environment, "ZPPRO40.dll", kProcessor).ok());
    if (addDriver) {
        ASSERT_TRUE(sp.AddPrinterDriver(OurDriver(environment)).ok());
    }
}

PrinterInfo2 OurPrinter(const std::string& name, const std::string& port) {
    PrinterInfo2 info;
    info.printerName = name;
    info.portName = port;
    info.driverName = kDriver;
    info.printProcessor = kProcessor;
    info.datatype = "RAW";
    info.attributes = spool::kPrinterAttributeEnableBidi | spool::kPrinterAttributeRawOnly;
    info.priority = 1;
    info.status = spool::kPrinterStatusOffline;
    return info;
}

// Our printer, added and its handle closed.
void AddOurPrinter(Sim& sim, const std::string& name = kDriver, const std::string& port = "COM1:") {
    PrinterHandle h;
    ASSERT_TRUE(sim.sys.spooler.AddPrinter(OurPrinter(name, port), h).ok());
    sim.sys.spooler.ClosePrinter(h);
}

TEST(SimSpooler, RegistrationAnswersAsTheSpoolerDoes) {
    Sim sim("xp");
    StageAndRegister(sim, "Windows NT x86");
    Spooler& sp = sim.sys.spooler;
    Machine& m = *sim.machine;
    m.WriteFile(m.PrintProcessorDirectory("Windows NT x86") + "\\other.dll", "x");
    struct Case {
        const char* what;
        std::function<Status()> call;
        Dword code;
    } cases[] = {
        {"monitor again", [&] { return sp.AddMonitor({kMonitor, "Windows NT x86", "ZPMON40.dll"}); },
         err::kPrintMonitorAlreadyInstalled},
        {"monitor without its DLL", [&] { return sp.AddMonitor({"Other", "Windows NT x86", "none.dll"}); },
         err::kModNotFound},
        {"monitor of another environment", [&] { return sp.AddMonitor({"Other", "Windows x64", "ZPMON40.dll"}); },
         1805},
        {"unknown monitor", [&] { return sp.DeleteMonitor("No Such Monitor"); }, err::kUnknownPrintMonitor},
        {"Windows' own processor again", [&] { return sp.AddPrintProcessor("Windows NT x86", "winprint.dll", "winprint"); },
         err::kPrintProcessorAlreadyInstalled},
        {"processor without its DLL", [&] { return sp.AddPrintProcessor("Windows NT x86", "none.dll", "Other"); },
         err::kModNotFound},
        {"unknown processor", [&] { return sp.DeletePrintProcessor("Other"); }, err::kUnknownPrintProcessor},
        {"driver with a file missing",
         [&] {
             DriverInfo3 d = OurDriver("Windows NT x86");
             d.name = "Other";
             d.dependentFiles.push_back("MISSING.DLL");
             return sp.AddPrinterDriver(d);
         },
         err::kFileNotFound},
        {"unknown driver", [&] { return sp.DeletePrinterDriverEx("Other", spool::kDpdDeleteUnusedFiles, 3); },
         err::kUnknownPrinterDriver},
    };
    for (const Case& c : cases) {
        sim.Magic();
        EXPECT_EQ(c.call().code, c.code) << c.what;
        EXPECT_EQ(sim.LastError(), c.code) << c.what;
    }
    // The driver's files went into the version folder; the staged ones stay.
    std::string driverDir = m.PrinterDriverDirectory("Windows NT x86");
    EXPECT_TRUE(m.FileExists(driverDir + "\\3\\ZPUNI40.DLL"));
    EXPECT_TRUE(m.FileExists(driverDir + "\\ZPUNI40.DLL"));
}

TEST(SimSpooler, MonitorDllIsLoadedFromTheSystemOrTheWindowsDirectory) {
    // The 32-bit installer cannot reach the 64-bit system32, so it puts the
    // monitor into the Windows directory, where LoadLibrary finds it too.
    Sim sim("xp64", true);
    Machine& m = *sim.machine;
    m.WriteFile(m.WindowsDirectory() + "\\ZPMON40.dll", "monitor");
    ASSERT_TRUE(sim.sys.spooler.AddMonitor({kMonitor, "Windows x64", "ZPMON40.dll"}).ok());
    EXPECT_TRUE(m.IsHeld(m.WindowsDirectory() + "\\ZPMON40.dll"));
    EXPECT_EQ(sim.sys.spooler.AddMonitor({"Other", "Windows NT x86", "ZPMON40.dll"}).code, 1805u);
}

TEST(SimSpooler, AddPrinterRefusesWhatDoesNotExist) {
    Sim sim("xp");
    StageAndRegister(sim, "Windows NT x86");
    Spooler& sp = sim.sys.spooler;
    PrinterHandle h;
    ASSERT_TRUE(sp.AddPrinter(OurPrinter(kDriver, "COM2:"), h).ok());
    sp.ClosePrinter(h);
    struct Case {
        const char* what;
        PrinterInfo2 info;
        Dword code;
    } cases[] = {
        {"existing name", OurPrinter(kDriver, "COM1:"), err::kPrinterAlreadyExists},
        {"unknown driver", [] { auto i = OurPrinter("P2", "COM1:"); i.driverName = "Nope"; return i; }(),
         err::kUnknownPrinterDriver},
        {"unknown processor", [] { auto i = OurPrinter("P3", "COM1:"); i.printProcessor = "Nope"; return i; }(),
         err::kUnknownPrintProcessor},
        {"unknown port", OurPrinter("P4", "IP_192.168.0.10"), err::kUnknownPort},
        {"empty port (USB)", OurPrinter("P5", ""), err::kUnknownPort},
        {"bad name", OurPrinter("A,B", "COM1:"), err::kInvalidPrinterName},
    };
    for (const Case& c : cases) {
        sim.Magic();
        EXPECT_EQ(sp.AddPrinter(c.info, h).code, c.code) << c.what;
        EXPECT_EQ(sim.LastError(), c.code) << c.what;
        EXPECT_EQ(h, PrinterHandle::None) << c.what;
    }
    sim.Magic();
    EXPECT_EQ(sp.OpenPrinter(std::string("KORVANT ZMP-K40(#1)"), std::nullopt, h).code, err::kInvalidPrinterName);
    EXPECT_EQ(sim.LastError(), err::kInvalidPrinterName);
}

TEST(SimSpooler, DriverInUseCannotBeDeletedAndItsFilesAreHeld) {
    Sim sim("xp");
    StageAndRegister(sim, "Windows NT x86");
    Spooler& sp = sim.sys.spooler;
    Machine& m = *sim.machine;
    std::string file = m.PrinterDriverDirectory("Windows NT x86") + "\\3\\ZMP40.DLL";
    EXPECT_FALSE(m.IsHeld(file));
    PrinterHandle h;
    ASSERT_TRUE(sp.AddPrinter(OurPrinter(kDriver, "COM1:"), h).ok());
    EXPECT_TRUE(m.IsHeld(file));
    sim.Magic();
    EXPECT_EQ(sp.DeletePrinterDriverEx(kDriver, spool::kDpdDeleteUnusedFiles, 3).code, err::kPrinterDriverInUse);
    EXPECT_EQ(sim.LastError(), err::kPrinterDriverInUse);
    EXPECT_EQ(sp.DeletePrintProcessor(kProcessor).code, 1003u);  // a printer uses it

    ASSERT_TRUE(sp.DeletePrinter(h).ok());
    sp.ClosePrinter(h);
    EXPECT_FALSE(m.IsHeld(file));
    ASSERT_TRUE(sp.DeletePrinterDriverEx(kDriver, spool::kDpdDeleteUnusedFiles, 3).ok());
    EXPECT_FALSE(m.FileExists(file));  // unused files go with the driver
    EXPECT_TRUE(sp.DeletePrintProcessor(kProcessor).ok());
}

TEST(SimSpooler, NullEnvironmentMeansTheCallersOwn) {
    Sim sim("xp64", true);
    StageAndRegister(sim, "Windows x64");
    Spooler& sp = sim.sys.spooler;
    std::string dir;
    ASSERT_TRUE(sp.GetPrinterDriverDirectory(dir).ok());
    EXPECT_EQ(dir, "C:\\WINDOWS\\system32\\spool\\drivers\\w32x86");
    ASSERT_TRUE(sp.GetPrintProcessorDirectory(dir).ok());
    EXPECT_EQ(dir, "C:\\WINDOWS\\system32\\spool\\prtprocs\\w32x86");
    std::vector<DriverInfo3> drivers;
    ASSERT_TRUE(sp.EnumPrinterDrivers(std::nullopt, 3, drivers).ok());
    EXPECT_TRUE(drivers.empty());
    ASSERT_TRUE(sp.EnumPrinterDrivers(std::string("Windows x64"), 3, drivers).ok());
    ASSERT_EQ(drivers.size(), 1u);
    EXPECT_EQ(drivers[0].driverPath, "C:\\WINDOWS\\system32\\spool\\drivers\\x64\\3\\UNIDRV.DLL");
    EXPECT_EQ(sp.DeletePrinterDriverEx(kDriver, spool::kDpdDeleteUnusedFiles, 3).code, err::kUnknownPrinterDriver);

    SimSystem native(*sim.machine, {"C:\\x64.exe", true, ""});
    ASSERT_TRUE(native.spooler.EnumPrinterDrivers(std::nullopt, 4, drivers).ok());
    EXPECT_EQ(drivers.size(), 1u);

    // Processors of a named environment; none of an unknown one.
    sim.machine->AddProcessorRecord({"P86", "Windows NT x86", "P86.dll"});
    std::vector<std::string> names;
    ASSERT_TRUE(sp.EnumPrintProcessorsFor("Windows NT x86", names).ok());
    EXPECT_NE(std::find(names.begin(), names.end(), "P86"), names.end());
    ASSERT_TRUE(sp.EnumPrintProcessorsFor("Windows x64", names).ok());
    EXPECT_EQ(std::find(names.begin(), names.end(), "P86"), names.end());
    EXPECT_EQ(sp.EnumPrintProcessorsFor("Windows IA64", names).code, 1805u);
}

// A printer's key names its driver, as the spooler writes it.
TEST(SimSpooler, PrinterKeyNamesItsDriver) {
    Sim sim("xp");
    sim.machine->AddPrinterRecord(Printer("Front desk", "Generic / Text Only", "LPT1:"));
    EXPECT_EQ(sim.machine->GetString("HKLM\\SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\Front desk",
                                     "Printer Driver")
                  .value_or(""),
              "Generic / Text Only");
}

TEST(SimSpooler, PrinterReportsItsDriversVersion) {
    Sim sim("xp");
    StageAndRegister(sim, "Windows NT x86");
    Spooler& sp = sim.sys.spooler;
    PrinterHandle h;
    ASSERT_TRUE(sp.AddPrinter(OurPrinter(kDriver, "COM1:"), h).ok());
    struct Case {
        const char* name;
        Dword code, value;
    } cases[] = {{"MajorVersion", 0, 2}, {"MinorVersion", 0, 0}, {"BuildVersion", 0, 6}, {"ExtraVersion", 0, 0},
                 {"NoSuchValue", err::kFileNotFound, 77}};
    for (const Case& c : cases) {
        Dword value = 77;
        sim.Magic();
        EXPECT_EQ(sp.GetPrinterDataDword(h, c.name, value), c.code) << c.name;
        EXPECT_EQ(value, c.value) << c.name;
        EXPECT_EQ(sim.LastError(), kMagic) << c.name;
    }
    sp.ClosePrinter(h);
}

TEST(SimSpooler, StoppedSpoolerAnswersRpcServerUnavailableAndOldHandlesDie) {
    Sim sim("xp");
    Spooler& sp = sim.sys.spooler;
    PrinterHandle server;
    ASSERT_TRUE(sp.OpenPrinter(std::nullopt, std::nullopt, server).ok());
    sim.sys.processes.WinExec("net stop spooler", proc::kSwHide);
    sim.sys.clock.Sleep(1000);
    EXPECT_FALSE(sim.machine->SpoolerRunning());
    std::vector<PrinterInfo2> printers;
    std::string dir;
    sim.Magic();
    EXPECT_EQ(sp.EnumPrinters(spool::kPrinterEnumLocal, printers).code, err::kRpcServerUnavailable);
    EXPECT_EQ(sim.LastError(), err::kRpcServerUnavailable);
    EXPECT_EQ(sp.GetPrinterDriverDirectory(dir).code, err::kRpcServerUnavailable);
    sim.sys.processes.WinExec("NET  START spooler", proc::kSwHide);
    sim.sys.clock.Sleep(1500);
    std::vector<std::string> forms;
    EXPECT_EQ(sp.EnumForms(server, forms).code, err::kInvalidHandle);
    EXPECT_EQ(sim.events.Lines(), (std::vector<std::string>{"EXEC net stop spooler", "SLEEP 1000",
                                                             "EXEC NET  START spooler", "SLEEP 1500"}));
}

TEST(SimSpooler, ComponentsWhoseKeysWereDeletedAreGoneAfterARestart) {
    Sim sim("xp");
    StageAndRegister(sim, "Windows NT x86");
    Machine& m = *sim.machine;
    RegKey hklm = sim.sys.registry.Root(RegRoot::LocalMachine);
    for (const std::string key :
         {"SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\Windows NT x86\\Drivers\\Version-3\\KORVANT ZMP-K40",
          "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\KVT Language Monitor ZMP-K40",
          "SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\Windows NT x86\\Print Processors\\KVT PRINT "
          "PROCESSOR ZMP-K40"})
        ASSERT_EQ(sim.sys.registry.ShDeleteKey(hklm, key), err::kSuccess) << key;
    EXPECT_TRUE(m.FindDriver(kDriver, "Windows NT x86"));  // the running spooler still has them
    m.StopSpooler();
    m.StartSpooler();
    EXPECT_FALSE(m.FindDriver(kDriver, "Windows NT x86"));
    EXPECT_EQ(m.Monitors().size(), 3u);
    EXPECT_FALSE(m.IsHeld(m.SystemDirectory() + "\\ZPMON40.dll"));
}

TEST(SimSpooler, FramedynSwitchFailsDriverRegistrationUntilTheDllIsThere) {
    for (const char* preset : {"xp", "vista"}) {
        Sim sim(preset);
        sim.machine->ModelSwitches().addDriverNeedsFramedyn = true;
        StageAndRegister(sim, "Windows NT x86", false);
        Status first = sim.sys.spooler.AddPrinterDriver(OurDriver("Windows NT x86"));
        if (std::string(preset) == "vista") {
            EXPECT_TRUE(first.ok());
            continue;
        }
        EXPECT_EQ(first.code, err::kModNotFound);
        std::string sys = sim.machine->SystemDirectory();
        ASSERT_TRUE(sim.sys.files.CopyFile(sys + "\\wbem\\framedyn.dll", sys + "\\framedyn.dll", false).ok());
        EXPECT_TRUE(sim.sys.spooler.AddPrinterDriver(OurDriver("Windows NT x86")).ok());
    }
}

TEST(SimSpooler, JobsAndForms) {
    Sim sim("xp");
    StageAndRegister(sim, "Windows NT x86");
    Spooler& sp = sim.sys.spooler;
    PrinterHandle h;
    ASSERT_TRUE(sp.AddPrinter(OurPrinter(kDriver, "COM1:"), h).ok());
    sim.machine->AddJobs(kDriver, 1002);
    std::vector<JobInfo3> jobs;
    ASSERT_TRUE(sp.EnumJobs(h, 0, 1000, 3, jobs).ok());
    ASSERT_EQ(jobs.size(), 1000u);
    EXPECT_EQ(jobs[0].nextJobId, jobs[1].jobId);
    for (const JobInfo3& j : jobs) ASSERT_TRUE(sp.SetJob(h, j.jobId, spool::kJobControlDelete).ok());
    EXPECT_EQ(sp.SetJob(h, jobs[0].jobId, spool::kJobControlDelete).code, err::kInvalidParameter);
    // Deleted with jobs left: it stays until they are gone.
    ASSERT_TRUE(sp.DeletePrinter(h).ok());
    ASSERT_EQ(sim.machine->Printers().size(), 1u);
    ASSERT_TRUE(sp.EnumJobs(h, 0, 1000, 3, jobs).ok());
    for (const JobInfo3& j : jobs) ASSERT_TRUE(sp.SetJob(h, j.jobId, spool::kJobControlCancel).ok());
    EXPECT_TRUE(sim.machine->Printers().empty());
    sp.ClosePrinter(h);

    sim.machine->AddForm("Label 40 [K40]");
    PrinterHandle server;
    ASSERT_TRUE(sp.OpenPrinter(std::nullopt, std::nullopt, server).ok());
    std::vector<std::string> forms;
    ASSERT_TRUE(sp.EnumForms(server, forms).ok());
    EXPECT_EQ(forms.front(), "Letter");
    EXPECT_EQ(forms.back(), "Label 40 [K40]");
    EXPECT_TRUE(sp.DeleteForm(server, "Label 40 [K40]").ok());
    EXPECT_EQ(sp.DeleteForm(server, "Label 40 [K40]").code, 1902u);
    sp.ClosePrinter(server);
}

std::vector<std::uint8_t> PortData1(const std::string& name, const std::string& address, Dword portNumber) {
    std::vector<std::uint8_t> data(964, 0);
    auto wide = [&](size_t offset, const std::string& text) {
        for (size_t i = 0; i < text.size(); ++i) data[offset + 2 * i] = static_cast<std::uint8_t>(text[i]);
    };
    auto dword = [&](size_t offset, Dword v) {
        for (int i = 0; i < 4; ++i) data[offset + i] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    wide(0, name);
    dword(128, 1);
    dword(132, 1);
    dword(136, 964);
    wide(144, address);
    wide(242, "public");
    dword(952, portNumber);
    dword(960, 1);
    return data;
}

TEST(SimSpooler, StandardTcpIpPortMonitorAddsPortsOnce) {
    Sim sim("xp");
    Spooler& sp = sim.sys.spooler;
    PrinterHandle xcv;
    ASSERT_TRUE(sp.OpenPrinter(std::string(",XcvMonitor Standard TCP/IP Port"),
                               PrinterDefaults{std::nullopt, spool::kServerAccessAdminister}, xcv)
                    .ok());
    XcvResult r = sp.XcvData(xcv, u"AddPort", PortData1("IP_192.168.0.50", "192.168.0.50", 9100), 964);
    EXPECT_TRUE(r.call.ok());
    EXPECT_EQ(r.monitorStatus, err::kSuccess);
    r = sp.XcvData(xcv, u"AddPort", PortData1("IP_192.168.0.50", "192.168.0.50", 515), 964);
    EXPECT_TRUE(r.call.ok());
    EXPECT_EQ(r.monitorStatus, err::kAlreadyExists);
    r = sp.XcvData(xcv, u"AddPort", std::vector<std::uint8_t>(100, 0), 964);
    EXPECT_EQ(r.monitorStatus, err::kInvalidParameter);
    sp.ClosePrinter(xcv);
    std::vector<SimPort> ports = sim.machine->Ports();
    ASSERT_EQ(ports.back().name, "IP_192.168.0.50");
    EXPECT_EQ(ports.back().hostAddress, "192.168.0.50");
    EXPECT_EQ(ports.back().portNumber, 9100u);
    EXPECT_EQ(ports.back().protocol, 1u);

    sim.Magic();
    EXPECT_EQ(sp.OpenPrinter(std::string(",XcvMonitor No Such Monitor"), std::nullopt, xcv).code,
              err::kInvalidPrinterName);
    EXPECT_EQ(sim.LastError(), err::kInvalidPrinterName);
}

// --- the rows of the spooler's behaviour that a real spooler checks in its own order

TEST(SimSpooler, DeletePrinterDriverExChecksEnvironmentDriverUseThenFlags) {
    Sim sim("xp");
    StageAndRegister(sim, "Windows NT x86");
    Spooler& sp = sim.sys.spooler;
    PrinterHandle h;
    ASSERT_TRUE(sp.AddPrinter(OurPrinter(kDriver, "COM1:"), h).ok());
    DriverInfo3 unused = OurDriver("Windows NT x86");
    unused.name = "Unused";
    ASSERT_TRUE(sp.AddPrinterDriver(unused).ok());
    constexpr Dword kBadFlag = 0x80;
    struct Case {
        const char* what;
        const char* environment;
        const char* driver;
        Dword code;
    } cases[] = {
        {"bad environment first", "Windows IA64", kDriver, 1805},
        {"then an unknown driver", "Windows NT x86", "Nobody", err::kUnknownPrinterDriver},
        {"then a driver in use", "Windows NT x86", kDriver, err::kPrinterDriverInUse},
        {"the flags last", "Windows NT x86", "Unused", err::kInvalidParameter},
    };
    for (const Case& c : cases) {
        sim.Magic();
        EXPECT_EQ(sp.DeletePrinterDriverExFor(c.environment, c.driver, kBadFlag, 3).code, c.code) << c.what;
        EXPECT_EQ(sim.LastError(), c.code) << c.what;
    }
    EXPECT_TRUE(sim.machine->FindDriver("Unused", "Windows NT x86"));
}

TEST(SimSpooler, AddPrinterChecksProcessorDatatypePortDriverThenName) {
    Sim sim("xp");
    StageAndRegister(sim, "Windows NT x86");
    Spooler& sp = sim.sys.spooler;
    AddOurPrinter(sim);
    PrinterHandle h;
    // Each case breaks every check from its own on: only the first one counts.
    auto printer = [](const char* processor, const char* datatype, const char* port, const char* driver) {
        PrinterInfo2 info = OurPrinter(kDriver, port);
        info.printProcessor = processor;
        info.datatype = datatype;
        info.driverName = driver;
        return info;
    };
    struct Case {
        const char* what;
        PrinterInfo2 info;
        Dword code;
    } cases[] = {
        {"processor", printer("Nope", "NT EMF 1.008", "LPT9:", "Nope"), err::kUnknownPrintProcessor},
        {"datatype our processor does not render", printer(kProcessor, "NT EMF 1.008", "LPT9:", "Nope"), 1804},
        {"port", printer(kProcessor, "RAW", "LPT9:", "Nope"), err::kUnknownPort},
        {"driver", printer(kProcessor, "RAW", "COM2:", "Nope"), err::kUnknownPrinterDriver},
        {"name", printer(kProcessor, "RAW", "COM2:", kDriver), err::kPrinterAlreadyExists},
    };
    for (const Case& c : cases) {
        sim.Magic();
        EXPECT_EQ(sp.AddPrinter(c.info, h).code, c.code) << c.what;
        EXPECT_EQ(sim.LastError(), c.code) << c.what;
    }
    // winprint renders EMF: the same printer on it is only a name clash.
    EXPECT_EQ(sp.AddPrinter(printer("winprint", "NT EMF 1.008", "COM2:", kDriver), h).code,
              err::kPrinterAlreadyExists);
}

TEST(SimSpooler, ANamePendingDeletionIsTakenUpWithTheNewSettings) {
    Sim sim("xp");
    StageAndRegister(sim, "Windows NT x86");
    Spooler& sp = sim.sys.spooler;
    PrinterHandle h;
    ASSERT_TRUE(sp.AddPrinter(OurPrinter(kDriver, "COM1:"), h).ok());
    sim.machine->AddJobs(kDriver, 2);
    ASSERT_TRUE(sp.DeletePrinter(h).ok());
    sp.ClosePrinter(h);
    ASSERT_TRUE(sim.machine->FindPrinter(kDriver)->pendingDeletion);

    ASSERT_TRUE(sp.AddPrinter(OurPrinter(kDriver, "COM3:"), h).ok());
    sp.ClosePrinter(h);
    std::optional<SimPrinter> again = sim.machine->FindPrinter(kDriver);
    ASSERT_TRUE(again);
    EXPECT_FALSE(again->pendingDeletion);
    EXPECT_EQ(again->port, "COM3:");
    EXPECT_EQ(again->jobs.size(), 2u);
    EXPECT_EQ(again->status, 0u);  // the status AddPrinter is given is the spooler's to set
    EXPECT_EQ(sim.machine->Printers().size(), 1u);
}

TEST(SimSpooler, AddMonitorLoadsTheDllAndFindsItsEntryPoint) {
    Sim sim("xp");
    Machine& m = *sim.machine;
    Spooler& sp = sim.sys.spooler;
    const std::string sys = m.SystemDirectory();
    m.WriteFile(sys + "\\good.dll", Dll("Windows NT x86", {"DllMain", "InitializePrintMonitor2"}));
    m.WriteFile(sys + "\\old.dll", Dll("Windows NT x86", {"InitializePrintMonitor"}));
    m.WriteFile(sys + "\\plain.dll", Dll("Windows NT x86", {"DllMain"}));
    m.WriteFile(sys + "\\x64.dll", Dll("Windows x64", {"InitializePrintMonitor2"}));
    struct Case {
        const char* what;
        const char* name;
        const char* dll;
        Dword code;
    } cases[] = {
        {"no DLL name", "A", "", err::kInvalidParameter},
        {"DLL missing", "A", "none.dll", err::kModNotFound},
        {"DLL of another machine", "A", "x64.dll", 193},
        {"DLL without the entry point", "A", "plain.dll", err::kProcNotFound},
        {"loaded", "A", "good.dll", 0},
        {"the NT 4 entry point will do", "B", "old.dll", 0},
        {"name exists", "A", "good.dll", err::kPrintMonitorAlreadyInstalled},
    };
    for (const Case& c : cases) {
        sim.Magic();
        EXPECT_EQ(sp.AddMonitor({c.name, "Windows NT x86", c.dll}).code, c.code) << c.what;
        EXPECT_EQ(sim.LastError(), c.code) << c.what;  // 0 too: success sets it
    }
    EXPECT_TRUE(m.IsHeld(sys + "\\good.dll"));
}

TEST(SimSpooler, AMonitorIsInUseOnlyThroughAPortAPrinterUses) {
    Sim sim("xp");
    StageAndRegister(sim, "Windows NT x86");
    Spooler& sp = sim.sys.spooler;
    AddOurPrinter(sim);
    sim.Magic();
    EXPECT_EQ(sp.DeleteMonitor("Local Port").code, err::kPrintMonitorInUse);  // COM1: is printed to
    EXPECT_EQ(sim.LastError(), err::kPrintMonitorInUse);
    // The language monitor of the printer's driver and a monitor with
    // unused ports go, and their ports with them.
    EXPECT_TRUE(sp.DeleteMonitor(kMonitor).ok());
    EXPECT_FALSE(sim.machine->IsHeld(sim.machine->SystemDirectory() + "\\ZPMON40.dll"));
    EXPECT_TRUE(sp.DeleteMonitor("Standard TCP/IP Port").ok());
    for (const SimPort& port : sim.machine->Ports()) EXPECT_NE(port.monitor, "Standard TCP/IP Port");
}

TEST(SimSpooler, AddPrintProcessorReplacesAnyButWindowsOwn) {
    Sim sim("xp");
    StageAndRegister(sim, "Windows NT x86");
    Machine& m = *sim.machine;
    Spooler& sp = sim.sys.spooler;
    const std::string dir = m.PrintProcessorDirectory("Windows NT x86");
    m.WriteFile(dir + "\\ZPPRO41.dll", "newer processor");
    sim.Magic();
    EXPECT_EQ(sp.AddPrintProcessor("Windows NT x86", "ZPPRO41.dll", kProcessor).code, 0u);
    EXPECT_EQ(sim.LastError(), kMagic);
    std::vector<SimProcessor> processors = m.Processors();
    auto ours = std::find_if(processors.begin(), processors.end(),
                             [](const SimProcessor& p) { return p.name == kProcessor; });
    ASSERT_NE(ours, processors.end());
    EXPECT_EQ(ours->dll, "ZPPRO41.dll");
    EXPECT_EQ(std::count_if(processors.begin(), processors.end(),
                            [](const SimProcessor& p) { return p.name == kProcessor; }),
              1);
    EXPECT_EQ(sp.AddPrintProcessor("Windows NT x86", "ZPPRO41.dll", "winprint").code,
              err::kPrintProcessorAlreadyInstalled);
}

TEST(SimSpooler, AddPrinterDriverCopiesOnlyNewerFilesAndRefusesTheWrongMachine) {
    Sim sim("xp");
    StageAndRegister(sim, "Windows NT x86");
    Machine& m = *sim.machine;
    Spooler& sp = sim.sys.spooler;
    const std::string staging = m.PrinterDriverDirectory("Windows NT x86");
    const std::string version = staging + "\\3";
    ASSERT_EQ(*m.ReadFile(version + "\\ZMP40.DLL"), "ZMP40.DLL");

    // An older staged file leaves the one in use; a newer one replaces it.
    m.SetTime({2024, 4, 1, 0, 0, 0, 0});
    m.WriteFile(staging + "\\ZMP40.DLL", "older");
    m.SetTime({2024, 6, 1, 0, 0, 0, 0});
    m.WriteFile(staging + "\\ZPUI40.DLL", "newer");
    ASSERT_TRUE(sp.AddPrinterDriver(OurDriver("Windows NT x86")).ok());
    EXPECT_EQ(*m.ReadFile(version + "\\ZMP40.DLL"), "ZMP40.DLL");
    EXPECT_EQ(*m.ReadFile(version + "\\ZPUI40.DLL"), "newer");

    m.WriteFile(staging + "\\ZPUNI40.DLL", Dll("Windows x64"));
    sim.Magic();
    EXPECT_EQ(sp.AddPrinterDriver(OurDriver("Windows NT x86")).code, 216u);
    EXPECT_EQ(sim.LastError(), 216u);
    m.WriteFile(staging + "\\ZPUNI40.DLL", Dll("Windows NT x86"));
    EXPECT_TRUE(sp.AddPrinterDriver(OurDriver("Windows NT x86")).ok());
}

TEST(SimSpooler, AdditionalX64DriversFromXpOnAlsoOn32BitWindows) {
    struct Case {
        const char* preset;
        Dword code;
    } cases[] = {{"2000", 1805}, {"xp", 0}, {"2003", 0}, {"vista", 0}, {"7", 0}};
    for (const Case& c : cases) {
        Sim sim(c.preset);
        Spooler& sp = sim.sys.spooler;
        std::string dir;
        EXPECT_EQ(sp.GetPrinterDriverDirectoryFor("Windows x64", dir).code, c.code) << c.preset;
        if (c.code) continue;
        EXPECT_EQ(dir, sim.machine->SystemDirectory() + "\\spool\\drivers\\x64") << c.preset;
        DriverInfo3 x64 = OurDriver("Windows x64");
        x64.monitorName.clear();
        for (const std::string& f : x64.dependentFiles) sim.machine->WriteFile(dir + "\\" + f, f);
        for (const char* f : {"UNIDRV.DLL", "ZMP40.GPD", "UNIDRVUI.DLL", "UNIDRV.HLP"})
            sim.machine->WriteFile(dir + "\\" + f, f);
        EXPECT_TRUE(sp.AddPrinterDriver(x64).ok()) << c.preset;
        EXPECT_TRUE(sim.machine->FindDriver(kDriver, "Windows x64")) << c.preset;
    }
}

TEST(SimSpooler, EnumPrinterDriversLevelsAndAllEnvironments) {
    struct Case {
        const char* preset;
        const char* environment;
        Dword level;
        Dword code;
    } cases[] = {
        {"xp", "all", 3, 0},     {"2000", "all", 3, 0}, {"nt4", "all", 3, 1805},
        {"xp", "Windows NT x86", 7, 124}, {"xp", "Windows NT x86", 6, 0}, {"xp", "Windows NT x86", 9, 124},
    };
    for (const Case& c : cases) {
        Sim sim(c.preset);
        std::vector<DriverInfo3> drivers;
        sim.Magic();
        EXPECT_EQ(sim.sys.spooler.EnumPrinterDrivers(std::string(c.environment), c.level, drivers).code, c.code)
            << c.preset << " " << c.environment << " " << c.level;
    }
}

TEST(SimSpooler, LevelSixGivesTheInfsDriverVerAndZeroWithoutAnInf) {
    Sim sim("7", true);
    Machine& m = *sim.machine;
    WritePackage(m);
    StartupInfo startup;
    ProcessInformation child;
    ASSERT_TRUE(sim.sys.processes
                    .CreateProcess("", "cmd /c RUNDLL32 printui.dll,PrintUIEntry /if /b \"P\" /f .\\ZMPK40.inf /r "
                                   "\"COM1:\" /m \"KORVANT ZMP-K40\"",
                                   0, "", startup, child)
                    .ok());
    // Without an INF: an additional x86 driver registered as AddToWin2K does.
    DriverInfo3 x86 = OurDriver("Windows NT x86");
    x86.monitorName.clear();
    const std::string staging = m.PrinterDriverDirectory("Windows NT x86");
    for (const std::string& f : x86.dependentFiles) m.WriteFile(staging + "\\" + f, f);
    for (const char* f : {"UNIDRV.DLL", "ZMP40.GPD", "UNIDRVUI.DLL", "UNIDRV.HLP"}) m.WriteFile(staging + "\\" + f, f);
    SimSystem native(m, {"C:\\x64.exe", true, ""});
    ASSERT_TRUE(native.spooler.AddPrinterDriver(x86).ok());

    Spooler& sp = sim.sys.spooler;
    std::vector<DriverInfo6> drivers;
    ASSERT_TRUE(sp.EnumPrinterDrivers6(std::string("all"), drivers).ok());
    ASSERT_EQ(drivers.size(), 2u);
    // DriverVer=12/01/2026,2.0.6.0: days from 1601-01-01 to 2026-12-01, in 100 ns.
    constexpr std::uint64_t kDate = 155562ULL * 864000000000ULL;
    for (const DriverInfo6& d : drivers) {
        const bool fromInf = d.environment == "Windows x64";
        EXPECT_EQ(d.driverVersion, fromInf ? (2ULL << 48 | 6ULL << 16) : 0u) << d.environment;
        EXPECT_EQ(d.driverDate, fromInf ? kDate : 0u) << d.environment;
        EXPECT_EQ(d.mfgName, fromInf ? "KORVANT" : "") << d.environment;
    }
    PrinterHandle printer;
    ASSERT_TRUE(sp.OpenPrinter(std::string("P"), std::nullopt, printer).ok());
    DriverInfo6 used;
    ASSERT_TRUE(sp.GetPrinterDriver6(printer, std::string("Windows x64"), used).ok());
    EXPECT_EQ(used.driverVersion, 2ULL << 48 | 6ULL << 16);
    EXPECT_EQ(used.hardwareId, "USBPRINT\\KORVANT_ZMP-K40");
    // No environment: this 32-bit caller's, where the driver came without an INF.
    ASSERT_TRUE(sp.GetPrinterDriver6(printer, std::nullopt, used).ok());
    EXPECT_EQ(used.environment, "Windows NT x86");
    EXPECT_EQ(used.driverVersion, 0u);
    sp.ClosePrinter(printer);
}

// An INF without DriverVer gives the driver no version and no date.
TEST(SimSpooler, LevelSixWithoutDriverVerIsZero) {
    Sim sim("7", true);
    Machine& m = *sim.machine;
    WritePackage(m);
    std::string inf = *m.ReadFile("C:\\Package\\ZMPK40.inf");
    const size_t at = inf.find("DriverVer=");
    ASSERT_NE(at, std::string::npos);
    inf.erase(at, inf.find('\n', at) + 1 - at);
    m.WriteFile("C:\\Package\\ZMPK40.inf", inf);
    StartupInfo startup;
    ProcessInformation child;
    ASSERT_TRUE(sim.sys.processes
                    .CreateProcess("", "cmd /c RUNDLL32 printui.dll,PrintUIEntry /ia /f .\\ZMPK40.inf /m \"KORVANT ZMP-K40\"",
                                   0, "", startup, child)
                    .ok());
    std::vector<DriverInfo6> drivers;
    ASSERT_TRUE(sim.sys.spooler.EnumPrinterDrivers6(std::string("Windows x64"), drivers).ok());
    ASSERT_EQ(drivers.size(), 1u);
    EXPECT_EQ(drivers[0].driverVersion, 0u);
    EXPECT_EQ(drivers[0].driverDate, 0u);
    EXPECT_EQ(drivers[0].mfgName, "KORVANT");
}

TEST(SimSpooler, OpenPrinterChecksTheDatatypeAgainstThePrintersProcessor) {
    Sim sim("xp");
    StageAndRegister(sim, "Windows NT x86");
    Spooler& sp = sim.sys.spooler;
    AddOurPrinter(sim);
    PrinterHandle h;
    PrinterInfo2 onWinprint = OurPrinter("On winprint", "COM2:");
    onWinprint.printProcessor = "winprint";
    ASSERT_TRUE(sp.AddPrinter(onWinprint, h).ok());
    sp.ClosePrinter(h);
    struct Case {
        const char* printer;
        const char* datatype;
        Dword code;
    } cases[] = {
        {kDriver, "raw", 0},  // case does not matter
        {kDriver, "NT EMF 1.008", 1804},
        {"On winprint", "NT EMF 1.008", 0},
        {"On winprint", "XPS", 1804},
    };
    for (const Case& c : cases) {
        sim.Magic();
        Status st = sp.OpenPrinter(std::string(c.printer), PrinterDefaults{std::string(c.datatype), 0}, h);
        EXPECT_EQ(st.code, c.code) << c.printer << " " << c.datatype;
        if (st.ok()) sp.ClosePrinter(h);
        else EXPECT_EQ(sim.LastError(), c.code);
    }
}

TEST(SimSpooler, LoadedFilesOfADeletedDriverGoAtTheRestart) {
    Sim sim("7", true);
    StageAndRegister(sim, "Windows x64");
    Machine& m = *sim.machine;
    const std::string version = m.PrinterDriverDirectory("Windows x64") + "\\3";
    m.HoldOpen(version + "\\ZPUI40.DLL", "splwow64.exe");  // a 32-bit program's print dialog
    ASSERT_TRUE(sim.sys.spooler.DeletePrinterDriverExFor("Windows x64", kDriver, spool::kDpdDeleteUnusedFiles, 3).ok());
    EXPECT_FALSE(m.FileExists(version + "\\ZMP40.DLL"));
    EXPECT_FALSE(m.FileExists(version + "\\ZPUI40.DLL"));
    ASSERT_EQ(m.DeleteAtRestart(), std::vector<std::string>{version + "\\Old\\1\\ZPUI40.DLL"});
    EXPECT_TRUE(m.IsHeld(version + "\\Old\\1\\ZPUI40.DLL"));
    m.Reboot();
    EXPECT_FALSE(m.FileExists(version + "\\Old\\1\\ZPUI40.DLL"));
    EXPECT_TRUE(m.DeleteAtRestart().empty());
}

}  // namespace
}  // namespace zmp::sim::test
