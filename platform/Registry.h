// Registry and security (advapi32, shlwapi) as the system uses them.
// Registry calls return their own status (LSTATUS) and, like Windows, do not
// touch the thread's last-error value.
#pragma once

#include <string>

#include "platform/Types.h"

namespace zmp {

enum class RegRoot { LocalMachine, Users, ClassesRoot, CurrentUser };

namespace reg {
constexpr Dword kKeyQueryValue = 0x0001;
constexpr Dword kKeySetValue = 0x0002;
constexpr Dword kKeyCreateSubKey = 0x0004;
constexpr Dword kKeyEnumerateSubKeys = 0x0008;
constexpr Dword kKeyNotify = 0x0010;
constexpr Dword kKeyCreateLink = 0x0020;
constexpr Dword kKeyWow64_64Key = 0x0100;
constexpr Dword kKeyWow64_32Key = 0x0200;
constexpr Dword kReadControl = 0x00020000;
constexpr Dword kWriteDac = 0x00040000;
constexpr Dword kWriteOwner = 0x00080000;
constexpr Dword kKeyRead = 0x20019;
constexpr Dword kKeyWrite = 0x20006;
constexpr Dword kKeyAllAccess = 0xF003F;
constexpr Dword kRegOptionNonVolatile = 0;
}  // namespace reg

// Security: the explicit access entry (EXPLICIT_ACCESS_A) in the system's terms.
namespace sec {
constexpr Dword kGenericAll = 0x10000000;
constexpr Dword kGenericExecute = 0x20000000;
constexpr Dword kGenericRead = 0x80000000;
enum AccessMode : Dword {
    kNotUsedAccess = 0,
    kGrantAccess = 1,
    kSetAccess = 2,
    kDenyAccess = 3,
    kRevokeAccess = 4,
};
constexpr Dword kSubContainersOnlyInherit = 0x2;
constexpr Dword kSubContainersAndObjectsInherit = 0x3;
enum TrusteeForm : Dword { kTrusteeIsSid = 0, kTrusteeIsName = 1 };
enum TrusteeType : Dword { kTrusteeIsUnknown = 0, kTrusteeIsWellKnownGroup = 5 };
// Accounts named by their well-known SIDs: their names differ between the
// language editions of Windows ("Everyone" is "Jeder" on a German one).
enum class WellKnownSid {
    World,                  // S-1-1-0, "Everyone"
    LocalSystem,            // S-1-5-18, "SYSTEM"
    BuiltinAdministrators,  // S-1-5-32-544, "Administrators"
    BuiltinUsers,           // S-1-5-32-545, "Users"
};
}  // namespace sec

struct ExplicitAccess {
    Dword permissions = 0;
    Dword mode = sec::kNotUsedAccess;
    Dword inheritance = 0;
    Dword trusteeForm = sec::kTrusteeIsName;
    Dword trusteeType = sec::kTrusteeIsUnknown;
    std::string trusteeName;  // when trusteeForm is a name
    SidRef trusteeSid = SidRef::None;  // when trusteeForm is a SID
};

class Registry {
public:
    virtual ~Registry() = default;

    // A predefined root as a key handle (HKEY_LOCAL_MACHINE and so on).
    virtual RegKey Root(RegRoot root) = 0;

    // RegOpenKeyExA(parent, subKey, 0, access, &out)
    virtual Dword OpenKey(RegKey parent, const std::string& subKey, Dword access, RegKey& out) = 0;
    // RegCreateKeyExA(parent, subKey, 0, NULL, options, access, NULL, &out, NULL)
    virtual Dword CreateKey(RegKey parent, const std::string& subKey, Dword options, Dword access,
                            RegKey& out) = 0;
    // RegSetValueExA(key, name, 0, REG_SZ, value incl. its NUL)
    virtual Dword SetStringValue(RegKey key, const std::string& name, const std::string& value) = 0;
    // RegQueryValueExA(key, name, NULL, &type, buffer, &size) with a buffer
    // of bufferSize bytes: a REG_SZ value without its NUL. 2 when missing,
    // ERROR_MORE_DATA (234) when it does not fit, ERROR_INVALID_DATA (13)
    // for a value of another type; the key needs KEY_QUERY_VALUE.
    virtual Dword QueryStringValue(RegKey key, const std::string& name, Dword bufferSize, std::string& out) = 0;
    // RegEnumKeyExA(key, index, 256-byte name, ...): the index-th subkey's
    // name; ERROR_NO_MORE_ITEMS (259) past the last. Needs KEY_ENUMERATE_SUB_KEYS.
    virtual Dword EnumKey(RegKey key, Dword index, std::string& name) = 0;
    // RegSetValueExA(key, name, 0, REG_DWORD, &value, 4)
    virtual Dword SetDwordValue(RegKey key, const std::string& name, Dword value) = 0;
    virtual Dword CloseKey(RegKey key) = 0;
    // RegConnectRegistryA("\\\\machine", root, &out)
    virtual Dword ConnectRegistry(const std::string& machine, RegKey root, RegKey& out) = 0;

    // SHDeleteKeyA(parent, subKey): the key with everything below it.
    virtual Dword ShDeleteKey(RegKey parent, const std::string& subKey) = 0;
    // GetProcAddress(GetModuleHandleA("Advapi32"), "RegDeleteKeyExA") != NULL.
    // A failed look-up leaves its code as the last error, as Windows does.
    virtual bool HasRegDeleteKeyEx() = 0;
    // RegDeleteKeyExA(parent, subKey, samDesired, reserved); only after
    // HasRegDeleteKeyEx(). Fails on a key that has subkeys.
    virtual Dword RegDeleteKeyEx(RegKey parent, const std::string& subKey, Dword samDesired,
                                 Dword reserved) = 0;

    // GetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, ...)
    virtual Dword GetKeyDacl(RegKey key, AclRef& dacl, SecurityDescriptorRef& descriptor) = 0;
    // SetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, NULL, NULL, dacl, NULL)
    virtual Dword SetKeyDacl(RegKey key, AclRef dacl) = 0;
    // GetNamedSecurityInfoA / SetNamedSecurityInfoA of the key named by root
    // and path ("MACHINE\<subKey>"), SE_REGISTRY_KEY, the DACL only: the
    // key as this process sees it, without a handle.
    virtual Dword GetNamedKeyDacl(RegRoot root, const std::string& subKey, AclRef& dacl,
                                  SecurityDescriptorRef& descriptor) = 0;
    virtual Dword SetNamedKeyDacl(RegRoot root, const std::string& subKey, AclRef dacl) = 0;

    // SetEntriesInAclA(1, &entry, oldAcl, &newAcl). A trustee name that does
    // not resolve to an account fails (ERROR_NONE_MAPPED).
    virtual Dword SetEntriesInAcl(const ExplicitAccess& entry, AclRef oldAcl, AclRef& newAcl) = 0;
    // AllocateAndInitializeSid for a well-known account; sets the last error
    // on failure. Released with FreeSid.
    virtual Status AllocateWellKnownSid(sec::WellKnownSid account, SidRef& out) = 0;
    virtual void FreeSid(SidRef sid) = 0;
    // LocalFree of an ACL or a security descriptor that the calls above returned.
    virtual void LocalFreeAcl(AclRef acl) = 0;
    virtual void LocalFreeDescriptor(SecurityDescriptorRef descriptor) = 0;
};

}  // namespace zmp
