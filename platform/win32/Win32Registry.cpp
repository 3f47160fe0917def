// Registry and security: advapi32 and shlwapi. Registry calls hand back
// their own status and leave the last error alone, as Windows does.
#include "platform/win32/Win32Api.h"
#include "platform/win32/Win32System.h"

namespace zmp::win32 {
namespace {

HKEY ToKey(RegKey k) { return FromRef<HKEY>(k); }
PACL ToAcl(AclRef a) { return FromRef<PACL>(a); }

using RegDeleteKeyExAProc = LONG(WINAPI*)(HKEY, LPCSTR, REGSAM, DWORD);

// Looked up on every use: older releases lack the function, so it is
// never linked directly.
RegDeleteKeyExAProc LookUpRegDeleteKeyEx() {
    return reinterpret_cast<RegDeleteKeyExAProc>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleA("Advapi32"), "RegDeleteKeyExA")));
}

}  // namespace

RegKey Win32Registry::Root(RegRoot root) {
    switch (root) {
        case RegRoot::LocalMachine: return ToRef<RegKey>(HKEY_LOCAL_MACHINE);
        case RegRoot::Users: return ToRef<RegKey>(HKEY_USERS);
        case RegRoot::ClassesRoot: return ToRef<RegKey>(HKEY_CLASSES_ROOT);
        case RegRoot::CurrentUser: return ToRef<RegKey>(HKEY_CURRENT_USER);
    }
    return RegKey::None;
}

Dword Win32Registry::OpenKey(RegKey parent, const std::string& subKey, Dword access, RegKey& out) {
    HKEY key = nullptr;
    LONG status = ::RegOpenKeyExA(ToKey(parent), subKey.c_str(), 0, access, &key);
    out = status == ERROR_SUCCESS ? ToRef<RegKey>(key) : RegKey::None;
    return static_cast<Dword>(status);
}

Dword Win32Registry::CreateKey(RegKey parent, const std::string& subKey, Dword options, Dword access,
                               RegKey& out) {
    HKEY key = nullptr;
    LONG status = ::RegCreateKeyExA(ToKey(parent), subKey.c_str(), 0, nullptr, options, access,
                                    nullptr, &key, nullptr);
    out = status == ERROR_SUCCESS ? ToRef<RegKey>(key) : RegKey::None;
    return static_cast<Dword>(status);
}

Dword Win32Registry::SetStringValue(RegKey key, const std::string& name, const std::string& value) {
    return static_cast<Dword>(::RegSetValueExA(ToKey(key), name.c_str(), 0, REG_SZ,
                                               reinterpret_cast<const BYTE*>(value.c_str()),
                                               static_cast<DWORD>(value.size() + 1)));
}

Dword Win32Registry::CloseKey(RegKey key) { return static_cast<Dword>(::RegCloseKey(ToKey(key))); }

Dword Win32Registry::ConnectRegistry(const std::string& machine, RegKey root, RegKey& out) {
    HKEY key = nullptr;
    LONG status = ::RegConnectRegistryA(machine.empty() ? nullptr : machine.c_str(), ToKey(root), &key);
    out = status == ERROR_SUCCESS ? ToRef<RegKey>(key) : RegKey::None;
    return static_cast<Dword>(status);
}

Dword Win32Registry::ShDeleteKey(RegKey parent, const std::string& subKey) {
    return static_cast<Dword>(::SHDeleteKeyA(ToKey(parent), subKey.c_str()));
}

bool Win32Registry::HasRegDeleteKeyEx() { return LookUpRegDeleteKeyEx() != nullptr; }

Dword Win32Registry::RegDeleteKeyEx(RegKey parent, const std::string& subKey, Dword samDesired,
                                    Dword reserved) {
    RegDeleteKeyExAProc proc = LookUpRegDeleteKeyEx();
    if (!proc) return static_cast<Dword>(::GetLastError());
    return static_cast<Dword>(proc(ToKey(parent), subKey.c_str(), samDesired, reserved));
}

Dword Win32Registry::GetKeyDacl(RegKey key, AclRef& dacl, SecurityDescriptorRef& descriptor) {
    PACL acl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    DWORD status = ::GetSecurityInfo(ToKey(key), SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr,
                                     nullptr, &acl, nullptr, &sd);
    dacl = status == ERROR_SUCCESS ? ToRef<AclRef>(acl) : AclRef::None;
    descriptor = status == ERROR_SUCCESS ? ToRef<SecurityDescriptorRef>(sd) : SecurityDescriptorRef::None;
    return status;
}

Dword Win32Registry::SetKeyDacl(RegKey key, AclRef dacl) {
    return ::SetSecurityInfo(ToKey(key), SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                             ToAcl(dacl), nullptr);
}

Dword Win32Registry::SetEntriesInAcl(const ExplicitAccess& entry, AclRef oldAcl, AclRef& newAcl) {
    EXPLICIT_ACCESS_A ea = {};
    ea.grfAccessPermissions = entry.permissions;
    ea.grfAccessMode = static_cast<ACCESS_MODE>(entry.mode);
    ea.grfInheritance = entry.inheritance;
    ea.Trustee.pMultipleTrustee = nullptr;
    ea.Trustee.MultipleTrusteeOperation = NO_MULTIPLE_TRUSTEE;
    ea.Trustee.TrusteeForm = static_cast<TRUSTEE_FORM>(entry.trusteeForm);
    ea.Trustee.TrusteeType = static_cast<TRUSTEE_TYPE>(entry.trusteeType);
    ea.Trustee.ptstrName = entry.trusteeForm == sec::kTrusteeIsSid
                               ? reinterpret_cast<LPSTR>(FromRef<PSID>(entry.trusteeSid))
                               : Str(entry.trusteeName);
    PACL acl = nullptr;
    DWORD status = ::SetEntriesInAclA(1, &ea, ToAcl(oldAcl), &acl);
    newAcl = status == ERROR_SUCCESS ? ToRef<AclRef>(acl) : AclRef::None;
    return status;
}

Status Win32Registry::AllocateEveryoneSid(SidRef& out) {
    out = SidRef::None;
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID sid = nullptr;
    if (!::AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &sid))
        return LastErrorStatus();
    out = ToRef<SidRef>(sid);
    return Status::Ok();
}

void Win32Registry::FreeSid(SidRef sid) {
    if (sid != SidRef::None) ::FreeSid(FromRef<PSID>(sid));
}

void Win32Registry::LocalFreeAcl(AclRef acl) {
    if (acl != AclRef::None) ::LocalFree(FromRef<HLOCAL>(acl));
}

void Win32Registry::LocalFreeDescriptor(SecurityDescriptorRef descriptor) {
    if (descriptor != SecurityDescriptorRef::None) ::LocalFree(FromRef<HLOCAL>(descriptor));
}

}  // namespace zmp::win32
