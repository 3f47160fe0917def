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
