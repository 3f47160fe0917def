#include <gtest/gtest.h>

#include <algorithm>

#include "tests/removal/RemoverFixture.h"

namespace zmp::test {
namespace {

const std::string kMonitorsKey = std::string("HKLM\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\") + kMonitorName;

TEST(DeleteLanguageMonitor, RemovedBySpoolerAndItsFileDeleted) {
    RemoverRun run("xp", false, Variant::Uninstaller);
    const std::string dll = run.machine->SystemDirectory() + "\\ZPMON40.dll";
    run.machine->WriteFile(dll, "MZ");
    run.machine->AddMonitorRecord({kMonitorName, "Windows NT x86", "ZPMON40.dll"});

    run.remover.DeleteLanguageMonitor();

    EXPECT_FALSE(run.HasMonitor(kMonitorName));
    EXPECT_FALSE(run.machine->FileExists(dll));
    EXPECT_EQ(run.LogLines(), (std::vector<std::string>{"DeleteLanguageMonitor BEGIN", "DeleteLanguageMonitor END"}));
    EXPECT_EQ(run.progress.reports, std::vector<std::string>{"none Deleting L/M..."});
    EXPECT_EQ(run.Events(), std::vector<std::string>{"SLEEP 100"});
}

TEST(DeleteLanguageMonitor, UnknownMonitorFallsBackToItsKeyAndStillDeletesTheFile) {
    RemoverRun run("xp", false, Variant::InstallerDialog);
    const std::string dll = run.machine->SystemDirectory() + "\\ZPMON40.dll";
    run.machine->WriteFile(dll, "MZ");
    run.platform->system.SetLastError(0);

    run.remover.DeleteLanguageMonitor();

    EXPECT_FALSE(run.machine->FileExists(dll));
    std::vector<std::string> lines = run.LogLines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "DeleteLanguageMonitor BEGIN");
    EXPECT_EQ(lines[1], "DeleteMonitor Error : (3000)");
    EXPECT_EQ(lines[2], "The specified print monitor is unknown or not installed on this system.");
    EXPECT_EQ(lines[3].rfind(std::string("SHDeleteKey failed : SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\") +
                                 kMonitorName + " (",
                             0),
              0u)
        << lines[3];
    EXPECT_EQ(lines[4], "DeleteLanguageMonitor END");
    EXPECT_TRUE(run.progress.reports.empty());
}

TEST(DeleteLanguageMonitor, RefusedMonitorKeyIsDeletedInThe64BitView) {
    RemoverRun run("7", true, Variant::Uninstaller);
    run.machine->CreateKey(kMonitorsKey);
    run.sys->Faults().Fail("Spooler.DeleteMonitor", err::kPrintMonitorInUse);

    run.remover.DeleteLanguageMonitor();

    EXPECT_FALSE(run.machine->KeyExists(kMonitorsKey));
    EXPECT_EQ(run.CallCount("Registry.RegDeleteKeyEx"), 1u);
    std::vector<std::string> lines = run.LogLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[1], "DeleteMonitor Error : (3008)");
    EXPECT_EQ(std::count(lines.begin(), lines.end(),
                         "The specified print monitor is unknown or not installed on this system."),
              0);
}

// Where the monitor DLL is looked for, as the program names the places
// (relative to the Windows directory, "" for the directory itself), and
// which of the copies in the native system32, SysWOW64 and the Windows
// directory stay.
TEST(DeleteLanguageMonitor, MonitorDllIsDeletedWhereverTheProgramCanReachIt) {
    struct Case {
        const char* preset;
        bool is64;
        std::vector<std::string> attempts;
        std::vector<std::string> kept;  // native paths, relative to the Windows directory
    };
    const Case cases[] = {
        // 32-bit Windows: the system directory only.
        {"xp", false, {"system32"}, {""}},
        {"7", false, {"system32"}, {""}},
        // XP x64: the redirected system32 (SysWOW64), SysWOW64 itself and the
        // Windows directory, where the installer puts the monitor there. The
        // native system32 has no alias before Vista, so a copy there stays.
        {"xp64", true, {"system32", "SysWOW64", ""}, {"system32"}},
        // Vista and later: also the native system32, through Sysnative,
        // where Windows' own printer installation puts the monitor.
        {"vista", true, {"system32", "SysWOW64", "", "Sysnative"}, {}},
        {"7", true, {"system32", "SysWOW64", "", "Sysnative"}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.preset) + (c.is64 ? " x64" : ""));
        auto path = [](const std::string& windir, const std::string& dir) {
            return windir + (dir.empty() ? "" : "\\" + dir) + "\\ZPMON40.dll";
        };
        {
            // Nothing there: every attempt fails and is logged on its own.
            RemoverRun run(c.preset, c.is64, Variant::Uninstaller);
            run.machine->AddMonitorRecord({kMonitorName, run.NativeEnvironment(), "ZPMON40.dll"});

            run.remover.DeleteLanguageMonitor();

            std::vector<std::string> expected{"DeleteLanguageMonitor BEGIN"};
            for (const std::string& dir : c.attempts)
                expected.push_back("DeleteFile Error : " + path(run.WindowsDirectory(), dir) + " , (2)");
            expected.push_back("DeleteLanguageMonitor END");
            EXPECT_EQ(run.LogLines(), expected);
        }
        {
            // A copy in every place.
            RemoverRun run(c.preset, c.is64, Variant::Uninstaller);
            std::vector<std::string> places{"system32", ""};
            if (c.is64) places.push_back("SysWOW64");
            for (const std::string& dir : places) run.machine->WriteFile(path(run.WindowsDirectory(), dir), "MZ");
            run.machine->AddMonitorRecord({kMonitorName, run.NativeEnvironment(), "ZPMON40.dll"});

            run.remover.DeleteLanguageMonitor();

            EXPECT_FALSE(run.HasMonitor(kMonitorName));
            for (const std::string& dir : places) {
                const bool kept = std::find(c.kept.begin(), c.kept.end(), dir) != c.kept.end();
                EXPECT_EQ(run.machine->FileExists(path(run.WindowsDirectory(), dir)), kept) << "'" << dir << "'";
            }
        }
    }
}

TEST(DeleteLanguageMonitor, Wow64WithoutGetSystemWow64DirectorySkipsThatLocation) {
    RemoverRun run("7", true, Variant::Uninstaller);
    run.machine->AddMonitorRecord({kMonitorName, "Windows x64", "ZPMON40.dll"});
    sim::OsInfo os = run.machine->Os();
    os.hasGetSystemWow64Directory = false;
    run.machine->SetOs(os);
    const std::string windowsDir = run.WindowsDirectory();
    run.machine->WriteFile(windowsDir + "\\ZPMON40.dll", "MZ");

    run.remover.DeleteLanguageMonitor();

    EXPECT_FALSE(run.machine->FileExists(windowsDir + "\\ZPMON40.dll"));
    EXPECT_EQ(run.LogLines(), (std::vector<std::string>{
                                  "DeleteLanguageMonitor BEGIN",
                                  "DeleteFile Error : " + windowsDir + "\\system32\\ZPMON40.dll , (2)",
                                  "DeleteFile Error : " + windowsDir + "\\Sysnative\\ZPMON40.dll , (2)",
                                  "DeleteLanguageMonitor END",
                              }));
}

TEST(DeleteProcessor, RefusedProcessorKeyIsDeletedByTheWow64Flag) {
    struct Case {
        const char* preset;
        bool is64;
        const char* environment;
        const char* deleteCall;
    } cases[] = {{"7", true, "Windows x64", "Spooler.DeletePrintProcessorFor"},
                 {"xp", false, "Windows NT x86", "Spooler.DeletePrintProcessor"}};
    for (const Case& c : cases) {
        RemoverRun run(c.preset, c.is64, Variant::Uninstaller);
        const std::string key = std::string("HKLM\\SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\") +
                                c.environment + "\\Print Processors\\" + kProcessorName;
        run.machine->CreateKey(key);
        const std::string dll = run.ProcessorDirectory() + "\\ZPPRO40.dll";
        run.machine->WriteFile(dll, "MZ");
        run.sys->Faults().Fail(c.deleteCall, err::kAccessDenied);

        run.remover.DeleteProcessor();

        EXPECT_FALSE(run.machine->KeyExists(key)) << c.preset;
        EXPECT_FALSE(run.machine->FileExists(dll)) << c.preset;
        EXPECT_EQ(run.LogLines(), (std::vector<std::string>{"DeleteProcessor BEGIN", "DeleteMonitor Error : (5)",
                                                             "DeleteProcessor END"}))
            << c.preset;
        EXPECT_EQ(run.progress.reports, std::vector<std::string>{"none Deleting the processor..."});
    }
}

TEST(DeleteProcessor, InstallerCopyMakesNoDeletionOfTheDirectoryItself) {
    RemoverRun run("xp", false, Variant::InstallerDialog);
    run.machine->AddProcessorRecord({kProcessorName, "Windows NT x86", "ZPPRO40.dll"});
    const std::string dir = run.ProcessorDirectory();
    run.machine->WriteFile(dir + "\\ZPPRO40.dll", "MZ");

    std::size_t deletions = run.CallCount("FileSystem.DeleteFile");

    run.remover.DeleteProcessor();

    EXPECT_FALSE(run.HasProcessor(kProcessorName));
    EXPECT_FALSE(run.machine->FileExists(dir + "\\ZPPRO40.dll"));
    EXPECT_TRUE(run.machine->DirectoryExists(dir));
    EXPECT_EQ(run.CallCount("FileSystem.DeleteFile"), deletions + 1);
    EXPECT_EQ(run.LogLines(), (std::vector<std::string>{"DeleteProcessor BEGIN", "DeleteProcessor END"}));
    EXPECT_TRUE(run.progress.reports.empty());
}

// A spooler that says it deleted the processor and still lists it (as
// Wine's does) has not deleted it: the removal takes its key as when the
// spooler refuses, and the processor is gone after the spooler's restart.
class ProcessorDeletionThatDoesNothing final : public SpoolerOverlay {
public:
    using SpoolerOverlay::SpoolerOverlay;
    Status DeletePrintProcessor(const std::string&) override { return Status::Ok(); }
    Status DeletePrintProcessorFor(const std::string&, const std::string&) override { return Status::Ok(); }
};

TEST(DeleteProcessor, ProcessorStillListedAfterItsDeletionLosesItsKey) {
    for (bool is64 : {false, true}) {
        RemoverRun run("7", is64, Variant::Uninstaller);
        const std::string env = run.NativeEnvironment();
        run.machine->WriteFile(run.ProcessorDirectory() + "\\ZPPRO40.dll", "MZ");
        run.machine->AddProcessorRecord({kProcessorName, env, "ZPPRO40.dll"});
        ProcessorDeletionThatDoesNothing spooler(run.platform->spooler);
        Platform platform = WithSpooler(*run.platform, spooler);
        DriverRemover remover(platform, *run.log, Variant::Uninstaller, &run.progress);
        remover.SetSystemInfo(is64, kOsWin7);

        remover.DeleteProcessor();

        EXPECT_FALSE(run.machine->KeyExists("HKLM\\SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\" +
                                            env + "\\Print Processors\\" + kProcessorName))
            << env;
        std::vector<std::string> lines = run.LogLines();
        EXPECT_NE(std::find(lines.begin(), lines.end(), "The print processor is still listed after its deletion."),
                  lines.end())
            << env;
        run.machine->Reboot();
        EXPECT_FALSE(run.HasProcessor(kProcessorName)) << env;
    }
}

}  // namespace
}  // namespace zmp::test
