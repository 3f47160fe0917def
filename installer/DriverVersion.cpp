#include "installer/DriverVersion.h"

#include <vector>

namespace zmp {
namespace {

const char* const kVersionValues[4] = {"MajorVersion", "MinorVersion", "BuildVersion", "ExtraVersion"};

}  // namespace

VersionResult DriverVersion::CompareVersion(std::string printerName, std::string processorName, Dword major,
                                            Dword minor, Dword build, Dword extra,
                                            const std::vector<std::string>& environments) {
    const Dword ours[4] = {major, minor, build, extra};

    // The first printer in the spooler's order that uses the driver decides.
    std::vector<PrinterInfo2> printers;
    if (spooler_.EnumPrinters(spool::kPrinterEnumLocal, printers).ok()) {
        for (const PrinterInfo2& printer : printers) {
            if (printer.driverName == printerName) return ComparePrinter(printer.printerName, ours);
        }
    }

    // Without a printer, the driver's own version: with the USB port on
    // Vista and later the driver is there long before its printer.
    std::vector<std::optional<std::string>> where(environments.begin(), environments.end());
    if (where.empty()) where.push_back(std::nullopt);
    for (const std::optional<std::string>& environment : where) {
        std::vector<DriverInfo6> drivers;
        if (!spooler_.EnumPrinterDrivers6(environment, drivers).ok()) continue;
        for (const DriverInfo6& driver : drivers)
            if (driver.name == printerName) return CompareDriver(driver.driverVersion, ours);
    }

    // A processor left without its driver, in the same environments.
    for (const std::optional<std::string>& environment : where) {
        std::vector<std::string> processors;
        Status listed = environment ? spooler_.EnumPrintProcessorsFor(*environment, processors)
                                    : spooler_.EnumPrintProcessors(processors);
        if (!listed.ok()) continue;
        for (const std::string& processor : processors)
            if (processor == processorName) return VersionOlder;
    }
    return VersionNotInstalled;
}

VersionResult DriverVersion::CompareDriver(std::uint64_t driverVersion, const Dword ours[4]) {
    if (driverVersion == 0) return VersionOlder;
    // DriverVer's a.b.c.d, 16 bits each, a in the highest.
    Dword installed[4];
    for (int i = 0; i < 4; ++i) installed[i] = static_cast<Dword>((driverVersion >> (48 - 16 * i)) & 0xFFFF);
    return Compare(installed, ours);
}

VersionResult DriverVersion::Compare(const Dword installed[4], const Dword ours[4]) {
    for (int i = 0; i < 4; ++i) {
        if (ours[i] > installed[i]) return VersionOlder;
        if (ours[i] < installed[i]) return VersionNewer;
    }
    return VersionSame;
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
    return Compare(installed, ours);
}

}  // namespace zmp
