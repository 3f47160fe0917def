// Whether the model's driver is installed already, and in which version
// compared with the one this installer carries. Answered from the print
// spooler alone: the version a printer using the driver reports in its
// printer data, else whether the driver or the print processor is there.
#pragma once

#include <optional>
#include <string>

#include "platform/Spooler.h"
#include "platform/Types.h"

namespace zmp {

enum VersionResult {
    VersionOlder = 0,         // installed one is older, unreadable, or only parts are left
    VersionNewer = 1,         // installed one is newer
    VersionNotInstalled = 2,  // nothing of the model
    VersionSame = 3,
};

class DriverVersion {
public:
    explicit DriverVersion(Spooler& spooler) : spooler_(spooler) {}
    virtual ~DriverVersion() = default;

    // printerName is also the driver's name. environment is the spooler
    // environment the driver is installed for; without it the spooler takes
    // the caller's, which for this 32-bit program on 64-bit Windows would
    // never show the x64 driver.
    VersionResult CompareVersion(std::string printerName, std::string processorName, Dword major,
                                 Dword minor, Dword build, Dword extra,
                                 const std::optional<std::string>& environment = std::nullopt);

private:
    // The version the printer reports; Older when "ExtraVersion" cannot be read.
    VersionResult ComparePrinter(const std::string& printer, const Dword ours[4]);

    Spooler& spooler_;
};

}  // namespace zmp
