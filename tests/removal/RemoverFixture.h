// A DriverRemover of one owner in a simulated process, with the machine
// helpers the removal tests share.
#pragma once

#include <string>
#include <vector>

#include "removal/DriverRemover.h"
#include "support/OsDetect.h"
#include "tests/support/SimFixture.h"

namespace zmp::test {

using Variant = DriverRemover::Variant;

inline resources::Program ProgramOf(Variant variant) {
    return variant == Variant::Uninstaller ? resources::Program::Uninstaller : resources::Program::Installer;
}

constexpr const char* kDriverName = "KORVANT ZMP-K40";
constexpr const char* kMonitorName = "KVT Language Monitor ZMP-K40";
constexpr const char* kProcessorName = "KVT PRINT PROCESSOR ZMP-K40";
constexpr const char* kUsbEnumKey = "SYSTEM\\CurrentControlSet\\Enum\\USBPRINT\\KORVANT_ZMP-K40";
constexpr const char* kUninstallKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KORVANT_ZMP-K40";

// An oem INF that describes the printer for both architectures.
inline std::string PrinterInf() {
    return "[Version]\r\n"
           "Signature=\"$Windows NT$\"\r\n"
           "Class=Printer\r\n"
           "ClassGUID={4D36E979-E325-11CE-BFC1-08002BE10318}\r\n"
           "Provider=KORVANT\r\n"
           "\r\n"
           "[Manufacturer]\r\n"
           "KORVANT=KORVANT,NTamd64\r\n"
           "\r\n"
           "[KORVANT]\r\n"
           "\"KORVANT ZMP-K40\" = ZMPK40, USBPRINT\\KORVANT_ZMP-K40\r\n"
           "\r\n"
           "[KORVANT.NTamd64]\r\n"
           "\"KORVANT ZMP-K40\" = ZMPK40, USBPRINT\\KORVANT_ZMP-K40\r\n";
}

// An oem INF of some other printer.
inline std::string OtherInf() {
    return "[Version]\r\n"
           "Signature=\"$Windows NT$\"\r\n"
           "Class=Printer\r\n"
           "\r\n"
           "[Manufacturer]\r\n"
           "OTHER=OTHER,NTamd64\r\n"
           "\r\n"
           "[OTHER]\r\n"
           "\"OTHER P1\" = P1\r\n"
           "\r\n"
           "[OTHER.NTamd64]\r\n"
           "\"OTHER P1\" = P1\r\n";
}

// A spooler that hands every call on to another; a test overrides the
// calls it changes.
class SpoolerOverlay : public Spooler {
public:
    explicit SpoolerOverlay(Spooler& inner) : in_(inner) {}

