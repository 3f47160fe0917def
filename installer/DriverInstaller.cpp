#include "installer/DriverInstaller.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <vector>

#include "support/OemInf.h"
#include "ui/MessageBox.h"

namespace zmp {
namespace {

constexpr const char* kSourceFolder64 = "Driver64\\";
constexpr const char* kSourceFolder32 = "Driver32\\";
constexpr const char* kAmd64Decoration = ".NTamd64";
constexpr Dword kDriverInfoLevel = 3;

// The installer's string table ids the engine loads.
enum StringId {
    kIdPrinterName = 2,
    kIdMonitorName = 3,
    kIdProcessorName = 4,
    kIdDriverDll = 5,
    kIdMonitorDll = 6,
    kIdProcessorDll = 7,
    kIdUiDll = 8,
    kIdUnidrvDll = 9,
    kIdInfName = 11,
    kIdMakerName = 25,
};

bool EqualsNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
           });
}

std::string Format(const char* format, Dword code) {
    int needed = std::snprintf(nullptr, 0, format, code);
    if (needed < 0) return format;
    std::vector<char> buffer(static_cast<size_t>(needed) + 1);
    std::snprintf(buffer.data(), buffer.size(), format, code);
    return std::string(buffer.data(), static_cast<size_t>(needed));
}

}  // namespace

DriverInstaller::DriverInstaller(Platform& platform, Log& log)
    : platform_(platform),
      log_(log),
      makerName_(platform.ui.LoadString(kIdMakerName)),
      printerName_(platform.ui.LoadString(kIdPrinterName)),
      infName_(platform.ui.LoadString(kIdInfName)),
      monitorDll_(platform.ui.LoadString(kIdMonitorDll)),
      monitorName_(platform.ui.LoadString(kIdMonitorName)),
      processorDll_(platform.ui.LoadString(kIdProcessorDll)),
      processorName_(platform.ui.LoadString(kIdProcessorName)),
      driverDll_(platform.ui.LoadString(kIdDriverDll)),
      uiDll_(platform.ui.LoadString(kIdUiDll)),
      unidrvDll_(platform.ui.LoadString(kIdUnidrvDll)),
      pnpCleanup_(platform, log, DriverRemover::Variant::InstallerEngine) {}

void DriverInstaller::SetSystemInfo(bool is64, OsCode osCode) {
    Begin("SetSystemInfo");
    is64_ = is64;
    osCode_ = osCode;
    environment_ = DriverEnvironment(is64);
    sourceFolder_ = is64 ? kSourceFolder64 : kSourceFolder32;
    pnpCleanup_.SetSystemInfo(is64, osCode);
    log_.WriteLog("ENV : %s, DRV DIR : %s ", environment_.c_str(), sourceFolder_.c_str());
    End("SetSystemInfo");
}

void DriverInstaller::SetControlPointers(ProgressSink* progress) {
    Begin("SetControlPointers");
    progress_ = progress;
    End("SetControlPointers");
}

bool DriverInstaller::PrinterDrvExist(const std::string& driverName) {
    Begin("PrinterDrvExist");
    StepReport("Checking existing drivers...\r\n");
    Status listed;
    const bool exists = DriverRegistered(driverName, listed);
    log_.WriteLog(exists ? "%s PRINTER DRIVER EXISTS." : "%s PRINTER DRIVER DOES NOT EXIST.", driverName.c_str());
    End("PrinterDrvExist");
    return exists;
}

bool DriverInstaller::DriverRegistered(const std::string& driverName, Status& listed) {
    std::vector<DriverInfo3> drivers;
    // The environment the driver is installed for. Without one the spooler
    // takes the caller's, and this 32-bit program on 64-bit Windows would
    // only ever see x86 drivers, never the x64 driver it installs.
    std::optional<std::string> environment;
    if (!environment_.empty()) environment = environment_;
    listed = platform_.spooler.EnumPrinterDrivers(environment, kDriverInfoLevel, drivers);
    if (!listed.ok()) return false;
    for (const DriverInfo3& driver : drivers)
        if (driver.name == driverName) return true;
    return false;
}

