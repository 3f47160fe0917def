// Both programs run elevated from folders an ordinary user can write to:
// the installer from the package's download folder, the uninstaller from
// the utilities folder. A program or DLL of Windows' put there must never
// be what runs or loads: every one comes from the system directory.
#include <gtest/gtest.h>

#include "simulator/headless/Runner.h"
#include "tests/install/InstallFixture.h"

namespace zmp::test {
namespace {

const char* const kPlanted[] = {"cmd.exe", "net.exe", "rundll32.exe", "printui.dll", "winspool.drv",
                                "setupapi.dll", "comctl32.dll", "shlwapi.dll"};

void Plant(sim::Machine& machine, const std::string& folder) {
    for (const char* name : kPlanted) machine.WriteFile(folder + "\\" + name, std::string("MZ planted ") + name);
}

std::string Folder(const std::string& path) { return path.substr(0, path.rfind('\\')); }

// What ran or loaded from anywhere but a system directory.
std::vector<std::string> NotFromTheSystem(const sim::Machine& machine) {
    std::vector<std::string> out;
    for (const std::string& image : machine.LoadedImages()) {
        const std::string folder = Folder(image);
        if (!sim::IEquals(folder, machine.SystemDirectory()) && !sim::IEquals(folder, machine.SysWow64Directory()))
            out.push_back(image);
    }
    return out;
}

bool Loaded(const sim::Machine& machine, const std::string& path) {
    for (const std::string& image : machine.LoadedImages())
        if (sim::IEquals(image, path)) return true;
    return false;
}

TEST(PlantedFiles, NeverRunNorLoadedByTheInstallerOrTheUninstaller) {
    struct Case {
        const char* preset;
        bool is64;
        int radio;
        bool child;  // Vista and later: the PrintUIEntry child
    } cases[] = {
        {"7", true, kRadioUsb, true},
        {"7", false, kRadioCom1, true},
        {"10", true, kRadioCom2, true},
        {"xp", false, kRadioCom2, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.preset) + (c.is64 ? " x64" : ""));
        auto machine = NewMachine(c.preset, c.is64);
        Plant(*machine, kPackage);
        // The 32-bit programs' own system directory.
        const std::string system = c.is64 ? machine->SysWow64Directory() : machine->SystemDirectory();

        RunResult install = RunInstaller(*machine, ChoosePort(c.radio));
        EXPECT_EQ(install.exitCode, 0);
        EXPECT_EQ(NotFromTheSystem(*machine), std::vector<std::string>{});
        for (const char* library : {"winspool.drv", "setupapi.dll", "comctl32.dll", "shlwapi.dll"})
            EXPECT_TRUE(Loaded(*machine, system + "\\" + library)) << library;
        EXPECT_TRUE(Loaded(*machine, system + "\\net.exe"));
        if (c.child) {
            ASSERT_EQ(install.children.size(), 1u);
            EXPECT_TRUE(sim::IEquals(install.children[0].image, system + "\\rundll32.exe"));
            EXPECT_TRUE(Loaded(*machine, system + "\\printui.dll"));
            EXPECT_TRUE(machine->FindDriver(kPrinter, machine->Os().NativeEnvironment()));
        }

        // The uninstaller, from its folder, with the same files beside it.
        const std::string utilities = machine->WindowsDirectory() + "\\ZMP-K40";
        Plant(*machine, utilities);
        sim::Events events;
        sim::RunOptions run;
        run.program = resources::Program::Uninstaller;
        run.currentDirectory = utilities;
        run.arguments = "/quiet";
        EXPECT_EQ(sim::RunProgram(*machine, std::move(run), events), 3010);  // done, the restart left to the user
        EXPECT_EQ(NotFromTheSystem(*machine), std::vector<std::string>{});
        EXPECT_FALSE(machine->FindDriver(kPrinter, machine->Os().NativeEnvironment()));
    }
}

}  // namespace
}  // namespace zmp::test
