#include <gtest/gtest.h>

#include <algorithm>

#include "simulator/ProcessExit.h"
#include "tests/common/Commands.h"
#include "tests/removal/RemoverFixture.h"

namespace zmp::test {
namespace {

sim::SimPrinter Printer(const std::string& name, const std::string& driver) {
    sim::SimPrinter p;
    p.name = name;
    p.driver = driver;
    p.port = "COM1:";
    return p;
}

sim::SimDriver Driver(const std::string& name, const std::string& environment) {
    sim::SimDriver d;
    d.name = name;
    d.environment = environment;
    d.driverPath = name == kDriverName ? "ZMP40.dll" : "OTHER.dll";
    d.dataFile = name == kDriverName ? "ZMP40.GPD" : "OTHER.GPD";
    d.configFile = name == kDriverName ? "ZPUI40.dll" : "OTHERUI.dll";
    return d;
}

// --- RemoveInstalledVersion (installer)

TEST(RemoveInstalledVersion, DeletesOnlyPrintersOfTheDriverItsCaseIncluded) {
    RemoverRun run("xp", false, Variant::InstallerDialog);
    run.machine->AddDriverRecord(Driver(kDriverName, "Windows NT x86"));
    run.machine->AddDriverRecord(Driver("korvant zmp-k40", "Windows NT x86"));
    run.machine->AddPrinterRecord(Printer("KORVANT ZMP-K40", kDriverName));
    run.machine->AddPrinterRecord(Printer("Office copy", kDriverName));
    run.machine->AddPrinterRecord(Printer("Lower case", "korvant zmp-k40"));

    std::vector<std::string> left = run.remover.RemoveInstalledVersion();

    EXPECT_FALSE(run.machine->FindPrinter("KORVANT ZMP-K40"));
    EXPECT_FALSE(run.machine->FindPrinter("Office copy"));
    EXPECT_TRUE(run.machine->FindPrinter("Lower case"));
    // RemoveDrivers ran in full, and its completion report says what the
    // spooler shows.
    ASSERT_FALSE(run.progress.reports.empty());
    EXPECT_EQ(run.progress.reports.front(), "step Deleting printer-objects...");
    EXPECT_EQ(run.progress.reports.back(), left.empty() ? "complete The uninstallation has been completed."
                                                        : "complete The uninstallation could not be completed.");
}

TEST(RemoveInstalledVersion, NoPrinterOfTheDriverStillRemovesTheDriver) {
    RemoverRun run("xp", false, Variant::InstallerDialog);
    run.machine->AddDriverRecord(Driver(kDriverName, "Windows NT x86"));

    run.remover.RemoveInstalledVersion();

    EXPECT_FALSE(run.machine->FindDriver(kDriverName, "Windows NT x86"));
    std::vector<std::string> lines = run.LogLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "RemoveDrivers END"), lines.end());
    EXPECT_EQ(run.progress.reports.back(), "complete The uninstallation has been completed.");
}

TEST(RemoveInstalledVersion, EnumerationFailureShowsTheCodeAndEndsTheProcess) {
    RemoverRun run("xp", false, Variant::InstallerDialog);
    run.machine->AddDriverRecord(Driver(kDriverName, "Windows NT x86"));
    run.sys->Faults().Fail("Spooler.EnumPrinters", err::kAccessDenied);

    EXPECT_THROW(run.remover.RemoveInstalledVersion(), sim::ProcessExit);

    ASSERT_EQ(run.ui.boxes.size(), 1u);
    EXPECT_EQ(run.ui.boxes[0].text, "EnumPrinters Error Code: 5\n\n" + sim::SystemMessageText(5));
    EXPECT_EQ(run.ui.boxes[0].type, mb::kIconExclamation);
    EXPECT_EQ(run.ui.lastOwner, run.ui.MainWindow());
    EXPECT_EQ(run.Events(), std::vector<std::string>{"EXIT 0"});
    EXPECT_TRUE(run.machine->FindDriver(kDriverName, "Windows NT x86"));
}

// --- printer objects and their jobs

// The simulated spooler removes a job for either command; this one keeps
// the command each SetJob was given.
class JobCommandRecorder final : public SpoolerOverlay {
public:
    using SpoolerOverlay::SpoolerOverlay;
    std::vector<Dword> commands;

    Status SetJob(PrinterHandle p, Dword id, Dword command) override {
        commands.push_back(command);
        return in_.SetJob(p, id, command);
    }
};

