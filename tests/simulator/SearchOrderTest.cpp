// Where Windows finds a program or a DLL named without its path: the
// program's own folder first, which is why the programs name every one by
// its full path.
#include "tests/simulator/SimFixture.h"

namespace zmp::sim::test {
namespace {

constexpr const char* kProgramDir = "C:\\Package";
constexpr const char* kCurrentDir = "C:\\Work";

Sim InPackage(const std::string& preset = "7", bool is64 = false) {
    return Sim(preset, is64, ProcessOptions{std::string(kProgramDir) + "\\ZMPK40_Installer.exe", false, kCurrentDir});
}

std::string Last(const Machine& m) { return m.LoadedImages().empty() ? "" : m.LoadedImages().back(); }

TEST(SearchOrder, ProgramsNamedBareAreLookedForInTheProgramsFolderFirst) {
    struct Case {
        const char* what;
        std::vector<std::string> planted;  // folders holding a net.exe of their own
        std::string runs;
        bool spoolerStops;
    } cases[] = {
        {"only Windows' own", {}, "C:\\Windows\\system32\\net.exe", true},
        {"one in the program's folder", {kProgramDir}, "C:\\Package\\net.exe", false},
        {"one in the current directory", {kCurrentDir}, "C:\\Work\\net.exe", false},
        {"both: the program's folder wins", {kCurrentDir, kProgramDir}, "C:\\Package\\net.exe", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Sim sim = InPackage();
        sim.machine->MakeDirectory(kCurrentDir);
        for (const std::string& folder : c.planted) sim.machine->WriteFile(folder + "\\net.exe", "MZ planted");
        EXPECT_GT(sim.sys.processes.WinExec("net stop spooler", proc::kSwHide), 31u);
        EXPECT_EQ(Last(*sim.machine), c.runs);
        // A planted program does whatever it does; the model's does nothing.
        EXPECT_EQ(sim.machine->SpoolerServiceState() != svc::kRunning, c.spoolerStops);
    }
}

TEST(SearchOrder, AFullPathOrAnApplicationNameIsNeverSearched) {
    Sim sim = InPackage("7", true);
    sim.machine->WriteFile("C:\\Package\\net.exe", "MZ planted");
    sim.machine->WriteFile("C:\\Package\\rundll32.exe", "MZ planted");
    EXPECT_GT(sim.sys.processes.WinExec("\"C:\\Windows\\system32\\net.exe\" stop spooler", proc::kSwHide), 31u);
    // A 32-bit process on 64-bit Windows: system32 is SysWOW64 to it.
    EXPECT_EQ(Last(*sim.machine), "C:\\Windows\\SysWOW64\\net.exe");

    ProcessInformation child;
    ASSERT_TRUE(sim.sys.processes
                    .CreateProcess("C:\\Windows\\system32\\rundll32.exe", "rundll32.exe x.dll,Entry", 0,
                                   "C:\\Windows\\system32", StartupInfo(), child)
                    .ok());
    EXPECT_EQ(sim.sys.processes.Children().at(0).image, "C:\\Windows\\SysWOW64\\rundll32.exe");
    // A program that is not there is not started, whatever has its name elsewhere.
    EXPECT_EQ(sim.sys.processes
                  .CreateProcess("C:\\Windows\\system32\\nothing.exe", "nothing.exe", 0, "", StartupInfo(), child)
                  .code,
              err::kFileNotFound);
    // Nor in a current directory that does not exist.
    EXPECT_EQ(sim.sys.processes
                  .CreateProcess("C:\\Windows\\system32\\rundll32.exe", "rundll32.exe", 0, "C:\\Nowhere",
                                 StartupInfo(), child)
                  .code,
              267u);
}

TEST(SearchOrder, TheChildsCmdAndRundll32SearchTheirWayToo) {
    // cmd looks in its current directory first; rundll32 loads the DLL as
    // LoadLibrary does, from its own folder first.
    Sim sim = InPackage();
    sim.machine->WriteFile("C:\\Work\\RUNDLL32.exe", "MZ planted");
    ProcessInformation child;
    ASSERT_TRUE(sim.sys.processes
                    .CreateProcess("", "cmd /c RUNDLL32 printui.dll,PrintUIEntry /ia /m \"M\" /f x.inf", 0, kCurrentDir,
                                   StartupInfo(), child)
                    .ok());
    EXPECT_EQ(sim.machine->LoadedImages(),
              (std::vector<std::string>{"C:\\Windows\\system32\\cmd.exe", "C:\\Work\\RUNDLL32.exe"}));

    Sim other = InPackage();
    other.machine->WriteFile("C:\\Work\\printui.dll", "MZ planted");
    ASSERT_TRUE(other.sys.processes
                    .CreateProcess("C:\\Windows\\system32\\rundll32.exe",
                                   "rundll32.exe printui.dll,PrintUIEntry /ia /m \"M\" /f x.inf", 0, kCurrentDir,
                                   StartupInfo(), child)
                    .ok());
    EXPECT_EQ(other.machine->LoadedImages(),
              (std::vector<std::string>{"C:\\Windows\\system32\\rundll32.exe", "C:\\Windows\\system32\\printui.dll"}));
}

TEST(SearchOrder, LibrariesNamedBareFollowTheProcesssDllSearch) {
    struct Case {
        const char* what;
        const char* preset;
        const char* planted;  // folder with a winspool.drv of its own
        int restrict;         // 0 none, 1 SetDllDirectory(""), 2 SetDefaultDllDirectories
        Status result;
        const char* loads;
    } cases[] = {
        {"Windows' own", "7", nullptr, 0, Status::Ok(), "C:\\Windows\\system32\\winspool.drv"},
        {"the program's folder first", "7", kProgramDir, 0, Status::Ok(), "C:\\Package\\winspool.drv"},
        {"SetDllDirectory(\"\") keeps the program's folder", "7", kProgramDir, 1, Status::Ok(),
         "C:\\Package\\winspool.drv"},
        {"the current directory after the system's", "7", kCurrentDir, 0, Status::Ok(),
         "C:\\Windows\\system32\\winspool.drv"},
        {"SetDefaultDllDirectories: the system directory only", "10", kProgramDir, 2, Status::Ok(),
         "C:\\Windows\\system32\\winspool.drv"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Sim sim = InPackage(c.preset);
        if (c.planted) sim.machine->WriteFile(std::string(c.planted) + "\\winspool.drv", "MZ planted");
        if (c.restrict == 1) {
            ASSERT_TRUE(sim.sys.modules.SetDllDirectory("").ok());
        }
        if (c.restrict == 2) {
            ASSERT_TRUE(sim.sys.modules.SetDefaultDllDirectories(mod::kLoadLibrarySearchSystem32).ok());
        }
        EXPECT_EQ(sim.sys.modules.LoadLibrary("winspool.drv").code, c.result.code);
        EXPECT_EQ(Last(*sim.machine), c.loads);
    }
    // A KnownDLL comes from the system directory whatever lies elsewhere.
    Sim known = InPackage();
    known.machine->WriteFile("C:\\Package\\kernel32.dll", "MZ planted");
    ASSERT_TRUE(known.sys.modules.LoadLibrary("kernel32.dll").ok());
    EXPECT_EQ(Last(*known.machine), "C:\\Windows\\system32\\kernel32.dll");
    // Nothing of that name anywhere: ERROR_MOD_NOT_FOUND.
    EXPECT_EQ(known.sys.modules.LoadLibrary("C:\\Windows\\system32\\nothing.dll").code, err::kModNotFound);
    EXPECT_EQ(known.LastError(), err::kModNotFound);
}

TEST(SearchOrder, WhichReleasesOfferTheNarrowerSearch) {
    struct Case {
        const char* preset;
        bool defaultDirectories, dllDirectory;
    } cases[] = {
        {"2000", false, false}, {"xp", false, true}, {"7", false, true}, {"10", true, true},
    };
    for (const Case& c : cases) {
        Sim sim(c.preset);
        EXPECT_EQ(sim.sys.modules.HasSetDefaultDllDirectories(), c.defaultDirectories) << c.preset;
        EXPECT_EQ(sim.sys.modules.HasSetDllDirectory(), c.dllDirectory) << c.preset;
    }
}

}  // namespace
}  // namespace zmp::sim::test
