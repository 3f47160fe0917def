// File copying: the staged driver files, the ".old" fallback for a target
// in use, the utilities folder and the clean-up of the staged files.
#include <gtest/gtest.h>

#include "tests/install/EngineFixture.h"

namespace zmp::test {
namespace {

constexpr const char* kXpDriverDir = "C:\\WINDOWS\\system32\\spool\\drivers\\w32x86";

// Consecutive log lines starting with first.
std::vector<std::string> Lines(const Engine& e, const std::string& first, size_t count) {
    std::vector<std::string> from = e.LogFrom(first);
    if (from.size() > count) from.resize(count);
    return from;
}

TEST(FileCopyTest, TargetInUseIsMovedAsideAndCopiedAgain) {
    struct Case {
        Dword code;
        const char* handler;
    };
    const Case cases[] = {{err::kSharingViolation, "ERROR_SHARING_VIOLATION HANDLER"},
                          {err::kAccessDenied, "ERROR_ACCESS_DENIED HANDLER"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.handler);
        Engine e("xp", false, kOsWinXp);
        e.machine->ModelSwitches().copyOverHeldFileError = c.code;
        const std::string target = std::string(kXpDriverDir) + "\\ZMP40.dll";
        e.machine->WriteFile(target, "loaded ZMP40.dll");
        e.machine->WriteFile(target + ".old", "an older copy");
        e.machine->HoldOpen(target);

        e.installer->CopyFilesNeededToAddPrnDrv();

        EXPECT_EQ(e.machine->ReadFile(target), "new Driver32 ZMP40.dll");
        // The loaded file lives on beside it; the older ".old" is gone.
        EXPECT_EQ(e.machine->ReadFile(target + ".old"), "loaded ZMP40.dll");
        EXPECT_EQ(Lines(e, c.handler, 3),
                  (std::vector<std::string>{c.handler, "strDest : " + target, "strDestWithOldExt : " + target + ".old"}));
        EXPECT_FALSE(e.Logged("CopyFile Error : Driver32\\ZMP40.dll "));
    }
}

TEST(FileCopyTest, OtherFailuresAreLoggedOnceAndNotRetried) {
    Engine e("xp", false, kOsWinXp);
    e.machine->Remove(std::string(kPackage) + "\\Driver32\\ZPUI40.dll");
    e.installer->CopyFilesNeededToAddPrnDrv();

    // Once for the driver directory, once for the Windows directory.
    for (const std::string& target : {std::string(kXpDriverDir) + "\\ZPUI40.dll", std::string("C:\\WINDOWS\\ZPUI40.dll")}) {
        SCOPED_TRACE(target);
        EXPECT_EQ(Lines(e, "COPYFILE ERROR, DES : " + target + " ", 1).size(), 1u);
        std::vector<std::string> log = e.LogLines();
        auto at = std::find(log.begin(), log.end(), "COPYFILE ERROR, DES : " + target + " ");
        ASSERT_NE(at, log.end());
        ASSERT_GE(at - log.begin(), 2);
        EXPECT_EQ(*(at - 2), "COPYFILE ERROR, SRC : Driver32\\ZPUI40.dll ");
        EXPECT_EQ(*(at - 1), "ERROR CODE : 2 ");
        EXPECT_FALSE(e.machine->FileExists(target));
    }
    EXPECT_FALSE(e.Logged("ERROR_SHARING_VIOLATION HANDLER"));
    // The other files are there all the same.
    EXPECT_TRUE(e.machine->FileExists(std::string(kXpDriverDir) + "\\ZPUNI40.dll"));
}

// Only 32-bit Windows before Vista gets the driver's own files in the
// Windows directory as well.
TEST(FileCopyTest, StagesTheDriverFilesAndOnOld32BitWindowsAlsoInTheWindowsDirectory) {
    struct Case {
        const char* os;
        bool is64;
        OsCode code;
        const char* driverDir;
        const char* source;
        bool windowsCopies;
    };
    const Case cases[] = {
        {"xp", false, kOsWinXp, kXpDriverDir, "Driver32", true},
        {"2000", false, kOsWin2000, "C:\\WINNT\\system32\\spool\\drivers\\w32x86", "Driver32", true},
        // The x64 driver's directory, although this is a 32-bit program.
        {"xp64", true, kOsWinServer2003, "C:\\WINDOWS\\system32\\spool\\drivers\\x64", "Driver64", false},
        {"vista", false, kOsWinVista, "C:\\Windows\\system32\\spool\\drivers\\w32x86", "Driver32", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.os);
        Engine e(c.os, c.is64, c.code);
        e.installer->CopyFilesNeededToAddPrnDrv();
        const std::string windir = e.machine->WindowsDirectory();
        for (const char* f : {"UNIDRV.DLL", "UNIDRVUI.DLL", "UNIDRV.HLP", "UNIRES.DLL", "STDNAMES.GPD",
                                     "ZMP40.dll", "ZPUI40.dll", "ZPUNI40.dll", "ZPUI40.INI", "ZMP40.GPD"})
            EXPECT_EQ(e.machine->ReadFile(std::string(c.driverDir) + "\\" + f), "new " + std::string(c.source) + " " + f)
                << f;
        for (const char* f : {"ZMP40.dll", "ZPUI40.dll", "ZPUNI40.dll", "ZPUI40.INI", "ZMP40.GPD"})
            EXPECT_EQ(e.machine->FileExists(windir + "\\" + f), c.windowsCopies) << f;
        EXPECT_EQ(e.progress.texts, std::vector<std::string>{"Copying files...\r\n"});
    }
}

// The list the utilities folder gets: administrators and the system may
// change it, users only read and run what is in it.
std::vector<std::pair<std::string, Dword>> Grants(const std::vector<sim::AceEntry>& acl) {
    std::vector<std::pair<std::string, Dword>> out;
    for (const sim::AceEntry& a : acl) {
        EXPECT_EQ(a.mode, static_cast<Dword>(sec::kSetAccess)) << a.trustee;
        EXPECT_EQ(a.inheritance, sec::kSubContainersAndObjectsInherit) << a.trustee;
        out.emplace_back(a.trustee, a.mask);
    }
    return out;
}

const std::vector<std::pair<std::string, Dword>> kUtilitiesGrants = {
    {"Administrators", sec::kGenericAll},
    {"SYSTEM", sec::kGenericAll},
    {"Users", sec::kGenericRead | sec::kGenericExecute},
};

TEST(FileCopyTest, UtilitiesFolderIsEmptiedAndWritableByAdministratorsAndTheSystemOnly) {
    struct Case {
        const char* preset;
        bool is64;
        OsCode os;
    } cases[] = {
        {"2000", false, kOsWin2000},        {"xp", false, kOsWinXp},
        {"2003", false, kOsWinServer2003},
        {"xp64", true, kOsWinServer2003},   {"vista", false, kOsWinVista},
        {"vista", true, kOsWinVista},       {"2008", true, kOsWinServer2008},
        {"2008r2", true, kOsWinServer2008R2}, {"7", false, kOsWin7},
        {"7", true, kOsWin7},               {"10", true, kOsWin7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.preset) + (c.is64 ? " x64" : ""));
        Engine e(c.preset, c.is64, c.os);
        const std::string folder = e.machine->WindowsDirectory() + "\\ZMP-K40";
        // An earlier installation's folder, with the list it gave it.
        e.machine->WriteFile(folder + "\\left over.txt", "from an earlier installation");
        e.machine->WriteFile(folder + "\\old\\ZMPK40_Uninstaller.exe", "old");

        e.installer->CopyFilesOfUtilities();

        EXPECT_EQ(e.machine->ListDirectory(folder),
                  (std::vector<std::string>{"ZMPK40_Config.KVT", "ZMPK40_Uninstaller.exe"}));
        EXPECT_EQ(e.machine->ReadFile(folder + "\\ZMPK40_Uninstaller.exe"), "MZ uninstaller");
        // The 32-bit program's system directory: SysWOW64 on 64-bit Windows.
        const std::string system = c.is64 ? e.machine->SysWow64Directory() : e.machine->SystemDirectory();
        EXPECT_EQ(e.machine->ReadFile(system + "\\ZMPK40_Config.KVT"), Config("PORTDLG=TRUE\r\n"));
        EXPECT_EQ(Grants(e.machine->DirectoryAcl(folder)), kUtilitiesGrants);
        EXPECT_TRUE(e.progress.texts.empty());
    }
}

TEST(FileCopyTest, AFolderThatCannotBeRemovedGetsTheListInPlaceOfItsOwn) {
    Engine e("7", true, kOsWin7);
    const std::string folder = "C:\\Windows\\ZMP-K40";
    // Everyone full control, as earlier versions made it, and a file in it
    // that some process holds open.
    e.machine->MakeDirectory(folder);
    e.machine->Internal().files.Get(folder)->acl = {{"Everyone", sec::kGenericAll, sec::kSetAccess, 3}};
    e.machine->WriteFile(folder + "\\in use.dll", "held");
    e.machine->HoldOpen(folder + "\\in use.dll");

    e.installer->CreateDirectoryWithSA(folder);

    EXPECT_EQ(Grants(e.machine->DirectoryAcl(folder)), kUtilitiesGrants);
    EXPECT_TRUE(e.Logged("ACCESS LIST REPLACED : " + folder));
}

TEST(FileCopyTest, WithoutAnAccountsSidTheFolderGetsDefaultSecurity) {
    for (unsigned nth : {1u, 2u, 3u}) {
        Engine e("xp", false, kOsWinXp);
        e.system->Faults().Fail("Registry.AllocateWellKnownSid", err::kNotEnoughMemory, nth);
        EXPECT_TRUE(e.installer->CreateDirectoryWithSA("C:\\WINDOWS\\ZMP-K40"));
        const char* account[] = {"Administrators", "SYSTEM", "Users"};
        EXPECT_TRUE(e.Logged(std::string("Fail to get ") + account[nth - 1] + " SID. (8)")) << nth;
        EXPECT_TRUE(e.machine->DirectoryExists("C:\\WINDOWS\\ZMP-K40"));
        // Never a partial list, which could shut the administrators out.
        EXPECT_TRUE(e.machine->DirectoryAcl("C:\\WINDOWS\\ZMP-K40").empty()) << nth;
    }
}

TEST(FileCopyTest, DeleteFilesUsedRemovesTheStagedFilesAndLogsWhatStays) {
    Engine e("xp", false, kOsWinXp);
    e.installer->CopyFilesNeededToAddPrnDrv();
    const std::string held = std::string(kXpDriverDir) + "\\ZPUNI40.dll";
    e.machine->HoldOpen(held);
    e.machine->HoldOpen(std::string(kXpDriverDir) + "\\UNIDRV.DLL");

    e.installer->DeleteFilesUsed();

    for (const char* f : {"UNIDRVUI.DLL", "ZMP40.dll", "ZPUI40.dll", "ZPUI40.INI", "ZMP40.GPD", "STDNAMES.GPD"})
        EXPECT_FALSE(e.machine->FileExists(std::string(kXpDriverDir) + "\\" + f)) << f;
    EXPECT_TRUE(e.Logged("DeleteFile Error : " + held + " , (5)"));
    // A Unidrv file that stays is not reported.
    EXPECT_FALSE(e.Logged(std::string("DeleteFile Error : ") + kXpDriverDir + "\\UNIDRV.DLL , (5)"));
    // The copies in the Windows directory stay.
    EXPECT_TRUE(e.machine->FileExists("C:\\WINDOWS\\ZMP40.dll"));
}

}  // namespace
}  // namespace zmp::test
