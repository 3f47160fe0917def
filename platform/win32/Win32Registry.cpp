// Registry and security: advapi32 and shlwapi. Registry calls hand back
// their own status and leave the last error alone, as Windows does.
#include "platform/win32/Win32Api.h"
#include "platform/win32/Win32Libraries.h"
#include "platform/win32/Win32System.h"

#include <algorithm>
#include <cstring>
#include <vector>

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

// The object name the named-security functions take for a registry key.
std::string NamedKey(RegRoot root, const std::string& subKey) {
    const char* prefix = "MACHINE";
    switch (root) {
        case RegRoot::LocalMachine: prefix = "MACHINE"; break;
        case RegRoot::Users: prefix = "USERS"; break;
        case RegRoot::ClassesRoot: prefix = "CLASSES_ROOT"; break;
        case RegRoot::CurrentUser: prefix = "CURRENT_USER"; break;
    }
    return subKey.empty() ? std::string(prefix) : std::string(prefix) + "\\" + subKey;
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

Dword Win32Registry::QueryStringValue(RegKey key, const std::string& name, Dword bufferSize, std::string& out) {
    out.clear();
    std::vector<char> buffer(bufferSize + 1, '\0');
    DWORD type = 0, size = bufferSize;
    LONG status = ::RegQueryValueExA(ToKey(key), name.c_str(), nullptr, &type,
                                     reinterpret_cast<BYTE*>(buffer.data()), &size);
    if (status != ERROR_SUCCESS) return static_cast<Dword>(status);
    if (type != REG_SZ && type != REG_EXPAND_SZ) return ERROR_INVALID_DATA;
    // The stored text need not end in a NUL; the extra byte ends it here.
    out.assign(buffer.data(), std::min<std::size_t>(size, std::strlen(buffer.data())));
    return ERROR_SUCCESS;
}

Dword Win32Registry::EnumKey(RegKey key, Dword index, std::string& name) {
    name.clear();
    char buffer[256] = {};
    DWORD size = sizeof buffer;
    LONG status = ::RegEnumKeyExA(ToKey(key), index, buffer, &size, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_SUCCESS) name.assign(buffer, size);
    return static_cast<Dword>(status);
}

Dword Win32Registry::SetDwordValue(RegKey key, const std::string& name, Dword value) {
    const DWORD data = value;
    return static_cast<Dword>(::RegSetValueExA(ToKey(key), name.c_str(), 0, REG_DWORD,
                                               reinterpret_cast<const BYTE*>(&data), sizeof data));
}

Dword Win32Registry::CloseKey(RegKey key) { return static_cast<Dword>(::RegCloseKey(ToKey(key))); }

Dword Win32Registry::ConnectRegistry(const std::string& machine, RegKey root, RegKey& out) {
    HKEY key = nullptr;
    LONG status = ::RegConnectRegistryA(machine.empty() ? nullptr : machine.c_str(), ToKey(root), &key);
    out = status == ERROR_SUCCESS ? ToRef<RegKey>(key) : RegKey::None;
    return static_cast<Dword>(status);
}

Dword Win32Registry::ShDeleteKey(RegKey parent, const std::string& subKey) {
    return static_cast<Dword>(Shlwapi().SHDeleteKeyA(ToKey(parent), subKey.c_str()));
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

Dword Win32Registry::GetNamedKeyDacl(RegRoot root, const std::string& subKey, AclRef& dacl,
                                     SecurityDescriptorRef& descriptor) {
    PACL acl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    std::string name = NamedKey(root, subKey);
    DWORD status = ::GetNamedSecurityInfoA(name.data(), SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr,
                                           nullptr, &acl, nullptr, &sd);
    dacl = status == ERROR_SUCCESS ? ToRef<AclRef>(acl) : AclRef::None;
    descriptor = status == ERROR_SUCCESS ? ToRef<SecurityDescriptorRef>(sd) : SecurityDescriptorRef::None;
    return status;
}

Dword Win32Registry::SetNamedKeyDacl(RegRoot root, const std::string& subKey, AclRef dacl) {
    std::string name = NamedKey(root, subKey);
    return ::SetNamedSecurityInfoA(name.data(), SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr,
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

Status Win32Registry::AllocateWellKnownSid(sec::WellKnownSid account, SidRef& out) {
    out = SidRef::None;
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    SID_IDENTIFIER_AUTHORITY* authority = &nt;
    BYTE count = 2;
    DWORD first = SECURITY_BUILTIN_DOMAIN_RID, second = 0;
    switch (account) {
        case sec::WellKnownSid::World:
            authority = &world;
            count = 1;
            first = SECURITY_WORLD_RID;
            break;
        case sec::WellKnownSid::LocalSystem:
            count = 1;
            first = SECURITY_LOCAL_SYSTEM_RID;
            break;
        case sec::WellKnownSid::BuiltinAdministrators: second = DOMAIN_ALIAS_RID_ADMINS; break;
        case sec::WellKnownSid::BuiltinUsers: second = DOMAIN_ALIAS_RID_USERS; break;
    }
    PSID sid = nullptr;
    if (!::AllocateAndInitializeSid(authority, count, first, second, 0, 0, 0, 0, 0, 0, &sid))
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