std::vector<std::string> DriverInstaller::VerifyInstallation(int portCode, const std::string& printerObject) {
    Begin("VerifyInstallation");
    std::vector<std::string> missing;
    Status listed;
    if (!DriverRegistered(printerName_, listed)) {
        if (!listed.ok()) log_.WriteLog("EnumPrinterDrivers failed. (%d)", static_cast<int>(listed.code));
        missing.push_back("printer driver \"" + printerName_ + "\" (" + environment_ + ")");
    }
    // A printer on a port is asked for by name; USB has none until Plug and
    // Play makes it.
    const std::string port = PrinterPortName(portCode);
    if (!port.empty()) {
        std::vector<PrinterInfo2> printers;
        listed = platform_.spooler.EnumPrinters(spool::kPrinterEnumLocal, printers);
        if (!listed.ok()) log_.WriteLog("EnumPrinters failed. (%d)", static_cast<int>(listed.code));
        // Printer and port names are the spooler's, which ignores case.
        const bool made = std::any_of(printers.begin(), printers.end(), [&](const PrinterInfo2& printer) {
            return EqualsNoCase(printer.printerName, printerObject) && EqualsNoCase(printer.portName, port) &&
                   printer.driverName == printerName_;
        });
        if (!made) missing.push_back("printer \"" + printerObject + "\" on \"" + port + "\"");
    }
    for (const std::string& part : missing) log_.WriteLog("NOT INSTALLED : %s", part.c_str());
    End("VerifyInstallation");
    return missing;
}

bool DriverInstaller::INFFileExist(const std::string& sectionBase, const std::string& /*key*/) {
    Begin("INFFileExist");
    std::string section = sectionBase;
    if (is64_) section += kAmd64Decoration;
    log_.WriteLog("SECTION NAME : %s", section.c_str());
    // The model line is looked up by the printer name, whatever the caller passed.
    work_ = platform_.ui.LoadString(kIdPrinterName);
    log_.WriteLog("KEY NAME : %s", work_.c_str());

    // Every oem INF that holds the model is logged, not only the first.
    bool found = false;
    ForEachOemInfWithLine(
        platform_.setup, section, work_,
        [&](const std::string& name) {
            log_.WriteLog("OEM FILES EXISTING : %s", name.c_str());
            found = true;
        },
        [&](Dword code) { log_.WriteLog("SetupOpenInfFile failed. %d", static_cast<int>(code)); });
    End("INFFileExist");
    return found;
}

void DriverInstaller::ShowSystemError(const char* prefixFormat, Dword code) {
    std::string text = Format(prefixFormat, code);
    text += platform_.system.FormatSystemMessage(code, sys::kLangEnglishUs);
    ui::AfxMessageBox(platform_.ui, text, mb::kOk | mb::kIconError);
}

void DriverInstaller::DeleteVidPid() { pnpCleanup_.DeleteVidPid(); }
void DriverInstaller::DeletePrnDrvPnPDirectory() { pnpCleanup_.DeletePrnDrvPnPDirectory(); }
void DriverInstaller::Delete_USB_Info() { pnpCleanup_.Delete_USB_Info(); }

void DriverInstaller::Begin(const char* operation) {
    log_.WriteLog("\r\n");
    log_.WriteLog("%s BEGIN", operation);
}

void DriverInstaller::End(const char* operation) { log_.WriteLog("%s END", operation); }

void DriverInstaller::StepReport(const std::string& text, Dword sleepMilliseconds) {
    if (progress_) progress_->Report(text, ProgressSink::Bar::Step);
    if (sleepMilliseconds) platform_.clock.Sleep(sleepMilliseconds);
}

void DriverInstaller::CompletionReport(const std::string& text) {
    if (progress_) progress_->Report(text, ProgressSink::Bar::Complete);
}

}  // namespace zmp
