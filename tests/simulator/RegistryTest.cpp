// The registry: views, deletion calls, the protected enumeration key.
#include "tests/simulator/SimFixture.h"

namespace zmp::sim::test {
namespace {

const char* const kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KORVANT_ZMP-K40";
const char* const kEnumKey = "SYSTEM\\CurrentControlSet\\Enum\\USBPRINT\\KORVANT_ZMP-K40";

TEST(SimRegistry, Wow64ViewsOfSoftwareAndSharedSystem) {
    Sim sim("7", true);
    Registry& reg = sim.sys.registry;
    RegKey hklm = reg.Root(RegRoot::LocalMachine);
    struct Case {
        Dword access;
        const char* physical;
    } cases[] = {
        {reg::kKeyWrite, "HKLM\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KORVANT_ZMP-K40"},
        {reg::kKeyWrite | reg::kKeyWow64_64Key, "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KORVANT_ZMP-K40"},
    };
    for (const Case& c : cases) {
        RegKey key;
        ASSERT_EQ(reg.CreateKey(hklm, kUninstall, reg::kRegOptionNonVolatile, c.access, key), err::kSuccess);
        ASSERT_EQ(reg.SetStringValue(key, "DisplayName", c.physical), err::kSuccess);
        reg.CloseKey(key);
        EXPECT_EQ(sim.machine->GetString(c.physical, "DisplayName").value_or(""), c.physical);
    }
    // SYSTEM is shared: both views name the same key.
    RegKey key;
    ASSERT_EQ(reg.CreateKey(hklm, "SYSTEM\\Shared", 0, reg::kKeyWrite, key), err::kSuccess);
    reg.CloseKey(key);
    EXPECT_TRUE(sim.machine->KeyExists("HKLM\\SYSTEM\\Shared"));
    EXPECT_EQ(reg.OpenKey(hklm, "SYSTEM\\Shared", reg::kKeyRead | reg::kKeyWow64_64Key, key), err::kSuccess);
    reg.CloseKey(key);

    // A 32-bit Windows has one view; the flag changes nothing.
    Sim x86("7");
    RegKey k;
    ASSERT_EQ(x86.sys.registry.CreateKey(x86.sys.registry.Root(RegRoot::LocalMachine), kUninstall, 0,
                                         reg::kKeyWrite | reg::kKeyWow64_64Key, k),
              err::kSuccess);
    EXPECT_TRUE(x86.machine->KeyExists(std::string("HKLM\\") + kUninstall));
}

TEST(SimRegistry, CallsReturnTheirStatusAndLeaveTheLastErrorAlone) {
    Sim sim;
    Registry& reg = sim.sys.registry;
    RegKey hklm = reg.Root(RegRoot::LocalMachine);
    RegKey key;
    struct Case {
        const char* what;
        std::function<Dword()> call;
        Dword code;
    } cases[] = {
        {"open missing", [&] { return reg.OpenKey(hklm, "SOFTWARE\\None", reg::kKeyRead, key); }, err::kFileNotFound},
        {"delete missing", [&] { return reg.ShDeleteKey(hklm, "SOFTWARE\\None"); }, err::kFileNotFound},
        {"set through a bad handle", [&] { return reg.SetStringValue(static_cast<RegKey>(77), "x", "y"); },
         err::kInvalidHandle},
        {"remote machine", [&] { return reg.ConnectRegistry("\\\\PRINTSRV", hklm, key); }, 53},
        {"close a bad handle", [&] { return reg.CloseKey(static_cast<RegKey>(77)); }, err::kInvalidHandle},
    };
    for (const Case& c : cases) {
        sim.Magic();
        EXPECT_EQ(c.call(), c.code) << c.what;
        EXPECT_EQ(sim.LastError(), kMagic) << c.what;
    }
    EXPECT_EQ(reg.ConnectRegistry("\\\\" + sim.machine->ComputerName(), hklm, key), err::kSuccess);
    reg.CloseKey(key);
}

TEST(SimRegistry, RegDeleteKeyExRefusesSubkeysWhereShDeleteKeyTakesTheTree) {
    Sim sim("7", true);
    Registry& reg = sim.sys.registry;
    RegKey hklm = reg.Root(RegRoot::LocalMachine);
    sim.machine->CreateKey("HKLM\\SYSTEM\\Tree\\Child\\Grandchild");
    sim.machine->CreateKey("HKLM\\SYSTEM\\Leaf");

    ASSERT_TRUE(reg.HasRegDeleteKeyEx());
    EXPECT_EQ(reg.RegDeleteKeyEx(hklm, "SYSTEM\\Tree", reg::kKeyWow64_64Key, 0), err::kAccessDenied);
    EXPECT_TRUE(sim.machine->KeyExists("HKLM\\SYSTEM\\Tree\\Child\\Grandchild"));
    EXPECT_EQ(reg.RegDeleteKeyEx(hklm, "SYSTEM\\Leaf", reg::kKeyWow64_64Key, 0), err::kSuccess);
    EXPECT_EQ(reg.RegDeleteKeyEx(hklm, "SYSTEM\\Leaf", reg::kKeyWow64_64Key, 0), err::kFileNotFound);
    EXPECT_EQ(reg.ShDeleteKey(hklm, "SYSTEM\\Tree"), err::kSuccess);
    EXPECT_FALSE(sim.machine->KeyExists("HKLM\\SYSTEM\\Tree"));
}

TEST(SimRegistry, RegDeleteKeyExExistsWhereWindowsHasIt) {
    struct Case {
        const char* preset;
        bool is64;
        bool has;
    } cases[] = {{"2000", false, false}, {"xp", false, false}, {"xp64", true, true},
                 {"2003", false, true},  {"vista", false, true}, {"7", true, true}};
    for (const Case& c : cases) {
        Sim sim(c.preset, c.is64);
        sim.Magic();
        EXPECT_EQ(sim.sys.registry.HasRegDeleteKeyEx(), c.has) << c.preset;
        EXPECT_EQ(sim.LastError(), c.has ? kMagic : err::kProcNotFound) << c.preset;
    }
}

// The grant-then-delete steps on the key Plug and Play made.
struct Grant {
    Dword openAccess;
    const char* trustee;
    Dword openCode, aclCode, setCode;
};

Dword GrantEveryone(Sim& sim, const Grant& g) {
    Registry& reg = sim.sys.registry;
    RegKey key;
    Dword code = reg.OpenKey(reg.Root(RegRoot::LocalMachine), kEnumKey, g.openAccess, key);
    EXPECT_EQ(code, g.openCode);
    if (code) return code;
    AclRef old, fresh;
    SecurityDescriptorRef sd;
    EXPECT_EQ(reg.GetKeyDacl(key, old, sd), err::kSuccess);
    ExplicitAccess entry;
    entry.permissions = reg::kKeyAllAccess;
    entry.mode = sec::kGrantAccess;
    entry.inheritance = sec::kSubContainersOnlyInherit;
    entry.trusteeName = g.trustee;
    code = reg.SetEntriesInAcl(entry, old, fresh);
    EXPECT_EQ(code, g.aclCode);
    if (!code) {
        code = reg.SetKeyDacl(key, fresh);
        EXPECT_EQ(code, g.setCode);
    }
    reg.LocalFreeAcl(fresh);
    reg.LocalFreeDescriptor(sd);
    reg.CloseKey(key);
    return code;
}

TEST(SimRegistry, ProtectedEnumerationKeyIsDeletedOnlyAfterEveryoneIsGrantedFullControl) {
    Grant cases[] = {
        {reg::kReadControl | reg::kKeyEnumerateSubKeys, "Everyone", 0, 0, err::kAccessDenied},  // no WRITE_DAC
        {reg::kReadControl | reg::kWriteDac, "Jedermann", 0, err::kNoneMapped, 0},
        {reg::kKeyAllAccess, "Everyone", err::kAccessDenied, 0, 0},  // DELETE is not the admin's yet
        {reg::kReadControl | reg::kKeyEnumerateSubKeys | reg::kWriteDac, "Everyone", 0, 0, 0},
    };
    for (bool wow64 : {false, true}) {
        for (const Grant& g : cases) {
            Sim sim("7", wow64);
            sim.machine->PlugUsbPrinter();
            Registry& reg = sim.sys.registry;
            RegKey hklm = reg.Root(RegRoot::LocalMachine);
            ASSERT_EQ(reg.ShDeleteKey(hklm, kEnumKey), err::kAccessDenied);
            bool granted = GrantEveryone(sim, g) == 0;
            Dword expected = !granted ? err::kAccessDenied : wow64 ? err::kAccessDenied /* subkey */ : 0;
            Dword deleted = wow64 ? reg.RegDeleteKeyEx(hklm, kEnumKey, reg::kKeyWow64_64Key, 0)
                                  : reg.ShDeleteKey(hklm, kEnumKey);
            EXPECT_EQ(deleted, expected) << g.trustee << " access " << g.openAccess << " wow64 " << wow64;
            EXPECT_EQ(sim.machine->KeyExists(std::string("HKLM\\") + kEnumKey), deleted != 0);
        }
    }
}

// Values, subkeys and DACLs read the way the removal reads them.
TEST(SimRegistry, StringValuesSubkeysAndNamedDacls) {
    Sim sim("7", true);
    Registry& reg = sim.sys.registry;
    RegKey hklm = reg.Root(RegRoot::LocalMachine);
    sim.machine->SetString("HKLM\\SYSTEM\\Test\\B", "Name", "value");
    sim.machine->CreateKey("HKLM\\SYSTEM\\Test\\A");
    sim.machine->SetValue("HKLM\\SYSTEM\\Test\\B", "Number", RegValue{4, "", 7, {}});

    RegKey key;
    ASSERT_EQ(reg.OpenKey(hklm, "SYSTEM\\Test\\B", reg::kKeyRead, key), err::kSuccess);
    std::string text;
    EXPECT_EQ(reg.QueryStringValue(key, "name", 256, text), err::kSuccess);
    EXPECT_EQ(text, "value");
    EXPECT_EQ(reg.QueryStringValue(key, "Name", 5, text), err::kMoreData);
    EXPECT_EQ(reg.QueryStringValue(key, "Missing", 256, text), err::kFileNotFound);
    EXPECT_EQ(reg.QueryStringValue(key, "Number", 256, text), err::kInvalidData);
    reg.CloseKey(key);
    ASSERT_EQ(reg.OpenKey(hklm, "SYSTEM\\Test\\B", reg::kKeyEnumerateSubKeys, key), err::kSuccess);
    EXPECT_EQ(reg.QueryStringValue(key, "Name", 256, text), err::kAccessDenied);
    reg.CloseKey(key);

    ASSERT_EQ(reg.OpenKey(hklm, "SYSTEM\\Test", reg::kKeyEnumerateSubKeys, key), err::kSuccess);
    std::string name;
    EXPECT_EQ(reg.EnumKey(key, 0, name), err::kSuccess);
    EXPECT_EQ(name, "A");
    EXPECT_EQ(reg.EnumKey(key, 1, name), err::kSuccess);
    EXPECT_EQ(name, "B");
    EXPECT_EQ(reg.EnumKey(key, 2, name), err::kNoMoreItems);
    reg.CloseKey(key);

    // The named DACL of a protected key: readable and writable, and what is
    // written back is what was read.
    sim.machine->CreateKey(std::string("HKLM\\") + kEnumKey);
    sim.machine->ProtectKey(std::string("HKLM\\") + kEnumKey);
    AclRef dacl;
    SecurityDescriptorRef sd;
    ASSERT_EQ(reg.GetNamedKeyDacl(RegRoot::LocalMachine, kEnumKey, dacl, sd), err::kSuccess);
    EXPECT_EQ(reg.SetNamedKeyDacl(RegRoot::LocalMachine, kEnumKey, dacl), err::kSuccess);
    reg.LocalFreeDescriptor(sd);
    EXPECT_EQ(reg.GetNamedKeyDacl(RegRoot::LocalMachine, "SYSTEM\\None", dacl, sd), err::kFileNotFound);
    EXPECT_FALSE(sim.machine->KeyDeletable(std::string("HKLM\\") + kEnumKey));
}

// Account names are those of the language edition; a SID names its account
// in every language.
TEST(SimRegistry, TrusteesResolveInTheMachinesLanguage) {
    struct Case {
        const char* language;
        const char* name;
        bool resolves;
    } cases[] = {
        {"en", "Everyone", true},     {"en", "Jeder", false},         {"de", "Jeder", true},
        {"de", "Everyone", false},    {"fr", "Tout le monde", true},  {"fr", "BUILTIN\\Administrateurs", true},
        {"ja", "Everyone", true},     {"de", "VORDEFINIERT\\Benutzer", true},
    };
    for (const Case& c : cases) {
        Sim sim("7", true);
        OsInfo os = sim.machine->Os();
        os.language = c.language;
        sim.machine->SetOs(os);
        Registry& reg = sim.sys.registry;
        ExplicitAccess byName;
        byName.mode = sec::kGrantAccess;
        byName.trusteeName = c.name;
        AclRef acl = AclRef::None;
        EXPECT_EQ(reg.SetEntriesInAcl(byName, AclRef::None, acl), c.resolves ? err::kSuccess : err::kNoneMapped)
            << c.language << " " << c.name;
        if (acl != AclRef::None) reg.LocalFreeAcl(acl);

        SidRef sid;
        ASSERT_TRUE(reg.AllocateWellKnownSid(sec::WellKnownSid::World, sid).ok());
        ExplicitAccess bySid;
        bySid.mode = sec::kGrantAccess;
        bySid.trusteeForm = sec::kTrusteeIsSid;
        bySid.trusteeSid = sid;
        EXPECT_EQ(reg.SetEntriesInAcl(bySid, AclRef::None, acl), err::kSuccess) << c.language;
        reg.LocalFreeAcl(acl);
        reg.FreeSid(sid);
    }
}

}  // namespace
}  // namespace zmp::sim::test
