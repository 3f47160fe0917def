// The print spooler model: the service and its pace, printers, drivers,
// monitors, processors, forms, ports and jobs, kept in the registry as the
// spooler keeps them, and the files it holds open while it runs.
#include <algorithm>

#include "simulator/MachineState.h"
#include "simulator/PeImage.h"

namespace zmp::sim {

namespace {

const char* const kPrintKey = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Print";
constexpr Dword kDeleteUnusedFiles = 0x1, kDeleteSpecificVersion = 0x2, kDeleteAllFiles = 0x4;

void CountIn(std::unordered_map<std::string, size_t>& counts, const std::string& name, int delta) {
    const std::string key = Upper(name);
    size_t& n = counts[key];
    n = delta > 0 ? n + 1 : (n > 0 ? n - 1 : 0);
    if (n == 0) counts.erase(key);
}

size_t CountOf(const std::unordered_map<std::string, size_t>& counts, const std::string& name) {
    auto it = counts.find(Upper(name));
    return it == counts.end() ? 0 : it->second;
}

}  // namespace

// --- PrinterTable -----------------------------------------------------------------

PrinterTable& PrinterTable::operator=(const PrinterTable& other) {
    if (this == &other) return *this;
    Clear();
    for (const SimPrinter& p : other) Add(p);
    return *this;
}

SimPrinter* PrinterTable::Find(const std::string& name) {
    auto it = byName_.find(Upper(name));
    return it == byName_.end() ? nullptr : &*it->second;
}

const SimPrinter* PrinterTable::Find(const std::string& name) const {
    auto it = byName_.find(Upper(name));
    return it == byName_.end() ? nullptr : &*it->second;
}

SimPrinter& PrinterTable::Add(const SimPrinter& printer) {
    list_.push_back(printer);
    auto it = std::prev(list_.end());
    byName_[Upper(printer.name)] = it;
    Count(printer, +1);
    return *it;
}

SimPrinter& PrinterTable::Replace(const std::string& name, const SimPrinter& printer) {
    auto found = byName_.find(Upper(name));
    if (found == byName_.end()) return Add(printer);
    List::iterator it = found->second;
    Count(*it, -1);
    byName_.erase(found);
    *it = printer;
    byName_[Upper(printer.name)] = it;
    Count(printer, +1);
    return *it;
}

void PrinterTable::Erase(const std::string& name) {
    auto found = byName_.find(Upper(name));
    if (found == byName_.end()) return;
    Count(*found->second, -1);
    list_.erase(found->second);
    byName_.erase(found);
}

void PrinterTable::Clear() {
    list_.clear();
    byName_.clear();
    drivers_.clear();
    ports_.clear();
    processors_.clear();
}

size_t PrinterTable::UsingDriver(const std::string& driver) const { return CountOf(drivers_, driver); }
size_t PrinterTable::UsingPort(const std::string& port) const { return CountOf(ports_, port); }
size_t PrinterTable::UsingProcessor(const std::string& processor) const { return CountOf(processors_, processor); }

void PrinterTable::Count(const SimPrinter& printer, int delta) {
    CountIn(drivers_, printer.driver, delta);
    CountIn(ports_, printer.port, delta);
    CountIn(processors_, printer.processor, delta);
}

// --- registry keys -----------------------------------------------------------------

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

void Machine::State::WriteSpoolerKeys() {
    for (const SimPrinter& p : printers) WritePrinterKey(p);
    for (const SimDriver& d : drivers) registry.Create(DriverKey(d));
    for (const SimMonitor& m : monitors) registry.Create(MonitorKey(m.name));
    for (const SimProcessor& p : processors) registry.Create(ProcessorKey(p.environment, p.name));
}

// --- lookups -------------------------------------------------------------------------

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

std::vector<std::string> Machine::State::Datatypes(const SimProcessor& processor) {
    if (IEquals(processor.name, "winprint"))
        return {"RAW", "RAW [FF appended]", "RAW [FF auto]", "NT EMF 1.003", "NT EMF 1.006", "NT EMF 1.007",
                "NT EMF 1.008", "TEXT", "XPS2GDI"};
    return {"RAW"};  // what a maker's RAW processor (ours) renders
}

// --- the service -------------------------------------------------------------------------

void Machine::State::Advance(std::int64_t milliseconds) {
    clockMs += milliseconds;
    files.now = clockMs;
    if (clockMs < servicePendingUntil) return;
    if (serviceState == svc::kStopPending) StopSpooler();
    else if (serviceState == svc::kStartPending) StartSpooler();
}

void Machine::State::NetStop() {
    // A service that is starting cannot take the request (1061), one that
    // is stopped or stopping has nothing to do: net.exe just fails.
    if (serviceState != svc::kRunning) return;
    serviceState = svc::kStopPending;
    servicePendingUntil = clockMs + switches.spoolerStopMs;
    Advance(0);
}

void Machine::State::NetStart() {
    // Running or starting: nothing to do; still stopping: net.exe fails.
    if (serviceState != svc::kStopped) return;
    serviceState = svc::kStartPending;
    servicePendingUntil = clockMs + switches.spoolerStartMs;
    Advance(0);
}

void Machine::State::StopSpooler() {
    serviceState = svc::kStopped;
    holds.ReleaseProcess(kSpoolerProcess);
}

namespace {
std::string DriverHolder(const SimDriver& driver) {
    return std::string(kSpoolerProcess) + ":driver:" + driver.environment + ":" + Upper(driver.name);
}
std::string MonitorHolder(const std::string& name) { return std::string(kSpoolerProcess) + ":monitor:" + Upper(name); }
std::string ProcessorHolder(const std::string& environment, const std::string& name) {
    return std::string(kSpoolerProcess) + ":processor:" + environment + ":" + Upper(name);
}
}  // namespace

void Machine::State::LoadMonitor(const SimMonitor& monitor) {
    if (SpoolerAccepting() && !monitor.dll.empty())
        holds.Hold(files.Follow(MonitorDllPath(monitor.dll)), MonitorHolder(monitor.name));
}

void Machine::State::LoadProcessor(const SimProcessor& processor) {
    if (SpoolerAccepting() && !processor.dll.empty() && IEquals(processor.environment, os.NativeEnvironment()))
        holds.Hold(files.Follow(JoinPath(ProcessorDir(processor.environment), processor.dll)),
                   ProcessorHolder(processor.environment, processor.name));
}

void Machine::State::LoadDriver(const SimDriver& driver) {
    if (!SpoolerAccepting()) return;
    const bool isolated = switches.driverIsolation &&
                          (os.majorVersion > 6 || (os.majorVersion == 6 && os.minorVersion >= 1));
    const std::string dir = DriverVersionDir(driver.environment, driver.version);
    for (const std::string& f : driver.Files()) {
        const std::string path = files.Follow(JoinPath(dir, f));
        holds.Hold(path, DriverHolder(driver));
        if (isolated) holds.Hold(path, "PrintIsolationHost.exe");
    }
}

void Machine::State::UnloadDriver(const SimDriver& driver) { holds.Release(DriverHolder(driver)); }

void Machine::State::StartSpooler() {
    if (serviceState == svc::kRunning) return;
    serviceState = svc::kRunning;
    ++spoolerGeneration;
    // The spooler reads its configuration from the registry when it starts:
    // whatever was deleted there directly is gone now.
    auto gone = [&](const std::string& key) { return registry.Get(RegistryStore::Canonical(key)) == nullptr; };
    std::vector<std::string> lost;
    for (const SimPrinter& p : printers)
        if (gone(PrinterKey(p.name))) lost.push_back(p.name);
    for (const std::string& name : lost) printers.Erase(name);
    drivers.erase(std::remove_if(drivers.begin(), drivers.end(), [&](const SimDriver& d) { return gone(DriverKey(d)); }),
                  drivers.end());
    monitors.erase(std::remove_if(monitors.begin(), monitors.end(),
                                  [&](const SimMonitor& m) { return gone(MonitorKey(m.name)); }),
                   monitors.end());
    processors.erase(std::remove_if(processors.begin(), processors.end(),
                                    [&](const SimProcessor& p) { return gone(ProcessorKey(p.environment, p.name)); }),
                     processors.end());

    LoadAll();
}

void Machine::State::LoadAll() {
    holds.ReleaseProcess(kSpoolerProcess);
    const std::string native = os.NativeEnvironment();
    for (const SimMonitor& m : monitors) LoadMonitor(m);
    for (const SimProcessor& p : processors) LoadProcessor(p);
    for (const SimDriver& d : drivers)
        if (IEquals(d.environment, native) && printers.UsingDriver(d.name) > 0) LoadDriver(d);
}

// --- monitors and processors -------------------------------------------------------------

std::string Machine::State::MonitorDllPath(const std::string& dll) const {
    for (const std::string& dir : {SystemDir(), WindowsDir()})
        if (FindFile(JoinPath(dir, dll))) return JoinPath(dir, dll);
    return JoinPath(SystemDir(), dll);
}

Dword Machine::State::AddMonitor(const SimMonitor& monitor) {
    if (monitor.name.empty() || monitor.dll.empty()) return err::kInvalidParameter;
    if (!monitor.environment.empty() && !IEquals(monitor.environment, os.NativeEnvironment()))
        return werr::kInvalidEnvironment;
    if (FindMonitor(monitor.name)) return err::kPrintMonitorAlreadyInstalled;
    // The spooler (a native process) loads the monitor by name and calls its
    // entry point.
    const std::string dll = MonitorDllPath(monitor.dll);
    if (Dword code = CheckImage(dll, os.NativeEnvironment(), kMonitorEntryPoints)) return code;
    SimMonitor added = monitor;
    added.environment = os.NativeEnvironment();
    monitors.push_back(added);
    registry.Create(MonitorKey(added.name)).values["DRIVER"] = {"Driver", RegValue{1, added.dll, 0, {}}};
    LoadMonitor(added);
    return err::kSuccess;
}

Dword Machine::State::DeleteMonitor(const std::string& name) {
    SimMonitor* monitor = FindMonitor(name);
    if (!monitor) return err::kUnknownPrintMonitor;
    // In use only while a printer prints through one of its ports.
    for (const SimPort& port : ports)
        if (IEquals(port.monitor, monitor->name) && printers.UsingPort(port.name) > 0) return err::kPrintMonitorInUse;
    ports.erase(std::remove_if(ports.begin(), ports.end(),
                               [&](const SimPort& p) { return IEquals(p.monitor, monitor->name); }),
                ports.end());
    holds.Release(MonitorHolder(monitor->name));
    registry.EraseTree(RegistryStore::Canonical(MonitorKey(monitor->name)));
    monitors.erase(monitors.begin() + (monitor - monitors.data()));
    return err::kSuccess;
}

Dword Machine::State::AddPrintProcessor(const std::string& environment, const std::string& file,
                                        const std::string& name) {
    if (name.empty() || file.empty()) return err::kInvalidParameter;
    if (!ValidEnvironment(environment)) return werr::kInvalidEnvironment;
    std::string env = CanonicalEnvironment(environment);
    SimProcessor* existing = FindProcessor(name, env);
    // Only Windows' own processor cannot be replaced.
    if (existing && IEquals(name, "winprint")) return err::kPrintProcessorAlreadyInstalled;
    std::string dll = JoinPath(ProcessorDir(env), file);
    if (!FindFile(dll)) return err::kModNotFound;
    if (existing) existing->dll = file;
    else processors.push_back({name, env, file});
    registry.Create(ProcessorKey(env, name)).values["DRIVER"] = {"Driver", RegValue{1, file, 0, {}}};
    LoadProcessor(existing ? *existing : processors.back());
    return err::kSuccess;
}

Dword Machine::State::DeletePrintProcessor(const std::string& environment, const std::string& name) {
    if (!ValidEnvironment(environment)) return werr::kInvalidEnvironment;
    std::string env = CanonicalEnvironment(environment);
    SimProcessor* processor = FindProcessor(name, env);
    if (!processor) return err::kUnknownPrintProcessor;
    if (IEquals(env, os.NativeEnvironment())) {
        if (printers.UsingProcessor(processor->name) > 0) return werr::kCanNotComplete;
        holds.Release(ProcessorHolder(env, processor->name));
    }
    registry.EraseTree(RegistryStore::Canonical(ProcessorKey(env, processor->name)));
    processors.erase(processors.begin() + (processor - processors.data()));
    return err::kSuccess;
}

// --- drivers -----------------------------------------------------------------------------

Dword Machine::State::AddPrinterDriver(const DriverInfo3& info, const std::array<Dword, 4>& reportedVersion,
                                       const DriverPackage* package, const std::string& oemInf) {
    if (info.name.empty() || info.driverPath.empty() || info.dataFile.empty() || info.configFile.empty())
        return err::kInvalidParameter;
    if (!ValidEnvironment(info.environment)) return werr::kInvalidEnvironment;
    std::string env = CanonicalEnvironment(info.environment);
    if (switches.addDriverNeedsFramedyn && !os.VistaOrLater() && !FindFile(JoinPath(SystemDir(), "framedyn.dll")))
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
    if (package) {
        driver.driverDate = package->driverDate;
        driver.driverVersion = package->driverVersion;
        driver.mfgName = package->manufacturer;
        driver.hardwareId = package->hardwareId;
        driver.provider = package->provider;
        if (!package->processor.empty()) driver.printProcessor = package->processor[0];
        driver.oemInf = oemInf;
    }
    if (!driver.monitorName.empty() && !FindMonitor(driver.monitorName)) return err::kUnknownPrintMonitor;

    // Every file must be staged in the environment's driver directory or
    // already be in its version folder; a DLL must be built for the environment.
    const std::string staging = DriverDir(env);
    const std::string target = DriverVersionDir(env, driver.version);
    const Dword machine = env == kEnvX64 ? pe::kMachineAmd64 : pe::kMachineI386;
    for (const std::string& f : driver.Files()) {
        const FileNode* file = FindFile(JoinPath(staging, f));
        if (!file) file = FindFile(JoinPath(target, f));
        if (!file) return err::kFileNotFound;
        std::optional<PeImage> image = ReadPeImage(file->data);
        if (image && image->machine != machine) return werr::kExeMachineTypeMismatch;
    }
    // As APD_COPY_NEW_FILES: a staged file replaces the one in the version
    // folder only when it is newer.
    files.EnsureDirectory(target);
    for (const std::string& f : driver.Files()) {
        const FileNode* staged = FindFile(JoinPath(staging, f));
        const FileNode* present = FindFile(JoinPath(target, f));
        if (staged && (!present || staged->writeTime > present->writeTime))
            CopyFile(JoinPath(staging, f), JoinPath(target, f), false, true);
    }
    SimDriver* existing = FindDriver(driver.name, env);
    if (existing && existing->version == driver.version) {
        if (!package) {
            driver.printProcessor = existing->printProcessor;
            driver.oemInf = existing->oemInf;
        }
        *existing = driver;
    } else {
        drivers.push_back(driver);
    }
    registry.Create(DriverKey(driver));
    // Printers already use it: the spooler loads the new files beside those
    // it holds.
    if (IEquals(env, os.NativeEnvironment()) && printers.UsingDriver(driver.name) > 0) LoadDriver(driver);
    return err::kSuccess;
}

Dword Machine::State::DeletePrinterDriver(const std::string& name, const std::string& environment, Dword deleteFlag,
                                          Dword versionFlag) {
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
    if (printers.UsingDriver(name) > 0) return err::kPrinterDriverInUse;
    if (deleteFlag & ~(kDeleteUnusedFiles | kDeleteSpecificVersion | kDeleteAllFiles)) return err::kInvalidParameter;

    std::vector<SimDriver> removed;
    for (auto it = matches.rbegin(); it != matches.rend(); ++it) {
        removed.push_back(drivers[*it]);
        registry.EraseTree(RegistryStore::Canonical(DriverKey(drivers[*it])));
        drivers.erase(drivers.begin() + *it);
    }
    if (!(deleteFlag & (kDeleteUnusedFiles | kDeleteAllFiles))) return err::kSuccess;
    for (const SimDriver& gone : removed) {
        const std::string dir = DriverVersionDir(gone.environment, gone.version);
        for (const std::string& f : gone.Files()) {
            bool used = false;
            for (const SimDriver& d : drivers) {
                if (!IEquals(d.environment, gone.environment) || d.version != gone.version) continue;
                for (const std::string& g : d.Files()) used = used || IEquals(f, g);
            }
            const std::string path = files.Follow(JoinPath(dir, f));
            if (used || !files.Get(path)) continue;
            if (!holds.IsHeld(path)) {
                files.EraseTree(path);
                continue;
            }
            // A loaded file is moved aside and deleted at the next restart.
            for (unsigned n = 1;; ++n) {
                const std::string aside = JoinPath(dir, "Old\\" + std::to_string(n) + "\\" + FileName(path));
                if (files.Get(aside)) continue;
                files.EnsureDirectory(ParentPath(aside));
                MoveFile(path, aside);
                deleteAtRestart.push_back(aside);
                break;
            }
        }
    }
    return err::kSuccess;
}

// --- printers and jobs -------------------------------------------------------------------

Dword Machine::State::AddPrinter(const PrinterInfo2& info) {
    if (info.printerName.empty() || info.printerName.find_first_of(",\\") != std::string::npos)
        return err::kInvalidPrinterName;
    const std::string native = os.NativeEnvironment();
    const std::string datatype = info.datatype.empty() ? "RAW" : info.datatype;
    SimProcessor* processor = FindProcessor(info.printProcessor, native);
    if (!processor) return err::kUnknownPrintProcessor;
    const std::vector<std::string> types = Datatypes(*processor);
    if (std::none_of(types.begin(), types.end(), [&](const std::string& t) { return IEquals(t, datatype); }))
        return werr::kInvalidDatatype;
    SimPort* port = FindPort(info.portName);
    if (!port) return err::kUnknownPort;
    SimDriver* driver = FindDriver(info.driverName, native);
    if (!driver) return err::kUnknownPrinterDriver;
    SimPrinter* existing = FindPrinter(info.printerName);
    if (existing && !existing->pendingDeletion) return err::kPrinterAlreadyExists;

    SimPrinter printer;
    printer.name = info.printerName;
    printer.driver = driver->name;
    printer.port = port->name;
    printer.processor = processor->name;
    printer.datatype = datatype;
    printer.shareName = info.shareName;
    printer.attributes = info.attributes;
    printer.priority = info.priority;
    // Status, jobs and pages per minute are the spooler's own: the caller's are ignored.
    if (existing) {
        // A name pending deletion is taken up again with the new settings;
        // the jobs still queued stay.
        const std::string oldDriver = existing->driver;
        printer.name = existing->name;
        printer.jobs = existing->jobs;
        printer.data = existing->data;
        printers.Replace(existing->name, printer);
        WritePrinterKey(printer);
        if (!IEquals(oldDriver, printer.driver) && printers.UsingDriver(oldDriver) == 0)
            if (SimDriver* old = FindDriver(oldDriver, native)) UnloadDriver(*old);
    } else {
        printers.Add(printer);
        WritePrinterKey(printer);
    }
    if (printers.UsingDriver(driver->name) == 1) LoadDriver(*driver);
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
    const std::string driver = printer->driver;
    registry.EraseTree(RegistryStore::Canonical(PrinterKey(printer->name)));
    printers.Erase(printer->name);
    if (printers.UsingDriver(driver) == 0)
        if (SimDriver* d = FindDriver(driver, os.NativeEnvironment())) UnloadDriver(*d);
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
