#include "installer/DriverVersion.h"

#include <vector>

namespace zmp {
namespace {

constexpr Dword kDriverInfoLevel = 4;
const char* const kVersionValues[4] = {"MajorVersion", "MinorVersion", "BuildVersion", "ExtraVersion"};

}  // namespace

VersionResult DriverVersion::CompareVersion(std::string printerName, std::string processorName, Dword major,
                                            Dword minor, Dword build, Dword extra,
                                            const std::optional<std::string>& environment) {
    const Dword ours[4] = {major, minor, build, extra};

    // The first printer in the spooler's order that uses the driver decides.
    std::vector<PrinterInfo2> printers;
    if (spooler_.EnumPrinters(spool::kPrinterEnumLocal, printers).ok()) {
        for (const PrinterInfo2& printer : printers) {
            if (printer.driverName == printerName) return ComparePrinter(printer.printerName, ours);
        }
    }

    std::vector<DriverInfo3> drivers;
    if (spooler_.EnumPrinterDrivers(environment, kDriverInfoLevel, drivers).ok()) {
        for (const DriverInfo3& driver : drivers)
            if (driver.name == printerName) return VersionOlder;
    }

    std::vector<std::string> processors;
    if (spooler_.EnumPrintProcessors(processors).ok()) {
        for (const std::string& processor : processors)
            if (processor == processorName) return VersionOlder;
    }
    return VersionNotInstalled;
}

VersionResult DriverVersion::ComparePrinter(const std::string& printer, const Dword ours[4]) {
    // Printer names are at most 255 characters; the buffer the name goes
    // through cuts longer ones.
    std::string name = printer.substr(0, 255);
    PrinterDefaults defaults;
    defaults.datatype = "RAW";
    defaults.desiredAccess = spool::kPrinterAllAccess;
    PrinterHandle handle = PrinterHandle::None;
    Dword installed[4] = {0, 0, 0, 0};
    Dword extraRead = err::kInvalidHandle;  // an unopened printer has nothing to read
    if (spooler_.OpenPrinter(name, defaults, handle).ok()) {
        for (int i = 0; i < 4; ++i) {
            Dword value = 0;
            Dword read = spooler_.GetPrinterDataDword(handle, kVersionValues[i], value);
            if (read == err::kSuccess) installed[i] = value;
            if (i == 3) extraRead = read;
        }
        spooler_.ClosePrinter(handle);
    }
    if (extraRead != err::kSuccess) return VersionOlder;
    for (int i = 0; i < 4; ++i) {
        if (ours[i] > installed[i]) return VersionOlder;
        if (ours[i] < installed[i]) return VersionNewer;
    }
    return VersionSame;
}

}  // namespace zmp