TEST(DeletePrinterObject, EveryJobIsRemovedBeforeThePrinter) {
    // Windows NT 4.0 and later delete the jobs; the 9x family cancels them.
    // EnumJobs gives at most 1000 at a time: it is asked again.
    struct Case {
        const char* preset;
        Dword command;
    } cases[] = {
        {"xp", spool::kJobControlDelete},
        {"nt4", spool::kJobControlDelete},
        {"98", spool::kJobControlCancel},
    };
    for (const Case& c : cases) {
        SimRun run(c.preset, false, resources::Program::Uninstaller);
        JobCommandRecorder spooler(run.platform->spooler);
        Platform platform = WithSpooler(*run.platform, spooler);
        DriverRemover remover(platform, *run.log, Variant::Uninstaller, &run.progress);
        run.machine->AddDriverRecord(Driver(kDriverName, run.machine->Os().NativeEnvironment()));
        run.machine->AddPrinterRecord(Printer("P", kDriverName));
        run.machine->AddJobs("P", 2345);

        remover.DeletePrinterObject("P");

        EXPECT_EQ(spooler.commands, std::vector<Dword>(2345, c.command)) << c.preset;
        EXPECT_EQ(run.CallCount("Spooler.EnumJobs"), 4u) << c.preset;  // 1000, 1000, 345, none
        EXPECT_EQ(run.Events(), std::vector<std::string>{"SLEEP 1000"}) << c.preset;
        EXPECT_FALSE(run.machine->FindPrinter("P")) << c.preset;
        EXPECT_TRUE(run.LogLines().empty()) << c.preset;
    }
}

TEST(DeletePrinterObject, JobsThatWillNotGoEndTheRounds) {
    RemoverRun run("xp", false, Variant::Uninstaller);
    run.machine->AddDriverRecord(Driver(kDriverName, "Windows NT x86"));
    run.machine->AddPrinterRecord(Printer("P", kDriverName));
    run.machine->AddJobs("P", 3);
    run.sys->Faults().Fail("Spooler.SetJob", err::kAccessDenied);

    run.remover.DeletePrinterObject("P");

    EXPECT_EQ(run.CallCount("Spooler.EnumJobs"), 1u);
    EXPECT_EQ(run.CallCount("Spooler.SetJob"), 3u);
    std::optional<sim::SimPrinter> after = run.machine->FindPrinter("P");
    ASSERT_TRUE(after);
    EXPECT_TRUE(after->pendingDeletion);
}

TEST(DeletePrinterObject, PrinterThatCannotBeOpenedIsSkippedSilently) {
    RemoverRun run("xp", false, Variant::Uninstaller);
    run.remover.DeletePrinterObject("Nobody");
    EXPECT_EQ(run.CallCount("Spooler.DeletePrinter"), 0u);
    EXPECT_TRUE(run.LogLines().empty());
    EXPECT_TRUE(run.Events().empty());
}

TEST(RemovePrinterObjects, DeletesTheNamesInOrderAndRestartsTheSpooler) {
    RemoverRun run("7", true, Variant::Uninstaller);
    run.machine->AddDriverRecord(Driver(kDriverName, "Windows x64"));
    for (const char* name : {"A", "B", "C"}) run.machine->AddPrinterRecord(Printer(name, kDriverName));

    run.remover.RemovePrinterObjects({"C", "A"});

    EXPECT_FALSE(run.machine->FindPrinter("A"));
    EXPECT_TRUE(run.machine->FindPrinter("B"));
    EXPECT_FALSE(run.machine->FindPrinter("C"));
    EXPECT_EQ(run.LogLines(), (std::vector<std::string>{"RemovePrinterObjects BEGIN", "OBJECT NAME : C",
                                                         "OBJECT NAME : A", "RemovePrinterObjects END"}));
    EXPECT_EQ(run.Events(), (std::vector<std::string>{test::NetEvent("stop"), "SLEEP 2000",
                                                       test::NetEvent("start"), "SLEEP 2000"}));
}

TEST(RemovePrinterObjects, EmptyListStillRestartsTheSpooler) {
    RemoverRun run("7", true, Variant::Uninstaller);
    run.remover.RemovePrinterObjects({});
    EXPECT_EQ(run.LogLines(), (std::vector<std::string>{"RemovePrinterObjects BEGIN", "RemovePrinterObjects END"}));
    EXPECT_EQ(run.Events(), (std::vector<std::string>{test::NetEvent("stop"), "SLEEP 2000",
                                                       test::NetEvent("start"), "SLEEP 2000"}));
}

// --- DeletePrinterDrv

