// Version records, WOW64, messages, the clock, the restart, the process's
// end, the call record and the failure switches.
#include <thread>

#include "tests/simulator/SimFixture.h"

namespace zmp::sim::test {
namespace {

TEST(SimSystem, VersionRecordOfEveryPreset) {
    struct Case {
        const char* preset;
        bool is64;
        Dword platform, major, minor, build, product;
        bool hasIsWow64, wow64;
    } cases[] = {
        {"95", false, 1, 4, 0, 0x040003B6, 0, false, false},
        {"98", false, 1, 4, 10, 0x040A07CE, 0, false, false},
        {"me", false, 1, 4, 90, 0x045A0BB8, 0, false, false},
        {"nt4", false, 2, 4, 0, 1381, 1, false, false},
        {"2000", false, 2, 5, 0, 2195, 1, false, false},
        {"xp", false, 2, 5, 1, 2600, 1, true, false},
        {"2003", false, 2, 5, 2, 3790, 3, true, false},
        {"xp64", true, 2, 5, 2, 3790, 1, true, true},
        {"vista", true, 2, 6, 0, 6002, 1, true, true},
        {"2008", false, 2, 6, 0, 6002, 3, true, false},
        {"2008r2", true, 2, 6, 1, 7601, 3, true, true},
        {"7", true, 2, 6, 1, 7601, 1, true, true},
        {"10", false, 2, 6, 2, 9200, 1, true, false},
    };
    for (const Case& c : cases) {
        Sim sim(c.preset, c.is64);
        ASSERT_TRUE(sim.machine) << c.preset;
        OsVersionInfo info;
        info.size = sys::kOsVersionInfoSize;
        ASSERT_TRUE(sim.sys.system.GetVersionEx(info).ok()) << c.preset;
        EXPECT_EQ(info.platformId, c.platform) << c.preset;
        EXPECT_EQ(info.majorVersion, c.major) << c.preset;
        EXPECT_EQ(info.minorVersion, c.minor) << c.preset;
        EXPECT_EQ(info.buildNumber, c.build) << c.preset;
        info = OsVersionInfo();
        sim.Magic();
        Status ex = sim.sys.system.GetVersionEx(info);
        if (c.platform == 1) {
            EXPECT_EQ(ex.code, err::kInsufficientBuffer) << c.preset;  // 9x knows no OSVERSIONINFOEX
        } else {
            ASSERT_TRUE(ex.ok()) << c.preset;
            EXPECT_EQ(info.productType, c.product) << c.preset;
        }
        sim.Magic();
        EXPECT_EQ(sim.sys.system.HasIsWow64Process(), c.hasIsWow64) << c.preset;
        if (c.hasIsWow64) {
            bool wow64 = !c.wow64;
            ASSERT_TRUE(sim.sys.system.IsWow64Process(wow64).ok());
            EXPECT_EQ(wow64, c.wow64) << c.preset;
        } else {
            EXPECT_EQ(sim.LastError(), err::kProcNotFound) << c.preset;
        }
    }
    EXPECT_EQ(Machine::Preset("xp", true), nullptr);  // no 64-bit XP but XP x64
    EXPECT_EQ(Machine::Preset("11"), nullptr);
}

TEST(SimSystem, FormatMessageGivesTheEnglishTexts) {
    Sim sim;
    SystemInfo& s = sim.sys.system;
    EXPECT_EQ(s.FormatSystemMessage(5, sys::kLangEnglishUs), "Access is denied.\r\n");
    EXPECT_EQ(s.FormatSystemMessage(1797, sys::kLangEnglishUs), "The printer driver is unknown.\r\n");
    EXPECT_EQ(s.FormatSystemMessage(3006, 0), "The specified print monitor has already been installed.\r\n");
    EXPECT_EQ(s.FormatSystemMessage(0xE0000999, sys::kLangEnglishUs), "");
}

TEST(SimSystem, LastErrorBelongsToTheThread) {
    Sim sim;
    sim.sys.system.SetLastError(5);
    Dword other = 0;
    std::thread t([&] {
        sim.sys.system.SetLastError(32);
        other = sim.sys.system.GetLastError();
    });
    t.join();
    EXPECT_EQ(other, 32u);
    EXPECT_EQ(sim.sys.system.GetLastError(), 5u);
}

TEST(SimSystem, SleepIsRecordedAdvancesTheClockAndRunsTheHook) {
    Sim sim;
    sim.machine->SetTime({2024, 12, 31, 23, 59, 59, 500});
    int hooks = 0;
    sim.sys.SetSleepHook([&] { ++hooks; });
    sim.sys.clock.Sleep(2000);
    LocalTime t = sim.sys.clock.GetLocalTime();
    EXPECT_EQ(t.year, 2025u);
    EXPECT_EQ(t.month, 1u);
    EXPECT_EQ(t.day, 1u);
    EXPECT_EQ(t.hour, 0u);
    EXPECT_EQ(t.second, 1u);
    EXPECT_EQ(t.milliseconds, 500u);
    EXPECT_EQ(hooks, 1);
    EXPECT_EQ(sim.events.Lines(), (std::vector<std::string>{"SLEEP 2000"}));
}

TEST(SimSystem, RestartNeedsTheShutdownPrivilege) {
    for (bool held : {true, false}) {
        Sim sim;
        sim.machine->ModelSwitches().shutdownPrivilege = held;
        Power& power = sim.sys.power;
        TokenHandle token;
        Luid luid;
        ASSERT_TRUE(power.OpenProcessToken(power::kTokenAdjustPrivileges | power::kTokenQuery, token).ok());
        ASSERT_TRUE(power.LookupPrivilegeValue("SeShutdownPrivilege", luid).ok());
        sim.Magic();
        EXPECT_TRUE(power.AdjustTokenPrivileges(token, luid, power::kSePrivilegeEnabled).ok());
        EXPECT_EQ(sim.LastError(), held ? err::kSuccess : err::kNotAllAssigned);
        EXPECT_EQ(power.ExitWindowsEx(power::kEwxReboot | power::kEwxForce, 0).ok(), held);
        EXPECT_EQ(sim.machine->RestartsRequested(), held ? 1u : 0u);
        EXPECT_EQ(sim.events.Lines(), held ? std::vector<std::string>{"RESTART"} : std::vector<std::string>{});
    }
}

// The token's access and the flags are what decide: adjusting needs
// TOKEN_ADJUST_PRIVILEGES, and only EWX_REBOOT restarts. Every request is
// recorded with the access of the token that enabled the privilege.
TEST(SimSystem, ShutdownRequestsRecordFlagsAndTokenAccess) {
    struct Case {
        const char* what;
        Dword access, flags;
        bool adjusted, restarted;
    } cases[] = {
        {"reboot, forced", 0x28, power::kEwxReboot | power::kEwxForce, true, true},
        {"reboot", 0x28, power::kEwxReboot, true, true},
        {"shut down", 0x28, 0x1, true, false},
        {"no adjust right", power::kTokenQuery, power::kEwxReboot | power::kEwxForce, false, false},
    };
    for (const Case& c : cases) {
        Sim sim;
        Power& power = sim.sys.power;
        TokenHandle token;
        Luid luid;
        ASSERT_TRUE(power.OpenProcessToken(c.access, token).ok());
        ASSERT_TRUE(power.LookupPrivilegeValue("SeShutdownPrivilege", luid).ok());
        Status adjusted = power.AdjustTokenPrivileges(token, luid, power::kSePrivilegeEnabled);
        EXPECT_EQ(adjusted.ok(), c.adjusted) << c.what;
        if (!c.adjusted) {
            EXPECT_EQ(adjusted.code, err::kAccessDenied) << c.what;
        }
        power.ExitWindowsEx(c.flags, 0);
        EXPECT_EQ(sim.machine->RestartsRequested(), c.restarted ? 1u : 0u) << c.what;
        const std::vector<ShutdownRequest> requests = sim.machine->ShutdownRequests();
        ASSERT_EQ(requests.size(), 1u) << c.what;
        EXPECT_EQ(requests[0].flags, c.flags) << c.what;
        EXPECT_EQ(requests[0].tokenAccess, c.adjusted ? c.access : 0u) << c.what;
        EXPECT_EQ(requests[0].accepted, c.adjusted) << c.what;
    }
}

TEST(SimSystem, ExitEndsTheProcessForEveryLaterCall) {
    Sim sim;
    try {
        sim.sys.processes.ExitProcess(-1);
        FAIL() << "ExitProcess returned";
    } catch (const ProcessExit& e) {
        EXPECT_EQ(e.code, -1);
    }
    EXPECT_TRUE(sim.sys.Exited());
    std::thread worker([&] {
        try {
            std::vector<PrinterInfo2> printers;
            sim.sys.spooler.EnumPrinters(spool::kPrinterEnumLocal, printers);
            ADD_FAILURE() << "a call after exit returned";
        } catch (const ProcessExit& e) {
            EXPECT_EQ(e.code, -1);
        }
    });
    worker.join();
    EXPECT_EQ(sim.events.Lines(), (std::vector<std::string>{"EXIT -1"}));
}

TEST(SimSystem, TwoThreadsOfOneProcessShareTheMachine) {
    // The programs' dialog thread and worker call the seam at the same time.
    Sim sim("7", true);
    sim.machine->MakeDirectory("C:\\Temp");
    auto worker = [&](const std::string& name) {
        for (int i = 0; i < 300; ++i) {
            FileHandle h;
            if (sim.sys.files.OpenForAppend("C:\\Temp\\" + name, h).ok()) {
                sim.sys.files.WriteFile(h, "x", 1);
                sim.sys.files.CloseFile(h);
            }
            std::vector<PrinterInfo2> printers;
            sim.sys.spooler.EnumPrinters(spool::kPrinterEnumLocal, printers);
            RegKey key;
            if (sim.sys.registry.CreateKey(sim.sys.registry.Root(RegRoot::LocalMachine), "SOFTWARE\\" + name, 0,
                                           reg::kKeyWrite, key) == 0)
                sim.sys.registry.CloseKey(key);
            sim.sys.clock.Sleep(1);
            if (i % 50 == 0) sim.sys.processes.WinExec(i % 100 ? "net stop spooler" : "net start spooler", 0);
        }
    };
    std::thread a(worker, "a.txt"), b(worker, "b.txt");
    a.join();
    b.join();
    EXPECT_EQ(sim.machine->ReadFile("C:\\Temp\\a.txt")->size(), 300u);
    EXPECT_EQ(sim.machine->ReadFile("C:\\Temp\\b.txt")->size(), 300u);
    EXPECT_EQ(sim.machine->Now().milliseconds, 600u);  // 600 sleeps of 1 ms on top of 09:30:00.000
}

TEST(SimSystem, FaultSwitchesFailTheChosenCallWithTheChosenCode) {
    Sim sim;
    sim.sys.Faults().Fail("Spooler.EnumPrinters", err::kAccessDenied, 2);
    sim.sys.Faults().Fail("Registry.OpenKey", err::kAccessDenied);
    sim.sys.Faults().Fail("FileSystem.GetWindowsDirectory", err::kNotEnoughMemory);
    std::vector<PrinterInfo2> printers;
    EXPECT_TRUE(sim.sys.spooler.EnumPrinters(spool::kPrinterEnumLocal, printers).ok());
    sim.Magic();
    EXPECT_EQ(sim.sys.spooler.EnumPrinters(spool::kPrinterEnumLocal, printers).code, err::kAccessDenied);
    EXPECT_EQ(sim.LastError(), err::kAccessDenied);
    EXPECT_TRUE(sim.sys.spooler.EnumPrinters(spool::kPrinterEnumLocal, printers).ok());

    RegKey key;
    sim.Magic();
    EXPECT_EQ(sim.sys.registry.OpenKey(sim.sys.registry.Root(RegRoot::LocalMachine), "SOFTWARE", reg::kKeyRead, key),
              err::kAccessDenied);
    EXPECT_EQ(sim.LastError(), kMagic);  // a registry call's failure stays in its status

    std::string dir = "x";
    EXPECT_EQ(sim.sys.files.GetWindowsDirectory(dir, 256), 0u);
    EXPECT_EQ(dir, "");
    EXPECT_EQ(sim.LastError(), err::kNotEnoughMemory);

    std::vector<std::string> calls = sim.sys.Calls();
    EXPECT_EQ(calls, (std::vector<std::string>{"Spooler.EnumPrinters", "Spooler.EnumPrinters", "Spooler.EnumPrinters",
                                               "Registry.Root", "Registry.OpenKey", "FileSystem.GetWindowsDirectory"}));
    auto sites = FaultSwitches::CallSites(calls);
    ASSERT_EQ(sites.size(), calls.size());
    EXPECT_EQ(sites[2], (std::pair<std::string, unsigned>{"Spooler.EnumPrinters", 3}));
    EXPECT_EQ(sites[4], (std::pair<std::string, unsigned>{"Registry.OpenKey", 1}));
}

}  // namespace
}  // namespace zmp::sim::test
