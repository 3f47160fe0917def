// The print spooler: winspool's 8-bit functions on the local machine.
#include "platform/win32/Win32Api.h"
#include "platform/win32/Win32Libraries.h"
#include "platform/win32/Win32System.h"

namespace zmp::win32 {
namespace {

// Every enumeration: a size query without a buffer, then the call with a
// buffer of that size. Should the list grow between the two calls, the
// spooler asks for more again; that is answered a few times rather than
// reported as a failure of the enumeration.
constexpr int kEnumAttempts = 3;

template <typename Call>
Status Enumerate(Call call, std::vector<BYTE>& buffer, DWORD& returned) {
    DWORD needed = 0;
    returned = 0;
    buffer.clear();
    if (call(nullptr, 0, &needed, &returned)) return Status::Ok();  // nothing to list
    for (int attempt = 0; attempt < kEnumAttempts; ++attempt) {
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
        buffer.assign(needed, 0);
        returned = 0;
        if (call(buffer.data(), needed, &needed, &returned)) return Status::Ok();
    }
    returned = 0;
    return LastErrorStatus();
}

HANDLE ToHandle(PrinterHandle h) { return FromRef<HANDLE>(h); }

// A MULTI_SZ: every name ended by a NUL, the list by one more.
std::string MultiSz(const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& name : names) {
        out += name;
        out += '\0';
    }
    out += '\0';
    return out;
}

std::vector<std::string> SplitMultiSz(const char* p) {
    std::vector<std::string> out;
    if (!p) return out;
    while (*p) {
        out.emplace_back(p);
        p += out.back().size() + 1;
    }
    return out;
}

template <typename Info>
DriverInfo3 ToDriverInfo(const Info& d) {
    DriverInfo3 info;
    info.version = d.cVersion;
    info.name = FromStr(d.pName);
    info.environment = FromStr(d.pEnvironment);
    info.driverPath = FromStr(d.pDriverPath);
    info.dataFile = FromStr(d.pDataFile);
    info.configFile = FromStr(d.pConfigFile);
    info.helpFile = FromStr(d.pHelpFile);
    info.dependentFiles = SplitMultiSz(d.pDependentFiles);
    info.monitorName = FromStr(d.pMonitorName);
    info.defaultDataType = FromStr(d.pDefaultDataType);
    return info;
}

DriverInfo6 ToDriverInfo6(const DRIVER_INFO_6A& d) {
    DriverInfo6 info;
    static_cast<DriverInfo3&>(info) = ToDriverInfo(d);
    info.driverDate = static_cast<std::uint64_t>(d.ftDriverDate.dwHighDateTime) << 32 | d.ftDriverDate.dwLowDateTime;
    info.driverVersion = d.dwlDriverVersion;
    info.mfgName = FromStr(d.pszMfgName);
    info.hardwareId = FromStr(d.pszHardwareID);
    info.provider = FromStr(d.pszProvider);
    return info;
}

// GetPrintProcessorDirectoryA / GetPrinterDriverDirectoryA: level 1, 256 bytes.
template <typename Call>
Status DirectoryQuery(Call call, std::string& out) {
    char buffer[256] = {};
    DWORD needed = 0;
    out.clear();
    if (!call(reinterpret_cast<LPBYTE>(buffer), sizeof buffer, &needed)) return LastErrorStatus();
    buffer[sizeof buffer - 1] = '\0';
    out = buffer;
    return Status::Ok();
}

}  // namespace

Status Win32Spooler::EnumPrinters(Dword flags, std::vector<PrinterInfo2>& out) {
    out.clear();
    std::vector<BYTE> buffer;
    DWORD count = 0;
    Status st = Enumerate(
        [&](LPBYTE buf, DWORD size, LPDWORD needed, LPDWORD returned) {
            return Winspool().EnumPrintersA(flags, nullptr, 2, buf, size, needed, returned);
        },
        buffer, count);
    if (!st.ok()) return st;
    const auto* records = reinterpret_cast<const PRINTER_INFO_2A*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        const PRINTER_INFO_2A& p = records[i];
        PrinterInfo2 info;
        info.printerName = FromStr(p.pPrinterName);
        info.shareName = FromStr(p.pShareName);
        info.portName = FromStr(p.pPortName);
        info.driverName = FromStr(p.pDriverName);
        info.printProcessor = FromStr(p.pPrintProcessor);
        info.datatype = FromStr(p.pDatatype);
        info.attributes = p.Attributes;
        info.priority = p.Priority;
        info.status = p.Status;
        info.jobs = p.cJobs;
        out.push_back(std::move(info));
    }
    return st;
}