TEST(DeletePrinterDrv, DeletedBySpoolerThenTheSpoolerIsRestarted) {
    RemoverRun run("xp", false, Variant::Uninstaller);
    run.machine->AddDriverRecord(Driver(kDriverName, "Windows NT x86"));

    EXPECT_TRUE(run.remover.DeletePrinterDrv("ZMP-K40"));

    EXPECT_FALSE(run.machine->FindDriver(kDriverName, "Windows NT x86"));
    EXPECT_EQ(run.LogLines(), (std::vector<std::string>{"DeletePrinterDrv BEGIN", "DeletePrinterDrv END"}));
    EXPECT_EQ(run.Events(), (std::vector<std::string>{"SLEEP 100", test::NetEvent("stop", "C:\\WINDOWS\\system32"), "SLEEP 2000",
                                                       test::NetEvent("start", "C:\\WINDOWS\\system32"), "SLEEP 2000"}));
    EXPECT_EQ(run.progress.reports, std::vector<std::string>{"none Deleting printer-drivers..."});
}

struct FallbackCase {
    const char* name;
    const char* preset;
    bool is64;
    Variant variant;
    const char* environment;
    const char* spoolerCall;  // the refused DeletePrinterDriverExA
    const char* deleteCall;
    const char* otherCall;
};

class DeletePrinterDrvFallback : public ::testing::TestWithParam<FallbackCase> {};

