// The print spooler as the system uses it: the 8-bit ("A") winspool calls on
// the local machine. Enumerations come back whole; the size query and the
// second call with a buffer stay inside the backend.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Types.h"

namespace zmp {

namespace spool {
constexpr Dword kPrinterEnumLocal = 0x2;
constexpr Dword kPrinterAllAccess = 0xF000C;
constexpr Dword kServerAccessAdminister = 0x1;
constexpr Dword kJobControlCancel = 3;
constexpr Dword kJobControlDelete = 5;
constexpr Dword kDpdDeleteUnusedFiles = 0x1;
constexpr Dword kDpdDeleteSpecificVersion = 0x2;
constexpr Dword kPrinterAttributeRawOnly = 0x1000;
constexpr Dword kPrinterAttributeEnableBidi = 0x800;
constexpr Dword kPrinterStatusOffline = 0x80;
}  // namespace spool

// PRINTER_INFO_2, the fields the system sets or reads.
struct PrinterInfo2 {
    std::string printerName;
    std::string shareName;
    std::string portName;
    std::string driverName;
    std::string printProcessor;
    std::string datatype;
    Dword attributes = 0;
    Dword priority = 0;
    Dword status = 0;
    Dword jobs = 0;
};

// DRIVER_INFO_3 (level 3; level 4 adds nothing the system reads).
struct DriverInfo3 {
    Dword version = 0;
    std::string name;
    std::string environment;
    std::string driverPath;
    std::string dataFile;
    std::string configFile;
    std::string helpFile;
    std::vector<std::string> dependentFiles;  // the MULTI_SZ list, in order
    std::string monitorName;
    std::string defaultDataType;
};

// DRIVER_INFO_6: level 3 and what the INF the driver was installed from
// said of it. A driver added without an INF has 0 date and version.
struct DriverInfo6 : DriverInfo3 {
    std::uint64_t driverDate = 0;     // ftDriverDate, a FILETIME: DriverVer's date
    std::uint64_t driverVersion = 0;  // dwlDriverVersion: DriverVer's a.b.c.d, 16 bits each, a highest
    std::string mfgName;
    std::string hardwareId;
    std::string provider;
};

// MONITOR_INFO_2.
struct MonitorInfo2 {
    std::string name;
    std::string environment;
    std::string dllName;
};

// PRINTER_DEFAULTS: data type (absent = NULL) and desired access.
struct PrinterDefaults {
    std::optional<std::string> datatype;
    Dword desiredAccess = 0;
};

// JOB_INFO_3.
struct JobInfo3 {
    Dword jobId = 0;
    Dword nextJobId = 0;
};

// Result of XcvDataW: the call's own status plus the monitor's status value
// and the output bytes it produced.
struct XcvResult {
    Status call;
    Dword monitorStatus = 0;
    std::vector<std::uint8_t> output;
    Dword outputNeeded = 0;
};

class Spooler {
public:
    virtual ~Spooler() = default;

    // EnumPrintersA(PRINTER_ENUM_LOCAL, NULL, 2, ...)
    virtual Status EnumPrinters(Dword flags, std::vector<PrinterInfo2>& out) = 0;
    // EnumPrinterDriversA(NULL, environment (nullopt = NULL), level 3 or 4, ...)
    virtual Status EnumPrinterDrivers(const std::optional<std::string>& environment, Dword level,
                                      std::vector<DriverInfo3>& out) = 0;
    // EnumPrinterDriversA(NULL, environment (nullopt = NULL), 6, ...)
    virtual Status EnumPrinterDrivers6(const std::optional<std::string>& environment,
                                       std::vector<DriverInfo6>& out) = 0;
    // GetPrinterDriverA(printer, environment (nullopt = NULL), 6, ...): the
    // driver the printer uses.
    virtual Status GetPrinterDriver6(PrinterHandle printer, const std::optional<std::string>& environment,
                                     DriverInfo6& out) = 0;
    // EnumPrintProcessorsA(NULL, NULL, 1, ...): the processors' names.
    virtual Status EnumPrintProcessors(std::vector<std::string>& out) = 0;

    // OpenPrinterA. name nullopt = the local print server; defaults nullopt = NULL.
    virtual Status OpenPrinter(const std::optional<std::string>& name,
                               const std::optional<PrinterDefaults>& defaults,
                               PrinterHandle& out) = 0;
    virtual Status ClosePrinter(PrinterHandle printer) = 0;

