#include <gtest/gtest.h>

#include <algorithm>

#include "support/Restart.h"
#include "support/SpoolerService.h"
#include "tests/common/Commands.h"
#include "tests/support/SimFixture.h"

namespace zmp::test {
namespace {

using resources::Program;

// What the restart asks of Windows: a reboot, forced, so that no program
// holds it up; the privilege enabled through a token opened to adjust
// privileges and to query.
TEST(RestartComputer, WithThePrivilegeWindowsIsRestarted) {
    SimRun run("7", true, Program::Uninstaller);
    EXPECT_TRUE(RestartComputer(*run.platform));
    EXPECT_EQ(run.machine->RestartsRequested(), 1u);
    EXPECT_EQ(run.Events(), std::vector<std::string>{"RESTART"});
    const std::vector<sim::ShutdownRequest> requests = run.machine->ShutdownRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].flags, power::kEwxReboot | power::kEwxForce);
    EXPECT_EQ(requests[0].reason, 0u);
    EXPECT_EQ(requests[0].tokenAccess, power::kTokenAdjustPrivileges | power::kTokenQuery);
    EXPECT_TRUE(requests[0].accepted);
}

TEST(RestartComputer, NothingIsRestartedWhenThePrivilegeCannotBeHad) {
    struct Case {
        const char* name;
        const char* method;  // a failing call, or none
        bool privilege;
        std::size_t restartCalls;  // only with the privilege enabled is Windows asked
    } cases[] = {
        {"privilege not held", nullptr, false, 0},
        {"token not opened", "Power.OpenProcessToken", true, 0},
        {"adjust fails", "Power.AdjustTokenPrivileges", true, 0},
        {"restart refused", "Power.ExitWindowsEx", true, 1},
    };
    for (const Case& c : cases) {
        SimRun run("xp", false, Program::Installer);
        run.machine->ModelSwitches().shutdownPrivilege = c.privilege;
        if (c.method) run.sys->Faults().Fail(c.method, err::kAccessDenied);

        EXPECT_FALSE(RestartComputer(*run.platform)) << c.name;
        EXPECT_EQ(run.CallCount("Power.ExitWindowsEx"), c.restartCalls) << c.name;
        EXPECT_EQ(run.machine->RestartsRequested(), 0u) << c.name;
        EXPECT_TRUE(run.Events().empty()) << c.name;
        EXPECT_TRUE(run.LogLines().empty()) << c.name;
    }
}

TEST(SpoolerService, RestartIsStopStartWithTheirPauses) {
    SimRun run("xp", false, Program::Installer);
    RestartSpooler(*run.platform);
    EXPECT_EQ(run.Events(), (std::vector<std::string>{test::NetEvent("stop", "C:\\WINDOWS\\system32"), "SLEEP 2000",
                                                       test::NetEvent("start", "C:\\WINDOWS\\system32"), "SLEEP 2000"}));
    EXPECT_TRUE(run.machine->SpoolerRunning());
}

// A spooler slower than the pauses: each command is waited for, in steps of
// 500 ms, so the next one meets the service it expects and the spooler runs
// again at the end.
TEST(SpoolerService, ASlowSpoolerIsWaitedForAfterThePause) {
    SimRun run("7", true, Program::Uninstaller);
    run.machine->ModelSwitches().spoolerStopMs = 5000;
    run.machine->ModelSwitches().spoolerStartMs = 3100;
    RestartSpooler(*run.platform);
    std::vector<std::string> expected{test::NetEvent("stop"), "SLEEP 2000"};
    expected.insert(expected.end(), 6, "SLEEP 500");
    expected.insert(expected.end(), {test::NetEvent("start"), "SLEEP 2000", "SLEEP 500", "SLEEP 500", "SLEEP 500"});
    EXPECT_EQ(run.Events(), expected);
    EXPECT_TRUE(run.machine->SpoolerRunning());
}

TEST(SpoolerService, TheWaitEndsWhenItCannotBeToldOrLastsTooLong) {
    struct Case {
        const char* what;
        const char* preset;
        const char* fault;       // a failing call, or none
        Dword stopMs;
        Dword code;
        size_t polls;            // SLEEP 500 after the pause
    } cases[] = {
        {"no Service Control Manager on 9x", "98", nullptr, 1000, 120, 0},
        {"state not readable", "xp", "Services.QueryServiceStatus", 5000, err::kAccessDenied, 0},
        {"net.exe not started", "xp", "Processes.WinExec", 5000, err::kFileNotFound, 0},
        {"a stop that never ends within 30 s", "xp", nullptr, 60000, 1053, 60},
    };
    for (const Case& c : cases) {
        SimRun run(c.preset, false, Program::Uninstaller);
        run.machine->ModelSwitches().spoolerStopMs = c.stopMs;
        if (c.fault) run.sys->Faults().Fail(c.fault, c.code);
        EXPECT_EQ(StopSpooler(*run.platform, 1500).code, c.code) << c.what;
        std::vector<std::string> events = run.Events();
        EXPECT_EQ(std::count(events.begin(), events.end(), "SLEEP 1500"), 1) << c.what;
        EXPECT_EQ(static_cast<size_t>(std::count(events.begin(), events.end(), "SLEEP 500")), c.polls) << c.what;
    }
}

}  // namespace
}  // namespace zmp::test