TEST_P(DeletePrinterDrvFallback, RefusedDriverIsTakenOutOfTheRegistryByTheWow64Flag) {
    const FallbackCase& c = GetParam();
    RemoverRun run(c.preset, c.is64, c.variant);
    const std::string driverKey = std::string("HKLM\\SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\") +
                                  c.environment + "\\Drivers\\Version-3\\KORVANT ZMP-K40";
    const std::string printerKey = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\KORVANT ZMP-K40";
    run.machine->CreateKey(driverKey);
    run.machine->SetString(printerKey, "Printer Driver", kDriverName);
    run.sys->Faults().Fail(c.spoolerCall, err::kUnknownPrinterDriver);

    EXPECT_TRUE(run.remover.DeletePrinterDrv("ZMP-K40"));

    EXPECT_FALSE(run.machine->KeyExists(driverKey));
    EXPECT_FALSE(run.machine->KeyExists(printerKey));
    EXPECT_EQ(run.CallCount(c.deleteCall), 2u);
    EXPECT_EQ(run.CallCount(c.otherCall), 0u);
    std::vector<std::string> expected{"DeletePrinterDrv BEGIN"};
    if (c.variant == Variant::Uninstaller) expected.push_back("DeletePrinterDriverEx returned FALSE. (1797)");
    expected.push_back("DeletePrinterDrv END");
    EXPECT_EQ(run.LogLines(), expected);
    std::vector<std::string> events = run.Events("EXEC");
    const std::string system = run.machine->SystemDirectory();
    EXPECT_EQ(events, (std::vector<std::string>{test::NetEvent("stop", system), test::NetEvent("start", system)}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DeletePrinterDrvFallback,
    ::testing::Values(FallbackCase{"Win7x64Uninstaller", "7", true, Variant::Uninstaller, "Windows x64",
                                   "Spooler.DeletePrinterDriverExFor", "Registry.RegDeleteKeyEx", "Registry.ShDeleteKey"},
                      FallbackCase{"XP32Installer", "xp", false, Variant::InstallerDialog, "Windows NT x86",
                                   "Spooler.DeletePrinterDriverEx", "Registry.ShDeleteKey", "Registry.RegDeleteKeyEx"}),
    [](const ::testing::TestParamInfo<FallbackCase>& info) { return std::string(info.param.name); });

TEST(DeletePrinterDrv, FallbackFailureIsLoggedAndMakesTheResultFalse) {
    RemoverRun run("xp", false, Variant::InstallerDialog);
    const std::string printerKey = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\KORVANT ZMP-K40";
    run.machine->SetString(printerKey, "Printer Driver", kDriverName);  // the driver key is absent
    run.sys->Faults().Fail("Spooler.DeletePrinterDriverEx", err::kUnknownPrinterDriver);

    EXPECT_FALSE(run.remover.DeletePrinterDrv("ZMP-K40"));

    EXPECT_FALSE(run.machine->KeyExists(printerKey));  // the second deletion still ran
    std::vector<std::string> lines = run.LogLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1].rfind("SHDeleteKey failed : SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\"
                             "Windows NT x86\\Drivers\\Version-3\\KORVANT ZMP-K40 (",
                             0),
              0u)
        << lines[1];
    EXPECT_EQ(lines[1].back(), ' ');
    EXPECT_EQ(run.Events("EXEC").size(), 2u);
}

// A printer named like the driver is ours only when it uses the driver: the
// fallback leaves anyone else's printer of that name alone.
TEST(DeletePrinterDrv, FallbackDeletesThePrinterKeyOnlyForOurDriver) {
    struct Case {
        const char* preset;
        bool is64;
        const char* usedDriver;
        bool deleted;
    } cases[] = {
        {"xp", false, kDriverName, true},
        {"xp", false, "Generic / Text Only", false},
        {"7", true, kDriverName, true},
        {"7", true, "Generic / Text Only", false},
    };
    for (const Case& c : cases) {
        RemoverRun run(c.preset, c.is64, Variant::Uninstaller);
        const std::string printerKey = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\KORVANT ZMP-K40";
        run.machine->SetString(printerKey, "Printer Driver", c.usedDriver);
        run.machine->CreateKey(printerKey + "\\PrinterDriverData");

        run.remover.DeletePrinterDrv("ZMP-K40");  // no such driver: 1797

        const std::string what = std::string(c.preset) + " " + c.usedDriver;
        EXPECT_EQ(run.machine->KeyExists(printerKey), !c.deleted) << what;
        std::vector<std::string> lines = run.LogLines();
        const std::string kept = "PRINTER KEY KEPT : SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\"
                                 "KORVANT ZMP-K40, PRINTER DRIVER : Generic / Text Only";
        EXPECT_EQ(std::count(lines.begin(), lines.end(), kept), c.deleted ? 0 : 1) << what;
    }
}

// A printer still on the driver keeps it: its keys are not torn out.
TEST(DeletePrinterDrv, DriverInUseKeepsItsKeys) {
    RemoverRun run("7", true, Variant::Uninstaller);
    run.machine->AddDriverRecord(Driver(kDriverName, "Windows x64"));
    run.machine->AddPrinterRecord(Printer("KORVANT ZMP-K40", kDriverName));

    EXPECT_FALSE(run.remover.DeletePrinterDrv("ZMP-K40"));

    EXPECT_TRUE(run.machine->FindDriver(kDriverName, "Windows x64"));
    EXPECT_TRUE(run.machine->FindPrinter("KORVANT ZMP-K40"));
    EXPECT_TRUE(run.machine->KeyExists("HKLM\\SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\KORVANT ZMP-K40"));
    EXPECT_EQ(run.LogLines(), (std::vector<std::string>{
                                  "DeletePrinterDrv BEGIN", "DeletePrinterDriverEx returned FALSE. (3001)",
                                  "The printer driver is still in use; its registry keys are kept.",
                                  "DeletePrinterDrv END"}));
}

// --- DeleteForms

TEST(DeleteForms, FormsCarryingTheTagInItsCaseAreDeleted) {
    for (Variant variant : {Variant::InstallerDialog, Variant::Uninstaller}) {
        RemoverRun run("xp", false, variant);
        for (const char* form : {"Label 58mm [K40]", "Roll [K40] 80mm", "Label [k40]", "Letter"})
            run.machine->AddForm(form);

        run.remover.DeleteForms();

        EXPECT_FALSE(run.HasForm("Label 58mm [K40]"));
        EXPECT_FALSE(run.HasForm("Roll [K40] 80mm"));
        EXPECT_TRUE(run.HasForm("Label [k40]"));
        EXPECT_TRUE(run.HasForm("Letter"));
        EXPECT_EQ(run.LogLines(), (std::vector<std::string>{"DeleteForms BEGIN", "FORM NAMES : Label 58mm [K40] ",
                                                             "FORM NAMES : Roll [K40] 80mm ", "DeleteForms END"}));
        if (variant == Variant::Uninstaller) {
            EXPECT_EQ(run.progress.reports, std::vector<std::string>{"none Deleting forms..."});
            EXPECT_EQ(run.Events(), std::vector<std::string>{"SLEEP 100"});
        } else {
            EXPECT_TRUE(run.progress.reports.empty());
            EXPECT_TRUE(run.Events().empty());
        }
    }
}

TEST(DeleteForms, ServerThatCannotBeOpenedDeletesNothing) {
    RemoverRun run("xp", false, Variant::InstallerDialog);
    run.machine->AddForm("Label [K40]");
    run.sys->Faults().Fail("Spooler.OpenPrinter", err::kAccessDenied);

    run.remover.DeleteForms();

    EXPECT_TRUE(run.HasForm("Label [K40]"));
    EXPECT_EQ(run.LogLines(), (std::vector<std::string>{"DeleteForms BEGIN", "DeleteForms END"}));
    EXPECT_EQ(run.CallCount("Spooler.ClosePrinter"), 0u);
}

}  // namespace
}  // namespace zmp::test
