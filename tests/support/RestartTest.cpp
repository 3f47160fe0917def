#include <gtest/gtest.h>

#include "support/Restart.h"
#include "support/SpoolerService.h"
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
    EXPECT_EQ(run.Events(), (std::vector<std::string>{"EXEC net stop spooler", "SLEEP 2000",
                                                       "EXEC net start spooler", "SLEEP 2000"}));
}

}  // namespace
}  // namespace zmp::test