Status Win32Spooler::EnumPrinterDrivers(const std::optional<std::string>& environment, Dword level,
                                        std::vector<DriverInfo3>& out) {
    out.clear();
    if (level != 3 && level != 4) {
        ::SetLastError(ERROR_INVALID_LEVEL);
        return Status::Fail(ERROR_INVALID_LEVEL);
    }
    LPSTR env = environment ? Str(*environment) : nullptr;
    std::vector<BYTE> buffer;
    DWORD count = 0;
    Status st = Enumerate(
        [&](LPBYTE buf, DWORD size, LPDWORD needed, LPDWORD returned) {
            return Winspool().EnumPrinterDriversA(nullptr, env, level, buf, size, needed, returned);
        },
        buffer, count);
    if (!st.ok()) return st;
    for (DWORD i = 0; i < count; ++i) {
        if (level == 3)
            out.push_back(ToDriverInfo(reinterpret_cast<const DRIVER_INFO_3A*>(buffer.data())[i]));
        else
            out.push_back(ToDriverInfo(reinterpret_cast<const DRIVER_INFO_4A*>(buffer.data())[i]));
    }
    return st;
}

Status Win32Spooler::EnumPrinterDrivers6(const std::optional<std::string>& environment,
                                         std::vector<DriverInfo6>& out) {
    out.clear();
    LPSTR env = environment ? Str(*environment) : nullptr;
    std::vector<BYTE> buffer;
    DWORD count = 0;
    Status st = Enumerate(
        [&](LPBYTE buf, DWORD size, LPDWORD needed, LPDWORD returned) {
            return Winspool().EnumPrinterDriversA(nullptr, env, 6, buf, size, needed, returned);
        },
        buffer, count);
    if (!st.ok()) return st;
    for (DWORD i = 0; i < count; ++i)
        out.push_back(ToDriverInfo6(reinterpret_cast<const DRIVER_INFO_6A*>(buffer.data())[i]));
    return st;
}

Status Win32Spooler::GetPrinterDriver6(PrinterHandle printer, const std::optional<std::string>& environment,
                                       DriverInfo6& out) {
    out = DriverInfo6();
    LPSTR env = environment ? Str(*environment) : nullptr;
    DWORD needed = 0;
    if (Winspool().GetPrinterDriverA(ToHandle(printer), env, 6, nullptr, 0, &needed) ||
        ::GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return LastErrorStatus();
    std::vector<BYTE> buffer(needed, 0);
    if (!Winspool().GetPrinterDriverA(ToHandle(printer), env, 6, buffer.data(), needed, &needed)) return LastErrorStatus();
    out = ToDriverInfo6(*reinterpret_cast<const DRIVER_INFO_6A*>(buffer.data()));
    return Status::Ok();
}

namespace {

Status EnumProcessorNames(LPSTR environment, std::vector<std::string>& out) {
    out.clear();
    std::vector<BYTE> buffer;
    DWORD count = 0;
    Status st = Enumerate(
        [&](LPBYTE buf, DWORD size, LPDWORD needed, LPDWORD returned) {
            return Winspool().EnumPrintProcessorsA(nullptr, environment, 1, buf, size, needed, returned);
        },
        buffer, count);
    if (!st.ok()) return st;
    const auto* records = reinterpret_cast<const PRINTPROCESSOR_INFO_1A*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) out.push_back(FromStr(records[i].pName));
    return st;
}

}  // namespace

Status Win32Spooler::EnumPrintProcessors(std::vector<std::string>& out) { return EnumProcessorNames(nullptr, out); }

Status Win32Spooler::EnumPrintProcessorsFor(const std::string& environment, std::vector<std::string>& out) {
    return EnumProcessorNames(StrOrNull(environment), out);
}

Status Win32Spooler::OpenPrinter(const std::optional<std::string>& name,
                                 const std::optional<PrinterDefaults>& defaults,
                                 PrinterHandle& out) {
    out = PrinterHandle::None;
    PRINTER_DEFAULTSA pd = {};
    if (defaults) {
        pd.pDatatype = defaults->datatype ? Str(*defaults->datatype) : nullptr;
        pd.pDevMode = nullptr;
        pd.DesiredAccess = defaults->desiredAccess;
    }
    HANDLE h = nullptr;
    if (!Winspool().OpenPrinterA(name ? Str(*name) : nullptr, &h, defaults ? &pd : nullptr))
        return LastErrorStatus();
    out = ToRef<PrinterHandle>(h);
    return Status::Ok();
}

