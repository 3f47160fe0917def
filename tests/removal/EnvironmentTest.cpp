// The removal steps act on the environment the driver is installed for: on
// 64-bit Windows that is "Windows x64", not the x86 environment the spooler
// gives this 32-bit program when it names none. On 32-bit Windows the calls
// name no environment, as they always did.
#include <gtest/gtest.h>

#include "tests/removal/RemoverFixture.h"

namespace zmp::test {
namespace {

struct EnvironmentCase {
    const char* name;
    const char* preset;
    bool is64;
    const char* environment;  // the installed driver's
    bool named;               // the spooler calls name it ("...For")
};

void PrintTo(const EnvironmentCase& c, std::ostream* os) { *os << c.name; }

class InstalledEnvironment : public ::testing::TestWithParam<EnvironmentCase> {
protected:
    // The installed driver's environment is reached by the form of the call
    // the case expects, made once; on 64-bit Windows the unnamed form is
    // never used. (The named form also asks about the other environment,
    // where additional drivers are kept.)
    void ExpectCall(RemoverRun& run, const std::string& call) {
        const EnvironmentCase& c = GetParam();
        const std::string unnamed = "Spooler." + call, named = unnamed + "For";
        if (c.named) {
            EXPECT_GE(run.CallCount(named), 1u) << named;
            EXPECT_EQ(run.CallCount(unnamed), 0u) << unnamed;
        } else {
            EXPECT_EQ(run.CallCount(unnamed), 1u) << unnamed;
        }
    }
};

TEST_P(InstalledEnvironment, DriverIsDeletedByTheSpoolerWithItsFiles) {
    const EnvironmentCase& c = GetParam();
    RemoverRun run(c.preset, c.is64, Variant::Uninstaller);
    sim::SimDriver driver;
    driver.name = kDriverName;
    driver.environment = c.environment;
    driver.driverPath = "ZMP40.dll";
    driver.dataFile = "ZMP40.GPD";
    driver.configFile = "ZPUI40.dll";
    driver.dependentFiles = {"ZMP40.BUD", "ZPUNI40.dll"};
    run.machine->AddDriverRecord(driver);
    const std::string versionDir = run.machine->PrinterDriverDirectory(c.environment) + "\\3";
    ASSERT_TRUE(run.machine->FileExists(versionDir + "\\ZMP40.dll"));

    EXPECT_TRUE(run.remover.DeletePrinterDrv("ZMP-K40"));

    EXPECT_FALSE(run.machine->FindDriver(kDriverName, c.environment));
    for (const char* f : {"ZMP40.dll", "ZMP40.GPD", "ZPUI40.dll", "ZMP40.BUD", "ZPUNI40.dll"})
        EXPECT_FALSE(run.machine->FileExists(versionDir + "\\" + f)) << f;
    ExpectCall(run, "DeletePrinterDriverEx");
    // The spooler took it: no registry fallback.
    EXPECT_EQ(run.CallCount("Registry.RegDeleteKeyEx") + run.CallCount("Registry.ShDeleteKey"), 0u);
    EXPECT_EQ(run.LogLines(), (std::vector<std::string>{"DeletePrinterDrv BEGIN", "DeletePrinterDrv END"}));
}

TEST_P(InstalledEnvironment, ProcessorIsDeletedByTheSpoolerWithItsDll) {
    const EnvironmentCase& c = GetParam();
    RemoverRun run(c.preset, c.is64, Variant::InstallerDialog);
    const std::string dll = run.machine->PrintProcessorDirectory(c.environment) + "\\ZPPRO40.dll";
    run.machine->WriteFile(dll, "MZ");
    run.machine->AddProcessorRecord({kProcessorName, c.environment, "ZPPRO40.dll"});

    run.remover.DeleteProcessor();

    EXPECT_FALSE(run.HasProcessor(kProcessorName));
    EXPECT_FALSE(run.machine->FileExists(dll));
    ExpectCall(run, "DeletePrintProcessor");
    ExpectCall(run, "GetPrintProcessorDirectory");
    EXPECT_EQ(run.LogLines(), (std::vector<std::string>{"DeleteProcessor BEGIN", "DeleteProcessor END"}));
}

TEST_P(InstalledEnvironment, DriverFilesAreDeletedFromItsDriverDirectory) {
    const EnvironmentCase& c = GetParam();
    RemoverRun run(c.preset, c.is64, Variant::Uninstaller);
    const std::string driverDir = run.machine->PrinterDriverDirectory(c.environment);
    for (const char* f : {"ZMP40.dll", "ZMP40.GPD", "ZMP40.BUD", "ZPUI40.dll", "ZPUNI40.dll"})
        run.machine->WriteFile(driverDir + "\\3\\" + f, "data");

    run.remover.DeleteDriverComponent();

    for (const char* f : {"ZMP40.dll", "ZMP40.GPD", "ZMP40.BUD", "ZPUI40.dll", "ZPUNI40.dll"})
        EXPECT_FALSE(run.machine->FileExists(driverDir + "\\3\\" + f)) << f;
    ExpectCall(run, "GetPrinterDriverDirectory");
    std::vector<std::string> lines = run.LogLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[1], "PrinterDriverDirectory : " + driverDir);
}

TEST_P(InstalledEnvironment, PlugAndPlayStagingDirectoryOfTheSpoolerIsDeleted) {
    const EnvironmentCase& c = GetParam();
    for (Variant variant : {Variant::Uninstaller, Variant::InstallerEngine}) {
        RemoverRun run(c.preset, c.is64, variant);
        run.machine->PlugUsbPrinter();  // stages into the spooler's own driver directory
        const std::string staging = run.machine->PrinterDriverDirectory(c.environment) + "\\korvant_zmp_k402463";
        ASSERT_TRUE(run.machine->DirectoryExists(staging));

        run.remover.DeletePrnDrvPnPDirectory();

        EXPECT_FALSE(run.machine->DirectoryExists(staging));
        ExpectCall(run, "GetPrinterDriverDirectory");
        EXPECT_EQ(run.LogLines(), (std::vector<std::string>{"DeletePrnDrvPnPDirectory BEGIN",
                                                             "DIR PATH-1 : " + staging + " ",
                                                             "DeletePrnDrvPnPDirectory END"}));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Machines, InstalledEnvironment,
    ::testing::Values(EnvironmentCase{"XP", "xp", false, "Windows NT x86", false},
                      EnvironmentCase{"Win7", "7", false, "Windows NT x86", false},
                      EnvironmentCase{"XPx64", "xp64", true, "Windows x64", true},
                      EnvironmentCase{"Win7x64", "7", true, "Windows x64", true}),
    [](const ::testing::TestParamInfo<EnvironmentCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zmp::test
