// The driver's INF as an oem INF, and the "Uninstall" entry.
#include <gtest/gtest.h>

#include "tests/install/EngineFixture.h"

namespace zmp::test {
namespace {

TEST(InfRegistrationTest, CopyINFFileKeepsTheOemInfsPathAndReplacesAnInstalledOne) {
    Engine e("xp", false, kOsWinXp);
    e.installer->CopyINFFile();
    const std::string oem = e.installer->InfName();
    EXPECT_EQ(oem.rfind("C:\\WINDOWS\\inf\\oem", 0), 0u) << oem;
    EXPECT_EQ(e.machine->ReadFile(oem), e.machine->ReadFile(std::string(kPackage) + "\\ZMPK40.inf"));
    EXPECT_TRUE(e.Logged("INF FILE NAME : " + oem));
    // The package's INF by the path the installer was given it, relative to
    // its current directory.
    EXPECT_TRUE(e.Logged("Inf File Name : .\\ZMPK40.inf"));

    // Installed already: SP_COPY_REPLACEONLY, the same name, no box.
    e.installer->CopyINFFile();
    EXPECT_EQ(e.installer->InfName(), oem);
    EXPECT_EQ(e.machine->OemInfs().size(), 1u);
    EXPECT_FALSE(e.Logged("SetupCopyOEMInf failed : (80)"));
    EXPECT_TRUE(e.Boxes().empty());
}

TEST(InfRegistrationTest, RefusedInfIsReportedAndLeavesNoName) {
    Engine e("xp", false, kOsWinXp);
    e.system->Faults().Fail("SetupApi.CopyOEMInf", err::kAccessDenied);
    e.installer->CopyINFFile();
    EXPECT_EQ(e.installer->InfName(), "");
    EXPECT_TRUE(e.Logged("SetupCopyOEMInf failed : (5)"));
    ASSERT_EQ(e.Boxes().size(), 1u);
    EXPECT_EQ(e.Boxes()[0].text, "SetupCopyOEMInf, ERR CODE: 5\n\nAccess is denied.\r\n");
    EXPECT_EQ(e.Boxes()[0].type, mb::kIconError);

    // The entry then has no "InfFile".
    e.installer->RegisterUninstallInfo();
    EXPECT_TRUE(e.machine->KeyExists(kUninstallKey));
    EXPECT_FALSE(e.machine->GetString(kUninstallKey, "InfFile"));
}

TEST(UninstallRegistrationTest, FreshEntryInTheSystemsOwnViewWithTheExactTexts) {
    struct Case {
        const char* os;
        bool is64;
        OsCode code;
        const char* key;         // where the entry must be
        const char* notKey;      // where it must not be
        const char* uninstaller;
        const char* driverFolder;  // of the package, counted in the size
    };
    const Case cases[] = {
        {"7", true, kOsWin7, kUninstallKey, kUninstallKey32On64, "C:\\Windows\\ZMP-K40\\ZMPK40_Uninstaller.exe",
         "Driver64"},
        {"xp", false, kOsWinXp, kUninstallKey, nullptr, "C:\\WINDOWS\\ZMP-K40\\ZMPK40_Uninstaller.exe", "Driver32"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.os);
        Engine e(c.os, c.is64, c.code);
        // An earlier installation's entry: none of its values survive.
        e.machine->SetString(c.key, "Comments", "1.0");
        e.machine->SetString(c.key, "DisplayName", "old");
        e.machine->SetTime({2031, 3, 7, 9, 30, 0, 0});

        e.installer->RegisterUninstallInfo();

        EXPECT_EQ(e.machine->GetString(c.key, "DisplayName"), "KORVANT ZMP-K40 Windows Driver V2.0.6");
        EXPECT_EQ(e.machine->GetString(c.key, "UninstallString"), c.uninstaller);
        // CopyINFFile did not run: the field still holds the INF's own name.
        EXPECT_EQ(e.machine->GetString(c.key, "InfFile"), "ZMPK40.inf");
        EXPECT_FALSE(e.machine->GetString(c.key, "Comments"));
        if (c.notKey) {
            EXPECT_FALSE(e.machine->KeyExists(c.notKey));
        }

        // What a deployment tool reads, in Windows' names and types.
        EXPECT_EQ(e.machine->GetString(c.key, "DisplayVersion"), "2.0.6.0");
        EXPECT_EQ(e.machine->GetString(c.key, "Publisher"), "KORVANT");
        EXPECT_EQ(e.machine->GetString(c.key, "DisplayIcon"), c.uninstaller);
        EXPECT_EQ(e.machine->GetString(c.key, "QuietUninstallString"),
                  "\"" + std::string(c.uninstaller) + "\" /quiet /norestart");
        EXPECT_EQ(e.machine->GetString(c.key, "InstallDate"), "20310307");
        std::uint64_t bytes = 0;
        for (const std::string& f : PackageDriverFiles())
            bytes += e.machine->ReadFile(std::string(kPackage) + "\\" + c.driverFolder + "\\" + f)->size();
        for (const char* f : {"ZMPK40.inf", "ZMPK40_Uninstaller.exe", "ZMPK40_Config.KVT"})
            bytes += e.machine->ReadFile(std::string(kPackage) + "\\" + f)->size();
        const std::pair<const char*, Dword> numbers[] = {
            {"NoModify", 1}, {"NoRepair", 1}, {"EstimatedSize", static_cast<Dword>((bytes + 1023) / 1024)}};
        for (const auto& [name, value] : numbers) {
            auto stored = e.machine->GetValue(c.key, name);
            ASSERT_TRUE(stored) << name;
            EXPECT_EQ(stored->type, 4u) << name;  // REG_DWORD
            EXPECT_EQ(stored->number, value) << name;
        }
        EXPECT_EQ(e.LogFrom("RegisterUninstallInfo BEGIN"),
                  (std::vector<std::string>{"RegisterUninstallInfo BEGIN",
                                            "REGKEY : SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
                                            "KORVANT_ZMP-K40",
                                            "RegisterUninstallInfo END"}));
    }
}

TEST(UninstallRegistrationTest, FailuresAreLoggedWithTheCallsOwnCode) {
    struct Case {
        const char* os;
        bool is64;
        OsCode code;
        const char* fault;
        Dword error;
        bool earlierEntry;
        const char* line;
    };
    const Case cases[] = {
        {"xp", false, kOsWinXp, "Registry.CreateKey", err::kAccessDenied, false,
         "RegCreateKeyEx failed : SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KORVANT_ZMP-K40 , (5) "},
        {"7", true, kOsWin7, "Registry.CreateKey", err::kAccessDenied, false,
         "RegCreateKeyEx failed : SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KORVANT_ZMP-K40, (5) "},
        {"xp", false, kOsWinXp, "Registry.ShDeleteKey", err::kAccessDenied, true,
         "SHDeleteKey failed : SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KORVANT_ZMP-K40 , (5) "},
        {"7", true, kOsWin7, "Registry.RegDeleteKeyEx", err::kAccessDenied, true,
         "MyRegDeleteKeyEx failed : SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KORVANT_ZMP-K40, (5) "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault + std::string(" ") + c.os);
        Engine e(c.os, c.is64, c.code);
        if (c.earlierEntry) e.machine->SetString(kUninstallKey, "DisplayVersion", "1.0");
        e.system->system.SetLastError(0xdeadbeef);  // a stale code must not be logged
        e.system->Faults().Fail(c.fault, c.error);
        e.installer->RegisterUninstallInfo();
        EXPECT_TRUE(e.Logged(c.line));
        EXPECT_TRUE(e.Logged("RegisterUninstallInfo END"));
        const bool written = e.machine->GetString(kUninstallKey, "DisplayName").has_value();
        EXPECT_EQ(written, std::string(c.fault) != "Registry.CreateKey");
    }
}

}  // namespace
}  // namespace zmp::test