Status Win32Spooler::ClosePrinter(PrinterHandle printer) {
    return FromBool(Winspool().ClosePrinter(ToHandle(printer)));
}

Dword Win32Spooler::GetPrinterDataDword(PrinterHandle printer, const std::string& valueName,
                                        Dword& value) {
    DWORD type = 0;
    DWORD data = 0;
    DWORD needed = 0;
    DWORD status = Winspool().GetPrinterDataA(ToHandle(printer), Str(valueName), &type,
                                     reinterpret_cast<LPBYTE>(&data), sizeof data, &needed);
    if (status == ERROR_SUCCESS) value = data;
    return status;
}

Status Win32Spooler::EnumJobs(PrinterHandle printer, Dword firstJob, Dword noJobs, Dword level,
                              std::vector<JobInfo3>& out) {
    out.clear();
    if (level != 3) {
        ::SetLastError(ERROR_INVALID_LEVEL);
        return Status::Fail(ERROR_INVALID_LEVEL);
    }
    std::vector<BYTE> buffer;
    DWORD count = 0;
    Status st = Enumerate(
        [&](LPBYTE buf, DWORD size, LPDWORD needed, LPDWORD returned) {
            return Winspool().EnumJobsA(ToHandle(printer), firstJob, noJobs, level, buf, size, needed, returned);
        },
        buffer, count);
    if (!st.ok()) return st;
    const auto* records = reinterpret_cast<const JOB_INFO_3*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) out.push_back(JobInfo3{records[i].JobId, records[i].NextJobId});
    return st;
}

Status Win32Spooler::SetJob(PrinterHandle printer, Dword jobId, Dword command) {
    return FromBool(Winspool().SetJobA(ToHandle(printer), jobId, 0, nullptr, command));
}

Status Win32Spooler::DeletePrinter(PrinterHandle printer) {
    return FromBool(Winspool().DeletePrinter(ToHandle(printer)));
}

Status Win32Spooler::EnumForms(PrinterHandle server, std::vector<std::string>& out) {
    out.clear();
    std::vector<BYTE> buffer;
    DWORD count = 0;
    Status st = Enumerate(
        [&](LPBYTE buf, DWORD size, LPDWORD needed, LPDWORD returned) {
            return Winspool().EnumFormsA(ToHandle(server), 1, buf, size, needed, returned);
        },
        buffer, count);
    if (!st.ok()) return st;
    const auto* records = reinterpret_cast<const FORM_INFO_1A*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) out.push_back(FromStr(records[i].pName));
    return st;
}

Status Win32Spooler::DeleteForm(PrinterHandle server, const std::string& formName) {
    return FromBool(Winspool().DeleteFormA(ToHandle(server), Str(formName)));
}

Status Win32Spooler::DeletePrinterDriverEx(const std::string& driverName, Dword deleteFlag,
                                           Dword versionFlag) {
    return FromBool(Winspool().DeletePrinterDriverExA(nullptr, nullptr, Str(driverName), deleteFlag, versionFlag));
}

Status Win32Spooler::AddMonitor(const MonitorInfo2& info) {
    MONITOR_INFO_2A mi = {};
    mi.pName = Str(info.name);
    mi.pEnvironment = StrOrNull(info.environment);
    mi.pDLLName = Str(info.dllName);
    return FromBool(Winspool().AddMonitorA(nullptr, 2, reinterpret_cast<LPBYTE>(&mi)));
}

Status Win32Spooler::DeleteMonitor(const std::string& monitorName) {
    return FromBool(Winspool().DeleteMonitorA(nullptr, nullptr, Str(monitorName)));
}

Status Win32Spooler::GetPrintProcessorDirectory(std::string& out) {
    return DirectoryQuery(
        [](LPBYTE buf, DWORD size, LPDWORD needed) {
            return Winspool().GetPrintProcessorDirectoryA(nullptr, nullptr, 1, buf, size, needed);
        },
        out);
}

Status Win32Spooler::AddPrintProcessor(const std::string& environment, const std::string& fileName,
                                       const std::string& processorName) {
    return FromBool(Winspool().AddPrintProcessorA(nullptr, StrOrNull(environment), Str(fileName),
                                         Str(processorName)));
}

Status Win32Spooler::DeletePrintProcessor(const std::string& processorName) {
    return FromBool(Winspool().DeletePrintProcessorA(nullptr, nullptr, Str(processorName)));
}

