// Registry deletion under HKEY_LOCAL_MACHINE and the permission change that
// protected Plug-and-Play keys need before they can be deleted. Results are
// Win32 error numbers (0 for success).
#pragma once

#include <optional>
#include <string>

#include "platform/Platform.h"
#include "support/Log.h"

namespace zmp {

// The USB print enumerator's keys are protected; the group Everyone gets
// full control before the deletion.
constexpr const char* kGrantEveryoneFullControl = "/PG:Everyone:Fc";

// RegDeleteKeyExA, looked up on every call because only newer releases and
// 64-bit Windows have it. -1 when it is missing (the last error is then the
// failed look-up's). Fails on a key that still has subkeys.
long MyRegDeleteKeyEx(Registry& registry, RegKey root, const std::string& subKey, Dword samDesired,
                      Dword reserved);

// The one registry-deletion convention of the removal steps: the key goes
// with everything below it. Under WOW64 in the 64-bit view with
// MyRegDeleteKeyEx, subkeys first, depth first; otherwise with SHDeleteKeyA.
// Each failed deletion is logged as "MyRegDeleteKeyEx failed : %s (%d) " or
// "SHDeleteKey failed : %s (%d) " with the thread's last error. Returns the
// result of the key's own deletion (0 when deleted).
long DeleteMachineKey(Platform& platform, Log& log, bool wow64, const std::string& subKey);

// Grants Everyone full control on fullPath ("HKLM\" + subKey), logs both
// paths and deletes subKey by DeleteMachineKey. When the key outlives the
// grant, its DACL as it was before is put back ("DACL RESTORED : %s").
void GrantAndDeleteRegKey(Platform& platform, Log& log, const std::string& fullPath,
                          const std::string& subKey, bool wow64);

// A rights string such as "Fc", "FcRd": two-character codes, any case.
struct AccessRights {
    Dword mask = 0;
    Dword result = 0;  // 0, 8 or 87
};
AccessRights ParseAccessRights(const std::string& rights);

// A permission command "<word>:<trustee>[:<rights>]" such as "/PG:Everyone:Fc".
struct PermissionCommand {
    Dword mode = sec::kNotUsedAccess;
    std::string trustee;
    Dword mask = 0;
};
// 0, or 87 for an unknown mode letter, a missing trustee, or missing rights
// for grant, set and deny.
Dword ParsePermissionCommand(const std::string& command, PermissionCommand& out);

// "[\\machine\]root[\subkey]"; the root by its short or long name in any
// case. The caller closes the key it gets.
Dword OpenRegKeyPath(Registry& registry, const std::string& path, RegKey& out);

// Merges one entry into the key's DACL and writes the result back.
Dword ApplyExplicitAccess(Registry& registry, RegKey key, const ExplicitAccess& entry);

// Parses the command, opens the key and applies the entry (inherited by
// subkeys). Everyone, SYSTEM, Administrators and Users are named by their
// well-known SIDs, any other trustee by its name.
Dword SetRegKeyPermission(Registry& registry, const std::string& keyPath, const std::string& command);

// The well-known SID of a built-in account's English name (any case).
std::optional<sec::WellKnownSid> WellKnownAccount(const std::string& name);

}  // namespace zmp
