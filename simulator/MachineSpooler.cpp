// The print spooler model: printers, drivers, monitors, processors, forms,
// ports and jobs, kept in the registry as the spooler keeps them, and the
// files it holds open while it runs.
#include <algorithm>

#include "simulator/MachineState.h"

namespace zmp::sim {

namespace {
const char* const kPrintKey = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Print";
}

std::string Machine::State::PrinterKey(const std::string& name) {
    return std::string(kPrintKey) + "\\Printers\\" + name;
}

std::string Machine::State::DriverKey(const SimDriver& driver) {
    return std::string(kPrintKey) + "\\Environments\\" + driver.environment + "\\Drivers\\Version-" +
           std::to_string(driver.version) + "\\" + driver.name;
}

std::string Machine::State::MonitorKey(const std::string& name) {
    return std::string(kPrintKey) + "\\Monitors\\" + name;
}

std::string Machine::State::ProcessorKey(const std::string& environment, const std::string& name) {
    return std::string(kPrintKey) + "\\Environments\\" + environment + "\\Print Processors\\" + name;
}

SimPrinter* Machine::State::FindPrinter(const std::string& name) {
    for (SimPrinter& p : printers)
        if (IEquals(p.name, name)) return &p;
    return nullptr;
}

SimDriver* Machine::State::FindDriver(const std::string& name, const std::string& environment) {
    for (SimDriver& d : drivers)
        if (IEquals(d.name, name) && IEquals(d.environment, environment)) return &d;
    return nullptr;
}

SimMonitor* Machine::State::FindMonitor(const std::string& name) {
    for (SimMonitor& m : monitors)
        if (IEquals(m.name, name)) return &m;
    return nullptr;
}

SimProcessor* Machine::State::FindProcessor(const std::string& name, const std::string& environment) {
    for (SimProcessor& p : processors)
        if (IEquals(p.name, name) && IEquals(p.environment, environment)) return &p;
    return nullptr;
}

SimPort* Machine::State::FindPort(const std::string& name) {
    for (SimPort& p : ports)
        if (IEquals(p.name, name)) return &p;
    return nullptr;
}

bool Machine::State::FormExists(const std::string& name) const {
    for (const std::string& f : forms)
        if (IEquals(f, name)) return true;
    return false;
}

// A printer's key names its driver, as the spooler writes it.
void Machine::State::WritePrinterKey(const SimPrinter& printer) {
    registry.Create(PrinterKey(printer.name)).values["PRINTER DRIVER"] = {"Printer Driver",
                                                                          RegValue{1, printer.driver, 0, {}}};
    registry.Create(PrinterKey(printer.name) + "\\PrinterDriverData");
}

void Machine::State::WriteSpoolerKeys() {
    for (const SimPrinter& p : printers) WritePrinterKey(p);
    for (const SimDriver& d : drivers) registry.Create(DriverKey(d));
    for (const SimMonitor& m : monitors) registry.Create(MonitorKey(m.name));
    for (const SimProcessor& p : processors) registry.Create(ProcessorKey(p.environment, p.name));
}

void Machine::State::RecomputeHolds() {
    spoolerHolds.clear();
    if (!spoolerRunning) return;
    std::string native = os.NativeEnvironment();
    for (const SimMonitor& m : monitors)
        if (!m.dll.empty()) spoolerHolds.insert(PathKey(MonitorDllPath(m.dll)));
    for (const SimProcessor& p : processors)
        if (IEquals(p.environment, native) && !p.dll.empty())
            spoolerHolds.insert(PathKey(JoinPath(ProcessorDir(p.environment), p.dll)));
    for (const SimPrinter& printer : printers) {
        SimDriver* driver = FindDriver(printer.driver, native);
        if (!driver) continue;
        for (const std::string& f : driver->Files())
            spoolerHolds.insert(PathKey(JoinPath(DriverVersionDir(driver->environment, driver->version), f)));
    }
}

void Machine::State::StopSpooler() {
    spoolerRunning = false;
    spoolerHolds.clear();
}

void Machine::State::StartSpooler() {
    if (spoolerRunning) return;
    spoolerRunning = true;
    ++spoolerGeneration;
    // The spooler reads its configuration from the registry when it starts:
    // whatever was deleted there directly is gone now.
    auto gone = [&](const std::string& key) { return registry.Get(RegistryStore::Canonical(key)) == nullptr; };
    printers.erase(std::remove_if(printers.begin(), printers.end(),
                                  [&](const SimPrinter& p) { return gone(PrinterKey(p.name)); }),
                   printers.end());
    drivers.erase(std::remove_if(drivers.begin(), drivers.end(), [&](const SimDriver& d) { return gone(DriverKey(d)); }),
                  drivers.end());
    monitors.erase(std::remove_if(monitors.begin(), monitors.end(),
                                  [&](const SimMonitor& m) { return gone(MonitorKey(m.name)); }),
                   monitors.end());
    processors.erase(std::remove_if(processors.begin(), processors.end(),
                                    [&](const SimProcessor& p) { return gone(ProcessorKey(p.environment, p.name)); }),
                     processors.end());
    RecomputeHolds();
}

std::string Machine::State::MonitorDllPath(const std::string& dll) const {
    for (const std::string& dir : {SystemDir(), WindowsDir()}) {
        const FileNode* node = files.Get(files.Follow(JoinPath(dir, dll)));
        if (node && !node->directory) return JoinPath(dir, dll);
    }
    return JoinPath(SystemDir(), dll);
}

Dword Machine::State::AddMonitor(const SimMonitor& monitor) {
    if (monitor.name.empty() || monitor.dll.empty()) return err::kInvalidParameter;
    if (!monitor.environment.empty() && !IEquals(monitor.environment, os.NativeEnvironment()))
        return werr::kInvalidEnvironment;
    if (FindMonitor(monitor.name)) return err::kPrintMonitorAlreadyInstalled;
    // The spooler (a native process) loads the monitor by name.
    std::string dll = MonitorDllPath(monitor.dll);
    const FileNode* node = files.Get(files.Follow(dll));
    if (!node || node->directory) return err::kModNotFound;
    SimMonitor added = monitor;
    added.environment = os.NativeEnvironment();
    monitors.push_back(added);
    registry.Create(MonitorKey(added.name));
    registry.Create(MonitorKey(added.name)).values["DRIVER"] = {"Driver", RegValue{1, added.dll, 0, {}}};
    spoolerHolds.insert(PathKey(dll));
    return err::kSuccess;
}

Dword Machine::State::DeleteMonitor(const std::string& name) {
    SimMonitor* monitor = FindMonitor(name);
    if (!monitor) return err::kUnknownPrintMonitor;
    for (const SimPort& port : ports)
        if (IEquals(port.monitor, monitor->name)) return err::kPrintMonitorInUse;
    for (const SimPrinter& printer : printers) {
        SimDriver* driver = FindDriver(printer.driver, os.NativeEnvironment());
        if (driver && IEquals(driver->monitorName, monitor->name)) return err::kPrintMonitorInUse;
    }
    spoolerHolds.erase(PathKey(MonitorDllPath(monitor->dll)));
    registry.EraseTree(RegistryStore::Canonical(MonitorKey(monitor->name)));
    monitors.erase(monitors.begin() + (monitor - monitors.data()));
    return err::kSuccess;
}

Dword Machine::State::AddPrintProcessor(const std::string& environment, const std::string& file,
                                        const std::string& name) {
    if (name.empty() || file.empty()) return err::kInvalidParameter;
    if (!ValidEnvironment(environment)) return werr::kInvalidEnvironment;
    std::string env = CanonicalEnvironment(environment);
    if (FindProcessor(name, env)) return err::kPrintProcessorAlreadyInstalled;
    std::string dll = JoinPath(ProcessorDir(env), file);
    const FileNode* node = files.Get(files.Follow(dll));
    if (!node || node->directory) return err::kModNotFound;
    processors.push_back({name, env, file});
    registry.Create(ProcessorKey(env, name)).values["DRIVER"] = {"Driver", RegValue{1, file, 0, {}}};
    if (IEquals(env, os.NativeEnvironment())) spoolerHolds.insert(PathKey(dll));
    return err::kSuccess;
}

Dword Machine::State::DeletePrintProcessor(const std::string& environment, const std::string& name) {
    if (!ValidEnvironment(environment)) return werr::kInvalidEnvironment;
    std::string env = CanonicalEnvironment(environment);
    SimProcessor* processor = FindProcessor(name, env);
    if (!processor) return err::kUnknownPrintProcessor;
    if (IEquals(env, os.NativeEnvironment())) {
        for (const SimPrinter& printer : printers)
            if (IEquals(printer.processor, processor->name)) return werr::kCanNotComplete;
        spoolerHolds.erase(PathKey(JoinPath(ProcessorDir(env), processor->dll)));
    }
    registry.EraseTree(RegistryStore::Canonical(ProcessorKey(env, processor->name)));
    processors.erase(processors.begin() + (processor - processors.data()));
    return err::kSuccess;
}

Dword Machine::State::AddPrinterDriver(const DriverInfo3& info, const std::array<Dword, 4>& reportedVersion) {
    if (info.name.empty() || info.driverPath.empty() || info.dataFile.empty() || info.configFile.empty())
        return err::kInvalidParameter;
    if (!ValidEnvironment(info.environment)) return werr::kInvalidEnvironment;
    std::string env = CanonicalEnvironment(info.environment);
    if (switches.addDriverNeedsFramedyn && !os.VistaOrLater() &&
        !files.Get(files.Follow(JoinPath(SystemDir(), "framedyn.dll"))))
        return err::kModNotFound;

    SimDriver driver;
    driver.name = info.name;
    driver.environment = env;
    driver.version = info.version;
    driver.driverPath = info.driverPath;
    driver.dataFile = info.dataFile;
    driver.configFile = info.configFile;
    driver.helpFile = info.helpFile;
    driver.dependentFiles = info.dependentFiles;
    driver.monitorName = info.monitorName;
    driver.defaultDataType = info.defaultDataType;
    driver.reportedData = {{"MajorVersion", reportedVersion[0]},
                           {"MinorVersion", reportedVersion[1]},
                           {"BuildVersion", reportedVersion[2]},
                           {"ExtraVersion", reportedVersion[3]}};
    if (!driver.monitorName.empty() && !FindMonitor(driver.monitorName)) return err::kUnknownPrintMonitor;

    // Every file must be staged in the environment's driver directory or
    // already be in its version folder; staged ones are copied there.
    std::string staging = DriverDir(env);
    std::string target = DriverVersionDir(env, driver.version);
    std::vector<std::string> fileNames = driver.Files();
    for (const std::string& f : fileNames) {
        const FileNode* staged = files.Get(files.Follow(JoinPath(staging, f)));
        const FileNode* present = files.Get(files.Follow(JoinPath(target, f)));
        if ((!staged || staged->directory) && (!present || present->directory)) return err::kFileNotFound;
    }
    files.EnsureDirectory(target);
    for (const std::string& f : fileNames) {
        const FileNode* staged = files.Get(files.Follow(JoinPath(staging, f)));
        if (staged && !staged->directory) CopyFile(JoinPath(staging, f), JoinPath(target, f), false, true);
    }
    if (SimDriver* existing = FindDriver(driver.name, env)) {
        if (existing->version == driver.version) {
            driver.printProcessor = existing->printProcessor;
            driver.oemInf = existing->oemInf;
            *existing = driver;
            registry.Create(DriverKey(driver));
            RecomputeHolds();
            return err::kSuccess;
        }
    }
    drivers.push_back(driver);
    registry.Create(DriverKey(driver));
    return err::kSuccess;
}

Dword Machine::State::DeletePrinterDriver(const std::string& name, const std::string& environment, Dword deleteFlag,
                                          Dword versionFlag) {
    constexpr Dword kDeleteUnusedFiles = 0x1, kDeleteSpecificVersion = 0x2, kDeleteAllFiles = 0x4;
    if (deleteFlag & ~(kDeleteUnusedFiles | kDeleteSpecificVersion | kDeleteAllFiles)) return err::kInvalidParameter;
    if (!ValidEnvironment(environment)) return werr::kInvalidEnvironment;
    std::string env = CanonicalEnvironment(environment);
    std::vector<size_t> matches;
    for (size_t i = 0; i < drivers.size(); ++i) {
        const SimDriver& d = drivers[i];
        if (!IEquals(d.name, name) || !IEquals(d.environment, env)) continue;
        if ((deleteFlag & kDeleteSpecificVersion) && d.version != versionFlag) continue;
        matches.push_back(i);
    }
    if (matches.empty()) return err::kUnknownPrinterDriver;
    if (IEquals(env, os.NativeEnvironment())) {
        for (const SimPrinter& printer : printers)
            if (IEquals(printer.driver, name)) return err::kPrinterDriverInUse;
    }
    std::vector<SimDriver> removed;
    for (auto it = matches.rbegin(); it != matches.rend(); ++it) {
        removed.push_back(drivers[*it]);
        registry.EraseTree(RegistryStore::Canonical(DriverKey(drivers[*it])));
        drivers.erase(drivers.begin() + *it);
    }
    if (deleteFlag & (kDeleteUnusedFiles | kDeleteAllFiles)) {
        for (const SimDriver& gone : removed) {
            for (const std::string& f : gone.Files()) {
                bool used = false;
                for (const SimDriver& d : drivers) {
                    if (!IEquals(d.environment, gone.environment) || d.version != gone.version) continue;
                    for (const std::string& g : d.Files()) used = used || IEquals(f, g);
                }
                std::string path = JoinPath(DriverVersionDir(gone.environment, gone.version), f);
                if (!used && !otherHolds.count(PathKey(path))) files.EraseTree(path);
            }
        }
    }
    return err::kSuccess;
}

Dword Machine::State::AddPrinter(const PrinterInfo2& info) {
    if (info.printerName.empty() || info.printerName.find_first_of(",\\") != std::string::npos)
        return err::kInvalidPrinterName;
    if (FindPrinter(info.printerName)) return err::kPrinterAlreadyExists;
    std::string native = os.NativeEnvironment();
    SimDriver* driver = FindDriver(info.driverName, native);
    if (!driver) return err::kUnknownPrinterDriver;
    if (!FindProcessor(info.printProcessor, native)) return err::kUnknownPrintProcessor;
    if (!FindPort(info.portName)) return err::kUnknownPort;
    SimPrinter printer;
    printer.name = info.printerName;
    printer.driver = driver->name;
    printer.port = FindPort(info.portName)->name;
    printer.processor = FindProcessor(info.printProcessor, native)->name;
    printer.datatype = info.datatype.empty() ? "RAW" : info.datatype;
    printer.shareName = info.shareName;
    printer.attributes = info.attributes;
    printer.priority = info.priority;
    printer.status = info.status;
    printers.push_back(printer);
    WritePrinterKey(printer);
    RecomputeHolds();
    return err::kSuccess;
}

Dword Machine::State::DeletePrinter(const std::string& name) {
    SimPrinter* printer = FindPrinter(name);
    if (!printer) return err::kInvalidPrinterName;
    if (!printer->jobs.empty()) {
        // Windows deletes it when its last job is gone.
        printer->pendingDeletion = true;
        return err::kSuccess;
    }
    registry.EraseTree(RegistryStore::Canonical(PrinterKey(printer->name)));
    printers.erase(printers.begin() + (printer - printers.data()));
    RecomputeHolds();
    return err::kSuccess;
}

Dword Machine::State::RemoveJob(const std::string& printerName, Dword jobId) {
    SimPrinter* printer = FindPrinter(printerName);
    if (!printer) return err::kInvalidPrinterName;
    auto it = std::find(printer->jobs.begin(), printer->jobs.end(), jobId);
    if (it == printer->jobs.end()) return err::kInvalidParameter;
    printer->jobs.erase(it);
    if (printer->jobs.empty() && printer->pendingDeletion) return DeletePrinter(printerName);
    return err::kSuccess;
}

Dword Machine::State::AddTcpPort(const SimPort& port) {
    if (port.name.empty()) return err::kInvalidParameter;
    if (FindPort(port.name)) return err::kAlreadyExists;
    ports.push_back(port);
    return err::kSuccess;
}

}  // namespace zmp::sim
