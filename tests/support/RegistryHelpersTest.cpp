#include <gtest/gtest.h>

#include "support/RegistryHelpers.h"
#include "tests/support/SimFixture.h"

namespace zmp::test {
namespace {

using resources::Program;

constexpr const char* kUsbKey = "SYSTEM\\CurrentControlSet\\Enum\\USBPRINT\\KORVANT_ZMP-K40";

// --- rights strings and commands

struct RightsCase {
    const char* rights;
    Dword mask;
    Dword result;
};

class ParseAccessRightsTable : public ::testing::TestWithParam<RightsCase> {};

TEST_P(ParseAccessRightsTable, MaskAndResult) {
    AccessRights r = ParseAccessRights(GetParam().rights);
    EXPECT_EQ(r.mask, GetParam().mask) << GetParam().rights;
    EXPECT_EQ(r.result, GetParam().result) << GetParam().rights;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseAccessRightsTable,
    ::testing::Values(RightsCase{"Fc", 0xF003F, 0}, RightsCase{"fC", 0xF003F, 0},
                      RightsCase{"Rd", 0x20019, 0}, RightsCase{"Wr", 0x20026, 0},
                      RightsCase{"RdWr", 0x2003F, 0}, RightsCase{"FcRd", 0xF003F, 0},
                      RightsCase{"", 0, 0}, RightsCase{"Fcx", 0, 87}, RightsCase{"Xy", 0, 87},
                      RightsCase{"XyRd", 0x20019, 87}));

struct CommandCase {
    const char* command;
    Dword result;
    Dword mode;
    const char* trustee;
    Dword mask;
};

class ParsePermissionCommandTable : public ::testing::TestWithParam<CommandCase> {};

TEST_P(ParsePermissionCommandTable, ModeTrusteeMask) {
    const CommandCase& c = GetParam();
    PermissionCommand parsed;
    EXPECT_EQ(ParsePermissionCommand(c.command, parsed), c.result) << c.command;
    if (c.result == 0) {
        EXPECT_EQ(parsed.mode, c.mode) << c.command;
        EXPECT_EQ(parsed.trustee, c.trustee) << c.command;
        EXPECT_EQ(parsed.mask, c.mask) << c.command;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParsePermissionCommandTable,
    ::testing::Values(
        CommandCase{"/PG:Everyone:Fc", 0, sec::kGrantAccess, "Everyone", 0xF003F},
        CommandCase{"/pg:everyone:fc", 0, sec::kGrantAccess, "everyone", 0xF003F},
        CommandCase{"-PS:Users:Rd", 0, sec::kSetAccess, "Users", 0x20019},
        CommandCase{"/PD:Guest:Wr", 0, sec::kDenyAccess, "Guest", 0x20026},
        CommandCase{"/PR:Everyone", 0, sec::kRevokeAccess, "Everyone", 0},
        CommandCase{"/PR:Everyone:Fc", 0, sec::kRevokeAccess, "Everyone", 0},
        CommandCase{"/XG:Everyone", 0, sec::kNotUsedAccess, "Everyone", 0},
        CommandCase{"/PG::Everyone::Fc", 0, sec::kGrantAccess, "Everyone", 0xF003F},
        CommandCase{"/PG:Everyone:Fcx", 0, sec::kGrantAccess, "Everyone", 0},
        CommandCase{"/PG:Everyone:Xy", 0, sec::kGrantAccess, "Everyone", 0},
        CommandCase{"/PX:Everyone:Fc", 87, 0, "", 0}, CommandCase{"/P:Everyone:Fc", 87, 0, "", 0},
        CommandCase{"/PG:Everyone", 87, 0, "", 0}, CommandCase{"/PG", 87, 0, "", 0},
        CommandCase{"", 87, 0, "", 0}));

// --- keys by path

class RegistryHelpers : public ::testing::Test {
protected:
    RegistryHelpers() : run("7", true, Program::Uninstaller) {}
    SimRun run;
    Registry& registry() { return run.platform->registry; }
};

TEST_F(RegistryHelpers, OpenRegKeyPathByRootName) {
    run.machine->CreateKey("HKLM\\SYSTEM\\Test\\Key");
    struct Case {
        const char* path;
        Dword result;
    } cases[] = {
        {"HKLM\\SYSTEM\\Test\\Key", 0},
        {"hklm\\SYSTEM\\Test\\Key", 0},
        {"HKEY_LOCAL_MACHINE\\SYSTEM\\Test\\Key", 0},
        {"hkey_local_machine\\SYSTEM\\Test", 0},
        {"HKLM", 0},
        {"HKLM\\SYSTEM\\Test\\Missing", err::kFileNotFound},
        {"HKXX\\SYSTEM\\Test\\Key", err::kInvalidParameter},
        {"HKLMX\\SYSTEM", err::kInvalidParameter},
        {"\\\\SERVER\\HKCU\\Software", err::kInvalidParameter},
        {"\\\\SERVER\\HKCR\\.txt", err::kInvalidParameter},
    };
    for (const Case& c : cases) {
        RegKey key = RegKey::None;
        EXPECT_EQ(OpenRegKeyPath(registry(), c.path, key), c.result) << c.path;
        if (c.result == 0) {
            EXPECT_NE(key, RegKey::None) << c.path;
            registry().CloseKey(key);
        }
    }
    EXPECT_EQ(run.CallCount("Registry.ConnectRegistry"), 0u);
}

TEST_F(RegistryHelpers, OpenRegKeyPathUsesAt511Characters) {
    // Components of 100 characters: the path is cut inside the sixth.
    std::string cutPath = "HKLM\\SYSTEM";
    while (cutPath.size() + 101 <= 511) cutPath += "\\" + std::string(100, 'k');
    cutPath += "\\" + std::string(511 - cutPath.size() - 1, 'z');
    ASSERT_EQ(cutPath.size(), 511u);
    run.machine->CreateKey(cutPath);

    RegKey key = RegKey::None;
    EXPECT_EQ(OpenRegKeyPath(registry(), cutPath + "zzzz\\More", key), 0u);
    registry().CloseKey(key);
}

TEST_F(RegistryHelpers, MalformedCommandIsRefusedBeforeAnyKeyIsOpened) {
    run.machine->CreateKey("HKLM\\SYSTEM\\Test");
    EXPECT_EQ(SetRegKeyPermission(registry(), "HKLM\\SYSTEM\\Test", "/PX:Everyone:Fc"), 87u);
    EXPECT_EQ(SetRegKeyPermission(registry(), "HKLM\\SYSTEM\\Test", "/PG:Everyone"), 87u);
    EXPECT_EQ(run.CallCount("Registry.OpenKey"), 0u);
}

TEST_F(RegistryHelpers, GrantAddsAnInheritedEntryForEveryone) {
    run.machine->CreateKey(std::string("HKLM\\") + kUsbKey);
    run.machine->ProtectKey(std::string("HKLM\\") + kUsbKey);
    ASSERT_FALSE(run.machine->KeyDeletable(std::string("HKLM\\") + kUsbKey));

    EXPECT_EQ(SetRegKeyPermission(registry(), std::string("HKLM\\") + kUsbKey, "/PG:Everyone:Fc"), 0u);

    bool found = false;
    for (const sim::AceEntry& ace : run.machine->KeyAcl(std::string("HKLM\\") + kUsbKey)) {
        if (ace.trustee == "Everyone" && ace.mask == 0xF003F && ace.mode == sec::kGrantAccess &&
            ace.inheritance == sec::kSubContainersOnlyInherit)
            found = true;
    }
    EXPECT_TRUE(found);
    EXPECT_TRUE(run.machine->KeyDeletable(std::string("HKLM\\") + kUsbKey));
}

TEST_F(RegistryHelpers, UnknownTrusteeLeavesTheAclAndFreesEverything) {
    run.machine->CreateKey("HKLM\\SYSTEM\\Test");
    auto before = run.machine->KeyAcl("HKLM\\SYSTEM\\Test");
    EXPECT_EQ(SetRegKeyPermission(registry(), "HKLM\\SYSTEM\\Test", "/PG:Jeder:Fc"), err::kNoneMapped);
    EXPECT_EQ(run.machine->KeyAcl("HKLM\\SYSTEM\\Test").size(), before.size());
    EXPECT_EQ(run.CallCount("Registry.LocalFreeDescriptor"), 1u);
    EXPECT_EQ(run.CallCount("Registry.CloseKey"), 1u);
}

// Everyone is named by its SID, so the grant works whatever the account is
// called on that language edition; a name works only in its own language.
TEST(SetRegKeyPermission, EveryoneByItsSidOnEveryLanguageEdition) {
    struct Case {
        const char* language;
        const char* trustee;
        Dword result;
    } cases[] = {
        {"en", "Everyone", 0},          {"de", "Everyone", 0},          {"fr", "everyone", 0},
        {"de", "Jeder", 0},             {"fr", "Tout le monde", 0},     {"de", "Guests", err::kNoneMapped},
        {"en", "Jeder", err::kNoneMapped},
    };
    for (const Case& c : cases) {
        SimRun run("7", true, Program::Uninstaller);
        sim::OsInfo os = run.machine->Os();
        os.language = c.language;
        run.machine->SetOs(os);
        run.machine->CreateKey("HKLM\\SYSTEM\\Test");
        const std::string what = std::string(c.language) + " " + c.trustee;

        const std::string command = std::string("/PG:") + c.trustee + ":Fc";
        EXPECT_EQ(SetRegKeyPermission(run.platform->registry, "HKLM\\SYSTEM\\Test", command), c.result)
            << what;
        std::vector<sim::AceEntry> acl = run.machine->KeyAcl("HKLM\\SYSTEM\\Test");
        EXPECT_EQ(acl.size(), c.result == 0 ? 1u : 0u) << what;
        if (c.result == 0 && !acl.empty()) {
            EXPECT_EQ(acl[0].trustee, "Everyone") << what;
        }
        EXPECT_EQ(run.CallCount("Registry.AllocateWellKnownSid"), run.CallCount("Registry.FreeSid")) << what;
    }
}

// --- deletion by the WOW64 flag

class DeleteMachineKeyTest : public ::testing::Test {
protected:
    static constexpr Dword kMagic = 0x1234;
};

TEST_F(DeleteMachineKeyTest, Wow64DeletesTheKeyWithItsSubkeysInThe64BitView) {
    SimRun run("7", true, Program::Uninstaller);
    run.machine->CreateKey("HKLM\\SOFTWARE\\Vendor\\Tree\\Sub\\Deeper");
    run.machine->CreateKey("HKLM\\SOFTWARE\\Vendor\\Tree\\Other");
    run.machine->CreateKey("HKLM\\SOFTWARE\\Wow6432Node\\Vendor\\Tree");

    EXPECT_EQ(DeleteMachineKey(*run.platform, *run.log, true, "SOFTWARE\\Vendor\\Tree"), 0);
    EXPECT_FALSE(run.machine->KeyExists("HKLM\\SOFTWARE\\Vendor\\Tree"));
    EXPECT_TRUE(run.machine->KeyExists("HKLM\\SOFTWARE\\Vendor"));
    EXPECT_TRUE(run.machine->KeyExists("HKLM\\SOFTWARE\\Wow6432Node\\Vendor\\Tree"));
    EXPECT_EQ(run.CallCount("Registry.RegDeleteKeyEx"), 4u);  // deepest first, the key last
    EXPECT_EQ(run.CallCount("Registry.ShDeleteKey"), 0u);
    EXPECT_TRUE(run.LogLines().empty());
}

TEST_F(DeleteMachineKeyTest, Wow64RefusedSubkeyKeepsTheKeyAndBothAreLogged) {
    SimRun run("7", true, Program::Uninstaller);
    run.machine->CreateKey("HKLM\\SOFTWARE\\Vendor\\Tree\\Sub");
    run.sys->Faults().Fail("Registry.RegDeleteKeyEx", err::kAccessDenied, 1);

    run.platform->system.SetLastError(kMagic);
    EXPECT_EQ(DeleteMachineKey(*run.platform, *run.log, true, "SOFTWARE\\Vendor\\Tree"), 5);
    EXPECT_TRUE(run.machine->KeyExists("HKLM\\SOFTWARE\\Vendor\\Tree\\Sub"));
    // The codes shown are the refused deletions', not what the log's own
    // file calls left behind.
    EXPECT_EQ(run.LogLines(), (std::vector<std::string>{"MyRegDeleteKeyEx failed : SOFTWARE\\Vendor\\Tree\\Sub (5) ",
                                                         "MyRegDeleteKeyEx failed : SOFTWARE\\Vendor\\Tree (5) "}));
}

TEST_F(DeleteMachineKeyTest, WithoutWow64TheKeyGoesWithItsSubkeys) {
    SimRun run("xp", false, Program::Uninstaller);
    run.machine->CreateKey("HKLM\\SOFTWARE\\Vendor\\Tree\\Sub\\Deeper");

    EXPECT_EQ(DeleteMachineKey(*run.platform, *run.log, false, "SOFTWARE\\Vendor\\Tree"), 0);
    EXPECT_FALSE(run.machine->KeyExists("HKLM\\SOFTWARE\\Vendor\\Tree"));
    EXPECT_TRUE(run.machine->KeyExists("HKLM\\SOFTWARE\\Vendor"));

    run.platform->system.SetLastError(kMagic);
    EXPECT_NE(DeleteMachineKey(*run.platform, *run.log, false, "SOFTWARE\\Vendor\\Tree"), 0);
    EXPECT_EQ(run.LogLines(), std::vector<std::string>{"SHDeleteKey failed : SOFTWARE\\Vendor\\Tree (2) "});
    EXPECT_EQ(run.CallCount("Registry.RegDeleteKeyEx"), 0u);
}

TEST_F(DeleteMachineKeyTest, MissingRegDeleteKeyExGivesMinusOneAndTheLookupsCode) {
    SimRun run("xp64", true, Program::Uninstaller);
    sim::OsInfo os = run.machine->Os();
    os.hasRegDeleteKeyEx = false;
    run.machine->SetOs(os);
    run.machine->CreateKey("HKLM\\SOFTWARE\\Vendor\\Leaf");

    EXPECT_EQ(MyRegDeleteKeyEx(run.platform->registry, run.platform->registry.Root(RegRoot::LocalMachine),
                               "SOFTWARE\\Vendor\\Leaf", reg::kKeyWow64_64Key, 0),
              -1);
    EXPECT_EQ(run.platform->system.GetLastError(), err::kProcNotFound);

    EXPECT_EQ(DeleteMachineKey(*run.platform, *run.log, true, "SOFTWARE\\Vendor\\Leaf"), -1);
    EXPECT_TRUE(run.machine->KeyExists("HKLM\\SOFTWARE\\Vendor\\Leaf"));
    EXPECT_EQ(run.LogLines(), std::vector<std::string>{"MyRegDeleteKeyEx failed : SOFTWARE\\Vendor\\Leaf (127) "});
}

// --- the protected USB print key

TEST(GrantAndDeleteRegKey, ProtectedKeyIsDeletedAfterTheGrant) {
    SimRun run("xp", false, Program::Uninstaller);
    const std::string full = std::string("HKLM\\") + kUsbKey;
    run.machine->CreateKey(full + "\\Instance0");
    run.machine->ProtectKey(full);

    GrantAndDeleteRegKey(*run.platform, *run.log, full, kUsbKey, false);

    EXPECT_FALSE(run.machine->KeyExists(full));
    EXPECT_EQ(run.LogLines(), (std::vector<std::string>{"REGKEY_1 : " + full, std::string("REGKEY_2 : ") + kUsbKey}));
}

TEST(GrantAndDeleteRegKey, ProtectedKeyStaysWhenTheGrantFails) {
    SimRun run("xp", false, Program::Uninstaller);
    const std::string full = std::string("HKLM\\") + kUsbKey;
    run.machine->CreateKey(full + "\\Instance0");
    run.machine->ProtectKey(full);
    run.sys->Faults().Fail("Registry.SetEntriesInAcl", err::kNoneMapped);

    GrantAndDeleteRegKey(*run.platform, *run.log, full, kUsbKey, false);

    EXPECT_TRUE(run.machine->KeyExists(full));
    std::vector<std::string> lines = run.LogLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2].rfind(std::string("SHDeleteKey failed : ") + kUsbKey + " (", 0), 0u) << lines[2];
}

// The grant is taken back when the key outlives it; without a copy of the
// key's DACL there is no grant at all.
TEST(GrantAndDeleteRegKey, AKeyThatStaysKeepsItsAccessList) {
    struct Case {
        const char* what;
        const char* failing;
        Dword code;
        const char* line;  // the line that says what happened, after the deletion's failure
        bool granted;
    };
    const Case cases[] = {
        {"deletion refused", "Registry.ShDeleteKey", err::kAccessDenied, "DACL RESTORED : ", true},
        {"DACL unreadable", "Registry.GetNamedKeyDacl", err::kAccessDenied, nullptr, false},
    };
    for (const Case& c : cases) {
        SimRun run("xp", false, Program::Uninstaller);
        const std::string full = std::string("HKLM\\") + kUsbKey;
        run.machine->CreateKey(full + "\\Instance0");
        run.machine->ProtectKey(full);
        run.sys->Faults().Fail(c.failing, c.code);

        GrantAndDeleteRegKey(*run.platform, *run.log, full, kUsbKey, false);

        EXPECT_TRUE(run.machine->KeyExists(full + "\\Instance0")) << c.what;
        EXPECT_TRUE(run.machine->KeyAcl(full).empty()) << c.what;
        EXPECT_FALSE(run.machine->KeyDeletable(full + "\\Instance0")) << c.what;
        EXPECT_EQ(run.CallCount("Registry.SetEntriesInAcl"), c.granted ? 1u : 0u) << c.what;
        std::vector<std::string> lines = run.LogLines();
        ASSERT_FALSE(lines.empty()) << c.what;
        if (c.line)
            EXPECT_EQ(lines.back(), c.line + std::string(kUsbKey)) << c.what;
        else
            EXPECT_EQ(lines.front(), std::string("GetNamedSecurityInfo failed : ") + kUsbKey + " (5) ") << c.what;
        EXPECT_EQ(run.CallCount("Registry.LocalFreeDescriptor"), c.granted ? 2u : 0u) << c.what;
    }
}

}  // namespace
}  // namespace zmp::test