    // GetPrinterDataA into a 4-byte buffer; returns the call's own status
    // (GetPrinterData returns its error, it does not set the last error).
    virtual Dword GetPrinterDataDword(PrinterHandle printer, const std::string& valueName,
                                      Dword& value) = 0;

    virtual Status EnumJobs(PrinterHandle printer, Dword firstJob, Dword noJobs, Dword level,
                            std::vector<JobInfo3>& out) = 0;
    virtual Status SetJob(PrinterHandle printer, Dword jobId, Dword command) = 0;
    virtual Status DeletePrinter(PrinterHandle printer) = 0;

    // EnumFormsA(handle, 1, ...): the forms' names.
    virtual Status EnumForms(PrinterHandle server, std::vector<std::string>& out) = 0;
    virtual Status DeleteForm(PrinterHandle server, const std::string& formName) = 0;

    // DeletePrinterDriverExA(NULL, NULL, name, deleteFlag, versionFlag)
    virtual Status DeletePrinterDriverEx(const std::string& driverName, Dword deleteFlag,
                                         Dword versionFlag) = 0;

    virtual Status AddMonitor(const MonitorInfo2& info) = 0;
    // DeleteMonitorA(NULL, NULL, name)
    virtual Status DeleteMonitor(const std::string& monitorName) = 0;

    // GetPrintProcessorDirectoryA(NULL, NULL, 1, 256-byte buffer)
    virtual Status GetPrintProcessorDirectory(std::string& out) = 0;
    // AddPrintProcessorA(NULL, environment, fileName, processorName)
    virtual Status AddPrintProcessor(const std::string& environment, const std::string& fileName,
                                     const std::string& processorName) = 0;
    // DeletePrintProcessorA(NULL, NULL, name)
    virtual Status DeletePrintProcessor(const std::string& processorName) = 0;

    // GetPrinterDriverDirectoryA(NULL, NULL, 1, 256-byte buffer)
    virtual Status GetPrinterDriverDirectory(std::string& out) = 0;

    // The two directories of a named environment: GetPrintProcessorDirectoryA
    // and GetPrinterDriverDirectoryA(NULL, environment, 1, 256-byte buffer).
    // Without one the spooler answers for the caller's environment, which for
    // a 32-bit program on 64-bit Windows is the x86 one, not the system's.
    // A backend that knows no environments answers for the caller's.
    virtual Status GetPrintProcessorDirectoryFor(const std::string& environment, std::string& out) {
        (void)environment;
        return GetPrintProcessorDirectory(out);
    }
    virtual Status GetPrinterDriverDirectoryFor(const std::string& environment, std::string& out) {
        (void)environment;
        return GetPrinterDriverDirectory(out);
    }
    // EnumPrintProcessorsA(NULL, environment, 1, ...): the processors
    // installed for a named environment.
    virtual Status EnumPrintProcessorsFor(const std::string& environment, std::vector<std::string>& out) {
        (void)environment;
        return EnumPrintProcessors(out);
    }
    // DeletePrinterDriverExA(NULL, environment, ...) and
    // DeletePrintProcessorA(NULL, environment, name): the removal of a driver
    // and a processor installed for another environment than the caller's.
    virtual Status DeletePrinterDriverExFor(const std::string& environment, const std::string& driverName,
                                            Dword deleteFlag, Dword versionFlag) {
        (void)environment;
        return DeletePrinterDriverEx(driverName, deleteFlag, versionFlag);
    }
    virtual Status DeletePrintProcessorFor(const std::string& environment, const std::string& processorName) {
        (void)environment;
        return DeletePrintProcessor(processorName);
    }
    // AddPrinterDriverA(NULL, 3, &info)
    virtual Status AddPrinterDriver(const DriverInfo3& info) = 0;
    // AddPrinterA(NULL, 2, &info): the new printer's handle on success.
    virtual Status AddPrinter(const PrinterInfo2& info, PrinterHandle& out) = 0;

    // XcvDataW(handle, command, input, cbInput, output, cbOutput, &needed, &status)
    virtual XcvResult XcvData(PrinterHandle xcv, const std::u16string& command,
                              const std::vector<std::uint8_t>& input, Dword outputSize) = 0;
};

}  // namespace zmp
