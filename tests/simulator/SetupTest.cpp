// The Setup API model: the INF reader, oem INF files and device nodes.
#include "simulator/Inf.h"
#include "simulator/MachineState.h"
#include "tests/simulator/SimFixture.h"

namespace zmp::sim::test {
namespace {

TEST(SimInf, ReaderFindsSectionsAndKeysAsSetupApiDoes) {
    InfFile inf = InfFile::Parse(PackageInf());
    struct Case {
        const char* section;
        const char* key;
        bool found;
    } cases[] = {
        {"KORVANT", "KORVANT ZMP-K40", true},
        {"korvant.ntamd64", "korvant zmp-k40", true},
        {"KORVANT", "KORVANT ZMP-K4", false},
        {"KORVANT.NTx86", "KORVANT ZMP-K40", false},
        {"ZMPK40_DRIVER", "ZMP40.GPD", false},  // a keyless line has no key
    };
    for (const Case& c : cases) EXPECT_EQ(inf.Find(c.section, c.key) != nullptr, c.found) << c.section << "/" << c.key;
    const InfLine* monitor = inf.Find("ZMPK40_X86", "LanguageMonitor");
    ASSERT_TRUE(monitor);
    EXPECT_EQ(monitor->fields, (std::vector<std::string>{"KVT Language Monitor ZMP-K40", "ZPMON40.dll"}));
    const std::vector<InfLine>* files = inf.Section("ZMPK40_DRIVER");
    ASSERT_TRUE(files);
    EXPECT_EQ(files->back().fields, (std::vector<std::string>{"ZMP40.GPD"}));  // the comment is gone
    EXPECT_EQ(inf.Value("Version", "DriverVer"), "12/01/2026");
}

TEST(SimSetup, InfListOpenAndFindLine) {
    Sim sim("7", true);
    Machine& m = *sim.machine;
    std::string infDir = m.InfDirectory();
    m.WriteFile(infDir + "\\oem3.inf", PackageInf());
    m.WriteFile(infDir + "\\OEM9.inf", PackageInf());
    m.WriteFile(infDir + "\\oldstyle.inf", "[Strings]\r\nA=B\r\n");
    SetupApi& setup = sim.sys.setup;

    std::vector<std::string> names;
    ASSERT_TRUE(setup.GetInfFileList(setup::kInfStyleWin4, names).ok());
    EXPECT_EQ(names, (std::vector<std::string>{"ntprint.inf", "oem3.inf", "OEM9.inf", "usbprint.inf"}));

    InfHandle inf;
    ASSERT_TRUE(setup.OpenInfFile("oem3.inf", setup::kInfStyleOldNt | setup::kInfStyleWin4, inf).ok());
    struct Case {
        const char* section;
        const char* key;
        Dword lastError;
    } cases[] = {
        {"KORVANT.NTamd64", "KORVANT ZMP-K40", 0},
        {"KORVANT", "KORVANT ZMP-K40", 0},
        {"KORVANT.NTamd64", "Other Model", 0xE0000102},
        {"ACME", "KORVANT ZMP-K40", 0xE0000101},
    };
    for (const Case& c : cases) {
        sim.Magic();
        EXPECT_EQ(setup.FindFirstLine(inf, c.section, c.key), c.lastError == 0) << c.section << "/" << c.key;
        EXPECT_EQ(sim.LastError(), c.lastError) << c.section << "/" << c.key;
    }
    setup.CloseInfFile(inf);
    sim.Magic();
    EXPECT_EQ(setup.OpenInfFile("oem4.inf", setup::kInfStyleOldNt | setup::kInfStyleWin4, inf).code,
              err::kFileNotFound);
    EXPECT_EQ(sim.LastError(), err::kFileNotFound);
    EXPECT_EQ(inf, InfHandle::None);
}

TEST(SimSetup, CopyOemInfNewExistsAndReplace) {
    Sim sim("vista");
    Machine& m = *sim.machine;
    WritePackage(m);
    m.WriteFile(m.InfDirectory() + "\\oem0.inf", "[Version]\r\nSignature=\"$Windows NT$\"\r\n; another vendor\r\n");
    SetupApi& setup = sim.sys.setup;
    std::string dest;

    ASSERT_TRUE(setup.CopyOEMInf(".\\ZMPK40.inf", setup::kSpostPath, setup::kSpCopyNoOverwrite, dest).ok());
    EXPECT_EQ(dest, "C:\\Windows\\inf\\oem1.inf");
    EXPECT_TRUE(m.FileExists("C:\\Windows\\inf\\oem1.PNF"));

    sim.Magic();
    EXPECT_EQ(setup.CopyOEMInf(".\\ZMPK40.inf", setup::kSpostPath, setup::kSpCopyNoOverwrite, dest).code,
              err::kFileExists);
    EXPECT_EQ(sim.LastError(), err::kFileExists);
    EXPECT_EQ(dest, "C:\\Windows\\inf\\oem1.inf");

    ASSERT_TRUE(setup.CopyOEMInf("C:\\Package\\ZMPK40.inf", setup::kSpostPath, setup::kSpCopyReplaceOnly, dest).ok());
    EXPECT_EQ(dest, "C:\\Windows\\inf\\oem1.inf");
    EXPECT_EQ(m.OemInfs(), (std::vector<std::string>{"oem0.inf", "oem1.inf"}));

    sim.Magic();
    EXPECT_EQ(setup.CopyOEMInf(".\\Missing.inf", setup::kSpostPath, setup::kSpCopyNoOverwrite, dest).code,
              err::kFileNotFound);
    EXPECT_EQ(dest, "");
}

TEST(SimSetup, UninstallOemInfNeedsForceWhileADeviceUsesIt) {
    for (Dword flags : {0u, setup::kSuoiForceDelete}) {
        Sim sim("7");
        Machine& m = *sim.machine;
        m.WriteFile(m.InfDirectory() + "\\oem5.inf", PackageInf());
        m.WriteFile(m.InfDirectory() + "\\oem5.PNF", "pnf");
        m.AddDevice({"USB\\VID_7F3C&PID_0042\\ZMP0001", {"USB\\Vid_7F3C&Pid_0042"}, false, "oem5.inf"});
        SetupApi& setup = sim.sys.setup;
        ASSERT_TRUE(setup.HasUninstallOEMInf());
        sim.Magic();
        Status status = setup.UninstallOEMInf("oem5.inf", flags);
        EXPECT_EQ(status.code, flags ? 0 : 0xE000023D);
        EXPECT_EQ(m.FileExists(m.InfDirectory() + "\\oem5.inf"), !flags);
        EXPECT_EQ(m.FileExists(m.InfDirectory() + "\\oem5.PNF"), !flags);
        EXPECT_EQ(setup.UninstallOEMInf("oem6.inf", setup::kSuoiForceDelete).code, err::kFileNotFound);
    }
    for (const char* preset : {"2000", "xp"}) {
        Sim sim(preset);
        sim.Magic();
        EXPECT_FALSE(sim.sys.setup.HasUninstallOEMInf()) << preset;
        EXPECT_EQ(sim.LastError(), err::kProcNotFound) << preset;
    }
}

TEST(SimSetup, UsbDevicesPresentOrNotAreEnumeratedAndRemoved) {
    Sim sim("7");
    Machine& m = *sim.machine;
    m.AddDevice({"USB\\VID_7F3C&PID_0042\\A", {"USB\\Vid_7F3C&Pid_0042&Rev_0100", "USB\\Vid_7F3C&Pid_0042"}, false, ""});
    m.AddDevice({"USB\\VID_1234&PID_0001\\B", {"USB\\Vid_1234&Pid_0001"}, true, ""});
    m.AddDevice({"USB\\VID_7F3C&PID_0042\\C",
                 {"USB\\Vid_7F3C&Pid_0042&Rev_0100&Mi_00&A_very_long_hardware_id_that_goes_on",
                  "USB\\Vid_7F3C&Pid_0042&Mi_00&And_another_long_one_to_pass_100_bytes", "USB\\Class_07"},
                 true, ""});
    m.AddDevice({"PCI\\VEN_8086\\D", {"PCI\\VEN_8086"}, true, ""});
    SetupApi& setup = sim.sys.setup;
    DevInfoSet set;
    ASSERT_TRUE(setup.GetClassDevs("USB", setup::kDigcfAllClasses, set).ok());

    std::vector<std::string> seen;
    DevInfoData data;
    Dword index = 0;
    for (; setup.EnumDeviceInfo(set, index, data).ok(); ++index) {
        std::vector<char> ids;
        sim.Magic();
        Status got = setup.GetDeviceRegistryProperty(set, data, setup::kSpdrpHardwareId, 100, ids);
        if (!got.ok()) {
            EXPECT_EQ(got.code, err::kInsufficientBuffer);
            EXPECT_EQ(sim.LastError(), err::kInsufficientBuffer);
            seen.push_back("(too long)");
            continue;
        }
        ASSERT_GE(ids.size(), 2u);
        EXPECT_EQ(ids[ids.size() - 1], '\0');
        EXPECT_EQ(ids[ids.size() - 2], '\0');
        seen.push_back(ids.data());
    }
    EXPECT_EQ(sim.LastError(), err::kNoMoreItems);
    // Sorted by instance id, not in the order the devices came.
    EXPECT_EQ(seen, (std::vector<std::string>{"USB\\Vid_1234&Pid_0001", "USB\\Vid_7F3C&Pid_0042&Rev_0100", "(too long)"}));

    data.cbSize = 28;
    ASSERT_TRUE(setup.EnumDeviceInfo(set, 1, data).ok());
    ASSERT_TRUE(setup.RemoveDevice(set, data).ok());
    EXPECT_EQ(setup.RemoveDevice(set, data).code, err::kNoSuchDevinst);
    data.cbSize = 32;  // a 64-bit SP_DEVINFO_DATA in a 32-bit process
    EXPECT_EQ(setup.EnumDeviceInfo(set, 0, data).code, 1784u);
    ASSERT_TRUE(setup.DestroyDeviceInfoList(set).ok());
    EXPECT_EQ(setup.DestroyDeviceInfoList(set).code, err::kInvalidHandle);
    EXPECT_EQ(m.Devices().size(), 3u);

    ASSERT_TRUE(setup.GetClassDevs("USB", setup::kDigcfAllClasses | setup::kDigcfPresent, set).ok());
    data.cbSize = 28;
    index = 0;
    while (setup.EnumDeviceInfo(set, index, data).ok()) ++index;
    EXPECT_EQ(index, 2u);
    setup.DestroyDeviceInfoList(set);
}

TEST(SimSetup, ARelativeSourceIsFoundFromWindows7On) {
    struct Case {
        const char* preset;
        Dword code;
    } cases[] = {{"xp", err::kFileNotFound}, {"2003", err::kFileNotFound}, {"vista", err::kFileNotFound}, {"7", 0}};
    for (const Case& c : cases) {
        Sim sim(c.preset);
        WritePackage(*sim.machine);
        std::lock_guard<std::recursive_mutex> lock(sim.machine->Mutex());
        std::string destination;
        EXPECT_EQ(sim.machine->Internal().CopyOemInf(".\\ZMPK40.inf", setup::kSpCopyNoOverwrite, destination,
                                                     "C:\\Package"),
                  c.code)
            << c.preset;
    }
}

TEST(SimSetup, VistaAndLaterTakeOnlyAWholeDriverPackage) {
    auto withoutManufacturer = [](std::string inf) {
        return inf.replace(inf.find("[Manufacturer]"), 14, "[Makers]");
    };
    auto withoutAFile = [](Machine& m) { m.Remove("C:\\Package\\Driver64\\ZPUI40.dll"); };
    struct Case {
        const char* what;
        const char* preset;
        bool noManufacturer;
        bool fileMissing;
        Dword code;
    } cases[] = {
        {"no [Manufacturer], XP", "xp", true, false, 0},
        {"no [Manufacturer], Vista", "vista", true, false, 0xE000024A},
        {"no [Manufacturer], 7", "7", true, false, 1630},
        {"a CopyFiles source missing, XP", "xp", false, true, 0},
        {"a CopyFiles source missing, 7", "7", false, true, err::kFileNotFound},
        {"whole package, 7", "7", false, false, 0},
    };
    for (const Case& c : cases) {
        Sim sim(c.preset, std::string(c.preset) != "xp");
        Machine& m = *sim.machine;
        WritePackage(m);
        if (c.noManufacturer) m.WriteFile("C:\\Package\\ZMPK40.inf", withoutManufacturer(PackageInf()));
        if (c.fileMissing) {
            withoutAFile(m);
            m.Remove("C:\\Package\\Driver32\\ZPUI40.dll");
        }
        std::string dest;
        sim.Magic();
        EXPECT_EQ(sim.sys.setup.CopyOEMInf("C:\\Package\\ZMPK40.inf", setup::kSpostPath, setup::kSpCopyNoOverwrite, dest)
                      .code,
                  c.code)
            << c.what;
        EXPECT_EQ(sim.LastError(), c.code) << c.what;  // success sets 0
        EXPECT_EQ(m.OemInfs().size(), c.code ? 0u : 1u) << c.what;
    }
}

TEST(SimSetup, APackageWithoutCatalogAsksTheUser) {
    struct Case {
        bool accept;
        Dword code;
        unsigned prompts;
    } cases[] = {{true, 0, 1}, {false, 0xE000022F, 0}};
    for (const Case& c : cases) {
        Sim sim("7", true);
        Machine& m = *sim.machine;
        WritePackage(m);
        m.ModelSwitches().acceptUnsignedDrivers = c.accept;
        std::string dest;
        EXPECT_EQ(sim.sys.setup.CopyOEMInf("C:\\Package\\ZMPK40.inf", setup::kSpostPath, setup::kSpCopyNoOverwrite, dest)
                      .code,
                  c.code);
        EXPECT_EQ(m.UnsignedDriverPrompts(), c.prompts);
        // With its catalog beside it nobody is asked.
        std::string inf = PackageInf();
        m.WriteFile("C:\\Package\\ZMPK40.inf", inf.insert(inf.find("DriverVer"), "CatalogFile=zmpk40.cat\r\n"));
        m.WriteFile("C:\\Package\\zmpk40.cat", "catalog");
        EXPECT_TRUE(
            sim.sys.setup.CopyOEMInf("C:\\Package\\ZMPK40.inf", setup::kSpostPath, setup::kSpCopyNoOverwrite, dest).ok());
        EXPECT_EQ(m.UnsignedDriverPrompts(), c.prompts);
    }
}

TEST(SimSetup, TheDriverStoreKeepsPackagesUntilTheirOemInfIsUninstalled) {
    // Staged by SetupCopyOEMInf and by the child on Vista and later only.
    Sim xp("xp");
    WritePackage(*xp.machine);
    std::string dest;
    ASSERT_TRUE(xp.sys.setup.CopyOEMInf("C:\\Package\\ZMPK40.inf", setup::kSpostPath, setup::kSpCopyNoOverwrite, dest).ok());
    EXPECT_TRUE(xp.machine->StorePackages().empty());

    Sim sim("7", true);
    Machine& m = *sim.machine;
    WritePackage(m);
    ASSERT_TRUE(sim.sys.setup.CopyOEMInf("C:\\Package\\ZMPK40.inf", setup::kSpostPath, setup::kSpCopyNoOverwrite, dest).ok());
    std::vector<std::string> store = m.StorePackages();
    ASSERT_EQ(store.size(), 1u);
    EXPECT_EQ(store[0].rfind("zmpk40.inf_amd64_", 0), 0u);
    const std::string package = m.SystemDirectory() + "\\DriverStore\\FileRepository\\" + store[0];
    EXPECT_EQ(*m.ReadFile(package + "\\Driver64\\ZPUI40.dll"), "Driver64 ZPUI40.dll");
    EXPECT_FALSE(m.FileExists(package + "\\Driver32\\ZPUI40.dll"));  // the machine's own architecture only

    // Deleting the driver leaves the package; uninstalling its INF takes it.
    StartupInfo startup;
    ProcessInformation child;
    ASSERT_TRUE(sim.sys.processes
                    .CreateProcess("", "cmd /c RUNDLL32 printui.dll,PrintUIEntry /ia /m \"KORVANT ZMP-K40\" /f "
                                   ".\\ZMPK40.inf",
                                   0, "", startup, child)
                    .ok());
    ASSERT_TRUE(m.FindDriver("KORVANT ZMP-K40", "Windows x64"));
    EXPECT_EQ(m.StorePackages(), store);  // the same package: staged once
    ASSERT_TRUE(sim.sys.spooler
                    .DeletePrinterDriverExFor("Windows x64", "KORVANT ZMP-K40", spool::kDpdDeleteUnusedFiles, 3)
                    .ok());
    EXPECT_EQ(m.StorePackages(), store);
    ASSERT_TRUE(sim.sys.setup.UninstallOEMInf(dest.substr(dest.rfind('\\') + 1), setup::kSuoiForceDelete).ok());
    EXPECT_TRUE(m.StorePackages().empty());
    EXPECT_TRUE(m.OemInfs().empty());
}

TEST(SimSetup, UninstallOemInfNames) {
    struct Case {
        const char* preset;
        const char* name;
        bool manufacturer;
        Dword code;
    } cases[] = {
        {"7", "", true, err::kFileNotFound},
        {"7", "bogus.inf", true, err::kFileNotFound},
        {"7", "C:\\Windows\\inf\\oem1.inf", true, err::kInvalidParameter},
        {"7", "oem1.inf", false, 0},
        {"10", "oem1.inf", false, err::kInvalidParameter},
        {"10", "oem1.inf", true, 0},
    };
    for (const Case& c : cases) {
        Sim sim(c.preset);
        Machine& m = *sim.machine;
        std::string inf = PackageInf();
        if (!c.manufacturer) inf.replace(inf.find("[Manufacturer]"), 14, "[Makers]");
        m.WriteFile(m.InfDirectory() + "\\oem1.inf", inf);
        sim.Magic();
        EXPECT_EQ(sim.sys.setup.UninstallOEMInf(c.name, setup::kSuoiForceDelete).code, c.code)
            << c.preset << " " << c.name;
        EXPECT_EQ(m.OemInfs().empty(), c.code == 0) << c.preset << " " << c.name;
    }
}

}  // namespace
}  // namespace zmp::sim::test
