#include "support/RegistryHelpers.h"

#include <cctype>
#include <vector>

namespace zmp {

namespace {

// Paths and rights strings are handled in 512-character work buffers.
constexpr std::size_t kWorkChars = 511;

bool EqualsNoCase(const std::string& a, const char* b) {
    std::size_t i = 0;
    for (; i < a.size() && b[i] != '\0'; ++i) {
        if (std::toupper(static_cast<unsigned char>(a[i])) !=
            std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    }
    return i == a.size() && b[i] == '\0';
}

// The next token of text at pos: leading separators skipped, up to the next
// separator. Empty when the text is used up.
std::string NextToken(const std::string& text, std::size_t& pos, char separator) {
    while (pos < text.size() && text[pos] == separator) ++pos;
    std::size_t start = pos;
    while (pos < text.size() && text[pos] != separator) ++pos;
    std::string token = text.substr(start, pos - start);
    if (pos < text.size()) ++pos;  // the separator that ended the token
    return token;
}

// Everything after the separators at pos.
std::string Rest(const std::string& text, std::size_t pos, char separator) {
    while (pos < text.size() && text[pos] == separator) ++pos;
    return text.substr(pos);
}

bool RootByName(const std::string& name, RegRoot& out) {
    struct Entry {
        const char* shortName;
        const char* longName;
        RegRoot root;
    };
    static const Entry kRoots[] = {
        {"HKLM", "HKEY_LOCAL_MACHINE", RegRoot::LocalMachine},
        {"HKU", "HKEY_USERS", RegRoot::Users},
        {"HKCR", "HKEY_CLASSES_ROOT", RegRoot::ClassesRoot},
        {"HKCU", "HKEY_CURRENT_USER", RegRoot::CurrentUser},
    };
    for (const Entry& e : kRoots) {
        if (EqualsNoCase(name, e.shortName) || EqualsNoCase(name, e.longName)) {
            out = e.root;
            return true;
        }
    }
    return false;
}

}  // namespace

long MyRegDeleteKeyEx(Registry& registry, RegKey root, const std::string& subKey, Dword samDesired,
                      Dword reserved) {
    // Never linked directly: Windows 2000, XP and Server 2003 (32-bit) lack it.
    if (!registry.HasRegDeleteKeyEx()) return -1;
    return static_cast<long>(registry.RegDeleteKeyEx(root, subKey, samDesired, reserved));
}

namespace {

// Registry calls return their code without setting the thread's last
// error, which the failure line shows: carry the code there first, or the
// line would show whatever an earlier call left (a missing RegDeleteKeyExA
// leaves the failed look-up's own code).
void LogDeleteFailure(Platform& platform, Log& log, const char* format, const std::string& subKey, long result) {
    if (result > 0) platform.system.SetLastError(static_cast<Dword>(result));
    log.WriteLog(format, subKey.c_str(), static_cast<int>(platform.system.GetLastError()));
}

// The registry is at most 512 levels deep; a walk that goes deeper has met
// something that is not a tree.
constexpr unsigned kMaxKeyDepth = 512;

// RegDeleteKeyExA deletes a key only once it has no subkeys: they go
// first, depth first, as RegDeleteTree (Vista and later only) does it. Every
// refused deletion is logged; the key's own result is returned.
long DeleteKeyTree64(Platform& platform, Log& log, const std::string& subKey, unsigned depth) {
    Registry& registry = platform.registry;
    RegKey machine = registry.Root(RegRoot::LocalMachine);
    // The names first: deleting while walking the indexes would skip some.
    std::vector<std::string> children;
    RegKey key = RegKey::None;
    if (depth < kMaxKeyDepth &&
        registry.OpenKey(machine, subKey, reg::kKeyEnumerateSubKeys | reg::kKeyWow64_64Key, key) == err::kSuccess) {
        std::string name;
        for (Dword index = 0; registry.EnumKey(key, index, name) == err::kSuccess; ++index) children.push_back(name);
        registry.CloseKey(key);
    }
    for (const std::string& child : children) DeleteKeyTree64(platform, log, subKey + "\\" + child, depth + 1);

    long result = MyRegDeleteKeyEx(registry, machine, subKey, reg::kKeyWow64_64Key, 0);
    if (result != 0) LogDeleteFailure(platform, log, "MyRegDeleteKeyEx failed : %s (%d) ", subKey, result);
    return result;
}

}  // namespace

long DeleteMachineKey(Platform& platform, Log& log, bool wow64, const std::string& subKey) {
    // A 32-bit program sees the 32-bit view by default; on 64-bit Windows the
    // spooler's keys live in the 64-bit view.
    if (wow64) return DeleteKeyTree64(platform, log, subKey, 0);
    Registry& registry = platform.registry;
    long result = static_cast<long>(registry.ShDeleteKey(registry.Root(RegRoot::LocalMachine), subKey));
    if (result != 0) LogDeleteFailure(platform, log, "SHDeleteKey failed : %s (%d) ", subKey, result);
    return result;
}

void GrantAndDeleteRegKey(Platform& platform, Log& log, const std::string& fullPath,
                          const std::string& subKey, bool wow64) {
    Registry& registry = platform.registry;
    // The grant is inherited by everything below the key: if the key
    // outlives it, its own DACL is put back. Without a copy of that DACL
    // there is no grant, since it could not be taken back.
    AclRef original = AclRef::None;
    SecurityDescriptorRef descriptor = SecurityDescriptorRef::None;
    Dword saved = registry.GetNamedKeyDacl(RegRoot::LocalMachine, subKey, original, descriptor);
    if (saved != err::kSuccess && saved != err::kFileNotFound)  // a missing key shows in its deletion
        log.WriteLog("GetNamedSecurityInfo failed : %s (%d) ", subKey.c_str(), static_cast<int>(saved));
    // Without the grant the deletion of a protected key is refused; whether
    // the grant worked shows in the deletion's outcome.
    Dword granted = saved == err::kSuccess ? SetRegKeyPermission(registry, fullPath, kGrantEveryoneFullControl) : saved;
    log.WriteLog("REGKEY_1 : %s", fullPath.c_str());
    log.WriteLog("REGKEY_2 : %s", subKey.c_str());
    long deleted = DeleteMachineKey(platform, log, wow64, subKey);

    if (granted == err::kSuccess && deleted != 0) {
        Dword restored = registry.SetNamedKeyDacl(RegRoot::LocalMachine, subKey, original);
        if (restored == err::kSuccess)
            log.WriteLog("DACL RESTORED : %s", subKey.c_str());
        else
            log.WriteLog("SetNamedSecurityInfo failed : %s (%d) ", subKey.c_str(), static_cast<int>(restored));
    }
    // The DACL lives inside the descriptor.
    if (descriptor != SecurityDescriptorRef::None) registry.LocalFreeDescriptor(descriptor);
}

AccessRights ParseAccessRights(const std::string& rights) {
    struct Code {
        const char* text;
        Dword mask;
    };
    static const Code kCodes[] = {
        {"Fc", reg::kKeyAllAccess},
        {"Rd", reg::kKeyRead},
        {"Wr", reg::kKeyWrite | reg::kKeyCreateLink},
    };

    AccessRights out;
    std::string text = rights.substr(0, kWorkChars);
    if (text.size() % 2 != 0) {
        out.result = err::kInvalidParameter;
        return out;
    }
    for (std::size_t i = 0; i < text.size(); i += 2) {
        std::string pair = text.substr(i, 2);
        bool known = false;
        for (const Code& c : kCodes) {
            if (EqualsNoCase(pair, c.text)) {
                out.mask |= c.mask;
                known = true;
                break;
            }
        }
        if (!known) out.result = err::kInvalidParameter;  // the others still count
    }
    return out;
}

Dword ParsePermissionCommand(const std::string& command, PermissionCommand& out) {
    out = PermissionCommand{};
    std::size_t pos = 0;
    std::string word = NextToken(command, pos, ':');

    // The first character is not examined; "?P<mode>" selects the mode.
    if (word.size() >= 2 && std::toupper(static_cast<unsigned char>(word[1])) == 'P') {
        char letter = word.size() >= 3 ? static_cast<char>(std::toupper(static_cast<unsigned char>(word[2]))) : '\0';
        switch (letter) {
            case 'G': out.mode = sec::kGrantAccess; break;
            case 'S': out.mode = sec::kSetAccess; break;
            case 'D': out.mode = sec::kDenyAccess; break;
            case 'R': out.mode = sec::kRevokeAccess; break;
            default: return err::kInvalidParameter;
        }
    }

    out.trustee = NextToken(command, pos, ':');
    if (out.trustee.empty()) return err::kInvalidParameter;

    if (out.mode == sec::kGrantAccess || out.mode == sec::kSetAccess || out.mode == sec::kDenyAccess) {
        std::string rights = Rest(command, pos, ':');
        if (rights.empty()) return err::kInvalidParameter;
        out.mask = ParseAccessRights(rights).mask;  // an unknown code only weakens the mask
    }
    return err::kSuccess;
}

Dword OpenRegKeyPath(Registry& registry, const std::string& fullPath, RegKey& out) {
    out = RegKey::None;
    std::string path = fullPath.substr(0, kWorkChars);

    std::size_t pos = 0;
    std::string machine;
    if (path.compare(0, 2, "\\\\") == 0) {
        pos = 2;
        machine = "\\\\" + NextToken(path, pos, '\\');
    }

    std::string rootName = NextToken(path, pos, '\\');
    RegRoot rootId;
    if (!RootByName(rootName, rootId)) return err::kInvalidParameter;

    // Another machine's current user and classes are not reachable this way.
    if (!machine.empty() && (rootId == RegRoot::CurrentUser || rootId == RegRoot::ClassesRoot))
        return err::kInvalidParameter;

    RegKey root = registry.Root(rootId);
    bool remote = false;
    if (!machine.empty()) {
        RegKey connected = RegKey::None;
        Dword status = registry.ConnectRegistry(machine, root, connected);
        if (status != err::kSuccess) return status;
        root = connected;
        remote = true;
    }

    std::string subKey = pos < path.size() ? path.substr(pos) : std::string();
    if (subKey.empty()) {
        out = root;
        return err::kSuccess;
    }

    // Writing the DACL back needs WRITE_DAC on the handle; reading it and
    // enumerating alone would let the grant fail, and the protected key
    // would then stay.
    RegKey key = RegKey::None;
    Dword status = registry.OpenKey(
        root, subKey, reg::kReadControl | reg::kKeyEnumerateSubKeys | reg::kWriteDac, key);
    if (remote) registry.CloseKey(root);  // closing a predefined root does nothing
    if (status != err::kSuccess) return status;
    out = key;
    return err::kSuccess;
}

Dword ApplyExplicitAccess(Registry& registry, RegKey key, const ExplicitAccess& entry) {
    AclRef oldAcl = AclRef::None;
    SecurityDescriptorRef descriptor = SecurityDescriptorRef::None;
    AclRef newAcl = AclRef::None;

    Dword status = registry.GetKeyDacl(key, oldAcl, descriptor);
    if (status == err::kSuccess) {
        // An unresolvable trustee (Everyone has another name on some
        // language editions) fails here and leaves the DACL as it was.
        status = registry.SetEntriesInAcl(entry, oldAcl, newAcl);
        if (status == err::kSuccess) status = registry.SetKeyDacl(key, newAcl);
    }

    // oldAcl lives inside the descriptor.
    if (newAcl != AclRef::None) registry.LocalFreeAcl(newAcl);
    if (descriptor != SecurityDescriptorRef::None) registry.LocalFreeDescriptor(descriptor);
    return status;
}

Dword SetRegKeyPermission(Registry& registry, const std::string& keyPath, const std::string& command) {
    PermissionCommand parsed;
    Dword status = ParsePermissionCommand(command, parsed);
    if (status != err::kSuccess) return status;

    RegKey key = RegKey::None;
    status = OpenRegKeyPath(registry, keyPath, key);
    if (status != err::kSuccess) return status;

    ExplicitAccess entry;  // BuildExplicitAccessWithNameA, or its SID form
    entry.permissions = parsed.mask;
    entry.mode = parsed.mode;
    entry.inheritance = sec::kSubContainersOnlyInherit;
    // The built-in accounts are named by their SIDs: their names are
    // translated on other language editions ("Jeder", "Tout le monde").
    SidRef sid = SidRef::None;
    std::optional<sec::WellKnownSid> account = WellKnownAccount(parsed.trustee);
    if (account) {
        Status allocated = registry.AllocateWellKnownSid(*account, sid);
        status = allocated.code;
        entry.trusteeForm = sec::kTrusteeIsSid;
        entry.trusteeType = sec::kTrusteeIsWellKnownGroup;
        entry.trusteeSid = sid;
    } else {
        entry.trusteeForm = sec::kTrusteeIsName;
        entry.trusteeType = sec::kTrusteeIsUnknown;
        entry.trusteeName = parsed.trustee;
    }

    if (status == err::kSuccess) status = ApplyExplicitAccess(registry, key, entry);
    if (sid != SidRef::None) registry.FreeSid(sid);
    registry.CloseKey(key);
    return status;
}

std::optional<sec::WellKnownSid> WellKnownAccount(const std::string& name) {
    struct Account {
        const char* name;
        sec::WellKnownSid sid;
    };
    static const Account kAccounts[] = {
        {"Everyone", sec::WellKnownSid::World},
        {"SYSTEM", sec::WellKnownSid::LocalSystem},
        {"Administrators", sec::WellKnownSid::BuiltinAdministrators},
        {"Users", sec::WellKnownSid::BuiltinUsers},
    };
    for (const Account& a : kAccounts)
        if (EqualsNoCase(name, a.name)) return a.sid;
    return std::nullopt;
}

}  // namespace zmp
