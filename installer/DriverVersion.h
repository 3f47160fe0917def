// Whether the model's driver is installed already, and in which version
// compared with the one this installer carries. Answered from the print
// spooler alone: the version a printer using the driver reports in its
// printer data, else the version the driver itself carries, else whether
// the print processor is there.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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

    // printerName is also the driver's name. environments are those the
    // driver and the processor are looked for in, in order (the removal's:
    // the one the driver is installed for, then the other one); none means
    // the spooler's default, the caller's own, which for this 32-bit program
    // on 64-bit Windows would never show the x64 driver.
    VersionResult CompareVersion(std::string printerName, std::string processorName, Dword major,
                                 Dword minor, Dword build, Dword extra,
                                 const std::vector<std::string>& environments = {});

private:
    // The version the printer reports; Older when "ExtraVersion" cannot be read.
    VersionResult ComparePrinter(const std::string& printer, const Dword ours[4]);
    // The driver's own version, from its INF's DriverVer; Older when it has
    // none (0: registered without an INF).
    static VersionResult CompareDriver(std::uint64_t driverVersion, const Dword ours[4]);
    // The four numbers compared in order, as unsigned numbers.
    static VersionResult Compare(const Dword installed[4], const Dword ours[4]);

    Spooler& spooler_;
};

}  // namespace zmp
