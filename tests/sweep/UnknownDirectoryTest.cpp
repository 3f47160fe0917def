// When Windows cannot name its own directories, the installer must not fall
// back to the root of the current drive: nothing is copied there, the
// uninstall entry gets no relative path, and the log says what failed. Without
// the system directory the programs do not start at all: no Windows library
// can be loaded from it, and the message box says so.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/sweep/SweepFixture.h"

namespace zmp::sweep {
namespace {

const Scenario& Named(const std::string& name) {
    static const std::vector<Scenario> all = Scenarios();
    auto it = std::find_if(all.begin(), all.end(), [&](const Scenario& s) { return s.name == name; });
    if (it == all.end()) throw std::runtime_error("no scenario " + name);
    return *it;
}

std::vector<std::string> NewEntries(std::vector<std::string> before, std::vector<std::string> after) {
    std::sort(before.begin(), before.end());
    std::sort(after.begin(), after.end());
    std::vector<std::string> out;
    std::set_difference(after.begin(), after.end(), before.begin(), before.end(), std::back_inserter(out));
    return out;
}

TEST(UnknownDirectory, NothingLandsInTheDriveRootAndTheFailureIsLogged) {
    struct Case {
        const char* scenario;
        const char* method;
        const char* told;  // in the log or a message box
    };
    const Case cases[] = {
        {"installer, Windows XP, COM2", "FileSystem.GetWindowsDirectory", "GetWindowsDirectory failed. (8)"},
        {"installer, Windows XP, COM2", "FileSystem.GetSystemDirectory", "The system directory could not be found. (8)"},
        {"installer, Windows 7 x64, USB", "FileSystem.GetWindowsDirectory", "GetWindowsDirectory failed. (8)"},
        {"installer, Windows 7 x64, USB", "FileSystem.GetSystemDirectory",
         "The system directory could not be found. (8)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.scenario) + ", " + c.method);
        const Scenario& scenario = Named(c.scenario);
        auto machine = scenario.make();
        const std::vector<std::string> rootBefore = machine->ListDirectory("C:\\");

        RunRecord run = RunOnce(scenario, *machine, [&](sim::SimSystem& system) {
            system.Faults().Fail(c.method, err::kNotEnoughMemory);  // every call
        });

        // The log itself goes to "\Temp" of the current drive then, which is
        // the Windows drive here: the only thing the root may gain.
        std::vector<std::string> added = NewEntries(rootBefore, machine->ListDirectory("C:\\"));
        added.erase(std::remove(added.begin(), added.end(), "Temp"), added.end());
        EXPECT_EQ(added, std::vector<std::string>{});
        const bool told = std::find(run.log.begin(), run.log.end(), c.told) != run.log.end() ||
                          std::find(run.boxes.begin(), run.boxes.end(), c.told) != run.boxes.end();
        EXPECT_TRUE(told);
        // An uninstall entry that points nowhere is worse than none.
        auto uninstall = machine->GetString(kUninstallKey, "UninstallString");
        if (uninstall) {
            EXPECT_EQ(uninstall->find(":\\"), 1u) << *uninstall;
        }
    }
}

}  // namespace
}  // namespace zmp::sweep