Status Win32Spooler::GetPrinterDriverDirectory(std::string& out) {
    return DirectoryQuery(
        [](LPBYTE buf, DWORD size, LPDWORD needed) {
            return Winspool().GetPrinterDriverDirectoryA(nullptr, nullptr, 1, buf, size, needed);
        },
        out);
}

Status Win32Spooler::GetPrintProcessorDirectoryFor(const std::string& environment, std::string& out) {
    return DirectoryQuery(
        [&environment](LPBYTE buf, DWORD size, LPDWORD needed) {
            return Winspool().GetPrintProcessorDirectoryA(nullptr, StrOrNull(environment), 1, buf, size, needed);
        },
        out);
}

Status Win32Spooler::GetPrinterDriverDirectoryFor(const std::string& environment, std::string& out) {
    return DirectoryQuery(
        [&environment](LPBYTE buf, DWORD size, LPDWORD needed) {
            return Winspool().GetPrinterDriverDirectoryA(nullptr, StrOrNull(environment), 1, buf, size, needed);
        },
        out);
}

Status Win32Spooler::DeletePrinterDriverExFor(const std::string& environment, const std::string& driverName,
                                              Dword deleteFlag, Dword versionFlag) {
    return FromBool(Winspool().DeletePrinterDriverExA(nullptr, StrOrNull(environment), Str(driverName), deleteFlag,
                                             versionFlag));
}

Status Win32Spooler::DeletePrintProcessorFor(const std::string& environment, const std::string& processorName) {
    return FromBool(Winspool().DeletePrintProcessorA(nullptr, StrOrNull(environment), Str(processorName)));
}

Status Win32Spooler::AddPrinterDriver(const DriverInfo3& info) {
    std::string dependent = MultiSz(info.dependentFiles);
    DRIVER_INFO_3A di = {};
    di.cVersion = info.version;
    di.pName = Str(info.name);
    di.pEnvironment = StrOrNull(info.environment);
    di.pDriverPath = Str(info.driverPath);
    di.pDataFile = Str(info.dataFile);
    di.pConfigFile = Str(info.configFile);
    di.pHelpFile = StrOrNull(info.helpFile);
    di.pDependentFiles = info.dependentFiles.empty() ? nullptr : &dependent[0];
    di.pMonitorName = StrOrNull(info.monitorName);
    di.pDefaultDataType = StrOrNull(info.defaultDataType);
    return FromBool(Winspool().AddPrinterDriverA(nullptr, 3, reinterpret_cast<LPBYTE>(&di)));
}

Status Win32Spooler::AddPrinter(const PrinterInfo2& info, PrinterHandle& out) {
    out = PrinterHandle::None;
    PRINTER_INFO_2A pi = {};
    pi.pPrinterName = Str(info.printerName);
    pi.pShareName = StrOrNull(info.shareName);
    pi.pPortName = Str(info.portName);  // an empty port name stays an empty text
    pi.pDriverName = Str(info.driverName);
    pi.pPrintProcessor = Str(info.printProcessor);
    pi.pDatatype = StrOrNull(info.datatype);
    pi.Attributes = info.attributes;
    pi.Priority = info.priority;
    pi.Status = info.status;
    pi.cJobs = info.jobs;
    HANDLE h = Winspool().AddPrinterA(nullptr, 2, reinterpret_cast<LPBYTE>(&pi));
    if (!h) return LastErrorStatus();
    out = ToRef<PrinterHandle>(h);
    return Status::Ok();
}

XcvResult Win32Spooler::XcvData(PrinterHandle xcv, const std::u16string& command,
                                const std::vector<std::uint8_t>& input, Dword outputSize) {
    static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide strings are UTF-16");
    XcvResult result;
    std::vector<std::uint8_t> in(input);  // XcvDataW takes a non-const input pointer
    result.output.assign(outputSize, 0);
    DWORD needed = 0;
    DWORD monitorStatus = 0;
    BOOL ok = Winspool().XcvDataW(ToHandle(xcv), reinterpret_cast<PCWSTR>(command.c_str()),
                         in.empty() ? nullptr : in.data(), static_cast<DWORD>(in.size()),
                         result.output.empty() ? nullptr : result.output.data(), outputSize,
                         &needed, &monitorStatus);
    result.call = FromBool(ok);
    result.monitorStatus = monitorStatus;
    result.outputNeeded = needed;
    if (ok && needed < outputSize) result.output.resize(needed);
    return result;
}

}  // namespace zmp::win32
