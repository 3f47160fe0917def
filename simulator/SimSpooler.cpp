// winspool's "A" calls on the local machine, for one simulated process.
#include <algorithm>

#include "simulator/MachineState.h"
#include "simulator/SimPlatform.h"

namespace zmp::sim {

namespace {

constexpr Dword kPrinterStatusPendingDeletion = 0x4;
constexpr size_t kPortData1Size = 964;

std::string DecodeWide(const std::vector<std::uint8_t>& bytes, size_t offset, size_t maxChars) {
    std::string out;
    for (size_t i = 0; i < maxChars && offset + 2 * i + 1 < bytes.size(); ++i) {
        unsigned c = bytes[offset + 2 * i] | (bytes[offset + 2 * i + 1] << 8);
        if (c == 0) break;
        out += c < 0x80 ? static_cast<char>(c) : '?';
    }
    return out;
}

Dword ReadDword(const std::vector<std::uint8_t>& bytes, size_t offset) {
    if (offset + 4 > bytes.size()) return 0;
    return bytes[offset] | (bytes[offset + 1] << 8) | (bytes[offset + 2] << 16) |
           (static_cast<Dword>(bytes[offset + 3]) << 24);
}

std::string FromU16(const std::u16string& text) {
    std::string out;
    for (char16_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

}  // namespace

#define ZMP_ENTER(name)                                                      \
    if (auto fault = p_.Enter("Spooler." name)) return p_.Fail(*fault);      \
    std::lock_guard<std::recursive_mutex> machineLock(p_.machine().Mutex()); \
    Machine::State& s = p_.machine().Internal();                             \
    if (!s.SpoolerAccepting()) return p_.Fail(err::kRpcServerUnavailable)

Dword SimSpooler::Lookup(PrinterHandle printer, Handle& out) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = handles_.find(static_cast<std::uintptr_t>(printer));
    if (it == handles_.end()) return err::kInvalidHandle;
    // A handle does not survive a restart of the spooler.
    if (it->second.generation != p_.machine().Internal().spoolerGeneration) return err::kInvalidHandle;
    out = it->second;
    return err::kSuccess;
}

Status SimSpooler::EnumPrinters(Dword flags, std::vector<PrinterInfo2>& out) {
    out.clear();
    ZMP_ENTER("EnumPrinters");
    if (!(flags & spool::kPrinterEnumLocal)) return Status::Ok();
    out.reserve(s.printers.size());
    for (const SimPrinter& p : s.printers) {
        PrinterInfo2 info;
        info.printerName = p.name;
        info.shareName = p.shareName;
        info.portName = p.port;
        info.driverName = p.driver;
        info.printProcessor = p.processor;
        info.datatype = p.datatype;
        info.attributes = p.attributes;
        info.priority = p.priority;
        info.status = p.status | (p.pendingDeletion ? kPrinterStatusPendingDeletion : 0);
        info.jobs = static_cast<Dword>(p.jobs.size());
        out.push_back(info);
    }
    return Status::Ok();
}

// DRIVER_INFO_6 of a driver, paths in full.
static DriverInfo6 DriverRecord(const Machine::State& s, const SimDriver& d) {
    std::string dir = s.DriverVersionDir(d.environment, d.version);
    auto full = [&](const std::string& f) { return f.empty() ? f : JoinPath(dir, f); };
    DriverInfo6 info;
    info.version = d.version;
    info.name = d.name;
    info.environment = d.environment;
    info.driverPath = full(d.driverPath);
    info.dataFile = full(d.dataFile);
    info.configFile = full(d.configFile);
    info.helpFile = full(d.helpFile);
    for (const std::string& f : d.dependentFiles) info.dependentFiles.push_back(full(f));
    info.monitorName = d.monitorName;
    info.defaultDataType = d.defaultDataType;
    info.driverDate = d.driverDate;
    info.driverVersion = d.driverVersion;
    info.mfgName = d.mfgName;
    info.hardwareId = d.hardwareId;
    info.provider = d.provider;
    return info;
}

// The drivers of the environment an EnumPrinterDrivers call names (NULL:
// the caller's; "all" from Windows 2000 on), or its code.
static Dword DriversOf(const Machine::State& s, const std::string& environment, std::vector<const SimDriver*>& out) {
    std::string env = environment;
    const bool all = IEquals(env, "all");
    if (all && (s.os.platformId != 2 || s.os.majorVersion < 5)) return werr::kInvalidEnvironment;
    if (!all && !s.ValidEnvironment(env)) return werr::kInvalidEnvironment;
    for (const SimDriver& d : s.drivers)
        if (all || IEquals(d.environment, env)) out.push_back(&d);
    return err::kSuccess;
}

Status SimSpooler::EnumPrinterDrivers(const std::optional<std::string>& environment, Dword level,
                                      std::vector<DriverInfo3>& out) {
    out.clear();
    ZMP_ENTER("EnumPrinterDrivers");
    if (level < 1 || level > 8 || level == 7) return p_.Fail(werr::kInvalidLevel);
    std::vector<const SimDriver*> drivers;
    if (Dword code = DriversOf(s, environment ? *environment : p_.CallerEnvironment(), drivers)) return p_.Fail(code);
    for (const SimDriver* d : drivers) out.push_back(DriverRecord(s, *d));
    return Status::Ok();
}

Status SimSpooler::EnumPrinterDrivers6(const std::optional<std::string>& environment, std::vector<DriverInfo6>& out) {
    out.clear();
    ZMP_ENTER("EnumPrinterDrivers6");
    std::vector<const SimDriver*> drivers;
    if (Dword code = DriversOf(s, environment ? *environment : p_.CallerEnvironment(), drivers)) return p_.Fail(code);
    for (const SimDriver* d : drivers) out.push_back(DriverRecord(s, *d));
    return Status::Ok();
}

Status SimSpooler::GetPrinterDriver6(PrinterHandle printer, const std::optional<std::string>& environment,
                                     DriverInfo6& out) {
    out = DriverInfo6();
    ZMP_ENTER("GetPrinterDriver6");
    Handle handle;
    if (Dword code = Lookup(printer, handle)) return p_.Fail(code);
    if (handle.kind != Kind::Printer) return p_.Fail(err::kInvalidHandle);
    SimPrinter* p = s.FindPrinter(handle.name);
    if (!p) return p_.Fail(err::kInvalidPrinterName);
    std::string env = environment ? *environment : p_.CallerEnvironment();
    if (!s.ValidEnvironment(env)) return p_.Fail(werr::kInvalidEnvironment);
    SimDriver* d = s.FindDriver(p->driver, s.CanonicalEnvironment(env));
    if (!d) return p_.Fail(err::kUnknownPrinterDriver);
    out = DriverRecord(s, *d);
    return Status::Ok();
}

Status SimSpooler::EnumPrintProcessors(std::vector<std::string>& out) {
    out.clear();
    ZMP_ENTER("EnumPrintProcessors");
    std::string env = p_.CallerEnvironment();
    for (const SimProcessor& p : s.processors)
        if (IEquals(p.environment, env)) out.push_back(p.name);
    return Status::Ok();
}

Status SimSpooler::EnumPrintProcessorsFor(const std::string& environment, std::vector<std::string>& out) {
    out.clear();
    ZMP_ENTER("EnumPrintProcessorsFor");
    if (!s.ValidEnvironment(environment)) return p_.Fail(werr::kInvalidEnvironment);
    for (const SimProcessor& p : s.processors)
        if (IEquals(p.environment, environment)) out.push_back(p.name);
    return Status::Ok();
}

Status SimSpooler::OpenPrinter(const std::optional<std::string>& name, const std::optional<PrinterDefaults>& defaults,
                               PrinterHandle& out) {
    out = PrinterHandle::None;
    ZMP_ENTER("OpenPrinter");
    Handle handle{Kind::Server, "", s.spoolerGeneration};
    if (name && !name->empty()) {
        const std::string& n = *name;
        if (IStartsWith(n, ",XcvMonitor ")) {
            std::string monitor = n.substr(12);
            if (!s.FindMonitor(monitor)) return p_.Fail(err::kInvalidPrinterName);
            handle = Handle{Kind::Xcv, s.FindMonitor(monitor)->name, s.spoolerGeneration};
        } else if (IStartsWith(n, ",XcvPort ")) {
            std::string port = n.substr(9);
            if (!s.FindPort(port)) return p_.Fail(err::kInvalidPrinterName);
            handle = Handle{Kind::Xcv, s.FindPort(port)->monitor, s.spoolerGeneration};
        } else {
            SimPrinter* printer = s.FindPrinter(n);
            if (!printer) return p_.Fail(err::kInvalidPrinterName);
            // The datatype asked for must be one the printer's processor
            // renders (the 9x presets model no processors: no check there).
            SimProcessor* processor = s.FindProcessor(printer->processor, s.os.NativeEnvironment());
            if (defaults && defaults->datatype && processor) {
                std::vector<std::string> types = Machine::State::Datatypes(*processor);
                if (std::none_of(types.begin(), types.end(),
                                 [&](const std::string& t) { return IEquals(t, *defaults->datatype); }))
                    return p_.Fail(werr::kInvalidDatatype);
            }
            handle = Handle{Kind::Printer, printer->name, s.spoolerGeneration};
        }
    }
    std::uintptr_t h = p_.NewHandle();
    std::lock_guard<std::mutex> lock(mutex_);
    handles_[h] = handle;
    out = static_cast<PrinterHandle>(h);
    return Status::Ok();
}

Status SimSpooler::ClosePrinter(PrinterHandle printer) {
    if (auto fault = p_.Enter("Spooler.ClosePrinter")) return p_.Fail(*fault);
    std::lock_guard<std::mutex> lock(mutex_);
    if (!handles_.erase(static_cast<std::uintptr_t>(printer))) return p_.Fail(err::kInvalidHandle);
    return Status::Ok();
}

Dword SimSpooler::GetPrinterDataDword(PrinterHandle printer, const std::string& valueName, Dword& value) {
    if (auto fault = p_.Enter("Spooler.GetPrinterDataDword")) return *fault;
    std::lock_guard<std::recursive_mutex> machineLock(p_.machine().Mutex());
    Machine::State& s = p_.machine().Internal();
    if (!s.SpoolerAccepting()) return err::kRpcServerUnavailable;
    Handle handle;
    if (Dword code = Lookup(printer, handle)) return code;
    if (handle.kind != Kind::Printer) return err::kFileNotFound;
    SimPrinter* p = s.FindPrinter(handle.name);
    if (!p) return err::kInvalidPrinterName;
    for (const auto& [name, v] : p->data)
        if (IEquals(name, valueName)) {
            value = v;
            return err::kSuccess;
        }
    // The driver answers for what the printer does not hold itself.
    if (SimDriver* driver = s.FindDriver(p->driver, s.os.NativeEnvironment()))
        for (const auto& [name, v] : driver->reportedData)
            if (IEquals(name, valueName)) {
                value = v;
                return err::kSuccess;
            }
    return err::kFileNotFound;
}

Status SimSpooler::EnumJobs(PrinterHandle printer, Dword firstJob, Dword noJobs, Dword level,
                            std::vector<JobInfo3>& out) {
    out.clear();
    ZMP_ENTER("EnumJobs");
    Handle handle;
    if (Dword code = Lookup(printer, handle)) return p_.Fail(code);
    if (level < 1 || level > 3) return p_.Fail(werr::kInvalidLevel);
    if (handle.kind != Kind::Printer) return p_.Fail(err::kInvalidHandle);
    SimPrinter* p = s.FindPrinter(handle.name);
    if (!p) return p_.Fail(err::kInvalidPrinterName);
    for (size_t i = firstJob; i < p->jobs.size() && out.size() < noJobs; ++i)
        out.push_back({p->jobs[i], i + 1 < p->jobs.size() ? p->jobs[i + 1] : 0});
    return Status::Ok();
}

Status SimSpooler::SetJob(PrinterHandle printer, Dword jobId, Dword command) {
    ZMP_ENTER("SetJob");
    Handle handle;
    if (Dword code = Lookup(printer, handle)) return p_.Fail(code);
    if (handle.kind != Kind::Printer) return p_.Fail(err::kInvalidHandle);
    SimPrinter* p = s.FindPrinter(handle.name);
    if (!p) return p_.Fail(err::kInvalidPrinterName);
    if (std::find(p->jobs.begin(), p->jobs.end(), jobId) == p->jobs.end()) return p_.Fail(err::kInvalidParameter);
    if (command == spool::kJobControlCancel || command == spool::kJobControlDelete) {
        Dword code = s.RemoveJob(handle.name, jobId);
        return code ? p_.Fail(code) : Status::Ok();
    }
    if (command >= 1 && command <= 9) return Status::Ok();  // pause, resume, restart ...: nothing to model
    return p_.Fail(err::kInvalidParameter);
}

Status SimSpooler::DeletePrinter(PrinterHandle printer) {
    ZMP_ENTER("DeletePrinter");
    Handle handle;
    if (Dword code = Lookup(printer, handle)) return p_.Fail(code);
    if (handle.kind != Kind::Printer) return p_.Fail(err::kInvalidHandle);
    Dword code = s.DeletePrinter(handle.name);
    return code ? p_.Fail(code) : Status::Ok();
}

Status SimSpooler::EnumForms(PrinterHandle server, std::vector<std::string>& out) {
    out.clear();
    ZMP_ENTER("EnumForms");
    Handle handle;
    if (Dword code = Lookup(server, handle)) return p_.Fail(code);
    if (handle.kind == Kind::Xcv) return p_.Fail(err::kInvalidHandle);
    out = s.forms;
    return Status::Ok();
}

Status SimSpooler::DeleteForm(PrinterHandle server, const std::string& formName) {
    ZMP_ENTER("DeleteForm");
    Handle handle;
    if (Dword code = Lookup(server, handle)) return p_.Fail(code);
    if (handle.kind == Kind::Xcv) return p_.Fail(err::kInvalidHandle);
    for (auto it = s.forms.begin(); it != s.forms.end(); ++it) {
        if (*it == formName || IEquals(*it, formName)) {
            s.forms.erase(it);
            return Status::Ok();
        }
    }
    return p_.Fail(werr::kInvalidFormName);
}

Status SimSpooler::DeletePrinterDriverEx(const std::string& driverName, Dword deleteFlag, Dword versionFlag) {
    ZMP_ENTER("DeletePrinterDriverEx");
    Dword code = s.DeletePrinterDriver(driverName, p_.CallerEnvironment(), deleteFlag, versionFlag);
    return code ? p_.Fail(code) : Status::Ok();
}

Status SimSpooler::AddMonitor(const MonitorInfo2& info) {
    ZMP_ENTER("AddMonitor");
    Dword code = s.AddMonitor({info.name, info.environment, info.dllName});
    if (code) return p_.Fail(code);
    p_.SetLastError(err::kSuccess);
    return Status::Ok();
}

Status SimSpooler::DeleteMonitor(const std::string& monitorName) {
    ZMP_ENTER("DeleteMonitor");
    Dword code = s.DeleteMonitor(monitorName);
    return code ? p_.Fail(code) : Status::Ok();
}

Status SimSpooler::GetPrintProcessorDirectory(std::string& out) {
    out.clear();
    ZMP_ENTER("GetPrintProcessorDirectory");
    out = s.ProcessorDir(p_.CallerEnvironment());
    if (out.size() + 1 > 256) {
        out.clear();
        return p_.Fail(err::kInsufficientBuffer);
    }
    return Status::Ok();
}

Status SimSpooler::AddPrintProcessor(const std::string& environment, const std::string& fileName,
                                     const std::string& processorName) {
    ZMP_ENTER("AddPrintProcessor");
    std::string env = environment.empty() ? p_.CallerEnvironment() : environment;
    Dword code = s.AddPrintProcessor(env, fileName, processorName);
    return code ? p_.Fail(code) : Status::Ok();
}

Status SimSpooler::DeletePrintProcessor(const std::string& processorName) {
    ZMP_ENTER("DeletePrintProcessor");
    Dword code = s.DeletePrintProcessor(p_.CallerEnvironment(), processorName);
    return code ? p_.Fail(code) : Status::Ok();
}

Status SimSpooler::GetPrinterDriverDirectory(std::string& out) {
    out.clear();
    ZMP_ENTER("GetPrinterDriverDirectory");
    out = s.DriverDir(p_.CallerEnvironment());
    if (out.size() + 1 > 256) {
        out.clear();
        return p_.Fail(err::kInsufficientBuffer);
    }
    return Status::Ok();
}

Status SimSpooler::GetPrintProcessorDirectoryFor(const std::string& environment, std::string& out) {
    out.clear();
    ZMP_ENTER("GetPrintProcessorDirectoryFor");
    std::string env = environment.empty() ? p_.CallerEnvironment() : environment;
    if (!s.ValidEnvironment(env)) return p_.Fail(werr::kInvalidEnvironment);
    out = s.ProcessorDir(s.CanonicalEnvironment(env));
    if (out.size() + 1 > 256) {
        out.clear();
        return p_.Fail(err::kInsufficientBuffer);
    }
    return Status::Ok();
}

Status SimSpooler::GetPrinterDriverDirectoryFor(const std::string& environment, std::string& out) {
    out.clear();
    ZMP_ENTER("GetPrinterDriverDirectoryFor");
    std::string env = environment.empty() ? p_.CallerEnvironment() : environment;
    if (!s.ValidEnvironment(env)) return p_.Fail(werr::kInvalidEnvironment);
    out = s.DriverDir(s.CanonicalEnvironment(env));
    if (out.size() + 1 > 256) {
        out.clear();
        return p_.Fail(err::kInsufficientBuffer);
    }
    return Status::Ok();
}

Status SimSpooler::DeletePrinterDriverExFor(const std::string& environment, const std::string& driverName,
                                            Dword deleteFlag, Dword versionFlag) {
    ZMP_ENTER("DeletePrinterDriverExFor");
    std::string env = environment.empty() ? p_.CallerEnvironment() : environment;
    Dword code = s.DeletePrinterDriver(driverName, env, deleteFlag, versionFlag);
    return code ? p_.Fail(code) : Status::Ok();
}

Status SimSpooler::DeletePrintProcessorFor(const std::string& environment, const std::string& processorName) {
    ZMP_ENTER("DeletePrintProcessorFor");
    std::string env = environment.empty() ? p_.CallerEnvironment() : environment;
    Dword code = s.DeletePrintProcessor(env, processorName);
    return code ? p_.Fail(code) : Status::Ok();
}

Status SimSpooler::AddPrinterDriver(const DriverInfo3& info) {
    ZMP_ENTER("AddPrinterDriver");
    DriverInfo3 record = info;
    if (record.environment.empty()) record.environment = p_.CallerEnvironment();
    Dword code = s.AddPrinterDriver(record, s.switches.packageVersion);
    return code ? p_.Fail(code) : Status::Ok();
}

Status SimSpooler::AddPrinter(const PrinterInfo2& info, PrinterHandle& out) {
    out = PrinterHandle::None;
    ZMP_ENTER("AddPrinter");
    Dword code = s.AddPrinter(info);
    if (code) return p_.Fail(code);
    std::uintptr_t h = p_.NewHandle();
    std::lock_guard<std::mutex> lock(mutex_);
    handles_[h] = Handle{Kind::Printer, s.FindPrinter(info.printerName)->name, s.spoolerGeneration};
    out = static_cast<PrinterHandle>(h);
    return Status::Ok();
}

XcvResult SimSpooler::XcvData(PrinterHandle xcv, const std::u16string& command, const std::vector<std::uint8_t>& input,
                              Dword /*outputSize*/) {
    XcvResult result;
    if (auto fault = p_.Enter("Spooler.XcvData")) {
        result.call = p_.Fail(*fault);
        return result;
    }
    std::lock_guard<std::recursive_mutex> machineLock(p_.machine().Mutex());
    Machine::State& s = p_.machine().Internal();
    if (!s.SpoolerAccepting()) {
        result.call = p_.Fail(err::kRpcServerUnavailable);
        return result;
    }
    Handle handle;
    if (Dword code = Lookup(xcv, handle)) {
        result.call = p_.Fail(code);
        return result;
    }
    if (handle.kind != Kind::Xcv) {
        result.call = p_.Fail(err::kInvalidHandle);
        return result;
    }
    if (!IEquals(handle.name, "Standard TCP/IP Port")) {
        result.monitorStatus = err::kInvalidFunction;
        return result;
    }
    std::string cmd = FromU16(command);
    if (cmd == "AddPort") {
        // PORT_DATA_1: sztPortName[64] at 0, dwVersion 128, dwProtocol 132,
        // cbSize 136, sztHostAddress[49] at 144, dwPortNumber 952.
        if (input.size() < kPortData1Size || ReadDword(input, 136) != kPortData1Size || ReadDword(input, 128) != 1) {
            result.monitorStatus = err::kInvalidParameter;
            return result;
        }
        SimPort port;
        port.name = DecodeWide(input, 0, 64);
        port.monitor = handle.name;
        port.protocol = ReadDword(input, 132);
        port.hostAddress = DecodeWide(input, 144, 49);
        port.portNumber = ReadDword(input, 952);
        if (port.name.empty() || port.hostAddress.empty() || (port.protocol != 1 && port.protocol != 2)) {
            result.monitorStatus = err::kInvalidParameter;
            return result;
        }
        result.monitorStatus = s.AddTcpPort(port);
        return result;
    }
    if (cmd == "DeletePort") {
        std::string name = DecodeWide(input, 0, input.size() / 2);
        SimPort* port = s.FindPort(name);
        if (!port || !IEquals(port->monitor, handle.name)) {
            result.monitorStatus = err::kUnknownPort;
            return result;
        }
        if (s.printers.UsingPort(name) > 0) {
            result.monitorStatus = 170;  // ERROR_BUSY
            return result;
        }
        s.ports.erase(s.ports.begin() + (port - s.ports.data()));
        return result;
    }
    result.monitorStatus = err::kInvalidParameter;
    return result;
}

}  // namespace zmp::sim