    Status EnumPrinters(Dword f, std::vector<PrinterInfo2>& o) override { return in_.EnumPrinters(f, o); }
    Status EnumPrinterDrivers(const std::optional<std::string>& e, Dword l, std::vector<DriverInfo3>& o) override {
        return in_.EnumPrinterDrivers(e, l, o);
    }
    Status EnumPrinterDrivers6(const std::optional<std::string>& e, std::vector<DriverInfo6>& o) override {
        return in_.EnumPrinterDrivers6(e, o);
    }
    Status GetPrinterDriver6(PrinterHandle p, const std::optional<std::string>& e, DriverInfo6& o) override {
        return in_.GetPrinterDriver6(p, e, o);
    }
    Status EnumPrintProcessors(std::vector<std::string>& o) override { return in_.EnumPrintProcessors(o); }
    Status EnumPrintProcessorsFor(const std::string& e, std::vector<std::string>& o) override {
        return in_.EnumPrintProcessorsFor(e, o);
    }
    Status OpenPrinter(const std::optional<std::string>& n, const std::optional<PrinterDefaults>& d,
                       PrinterHandle& o) override {
        return in_.OpenPrinter(n, d, o);
    }
    Status ClosePrinter(PrinterHandle p) override { return in_.ClosePrinter(p); }
    Dword GetPrinterDataDword(PrinterHandle p, const std::string& n, Dword& v) override {
        return in_.GetPrinterDataDword(p, n, v);
    }
    Status EnumJobs(PrinterHandle p, Dword f, Dword n, Dword l, std::vector<JobInfo3>& o) override {
        return in_.EnumJobs(p, f, n, l, o);
    }
    Status SetJob(PrinterHandle p, Dword id, Dword command) override { return in_.SetJob(p, id, command); }
    Status DeletePrinter(PrinterHandle p) override { return in_.DeletePrinter(p); }
    Status EnumForms(PrinterHandle s, std::vector<std::string>& o) override { return in_.EnumForms(s, o); }
    Status DeleteForm(PrinterHandle s, const std::string& n) override { return in_.DeleteForm(s, n); }
    Status DeletePrinterDriverEx(const std::string& n, Dword d, Dword v) override {
        return in_.DeletePrinterDriverEx(n, d, v);
    }
    Status AddMonitor(const MonitorInfo2& i) override { return in_.AddMonitor(i); }
    Status DeleteMonitor(const std::string& n) override { return in_.DeleteMonitor(n); }
    Status GetPrintProcessorDirectory(std::string& o) override { return in_.GetPrintProcessorDirectory(o); }
    Status AddPrintProcessor(const std::string& e, const std::string& f, const std::string& n) override {
        return in_.AddPrintProcessor(e, f, n);
    }
    Status DeletePrintProcessor(const std::string& n) override { return in_.DeletePrintProcessor(n); }
    Status GetPrinterDriverDirectory(std::string& o) override { return in_.GetPrinterDriverDirectory(o); }
    Status GetPrintProcessorDirectoryFor(const std::string& e, std::string& o) override {
        return in_.GetPrintProcessorDirectoryFor(e, o);
    }
    Status GetPrinterDriverDirectoryFor(const std::string& e, std::string& o) override {
        return in_.GetPrinterDriverDirectoryFor(e, o);
    }
    Status DeletePrinterDriverExFor(const std::string& e, const std::string& n, Dword d, Dword v) override {
        return in_.DeletePrinterDriverExFor(e, n, d, v);
    }
    Status DeletePrintProcessorFor(const std::string& e, const std::string& n) override {
        return in_.DeletePrintProcessorFor(e, n);
    }
    Status AddPrinterDriver(const DriverInfo3& i) override { return in_.AddPrinterDriver(i); }
    Status AddPrinter(const PrinterInfo2& i, PrinterHandle& o) override { return in_.AddPrinter(i, o); }
    XcvResult XcvData(PrinterHandle x, const std::u16string& c, const std::vector<std::uint8_t>& i,
                      Dword s) override {
        return in_.XcvData(x, c, i, s);
    }

protected:
    Spooler& in_;
};

// The platform of a run with another spooler in its place.
inline Platform WithSpooler(const Platform& platform, Spooler& spooler) {
    return Platform{spooler,        platform.setup, platform.registry, platform.files, platform.processes,
                    platform.system, platform.clock, platform.power,    platform.ui,    platform.services,
                    platform.modules};
}

class RemoverRun : public SimRun {
public:
    RemoverRun(const std::string& preset, bool is64Bit, Variant variant)
        : SimRun(preset, is64Bit, ProgramOf(variant)),
          remover(*platform, *log, variant, variant == Variant::InstallerEngine ? nullptr : &progress) {
        const bool wow64 = IsWow64(platform->system, *log);
        remover.SetSystemInfo(wow64, CheckOS(platform->system, *log));
        ClearLog();
    }

    DriverRemover remover;

    // The printer driver directory and the print processor directory of the
    // environment the driver is installed for (the x64 ones on 64-bit
    // Windows, not those this 32-bit program gets when it names none).
    std::string DriverDirectory() const { return machine->PrinterDriverDirectory(NativeEnvironment()); }
    std::string ProcessorDirectory() const { return machine->PrintProcessorDirectory(NativeEnvironment()); }
    std::string WindowsDirectory() const { return machine->WindowsDirectory(); }

    std::string NativeEnvironment() const { return machine->Os().NativeEnvironment(); }

    bool HasMonitor(const std::string& name) const {
        for (const sim::SimMonitor& m : machine->Monitors())
            if (m.name == name) return true;
        return false;
    }
    bool HasProcessor(const std::string& name) const {
        for (const sim::SimProcessor& p : machine->Processors())
            if (p.name == name) return true;
        return false;
    }
    bool HasForm(const std::string& name) const {
        for (const std::string& f : machine->Forms())
            if (f == name) return true;
        return false;
    }
};

}  // namespace zmp::test
