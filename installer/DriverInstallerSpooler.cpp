// Spooler registration on Windows 2000, XP and Server 2003: language
// monitor, print processor, the Unidrv-based driver and the printer object.
#include "installer/DriverInstaller.h"

namespace zmp {
namespace {

constexpr const char* kRaw = "RAW";
constexpr Dword kDriverVersion = 3;
constexpr const char* kFramedyn = "framedyn.dll";

enum StringId { kIdGpd = 26 };

// Bare names: the spooler takes them from the printer-driver directory. The
// dependent files are a fixed list, not names from the string table.
const char* const kDependentFiles[] = {"UNIRES.DLL", "STDNAMES.GPD", "ZMP40.DLL",
                                       "ZPUI40.DLL", "ZPUNI40.DLL", "ZPUI40.INI"};

}  // namespace

bool DriverInstaller::AddLanguageMonitor() {
    Begin("AddLanguageMonitor");
    StepReport("Installing L/M...\r\n");
    // On 64-bit Windows this 32-bit program's system directory is
    // redirected to SysWOW64, where the 64-bit spooler never looks; it finds
    // the monitor in the Windows directory.
    const std::string target = is64_ ? WindowsDirectory() : SystemDirectory();
    if (!target.empty()) CopyWithFallback(sourceFolder_ + monitorDll_, target + "\\" + monitorDll_);

    MonitorInfo2 info;
    info.name = monitorName_;
    info.environment = environment_;
    info.dllName = monitorDll_;
    Status added = platform_.spooler.AddMonitor(info);
    if (!added.ok() && added.code != err::kPrintMonitorAlreadyInstalled) {
        ShowSystemError("AddMonitor, ERR CODE: %d\n\n", added.code);
        End("AddLanguageMonitor");
        return false;
    }
    End("AddLanguageMonitor");
    return true;
}

bool DriverInstaller::AddPrinterProcessor() {
    Begin("AddPrinterProcessor");
    StepReport("Installing printer processor...\r\n");
    std::string directory;
    Status fetched = platform_.spooler.GetPrintProcessorDirectoryFor(environment_, directory);
    if (fetched.ok()) {
        CopyWithFallback(sourceFolder_ + processorDll_, directory + "\\" + processorDll_);
    } else {
        // No target for the copy; the spooler's own answer below says the rest.
        log_.WriteLog("GetPrintProcessorDirectory failed. (%d)", static_cast<int>(fetched.code));
    }
    Status added = platform_.spooler.AddPrintProcessor(environment_, processorDll_, processorName_);
    if (!added.ok()) {
        ShowSystemError("AddPrintProcessor, ERR CODE: %d\n\n", added.code);
        End("AddPrinterProcessor");
        return false;
    }
    End("AddPrinterProcessor");
    return true;
}

bool DriverInstaller::AddPrinterDriverToSystem() {
    Begin("AddPrinterDriverToSystem");
    StepReport("Installing printer driver...\r\n");
    DriverInfo3 info;
    info.version = kDriverVersion;
    info.name = printerName_;
    info.environment = environment_;
    info.driverPath = "UNIDRV.DLL";
    info.dataFile = platform_.ui.LoadString(kIdGpd);
    info.configFile = "UNIDRVUI.DLL";
    info.helpFile = "UNIDRV.HLP";
    info.dependentFiles.assign(std::begin(kDependentFiles), std::end(kDependentFiles));
    info.monitorName = monitorName_;
    info.defaultDataType = kRaw;
    Status added = platform_.spooler.AddPrinterDriver(info);

    // Before Vista the spooler may need the WMI framework DLL beside it.
    // Only a copy made here is removed again: one that was there already is
    // the system's own.
    if (added.code == err::kModNotFound && osCode_ < kOsWinVista) {
        const std::string systemDir = SystemDirectory();
        const std::string framedyn = systemDir + "\\" + kFramedyn;
        bool copied = platform_.files.CopyFile(systemDir + "\\wbem\\" + kFramedyn, framedyn, true).ok();
        added = platform_.spooler.AddPrinterDriver(info);
        if (copied) platform_.files.DeleteFile(framedyn);
    }
    if (!added.ok()) {
        ShowSystemError("AddPrinterDriver, ERR CODE: %d\n\n", added.code);
        End("AddPrinterDriverToSystem");
        return false;
    }
    End("AddPrinterDriverToSystem");
    return true;
}

std::string DriverInstaller::PrinterPortName(int portCode) const {
    switch (portCode) {
        case PortCom1: return "COM1:";
        case PortCom2: return "COM2:";
        case PortCom3: return "COM3:";
        case PortCom4: return "COM4:";
        case PortWirelessLan: return "IP_" + ipAddress_;
        default: return std::string();
    }
}

int DriverInstaller::AddPrinterToSystem(int portCode, const std::string& printerName) {
    Begin("AddPrinterToSystem");
    if (portCode == PortUsb) {
        // Plug and Play adds the printer when it is switched on.
        End("AddPrinterToSystem");
        return 1;
    }
    StepReport("Adding printer...\r\n");
    StepReport("Please wait for adding printer.\r\nIt takes a couple of minutes.", 0);

    PrinterInfo2 info;
    info.printerName = printerName;
    info.portName = PrinterPortName(portCode);
    info.driverName = printerName_;
    info.printProcessor = processorName_;
    info.datatype = kRaw;
    info.attributes = spool::kPrinterAttributeEnableBidi | spool::kPrinterAttributeRawOnly;
    info.priority = 1;
    info.status = spool::kPrinterStatusOffline;
    PrinterHandle printer = PrinterHandle::None;
    Status added = platform_.spooler.AddPrinter(info, printer);
    if (!added.ok()) {
        ShowSystemError("AddPrinter, Error Code: %d\n\n", added.code);
        End("AddPrinterToSystem");
        // The installation cannot finish without its printer: the process
        // ends here and says so in its exit code.
        platform_.processes.ExitProcess(kExitFailed);
    }
    platform_.spooler.ClosePrinter(printer);
    End("AddPrinterToSystem");
    return 1;
}

}  // namespace zmp
