// The comparison of the installer's version (2.0.6.0) with what the spooler
// shows of an installed driver.
#include <gtest/gtest.h>

#include <map>

#include "installer/DriverVersion.h"
#include "simulator/Machine.h"
#include "simulator/SimPlatform.h"

namespace zmp::test {
namespace {

constexpr const char* kDriver = "KORVANT ZMP-K40";
constexpr const char* kProcessorName = "KVT PRINT PROCESSOR ZMP-K40";

struct InstalledPrinter {
    const char* name;
    const char* driver;
    std::map<std::string, Dword> data;
};

sim::SimDriver Driver(const std::string& name, const std::string& environment) {
    sim::SimDriver driver;
    driver.name = name;
    driver.environment = environment;
    driver.driverPath = "UNIDRV.DLL";
    driver.dataFile = "ZMP40.GPD";
    driver.configFile = "UNIDRVUI.DLL";
    return driver;  // reports no version data of its own: the printers do
}

TEST(DriverVersionTest, CompareVersionAnswersFromTheFirstPrinterThenTheDriverThenTheProcessor) {
    const std::map<std::string, Dword> v2059 = {
        {"MajorVersion", 2}, {"MinorVersion", 0}, {"BuildVersion", 5}, {"ExtraVersion", 9}};
    const std::map<std::string, Dword> v2100 = {
        {"MajorVersion", 2}, {"MinorVersion", 1}, {"BuildVersion", 0}, {"ExtraVersion", 0}};
    const std::map<std::string, Dword> v2060 = {
        {"MajorVersion", 2}, {"MinorVersion", 0}, {"BuildVersion", 6}, {"ExtraVersion", 0}};
    const std::map<std::string, Dword> v2061 = {
        {"MajorVersion", 2}, {"MinorVersion", 0}, {"BuildVersion", 6}, {"ExtraVersion", 1}};
    const std::map<std::string, Dword> noExtra = {{"MajorVersion", 9}, {"MinorVersion", 9}, {"BuildVersion", 9}};
    const std::map<std::string, Dword> onlyExtra = {{"ExtraVersion", 0}};

    struct Case {
        const char* name;
        std::vector<InstalledPrinter> printers;
        bool driver;
        bool processor;
        VersionResult expected;
    };
    const Case cases[] = {
        {"older build", {{"P", kDriver, v2059}}, true, true, VersionOlder},
        {"newer minor", {{"P", kDriver, v2100}}, true, true, VersionNewer},
        {"same", {{"P", kDriver, v2060}}, true, true, VersionSame},
        {"newer extra", {{"P", kDriver, v2061}}, true, true, VersionNewer},
        {"no ExtraVersion, whatever the rest", {{"P", kDriver, noExtra}}, true, true, VersionOlder},
        // Missing values count as 0: 0.0.0.0 is older.
        {"only ExtraVersion", {{"P", kDriver, onlyExtra}}, true, true, VersionOlder},
        {"first printer decides", {{"A", kDriver, v2060}, {"B", kDriver, v2100}}, true, true, VersionSame},
        {"first using the driver decides", {{"A", "Generic / Text Only", v2100}, {"B", kDriver, v2059}}, true, true,
         VersionOlder},
        // The driver's name is compared exactly: another case is another driver.
        {"printer of another case, driver left", {{"P", "korvant zmp-k40", v2100}}, true, false, VersionOlder},
        {"driver left, no printer", {}, true, false, VersionOlder},
        {"processor left from an incomplete removal", {}, false, true, VersionOlder},
        {"nothing", {{"P", "Generic / Text Only", v2060}}, false, false, VersionNotInstalled},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto machine = sim::Machine::Preset("xp");
        const std::string env = "Windows NT x86";
        if (c.driver) machine->AddDriverRecord(Driver(kDriver, env));
        machine->AddDriverRecord(Driver("Generic / Text Only", env));
        if (c.processor) {
            machine->WriteFile("C:\\WINDOWS\\system32\\spool\\prtprocs\\w32x86\\ZPPRO40.dll", "MZ");
            machine->AddProcessorRecord({kProcessorName, env, "ZPPRO40.dll"});
        }
        for (const InstalledPrinter& p : c.printers) {
            sim::SimPrinter printer;
            printer.name = p.name;
            printer.driver = p.driver;
            printer.port = "COM1:";
            printer.data = p.data;
            machine->AddPrinterRecord(printer);
        }
        sim::SimSystem system(*machine);
        DriverVersion version(system.spooler);
        EXPECT_EQ(version.CompareVersion(kDriver, kProcessorName, 2, 0, 6, 0, {env}), c.expected);
    }
}

TEST(DriverVersionTest, APrinterThatCannotBeOpenedCountsAsOlder) {
    auto machine = sim::Machine::Preset("xp");
    machine->AddDriverRecord(Driver(kDriver, "Windows NT x86"));
    sim::SimPrinter printer;
    printer.name = "P";
    printer.driver = kDriver;
    printer.port = "COM1:";
    printer.data = {{"MajorVersion", 2}, {"MinorVersion", 0}, {"BuildVersion", 6}, {"ExtraVersion", 0}};
    machine->AddPrinterRecord(printer);
    sim::SimSystem system(*machine);
    system.Faults().Fail("Spooler.OpenPrinter", err::kAccessDenied);
    DriverVersion version(system.spooler);
    EXPECT_EQ(version.CompareVersion(kDriver, kProcessorName, 2, 0, 6, 0), VersionOlder);
}

// This 32-bit program on 64-bit Windows sees the x64 driver only when it
// names the environment; the spooler's default for it is the x86 one.
TEST(DriverVersionTest, OnWow64TheDriverIsLookedForInItsOwnEnvironment) {
    auto machine = sim::Machine::Preset("7", true);
    machine->AddDriverRecord(Driver(kDriver, "Windows x64"));
    sim::SimSystem system(*machine);
    DriverVersion version(system.spooler);
    EXPECT_EQ(version.CompareVersion(kDriver, kProcessorName, 2, 0, 6, 0, {"Windows x64"}), VersionOlder);
    EXPECT_EQ(version.CompareVersion(kDriver, kProcessorName, 2, 0, 6, 0), VersionNotInstalled);
}

// Without a printer the driver's own version decides: the one its INF's
// DriverVer gave it (a.b.c.d, 16 bits each), or, registered without an
// INF (0), older as before.
TEST(DriverVersionTest, WithoutAPrinterTheDriversOwnVersionDecides) {
    auto packed = [](std::uint64_t a, std::uint64_t b, std::uint64_t c, std::uint64_t d) {
        return a << 48 | b << 32 | c << 16 | d;
    };
    const struct {
        const char* name;
        std::uint64_t driverVersion;
        VersionResult expected;
    } cases[] = {
        {"same", packed(2, 0, 6, 0), VersionSame},
        {"registered without an INF", 0, VersionOlder},
        {"older build", packed(2, 0, 5, 9), VersionOlder},
        {"newer extra", packed(2, 0, 6, 1), VersionNewer},
        {"newer major", packed(3, 0, 0, 0), VersionNewer},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto machine = sim::Machine::Preset("7", true);
        sim::SimDriver driver = Driver(kDriver, "Windows x64");
        driver.driverVersion = c.driverVersion;
        machine->AddDriverRecord(driver);
        sim::SimSystem system(*machine);
        DriverVersion version(system.spooler);
        EXPECT_EQ(version.CompareVersion(kDriver, kProcessorName, 2, 0, 6, 0, {"Windows x64", "Windows NT x86"}),
                  c.expected);
    }
}

// The driver and the processor are looked for in the same environments,
// those the removal acts in: on 64-bit Windows the x64 one and the x86 one
// a print server keeps for its clients.
TEST(DriverVersionTest, TheProcessorIsLookedForWhereTheDriverIs) {
    for (const char* environment : {"Windows x64", "Windows NT x86"}) {
        SCOPED_TRACE(environment);
        auto machine = sim::Machine::Preset("7", true);
        machine->WriteFile(machine->PrintProcessorDirectory(environment) + "\\ZPPRO40.dll", "MZ");
        machine->AddProcessorRecord({kProcessorName, environment, "ZPPRO40.dll"});
        sim::SimSystem system(*machine);
        DriverVersion version(system.spooler);
        EXPECT_EQ(version.CompareVersion(kDriver, kProcessorName, 2, 0, 6, 0, {"Windows x64", "Windows NT x86"}),
                  VersionOlder);
    }
}

}  // namespace
}  // namespace zmp::test
