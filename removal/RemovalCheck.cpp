// What of ours is installed: after a removal, so that success is only told
// when the spooler shows it, and before one, when the driver itself is
// absent but an installation that failed half way left other parts.
#include "removal/DriverRemover.h"

#include <algorithm>

#include "support/OemInf.h"

namespace zmp {
namespace {

constexpr Dword kUnknownEnvironment = 1805;  // ERROR_INVALID_ENVIRONMENT
constexpr const char* kMonitorsKey = "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\";

}  // namespace

std::string LeftoversText(const std::vector<std::string>& left) {
    std::string text = "Still installed:";
    for (const std::string& line : left) text += "\n" + line;
    return text;
}

Dword DriverRemover::OpenKeyCheck(const std::string& subKey) {
    Registry& registry = platform_.registry;
    RegKey key = RegKey::None;
    const Dword access = reg::kKeyRead | (wow64_ ? reg::kKeyWow64_64Key : 0);
    Dword status = registry.OpenKey(registry.Root(RegRoot::LocalMachine), subKey, access, key);
    if (status == err::kSuccess) registry.CloseKey(key);
    return status;
}

std::vector<std::string> DriverRemover::RegisteredParts(bool countUnanswered) {
    std::vector<std::string> parts;
    Spooler& spooler = platform_.spooler;
    // A spooler that cannot be asked leaves the answer open: after a
    // removal that is no success either.
    auto unanswered = [&](const char* what, Dword code) {
        if (countUnanswered)
            parts.push_back(std::string("unknown: the ") + what + " could not be looked for (" +
                            std::to_string(code) + ")");
    };

    const std::string driverName = String(Text::PrinterName);
    std::vector<PrinterInfo2> printers;
    Status status = spooler.EnumPrinters(spool::kPrinterEnumLocal, printers);
    if (!status.ok()) unanswered("printers", status.code);
    for (const PrinterInfo2& printer : printers)
        if (printer.driverName == driverName) parts.push_back("printer \"" + printer.printerName + "\"");

    const std::string processorName = String(Text::ProcessorName);
    const std::vector<std::string> environments = Environments();
    for (const std::string& environment : environments) {
        // An additional environment this release does not know holds nothing.
        auto unknownHere = [&] { return environment != environments.front() && status.code == kUnknownEnvironment; };
        std::vector<DriverInfo3> drivers;
        status = spooler.EnumPrinterDrivers(environment, 3, drivers);
        if (!status.ok() && !unknownHere()) unanswered("printer drivers", status.code);
        for (const DriverInfo3& driver : drivers)
            if (driver.name == driverName)
                parts.push_back("printer driver \"" + driverName + "\" (" + environment + ")");

        std::vector<std::string> processors;
        status = spooler.EnumPrintProcessorsFor(environment, processors);
        if (!status.ok() && !unknownHere()) unanswered("print processors", status.code);
        for (const std::string& processor : processors)
            if (processor == processorName)
                parts.push_back("print processor \"" + processorName + "\" (" + environment + ")");
    }
    // The spooler keeps its monitors under this key and reads it at every start.
    const std::string monitor = String(Text::MonitorName);
    status.code = OpenKeyCheck(kMonitorsKey + monitor);
    if (status.ok()) parts.push_back("language monitor \"" + monitor + "\"");
    else if (status.code != err::kFileNotFound) unanswered("language monitor", status.code);
    return parts;
}

std::vector<std::string> DriverRemover::VerifyRemoval() {
    Begin("VerifyRemoval");
    std::vector<std::string> left = RegisteredParts(true);
    for (const std::string& line : left) log_.WriteLog("STILL INSTALLED : %s", line.c_str());
    End("VerifyRemoval");
    return left;
}

std::vector<std::string> DriverRemover::FindOwnComponents() {
    Begin("FindOwnComponents");
    std::vector<std::string> found = RegisteredParts(false);

    ForEachOemInfWithLine(
        platform_.setup, String(Text::Maker) + (wow64_ ? ".NTamd64" : ""), String(Text::PrinterName),
        [&](const std::string& name) { found.push_back("oem INF " + name); }, [](Dword) {});

    bool device = false;
    ForEachUsbDevice("USB\\" + String(Text::HardwareId), [&](DevInfoSet, const DevInfoData&) {
        device = true;
        return false;  // one is enough
    });
    if (device) found.push_back("USB device " + String(Text::HardwareId));
    const std::string usbKey = String(Text::UsbEnumKey);
    if (OpenKeyCheck(usbKey) == err::kSuccess) found.push_back("key " + usbKey);

    // Files by their names: those of the driver in the Windows directory
    // and in each environment's version folder, the monitor, the processor,
    // the Plug-and-Play folder and the installer's left copies.
    const std::string windowsDir = WindowsDirectory();
    const std::string systemDir = SystemDirectory();
    std::string driverDir, processorDir;
    GetDriverDirectory(driverDir);
    GetProcessorDirectory(processorDir);
    std::vector<std::string> files = LeftCopies(windowsDir, systemDir, driverDir, processorDir);
    if (!windowsDir.empty()) {
        for (Text file : kOwnDriverFiles) files.push_back(windowsDir + "\\" + String(file));
        files.push_back(windowsDir + "\\" + String(Text::MonitorDll));
    }
    if (!systemDir.empty()) files.push_back(systemDir + "\\" + String(Text::MonitorDll));
    for (const std::string& environment : Environments()) {
        std::string dir;
        if (platform_.spooler.GetPrinterDriverDirectoryFor(environment, dir).ok() && !dir.empty()) {
            for (Text file : kOwnDriverFiles) files.push_back(dir + "\\3\\" + String(file));
            files.push_back(dir + "\\" + String(Text::PnpDirectory));
        }
        if (platform_.spooler.GetPrintProcessorDirectoryFor(environment, dir).ok() && !dir.empty())
            files.push_back(dir + "\\" + String(Text::ProcessorDll));
    }
    for (const std::string& path : files)
        if (FileExists(path)) found.push_back("path " + path);

    for (const std::string& line : found) log_.WriteLog("COMPONENT FOUND : %s", line.c_str());
    End("FindOwnComponents");
    return found;
}

}  // namespace zmp
